// Base32 with the standard alphabet and "=" padding. The routines below are
// the shared driver's (group_codec.hpp) over groups of five bytes and eight
// characters, with Base32's plain routine and vector steps.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "common/byte_buffer.hpp"
#include "encodings/vector_path.hpp"

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

// Each group of 5 bytes is written as 8 characters. Text cut into pieces
// of whole groups decodes piece by piece as it would whole, up to the first
// "=".
inline constexpr std::size_t BASE32_GROUP_BYTES = 5;
inline constexpr std::size_t BASE32_GROUP_CHARACTERS = 8;

// The length of the Base32 text of `size` bytes, 8 * ceil(size / 5), or
// nothing when it does not fit in a size_t.
std::optional<std::size_t> base32_encoded_size(std::size_t size) noexcept;

// Writes the Base32 text of `data` (ASCII, padded with "=") into `out`,
// which holds exactly base32_encoded_size(data.size()) bytes. Runs on the
// widest path this CPU supports, or on `path`, which it must support.
void base32_encode_into(ByteView data, std::span<std::uint8_t> out) noexcept;
void base32_encode_into(ByteView data, std::span<std::uint8_t> out, VectorPath path) noexcept;

// The number of bytes `text` decodes to when it is valid: what its
// characters before the first "=" hold in whole bytes. A quick pass that
// looks only for the "=".
std::size_t base32_decoded_size(ByteView text) noexcept;

// Decodes Base32 text leniently into `out`, which holds exactly
// base32_decoded_size(text) bytes: both letter cases are accepted, decoding
// stops at the first "=", missing padding is accepted and leftover bits are
// dropped unchecked. Any other byte outside the alphabet before the first
// "=" fails with "Invalid Base32 character: '<c>'" (the contents of `out`
// are then unspecified). Path as for base32_encode_into.
CoreResult<void> base32_decode_into(ByteView text, std::span<std::uint8_t> out);
CoreResult<void> base32_decode_into(ByteView text, std::span<std::uint8_t> out, VectorPath path);

// The same as owned buffers, allocated once at their final length. Encoding
// fails only when the result's size or memory is out of reach.
CoreResult<ByteBuffer> base32_encode(ByteView data);
CoreResult<ByteBuffer> base32_decode(ByteView text);

}  // namespace korvalith
