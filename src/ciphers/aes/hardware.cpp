#include "ciphers/aes/hardware.hpp"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

// Every function that uses the instructions is compiled for them on its
// own; helpers are always inlined into such a function.
#define KORVALITH_AES_TARGET [[gnu::target("aes,sse2")]]
#define KORVALITH_AES_INLINE [[gnu::target("aes,sse2"), gnu::always_inline]] inline
#define KORVALITH_VAES_TARGET [[gnu::target("aes,vaes,avx2")]]
#define KORVALITH_VAES_INLINE [[gnu::target("aes,vaes,avx2"), gnu::always_inline]] inline

namespace korvalith::aes::hardware {

namespace {

// Registers in flight per group: the round instructions take several cycles
// each but start one or two per cycle, so independent blocks hide the
// latency. x86-64 has 16 vector registers: eight states leave room for a
// round key and cover CPUs whose rounds take four cycles at two per cycle
// (four states measured as fast as eight where rounds take fewer). The
// 32-bit target has eight registers, where four states fit and eight spill.
// 512-bit registers run in hardware_wide512.cpp.
#if defined(__x86_64__)
constexpr std::size_t GROUP = 8;
constexpr std::size_t WIDE_GROUP = 8;  // 256-bit registers: 16 blocks
#else
constexpr std::size_t GROUP = 4;
constexpr std::size_t WIDE_GROUP = 4;  // 8 blocks
#endif

constexpr std::size_t BLOCK = 16;

const __m128i* keys_of(const std::array<RoundKeyBytes, MAX_ROUNDS + 1>& keys) {
    return reinterpret_cast<const __m128i*>(keys.data());
}

__m128i* keys_of(std::array<RoundKeyBytes, MAX_ROUNDS + 1>& keys) { return reinterpret_cast<__m128i*>(keys.data()); }

// --- Key schedule ---------------------------------------------------------

// Words (w0, w1, w2, w3), lowest first, become (w0, w0^w1, w0^w1^w2,
// w0^w1^w2^w3): the chain of XORs by which each new word of the schedule
// depends on the words before it.
KORVALITH_AES_INLINE __m128i prefix_xor(__m128i words) {
    words = _mm_xor_si128(words, _mm_slli_si128(words, 4));
    return _mm_xor_si128(words, _mm_slli_si128(words, 8));
}

// The key-generation instruction gives, for words (x0, x1, x2, x3),
// (SubWord(x1), RotWord(SubWord(x1)) ^ rcon, SubWord(x3), RotWord(SubWord(x3)) ^ rcon);
// the shuffles below pick one of them and copy it to all four words.
template <int Rcon>
KORVALITH_AES_INLINE __m128i rotated_substitution_of_word3(__m128i words) {
    return _mm_shuffle_epi32(_mm_aeskeygenassist_si128(words, Rcon), 0xFF);
}

template <int Rcon>
KORVALITH_AES_INLINE __m128i rotated_substitution_of_word1(__m128i words) {
    return _mm_shuffle_epi32(_mm_aeskeygenassist_si128(words, Rcon), 0x55);
}

KORVALITH_AES_INLINE __m128i substitution_of_word3(__m128i words) {
    return _mm_shuffle_epi32(_mm_aeskeygenassist_si128(words, 0), 0xAA);
}

// AES-128: each round key is the previous one run through the word chain,
// with SubWord(RotWord(last word)) ^ rcon added to every word.
template <int Rcon>
KORVALITH_AES_INLINE __m128i next_key_128(__m128i previous) {
    return _mm_xor_si128(prefix_xor(previous), rotated_substitution_of_word3<Rcon>(previous));
}

KORVALITH_AES_INLINE void expand_key_128(const std::uint8_t* key, __m128i* keys) {
    keys[0] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(key));
    keys[1] = next_key_128<0x01>(keys[0]);
    keys[2] = next_key_128<0x02>(keys[1]);
    keys[3] = next_key_128<0x04>(keys[2]);
    keys[4] = next_key_128<0x08>(keys[3]);
    keys[5] = next_key_128<0x10>(keys[4]);
    keys[6] = next_key_128<0x20>(keys[5]);
    keys[7] = next_key_128<0x40>(keys[6]);
    keys[8] = next_key_128<0x80>(keys[7]);
    keys[9] = next_key_128<0x1B>(keys[8]);
    keys[10] = next_key_128<0x36>(keys[9]);
}

// AES-192: six words per step. `low` holds words 0 to 3 of the step and
// `high` words 4 and 5 (in its lower half); the next step's first word adds
// SubWord(RotWord(word 5)) ^ rcon, and its words 4 and 5 continue the chain
// from its word 3.
template <int Rcon>
KORVALITH_AES_INLINE void next_words_192(__m128i& low, __m128i& high) {
    low = _mm_xor_si128(prefix_xor(low), rotated_substitution_of_word1<Rcon>(high));
    high = _mm_xor_si128(prefix_xor(high), _mm_shuffle_epi32(low, 0xFF));
}

// Round keys have four words, steps six: after round key 0 (the low words of
// the key), each two steps give three round keys: words 4 and 5 of the step
// before with words 0 and 1 of the first step, words 2 to 5 of the first
// step, and words 0 to 3 of the second step.
KORVALITH_AES_INLINE __m128i lower_halves(__m128i first, __m128i second) {
    return _mm_unpacklo_epi64(first, second);
}

KORVALITH_AES_INLINE __m128i upper_then_lower_half(__m128i first, __m128i second) {
    return _mm_castpd_si128(_mm_shuffle_pd(_mm_castsi128_pd(first), _mm_castsi128_pd(second), 1));
}

template <int RconOdd, int RconEven>
KORVALITH_AES_INLINE void two_steps_192(__m128i& low, __m128i& high, __m128i* keys) {
    const __m128i previous_high = high;
    next_words_192<RconOdd>(low, high);
    keys[0] = lower_halves(previous_high, low);
    keys[1] = upper_then_lower_half(low, high);
    next_words_192<RconEven>(low, high);
    keys[2] = low;
}

KORVALITH_AES_INLINE void expand_key_192(const std::uint8_t* key, __m128i* keys) {
    __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(key));
    __m128i high = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(key + 16));
    keys[0] = low;
    two_steps_192<0x01, 0x02>(low, high, keys + 1);
    two_steps_192<0x04, 0x08>(low, high, keys + 4);
    two_steps_192<0x10, 0x20>(low, high, keys + 7);
    two_steps_192<0x40, 0x80>(low, high, keys + 10);
}

