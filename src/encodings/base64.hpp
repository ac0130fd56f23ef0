// Base64 with the standard alphabet and "=" padding: the shared driver
// (group_codec.hpp) over groups of three bytes and four characters, with
// Base64's plain routines and vector steps.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/byte_buffer.hpp"
#include "encodings/group_codec.hpp"
#include "encodings/codec_kernels.hpp"

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

// Base64's parts of the shared driver (group_codec.hpp), with its plain
// routines, in base64.cpp.
struct Base64Scheme;

// The vector loops of `path` for Base64 (none for the scalar path), in
// base64_vector.cpp. The caller makes sure the CPU supports the path.
CodecKernels base64_kernels(VectorPath path) noexcept;

// Base64: encoded_size, encode_into, decoded_size, decode_into,
// decoded_size_bound, decode_within, encode and decode (group_codec.hpp). A
// byte outside the alphabet fails with "Invalid base64 character: '<c>'".
using Base64 = GroupCodec<6, Base64Scheme>;
extern template class GroupCodec<6, Base64Scheme>;

// The core routines that the Python functions and the command line share.
inline CoreResult<ByteBuffer> base64_encode(ByteView data) { return Base64::encode(data); }
inline CoreResult<ByteBuffer> base64_decode(ByteView text) { return Base64::decode(text); }

}  // namespace korvalith
