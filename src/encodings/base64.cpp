#include "encodings/base64.hpp"

#include <bit>
#include <cstring>

#include "encodings/group_tables.hpp"
#include "encodings/invalid_character.hpp"

namespace korvalith {

namespace {

// The two characters of every 12-bit value: one lookup writes half a group.
constexpr auto BASE64_PAIRS = character_pairs<6>(BASE64_ALPHABET);

// Per position in a group of four characters, each byte's value already
// shifted into place among the group's 24 bits. A byte outside the alphabet,
// "=" included, maps to a value with bits above the 24th, so one test of the
// OR of a group's four entries tells whether the group is plain.
constexpr std::uint32_t NOT_PLAIN = 0xFF000000;

constexpr std::array<std::uint32_t, 256> DECODE_AT_0 = shifted_decode_table(BASE64_DECODE_TABLE, 18, NOT_PLAIN);
constexpr std::array<std::uint32_t, 256> DECODE_AT_1 = shifted_decode_table(BASE64_DECODE_TABLE, 12, NOT_PLAIN);
constexpr std::array<std::uint32_t, 256> DECODE_AT_2 = shifted_decode_table(BASE64_DECODE_TABLE, 6, NOT_PLAIN);
constexpr std::array<std::uint32_t, 256> DECODE_AT_3 = shifted_decode_table(BASE64_DECODE_TABLE, 0, NOT_PLAIN);

// The 24 bits of a group of four characters, or a value with NOT_PLAIN bits.
inline std::uint32_t decode_group(const std::uint8_t* in) {
    return DECODE_AT_0[in[0]] | DECODE_AT_1[in[1]] | DECODE_AT_2[in[2]] | DECODE_AT_3[in[3]];
}

inline void write_triple(std::uint8_t* out, std::uint32_t bits) {
    out[0] = static_cast<std::uint8_t>(bits >> 16);
    out[1] = static_cast<std::uint8_t>(bits >> 8);
    out[2] = static_cast<std::uint8_t>(bits);
}

// As write_triple, in one store that also writes a fourth byte of no value.
inline void write_triple_and_spare(std::uint8_t* out, std::uint32_t bits) {
    std::uint32_t word = bits << 8;
    if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap32(word);
    std::memcpy(out, &word, 4);
}

inline void write_pair(std::uint8_t* out, std::uint32_t twelve_bits) {
    std::memcpy(out, BASE64_PAIRS[twelve_bits].data(), 2);
}

// Four characters of the 24 bits b0 b1 b2.
inline void encode_group(const std::uint8_t* in, std::uint8_t* out) {
    const std::uint32_t bits = static_cast<std::uint32_t>(in[0]) << 16 | static_cast<std::uint32_t>(in[1]) << 8 | in[2];
    write_pair(out, bits >> 12);
    write_pair(out + 2, bits & 0xFFF);
}

// The decoder proper, one byte at a time, from a group boundary (no pending
// bits) to the end of the text. Returns the end of the written output.
CoreResult<std::uint8_t*> decode_bytewise(const std::uint8_t* in, const std::uint8_t* end, std::uint8_t* out) {
    std::uint32_t bits = 0;
    unsigned pending = 0;
    for (; in != end; ++in) {
        if (*in == '=') break;
        const std::uint8_t value = BASE64_DECODE_TABLE[*in];
        if (value == 255) return std::unexpected(invalid_character_error("Invalid base64 character: ", *in));
        bits = (bits << 6 | value) & 0x1FFF;  // at most 13 bits are ever pending
        pending += 6;
        if (pending >= 8) {
            pending -= 8;
            *out++ = static_cast<std::uint8_t>(bits >> pending);
        }
    }
    return out;
}

}  // namespace

CoreResult<ByteBuffer> base64_encode(ByteView data) {
    const std::size_t groups = data.size() / 3;
    const std::size_t rest = data.size() % 3;
    auto size = checked_mul(groups + (rest != 0), 4);
    if (!size) return std::unexpected(CoreError::out_of_memory(SIZE_MAX));
    auto buffer = ByteBuffer::allocate(*size);
    if (!buffer || *size == 0) return buffer;

    const std::uint8_t* in = data.data();
    std::uint8_t* out = buffer->data();
    std::size_t group = 0;
    for (; group + 4 <= groups; group += 4, in += 12, out += 16) {
        encode_group(in, out);
        encode_group(in + 3, out + 4);
        encode_group(in + 6, out + 8);
        encode_group(in + 9, out + 12);
    }
    for (; group < groups; ++group, in += 3, out += 4) encode_group(in, out);

    if (rest == 1) {
        write_pair(out, static_cast<std::uint32_t>(in[0]) << 4);
        out[2] = '=';
        out[3] = '=';
    } else if (rest == 2) {
        const std::uint32_t bits = static_cast<std::uint32_t>(in[0]) << 10 | static_cast<std::uint32_t>(in[1]) << 2;
        write_pair(out, bits >> 6);
        out[2] = static_cast<std::uint8_t>(BASE64_ALPHABET[bits & 63]);
        out[3] = '=';
    }
    return buffer;
}

CoreResult<ByteBuffer> base64_decode(ByteView text) {
    // Room for 3 bytes per 4 characters, and r - 1 for a last group of r.
    const std::size_t n = text.size();
    auto buffer = ByteBuffer::allocate(n / 4 * 3 + (n % 4 == 0 ? 0 : n % 4 - 1));
    if (!buffer || n == 0) return buffer;

    const std::uint8_t* in = text.data();
    const std::uint8_t* const end = in + n;
    std::uint8_t* out = buffer->data();
    // Whole groups of plain characters, four at a time; the first group
    // holding anything else, and the tail, go to the bytewise decoder.
    // While another group follows, its output makes room for one spare byte.
    while (end - in >= 8) {
        const std::uint32_t bits = decode_group(in);
        if (bits & NOT_PLAIN) break;
        write_triple_and_spare(out, bits);
        in += 4;
        out += 3;
    }
    while (end - in >= 4) {
        const std::uint32_t bits = decode_group(in);
        if (bits & NOT_PLAIN) break;
        write_triple(out, bits);
        in += 4;
        out += 3;
    }
    auto written = decode_bytewise(in, end, out);
    if (!written) return std::unexpected(std::move(written.error()));
    buffer->truncate(static_cast<std::size_t>(*written - buffer->data()));
    return buffer;
}

}  // namespace korvalith

#if KORVALITH_WITH_PYTHON

#include "encodings/python_functions.hpp"
#include "module/method_records.hpp"

namespace korvalith::py {

namespace {

using Functions = EncodingFunctions<korvalith::base64_encode, korvalith::base64_decode, 4>;

}  // namespace

PyMethodDef methods::base64_encode = {"encode", methods::entry(Functions::encode), methods::ARGUMENT_FLAGS,
                                     "encode(data)\n--\n\n"};
PyMethodDef methods::base64_decode = {"decode", methods::entry(Functions::decode), methods::ARGUMENT_FLAGS,
                                     "decode(data, strict=False)\n--\n\n"};
PyMethodDef methods::base64_encode_bytes = {"encode_bytes", methods::entry(Functions::encode_bytes),
                                           methods::ARGUMENT_FLAGS, "encode_bytes(data)\n--\n\n"};
PyMethodDef methods::base64_decode_bytes = {"decode_bytes", methods::entry(Functions::decode_bytes),
                                           methods::ARGUMENT_FLAGS, "decode_bytes(data)\n--\n\n"};

}  // namespace korvalith::py

#endif