// AES-256: each round key continues the chain of the one two before it. Even
// ones add SubWord(RotWord(last word of the previous)) ^ rcon, odd ones
// SubWord(last word of the previous).
template <int Rcon>
KORVALITH_AES_INLINE __m128i next_even_key_256(__m128i two_back, __m128i previous) {
    return _mm_xor_si128(prefix_xor(two_back), rotated_substitution_of_word3<Rcon>(previous));
}

KORVALITH_AES_INLINE __m128i next_odd_key_256(__m128i two_back, __m128i previous) {
    return _mm_xor_si128(prefix_xor(two_back), substitution_of_word3(previous));
}

// Round keys `even` and `even` + 1.
template <int Rcon>
KORVALITH_AES_INLINE void next_two_keys_256(__m128i* keys, std::size_t even) {
    keys[even] = next_even_key_256<Rcon>(keys[even - 2], keys[even - 1]);
    keys[even + 1] = next_odd_key_256(keys[even - 1], keys[even]);
}

KORVALITH_AES_INLINE void expand_key_256(const std::uint8_t* key, __m128i* keys) {
    keys[0] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(key));
    keys[1] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(key + 16));
    next_two_keys_256<0x01>(keys, 2);
    next_two_keys_256<0x02>(keys, 4);
    next_two_keys_256<0x04>(keys, 6);
    next_two_keys_256<0x08>(keys, 8);
    next_two_keys_256<0x10>(keys, 10);
    next_two_keys_256<0x20>(keys, 12);
    keys[14] = next_even_key_256<0x40>(keys[12], keys[13]);
}

// --- Blocks in 128-bit registers ------------------------------------------

