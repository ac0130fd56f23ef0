// Encryption of one 16-byte AES block.
#pragma once

#include "ciphers/aes/block.hpp"
#include "ciphers/aes/key_expansion.hpp"
#include "common/byte_buffer.hpp"
#include "common/core_error.hpp"

namespace korvalith::aes {

// Encrypts one block with a raw key. Checks the key length first ("Invalid
// key length: N"), then the block length ("Amount of bytes in block is not
// correct: N"), then expands the key and runs the rounds.
CoreResult<Block> encrypt_block(ByteView block, ByteView key);

// Encrypts one block with an already expanded key, for callers that run many
// blocks under one key and have made the checks above themselves. `in` and
// `out` may be the same block.
void encrypt_block(const KeySchedule& schedule, BlockIn in, BlockOut out) noexcept;

}  // namespace korvalith::aes
