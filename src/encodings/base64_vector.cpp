// The vector loops of Base64. SSSE3 and AVX2 split each group of three bytes
// into four 6-bit indices with multiplies and map them to characters with a
// byte shuffle; decoding classifies each character by its two nibbles.
// AVX-512 VBMI does both with byte permutes over whole tables and extracts
// the indices with one multishift.
//
// Each loop hands what is left after its last whole block to the next
// narrower one (AVX-512 to AVX2 to SSSE3), so short inputs and the ends of
// long ones still take vector steps; the plain routine does the rest.
#include "encodings/base64_vector.hpp"

#include <array>
#include <cstdint>

#include "encodings/base64.hpp"

#if defined(__x86_64__) || defined(__i386__)
// g++ 12 warns about the deliberately undefined register that its AVX-512
// intrinsics start from once they are inlined (a known false positive).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#endif

namespace korvalith {

namespace {

#if defined(__x86_64__) || defined(__i386__)

// ---------------------------------------------------------------- encoding

// Each group of three bytes b0 b1 b2 is first spread over a 32-bit lane as
// b1 b0 b2 b1, so that each of its four 6-bit indices lies within one 16-bit
// half: index 0 in bits 10..15 and index 1 in bits 4..9 of the low half
// (b0 b1), index 2 in bits 6..11 and index 3 in bits 0..5 of the high half
// (b1 b2). A high multiply moves indices 0 and 2 down to bytes 0 and 2, a
// low multiply moves indices 1 and 3 up to bytes 1 and 3.
constexpr int SPREAD_MASK_HIGH = 0x0FC0FC00;
constexpr int SPREAD_SHIFT_HIGH = 0x04000040;  // >> 10 in the low half, >> 6 in the high half
constexpr int SPREAD_MASK_LOW = 0x003F03F0;
constexpr int SPREAD_SHIFT_LOW = 0x01000010;  // << 4 in the low half, << 8 in the high half

// The character of index i is i plus an offset that depends on its range:
// "A" for 0..25, "a" - 26 for 26..51, "0" - 52 for 52..61, then "+" and "/".
// The offsets are looked up by a range number: 13 for 0..25, 0 for 26..51,
// i - 51 for 52..63.
#define KORVALITH_BASE64_ENCODE_OFFSETS 71, -4, -4, -4, -4, -4, -4, -4, -4, -4, -4, -19, -16, 65, 0, 0

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
    __m128i range = _mm_subs_epu8(indices, _mm_set1_epi8(51));
    range = _mm_or_si128(range, _mm_and_si128(_mm_cmpgt_epi8(_mm_set1_epi8(26), indices), _mm_set1_epi8(13)));
    return _mm_add_epi8(indices, _mm_shuffle_epi8(_mm_setr_epi8(KORVALITH_BASE64_ENCODE_OFFSETS), range));
}

// Twelve bytes per step, read as sixteen.
KORVALITH_TARGET_SSSE3 KORVALITH_VECTOR_INLINE
std::size_t encode_ssse3_loop(const std::uint8_t* in, std::size_t size, std::uint8_t* out) noexcept {
    const __m128i spread = _mm_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10);
    std::size_t done = 0;
    for (; size - done >= 16; done += 12, out += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + done));
        const __m128i text = characters_ssse3(indices_ssse3(_mm_shuffle_epi8(bytes, spread)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), text);
    }
    return done;
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
    __m256i range = _mm256_subs_epu8(indices, _mm256_set1_epi8(51));
    range = _mm256_or_si256(range,
                            _mm256_and_si256(_mm256_cmpgt_epi8(_mm256_set1_epi8(26), indices), _mm256_set1_epi8(13)));
    const __m256i offsets =
        _mm256_setr_epi8(KORVALITH_BASE64_ENCODE_OFFSETS, KORVALITH_BASE64_ENCODE_OFFSETS);
    return _mm256_add_epi8(indices, _mm256_shuffle_epi8(offsets, range));
}

