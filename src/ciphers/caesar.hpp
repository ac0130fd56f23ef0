// The Caesar shift cipher over the bytes of UTF-8 text.
#pragma once

#include <array>
#include <cstdint>

#include "ciphers/translate.hpp"
#include "common/byte_buffer.hpp"

namespace korvalith {

// Row k maps each ASCII letter k places forward within its case, wrapping,
// and every other byte to itself. Shared with the Vigenère cipher.
using CaesarTable = std::array<TranslationTable, 26>;

constexpr std::uint8_t shifted_letter(unsigned byte, unsigned shift) {
    if (byte >= 'A' && byte <= 'Z') return static_cast<std::uint8_t>('A' + (byte - 'A' + shift) % 26);
    if (byte >= 'a' && byte <= 'z') return static_cast<std::uint8_t>('a' + (byte - 'a' + shift) % 26);
    return static_cast<std::uint8_t>(byte);
}

constexpr TranslationTable make_shift_row(unsigned shift) {
    TranslationTable row{};
    for (unsigned byte = 0; byte < 256; ++byte) row[byte] = shifted_letter(byte, shift);
    return row;
}

constexpr CaesarTable make_caesar_table() {
    CaesarTable table{};
    for (unsigned shift = 0; shift < 26; ++shift) table[shift] = make_shift_row(shift);
    return table;
}

inline constexpr CaesarTable CAESAR_TABLE = make_caesar_table();

// The CAESAR_TABLE row that shifts by `shift` places (any value; reduced
// modulo 26), backwards when decrypting.
const TranslationTable& caesar_table(std::int8_t shift, bool decrypt) noexcept;

// Shifts every ASCII letter of `text` by `shift` places (any value; reduced
// modulo 26), backwards when decrypting. The result has the text's length.
CoreResult<ByteBuffer> caesar_cipher(ByteView text, std::int8_t shift, bool decrypt);

}  // namespace korvalith
