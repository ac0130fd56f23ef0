// Base32 with the standard alphabet and "=" padding.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "common/byte_buffer.hpp"

namespace korvalith {

// The 5-bit value v is written as the character at index v.
inline constexpr std::string_view BASE32_ALPHABET = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";

// The value of each byte as a Base32 character, letters in either case; 255
// for every byte outside the alphabet ("=" included).
inline constexpr std::array<std::uint8_t, 256> BASE32_DECODE_TABLE = [] {
    std::array<std::uint8_t, 256> table{};
    table.fill(255);
    for (std::size_t value = 0; value < BASE32_ALPHABET.size(); ++value) {
        const auto character = static_cast<std::uint8_t>(BASE32_ALPHABET[value]);
        table[character] = static_cast<std::uint8_t>(value);
        if (character >= 'A' && character <= 'Z') table[character - 'A' + 'a'] = static_cast<std::uint8_t>(value);
    }
    return table;
}();

// The Base32 text of `data`: 8 * ceil(n / 5) ASCII characters, padded with
// "=". Fails only when the result's size or memory is out of reach.
CoreResult<ByteBuffer> base32_encode(ByteView data);

// The bytes of Base32 text, leniently: both letter cases are accepted,
// decoding stops at the first "=", missing padding is accepted and leftover
// bits are dropped unchecked. Any other byte outside the alphabet before the
// first "=" fails with "Invalid Base32 character: '<c>'".
CoreResult<ByteBuffer> base32_decode(ByteView text);

}  // namespace korvalith
