#include "ciphers/caesar.hpp"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#elif KORVALITH_AARCH64
#include <arm_neon.h>
#endif

namespace korvalith {

namespace {

// The vector loops move whole blocks of 16 or 32 bytes and return how many
// bytes they did; the table does the rest. A byte is a letter when, with its
// case bit set, it lies 0..25 above "a" (no byte from 0x80 on does); that
// offset plus the row, less 26 where it passes 25, is the letter's new place,
// written in the byte's own case. Every other byte stays as it is.
using ShiftLoop = std::size_t (*)(const std::uint8_t* in, std::size_t size, unsigned row, std::uint8_t* out) noexcept;

#if defined(__x86_64__) || defined(__i386__)

KORVALITH_TARGET_SSSE3
std::size_t shift_letters_ssse3(const std::uint8_t* in, std::size_t size, unsigned row, std::uint8_t* out) noexcept {
    const __m128i case_bit = _mm_set1_epi8(0x20);
    const __m128i small_a = _mm_set1_epi8('a');
    const __m128i last = _mm_set1_epi8(25);
    const __m128i shift = _mm_set1_epi8(static_cast<char>(row));
    const __m128i wrap = _mm_set1_epi8(26);
    const __m128i capital_a = _mm_set1_epi8('A');
    std::size_t done = 0;
    for (; size - done >= 16; done += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + done));
        const __m128i offset = _mm_sub_epi8(_mm_or_si128(bytes, case_bit), small_a);
        const __m128i letter = _mm_cmpeq_epi8(_mm_min_epu8(offset, last), offset);
        __m128i place = _mm_add_epi8(offset, shift);
        place = _mm_min_epu8(place, _mm_sub_epi8(place, wrap));  // place - 26 wraps above place when below 26
        const __m128i shifted = _mm_or_si128(_mm_add_epi8(place, capital_a), _mm_and_si128(bytes, case_bit));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + done),
                         _mm_or_si128(_mm_and_si128(letter, shifted), _mm_andnot_si128(letter, bytes)));
    }
    return done;
}

KORVALITH_TARGET_AVX2
std::size_t shift_letters_avx2(const std::uint8_t* in, std::size_t size, unsigned row, std::uint8_t* out) noexcept {
    const __m256i case_bit = _mm256_set1_epi8(0x20);
    const __m256i small_a = _mm256_set1_epi8('a');
    const __m256i last = _mm256_set1_epi8(25);
    const __m256i shift = _mm256_set1_epi8(static_cast<char>(row));
    const __m256i wrap = _mm256_set1_epi8(26);
    const __m256i capital_a = _mm256_set1_epi8('A');
    std::size_t done = 0;
    for (; size - done >= 32; done += 32) {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + done));
        const __m256i offset = _mm256_sub_epi8(_mm256_or_si256(bytes, case_bit), small_a);
        const __m256i letter = _mm256_cmpeq_epi8(_mm256_min_epu8(offset, last), offset);
        __m256i place = _mm256_add_epi8(offset, shift);
        place = _mm256_min_epu8(place, _mm256_sub_epi8(place, wrap));
        const __m256i shifted =
            _mm256_or_si256(_mm256_add_epi8(place, capital_a), _mm256_and_si256(bytes, case_bit));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + done), _mm256_blendv_epi8(bytes, shifted, letter));
    }
    return done;
}

#endif

#if KORVALITH_AARCH64

// The steps above on sixteen bytes.
KORVALITH_TARGET_NEON KORVALITH_VECTOR_INLINE
uint8x16_t shift_letters_neon_block(uint8x16_t bytes, uint8x16_t shift) {
    const uint8x16_t case_bit = vdupq_n_u8(0x20);
    const uint8x16_t offset = vsubq_u8(vorrq_u8(bytes, case_bit), vdupq_n_u8('a'));
    const uint8x16_t letter = vcltq_u8(offset, vdupq_n_u8(26));
    uint8x16_t place = vaddq_u8(offset, shift);
    place = vminq_u8(place, vsubq_u8(place, vdupq_n_u8(26)));
    const uint8x16_t shifted = vorrq_u8(vaddq_u8(place, vdupq_n_u8('A')), vandq_u8(bytes, case_bit));
    return vbslq_u8(letter, shifted, bytes);
}

