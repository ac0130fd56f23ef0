// The Vigenère cipher: its Python functions (the core follows in a later change).

#if KORVALITH_WITH_PYTHON

#include "module/method_records.hpp"
#include "module/signatures.hpp"
#include "module/wrapper.hpp"

namespace korvalith::py {

namespace {

PyObject* run_vigenere(const FunctionSignature& signature, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) noexcept {
    return run_wrapper<3>(signature, args, nargs, kwnames, [](BoundArguments<3>& arguments) -> WrapperResult {
        KORVALITH_TRY(data, arguments.text(0));
        KORVALITH_TRY(key, arguments.text(1));
        KORVALITH_TRY(skip_non_alpha, arguments.flag(2, true));
        (void)data, (void)key, (void)skip_non_alpha;
        return std::unexpected(lazy_error(ErrorClass::NotImplementedError, "the Vigenère cipher is not built yet"));
    });
}

PyObject* encrypt(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return run_vigenere(signatures::VIGENERE_ENCRYPT, args, nargs, kwnames);
}

PyObject* decrypt(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return run_vigenere(signatures::VIGENERE_DECRYPT, args, nargs, kwnames);
}

}  // namespace

PyMethodDef methods::vigenere_encrypt = {"encrypt", methods::entry(encrypt), methods::ARGUMENT_FLAGS,
                                         "encrypt(data, key, skip_non_alpha=True)\n--\n\n"};
PyMethodDef methods::vigenere_decrypt = {"decrypt", methods::entry(decrypt), methods::ARGUMENT_FLAGS,
                                         "decrypt(data, key, skip_non_alpha=True)\n--\n\n"};

}  // namespace korvalith::py

#endif