// Runs all rounds over `Count` blocks at once.
template <std::size_t Rounds, bool Decrypt, std::size_t Count>
KORVALITH_AES_INLINE void transform_group(const __m128i* keys, const std::uint8_t* in, std::uint8_t* out) {
    __m128i state[Count];
    const __m128i first = _mm_load_si128(keys);
#pragma GCC unroll 16
    for (std::size_t b = 0; b < Count; ++b) {
        state[b] = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + BLOCK * b)), first);
    }
#pragma GCC unroll 16
    for (std::size_t round = 1; round < Rounds; ++round) {
        const __m128i key = _mm_load_si128(keys + round);
#pragma GCC unroll 16
        for (std::size_t b = 0; b < Count; ++b) {
            state[b] = Decrypt ? _mm_aesdec_si128(state[b], key) : _mm_aesenc_si128(state[b], key);
        }
    }
    const __m128i last = _mm_load_si128(keys + Rounds);
#pragma GCC unroll 16
    for (std::size_t b = 0; b < Count; ++b) {
        const __m128i result = Decrypt ? _mm_aesdeclast_si128(state[b], last) : _mm_aesenclast_si128(state[b], last);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + BLOCK * b), result);
    }
}

// Fewer than 2 * Count blocks left: one group of Count if they suffice, then
// the rest in halving groups.
template <std::size_t Rounds, bool Decrypt, std::size_t Count>
KORVALITH_AES_INLINE void transform_tail(const __m128i* keys, const std::uint8_t* in, std::uint8_t* out,
                                         std::size_t blocks) {
    if (blocks >= Count) {
        transform_group<Rounds, Decrypt, Count>(keys, in, out);
        in += BLOCK * Count;
        out += BLOCK * Count;
        blocks -= Count;
    }
    if constexpr (Count > 1) transform_tail<Rounds, Decrypt, Count / 2>(keys, in, out, blocks);
}

template <std::size_t Rounds, bool Decrypt>
KORVALITH_AES_TARGET void transform_blocks(const __m128i* keys, const std::uint8_t* in, std::uint8_t* out,
                                           std::size_t blocks) {
    for (; blocks >= GROUP; blocks -= GROUP, in += BLOCK * GROUP, out += BLOCK * GROUP) {
        transform_group<Rounds, Decrypt, GROUP>(keys, in, out);
    }
    transform_tail<Rounds, Decrypt, GROUP / 2>(keys, in, out, blocks);
}

// --- Blocks in 256-bit registers ------------------------------------------

template <std::size_t Rounds, bool Decrypt, std::size_t Count>
KORVALITH_VAES_INLINE void transform_wide_group(const __m128i* keys, const std::uint8_t* in, std::uint8_t* out) {
    constexpr std::size_t PAIR = 2 * BLOCK;
    __m256i state[Count];
    const __m256i first = _mm256_broadcastsi128_si256(_mm_load_si128(keys));
#pragma GCC unroll 16
    for (std::size_t b = 0; b < Count; ++b) {
        state[b] = _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + PAIR * b)), first);
    }
#pragma GCC unroll 16
    for (std::size_t round = 1; round < Rounds; ++round) {
        const __m256i key = _mm256_broadcastsi128_si256(_mm_load_si128(keys + round));
#pragma GCC unroll 16
        for (std::size_t b = 0; b < Count; ++b) {
            state[b] = Decrypt ? _mm256_aesdec_epi128(state[b], key) : _mm256_aesenc_epi128(state[b], key);
        }
    }
    const __m256i last = _mm256_broadcastsi128_si256(_mm_load_si128(keys + Rounds));
#pragma GCC unroll 16
    for (std::size_t b = 0; b < Count; ++b) {
        const __m256i result =
            Decrypt ? _mm256_aesdeclast_epi128(state[b], last) : _mm256_aesenclast_epi128(state[b], last);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + PAIR * b), result);
    }
}

