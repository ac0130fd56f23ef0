// The plain decoding loop shared by Base32 and Base64: one character at a
// time, by the lenient rules.
#pragma once

#include <array>
#include <cstdint>

#include "common/core_error.hpp"
#include "encodings/invalid_character.hpp"

namespace korvalith {

// Decodes from a group boundary (no pending bits) to `end` or the first "=",
// whichever comes first, BITS bits per character looked up in `table` (255
// meaning outside the alphabet, which fails with `invalid_prefix` and the
// character). Leftover bits are dropped. Writes at most up to `out_end` and
// returns the end of the written output.
template <unsigned BITS>
CoreResult<std::uint8_t*> decode_bytewise(const std::array<std::uint8_t, 256>& table, const char* invalid_prefix,
                                          const std::uint8_t* in, const std::uint8_t* end, std::uint8_t* out,
                                          const std::uint8_t* out_end) {
    // At most BITS + 7 bits are ever pending.
    constexpr std::uint32_t PENDING_MASK = (1u << (BITS + 7)) - 1;
    std::uint32_t bits = 0;
    unsigned pending = 0;
    for (; in != end; ++in) {
        if (*in == '=') break;
        const std::uint8_t value = table[*in];
        if (value == 255) return std::unexpected(invalid_character_error(invalid_prefix, *in));
        bits = (bits << BITS | value) & PENDING_MASK;
        pending += BITS;
        if (pending >= 8) {
            pending -= 8;
            if (out != out_end) *out++ = static_cast<std::uint8_t>(bits >> pending);
        }
    }
    return out;
}

}  // namespace korvalith