// Twelve bytes into each 128-bit half.
KORVALITH_TARGET_AVX2 KORVALITH_VECTOR_INLINE
__m256i load_halves_avx2(const std::uint8_t* in, std::size_t second) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + second));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
}

// Twenty-four bytes per step, as two halves of twelve read as sixteen each;
// two steps per round.
KORVALITH_TARGET_AVX2 KORVALITH_VECTOR_INLINE
std::size_t encode_avx2_loop(const std::uint8_t* in, std::size_t size, std::uint8_t* out) noexcept {
    const __m256i spread = _mm256_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10,  //
                                            1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10);
    std::size_t done = 0;
    for (; size - done >= 52; done += 48, out += 64) {
        const __m256i first = load_halves_avx2(in + done, 12);
        const __m256i second = load_halves_avx2(in + done + 24, 12);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                            characters_avx2(indices_avx2(_mm256_shuffle_epi8(first, spread))));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32),
                            characters_avx2(indices_avx2(_mm256_shuffle_epi8(second, spread))));
    }
    for (; size - done >= 28; done += 24, out += 32) {
        const __m256i bytes = load_halves_avx2(in + done, 12);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                            characters_avx2(indices_avx2(_mm256_shuffle_epi8(bytes, spread))));
    }
    return done + encode_ssse3_loop(in + done, size - done, out);
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

// Forty-eight bytes per step, read as sixty-four. The byte permute by the
// alphabet uses only the low six bits of each index, so the two bits above
// it need no mask.
KORVALITH_TARGET_AVX512VBMI
std::size_t encode_avx512vbmi(const std::uint8_t* in, std::size_t size, std::uint8_t* out) noexcept {
    const __m512i spread = _mm512_loadu_si512(ENCODE_SPREAD.data());
    const __m512i shifts = _mm512_set1_epi64(ENCODE_MULTISHIFT);
    const __m512i alphabet = _mm512_loadu_si512(BASE64_ALPHABET.data());
    std::size_t done = 0;
    for (; size - done >= 64; done += 48, out += 64) {
        const __m512i bytes = _mm512_loadu_si512(in + done);
        const __m512i indices = _mm512_multishift_epi64_epi8(shifts, _mm512_permutexvar_epi8(spread, bytes));
        _mm512_storeu_si512(out, _mm512_permutexvar_epi8(indices, alphabet));
    }
    return done + encode_avx2_loop(in + done, size - done, out);
}

// ---------------------------------------------------------------- decoding

// SSSE3 and AVX2 classify each character by its nibbles: a byte is outside
// the alphabet exactly when the class bits of its low and its high nibble
// share a bit. Per high nibble the alphabet holds: 2: "+" (B) and "/" (F);
// 3: 0..9; 4 and 6: 1..F; 5 and 7: 0..A; nothing for the others. Bit 0 marks
// low nibbles invalid after 2, bit 1 after 3, bit 2 after 4 and 6, bit 3
// after 5 and 7, and bit 4 (set for every low nibble) the high nibbles
// without any character.
#define KORVALITH_BASE64_LOW_CLASSES \
    0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A
#define KORVALITH_BASE64_HIGH_CLASSES \
    0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10
// A character's value is the character plus the offset of its high nibble,
// except that "/" (high nibble 2, like "+") takes the offset at index 1.
#define KORVALITH_BASE64_DECODE_OFFSETS 0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0

// Four values of 6 bits per 32-bit lane into three bytes: pairs into 12
// bits, then into 24 bits whose bytes are taken most significant first.
constexpr int PAIR_WEIGHTS = 0x01400140;  // first * 64 + second
constexpr int HALF_WEIGHTS = 0x00011000;  // first * 4096 + second
#define KORVALITH_BASE64_TAKE_TRIPLES 2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1

