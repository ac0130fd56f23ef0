// The vector steps of Base32. SSSE3 and AVX2 split each group of five bytes
// into eight 5-bit indices with 16-bit multiplies and map them to characters
// with a compare; decoding classifies each character by its two nibbles.
// AVX-512 VBMI extracts the indices with one multishift and does the table
// lookups with byte permutes. NEON spreads the groups as SSSE3 does and
// shifts each 16-bit lane by its own count; it maps indices to characters
// and back with table lookups, and joins values into groups with shifts
// and adds. The loops that run them are shared with Base64
// (vector_loops.hpp); base32_kernels hands them to the driver.
#include <array>
#include <cstdint>

#include "encodings/base32.hpp"
#include "encodings/vector_loops.hpp"

namespace korvalith {

namespace {

// The steps of each width (defined on x86 and aarch64; elsewhere no path
// has loops).
struct Base32Steps;

// ---------------------------------------------------------------- encoding

// Each group of five bytes b0..b4 is spread over four 16-bit lanes holding
// the byte pairs b0 b1, b1 b2, b2 b3 and b3 b4, first byte high. Lane j then
// holds index 2j in bits a..a+4 and index 2j+1 in bits a-5..a-1, for
// a = 11, 9, 7, 5. A high multiply by 2^(16 - a) (on NEON a right shift by
// a) moves the first down to the lane's low byte; a low multiply by
// 2^(13 - a) (a left shift) moves the second up to its high byte.
#define KORVALITH_BASE32_SPREAD 1, 0, 2, 1, 3, 2, 4, 3, 6, 5, 7, 6, 8, 7, 9, 8

#if defined(__x86_64__) || defined(__i386__)

// The same for the low half of an AVX2 block, whose ten bytes come six bytes
// into the register (see vector_loops.hpp).
#define KORVALITH_BASE32_SPREAD_AFTER_6 7, 6, 8, 7, 9, 8, 10, 9, 12, 11, 13, 12, 14, 13, 15, 14
#define KORVALITH_BASE32_FIRST_SHIFTS 32, 128, 512, 2048, 32, 128, 512, 2048
#define KORVALITH_BASE32_SECOND_SHIFTS 4, 16, 64, 256, 4, 16, 64, 256
constexpr short FIRST_INDEX = 0x001F;
constexpr short SECOND_INDEX = 0x1F00;

// Characters: "A" + i for i up to 25, "2" + (i - 26) = "A" + i - 41 above.
constexpr char DIGIT_DISTANCE = 'A' - ('2' - 26);

KORVALITH_TARGET_SSSE3 KORVALITH_VECTOR_INLINE
__m128i characters_ssse3(__m128i spread) {
    const __m128i first = _mm_mulhi_epu16(spread, _mm_setr_epi16(KORVALITH_BASE32_FIRST_SHIFTS));
    const __m128i second = _mm_mullo_epi16(spread, _mm_setr_epi16(KORVALITH_BASE32_SECOND_SHIFTS));
    const __m128i indices = _mm_or_si128(_mm_and_si128(first, _mm_set1_epi16(FIRST_INDEX)),
                                         _mm_and_si128(second, _mm_set1_epi16(SECOND_INDEX)));
    const __m128i digits = _mm_and_si128(_mm_cmpgt_epi8(indices, _mm_set1_epi8(25)), _mm_set1_epi8(DIGIT_DISTANCE));
    return _mm_sub_epi8(_mm_add_epi8(indices, _mm_set1_epi8('A')), digits);
}

KORVALITH_TARGET_AVX2 KORVALITH_VECTOR_INLINE
__m256i characters_avx2(__m256i spread) {
    const __m256i first = _mm256_mulhi_epu16(
        spread, _mm256_setr_epi16(KORVALITH_BASE32_FIRST_SHIFTS, KORVALITH_BASE32_FIRST_SHIFTS));
    const __m256i second = _mm256_mullo_epi16(
        spread, _mm256_setr_epi16(KORVALITH_BASE32_SECOND_SHIFTS, KORVALITH_BASE32_SECOND_SHIFTS));
    const __m256i indices = _mm256_or_si256(_mm256_and_si256(first, _mm256_set1_epi16(FIRST_INDEX)),
                                            _mm256_and_si256(second, _mm256_set1_epi16(SECOND_INDEX)));
    const __m256i digits =
        _mm256_and_si256(_mm256_cmpgt_epi8(indices, _mm256_set1_epi8(25)), _mm256_set1_epi8(DIGIT_DISTANCE));
    return _mm256_sub_epi8(_mm256_add_epi8(indices, _mm256_set1_epi8('A')), digits);
}

// For AVX-512 VBMI: each 64-bit lane gets one group, b4 b3 b2 b1 b0 from its
// low byte up, so that its low 40 bits hold the group most significant bit
// first (the three bytes above are filler).
constexpr std::array<std::uint8_t, 64> ENCODE_SPREAD = [] {
    std::array<std::uint8_t, 64> table{};
    for (std::size_t k = 0; k < 64; ++k) {
        const std::size_t group = k / 8;
        const std::size_t byte = k % 8;
        table[k] = static_cast<std::uint8_t>(group * 5 + (byte < 5 ? 4 - byte : 0));
    }
    return table;
}();

// Index i of a group starts at bit 35 - 5i of its lane.
constexpr long long ENCODE_MULTISHIFT = 0x00050A0F14191E23LL;

// The alphabet twice over: the byte permute reads six bits of each index,
// so the bit above the five needs no mask.
constexpr std::array<std::uint8_t, 64> ALPHABET_TWICE = [] {
    std::array<std::uint8_t, 64> table{};
    for (std::size_t k = 0; k < 64; ++k) table[k] = static_cast<std::uint8_t>(BASE32_ALPHABET[k % 32]);
    return table;
}();

// ---------------------------------------------------------------- decoding

// A character's value is the character plus the offset of its high nibble.
#define KORVALITH_BASE32_DECODE_OFFSETS 0, 0, 0, -24, -65, -65, -97, -97, 0, 0, 0, 0, 0, 0, 0, 0

// Eight values of 5 bits per 64-bit lane into five bytes: pairs into 10
// bits, then into 20 bits per 32-bit half, then the first half shifted
// above the second, whose bytes are taken most significant first.
constexpr short PAIR_WEIGHTS = 0x0120;     // first * 32 + second
constexpr int HALF_WEIGHTS = 0x00010400;   // first * 1024 + second
constexpr int FIRST_HALF_SHIFT = 1 << 20;  // as a multiplier of the lane's low half
#define KORVALITH_BASE32_TAKE_GROUPS 4, 3, 2, 1, 0, 12, 11, 10, 9, 8, -1, -1, -1, -1, -1, -1

KORVALITH_TARGET_SSSE3 KORVALITH_VECTOR_INLINE
__m128i join_groups_ssse3(__m128i values) {
    const __m128i pairs = _mm_maddubs_epi16(values, _mm_set1_epi16(PAIR_WEIGHTS));
    const __m128i halves = _mm_madd_epi16(pairs, _mm_set1_epi32(HALF_WEIGHTS));
    const __m128i groups = _mm_add_epi64(_mm_mul_epu32(halves, _mm_set1_epi32(FIRST_HALF_SHIFT)),
                                         _mm_srli_epi64(halves, 32));
    return _mm_shuffle_epi8(groups, _mm_setr_epi8(KORVALITH_BASE32_TAKE_GROUPS));
}

// For AVX-512 VBMI: the five bytes of each 64-bit lane.
constexpr std::array<std::uint8_t, 64> DECODE_TAKE_GROUPS = vector_loops::take_groups_table(5, 8);

#endif

#if KORVALITH_AARCH64

// The shift of each 16-bit lane of spread groups (see above) that brings its
// first index down to the low byte, and its second up to the high byte.
constexpr std::array<std::int16_t, 8> FIRST_INDEX_SHIFTS = {-11, -9, -7, -5, -11, -9, -7, -5};
constexpr std::array<std::int16_t, 8> SECOND_INDEX_SHIFTS = {2, 4, 6, 8, 2, 4, 6, 8};
constexpr std::array<std::uint8_t, 16> SPREAD = {KORVALITH_BASE32_SPREAD};
// The five bytes of each 64-bit lane of groups, most significant first
// (255 selects nothing).
constexpr std::array<std::uint8_t, 16> TAKE_GROUPS = {4, 3, 2, 1, 0, 12, 11, 10, 9, 8, 255, 255, 255, 255, 255, 255};

// Values of 5 bits into groups of 40: each lane of twice the width takes
// its low half shifted above its high half, so pairs of values become 10
// bits in 16-bit lanes, pairs of those 20 bits in 32-bit lanes, and pairs of
// those a group's 40 bits in 64-bit lanes. ((x << w) >> (w - bits), added
// to x >> w, puts the low half's `bits` above the high half.)
KORVALITH_TARGET_NEON KORVALITH_VECTOR_INLINE
uint64x2_t join_groups_neon(uint8x16_t values) {
    const uint16x8_t pairs16 = vreinterpretq_u16_u8(values);
    const uint16x8_t pairs = vsraq_n_u16(vshrq_n_u16(pairs16, 8), vshlq_n_u16(pairs16, 8), 3);
    const uint32x4_t halves32 = vreinterpretq_u32_u16(pairs);
    const uint32x4_t halves = vsraq_n_u32(vshrq_n_u32(halves32, 16), vshlq_n_u32(halves32, 16), 6);
    const uint64x2_t groups64 = vreinterpretq_u64_u32(halves);
    return vsraq_n_u64(vshrq_n_u64(groups64, 32), vshlq_n_u64(groups64, 32), 12);
}

#endif

// ------------------------------------------------------------------- steps

#if defined(__x86_64__) || defined(__i386__) || KORVALITH_AARCH64

struct Base32Steps {
    static constexpr unsigned BITS = 5;
    static constexpr const std::array<std::uint8_t, 256>& DECODE_TABLE = BASE32_DECODE_TABLE;

#if defined(__x86_64__) || defined(__i386__)
    // Per high nibble the alphabet holds: 3: 2..7; 4 and 6: 1..F; 5 and 7:
    // 0..A; nothing for the others. Bit 0 marks low nibbles invalid after 3,
    // bit 1 after 4 and 6, bit 2 after 5 and 7, and bit 3 (set for every low
    // nibble) the high nibbles without any character.
    static constexpr std::array<std::uint8_t, 16> LOW_CLASSES = {
        0x0B, 0x09, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x09, 0x09, 0x09, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D};
    static constexpr std::array<std::uint8_t, 16> HIGH_CLASSES = {
        0x08, 0x08, 0x08, 0x01, 0x02, 0x04, 0x02, 0x04, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08};

