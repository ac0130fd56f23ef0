// AES on 512-bit registers (VAES with AVX-512F): the round instructions on
// four blocks per register, with the key schedule of the AES-NI engine
// (hardware.cpp), each round key broadcast to the four 128-bit lanes. A last
// one to three blocks go through one register whose loads and stores are
// masked to them, so nothing outside the data is read or written. No memory
// address and no branch depends on the key or the data; the masks depend
// only on the number of blocks.
//
// Besides the round keys' 128-bit loads, the code uses ten intrinsics, all
// on __m512i: loadu, maskz_loadu_epi64, storeu, mask_storeu_epi64,
// broadcast_i32x4, xor and the four round instructions. A test build
// (tests/cpp/test_aes_wide512_emulated.cpp) compiles this file against
// stand-ins for them built from 128-bit AES-NI, which defines the target
// attributes below and the intrinsics first, so that its data flow, loads,
// stores and tails are checked on CPUs without AVX-512.
#include "ciphers/aes/hardware.hpp"

#if defined(__x86_64__) || defined(__i386__)

#ifndef KORVALITH_VAES512_TARGET
// g++ 12 warns about the deliberately undefined register that its AVX-512
// intrinsics start from once they are inlined (a known false positive).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#define KORVALITH_VAES512_TARGET [[gnu::target("aes,vaes,avx512f")]]
#define KORVALITH_VAES512_INLINE [[gnu::target("aes,vaes,avx512f"), gnu::always_inline]] inline
#endif

namespace korvalith::aes::hardware {

namespace {

// Registers in flight per group, as on 256-bit registers (hardware.cpp):
// x86-64 has 32 of them with AVX-512, eight states leave room for the round
// keys (32 blocks a group); the 32-bit target has eight, where four fit.
#if defined(__x86_64__)
constexpr std::size_t GROUP = 8;
#else
constexpr std::size_t GROUP = 4;
#endif

constexpr std::size_t BLOCK = 16;
constexpr std::size_t LANES = 4;  // blocks per register

// A round key in all four lanes.
KORVALITH_VAES512_INLINE __m512i broadcast_key(const RoundKeyBytes& key) {
    return _mm512_broadcast_i32x4(_mm_load_si128(reinterpret_cast<const __m128i*>(key.data())));
}

template <bool Decrypt>
KORVALITH_VAES512_INLINE __m512i middle_round(__m512i state, __m512i key) {
    return Decrypt ? _mm512_aesdec_epi128(state, key) : _mm512_aesenc_epi128(state, key);
}

template <bool Decrypt>
KORVALITH_VAES512_INLINE __m512i last_round(__m512i state, __m512i key) {
    return Decrypt ? _mm512_aesdeclast_epi128(state, key) : _mm512_aesenclast_epi128(state, key);
}

// All rounds over `Count` registers of blocks; with `Masked`, only the
// 64-bit halves of blocks that `mask` selects are read and written, and the
// others run as zeros.
template <std::size_t Rounds, bool Decrypt, std::size_t Count, bool Masked = false>
KORVALITH_VAES512_INLINE void transform_group(const RoundKeyBytes* keys, const std::uint8_t* in, std::uint8_t* out,
                                              __mmask8 mask = 0xFF) {
    constexpr std::size_t STRIDE = LANES * BLOCK;
    __m512i state[Count];
    const __m512i first = broadcast_key(keys[0]);
#pragma GCC unroll 16
    for (std::size_t b = 0; b < Count; ++b) {
        if constexpr (Masked) {
            state[b] = _mm512_xor_si512(_mm512_maskz_loadu_epi64(mask, in + STRIDE * b), first);
        } else {
            state[b] = _mm512_xor_si512(_mm512_loadu_si512(in + STRIDE * b), first);
        }
    }
#pragma GCC unroll 16
    for (std::size_t r = 1; r < Rounds; ++r) {
        const __m512i key = broadcast_key(keys[r]);
#pragma GCC unroll 16
        for (std::size_t b = 0; b < Count; ++b) state[b] = middle_round<Decrypt>(state[b], key);
    }
    const __m512i last = broadcast_key(keys[Rounds]);
#pragma GCC unroll 16
    for (std::size_t b = 0; b < Count; ++b) {
        if constexpr (Masked) {
            _mm512_mask_storeu_epi64(out + STRIDE * b, mask, last_round<Decrypt>(state[b], last));
        } else {
            _mm512_storeu_si512(out + STRIDE * b, last_round<Decrypt>(state[b], last));
        }
    }
}

// Fewer than LANES * 2 * Count blocks left: one group of Count registers if
// they suffice, then the rest in halving groups, and a last one to three
// blocks in one masked register.
template <std::size_t Rounds, bool Decrypt, std::size_t Count>
KORVALITH_VAES512_INLINE void transform_tail(const RoundKeyBytes* keys, const std::uint8_t* in, std::uint8_t* out,
                                             std::size_t blocks) {
    if (blocks >= LANES * Count) {
        transform_group<Rounds, Decrypt, Count>(keys, in, out);
        in += BLOCK * LANES * Count;
        out += BLOCK * LANES * Count;
        blocks -= LANES * Count;
    }
    if constexpr (Count > 1) {
        transform_tail<Rounds, Decrypt, Count / 2>(keys, in, out, blocks);
    } else if (blocks > 0) {
        const auto mask = static_cast<__mmask8>((1U << (2 * blocks)) - 1);
        transform_group<Rounds, Decrypt, 1, true>(keys, in, out, mask);
    }
}

template <std::size_t Rounds, bool Decrypt>
KORVALITH_VAES512_TARGET void transform_blocks(const RoundKeyBytes* keys, const std::uint8_t* in, std::uint8_t* out,
                                               std::size_t blocks) {
    constexpr std::size_t STEP = LANES * GROUP;
    for (; blocks >= STEP; blocks -= STEP, in += BLOCK * STEP, out += BLOCK * STEP) {
        transform_group<Rounds, Decrypt, GROUP>(keys, in, out);
    }
    transform_tail<Rounds, Decrypt, GROUP / 2>(keys, in, out, blocks);
}

// Runs the transform instantiated for the schedule's number of rounds, so
// that the rounds are unrolled.
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

void encrypt_blocks_wide512(const Schedule& schedule, const std::uint8_t* in, std::uint8_t* out,
                            std::size_t blocks) noexcept {
    run<false>(schedule, in, out, blocks);
}

void decrypt_blocks_wide512(const Schedule& schedule, const std::uint8_t* in, std::uint8_t* out,
                            std::size_t blocks) noexcept {
    run<true>(schedule, in, out, blocks);
}

}  // namespace korvalith::aes::hardware

#endif
