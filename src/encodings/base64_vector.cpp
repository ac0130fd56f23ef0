// The vector steps of Base64. SSSE3 and AVX2 split each group of three bytes
// into four 6-bit indices with multiplies and map them to characters with a
// byte shuffle; decoding classifies each character by its two nibbles.
// AVX-512 VBMI does both with byte permutes over whole tables and extracts
// the indices with one multishift. NEON splits the bytes of 16 groups into
// three registers with one interleaving load, and joins the characters with
// one interleaving store, so each index is a shift and an insert away; table
// lookups map indices to characters and back. The loops that run them are
// shared with Base32 (vector_loops.hpp); base64_kernels hands them to the
// driver.
#include <array>
#include <cstdint>

#include "encodings/base64.hpp"
#include "encodings/vector_loops.hpp"

namespace korvalith {

namespace {

// The steps of each width (defined on x86 and aarch64; elsewhere no path
// has loops).
struct Base64Steps;

#if defined(__x86_64__) || defined(__i386__)

// ---------------------------------------------------------------- encoding

// Each group of three bytes b0 b1 b2 is first spread over a 32-bit lane as
// b1 b0 b2 b1, so that each of its four 6-bit indices lies within one 16-bit
// half: index 0 in bits 10..15 and index 1 in bits 4..9 of the low half
// (b0 b1), index 2 in bits 6..11 and index 3 in bits 0..5 of the high half
// (b1 b2). A high multiply moves indices 0 and 2 down to bytes 0 and 2, a
// low multiply moves indices 1 and 3 up to bytes 1 and 3.
#define KORVALITH_BASE64_SPREAD 1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10
// The same for the low half of an AVX2 block, whose twelve bytes come four
// bytes into the register (see vector_loops.hpp).
#define KORVALITH_BASE64_SPREAD_AFTER_4 5, 4, 6, 5, 8, 7, 9, 8, 11, 10, 12, 11, 14, 13, 15, 14
constexpr int SPREAD_MASK_HIGH = 0x0FC0FC00;
constexpr int SPREAD_SHIFT_HIGH = 0x04000040;  // >> 10 in the low half, >> 6 in the high half
constexpr int SPREAD_MASK_LOW = 0x003F03F0;
constexpr int SPREAD_SHIFT_LOW = 0x01000010;  // << 4 in the low half, << 8 in the high half

// The character of index i is i plus an offset that depends on its range:
// "A" for 0..25, "a" - 26 for 26..51, "0" - 52 for 52..61, then "+" and "/".
// The offsets are looked up by a range number, i - 51 saturated at 0, plus 1
// from 26 on: 0 for 0..25, 1 for 26..51, i - 50 for 52..63.
#define KORVALITH_BASE64_ENCODE_OFFSETS 65, 71, -4, -4, -4, -4, -4, -4, -4, -4, -4, -4, -19, -16, 0, 0

KORVALITH_TARGET_SSSE3 KORVALITH_VECTOR_INLINE
__m128i indices_ssse3(__m128i spread) {
    const __m128i high = _mm_mulhi_epu16(_mm_and_si128(spread, _mm_set1_epi32(SPREAD_MASK_HIGH)),
                                         _mm_set1_epi32(SPREAD_SHIFT_HIGH));
    const __m128i low = _mm_mullo_epi16(_mm_and_si128(spread, _mm_set1_epi32(SPREAD_MASK_LOW)),
                                        _mm_set1_epi32(SPREAD_SHIFT_LOW));
    return _mm_or_si128(high, low);
}

KORVALITH_TARGET_SSSE3 KORVALITH_VECTOR_INLINE
__m128i characters_ssse3(__m128i indices) {
    const __m128i range = _mm_sub_epi8(_mm_subs_epu8(indices, _mm_set1_epi8(51)),
                                       _mm_cmpgt_epi8(indices, _mm_set1_epi8(25)));
    return _mm_add_epi8(indices, _mm_shuffle_epi8(_mm_setr_epi8(KORVALITH_BASE64_ENCODE_OFFSETS), range));
}

KORVALITH_TARGET_AVX2 KORVALITH_VECTOR_INLINE
__m256i indices_avx2(__m256i spread) {
    const __m256i high = _mm256_mulhi_epu16(_mm256_and_si256(spread, _mm256_set1_epi32(SPREAD_MASK_HIGH)),
                                            _mm256_set1_epi32(SPREAD_SHIFT_HIGH));
    const __m256i low = _mm256_mullo_epi16(_mm256_and_si256(spread, _mm256_set1_epi32(SPREAD_MASK_LOW)),
                                           _mm256_set1_epi32(SPREAD_SHIFT_LOW));
    return _mm256_or_si256(high, low);
}

KORVALITH_TARGET_AVX2 KORVALITH_VECTOR_INLINE
__m256i characters_avx2(__m256i indices) {
    const __m256i range = _mm256_sub_epi8(_mm256_subs_epu8(indices, _mm256_set1_epi8(51)),
                                          _mm256_cmpgt_epi8(indices, _mm256_set1_epi8(25)));
    const __m256i offsets =
        _mm256_setr_epi8(KORVALITH_BASE64_ENCODE_OFFSETS, KORVALITH_BASE64_ENCODE_OFFSETS);
    return _mm256_add_epi8(indices, _mm256_shuffle_epi8(offsets, range));
}

// For AVX-512 VBMI: byte k of the spread groups is input byte SPREAD[k]
// (b1 b0 b2 b1 per 32-bit lane, sixteen groups of three bytes).
constexpr std::array<std::uint8_t, 64> ENCODE_SPREAD = [] {
    std::array<std::uint8_t, 64> table{};
    constexpr std::uint8_t ORDER[4] = {1, 0, 2, 1};
    for (std::size_t k = 0; k < 64; ++k) table[k] = static_cast<std::uint8_t>(k / 4 * 3 + ORDER[k % 4]);
    return table;
}();

// The bit offsets of the four indices in each 32-bit lane of spread groups
// (10, 4, 22, 16; see above), for both lanes of a 64-bit element.
constexpr long long ENCODE_MULTISHIFT = 0x3036242A1016040ALL;

// ---------------------------------------------------------------- decoding

// A character's value is the character plus the offset of its high nibble,
// except that "/" (high nibble 2, like "+") takes the offset at index 1.
#define KORVALITH_BASE64_DECODE_OFFSETS 0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0

// Four values of 6 bits per 32-bit lane into three bytes: pairs into 12
// bits, then into 24 bits whose bytes are taken most significant first.
constexpr int PAIR_WEIGHTS = 0x01400140;  // first * 64 + second
constexpr int HALF_WEIGHTS = 0x00011000;  // first * 4096 + second
#define KORVALITH_BASE64_TAKE_TRIPLES 2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1

// For AVX-512 VBMI: the three bytes of each 32-bit lane.
constexpr std::array<std::uint8_t, 64> DECODE_TAKE_TRIPLES = vector_loops::take_groups_table(3, 4);

#endif

// ------------------------------------------------------------------- steps

#if defined(__x86_64__) || defined(__i386__) || KORVALITH_AARCH64

struct Base64Steps {
    static constexpr unsigned BITS = 6;
    static constexpr const std::array<std::uint8_t, 256>& DECODE_TABLE = BASE64_DECODE_TABLE;

#if defined(__x86_64__) || defined(__i386__)
    // Per high nibble the alphabet holds: 2: "+" (B) and "/" (F); 3: 0..9; 4
    // and 6: 1..F; 5 and 7: 0..A; nothing for the others. Bit 0 marks low
    // nibbles invalid after 2, bit 1 after 3, bit 2 after 4 and 6, bit 3
    // after 5 and 7, and bit 4 (set for every low nibble) the high nibbles
    // without any character.
    static constexpr std::array<std::uint8_t, 16> LOW_CLASSES = {
        0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A};
    static constexpr std::array<std::uint8_t, 16> HIGH_CLASSES = {
        0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10};