    // Ten bytes per block, read as sixteen; sixteen characters into ten
    // bytes, stored as sixteen.
    struct Ssse3 {
        KORVALITH_TARGET_SSSE3 KORVALITH_VECTOR_INLINE static __m128i encode(__m128i bytes) {
            return characters_ssse3(_mm_shuffle_epi8(bytes, _mm_setr_epi8(KORVALITH_BASE32_SPREAD)));
        }

        KORVALITH_TARGET_SSSE3 KORVALITH_VECTOR_INLINE static void decode(__m128i text, __m128i high,
                                                                          std::uint8_t* out) {
            const __m128i offsets = _mm_setr_epi8(KORVALITH_BASE32_DECODE_OFFSETS);
            const __m128i values = _mm_add_epi8(text, _mm_shuffle_epi8(offsets, high));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), join_groups_ssse3(values));
        }
    };

    // Twenty bytes per block; thirty-two characters into twenty bytes,
    // stored as two halves of sixteen, the second over the first one's
    // spare bytes.
    struct Avx2 {
        static constexpr std::size_t DECODE_ROOM = 26;

        KORVALITH_TARGET_AVX2 KORVALITH_VECTOR_INLINE static __m256i encode(__m256i bytes) {
            const __m256i spread = _mm256_setr_epi8(KORVALITH_BASE32_SPREAD_AFTER_6, KORVALITH_BASE32_SPREAD);
            return characters_avx2(_mm256_shuffle_epi8(bytes, spread));
        }

