// The vector loops of Base32. SSSE3 and AVX2 split each group of five bytes
// into eight 5-bit indices with 16-bit multiplies and map them to characters
// with a compare; decoding classifies each character by its two nibbles.
// AVX-512 VBMI extracts the indices with one multishift and does the table
// lookups with byte permutes.
//
// Each loop hands what is left after its last whole block to the next
// narrower one (AVX-512 to AVX2 to SSSE3), so short inputs and the ends of
// long ones still take vector steps; the plain routine does the rest.
#include "encodings/base32_vector.hpp"

#include <array>
#include <cstdint>

#include "encodings/base32.hpp"

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

// Each group of five bytes b0..b4 is spread over four 16-bit lanes holding
// the byte pairs b0 b1, b1 b2, b2 b3 and b3 b4, first byte high. Lane j then
// holds index 2j in bits a..a+4 and index 2j+1 in bits a-5..a-1, for
// a = 11, 9, 7, 5. A high multiply by 2^(16 - a) moves the first down to the
// lane's low byte; a low multiply by 2^(13 - a) moves the second up to its
// high byte.
#define KORVALITH_BASE32_SPREAD 1, 0, 2, 1, 3, 2, 4, 3, 6, 5, 7, 6, 8, 7, 9, 8
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

// Ten bytes per step, read as sixteen.
KORVALITH_TARGET_SSSE3 KORVALITH_VECTOR_INLINE
std::size_t encode_ssse3_loop(const std::uint8_t* in, std::size_t size, std::uint8_t* out) noexcept {
    const __m128i spread = _mm_setr_epi8(KORVALITH_BASE32_SPREAD);
    std::size_t done = 0;
    for (; size - done >= 16; done += 10, out += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + done));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), characters_ssse3(_mm_shuffle_epi8(bytes, spread)));
    }
    return done;
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

// Ten bytes into each 128-bit half, each read as sixteen.
KORVALITH_TARGET_AVX2 KORVALITH_VECTOR_INLINE
__m256i load_halves_avx2(const std::uint8_t* in) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 10));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
}

// Twenty bytes per step; two steps per round.
KORVALITH_TARGET_AVX2 KORVALITH_VECTOR_INLINE
std::size_t encode_avx2_loop(const std::uint8_t* in, std::size_t size, std::uint8_t* out) noexcept {
    const __m256i spread = _mm256_setr_epi8(KORVALITH_BASE32_SPREAD, KORVALITH_BASE32_SPREAD);
    std::size_t done = 0;
    for (; size - done >= 46; done += 40, out += 64) {
        const __m256i first = _mm256_shuffle_epi8(load_halves_avx2(in + done), spread);
        const __m256i second = _mm256_shuffle_epi8(load_halves_avx2(in + done + 20), spread);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), characters_avx2(first));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32), characters_avx2(second));
    }
    for (; size - done >= 26; done += 20, out += 32) {
        const __m256i bytes = _mm256_shuffle_epi8(load_halves_avx2(in + done), spread);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), characters_avx2(bytes));
    }
    return done + encode_ssse3_loop(in + done, size - done, out);
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

// Forty bytes per step, read as sixty-four.
KORVALITH_TARGET_AVX512VBMI
std::size_t encode_avx512vbmi(const std::uint8_t* in, std::size_t size, std::uint8_t* out) noexcept {
    const __m512i spread = _mm512_loadu_si512(ENCODE_SPREAD.data());
    const __m512i shifts = _mm512_set1_epi64(ENCODE_MULTISHIFT);
    const __m512i alphabet = _mm512_loadu_si512(ALPHABET_TWICE.data());
    std::size_t done = 0;
    for (; size - done >= 64; done += 40, out += 64) {
        const __m512i bytes = _mm512_loadu_si512(in + done);
        const __m512i indices = _mm512_multishift_epi64_epi8(shifts, _mm512_permutexvar_epi8(spread, bytes));
        _mm512_storeu_si512(out, _mm512_permutexvar_epi8(indices, alphabet));
    }
    return done + encode_avx2_loop(in + done, size - done, out);
}

// ---------------------------------------------------------------- decoding

// SSSE3 and AVX2 classify each character by its nibbles: a byte is outside
// the alphabet exactly when the class bits of its low and its high nibble
// share a bit. Per high nibble the alphabet holds: 3: 2..7; 4 and 6: 1..F;
// 5 and 7: 0..A; nothing for the others. Bit 0 marks low nibbles invalid
// after 3, bit 1 after 4 and 6, bit 2 after 5 and 7, and bit 3 (set for
// every low nibble) the high nibbles without any character.
#define KORVALITH_BASE32_LOW_CLASSES \
    0x0B, 0x09, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x09, 0x09, 0x09, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D
#define KORVALITH_BASE32_HIGH_CLASSES \
    0x08, 0x08, 0x08, 0x01, 0x02, 0x04, 0x02, 0x04, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08
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

// Sixteen characters per step into ten bytes, stored as sixteen.
KORVALITH_TARGET_SSSE3 KORVALITH_VECTOR_INLINE
std::size_t decode_ssse3_loop(const std::uint8_t* in, std::size_t size, std::uint8_t* out, std::size_t room) noexcept {
    const __m128i low_classes = _mm_setr_epi8(KORVALITH_BASE32_LOW_CLASSES);
    const __m128i high_classes = _mm_setr_epi8(KORVALITH_BASE32_HIGH_CLASSES);
    const __m128i offsets = _mm_setr_epi8(KORVALITH_BASE32_DECODE_OFFSETS);
    const __m128i nibble = _mm_set1_epi8(0x0F);
    std::size_t done = 0;
    std::size_t written = 0;
    for (; size - done >= 16 && room - written >= 16; done += 16, written += 10) {
        const __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + done));
        const __m128i high = _mm_and_si128(_mm_srli_epi32(text, 4), nibble);
        const __m128i outside = _mm_and_si128(_mm_shuffle_epi8(low_classes, _mm_and_si128(text, nibble)),
                                              _mm_shuffle_epi8(high_classes, high));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(outside, _mm_setzero_si128())) != 0xFFFF) break;
        const __m128i values = _mm_add_epi8(text, _mm_shuffle_epi8(offsets, high));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + written), join_groups_ssse3(values));
    }
    return done;
}

