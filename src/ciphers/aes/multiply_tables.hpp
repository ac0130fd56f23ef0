// Multiplication by the fixed MixColumns coefficients in GF(2^8), as lookup
// tables built at compile time. The rounds never multiply at run time: every
// product is one lookup in these tables.
#pragma once

#include <array>
#include <cstdint>

namespace korvalith::aes {

using ByteTable = std::array<std::uint8_t, 256>;

// Product of two field elements, reduced modulo x^8 + x^4 + x^3 + x + 1.
// Only ever evaluated by the compiler, to fill the tables below.
consteval std::uint8_t gf_multiply(std::uint8_t a, std::uint8_t b) {
    unsigned product = 0;
    unsigned factor = a;
    for (unsigned bits = b; bits != 0; bits >>= 1) {
        if (bits & 1U) product ^= factor;
        factor <<= 1;
        if (factor & 0x100U) factor ^= 0x11BU;
    }
    return static_cast<std::uint8_t>(product);
}

// Entry x is coefficient · x.
consteval ByteTable make_multiply_table(std::uint8_t coefficient) {
    ByteTable table{};
    for (unsigned x = 0; x < 256; ++x) table[x] = gf_multiply(coefficient, static_cast<std::uint8_t>(x));
    return table;
}

// MixColumns (encryption).
inline constexpr ByteTable MUL2 = make_multiply_table(2);
inline constexpr ByteTable MUL3 = make_multiply_table(3);
// InvMixColumns (decryption).
inline constexpr ByteTable MUL9 = make_multiply_table(9);
inline constexpr ByteTable MUL11 = make_multiply_table(11);
inline constexpr ByteTable MUL13 = make_multiply_table(13);
inline constexpr ByteTable MUL14 = make_multiply_table(14);

static_assert(MUL2[0x80] == 0x1B && MUL3[0xFF] == 0x1A);
static_assert(MUL9[0x01] == 0x09 && MUL14[0x02] == 0x1C);

}  // namespace korvalith::aes