        KORVALITH_TARGET_AVX2 KORVALITH_VECTOR_INLINE static void decode(__m256i text, __m256i high,
                                                                         std::uint8_t* out) {
            const __m256i offsets = _mm256_setr_epi8(KORVALITH_BASE32_DECODE_OFFSETS, KORVALITH_BASE32_DECODE_OFFSETS);
            const __m256i values = _mm256_add_epi8(text, _mm256_shuffle_epi8(offsets, high));
            const __m256i pairs = _mm256_maddubs_epi16(values, _mm256_set1_epi16(PAIR_WEIGHTS));
            const __m256i halves = _mm256_madd_epi16(pairs, _mm256_set1_epi32(HALF_WEIGHTS));
            const __m256i groups = _mm256_add_epi64(_mm256_mul_epu32(halves, _mm256_set1_epi32(FIRST_HALF_SHIFT)),
                                                    _mm256_srli_epi64(halves, 32));
            const __m256i bytes = _mm256_shuffle_epi8(
                groups, _mm256_setr_epi8(KORVALITH_BASE32_TAKE_GROUPS, KORVALITH_BASE32_TAKE_GROUPS));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(bytes));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 10), _mm256_extracti128_si256(bytes, 1));
        }
    };

    // Forty bytes per block, read as sixty-four; sixty-four characters into
    // forty bytes, stored as 64.
    struct Avx512Vbmi {
        KORVALITH_TARGET_AVX512VBMI KORVALITH_VECTOR_INLINE static __m512i encode(__m512i bytes) {
            return vector_loops::spread_characters_avx512vbmi(bytes, ENCODE_SPREAD.data(), ENCODE_MULTISHIFT,
                                                              ALPHABET_TWICE.data());
        }

        KORVALITH_TARGET_AVX512VBMI KORVALITH_VECTOR_INLINE static void decode(__m512i values, std::uint8_t* out) {
            const __m512i pairs = _mm512_maddubs_epi16(values, _mm512_set1_epi16(PAIR_WEIGHTS));
            const __m512i halves = _mm512_madd_epi16(pairs, _mm512_set1_epi32(HALF_WEIGHTS));
            const __m512i groups = _mm512_add_epi64(_mm512_mul_epu32(halves, _mm512_set1_epi32(FIRST_HALF_SHIFT)),
                                                    _mm512_srli_epi64(halves, 32));
            _mm512_storeu_si512(out, _mm512_permutexvar_epi8(_mm512_loadu_si512(DECODE_TAKE_GROUPS.data()), groups));
        }
    };
