// The 16-byte AES block and the steps that encryption and decryption share.
#pragma once

#include <array>
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

// AddRoundKey: state byte i ^= round-key byte i, done one 32-bit word (one
// column) at a time. Both sides are in the same byte order, so the words are
// loaded natively and no byte swapping is needed.
inline void add_round_key(std::uint8_t* state, const RoundKey& key) noexcept {
    for (std::size_t column = 0; column < 4; ++column) {
        std::uint32_t word;
        std::uint32_t key_word;
        std::memcpy(&word, state + 4 * column, 4);
        std::memcpy(&key_word, key.bytes.data() + 4 * column, 4);
        word ^= key_word;
        std::memcpy(state + 4 * column, &word, 4);
    }
}

}  // namespace korvalith::aes
