#include "ciphers/translate.hpp"

#include <bit>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#elif KORVALITH_AARCH64
#include <arm_neon.h>
#endif

namespace korvalith {

namespace {

constexpr TranslationTable IDENTITY = [] {
    TranslationTable identity{};
    for (unsigned b = 0; b < 256; ++b) identity[b] = static_cast<std::uint8_t>(b);
    return identity;
}();

// Eight entries at once, so that finding the segments costs a call little
// beside the dozens of lookups of a short input.
std::uint64_t word_at(const std::uint8_t* entries) noexcept {
    std::uint64_t word;
    std::memcpy(&word, entries, sizeof word);
    return word;
}

// The vector loops translate whole blocks of 16 or 32 bytes of the table
// with its changed segments (never none) and return how many bytes they
// did; translate_bytes does the rest.
using TranslateLoop = std::size_t (*)(const TranslationTable& table, std::uint16_t changed, const std::uint8_t* in,
                                      std::size_t size, std::uint8_t* out) noexcept;

#if defined(__x86_64__) || defined(__i386__)

// The changed segments of a table, as the x86 loops look them up: for
// each, the byte values' common high nibble (in place, 16s) in every lane,
// its sixteen entries, and those entries XOR their own indices (what a byte
// of the segment changes by).
struct Segments {
    unsigned count = 0;
    alignas(16) std::uint8_t high[16][16];
    alignas(16) std::uint8_t entries[16][16];
    alignas(16) std::uint8_t changes[16][16];
};

Segments segments_of(const TranslationTable& table, std::uint16_t changed) noexcept {
    Segments segments;
    for (unsigned rest = changed; rest != 0; rest &= rest - 1) {
        const unsigned s = static_cast<unsigned>(std::countr_zero(rest));
        const unsigned k = segments.count++;
        std::memset(segments.high[k], static_cast<int>(s << 4), 16);
        std::memcpy(segments.entries[k], &table[s * 16], 16);
        for (unsigned half = 0; half < 16; half += 8) {
            const std::uint64_t change = word_at(&table[s * 16 + half]) ^ word_at(&IDENTITY[s * 16 + half]);
            std::memcpy(&segments.changes[k][half], &change, sizeof change);
        }
    }
    return segments;
}

// Sixteen bytes without a blend instruction: XOR with a segment's high
// nibble leaves 0..15 in the bytes of that segment and 16 or more in the
// others, which the saturating addition of 0x70 takes to 0x80 and above,
// where the shuffle writes zero. So each segment's shuffle yields the
// change of its own bytes only, and the changes XOR into the bytes.
KORVALITH_TARGET_SSSE3 KORVALITH_VECTOR_INLINE
__m128i translate_block_ssse3(const Segments& segments, __m128i bytes) {
    const __m128i lift = _mm_set1_epi8(0x70);
    __m128i result = bytes;
    for (unsigned k = 0; k < segments.count; ++k) {
        const __m128i high = _mm_load_si128(reinterpret_cast<const __m128i*>(segments.high[k]));
        const __m128i changes = _mm_load_si128(reinterpret_cast<const __m128i*>(segments.changes[k]));
        const __m128i index = _mm_adds_epu8(_mm_xor_si128(bytes, high), lift);
        result = _mm_xor_si128(result, _mm_shuffle_epi8(changes, index));
    }
    return result;
}

// Each segment costs the SSSE3 loop about a tenth of a cycle a byte, the
// plain loop about 0.85 (bench_classical's BM_translate on a Zen 3 core),
// so a table that changes more segments than this goes to the plain loop
// whole.
constexpr unsigned SSSE3_MOST_SEGMENTS = 6;

KORVALITH_TARGET_SSSE3
std::size_t translate_ssse3(const TranslationTable& table, std::uint16_t changed, const std::uint8_t* in,
                            std::size_t size, std::uint8_t* out) noexcept {
    if (std::popcount(changed) > static_cast<int>(SSSE3_MOST_SEGMENTS)) return 0;
    const Segments segments = segments_of(table, changed);
    std::size_t done = 0;
    for (; size - done >= 16; done += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + done));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + done), translate_block_ssse3(segments, bytes));
    }
    return done;
}

// Sixteen bytes of a segment's row in both lanes.
KORVALITH_TARGET_AVX2 KORVALITH_VECTOR_INLINE
__m256i both_lanes(const std::uint8_t (&row)[16]) {
    return _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(row)));
}

// One segment's step on 32 bytes (`low` and `high`: their nibbles, in
// place): the bytes whose high nibble is the segment's own (`own`) take the
// shuffle of its entries by their low nibble.
KORVALITH_TARGET_AVX2 KORVALITH_VECTOR_INLINE
__m256i take_segment_avx2(__m256i result, __m256i low, __m256i high, __m256i own, __m256i entries) {
    return _mm256_blendv_epi8(result, _mm256_shuffle_epi8(entries, low), _mm256_cmpeq_epi8(high, own));
}

// 32 bytes through every changed segment.
KORVALITH_TARGET_AVX2 KORVALITH_VECTOR_INLINE
__m256i translate_block_avx2(const Segments& segments, __m256i bytes) {
    const __m256i low = _mm256_and_si256(bytes, _mm256_set1_epi8(0x0F));
    const __m256i high = _mm256_and_si256(bytes, _mm256_set1_epi8(static_cast<char>(0xF0)));
    __m256i result = bytes;
    for (unsigned k = 0; k < segments.count; ++k) {
        result = take_segment_avx2(result, low, high, both_lanes(segments.high[k]), both_lanes(segments.entries[k]));
    }
    return result;
}