#endif

#if KORVALITH_AARCH64
    // Ten bytes per block, read as sixteen, encoded as sixteen characters;
    // sixteen characters decoded into ten bytes, stored as sixteen.
    struct Neon {
        KORVALITH_TARGET_NEON static std::size_t encode_blocks(const std::uint8_t* in, std::size_t size,
                                                               std::uint8_t* out) noexcept {
            const uint8x16x2_t alphabet = vld1q_u8_x2(reinterpret_cast<const std::uint8_t*>(BASE32_ALPHABET.data()));
            const uint8x16_t spread_order = vld1q_u8(SPREAD.data());
            const int16x8_t first_shifts = vld1q_s16(FIRST_INDEX_SHIFTS.data());
            const int16x8_t second_shifts = vld1q_s16(SECOND_INDEX_SHIFTS.data());
            std::size_t done = 0;
            for (; size - done >= 16; done += 10, out += 16) {
                const uint16x8_t spread = vreinterpretq_u16_u8(vqtbl1q_u8(vld1q_u8(in + done), spread_order));
                // The high byte from the second shift, the low one from the
                // first; then the bits above each index are cleared.
                const uint16x8_t both = vbslq_u16(vdupq_n_u16(0xFF00), vshlq_u16(spread, second_shifts),
                                                  vshlq_u16(spread, first_shifts));
                vst1q_u8(out, vqtbl2q_u8(alphabet, vandq_u8(vreinterpretq_u8_u16(both), vdupq_n_u8(31))));
            }
            return done;
        }

        KORVALITH_TARGET_NEON static std::size_t decode_blocks(const std::uint8_t* in, std::size_t size,
                                                               std::uint8_t* out, std::size_t room) noexcept {
            const uint8x16x4_t low = vld1q_u8_x4(vector_loops::ASCII_VALUES<Base32Steps>.data());
            const uint8x16x4_t high = vld1q_u8_x4(vector_loops::ASCII_VALUES<Base32Steps>.data() + 64);
            const uint8x16_t take_groups = vld1q_u8(TAKE_GROUPS.data());
            std::size_t done = 0;
            std::size_t written = 0;
            for (; size - done >= 16 && room - written >= 16; done += 16, written += 10) {
                uint8x16_t outside = vdupq_n_u8(0);
                const uint8x16_t values = vector_loops::values_neon(low, high, vld1q_u8(in + done), outside);
                if (vector_loops::any_outside_neon(outside)) break;
                vst1q_u8(out + written, vqtbl1q_u8(vreinterpretq_u8_u64(join_groups_neon(values)), take_groups));
            }
            return done;
        }
    };
#endif
};

#endif

}  // namespace

CodecKernels base32_kernels(VectorPath path) noexcept { return vector_loops::kernels_for<Base32Steps>(path); }

}  // namespace korvalith