// Four independent blocks a round, which keeps the vector pipes of wide
// cores busy, then single blocks.
KORVALITH_TARGET_NEON
std::size_t shift_letters_neon(const std::uint8_t* in, std::size_t size, unsigned row, std::uint8_t* out) noexcept {
    const uint8x16_t shift = vdupq_n_u8(static_cast<std::uint8_t>(row));
    std::size_t done = 0;
    for (; size - done >= 64; done += 64) {
        const uint8x16_t a = vld1q_u8(in + done);
        const uint8x16_t b = vld1q_u8(in + done + 16);
        const uint8x16_t c = vld1q_u8(in + done + 32);
        const uint8x16_t d = vld1q_u8(in + done + 48);
        vst1q_u8(out + done, shift_letters_neon_block(a, shift));
        vst1q_u8(out + done + 16, shift_letters_neon_block(b, shift));
        vst1q_u8(out + done + 32, shift_letters_neon_block(c, shift));
        vst1q_u8(out + done + 48, shift_letters_neon_block(d, shift));
    }
    for (; size - done >= 16; done += 16) {
        vst1q_u8(out + done, shift_letters_neon_block(vld1q_u8(in + done), shift));
    }
    return done;
}

#endif

ShiftLoop shift_loop(VectorPath path) noexcept {
    switch (path) {
        case VectorPath::scalar: return nullptr;
#if defined(__x86_64__) || defined(__i386__)
        case VectorPath::ssse3: return shift_letters_ssse3;
        // 32 bytes at a time is as wide as this shift goes.
        case VectorPath::avx2:
        case VectorPath::avx512vbmi: return shift_letters_avx2;
#endif
#if KORVALITH_AARCH64
        case VectorPath::neon: return shift_letters_neon;
#endif
        default: return nullptr;
    }
}

void shift_letters_with(ShiftLoop loop, ByteView text, unsigned row, std::uint8_t* out) noexcept {
    const std::size_t done = loop != nullptr ? loop(text.data(), text.size(), row, out) : 0;
    translate_bytes(CAESAR_TABLE[row], text.subspan(done), out + done);
}

}  // namespace

unsigned caesar_row(std::int8_t shift, bool decrypt) noexcept {
    int reduced = shift % 26;  // -25..25, with the sign of the shift
    if (reduced < 0) reduced += 26;
    return static_cast<unsigned>(decrypt ? (26 - reduced) % 26 : reduced);
}

void shift_letters_into(ByteView text, unsigned row, std::uint8_t* out) noexcept {
    static const ShiftLoop widest = shift_loop(widest_vector_path());
    shift_letters_with(widest, text, row, out);
}

void shift_letters_into(ByteView text, unsigned row, std::uint8_t* out, VectorPath path) noexcept {
    shift_letters_with(shift_loop(path), text, row, out);
}

CoreResult<ByteBuffer> caesar_cipher(ByteView text, std::int8_t shift, bool decrypt) {
    auto out = ByteBuffer::allocate(text.size());
    if (out && !text.empty()) shift_letters_into(text, caesar_row(shift, decrypt), out->data());
    return out;
}

}  // namespace korvalith

#if KORVALITH_WITH_PYTHON

#include "module/submodules.hpp"
#include "module/wrapper.hpp"

namespace korvalith::py {

namespace {

template <bool Decrypt>
WrapperResult run_caesar(ByteView data, std::int32_t shift) {
    if (shift < -25 || shift > 25) {
        return std::unexpected(lazy_error(ErrorClass::ValueError, "Shift must be in the range -25 to 25"));
    }
    return text_from_core(caesar_cipher(data, static_cast<std::int8_t>(shift), Decrypt));
}

using Encrypt = PythonFunction<"encrypt", run_caesar<false>, Text<"data">, Integer<"shift">>;
using Decrypt = PythonFunction<"decrypt", run_caesar<true>, Text<"data">, Integer<"shift">>;

}  // namespace

}  // namespace korvalith::py

KORVALITH_PYTHON_SUBMODULE(caesar, Encrypt, Decrypt);

#endif
