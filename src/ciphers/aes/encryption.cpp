#include "ciphers/aes/encryption.hpp"

#include <cstring>

#include "ciphers/aes/multiply_tables.hpp"

namespace korvalith::aes {

namespace {

// SubBytes and ShiftRows for column c: row r of the output column comes from
// column c + r of the input, so output byte i reads input byte
// (i + 4·(i mod 4)) mod 16, that is 0, 5, 10, 15, 4, 9, ...
struct Column {
    std::uint8_t a0, a1, a2, a3;
};

inline Column sub_shifted_column(const std::uint8_t* in, unsigned c) noexcept {
    return {SBOX[in[(4 * c) % 16]], SBOX[in[(4 * c + 5) % 16]], SBOX[in[(4 * c + 10) % 16]],
            SBOX[in[(4 * c + 15) % 16]]};
}

// SubBytes, ShiftRows and MixColumns for column c, from `in` into `out`.
inline void sub_shift_mix_column(const std::uint8_t* in, std::uint8_t* out, unsigned c) noexcept {
    const auto [a0, a1, a2, a3] = sub_shifted_column(in, c);
    out[4 * c + 0] = static_cast<std::uint8_t>(MUL2[a0] ^ MUL3[a1] ^ a2 ^ a3);
    out[4 * c + 1] = static_cast<std::uint8_t>(a0 ^ MUL2[a1] ^ MUL3[a2] ^ a3);
    out[4 * c + 2] = static_cast<std::uint8_t>(a0 ^ a1 ^ MUL2[a2] ^ MUL3[a3]);
    out[4 * c + 3] = static_cast<std::uint8_t>(MUL3[a0] ^ a1 ^ a2 ^ MUL2[a3]);
}

// SubBytes and ShiftRows for column c, without MixColumns (final round).
inline void sub_shift_column(const std::uint8_t* in, std::uint8_t* out, unsigned c) noexcept {
    const auto [a0, a1, a2, a3] = sub_shifted_column(in, c);
    out[4 * c + 0] = a0;
    out[4 * c + 1] = a1;
    out[4 * c + 2] = a2;
    out[4 * c + 3] = a3;
}

// One full round from `in` into `out`.
inline void full_round(const std::uint8_t* in, std::uint8_t* out, const RoundKey& key) noexcept {
    sub_shift_mix_column(in, out, 0);
    sub_shift_mix_column(in, out, 1);
    sub_shift_mix_column(in, out, 2);
    sub_shift_mix_column(in, out, 3);
    add_round_key(out, key);
}

}  // namespace

void encrypt_block(const KeySchedule& schedule, BlockIn in, BlockOut out) noexcept {
    const RoundKey* keys = schedule.round_keys.data();
    const std::size_t rounds = schedule.rounds;
    alignas(16) std::uint8_t state[BLOCK_SIZE];
    alignas(16) std::uint8_t next[BLOCK_SIZE];

    std::memcpy(state, in.data(), BLOCK_SIZE);
    add_round_key(state, keys[0]);
    // Rounds 1 .. Nr-1 in pairs, alternating between the two states; Nr - 1
    // is odd for every key size, so one round is left before the last.
    std::size_t round = 1;
    for (; round + 1 < rounds; round += 2) {
        full_round(state, next, keys[round]);
        full_round(next, state, keys[round + 1]);
    }
    full_round(state, next, keys[round]);

    sub_shift_column(next, state, 0);
    sub_shift_column(next, state, 1);
    sub_shift_column(next, state, 2);
    sub_shift_column(next, state, 3);
    add_round_key(state, keys[rounds]);
    std::memcpy(out.data(), state, BLOCK_SIZE);
}

CoreResult<Block> encrypt_block(ByteView block, ByteView key) {
    auto rounds = rounds_for_key_length(key.size());
    if (!rounds) return std::unexpected(std::move(rounds.error()));
    if (auto length = check_block_length(block.size()); !length) return std::unexpected(std::move(length.error()));
    auto schedule = expand_key(key);
    if (!schedule) return std::unexpected(std::move(schedule.error()));

    Block result;
    encrypt_block(*schedule, BlockIn(block.data(), BLOCK_SIZE), BlockOut(result));
    return result;
}

}  // namespace korvalith::aes
