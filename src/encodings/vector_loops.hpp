// The vector loops that Base32 and Base64 share. A codec gives its `Steps`:
// what every width needs to know of the codec, and one step per register
// width, as the nested types Ssse3, Avx2 and Avx512Vbmi on x86 and Neon on
// aarch64. The x86 loops here run a width's step over whole blocks, then
// hand what is left after the last one to the next narrower width (AVX-512
// to AVX2 to SSSE3), so short inputs and the ends of long ones still take
// vector steps; the codec's plain routine does the rest.
//
// `Steps` has:
// - BITS, the bits one character carries: a block of W characters (W = 16,
//   32 or 64, the register's bytes) holds W * BITS / 8 bytes;
// - DECODE_TABLE, each byte's value (255 outside the alphabet);
// - LOW_CLASSES and HIGH_CLASSES, for SSSE3 and AVX2 decoding: a class per
//   low and per high nibble, such that a byte is outside the alphabet
//   exactly when the classes of its two nibbles share a bit.
// The step of each x86 width has:
// - encode(bytes): the W characters of a block's bytes, as the loop loads
//   them: from the block's start, except on AVX2, where one load that
//   begins 16 - W * BITS / 16 bytes before the block puts its first half at
//   the end of the low 128-bit half and its second half at the start of
//   the high one;
// - decode(...): writes the bytes of W characters that the loop has found
//   to be all in the alphabet: decode(text, high_nibbles, out) on SSSE3 and
//   AVX2, decode(values, out) with each character's value on AVX-512.
//   Its stores may reach past the block's bytes: a whole register on SSSE3
//   and AVX-512; the AVX2 step gives DECODE_ROOM, the room its stores take.
// The Neon step runs whole loops of its own, encode_blocks and
// decode_blocks, with the contract of the loops here (codec_kernels.hpp),
// since Advanced SIMD's interleaving loads and stores (three or four
// registers at once) give each codec blocks of its own shape, and g++ keeps
// the multi-register lookup tables in registers only as locals of the loop
// itself. The helpers below are shared.
//
// The steps and the SSSE3 and AVX2 loops are always inlined into the wider
// loops (KORVALITH_VECTOR_INLINE, common/vector_path.hpp, says why).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "encodings/codec_kernels.hpp"

#if defined(__x86_64__) || defined(__i386__)
// g++ 12 warns about the deliberately undefined register that its AVX-512
// intrinsics start from once they are inlined (a known false positive).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#elif KORVALITH_AARCH64
#include <arm_neon.h>
#endif

namespace korvalith::vector_loops {

// For AVX-512 VBMI and NEON: the value of each ASCII byte, 0x80 for those
// outside the alphabet. A byte from 0x80 up is caught by its own top bit.
template <typename Steps>
inline constexpr std::array<std::uint8_t, 128> ASCII_VALUES = [] {
    std::array<std::uint8_t, 128> table{};
    for (std::size_t byte = 0; byte < 128; ++byte) {
        table[byte] = Steps::DECODE_TABLE[byte] == 255 ? 0x80 : Steps::DECODE_TABLE[byte];
    }
    return table;
}();

#if defined(__x86_64__) || defined(__i386__)

// The bytes that a block of `width` characters holds.
template <typename Steps>
constexpr std::size_t block_bytes(std::size_t width) {
    return width * Steps::BITS / 8;
}

// ---------------------------------------------------------------- encoding

// For AVX-512 VBMI encoding steps: three permutes, where `spread` gathers
// each group's bytes into a lane, `multishift` picks each character's index
// out of it, and the 64 bytes at `alphabet` map the index's low six bits.
KORVALITH_TARGET_AVX512VBMI KORVALITH_VECTOR_INLINE
__m512i spread_characters_avx512vbmi(__m512i bytes, const std::uint8_t* spread, long long multishift,
                                     const void* alphabet) {
    const __m512i indices = _mm512_multishift_epi64_epi8(
        _mm512_set1_epi64(multishift), _mm512_permutexvar_epi8(_mm512_loadu_si512(spread), bytes));
    return _mm512_permutexvar_epi8(indices, _mm512_loadu_si512(alphabet));
}

template <typename Steps>
KORVALITH_TARGET_SSSE3 KORVALITH_VECTOR_INLINE
std::size_t encode_ssse3(const std::uint8_t* in, std::size_t size, std::uint8_t* out) noexcept {
    constexpr std::size_t BYTES = block_bytes<Steps>(16);
    std::size_t done = 0;
    for (; size - done >= 16; done += BYTES, out += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + done));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), Steps::Ssse3::encode(bytes));
    }
    return done;
}

