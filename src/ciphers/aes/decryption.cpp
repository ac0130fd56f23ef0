#include "ciphers/aes/decryption.hpp"

#include <cstring>

namespace korvalith::aes {

namespace {

// InvShiftRows and InvSubBytes together: output byte i is INV_SBOX of input
// byte (i + 12·(i mod 4)) mod 16, that is 0, 13, 10, 7, 4, 1, ...
inline void inv_shift_sub(const std::uint8_t* in, std::uint8_t* out) noexcept {
    for (unsigned i = 0; i < BLOCK_SIZE; ++i) out[i] = INV_SBOX[in[(i + 12 * (i % 4)) % 16]];
}

// InvMixColumns for column c, from `in` into `out`.
inline void inv_mix_column(const std::uint8_t* in, std::uint8_t* out, unsigned c) noexcept {
    const std::uint8_t a0 = in[4 * c];
    const std::uint8_t a1 = in[4 * c + 1];
    const std::uint8_t a2 = in[4 * c + 2];
    const std::uint8_t a3 = in[4 * c + 3];
    out[4 * c + 0] = static_cast<std::uint8_t>(MUL14[a0] ^ MUL11[a1] ^ MUL13[a2] ^ MUL9[a3]);
    out[4 * c + 1] = static_cast<std::uint8_t>(MUL9[a0] ^ MUL14[a1] ^ MUL11[a2] ^ MUL13[a3]);
    out[4 * c + 2] = static_cast<std::uint8_t>(MUL13[a0] ^ MUL9[a1] ^ MUL14[a2] ^ MUL11[a3]);
    out[4 * c + 3] = static_cast<std::uint8_t>(MUL11[a0] ^ MUL13[a1] ^ MUL9[a2] ^ MUL14[a3]);
}

// One full inverse round: InvShiftRows, InvSubBytes, AddRoundKey, InvMixColumns.
inline void inverse_round(std::uint8_t* state, const RoundKey& key) noexcept {
    alignas(16) std::uint8_t next[BLOCK_SIZE];
    inv_shift_sub(state, next);
    add_round_key(next, key);
    inv_mix_column(next, state, 0);
    inv_mix_column(next, state, 1);
    inv_mix_column(next, state, 2);
    inv_mix_column(next, state, 3);
}

}  // namespace

void decrypt_block(const KeySchedule& schedule, BlockIn in, BlockOut out) noexcept {
    const RoundKey* keys = schedule.round_keys.data();
    alignas(16) std::uint8_t state[BLOCK_SIZE];
    alignas(16) std::uint8_t last[BLOCK_SIZE];

    std::memcpy(state, in.data(), BLOCK_SIZE);
    add_round_key(state, keys[schedule.rounds]);
    for (std::size_t round = schedule.rounds - 1; round >= 1; --round) inverse_round(state, keys[round]);
    inv_shift_sub(state, last);
    add_round_key(last, keys[0]);
    std::memcpy(out.data(), last, BLOCK_SIZE);
}

CoreResult<Block> decrypt_block(ByteView block, ByteView key) {
    auto rounds = rounds_for_key_length(key.size());
    if (!rounds) return std::unexpected(std::move(rounds.error()));
    if (auto length = check_block_length(block.size()); !length) return std::unexpected(std::move(length.error()));
    auto schedule = expand_key(key);
    if (!schedule) return std::unexpected(std::move(schedule.error()));

    Block result;
    decrypt_block(*schedule, BlockIn(block.data(), BLOCK_SIZE), BlockOut(result));
    return result;
}

}  // namespace korvalith::aes
