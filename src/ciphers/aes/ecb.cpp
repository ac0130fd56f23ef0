// AES in ECB mode: the Python functions of ciphers.aes (the block cipher and
// the ECB driver follow in a later change).

#if KORVALITH_WITH_PYTHON

#include "module/method_records.hpp"
#include "module/signatures.hpp"
#include "module/wrapper.hpp"

namespace korvalith::py {

namespace {

PyObject* run_ecb(const FunctionSignature& signature, PyObject* const* args, Py_ssize_t nargs,
                  PyObject* kwnames) noexcept {
    return run_wrapper<3>(signature, args, nargs, kwnames, [](BoundArguments<3>& arguments) -> WrapperResult {
        KORVALITH_TRY(text, arguments.byte_vector(0, 16));
        KORVALITH_TRY(key, arguments.bytes(1));
        KORVALITH_TRY(padding_mode, arguments.text(2));
        (void)text, (void)key, (void)padding_mode;
        return std::unexpected(lazy_error(ErrorClass::NotImplementedError, "AES is not built yet"));
    });
}

PyObject* encrypt_ecb(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return run_ecb(signatures::ENCRYPT_ECB, args, nargs, kwnames);
}

PyObject* decrypt_ecb(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return run_ecb(signatures::DECRYPT_ECB, args, nargs, kwnames);
}

}  // namespace

PyMethodDef methods::aes_encrypt_ecb = {"encrypt_ecb", methods::entry(encrypt_ecb), methods::ARGUMENT_FLAGS,
                                        "encrypt_ecb(text, key, padding_mode)\n--\n\n"};
PyMethodDef methods::aes_decrypt_ecb = {"decrypt_ecb", methods::entry(decrypt_ecb), methods::ARGUMENT_FLAGS,
                                        "decrypt_ecb(text, key, padding_mode)\n--\n\n"};

}  // namespace korvalith::py

#endif