    // Twelve bytes per block, read as sixteen; sixteen characters into
    // twelve bytes, stored as sixteen.
    struct Ssse3 {
        KORVALITH_TARGET_SSSE3 KORVALITH_VECTOR_INLINE static __m128i encode(__m128i bytes) {
            return characters_ssse3(indices_ssse3(_mm_shuffle_epi8(bytes, _mm_setr_epi8(KORVALITH_BASE64_SPREAD))));
        }

        KORVALITH_TARGET_SSSE3 KORVALITH_VECTOR_INLINE static void decode(__m128i text, __m128i high,
                                                                          std::uint8_t* out) {
            const __m128i slash = _mm_cmpeq_epi8(text, _mm_set1_epi8('/'));
            const __m128i offsets = _mm_setr_epi8(KORVALITH_BASE64_DECODE_OFFSETS);
            const __m128i values = _mm_add_epi8(text, _mm_shuffle_epi8(offsets, _mm_add_epi8(high, slash)));
            const __m128i pairs = _mm_maddubs_epi16(values, _mm_set1_epi32(PAIR_WEIGHTS));
            const __m128i groups = _mm_madd_epi16(pairs, _mm_set1_epi32(HALF_WEIGHTS));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                             _mm_shuffle_epi8(groups, _mm_setr_epi8(KORVALITH_BASE64_TAKE_TRIPLES)));
        }
    };

