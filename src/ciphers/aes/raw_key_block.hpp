// One block under a raw key: the checks, the key expansion and one run of a
// block transform, shared by encrypt_block and decrypt_block.
#pragma once

#include <utility>

#include "ciphers/aes/block.hpp"
#include "ciphers/aes/key_expansion.hpp"
#include "common/byte_buffer.hpp"
#include "common/core_error.hpp"

namespace korvalith::aes {

// The transform of one block under an expanded key: encrypt_block or decrypt_block.
using BlockTransform = void (*)(const KeySchedule&, BlockIn, BlockOut) noexcept;

// Checks the key length first ("Invalid key length: N"), then the block
// length ("Amount of bytes in block is not correct: N"), then expands the
// key and runs `Transform` on the block.
template <BlockTransform Transform>
CoreResult<Block> transform_with_raw_key(ByteView block, ByteView key) {
    auto rounds = rounds_for_key_length(key.size());
    if (!rounds) return std::unexpected(std::move(rounds.error()));
    if (auto length = check_block_length(block.size()); !length) return std::unexpected(std::move(length.error()));
    auto schedule = expand_key(key);
    if (!schedule) return std::unexpected(std::move(schedule.error()));

    Block result;
    Transform(*schedule, BlockIn(block.data(), BLOCK_SIZE), BlockOut(result));
    return result;
}

}  // namespace korvalith::aes
