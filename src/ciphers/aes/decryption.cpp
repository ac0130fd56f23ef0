#include "ciphers/aes/decryption.hpp"

#include "ciphers/aes/raw_key_block.hpp"

namespace korvalith::aes {

namespace {

// InvShiftRows (see inv_shift_rows) and InvSubBytes for one output column.
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

inline State inv_mix_columns(State s) noexcept {
    return {inv_mix_column(s.c0), inv_mix_column(s.c1), inv_mix_column(s.c2), inv_mix_column(s.c3)};
}

}  // namespace

void decrypt_block(const KeySchedule& schedule, BlockIn in, BlockOut out) noexcept {
    const RoundKey* keys = schedule.round_keys.data();
    State state = add_round_key(load_state(in.data()), keys[schedule.rounds]);
    // Rounds Nr-1 down to 1: InvShiftRows, InvSubBytes, AddRoundKey, InvMixColumns.
    for (std::size_t round = schedule.rounds; round-- > 1;) {
        state = inv_mix_columns(inv_shift_rows_add_key(state, inv_shift_sub, keys[round]));
    }
    add_round_key_and_store(inv_shift_rows(state, inv_shift_sub), keys[0], out.data());
}

CoreResult<Block> decrypt_block(ByteView block, ByteView key) {
    return transform_with_raw_key<decrypt_block>(block, key);
}

}  // namespace korvalith::aes
