// The 16-byte AES block and the steps that encryption and decryption share.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "ciphers/aes/key_expansion.hpp"
#include "common/core_error.hpp"

namespace korvalith::aes {

inline constexpr std::size_t BLOCK_SIZE = 16;

// One block of output, owned by value: a block routine needs no heap memory.
using Block = std::array<std::uint8_t, BLOCK_SIZE>;
using BlockIn = std::span<const std::uint8_t, BLOCK_SIZE>;
using BlockOut = std::span<std::uint8_t, BLOCK_SIZE>;

// Fails with the block-length message unless the block holds exactly 16 bytes.
inline CoreResult<void> check_block_length(std::size_t length) {
    if (length != BLOCK_SIZE) {
        return std::unexpected(CoreError::invalid("Amount of bytes in block is not correct: " + std::to_string(length)));
    }
    return {};
}

// The rounds hold the state as four column words, each loaded from four
// consecutive state bytes in the machine's byte order, and pick single bytes
// out of them with shifts, so the state stays in registers. Round keys are
// stored in state byte order and loaded the same way, so AddRoundKey is one
// XOR per column word.

// Bit position of row r's byte within a column word.
constexpr unsigned row_shift(unsigned row) noexcept {
    return std::endian::native == std::endian::little ? 8 * row : 24 - 8 * row;
}

constexpr std::uint8_t state_byte(std::uint32_t column, unsigned row) noexcept {
    return static_cast<std::uint8_t>(column >> row_shift(row));
}

constexpr std::uint32_t make_column(std::uint32_t b0, std::uint32_t b1, std::uint32_t b2, std::uint32_t b3) noexcept {
    return (b0 << row_shift(0)) | (b1 << row_shift(1)) | (b2 << row_shift(2)) | (b3 << row_shift(3));
}

inline std::uint32_t load_column(const std::uint8_t* bytes) noexcept {
    std::uint32_t word;
    std::memcpy(&word, bytes, 4);
    return word;
}

inline void store_column(std::uint32_t column, std::uint8_t* bytes) noexcept { std::memcpy(bytes, &column, 4); }

// Column c of a round key, for AddRoundKey.
inline std::uint32_t key_column(const RoundKey& key, unsigned c) noexcept { return load_column(key.bytes.data() + 4 * c); }

// The state: columns 0 to 3.
struct State {
    std::uint32_t c0, c1, c2, c3;
};

inline State load_state(const std::uint8_t* bytes) noexcept {
    return {load_column(bytes), load_column(bytes + 4), load_column(bytes + 8), load_column(bytes + 12)};
}

// AddRoundKey, storing each column as soon as it is done.
inline void add_round_key_and_store(State s, const RoundKey& key, std::uint8_t* bytes) noexcept {
    store_column(s.c0 ^ key_column(key, 0), bytes);
    store_column(s.c1 ^ key_column(key, 1), bytes + 4);
    store_column(s.c2 ^ key_column(key, 2), bytes + 8);
    store_column(s.c3 ^ key_column(key, 3), bytes + 12);
}

inline State add_round_key(State s, const RoundKey& key) noexcept {
    return {s.c0 ^ key_column(key, 0), s.c1 ^ key_column(key, 1), s.c2 ^ key_column(key, 2), s.c3 ^ key_column(key, 3)};
}

// ShiftRows moves row r of column c + r into column c, InvShiftRows row r of
// column c - r: each runs `step` once per output column with the four input
// columns that its rows 0 to 3 come from, so that the step folds the shift
// into which byte of each column it reads. The middle rounds add their key
// column by column as they go (the _add_key forms), and the last round as
// it stores (add_round_key_and_store): adding it after a whole round costs
// registers, and a last round worked out whole before its stores is
// vectorised by the compiler into slower code.
template <typename Step>
inline State shift_rows(State s, Step step) noexcept {
    return {step(s.c0, s.c1, s.c2, s.c3), step(s.c1, s.c2, s.c3, s.c0), step(s.c2, s.c3, s.c0, s.c1),
            step(s.c3, s.c0, s.c1, s.c2)};
}

template <typename Step>
inline State inv_shift_rows(State s, Step step) noexcept {
    return {step(s.c0, s.c3, s.c2, s.c1), step(s.c1, s.c0, s.c3, s.c2), step(s.c2, s.c1, s.c0, s.c3),
            step(s.c3, s.c2, s.c1, s.c0)};
}

template <typename Step>
inline State shift_rows_add_key(State s, Step step, const RoundKey& key) noexcept {
    return {step(s.c0, s.c1, s.c2, s.c3) ^ key_column(key, 0), step(s.c1, s.c2, s.c3, s.c0) ^ key_column(key, 1),
            step(s.c2, s.c3, s.c0, s.c1) ^ key_column(key, 2), step(s.c3, s.c0, s.c1, s.c2) ^ key_column(key, 3)};
}

template <typename Step>
inline State inv_shift_rows_add_key(State s, Step step, const RoundKey& key) noexcept {
    return {step(s.c0, s.c3, s.c2, s.c1) ^ key_column(key, 0), step(s.c1, s.c0, s.c3, s.c2) ^ key_column(key, 1),
            step(s.c2, s.c1, s.c0, s.c3) ^ key_column(key, 2), step(s.c3, s.c2, s.c1, s.c0) ^ key_column(key, 3)};
}

}  // namespace korvalith::aes
