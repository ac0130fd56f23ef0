#include "ciphers/caesar.hpp"

namespace korvalith {

const TranslationTable& caesar_table(std::int8_t shift, bool decrypt) noexcept {
    int reduced = shift % 26;  // -25..25, with the sign of the shift
    if (reduced < 0) reduced += 26;
    const int row = decrypt ? (26 - reduced) % 26 : reduced;
    return CAESAR_TABLE[static_cast<std::size_t>(row)];
}

CoreResult<ByteBuffer> caesar_cipher(ByteView text, std::int8_t shift, bool decrypt) {
    return translated(caesar_table(shift, decrypt), text);
}

}  // namespace korvalith

#if KORVALITH_WITH_PYTHON

#include "module/submodules.hpp"
#include "module/wrapper.hpp"

namespace korvalith::py {

namespace {

template <bool Decrypt>
WrapperResult run_caesar(ByteView data, std::int32_t shift) {
    if (shift < -25 || shift > 25) {
        return std::unexpected(lazy_error(ErrorClass::ValueError, "Shift must be in the range -25 to 25"));
    }
    return text_from_core(caesar_cipher(data, static_cast<std::int8_t>(shift), Decrypt));
}

using Encrypt = PythonFunction<"encrypt", run_caesar<false>, Text<"data">, Integer<"shift">>;
using Decrypt = PythonFunction<"decrypt", run_caesar<true>, Text<"data">, Integer<"shift">>;

}  // namespace

}  // namespace korvalith::py

KORVALITH_PYTHON_SUBMODULE(caesar, Encrypt, Decrypt);

#endif
