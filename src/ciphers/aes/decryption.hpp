// Decryption of one 16-byte AES block (the plain inverse cipher: round keys
// are used exactly as expanded).
#pragma once

#include "ciphers/aes/block.hpp"
#include "ciphers/aes/key_expansion.hpp"
#include "ciphers/aes/multiply_tables.hpp"
#include "common/byte_buffer.hpp"
#include "common/core_error.hpp"

namespace korvalith::aes {

consteval ByteTable make_inverse_sbox() {
    ByteTable inverse{};
    for (unsigned b = 0; b < 256; ++b) inverse[SBOX[b]] = static_cast<std::uint8_t>(b);
    return inverse;
}

// The inverse S-box: INV_SBOX[SBOX[b]] == b.
inline constexpr ByteTable INV_SBOX = make_inverse_sbox();
static_assert(INV_SBOX[0x63] == 0x00 && INV_SBOX[0x16] == 0xFF && INV_SBOX[0x00] == 0x52);

// Decrypts one block with a raw key. Checks the key length first ("Invalid
// key length: N"), then the block length ("Amount of bytes in block is not
// correct: N"), then expands the key and runs the rounds.
CoreResult<Block> decrypt_block(ByteView block, ByteView key);

// Decrypts one block with an already expanded key, for callers that run many
// blocks under one key and have made the checks above themselves. `in` and
// `out` may be the same block.
void decrypt_block(const KeySchedule& schedule, BlockIn in, BlockOut out) noexcept;

}  // namespace korvalith::aes
