// Byte-for-byte translation through a 256-entry table, the inner loop of the
// shift ciphers and of substitution.
#pragma once

#include <array>
#include <cstdint>

#include "common/byte_buffer.hpp"
#include "common/vector_path.hpp"

namespace korvalith {

using TranslationTable = std::array<std::uint8_t, 256>;

// out[i] = table[in[i]] for every byte: the plain routine, which runs on any
// CPU and which the vector paths must match. Four independent lookups per
// step keep several table loads in flight at once.
inline void translate_bytes(const TranslationTable& table, ByteView in, std::uint8_t* out) noexcept {
    const std::uint8_t* source = in.data();
    const std::size_t size = in.size();
    std::size_t i = 0;
    for (; i + 4 <= size; i += 4) {
        const std::uint8_t a = table[source[i]];
        const std::uint8_t b = table[source[i + 1]];
        const std::uint8_t c = table[source[i + 2]];
        const std::uint8_t d = table[source[i + 3]];
        out[i] = a;
        out[i + 1] = b;
        out[i + 2] = c;
        out[i + 3] = d;
    }
    for (; i < size; ++i) out[i] = table[source[i]];
}

// The table's sixteen segments of sixteen entries, by the high nibble of the
// byte: bit s is set when some entry of 16s..16s+15 is not its own index.
// Bytes of the other segments translate to themselves.
std::uint16_t changed_segments(const TranslationTable& table) noexcept;

// The same translation as translate_bytes, 16 or 32 bytes at a time on the
// widest vector path this CPU supports, or on `path`, which it must support.
// Only the changed segments of the table are looked up, so a table that
// changes few of them (one over ASCII letters changes four) costs little.
// `out` holds in.size() bytes and does not overlap `in` unless it is `in`.
void translate_into(const TranslationTable& table, ByteView in, std::uint8_t* out) noexcept;
void translate_into(const TranslationTable& table, ByteView in, std::uint8_t* out, VectorPath path) noexcept;

// A new buffer holding the translation of `in` (by translate_into); empty
// input allocates nothing.
inline CoreResult<ByteBuffer> translated(const TranslationTable& table, ByteView in) {
    auto out = ByteBuffer::allocate(in.size());
    if (out && !in.empty()) translate_into(table, in, out->data());
    return out;
}

}  // namespace korvalith
