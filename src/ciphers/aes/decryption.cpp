#include "ciphers/aes/decryption.hpp"

#include "ciphers/aes/raw_key_block.hpp"

namespace korvalith::aes {

namespace {

// InvShiftRows and InvSubBytes for one output column. InvShiftRows moves row
// r of column c - r into column c, so the caller passes the four input
// columns that rows 0 to 3 come from, and the shift is folded into which
// byte the inverse S-box reads.
inline std::uint32_t inv_shift_sub(std::uint32_t row0_from, std::uint32_t row1_from, std::uint32_t row2_from,
                                   std::uint32_t row3_from) noexcept {
    return make_column(INV_SBOX[state_byte(row0_from, 0)], INV_SBOX[state_byte(row1_from, 1)],
                       INV_SBOX[state_byte(row2_from, 2)], INV_SBOX[state_byte(row3_from, 3)]);
}

inline std::uint32_t inv_mix_column(std::uint32_t column) noexcept {
    const std::uint8_t a0 = state_byte(column, 0);
    const std::uint8_t a1 = state_byte(column, 1);
    const std::uint8_t a2 = state_byte(column, 2);
    const std::uint8_t a3 = state_byte(column, 3);
    return make_column(MUL14[a0] ^ MUL11[a1] ^ MUL13[a2] ^ MUL9[a3], MUL9[a0] ^ MUL14[a1] ^ MUL11[a2] ^ MUL13[a3],
                       MUL13[a0] ^ MUL9[a1] ^ MUL14[a2] ^ MUL11[a3], MUL11[a0] ^ MUL13[a1] ^ MUL9[a2] ^ MUL14[a3]);
}

}  // namespace

void decrypt_block(const KeySchedule& schedule, BlockIn in, BlockOut out) noexcept {
    const RoundKey* keys = schedule.round_keys.data();
    const std::uint8_t* input = in.data();
    std::uint32_t s0 = load_column(input) ^ key_column(keys[schedule.rounds], 0);
    std::uint32_t s1 = load_column(input + 4) ^ key_column(keys[schedule.rounds], 1);
    std::uint32_t s2 = load_column(input + 8) ^ key_column(keys[schedule.rounds], 2);
    std::uint32_t s3 = load_column(input + 12) ^ key_column(keys[schedule.rounds], 3);
    // Rounds Nr-1 down to 1: InvShiftRows, InvSubBytes, AddRoundKey, InvMixColumns.
    for (std::size_t round = schedule.rounds; round-- > 1;) {
        const RoundKey& key = keys[round];
        const std::uint32_t t0 = inv_shift_sub(s0, s3, s2, s1) ^ key_column(key, 0);
        const std::uint32_t t1 = inv_shift_sub(s1, s0, s3, s2) ^ key_column(key, 1);
        const std::uint32_t t2 = inv_shift_sub(s2, s1, s0, s3) ^ key_column(key, 2);
        const std::uint32_t t3 = inv_shift_sub(s3, s2, s1, s0) ^ key_column(key, 3);
        s0 = inv_mix_column(t0);
        s1 = inv_mix_column(t1);
        s2 = inv_mix_column(t2);
        s3 = inv_mix_column(t3);
    }
    const RoundKey& key = keys[0];
    std::uint8_t* output = out.data();
    store_column(inv_shift_sub(s0, s3, s2, s1) ^ key_column(key, 0), output);
    store_column(inv_shift_sub(s1, s0, s3, s2) ^ key_column(key, 1), output + 4);
    store_column(inv_shift_sub(s2, s1, s0, s3) ^ key_column(key, 2), output + 8);
    store_column(inv_shift_sub(s3, s2, s1, s0) ^ key_column(key, 3), output + 12);
}

CoreResult<Block> decrypt_block(ByteView block, ByteView key) {
    return transform_with_raw_key<decrypt_block>(block, key);
}

}  // namespace korvalith::aes
