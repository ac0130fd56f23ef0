// The bitsliced AES state: a group of blocks held as eight bit planes, and
// the steps of the rounds that move bytes (ShiftRows, MixColumns and their
// inverses) done on whole planes with shifts, rotations and XORs.
//
// A plane is one Word: 64 bits on 64-bit machines, 32 otherwise. Plane i
// holds bit i of every byte of BLOCKS blocks (64 bytes or 32). The byte in
// row r and column c of block b (block byte 4c + r) sits at bit position
//     b + BLOCKS·c + 4·BLOCKS·r,
// so each row is one field of 4·BLOCKS bits: rotating the whole plane by one
// field brings the next row into every row (the MixColumns step), and
// rotating inside one field by BLOCKS bits moves every byte of that row one
// column over (the ShiftRows step).
#pragma once

#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "ciphers/aes/bitsliced/sbox_circuit.hpp"

namespace korvalith::aes::bitsliced {

using Word = std::conditional_t<sizeof(void*) >= 8, std::uint64_t, std::uint32_t>;
using State = Planes<Word>;

inline constexpr unsigned WORD_BITS = sizeof(Word) * CHAR_BIT;
// Blocks in one state: 4 with 64-bit words, 2 with 32-bit ones.
inline constexpr std::size_t BLOCKS = WORD_BITS / 16;
inline constexpr std::size_t GROUP_BYTES = 16 * BLOCKS;
// Bits of one row field, and of one column within it.
inline constexpr unsigned ROW_BITS = 4 * BLOCKS;
inline constexpr unsigned COLUMN_BITS = BLOCKS;

// The bits of the given rows and columns (bit r of `rows` selects row r,
// bit c of `columns` column c), in every block.
consteval Word mask(unsigned rows, unsigned columns) {
    Word bits = 0;
    for (unsigned r = 0; r < 4; ++r) {
        for (unsigned c = 0; c < 4; ++c) {
            if ((rows >> r & 1) == 0 || (columns >> c & 1) == 0) continue;
            for (unsigned b = 0; b < BLOCKS; ++b) bits |= Word{1} << (b + COLUMN_BITS * c + ROW_BITS * r);
        }
    }
    return bits;
}

// --- From bytes to planes and back ----------------------------------------

namespace layout {

// The bits of a word whose position has bit `bit` clear.
consteval Word position_bit_clear(unsigned bit) {
    Word bits = 0;
    for (unsigned position = 0; position < WORD_BITS; ++position) {
        if ((position >> bit & 1) == 0) bits |= Word{1} << position;
    }
    return bits;
}

// Every bit of the group has an address: the index of its word (3 bits) and
// its position in the word. This exchanges bit `WordBit` of the address's
// word index with bit `PositionBit` of its position: between each word k
// without WordBit and its partner k + 2^WordBit, the bits of k whose position
// has PositionBit set trade places with the bits of the partner whose
// position has it clear. It is its own inverse.
template <unsigned WordBit, unsigned PositionBit>
inline void exchange(State& q) noexcept {
    constexpr unsigned shift = 1U << PositionBit;
    constexpr Word low = position_bit_clear(PositionBit);
#pragma GCC unroll 8
    for (std::size_t k = 0; k < 8; ++k) {
        if (k >> WordBit & 1) continue;
        const std::size_t partner = k | (std::size_t{1} << WordBit);
        const Word t = ((q[k] >> shift) ^ q[partner]) & low;
        q[partner] ^= t;
        q[k] ^= t << shift;
    }
}

// The exchanges that take the bytes as loaded (below) to the planes. Each
// bit of the word index trades places with one bit of the bit number within
// a byte (positions 0-2), so that word i becomes plane i. On 64-bit words,
// where loading leaves the row in positions 3-4, column bit 0 in position 5
// and column bit 1 in word index bit 2, that index bit first trades places
// with positions 3, 4 and 5 in turn: with its exchange with position 2, this
// moves column bit 1 to position 3, the row to 4-5 and column bit 0 to 2.
inline void exchanges(State& q) noexcept {
    exchange<0, 0>(q);
    exchange<1, 1>(q);
    if constexpr (WORD_BITS == 64) {
        exchange<2, 3>(q);
        exchange<2, 4>(q);
        exchange<2, 5>(q);
    }
    exchange<2, 2>(q);
}

inline void exchanges_reversed(State& q) noexcept {
    exchange<2, 2>(q);
    if constexpr (WORD_BITS == 64) {
        exchange<2, 5>(q);
        exchange<2, 4>(q);
        exchange<2, 3>(q);
    }
    exchange<1, 1>(q);
    exchange<0, 0>(q);
}

// Word k of the loaded group: the group's bytes in memory order, cut into
// words, each word little-endian. The order of the words is chosen so that
// the exchanges above suffice: word index b + 2c holds column c of block b
// on 32-bit words; on 64-bit words, word index b + 4h holds columns 2h and
// 2h + 1 of block b.
inline std::size_t loaded_word_index(std::size_t chunk) noexcept {
    if constexpr (WORD_BITS == 64) {
        return (chunk >> 1) + 4 * (chunk & 1);
    } else {
        return (chunk >> 2) + 2 * (chunk & 3);
    }
}

inline Word load_little_endian(const std::uint8_t* bytes) noexcept {
    Word word = 0;
    for (unsigned i = 0; i < sizeof(Word); ++i) word |= Word{bytes[i]} << (8 * i);
    return word;
}

inline void store_little_endian(Word word, std::uint8_t* bytes) noexcept {
    for (unsigned i = 0; i < sizeof(Word); ++i) bytes[i] = static_cast<std::uint8_t>(word >> (8 * i));
}

}  // namespace layout

// The GROUP_BYTES bytes at `bytes` (BLOCKS blocks) as a state.
inline State to_planes(const std::uint8_t* bytes) noexcept {
    State q;
#pragma GCC unroll 8
    for (std::size_t chunk = 0; chunk < 8; ++chunk) {
        q[layout::loaded_word_index(chunk)] = layout::load_little_endian(bytes + sizeof(Word) * chunk);
    }
    layout::exchanges(q);
    return q;
}

// The state back to GROUP_BYTES bytes.
inline void from_planes(State q, std::uint8_t* bytes) noexcept {
    layout::exchanges_reversed(q);
#pragma GCC unroll 8
    for (std::size_t chunk = 0; chunk < 8; ++chunk) {
        layout::store_little_endian(q[layout::loaded_word_index(chunk)], bytes + sizeof(Word) * chunk);
    }
}

// --- The round steps ----------------------------------------------------------
//
// Each step works on the planes of one state (R = Word) or, on x86-64 and
// aarch64, whose every CPU has 128-bit vector registers (SSE2, Advanced
// SIMD), of two states side by side, one in each 64-bit lane of a Pair: the
// same operations then run two groups at once.

#if defined(__x86_64__) || (defined(__aarch64__) && defined(__ARM_NEON))
#define KORVALITH_BITSLICED_PAIRS 1
typedef Word Pair __attribute__((vector_size(2 * sizeof(Word))));
#else
#define KORVALITH_BITSLICED_PAIRS 0
#endif

template <typename R>
inline void add_round_key(Planes<R>& q, const State& key) noexcept {
#pragma GCC unroll 8
    for (std::size_t i = 0; i < 8; ++i) q[i] ^= key[i];
}

// Rows 2 and 3 move two columns: columns 0 and 1 trade places with 2 and 3
// (the same in both directions).
template <typename R>
inline R move_rows_2_and_3(R x) noexcept {
    constexpr Word lower_columns = mask(0b1100, 0b0011);
    const R t = ((x >> 2 * COLUMN_BITS) ^ x) & lower_columns;
    return x ^ t ^ (t << 2 * COLUMN_BITS);
}

// ShiftRows: row r of column c takes the byte of column c + r. Rows 1 and 3
// move one column towards column 0 (column 0 wrapping to 3), then rows 2 and
// 3 two.
template <typename R>
inline void shift_rows(Planes<R>& q) noexcept {
    constexpr Word unmoved = mask(0b0101, 0b1111);
    constexpr Word moved = mask(0b1010, 0b0111);
    constexpr Word wrapped = mask(0b1010, 0b1000);
#pragma GCC unroll 8
    for (R& x : q) {
        x = (x & unmoved) | ((x >> COLUMN_BITS) & moved) | ((x << 3 * COLUMN_BITS) & wrapped);
        x = move_rows_2_and_3(x);
    }
}

// InvShiftRows: row r of column c takes the byte of column c - r (rows 1
// and 3 move one column away from column 0, column 3 wrapping to 0).
template <typename R>
inline void inv_shift_rows(Planes<R>& q) noexcept {
    constexpr Word unmoved = mask(0b0101, 0b1111);
    constexpr Word moved = mask(0b1010, 0b1110);
    constexpr Word wrapped = mask(0b1010, 0b0001);
#pragma GCC unroll 8
    for (R& x : q) {
        x = (x & unmoved) | ((x << COLUMN_BITS) & moved) | ((x >> 3 * COLUMN_BITS) & wrapped);
        x = move_rows_2_and_3(x);
    }
}

// Every row takes the row `Rows` below it in its column (row 3 wraps to 0):
// a rotation of each plane by whole row fields.
template <unsigned Rows, typename R>
inline R rotate_rows(R x) noexcept {
    return (x >> Rows * ROW_BITS) | (x << (WORD_BITS - Rows * ROW_BITS));
}

// MixColumns. With a_r the byte in row r, row r becomes
//     2·a_r + 3·a_{r+1} + a_{r+2} + a_{r+3} = 2·t_r + a_{r+1} + t_{r+2},
// where t_r = a_r + a_{r+1}. Multiplying by 2 shifts the planes up and folds
// plane 7 back in by the modulus x^8 + x^4 + x^3 + x + 1.
template <typename R>
inline void mix_columns(Planes<R>& q) noexcept {
    Planes<R> next, t;
#pragma GCC unroll 8
    for (std::size_t i = 0; i < 8; ++i) {
        next[i] = rotate_rows<1>(q[i]);
        t[i] = q[i] ^ next[i];
    }
    const Planes<R> doubled = {t[7], t[0] ^ t[7], t[1], t[2] ^ t[7], t[3] ^ t[7], t[4], t[5], t[6]};
#pragma GCC unroll 8
    for (std::size_t i = 0; i < 8; ++i) q[i] = doubled[i] ^ next[i] ^ rotate_rows<2>(t[i]);
}

// InvMixColumns. Its matrix (14 11 13 9) is that of MixColumns times
// (5 0 4 0), so row r first becomes 5·a_r + 4·a_{r+2} = a_r + 4·u_r, where
// u_r = a_r + a_{r+2}, and then goes through MixColumns.
template <typename R>
inline void inv_mix_columns(Planes<R>& q) noexcept {
    Planes<R> u;
#pragma GCC unroll 8
    for (std::size_t i = 0; i < 8; ++i) u[i] = q[i] ^ rotate_rows<2>(q[i]);
    const R u67 = u[6] ^ u[7];
    const Planes<R> quadrupled = {u[6], u67, u[0] ^ u[7], u[1] ^ u[6], u[2] ^ u67, u[3] ^ u[7], u[4], u[5]};
#pragma GCC unroll 8
    for (std::size_t i = 0; i < 8; ++i) q[i] ^= quadrupled[i];
    mix_columns(q);
}

}  // namespace korvalith::aes::bitsliced