    // Twenty-four bytes per block; thirty-two characters into twenty-four
    // bytes, stored as two halves of sixteen, the second over the first
    // one's spare bytes (two stores cost less than the lane-crossing permute
    // that would join the halves for one).
    struct Avx2 {
        static constexpr std::size_t DECODE_ROOM = 28;

        KORVALITH_TARGET_AVX2 KORVALITH_VECTOR_INLINE static __m256i encode(__m256i bytes) {
            const __m256i spread = _mm256_setr_epi8(KORVALITH_BASE64_SPREAD_AFTER_4, KORVALITH_BASE64_SPREAD);
            return characters_avx2(indices_avx2(_mm256_shuffle_epi8(bytes, spread)));
        }

        KORVALITH_TARGET_AVX2 KORVALITH_VECTOR_INLINE static void decode(__m256i text, __m256i high,
                                                                         std::uint8_t* out) {
            const __m256i slash = _mm256_cmpeq_epi8(text, _mm256_set1_epi8('/'));
            const __m256i offsets = _mm256_setr_epi8(KORVALITH_BASE64_DECODE_OFFSETS, KORVALITH_BASE64_DECODE_OFFSETS);
            const __m256i values = _mm256_add_epi8(text, _mm256_shuffle_epi8(offsets, _mm256_add_epi8(high, slash)));
            const __m256i pairs = _mm256_maddubs_epi16(values, _mm256_set1_epi32(PAIR_WEIGHTS));
            const __m256i groups = _mm256_madd_epi16(pairs, _mm256_set1_epi32(HALF_WEIGHTS));
            const __m256i triples = _mm256_shuffle_epi8(
                groups, _mm256_setr_epi8(KORVALITH_BASE64_TAKE_TRIPLES, KORVALITH_BASE64_TAKE_TRIPLES));
            // The twelve bytes of each half, each stored where they go.
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(triples));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 12), _mm256_extracti128_si256(triples, 1));
        }
    };

    // Forty-eight bytes per block, read as sixty-four; sixty-four characters
    // into forty-eight bytes, stored as 64.
    struct Avx512Vbmi {
        KORVALITH_TARGET_AVX512VBMI KORVALITH_VECTOR_INLINE static __m512i encode(__m512i bytes) {
            return vector_loops::spread_characters_avx512vbmi(bytes, ENCODE_SPREAD.data(), ENCODE_MULTISHIFT,
                                                              BASE64_ALPHABET.data());
        }

        KORVALITH_TARGET_AVX512VBMI KORVALITH_VECTOR_INLINE static void decode(__m512i values, std::uint8_t* out) {
            const __m512i pairs = _mm512_maddubs_epi16(values, _mm512_set1_epi32(PAIR_WEIGHTS));
            const __m512i groups = _mm512_madd_epi16(pairs, _mm512_set1_epi32(HALF_WEIGHTS));
            _mm512_storeu_si512(out, _mm512_permutexvar_epi8(_mm512_loadu_si512(DECODE_TAKE_TRIPLES.data()), groups));
        }
    };