// The same steps on two blocks a round, so that each segment's registers,
// loaded once, serve both; then what is left in blocks of 32 and 16.
KORVALITH_TARGET_AVX2
std::size_t translate_avx2(const TranslationTable& table, std::uint16_t changed, const std::uint8_t* in,
                           std::size_t size, std::uint8_t* out) noexcept {
    const Segments segments = segments_of(table, changed);
    const __m256i low_nibble = _mm256_set1_epi8(0x0F);
    const __m256i high_nibble = _mm256_set1_epi8(static_cast<char>(0xF0));
    std::size_t done = 0;
    for (; size - done >= 64; done += 64) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + done));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + done + 32));
        const __m256i a_low = _mm256_and_si256(a, low_nibble);
        const __m256i b_low = _mm256_and_si256(b, low_nibble);
        const __m256i a_high = _mm256_and_si256(a, high_nibble);
        const __m256i b_high = _mm256_and_si256(b, high_nibble);
        __m256i a_out = a;
        __m256i b_out = b;
        for (unsigned k = 0; k < segments.count; ++k) {
            const __m256i own = both_lanes(segments.high[k]);
            const __m256i entries = both_lanes(segments.entries[k]);
            a_out = take_segment_avx2(a_out, a_low, a_high, own, entries);
            b_out = take_segment_avx2(b_out, b_low, b_high, own, entries);
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + done), a_out);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + done + 32), b_out);
    }
    if (size - done >= 32) {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + done));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + done), translate_block_avx2(segments, bytes));
        done += 32;
    }
    // One block of sixteen, in this function's instruction encoding.
    if (size - done >= 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + done));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + done), translate_block_ssse3(segments, bytes));
        done += 16;
    }
    return done;
}

#endif

#if KORVALITH_AARCH64

// A table lookup over four registers covers a quarter of the table, 64
// entries; the extending form leaves the bytes whose index falls outside it
// as they were. So the bytes start as themselves and each quarter holding a
// changed segment (a letters-only table changes one, 0x40..0x7F) replaces
// its own bytes by their entries.
KORVALITH_TARGET_NEON
std::size_t translate_neon(const TranslationTable& table, std::uint16_t changed, const std::uint8_t* in,
                           std::size_t size, std::uint8_t* out) noexcept {
    uint8x16x4_t quarters[4];
    std::uint8_t starts[4];
    unsigned count = 0;
    for (unsigned q = 0; q < 4; ++q) {
        if ((changed >> (4 * q) & 0xFU) == 0) continue;
        quarters[count] = vld1q_u8_x4(&table[64 * q]);
        starts[count] = static_cast<std::uint8_t>(64 * q);
        ++count;
    }
    std::size_t done = 0;
    for (; size - done >= 16; done += 16) {
        const uint8x16_t bytes = vld1q_u8(in + done);
        uint8x16_t result = bytes;
        for (unsigned k = 0; k < count; ++k) {
            result = vqtbx4q_u8(result, quarters[k], vsubq_u8(bytes, vdupq_n_u8(starts[k])));
        }
        vst1q_u8(out + done, result);
    }
    return done;
}

#endif

TranslateLoop translate_loop(VectorPath path) noexcept {
    switch (path) {
        case VectorPath::scalar: return nullptr;
#if defined(__x86_64__) || defined(__i386__)
        case VectorPath::ssse3: return translate_ssse3;
        // The byte permutes of AVX-512 VBMI are not used here yet.
        case VectorPath::avx2:
        case VectorPath::avx512vbmi: return translate_avx2;
#endif
#if KORVALITH_AARCH64
        case VectorPath::neon: return translate_neon;
#endif
        default: return nullptr;
    }
}

// Finding the segments and setting up the loop cost about as many
// instructions as the plain loop saves over a hundred bytes or so (counted
// with callgrind), so shorter inputs go to the plain loop without them.
constexpr std::size_t SHORTEST_FOR_VECTORS = 128;

void translate_with(TranslateLoop loop, const TranslationTable& table, ByteView in, std::uint8_t* out) noexcept {
    std::size_t done = 0;
    if (loop != nullptr && in.size() >= SHORTEST_FOR_VECTORS) {
        const std::uint16_t changed = changed_segments(table);
        if (changed == 0) {
            // The identity: a copy (or nothing, in place).
            if (out != in.data()) std::memcpy(out, in.data(), in.size());
            return;
        }
        done = loop(table, changed, in.data(), in.size(), out);
    }
    translate_bytes(table, in.subspan(done), out + done);
}

}  // namespace

std::uint16_t changed_segments(const TranslationTable& table) noexcept {
    unsigned changed = 0;
    for (unsigned s = 0; s < 16; ++s) {
        const std::uint64_t differs = (word_at(&table[s * 16]) ^ word_at(&IDENTITY[s * 16])) |
                                      (word_at(&table[s * 16 + 8]) ^ word_at(&IDENTITY[s * 16 + 8]));
        changed |= static_cast<unsigned>(differs != 0) << s;
    }
    return static_cast<std::uint16_t>(changed);
}

void translate_into(const TranslationTable& table, ByteView in, std::uint8_t* out) noexcept {
    static const TranslateLoop widest = translate_loop(widest_vector_path());
    translate_with(widest, table, in, out);
}

void translate_into(const TranslationTable& table, ByteView in, std::uint8_t* out, VectorPath path) noexcept {
    translate_with(translate_loop(path), table, in, out);
}

}  // namespace korvalith
