// Byte-for-byte translation through a 256-entry table, the inner loop of the
// shift ciphers and of substitution.
#pragma once

#include <array>
#include <cstdint>

#include "common/byte_buffer.hpp"

namespace korvalith {

using TranslationTable = std::array<std::uint8_t, 256>;

// out[i] = table[in[i]] for every byte. Four independent lookups per step
// keep several table loads in flight at once.
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

// A new buffer holding the translation of `in`; empty input allocates nothing.
inline CoreResult<ByteBuffer> translated(const TranslationTable& table, ByteView in) {
    auto out = ByteBuffer::allocate(in.size());
    if (out && !in.empty()) translate_bytes(table, in, out->data());
    return out;
}

}  // namespace korvalith