#endif

#if KORVALITH_AARCH64
    // Forty-eight bytes per block, sixteen groups, encoded as sixty-four
    // characters; sixty-four characters decoded into forty-eight bytes. The
    // interleaving load puts byte (or character) k of every group in
    // register k, and the interleaving store writes them back in order.
    struct Neon {
        KORVALITH_TARGET_NEON static std::size_t encode_blocks(const std::uint8_t* in, std::size_t size,
                                                               std::uint8_t* out) noexcept {
            const uint8x16x4_t alphabet = vld1q_u8_x4(reinterpret_cast<const std::uint8_t*>(BASE64_ALPHABET.data()));
            const uint8x16_t low_six = vdupq_n_u8(63);
            std::size_t done = 0;
            for (; size - done >= 48; done += 48, out += 64) {
                const uint8x16x3_t bytes = vld3q_u8(in + done);
                const uint8x16_t first = vshrq_n_u8(bytes.val[0], 2);
                const uint8x16_t second = vandq_u8(vsriq_n_u8(vshlq_n_u8(bytes.val[0], 4), bytes.val[1], 4), low_six);
                const uint8x16_t third = vandq_u8(vsriq_n_u8(vshlq_n_u8(bytes.val[1], 2), bytes.val[2], 6), low_six);
                const uint8x16_t fourth = vandq_u8(bytes.val[2], low_six);
                uint8x16x4_t characters;
                characters.val[0] = vqtbl4q_u8(alphabet, first);
                characters.val[1] = vqtbl4q_u8(alphabet, second);
                characters.val[2] = vqtbl4q_u8(alphabet, third);
                characters.val[3] = vqtbl4q_u8(alphabet, fourth);
                vst4q_u8(out, characters);
            }
            return done;
        }

        KORVALITH_TARGET_NEON static std::size_t decode_blocks(const std::uint8_t* in, std::size_t size,
                                                               std::uint8_t* out, std::size_t room) noexcept {
            const uint8x16x4_t low = vld1q_u8_x4(vector_loops::ASCII_VALUES<Base64Steps>.data());
            const uint8x16x4_t high = vld1q_u8_x4(vector_loops::ASCII_VALUES<Base64Steps>.data() + 64);
            std::size_t done = 0;
            std::size_t written = 0;
            for (; size - done >= 64 && room - written >= 48; done += 64, written += 48) {
                const uint8x16x4_t text = vld4q_u8(in + done);
                uint8x16_t outside = vdupq_n_u8(0);
                const uint8x16_t first = vector_loops::values_neon(low, high, text.val[0], outside);
                const uint8x16_t second = vector_loops::values_neon(low, high, text.val[1], outside);
                const uint8x16_t third = vector_loops::values_neon(low, high, text.val[2], outside);
                const uint8x16_t fourth = vector_loops::values_neon(low, high, text.val[3], outside);
                if (vector_loops::any_outside_neon(outside)) break;
                // Each value's bits go where the group's 24 bits need them:
                // inserting a shifted value keeps the bits below the shift.
                uint8x16x3_t bytes;
                bytes.val[0] = vsliq_n_u8(vshrq_n_u8(second, 4), first, 2);
                bytes.val[1] = vsliq_n_u8(vshrq_n_u8(third, 2), second, 4);
                bytes.val[2] = vsliq_n_u8(fourth, third, 6);
                vst3q_u8(out + written, bytes);
            }
            return done;
        }
    };
#endif
};

#endif

}  // namespace

CodecKernels base64_kernels(VectorPath path) noexcept { return vector_loops::kernels_for<Base64Steps>(path); }

}  // namespace korvalith