// Sixteen characters per step into twelve bytes, stored as sixteen.
KORVALITH_TARGET_SSSE3 KORVALITH_VECTOR_INLINE
std::size_t decode_ssse3_loop(const std::uint8_t* in, std::size_t size, std::uint8_t* out, std::size_t room) noexcept {
    const __m128i low_classes = _mm_setr_epi8(KORVALITH_BASE64_LOW_CLASSES);
    const __m128i high_classes = _mm_setr_epi8(KORVALITH_BASE64_HIGH_CLASSES);
    const __m128i offsets = _mm_setr_epi8(KORVALITH_BASE64_DECODE_OFFSETS);
    const __m128i nibble = _mm_set1_epi8(0x0F);
    std::size_t done = 0;
    std::size_t written = 0;
    for (; size - done >= 16 && room - written >= 16; done += 16, written += 12) {
        const __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + done));
        const __m128i high = _mm_and_si128(_mm_srli_epi32(text, 4), nibble);
        const __m128i outside = _mm_and_si128(_mm_shuffle_epi8(low_classes, _mm_and_si128(text, nibble)),
                                              _mm_shuffle_epi8(high_classes, high));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(outside, _mm_setzero_si128())) != 0xFFFF) break;
        const __m128i slash = _mm_cmpeq_epi8(text, _mm_set1_epi8('/'));
        const __m128i values = _mm_add_epi8(text, _mm_shuffle_epi8(offsets, _mm_add_epi8(high, slash)));
        const __m128i pairs = _mm_maddubs_epi16(values, _mm_set1_epi32(PAIR_WEIGHTS));
        const __m128i groups = _mm_madd_epi16(pairs, _mm_set1_epi32(HALF_WEIGHTS));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + written),
                         _mm_shuffle_epi8(groups, _mm_setr_epi8(KORVALITH_BASE64_TAKE_TRIPLES)));
    }
    return done;
}

// Thirty-two characters per step into twenty-four bytes, stored as 32.
KORVALITH_TARGET_AVX2 KORVALITH_VECTOR_INLINE
std::size_t decode_avx2_loop(const std::uint8_t* in, std::size_t size, std::uint8_t* out, std::size_t room) noexcept {
    const __m256i low_classes = _mm256_setr_epi8(KORVALITH_BASE64_LOW_CLASSES, KORVALITH_BASE64_LOW_CLASSES);
    const __m256i high_classes = _mm256_setr_epi8(KORVALITH_BASE64_HIGH_CLASSES, KORVALITH_BASE64_HIGH_CLASSES);
    const __m256i offsets = _mm256_setr_epi8(KORVALITH_BASE64_DECODE_OFFSETS, KORVALITH_BASE64_DECODE_OFFSETS);
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    std::size_t done = 0;
    std::size_t written = 0;
    for (; size - done >= 32 && room - written >= 32; done += 32, written += 24) {
        const __m256i text = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + done));
        const __m256i high = _mm256_and_si256(_mm256_srli_epi32(text, 4), nibble);
        if (!_mm256_testz_si256(_mm256_shuffle_epi8(low_classes, _mm256_and_si256(text, nibble)),
                                _mm256_shuffle_epi8(high_classes, high))) {
            break;
        }
        const __m256i slash = _mm256_cmpeq_epi8(text, _mm256_set1_epi8('/'));
        const __m256i values = _mm256_add_epi8(text, _mm256_shuffle_epi8(offsets, _mm256_add_epi8(high, slash)));
        const __m256i pairs = _mm256_maddubs_epi16(values, _mm256_set1_epi32(PAIR_WEIGHTS));
        const __m256i groups = _mm256_madd_epi16(pairs, _mm256_set1_epi32(HALF_WEIGHTS));
        const __m256i triples = _mm256_shuffle_epi8(
            groups, _mm256_setr_epi8(KORVALITH_BASE64_TAKE_TRIPLES, KORVALITH_BASE64_TAKE_TRIPLES));
        // The twelve bytes of each half side by side.
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + written),
                            _mm256_permutevar8x32_epi32(triples, _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7)));
    }
    return done + decode_ssse3_loop(in + done, size - done, out + written, room - written);
}

