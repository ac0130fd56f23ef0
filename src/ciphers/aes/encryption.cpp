#include "ciphers/aes/encryption.hpp"

#include "ciphers/aes/multiply_tables.hpp"
#include "ciphers/aes/raw_key_block.hpp"

namespace korvalith::aes {

namespace {

// SubBytes, ShiftRows (see shift_rows) and MixColumns for one output column.
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
    State state = add_round_key(load_state(in.data()), keys[0]);
    for (std::size_t round = 1; round < schedule.rounds; ++round) {
        state = shift_rows_add_key(state, sub_shift_mix, keys[round]);
    }
    add_round_key_and_store(shift_rows(state, sub_shift), keys[schedule.rounds], out.data());
}

CoreResult<Block> encrypt_block(ByteView block, ByteView key) {
    return transform_with_raw_key<encrypt_block>(block, key);
}

}  // namespace korvalith::aes