// A block's bytes read with one load that begins `Before` bytes before it.
template <std::size_t Before>
KORVALITH_TARGET_AVX2 KORVALITH_VECTOR_INLINE
__m256i load_block_avx2(const std::uint8_t* block) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block - Before));
}

// Two blocks per round while the input lasts. A block is read with one load
// that begins in the bytes before it, so the first sixteen characters come
// from the SSSE3 step, which reads from the start.
template <typename Steps>
KORVALITH_TARGET_AVX2 KORVALITH_VECTOR_INLINE
std::size_t encode_avx2(const std::uint8_t* in, std::size_t size, std::uint8_t* out) noexcept {
    constexpr std::size_t BYTES = block_bytes<Steps>(32);
    constexpr std::size_t BEFORE = 16 - BYTES / 2;
    constexpr std::size_t READS = BYTES / 2 + 16;
    constexpr std::size_t FIRST = block_bytes<Steps>(16);
    static_assert(FIRST >= BEFORE);
    if (size < FIRST + READS) return encode_ssse3<Steps>(in, size, out);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     Steps::Ssse3::encode(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in))));
    std::size_t done = FIRST;
    out += 16;
    for (; size - done >= 3 * BYTES + READS; done += 4 * BYTES, out += 128) {
        const __m256i a = load_block_avx2<BEFORE>(in + done);
        const __m256i b = load_block_avx2<BEFORE>(in + done + BYTES);
        const __m256i c = load_block_avx2<BEFORE>(in + done + 2 * BYTES);
        const __m256i d = load_block_avx2<BEFORE>(in + done + 3 * BYTES);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), Steps::Avx2::encode(a));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32), Steps::Avx2::encode(b));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 64), Steps::Avx2::encode(c));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 96), Steps::Avx2::encode(d));
    }
    for (; size - done >= READS; done += BYTES, out += 32) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), Steps::Avx2::encode(load_block_avx2<BEFORE>(in + done)));
    }
    return done + encode_ssse3<Steps>(in + done, size - done, out);
}

template <typename Steps>
KORVALITH_TARGET_AVX512VBMI
std::size_t encode_avx512vbmi(const std::uint8_t* in, std::size_t size, std::uint8_t* out) noexcept {
    constexpr std::size_t BYTES = block_bytes<Steps>(64);
    std::size_t done = 0;
    for (; size - done >= 64; done += BYTES, out += 64) {
        _mm512_storeu_si512(out, Steps::Avx512Vbmi::encode(_mm512_loadu_si512(in + done)));
    }
    return done + encode_avx2<Steps>(in + done, size - done, out);
}

// ---------------------------------------------------------------- decoding

// The loops look a byte's low nibble up with the byte itself as the index,
// which the byte shuffle reads as its low nibble, or as nothing (a zero)
// where the byte's top bit is set; that saves masking the nibble out. For
// that they use the complement of the low classes, within the bits that
// any high class has: a byte is outside the alphabet exactly when its high
// nibble's class has a bit that its low nibble's does not. A byte from 0x80
// up finds no bit at all for its low nibble, and its high nibble's class
// (8 to F: none of the alphabet's) is never empty, so it is outside too.
template <typename Steps>
inline constexpr std::array<std::uint8_t, 16> ALLOWED_AFTER = [] {
    std::uint8_t any = 0;
    for (const std::uint8_t high : Steps::HIGH_CLASSES) any |= high;
    std::array<std::uint8_t, 16> allowed{};
    for (std::size_t k = 0; k < 16; ++k) allowed[k] = static_cast<std::uint8_t>(~Steps::LOW_CLASSES[k] & any);
    return allowed;
}();