// For AVX-512 VBMI: the value of each ASCII byte, 0x80 for those outside the
// alphabet. A byte from 0x80 up is caught by its own top bit.
constexpr std::array<std::uint8_t, 128> DECODE_VALUES = [] {
    std::array<std::uint8_t, 128> table{};
    for (std::size_t byte = 0; byte < 128; ++byte) {
        table[byte] = BASE64_DECODE_TABLE[byte] == 255 ? 0x80 : BASE64_DECODE_TABLE[byte];
    }
    return table;
}();

// Byte k of the output is byte TAKE_TRIPLES[k] of the 24-bit groups.
constexpr std::array<std::uint8_t, 64> DECODE_TAKE_TRIPLES = [] {
    std::array<std::uint8_t, 64> table{};
    for (std::size_t k = 0; k < 48; ++k) table[k] = static_cast<std::uint8_t>(k / 3 * 4 + 2 - k % 3);
    return table;
}();

// Sixty-four characters per step into forty-eight bytes, stored as 64.
// (Whole-register loads and stores: 64-bit masks cost a trip through
// memory on the 32-bit target.)
KORVALITH_TARGET_AVX512VBMI
std::size_t decode_avx512vbmi(const std::uint8_t* in, std::size_t size, std::uint8_t* out, std::size_t room) noexcept {
    const __m512i values_low = _mm512_loadu_si512(DECODE_VALUES.data());
    const __m512i values_high = _mm512_loadu_si512(DECODE_VALUES.data() + 64);
    const __m512i take_triples = _mm512_loadu_si512(DECODE_TAKE_TRIPLES.data());
    std::size_t done = 0;
    std::size_t written = 0;
    for (; size - done >= 64 && room - written >= 64; done += 64, written += 48) {
        const __m512i text = _mm512_loadu_si512(in + done);
        const __m512i values = _mm512_permutex2var_epi8(values_low, text, values_high);
        const __mmask64 outside = _mm512_movepi8_mask(_mm512_or_si512(values, text));
        if (!_kortestz_mask64_u8(outside, outside)) break;
        const __m512i pairs = _mm512_maddubs_epi16(values, _mm512_set1_epi32(PAIR_WEIGHTS));
        const __m512i groups = _mm512_madd_epi16(pairs, _mm512_set1_epi32(HALF_WEIGHTS));
        _mm512_storeu_si512(out + written, _mm512_permutexvar_epi8(take_triples, groups));
    }
    return done + decode_avx2_loop(in + done, size - done, out + written, room - written);
}

// The loops of the SSSE3 and AVX2 paths as functions of their own.
KORVALITH_TARGET_SSSE3
std::size_t encode_ssse3(const std::uint8_t* in, std::size_t size, std::uint8_t* out) noexcept {
    return encode_ssse3_loop(in, size, out);
}
KORVALITH_TARGET_SSSE3
std::size_t decode_ssse3(const std::uint8_t* in, std::size_t size, std::uint8_t* out, std::size_t room) noexcept {
    return decode_ssse3_loop(in, size, out, room);
}
KORVALITH_TARGET_AVX2
std::size_t encode_avx2(const std::uint8_t* in, std::size_t size, std::uint8_t* out) noexcept {
    return encode_avx2_loop(in, size, out);
}
KORVALITH_TARGET_AVX2
std::size_t decode_avx2(const std::uint8_t* in, std::size_t size, std::uint8_t* out, std::size_t room) noexcept {
    return decode_avx2_loop(in, size, out, room);
}

#endif

}  // namespace

CodecKernels base64_kernels(VectorPath path) noexcept {
#if defined(__x86_64__) || defined(__i386__)
    switch (path) {
        case VectorPath::scalar: return {};
        case VectorPath::ssse3: return {encode_ssse3, decode_ssse3};
        case VectorPath::avx2: return {encode_avx2, decode_avx2};
        case VectorPath::avx512vbmi: return {encode_avx512vbmi, decode_avx512vbmi};
    }
#else
    (void)path;
#endif
    return {};
}

}  // namespace korvalith
