// Substitution through a caller's table: its Python functions (the core
// follows in a later change).

#if KORVALITH_WITH_PYTHON

#include "module/method_records.hpp"
#include "module/signatures.hpp"
#include "module/wrapper.hpp"

namespace korvalith::py {

namespace {

WrapperResult not_built() {
    return std::unexpected(lazy_error(ErrorClass::NotImplementedError, "substitution is not built yet"));
}

PyObject* run_text(const FunctionSignature& signature, PyObject* const* args, Py_ssize_t nargs,
                   PyObject* kwnames) noexcept {
    return run_wrapper<2>(signature, args, nargs, kwnames, [](BoundArguments<2>& arguments) -> WrapperResult {
        KORVALITH_TRY(data, arguments.text(0));
        KORVALITH_TRY(mapping, arguments.char_map(1));
        (void)data, (void)mapping;
        return not_built();
    });
}

PyObject* run_bytes(const FunctionSignature& signature, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames) noexcept {
    return run_wrapper<2>(signature, args, nargs, kwnames, [](BoundArguments<2>& arguments) -> WrapperResult {
        KORVALITH_TRY(data, arguments.bytes(0));
        KORVALITH_TRY(mapping, arguments.byte_map(1));
        (void)data, (void)mapping;
        return not_built();
    });
}

PyObject* substitute(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return run_text(signatures::SUBSTITUTE, args, nargs, kwnames);
}

PyObject* substitute_reverse(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return run_text(signatures::SUBSTITUTE_REVERSE, args, nargs, kwnames);
}

PyObject* substitute_bytes(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return run_bytes(signatures::SUBSTITUTE_BYTES, args, nargs, kwnames);
}

PyObject* substitute_reverse_bytes(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                   PyObject* kwnames) noexcept {
    return run_bytes(signatures::SUBSTITUTE_REVERSE_BYTES, args, nargs, kwnames);
}

}  // namespace

PyMethodDef methods::substitution_substitute = {"substitute", methods::entry(substitute), methods::ARGUMENT_FLAGS,
                                                "substitute(data, mapping)\n--\n\n"};
PyMethodDef methods::substitution_substitute_reverse = {"substitute_reverse", methods::entry(substitute_reverse),
                                                        methods::ARGUMENT_FLAGS,
                                                        "substitute_reverse(data, mapping)\n--\n\n"};
PyMethodDef methods::substitution_substitute_bytes = {"substitute_bytes", methods::entry(substitute_bytes),
                                                      methods::ARGUMENT_FLAGS,
                                                      "substitute_bytes(data, mapping)\n--\n\n"};
PyMethodDef methods::substitution_substitute_reverse_bytes = {
    "substitute_reverse_bytes", methods::entry(substitute_reverse_bytes), methods::ARGUMENT_FLAGS,
    "substitute_reverse_bytes(data, mapping)\n--\n\n"};

}  // namespace korvalith::py

#endif
