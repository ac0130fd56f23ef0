#include "ciphers/aes/encryption.hpp"

#include "ciphers/aes/multiply_tables.hpp"
#include "ciphers/aes/raw_key_block.hpp"

namespace korvalith::aes {

namespace {

// SubBytes, ShiftRows and MixColumns for one output column. ShiftRows moves
// row r of column c + r into column c, so the caller passes the four input
// columns that rows 0 to 3 come from, and the shift is folded into which
// byte the S-box reads.
inline std::uint32_t sub_shift_mix(std::uint32_t row0_from, std::uint32_t row1_from, std::uint32_t row2_from,
                                   std::uint32_t row3_from) noexcept {
    const std::uint8_t a0 = SBOX[state_byte(row0_from, 0)];
    const std::uint8_t a1 = SBOX[state_byte(row1_from, 1)];
    const std::uint8_t a2 = SBOX[state_byte(row2_from, 2)];
    const std::uint8_t a3 = SBOX[state_byte(row3_from, 3)];
    return make_column(MUL2[a0] ^ MUL3[a1] ^ a2 ^ a3, a0 ^ MUL2[a1] ^ MUL3[a2] ^ a3, a0 ^ a1 ^ MUL2[a2] ^ MUL3[a3],
                       MUL3[a0] ^ a1 ^ a2 ^ MUL2[a3]);
}

// SubBytes and ShiftRows for one output column, without MixColumns (final round).
inline std::uint32_t sub_shift(std::uint32_t row0_from, std::uint32_t row1_from, std::uint32_t row2_from,
                               std::uint32_t row3_from) noexcept {
    return make_column(SBOX[state_byte(row0_from, 0)], SBOX[state_byte(row1_from, 1)], SBOX[state_byte(row2_from, 2)],
                       SBOX[state_byte(row3_from, 3)]);
}

}  // namespace

void encrypt_block(const KeySchedule& schedule, BlockIn in, BlockOut out) noexcept {
    const RoundKey* keys = schedule.round_keys.data();
    const std::uint8_t* input = in.data();
    std::uint32_t s0 = load_column(input) ^ key_column(keys[0], 0);
    std::uint32_t s1 = load_column(input + 4) ^ key_column(keys[0], 1);
    std::uint32_t s2 = load_column(input + 8) ^ key_column(keys[0], 2);
    std::uint32_t s3 = load_column(input + 12) ^ key_column(keys[0], 3);
    for (std::size_t round = 1; round < schedule.rounds; ++round) {
        const RoundKey& key = keys[round];
        const std::uint32_t t0 = sub_shift_mix(s0, s1, s2, s3) ^ key_column(key, 0);
        const std::uint32_t t1 = sub_shift_mix(s1, s2, s3, s0) ^ key_column(key, 1);
        const std::uint32_t t2 = sub_shift_mix(s2, s3, s0, s1) ^ key_column(key, 2);
        const std::uint32_t t3 = sub_shift_mix(s3, s0, s1, s2) ^ key_column(key, 3);
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    }
    const RoundKey& key = keys[schedule.rounds];
    std::uint8_t* output = out.data();
    store_column(sub_shift(s0, s1, s2, s3) ^ key_column(key, 0), output);
    store_column(sub_shift(s1, s2, s3, s0) ^ key_column(key, 1), output + 4);
    store_column(sub_shift(s2, s3, s0, s1) ^ key_column(key, 2), output + 8);
    store_column(sub_shift(s3, s0, s1, s2) ^ key_column(key, 3), output + 12);
}

CoreResult<Block> encrypt_block(ByteView block, ByteView key) {
    return transform_with_raw_key<encrypt_block>(block, key);
}

}  // namespace korvalith::aes