// Thirty-two characters per step into twenty bytes, stored as two halves of
// sixteen, the second over the first one's spare bytes.
KORVALITH_TARGET_AVX2 KORVALITH_VECTOR_INLINE
std::size_t decode_avx2_loop(const std::uint8_t* in, std::size_t size, std::uint8_t* out, std::size_t room) noexcept {
    const __m256i low_classes = _mm256_setr_epi8(KORVALITH_BASE32_LOW_CLASSES, KORVALITH_BASE32_LOW_CLASSES);
    const __m256i high_classes = _mm256_setr_epi8(KORVALITH_BASE32_HIGH_CLASSES, KORVALITH_BASE32_HIGH_CLASSES);
    const __m256i offsets = _mm256_setr_epi8(KORVALITH_BASE32_DECODE_OFFSETS, KORVALITH_BASE32_DECODE_OFFSETS);
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    std::size_t done = 0;
    std::size_t written = 0;
    for (; size - done >= 32 && room - written >= 26; done += 32, written += 20) {
        const __m256i text = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + done));
        const __m256i high = _mm256_and_si256(_mm256_srli_epi32(text, 4), nibble);
        if (!_mm256_testz_si256(_mm256_shuffle_epi8(low_classes, _mm256_and_si256(text, nibble)),
                                _mm256_shuffle_epi8(high_classes, high))) {
            break;
        }
        const __m256i values = _mm256_add_epi8(text, _mm256_shuffle_epi8(offsets, high));
        const __m256i pairs = _mm256_maddubs_epi16(values, _mm256_set1_epi16(PAIR_WEIGHTS));
        const __m256i halves = _mm256_madd_epi16(pairs, _mm256_set1_epi32(HALF_WEIGHTS));
        const __m256i groups = _mm256_add_epi64(_mm256_mul_epu32(halves, _mm256_set1_epi32(FIRST_HALF_SHIFT)),
                                                _mm256_srli_epi64(halves, 32));
        const __m256i bytes = _mm256_shuffle_epi8(
            groups, _mm256_setr_epi8(KORVALITH_BASE32_TAKE_GROUPS, KORVALITH_BASE32_TAKE_GROUPS));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + written), _mm256_castsi256_si128(bytes));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + written + 10), _mm256_extracti128_si256(bytes, 1));
    }
    return done + decode_ssse3_loop(in + done, size - done, out + written, room - written);
}

// For AVX-512 VBMI: the value of each ASCII byte, 0x80 for those outside the
// alphabet. A byte from 0x80 up is caught by its own top bit.
constexpr std::array<std::uint8_t, 128> DECODE_VALUES = [] {
    std::array<std::uint8_t, 128> table{};
    for (std::size_t byte = 0; byte < 128; ++byte) {
        table[byte] = BASE32_DECODE_TABLE[byte] == 255 ? 0x80 : BASE32_DECODE_TABLE[byte];
    }
    return table;
}();

// Byte k of the output is byte 4 - k % 5 of 64-bit lane k / 5.
constexpr std::array<std::uint8_t, 64> DECODE_TAKE_GROUPS = [] {
    std::array<std::uint8_t, 64> table{};
    for (std::size_t k = 0; k < 40; ++k) table[k] = static_cast<std::uint8_t>(k / 5 * 8 + 4 - k % 5);
    return table;
}();

// Sixty-four characters per step into forty bytes, stored as 64.
KORVALITH_TARGET_AVX512VBMI
std::size_t decode_avx512vbmi(const std::uint8_t* in, std::size_t size, std::uint8_t* out, std::size_t room) noexcept {
    const __m512i values_low = _mm512_loadu_si512(DECODE_VALUES.data());
    const __m512i values_high = _mm512_loadu_si512(DECODE_VALUES.data() + 64);
    const __m512i take_groups = _mm512_loadu_si512(DECODE_TAKE_GROUPS.data());
    std::size_t done = 0;
    std::size_t written = 0;
    for (; size - done >= 64 && room - written >= 64; done += 64, written += 40) {
        const __m512i text = _mm512_loadu_si512(in + done);
        const __m512i values = _mm512_permutex2var_epi8(values_low, text, values_high);
        const __mmask64 outside = _mm512_movepi8_mask(_mm512_or_si512(values, text));
        if (!_kortestz_mask64_u8(outside, outside)) break;
        const __m512i pairs = _mm512_maddubs_epi16(values, _mm512_set1_epi16(PAIR_WEIGHTS));
        const __m512i halves = _mm512_madd_epi16(pairs, _mm512_set1_epi32(HALF_WEIGHTS));
        const __m512i groups = _mm512_add_epi64(_mm512_mul_epu32(halves, _mm512_set1_epi32(FIRST_HALF_SHIFT)),
                                                _mm512_srli_epi64(halves, 32));
        _mm512_storeu_si512(out + written, _mm512_permutexvar_epi8(take_groups, groups));
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

CodecKernels base32_kernels(VectorPath path) noexcept {
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