// Fewer than 2 * Count pairs of blocks left (plus perhaps a single block).
template <std::size_t Rounds, bool Decrypt, std::size_t Count>
KORVALITH_VAES_INLINE void transform_wide_tail(const __m128i* keys, const std::uint8_t* in, std::uint8_t* out,
                                               std::size_t blocks) {
    if (blocks >= 2 * Count) {
        transform_wide_group<Rounds, Decrypt, Count>(keys, in, out);
        in += 2 * BLOCK * Count;
        out += 2 * BLOCK * Count;
        blocks -= 2 * Count;
    }
    if constexpr (Count > 1) {
        transform_wide_tail<Rounds, Decrypt, Count / 2>(keys, in, out, blocks);
    } else if (blocks == 1) {
        transform_group<Rounds, Decrypt, 1>(keys, in, out);
    }
}

template <std::size_t Rounds, bool Decrypt>
KORVALITH_VAES_TARGET void transform_blocks_wide(const __m128i* keys, const std::uint8_t* in, std::uint8_t* out,
                                                 std::size_t blocks) {
    constexpr std::size_t STEP = 2 * WIDE_GROUP;
    for (; blocks >= STEP; blocks -= STEP, in += BLOCK * STEP, out += BLOCK * STEP) {
        transform_wide_group<Rounds, Decrypt, WIDE_GROUP>(keys, in, out);
    }
    transform_wide_tail<Rounds, Decrypt, WIDE_GROUP / 2>(keys, in, out, blocks);
}

KORVALITH_AES_TARGET void expand_key_with_instructions(ByteView key, Schedule& schedule) {
    __m128i* keys = keys_of(schedule.encryption);
    switch (key.size()) {
        case 16:
            schedule.rounds = 10;
            expand_key_128(key.data(), keys);
            break;
        case 24:
            schedule.rounds = 12;
            expand_key_192(key.data(), keys);
            break;
        default:
            schedule.rounds = 14;
            expand_key_256(key.data(), keys);
            break;
    }
}

KORVALITH_AES_TARGET void derive_decryption_keys(Schedule& schedule) {
    const __m128i* encryption = keys_of(schedule.encryption);
    __m128i* decryption = keys_of(schedule.decryption);
    const std::size_t rounds = schedule.rounds;
    decryption[0] = encryption[rounds];
    for (std::size_t round = 1; round < rounds; ++round) {
        decryption[round] = _mm_aesimc_si128(encryption[rounds - round]);
    }
    decryption[rounds] = encryption[0];
}

template <bool Decrypt, bool Wide, std::size_t Rounds>
void transform(const __m128i* keys, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) {
    if constexpr (Wide) {
        transform_blocks_wide<Rounds, Decrypt>(keys, in, out, blocks);
    } else {
        transform_blocks<Rounds, Decrypt>(keys, in, out, blocks);
    }
}

// Runs the transform instantiated for the schedule's number of rounds, so
// that the rounds are unrolled.
template <bool Decrypt, bool Wide>
void run(const Schedule& schedule, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) {
    const __m128i* keys = keys_of(Decrypt ? schedule.decryption : schedule.encryption);
    switch (schedule.rounds) {
        case 10: return transform<Decrypt, Wide, 10>(keys, in, out, blocks);
        case 12: return transform<Decrypt, Wide, 12>(keys, in, out, blocks);
        default: return transform<Decrypt, Wide, 14>(keys, in, out, blocks);
    }
}

}  // namespace

void expand_key(ByteView key, Schedule& schedule) noexcept { expand_key_with_instructions(key, schedule); }

void prepare_decryption(Schedule& schedule) noexcept { derive_decryption_keys(schedule); }

void encrypt_blocks(const Schedule& schedule, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) noexcept {
    run<false, false>(schedule, in, out, blocks);
}

void decrypt_blocks(const Schedule& schedule, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) noexcept {
    run<true, false>(schedule, in, out, blocks);
}

void encrypt_blocks_wide(const Schedule& schedule, const std::uint8_t* in, std::uint8_t* out,
                         std::size_t blocks) noexcept {
    run<false, true>(schedule, in, out, blocks);
}

void decrypt_blocks_wide(const Schedule& schedule, const std::uint8_t* in, std::uint8_t* out,
                         std::size_t blocks) noexcept {
    run<true, true>(schedule, in, out, blocks);
}

}  // namespace korvalith::aes::hardware

#endif