template <typename Steps>
KORVALITH_TARGET_SSSE3 KORVALITH_VECTOR_INLINE
std::size_t decode_ssse3(const std::uint8_t* in, std::size_t size, std::uint8_t* out, std::size_t room) noexcept {
    constexpr std::size_t BYTES = block_bytes<Steps>(16);
    const __m128i allowed_after = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ALLOWED_AFTER<Steps>.data()));
    const __m128i high_classes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Steps::HIGH_CLASSES.data()));
    const __m128i nibble = _mm_set1_epi8(0x0F);
    std::size_t done = 0;
    std::size_t written = 0;
    for (; size - done >= 16 && room - written >= 16; done += 16, written += BYTES) {
        const __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + done));
        const __m128i high = _mm_and_si128(_mm_srli_epi32(text, 4), nibble);
        const __m128i outside =
            _mm_andnot_si128(_mm_shuffle_epi8(allowed_after, text), _mm_shuffle_epi8(high_classes, high));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(outside, _mm_setzero_si128())) != 0xFFFF) break;
        Steps::Ssse3::decode(text, high, out + written);
    }
    return done;
}

// A 16-byte table in both halves of a 256-bit register.
template <const std::array<std::uint8_t, 16>& Table>
inline constexpr std::array<std::uint8_t, 32> TWICE = [] {
    std::array<std::uint8_t, 32> twice{};
    for (std::size_t k = 0; k < 32; ++k) twice[k] = Table[k % 16];
    return twice;
}();

// The classes that the low nibbles of `text` allow, and those of its high
// nibbles (`high`); a character is outside the alphabet where its high
// nibble's class has a bit that its low nibble does not allow.
struct ClassesAvx2 {
    __m256i allowed;
    __m256i high;
};

KORVALITH_TARGET_AVX2 KORVALITH_VECTOR_INLINE
ClassesAvx2 classes_avx2(__m256i text, __m256i high, __m256i allowed_after, __m256i high_classes) {
    return {_mm256_shuffle_epi8(allowed_after, text), _mm256_shuffle_epi8(high_classes, high)};
}

// The blocks are counted once, from the input and the room their stores
// take, so the rounds keep one pointer and one bound. Two blocks a round are
// checked together with one branch (four would keep more registers than
// there are); a round that holds anything outside the alphabet goes to the
// single blocks after it, which stop before the first block that does.
template <typename Steps>
KORVALITH_TARGET_AVX2 KORVALITH_VECTOR_INLINE
std::size_t decode_avx2(const std::uint8_t* in, std::size_t size, std::uint8_t* out, std::size_t room) noexcept {
    constexpr std::size_t BYTES = block_bytes<Steps>(32);
    constexpr std::size_t ROOM = Steps::Avx2::DECODE_ROOM;
    std::size_t blocks = size / 32;
    const std::size_t fitting = room < ROOM ? 0 : (room - ROOM) / BYTES + 1;
    if (fitting < blocks) blocks = fitting;
    const __m256i allowed_after =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(TWICE<ALLOWED_AFTER<Steps>>.data()));
    const __m256i high_classes =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(TWICE<Steps::HIGH_CLASSES>.data()));
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const std::uint8_t* text_at = in;
    const std::uint8_t* const blocks_end = in + blocks * 32;
    std::uint8_t* out_at = out;
    constexpr int ROUND = 2;
    for (; blocks_end - text_at >= 32 * ROUND; text_at += 32 * ROUND, out_at += ROUND * BYTES) {
        __m256i text[ROUND];
        __m256i high[ROUND];
        __m256i outside = _mm256_setzero_si256();
#pragma GCC unroll 2
        for (int k = 0; k < ROUND; ++k) {
            text[k] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text_at + 32 * k));
            high[k] = _mm256_and_si256(_mm256_srli_epi32(text[k], 4), nibble);
            const ClassesAvx2 classes = classes_avx2(text[k], high[k], allowed_after, high_classes);
            outside = _mm256_or_si256(outside, _mm256_andnot_si256(classes.allowed, classes.high));
        }
        if (!_mm256_testz_si256(outside, outside)) break;
#pragma GCC unroll 2
        for (int k = 0; k < ROUND; ++k) Steps::Avx2::decode(text[k], high[k], out_at + BYTES * k);
    }
    for (; text_at != blocks_end; text_at += 32, out_at += BYTES) {
        const __m256i text = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text_at));
        const __m256i high = _mm256_and_si256(_mm256_srli_epi32(text, 4), nibble);
        const ClassesAvx2 classes = classes_avx2(text, high, allowed_after, high_classes);
        if (!_mm256_testc_si256(classes.allowed, classes.high)) break;
        Steps::Avx2::decode(text, high, out_at);
    }
    const auto done = static_cast<std::size_t>(text_at - in);
    const auto written = static_cast<std::size_t>(out_at - out);
    return done + decode_ssse3<Steps>(text_at, size - done, out_at, room - written);
}

