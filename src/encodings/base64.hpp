// Base64 with the standard alphabet and "=" padding. The routines below are
// the shared driver's (group_codec.hpp) over groups of three bytes and four
// characters, with Base64's plain routine and vector steps.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "common/byte_buffer.hpp"
#include "encodings/vector_path.hpp"

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

// Each group of 3 bytes is written as 4 characters. Text cut into pieces
// of whole groups decodes piece by piece as it would whole, up to the first
// "=".
inline constexpr std::size_t BASE64_GROUP_BYTES = 3;
inline constexpr std::size_t BASE64_GROUP_CHARACTERS = 4;

// The length of the Base64 text of `size` bytes, 4 * ceil(size / 3), or
// nothing when it does not fit in a size_t.
std::optional<std::size_t> base64_encoded_size(std::size_t size) noexcept;

// Writes the Base64 text of `data` (ASCII, padded with "=") into `out`,
// which holds exactly base64_encoded_size(data.size()) bytes. Runs on the
// widest path this CPU supports, or on `path`, which it must support.
void base64_encode_into(ByteView data, std::span<std::uint8_t> out) noexcept;
void base64_encode_into(ByteView data, std::span<std::uint8_t> out, VectorPath path) noexcept;

// The number of bytes `text` decodes to when it is valid: what its
// characters before the first "=" hold in whole bytes. A quick pass that
// looks only for the "=".
std::size_t base64_decoded_size(ByteView text) noexcept;

// Decodes Base64 text leniently into `out`, which holds exactly
// base64_decoded_size(text) bytes: decoding stops at the first "=", missing
// padding is accepted and leftover bits are dropped unchecked. Any other
// byte outside the alphabet before the first "=" fails with
// "Invalid base64 character: '<c>'" (the contents of `out` are then
// unspecified). Path as for base64_encode_into.
CoreResult<void> base64_decode_into(ByteView text, std::span<std::uint8_t> out);
CoreResult<void> base64_decode_into(ByteView text, std::span<std::uint8_t> out, VectorPath path);

// The same as owned buffers, allocated once at their final length. Encoding
// fails only when the result's size or memory is out of reach.
CoreResult<ByteBuffer> base64_encode(ByteView data);
CoreResult<ByteBuffer> base64_decode(ByteView text);

}  // namespace korvalith
