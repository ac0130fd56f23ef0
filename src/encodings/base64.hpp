// Base64 with the standard alphabet and "=" padding.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "common/byte_buffer.hpp"

namespace korvalith {

// The 6-bit value v is written as the character at index v.
inline constexpr std::string_view BASE64_ALPHABET =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The value of each byte as a Base64 character, 255 for every byte outside
// the alphabet ("=", "-" and "_" included).
inline constexpr std::array<std::uint8_t, 256> BASE64_DECODE_TABLE = [] {
    std::array<std::uint8_t, 256> table{};
    table.fill(255);
    for (std::size_t value = 0; value < BASE64_ALPHABET.size(); ++value) {
        table[static_cast<std::uint8_t>(BASE64_ALPHABET[value])] = static_cast<std::uint8_t>(value);
    }
    return table;
}();

// The Base64 text of `data`: 4 * ceil(n / 3) ASCII characters, padded with
// "=". Fails only when the result's size or memory is out of reach.
CoreResult<ByteBuffer> base64_encode(ByteView data);

// The bytes of Base64 text, leniently: decoding stops at the first "=",
// missing padding is accepted and leftover bits are dropped unchecked. Any
// other byte outside the alphabet before the first "=" fails with
// "Invalid base64 character: '<c>'".
CoreResult<ByteBuffer> base64_decode(ByteView text);

}  // namespace korvalith
