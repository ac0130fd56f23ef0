#include "ciphers/rot13.hpp"

namespace korvalith {

CoreResult<ByteBuffer> rot13_cipher(ByteView text) { return translated(ROT13_TABLE, text); }

}  // namespace korvalith

#if KORVALITH_WITH_PYTHON

#include "module/method_records.hpp"
#include "module/signatures.hpp"
#include "module/wrapper.hpp"

namespace korvalith::py {

namespace {

// encrypt, decrypt and rotate are one operation under three names.
PyObject* run_rot13(const FunctionSignature& signature, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames) noexcept {
    return run_wrapper<1>(signature, args, nargs, kwnames, [](BoundArguments<1>& arguments) -> WrapperResult {
        KORVALITH_TRY(data, arguments.text(0));
        return text_from_core(rot13_cipher(data));
    });
}

PyObject* encrypt(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return run_rot13(signatures::ROT13_ENCRYPT, args, nargs, kwnames);
}

PyObject* decrypt(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return run_rot13(signatures::ROT13_DECRYPT, args, nargs, kwnames);
}

PyObject* rotate(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return run_rot13(signatures::ROT13_ROTATE, args, nargs, kwnames);
}

}  // namespace

PyMethodDef methods::rot13_encrypt = {"encrypt", methods::entry(encrypt), methods::ARGUMENT_FLAGS,
                                      "encrypt(data)\n--\n\n"};
PyMethodDef methods::rot13_decrypt = {"decrypt", methods::entry(decrypt), methods::ARGUMENT_FLAGS,
                                      "decrypt(data)\n--\n\n"};
PyMethodDef methods::rot13_rotate = {"rotate", methods::entry(rotate), methods::ARGUMENT_FLAGS,
                                     "rotate(data)\n--\n\n"};

}  // namespace korvalith::py

#endif
