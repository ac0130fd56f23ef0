#include "ciphers/aes/bitsliced/bitsliced.hpp"

#include <cstring>

namespace korvalith::aes::bitsliced {

namespace {

// The rounds over one group (R = Word) or two (R = Pair), in place (FIPS-197:
// the cipher, and the plain inverse cipher with the round keys as expanded).
template <typename R>
[[gnu::flatten]] void encrypt_rounds(const Schedule& schedule, Planes<R>& q) noexcept {
    const State* keys = schedule.round_keys.data();
    add_round_key(q, keys[0]);
    for (std::size_t round = 1; round < schedule.rounds; ++round) {
        sub_bytes(q);
        shift_rows(q);
        mix_columns(q);
        add_round_key(q, keys[round]);
    }
    sub_bytes(q);
    shift_rows(q);
    add_round_key(q, keys[schedule.rounds]);
}

template <typename R>
[[gnu::flatten]] void decrypt_rounds(const Schedule& schedule, Planes<R>& q) noexcept {
    const State* keys = schedule.round_keys.data();
    add_round_key(q, keys[schedule.rounds]);
    for (std::size_t round = schedule.rounds - 1; round > 0; --round) {
        inv_shift_rows(q);
        inv_sub_bytes(q);
        add_round_key(q, keys[round]);
        inv_mix_columns(q);
    }
    inv_shift_rows(q);
    inv_sub_bytes(q);
    add_round_key(q, keys[0]);
}

template <bool Decrypt, typename R>
void run_rounds(const Schedule& schedule, Planes<R>& q) noexcept {
    if constexpr (Decrypt) {
        decrypt_rounds(schedule, q);
    } else {
        encrypt_rounds(schedule, q);
    }
}

template <bool Decrypt>
void transform_blocks(const Schedule& schedule, const std::uint8_t* in, std::uint8_t* out,
                      std::size_t blocks) noexcept {
#if KORVALITH_BITSLICED_PAIRS
    for (; blocks >= 2 * BLOCKS; blocks -= 2 * BLOCKS, in += 2 * GROUP_BYTES, out += 2 * GROUP_BYTES) {
        State first = to_planes(in);
        State second = to_planes(in + GROUP_BYTES);
        Planes<Pair> q;
        for (std::size_t i = 0; i < 8; ++i) q[i] = Pair{first[i], second[i]};
        run_rounds<Decrypt>(schedule, q);
        for (std::size_t i = 0; i < 8; ++i) {
            first[i] = q[i][0];
            second[i] = q[i][1];
        }
        from_planes(first, out);
        from_planes(second, out + GROUP_BYTES);
    }
#endif
    for (; blocks >= BLOCKS; blocks -= BLOCKS, in += GROUP_BYTES, out += GROUP_BYTES) {
        State q = to_planes(in);
        run_rounds<Decrypt>(schedule, q);
        from_planes(q, out);
    }
    if (blocks == 0) return;
    alignas(16) std::array<std::uint8_t, GROUP_BYTES> group{};
    std::memcpy(group.data(), in, 16 * blocks);
    State q = to_planes(group.data());
    run_rounds<Decrypt>(schedule, q);
    from_planes(q, group.data());
    std::memcpy(out, group.data(), 16 * blocks);
    secure_wipe(group.data(), group.size());
}

}  // namespace

std::uint32_t sub_word(std::uint32_t word) noexcept {
    // Plane i holds bit i of the four bytes, at bits 0, 8, 16 and 24.
    constexpr std::uint32_t LOW_BITS = 0x01010101;
    Planes<std::uint32_t> planes;
    for (unsigned i = 0; i < 8; ++i) planes[i] = (word >> i) & LOW_BITS;
    sub_bytes(planes);
    std::uint32_t result = 0;
    for (unsigned i = 0; i < 8; ++i) result |= (planes[i] & LOW_BITS) << i;
    return result;
}

void expand_key(ByteView key, Schedule& schedule) noexcept {
    // The schedule of FIPS-197 in big-endian words, as in key_expansion.cpp,
    // with SubWord computed by the circuit.
    const std::size_t nk = key.size() / 4;
    schedule.rounds = nk + 6;
    const std::size_t total = 4 * (schedule.rounds + 1);
    std::array<std::uint32_t, 4 * (MAX_ROUNDS + 1)> w;
    for (std::size_t i = 0; i < nk; ++i) {
        w[i] = (std::uint32_t{key[4 * i]} << 24) | (std::uint32_t{key[4 * i + 1]} << 16)
               | (std::uint32_t{key[4 * i + 2]} << 8) | key[4 * i + 3];
    }
    for (std::size_t i = nk; i < total; ++i) {
        std::uint32_t temp = w[i - 1];
        if (i % nk == 0) {
            temp = sub_word((temp << 8) | (temp >> 24)) ^ (RCON[i / nk - 1] << 24);
        } else if (nk == 8 && i % nk == 4) {
            temp = sub_word(temp);
        }
        w[i] = w[i - nk] ^ temp;
    }
    // Each round key, copied into every block of a group, as a state.
    alignas(16) std::array<std::uint8_t, GROUP_BYTES> group;
    for (std::size_t round = 0; round <= schedule.rounds; ++round) {
        for (std::size_t b = 0; b < BLOCKS; ++b) {
            for (std::size_t c = 0; c < 4; ++c) {
                const std::uint32_t word = w[4 * round + c];
                std::uint8_t* bytes = group.data() + 16 * b + 4 * c;
                bytes[0] = static_cast<std::uint8_t>(word >> 24);
                bytes[1] = static_cast<std::uint8_t>(word >> 16);
                bytes[2] = static_cast<std::uint8_t>(word >> 8);
                bytes[3] = static_cast<std::uint8_t>(word);
            }
        }
        schedule.round_keys[round] = to_planes(group.data());
    }
    secure_wipe(w.data(), sizeof w);
    secure_wipe(group.data(), group.size());
}

void encrypt_blocks(const Schedule& schedule, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) noexcept {
    transform_blocks<false>(schedule, in, out, blocks);
}

void decrypt_blocks(const Schedule& schedule, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) noexcept {
    transform_blocks<true>(schedule, in, out, blocks);
}

}  // namespace korvalith::aes::bitsliced
