#include "ciphers/caesar.hpp"

namespace korvalith {

CoreResult<ByteBuffer> caesar_cipher(ByteView text, std::int8_t shift, bool decrypt) {
    int reduced = shift % 26;  // -25..25, with the sign of the shift
    if (reduced < 0) reduced += 26;
    const int row = decrypt ? (26 - reduced) % 26 : reduced;
    return translated(CAESAR_TABLE[static_cast<std::size_t>(row)], text);
}

}  // namespace korvalith

#if KORVALITH_WITH_PYTHON

#include "module/method_records.hpp"
#include "module/signatures.hpp"
#include "module/wrapper.hpp"

namespace korvalith::py {

namespace {

PyObject* run_caesar(const FunctionSignature& signature, bool decrypt, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames) noexcept {
    return run_wrapper<2>(signature, args, nargs, kwnames, [decrypt](BoundArguments<2>& arguments) -> WrapperResult {
        KORVALITH_TRY(data, arguments.text(0));
        KORVALITH_TRY(shift, arguments.integer(1));
        if (shift < -25 || shift > 25) {
            return std::unexpected(lazy_error(ErrorClass::ValueError, "Shift must be in the range -25 to 25"));
        }
        return text_from_core(caesar_cipher(data, static_cast<std::int8_t>(shift), decrypt));
    });
}

PyObject* encrypt(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return run_caesar(signatures::CAESAR_ENCRYPT, false, args, nargs, kwnames);
}

PyObject* decrypt(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return run_caesar(signatures::CAESAR_DECRYPT, true, args, nargs, kwnames);
}

}  // namespace

PyMethodDef methods::caesar_encrypt = {"encrypt", methods::entry(encrypt), methods::ARGUMENT_FLAGS,
                                       "encrypt(data, shift)\n--\n\n"};
PyMethodDef methods::caesar_decrypt = {"decrypt", methods::entry(decrypt), methods::ARGUMENT_FLAGS,
                                       "decrypt(data, shift)\n--\n\n"};

}  // namespace korvalith::py

#endif
