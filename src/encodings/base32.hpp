// Base32 with the standard alphabet and "=" padding: the shared driver
// (group_codec.hpp) over groups of five bytes and eight characters, with
// Base32's plain routines and vector steps.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/byte_buffer.hpp"
#include "encodings/group_codec.hpp"
#include "encodings/codec_kernels.hpp"

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

// Base32's parts of the shared driver (group_codec.hpp), with its plain
// routines, in base32.cpp.
struct Base32Scheme;

// The vector loops of `path` for Base32 (none for the scalar path), in
// base32_vector.cpp. The caller makes sure the CPU supports the path.
CodecKernels base32_kernels(VectorPath path) noexcept;

// Base32: encoded_size, encode_into, decoded_size, decode_into,
// decoded_size_bound, decode_within, encode and decode (group_codec.hpp).
// Decoding takes letters in either case; a byte outside the alphabet fails
// with "Invalid Base32 character: '<c>'".
using Base32 = GroupCodec<5, Base32Scheme>;
extern template class GroupCodec<5, Base32Scheme>;

// The core routines that the Python functions and the command line share.
inline CoreResult<ByteBuffer> base32_encode(ByteView data) { return Base32::encode(data); }
inline CoreResult<ByteBuffer> base32_decode(ByteView text) { return Base32::decode(text); }

}  // namespace korvalith