// For AVX-512 VBMI decoding steps: the byte permute that writes out whole
// groups from lanes of `lane_bytes` bytes, each lane holding one group as a
// number in its low `group_bytes` bytes, taken most significant first.
constexpr std::array<std::uint8_t, 64> take_groups_table(std::size_t group_bytes, std::size_t lane_bytes) {
    std::array<std::uint8_t, 64> table{};
    for (std::size_t k = 0; k < 64 / lane_bytes * group_bytes; ++k) {
        table[k] = static_cast<std::uint8_t>(k / group_bytes * lane_bytes + group_bytes - 1 - k % group_bytes);
    }
    return table;
}

// (Whole-register loads and stores: 64-bit masks cost a trip through memory
// on the 32-bit target.)
template <typename Steps>
KORVALITH_TARGET_AVX512VBMI
std::size_t decode_avx512vbmi(const std::uint8_t* in, std::size_t size, std::uint8_t* out, std::size_t room) noexcept {
    constexpr std::size_t BYTES = block_bytes<Steps>(64);
    const __m512i values_low = _mm512_loadu_si512(ASCII_VALUES<Steps>.data());
    const __m512i values_high = _mm512_loadu_si512(ASCII_VALUES<Steps>.data() + 64);
    std::size_t done = 0;
    std::size_t written = 0;
    for (; size - done >= 64 && room - written >= 64; done += 64, written += BYTES) {
        const __m512i text = _mm512_loadu_si512(in + done);
        const __m512i values = _mm512_permutex2var_epi8(values_low, text, values_high);
        const __mmask64 outside = _mm512_movepi8_mask(_mm512_or_si512(values, text));
        if (!_kortestz_mask64_u8(outside, outside)) break;
        Steps::Avx512Vbmi::decode(values, out + written);
    }
    return done + decode_avx2<Steps>(in + done, size - done, out + written, room - written);
}

#endif

#if KORVALITH_AARCH64

// ---------------------------------------------------------------- NEON

// The values of sixteen characters by ASCII_VALUES<Steps>, loaded as `low`
// (bytes 0 to 63) and `high` (64 to 127), with their bit 7 ORed into
// `outside` for each character outside the alphabet: the lookup over `low`
// gives 0 for bytes from 64 up, the one over `high` fills those up to 127
// in from `text` - 64, and a byte from 0x80 up, for which both give 0, is
// caught by its own top bit. (The tables are passed by value: g++ keeps them
// in registers then.)
KORVALITH_TARGET_NEON KORVALITH_VECTOR_INLINE
uint8x16_t values_neon(uint8x16x4_t low, uint8x16x4_t high, uint8x16_t text, uint8x16_t& outside) {
    const uint8x16_t values = vqtbx4q_u8(vqtbl4q_u8(low, text), high, vsubq_u8(text, vdupq_n_u8(64)));
    outside = vorrq_u8(outside, vorrq_u8(values, text));
    return values;
}

// Whether any of the characters was outside the alphabet.
KORVALITH_TARGET_NEON KORVALITH_VECTOR_INLINE
bool any_outside_neon(uint8x16_t outside) { return vmaxvq_u8(outside) >= 0x80; }

#endif

// The loops of `path` over a codec's steps (none for the scalar path, nor
// for a path of another architecture).
template <typename Steps>
CodecKernels kernels_for(VectorPath path) noexcept {
    switch (path) {
#if defined(__x86_64__) || defined(__i386__)
        // Always inlined into the wider loops, the SSSE3 and AVX2 loops are
        // also compiled on their own for these pointers.
        case VectorPath::ssse3: return {encode_ssse3<Steps>, decode_ssse3<Steps>};
        case VectorPath::avx2: return {encode_avx2<Steps>, decode_avx2<Steps>};
        case VectorPath::avx512vbmi: return {encode_avx512vbmi<Steps>, decode_avx512vbmi<Steps>};
#endif
#if KORVALITH_AARCH64
        case VectorPath::neon: return {Steps::Neon::encode_blocks, Steps::Neon::decode_blocks};
#endif
        default: return {};
    }
}

}  // namespace korvalith::vector_loops
