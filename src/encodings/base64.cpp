// Base64: the Python functions of encodings.base64 (the codec follows in a later change).

#if KORVALITH_WITH_PYTHON

#include "module/method_records.hpp"
#include "module/signatures.hpp"
#include "module/wrapper.hpp"

namespace korvalith::py {

namespace {

WrapperResult not_built() {
    return std::unexpected(lazy_error(ErrorClass::NotImplementedError, "Base64 is not built yet"));
}

PyObject* encode(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return run_wrapper<1>(signatures::ENCODE, args, nargs, kwnames, [](BoundArguments<1>& arguments) -> WrapperResult {
        KORVALITH_TRY(data, arguments.text(0));
        (void)data;
        return not_built();
    });
}

PyObject* decode(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return run_wrapper<2>(signatures::DECODE, args, nargs, kwnames, [](BoundArguments<2>& arguments) -> WrapperResult {
        KORVALITH_TRY(data, arguments.text(0));
        KORVALITH_TRY(strict, arguments.flag(1, false));
        (void)data, (void)strict;
        return not_built();
    });
}

PyObject* encode_bytes(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return run_wrapper<1>(signatures::ENCODE_BYTES, args, nargs, kwnames,
                          [](BoundArguments<1>& arguments) -> WrapperResult {
                              KORVALITH_TRY(data, arguments.bytes(0));
                              (void)data;
                              return not_built();
                          });
}

PyObject* decode_bytes(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return run_wrapper<1>(signatures::DECODE_BYTES, args, nargs, kwnames,
                          [](BoundArguments<1>& arguments) -> WrapperResult {
                              KORVALITH_TRY(data, arguments.bytes(0));
                              (void)data;
                              return not_built();
                          });
}

}  // namespace

PyMethodDef methods::base64_encode = {"encode", methods::entry(encode), methods::ARGUMENT_FLAGS, "encode(data)\n--\n\n"};
PyMethodDef methods::base64_decode = {"decode", methods::entry(decode), methods::ARGUMENT_FLAGS,
                                     "decode(data, strict=False)\n--\n\n"};
PyMethodDef methods::base64_encode_bytes = {"encode_bytes", methods::entry(encode_bytes), methods::ARGUMENT_FLAGS,
                                           "encode_bytes(data)\n--\n\n"};
PyMethodDef methods::base64_decode_bytes = {"decode_bytes", methods::entry(decode_bytes), methods::ARGUMENT_FLAGS,
                                           "decode_bytes(data)\n--\n\n"};

}  // namespace korvalith::py

#endif
