// The Caesar shift cipher over the bytes of UTF-8 text.
#pragma once

#include <array>
#include <cstdint>

#include "ciphers/translate.hpp"
#include "common/byte_buffer.hpp"
#include "common/vector_path.hpp"

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

// The CAESAR_TABLE row, 0..25, that shifts by `shift` places (any value;
// reduced modulo 26), backwards when decrypting.
unsigned caesar_row(std::int8_t shift, bool decrypt) noexcept;

// Writes `text` into `out` (text.size() bytes) with every ASCII letter moved
// `row` places (0..25) forward within its case: the translation through
// CAESAR_TABLE[row]. Runs 16 or 32 bytes at a time on the widest vector path
// this CPU supports, or on `path`, which it must support.
void shift_letters_into(ByteView text, unsigned row, std::uint8_t* out) noexcept;
void shift_letters_into(ByteView text, unsigned row, std::uint8_t* out, VectorPath path) noexcept;

// Shifts every ASCII letter of `text` by `shift` places (any value; reduced
// modulo 26), backwards when decrypting. The result has the text's length.
CoreResult<ByteBuffer> caesar_cipher(ByteView text, std::int8_t shift, bool decrypt);

}  // namespace korvalith
