// AES with the ARMv8 Cryptography Extensions: the aarch64 definitions of
// the routines of hardware.hpp. AESE adds the round key, then runs ShiftRows
// and SubBytes; AESMC runs MixColumns; AESD and AESIMC are their inverses.
// So a round of the standard is AESE then AESMC with the round key of the
// round before, and the last round's key is added alone. No memory address
// and no branch depends on the key or the data. Every function that uses
// the instructions is compiled for them on its own, so the module still
// runs on an aarch64 CPU without them (engine.cpp decides).
#include "ciphers/aes/hardware.hpp"

#if KORVALITH_AARCH64

#include <arm_neon.h>

#include <cstring>

#define KORVALITH_ARM_AES_TARGET [[gnu::target("+crypto")]]
#define KORVALITH_ARM_AES_INLINE [[gnu::target("+crypto"), gnu::always_inline]] inline

namespace korvalith::aes::hardware {

namespace {

// Blocks in flight per group: the round instructions take two to four
// cycles and most cores start one or two per cycle, so eight independent
// blocks hide the latency. With the fifteen round keys held in registers
// they take 23 of the 32 vector registers.
constexpr std::size_t GROUP = 8;
constexpr std::size_t BLOCK = 16;

// --- Key schedule ---------------------------------------------------------

// SubWord: the S-box on each byte of a word (bytes in memory order, the
// first in the low bits). With the word in all four columns of the state,
// ShiftRows moves each byte to where an equal one stood, so AESE with an
// all-zero round key leaves SubWord in every column.
KORVALITH_ARM_AES_INLINE std::uint32_t sub_word(std::uint32_t word) {
    const uint8x16_t substituted = vaeseq_u8(vreinterpretq_u8_u32(vdupq_n_u32(word)), vdupq_n_u8(0));
    return vgetq_lane_u32(vreinterpretq_u32_u8(substituted), 0);
}

// RotWord: the word's bytes one place towards the first.
constexpr std::uint32_t rot_word(std::uint32_t word) { return (word >> 8) | (word << 24); }

// The schedule of FIPS-197 over words whose first byte is the low one (the
// order of the key in memory on little-endian aarch64).
KORVALITH_ARM_AES_TARGET void expand_key_with_instructions(ByteView key, Schedule& schedule) {
    const std::size_t nk = key.size() / 4;
    schedule.rounds = nk + 6;
    const std::size_t total = 4 * (schedule.rounds + 1);
    std::array<std::uint32_t, 4 * (MAX_ROUNDS + 1)> w;
    std::memcpy(w.data(), key.data(), key.size());
    for (std::size_t i = nk; i < total; ++i) {
        std::uint32_t temp = w[i - 1];
        if (i % nk == 0) {
            temp = sub_word(rot_word(temp)) ^ RCON[i / nk - 1];
        } else if (nk == 8 && i % nk == 4) {
            temp = sub_word(temp);
        }
        w[i] = w[i - nk] ^ temp;
    }
    std::memcpy(schedule.encryption.data(), w.data(), 4 * total);
    secure_wipe(w.data(), sizeof w);
}

KORVALITH_ARM_AES_TARGET void derive_decryption_keys(Schedule& schedule) {
    const std::size_t rounds = schedule.rounds;
    schedule.decryption[0] = schedule.encryption[rounds];
    for (std::size_t round = 1; round < rounds; ++round) {
        vst1q_u8(schedule.decryption[round].data(), vaesimcq_u8(vld1q_u8(schedule.encryption[rounds - round].data())));
    }
    schedule.decryption[rounds] = schedule.encryption[0];
}

// --- Blocks ---------------------------------------------------------------

// All rounds over `Count` blocks at once. Decryption runs the equivalent
// inverse cipher with the decryption round keys, in the same shape.
template <std::size_t Rounds, bool Decrypt, std::size_t Count>
KORVALITH_ARM_AES_INLINE void transform_group(const uint8x16_t (&keys)[Rounds + 1], const std::uint8_t* in,
                                              std::uint8_t* out) {
    uint8x16_t state[Count];
#pragma GCC unroll 16
    for (std::size_t b = 0; b < Count; ++b) state[b] = vld1q_u8(in + BLOCK * b);
#pragma GCC unroll 16
    for (std::size_t round = 0; round + 1 < Rounds; ++round) {
#pragma GCC unroll 16
        for (std::size_t b = 0; b < Count; ++b) {
            state[b] = Decrypt ? vaesimcq_u8(vaesdq_u8(state[b], keys[round]))
                               : vaesmcq_u8(vaeseq_u8(state[b], keys[round]));
        }
    }
#pragma GCC unroll 16
    for (std::size_t b = 0; b < Count; ++b) {
        const uint8x16_t last = Decrypt ? vaesdq_u8(state[b], keys[Rounds - 1]) : vaeseq_u8(state[b], keys[Rounds - 1]);
        vst1q_u8(out + BLOCK * b, veorq_u8(last, keys[Rounds]));
    }
}

// Fewer than 2 * Count blocks left: one group of Count if they suffice, then
// the rest in halving groups.
template <std::size_t Rounds, bool Decrypt, std::size_t Count>
KORVALITH_ARM_AES_INLINE void transform_tail(const uint8x16_t (&keys)[Rounds + 1], const std::uint8_t* in,
                                             std::uint8_t* out, std::size_t blocks) {
    if (blocks >= Count) {
        transform_group<Rounds, Decrypt, Count>(keys, in, out);
        in += BLOCK * Count;
        out += BLOCK * Count;
        blocks -= Count;
    }
    if constexpr (Count > 1) transform_tail<Rounds, Decrypt, Count / 2>(keys, in, out, blocks);
}

template <std::size_t Rounds, bool Decrypt>
KORVALITH_ARM_AES_TARGET void transform_blocks(const RoundKeyBytes* round_keys, const std::uint8_t* in,
                                               std::uint8_t* out, std::size_t blocks) {
    uint8x16_t keys[Rounds + 1];
#pragma GCC unroll 16
    for (std::size_t round = 0; round <= Rounds; ++round) keys[round] = vld1q_u8(round_keys[round].data());
    for (; blocks >= GROUP; blocks -= GROUP, in += BLOCK * GROUP, out += BLOCK * GROUP) {
        transform_group<Rounds, Decrypt, GROUP>(keys, in, out);
    }
    transform_tail<Rounds, Decrypt, GROUP / 2>(keys, in, out, blocks);
}

// Runs the transform instantiated for the schedule's number of rounds, so
// that the rounds are unrolled and the keys stay in registers.
template <bool Decrypt>
void run(const Schedule& schedule, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) {
    const RoundKeyBytes* keys = Decrypt ? schedule.decryption.data() : schedule.encryption.data();
    switch (schedule.rounds) {
        case 10: return transform_blocks<10, Decrypt>(keys, in, out, blocks);
        case 12: return transform_blocks<12, Decrypt>(keys, in, out, blocks);
        default: return transform_blocks<14, Decrypt>(keys, in, out, blocks);
    }
}

}  // namespace

void expand_key(ByteView key, Schedule& schedule) noexcept { expand_key_with_instructions(key, schedule); }

void prepare_decryption(Schedule& schedule) noexcept { derive_decryption_keys(schedule); }

void encrypt_blocks(const Schedule& schedule, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) noexcept {
    run<false>(schedule, in, out, blocks);
}

void decrypt_blocks(const Schedule& schedule, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) noexcept {
    run<true>(schedule, in, out, blocks);
}

}  // namespace korvalith::aes::hardware

#endif
