#include "encodings/base32.hpp"

#include <bit>
#include <cstring>

#include "encodings/group_tables.hpp"
#include "encodings/invalid_character.hpp"

namespace korvalith {

namespace {

// The two characters of every 10-bit value: four lookups write a group.
constexpr auto BASE32_PAIRS = character_pairs<5>(BASE32_ALPHABET);

// Per position in a half group of four characters, each byte's value already
// shifted into place among the half's 20 bits. A byte outside the alphabet,
// "=" included, maps to a value with bits above the 20th, so one test of the
// OR of a group's eight entries tells whether the group is plain.
constexpr std::uint32_t NOT_PLAIN = 0xFFF00000;

constexpr std::array<std::uint32_t, 256> DECODE_AT_0 = shifted_decode_table(BASE32_DECODE_TABLE, 15, NOT_PLAIN);
constexpr std::array<std::uint32_t, 256> DECODE_AT_1 = shifted_decode_table(BASE32_DECODE_TABLE, 10, NOT_PLAIN);
constexpr std::array<std::uint32_t, 256> DECODE_AT_2 = shifted_decode_table(BASE32_DECODE_TABLE, 5, NOT_PLAIN);
constexpr std::array<std::uint32_t, 256> DECODE_AT_3 = shifted_decode_table(BASE32_DECODE_TABLE, 0, NOT_PLAIN);

inline std::uint32_t decode_half(const std::uint8_t* in) {
    return DECODE_AT_0[in[0]] | DECODE_AT_1[in[1]] | DECODE_AT_2[in[2]] | DECODE_AT_3[in[3]];
}

inline void write_pair(std::uint8_t* out, std::uint32_t ten_bits) {
    std::memcpy(out, BASE32_PAIRS[ten_bits].data(), 2);
}

// Eight characters of the 40 bits b0..b4, ten bits per lookup.
inline void encode_group(const std::uint8_t* in, std::uint8_t* out) {
    const std::uint32_t high = static_cast<std::uint32_t>(in[0]) << 2 | in[1] >> 6;
    const std::uint32_t low = (static_cast<std::uint32_t>(in[1]) & 0x3F) << 24 |
                              static_cast<std::uint32_t>(in[2]) << 16 | static_cast<std::uint32_t>(in[3]) << 8 | in[4];
    write_pair(out, high);
    write_pair(out + 2, low >> 20);
    write_pair(out + 4, (low >> 10) & 0x3FF);
    write_pair(out + 6, low & 0x3FF);
}

// Characters written for a last group of 1 to 4 bytes; "=" fills the rest of its eight.
constexpr unsigned TAIL_CHARACTERS[5] = {0, 2, 4, 5, 7};

// The last, incomplete group of `count` bytes: its bits most significant
// first, zero-filled on the right, then the padding up to eight characters.
void encode_tail(const std::uint8_t* in, std::size_t count, std::uint8_t* out) {
    std::uint8_t group[5] = {};
    std::memcpy(group, in, count);
    std::uint8_t characters[8];
    encode_group(group, characters);
    const unsigned used = TAIL_CHARACTERS[count];
    std::memcpy(out, characters, used);
    std::memset(out + used, '=', 8 - used);
}

// The decoder proper, one byte at a time, from a group boundary (no pending
// bits) to the end of the text. Returns the end of the written output.
CoreResult<std::uint8_t*> decode_bytewise(const std::uint8_t* in, const std::uint8_t* end, std::uint8_t* out) {
    std::uint32_t bits = 0;
    unsigned pending = 0;
    for (; in != end; ++in) {
        if (*in == '=') break;
        const std::uint8_t value = BASE32_DECODE_TABLE[*in];
        if (value == 255) return std::unexpected(invalid_character_error("Invalid Base32 character: ", *in));
        bits = (bits << 5 | value) & 0xFFF;  // at most 12 bits are ever pending
        pending += 5;
        if (pending >= 8) {
            pending -= 8;
            *out++ = static_cast<std::uint8_t>(bits >> pending);
        }
    }
    return out;
}

}  // namespace

CoreResult<ByteBuffer> base32_encode(ByteView data) {
    const std::size_t groups = data.size() / 5;
    const std::size_t rest = data.size() % 5;
    auto size = checked_mul(groups + (rest != 0), 8);
    if (!size) return std::unexpected(CoreError::out_of_memory(SIZE_MAX));
    auto buffer = ByteBuffer::allocate(*size);
    if (!buffer || *size == 0) return buffer;

    const std::uint8_t* in = data.data();
    std::uint8_t* out = buffer->data();
    for (std::size_t group = 0; group < groups; ++group, in += 5, out += 8) encode_group(in, out);
    if (rest != 0) encode_tail(in, rest, out);
    return buffer;
}

CoreResult<ByteBuffer> base32_decode(ByteView text) {
    // Room for 5 bytes per 8 characters, and floor(5r / 8) for a last group of r.
    const std::size_t n = text.size();
    auto buffer = ByteBuffer::allocate(n / 8 * 5 + n % 8 * 5 / 8);
    if (!buffer || n == 0) return buffer;

    const std::uint8_t* in = text.data();
    const std::uint8_t* const end = in + n;
    std::uint8_t* out = buffer->data();
    // Whole groups of plain characters, eight at a time; the first group
    // holding anything else, and the tail, go to the bytewise decoder.
    while (end - in >= 8) {
        const std::uint32_t high = decode_half(in);
        const std::uint32_t low = decode_half(in + 4);
        if ((high | low) & NOT_PLAIN) break;
        // 40 bits: the first 32 in one big-endian store, then the last 8.
        std::uint32_t word = high << 12 | low >> 8;
        if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap32(word);
        std::memcpy(out, &word, 4);
        out[4] = static_cast<std::uint8_t>(low);
        in += 8;
        out += 5;
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

using Functions = EncodingFunctions<korvalith::base32_encode, korvalith::base32_decode, 8>;

}  // namespace

PyMethodDef methods::base32_encode = {"encode", methods::entry(Functions::encode), methods::ARGUMENT_FLAGS,
                                     "encode(data)\n--\n\n"};
PyMethodDef methods::base32_decode = {"decode", methods::entry(Functions::decode), methods::ARGUMENT_FLAGS,
                                     "decode(data, strict=False)\n--\n\n"};
PyMethodDef methods::base32_encode_bytes = {"encode_bytes", methods::entry(Functions::encode_bytes),
                                           methods::ARGUMENT_FLAGS, "encode_bytes(data)\n--\n\n"};
PyMethodDef methods::base32_decode_bytes = {"decode_bytes", methods::entry(Functions::decode_bytes),
                                           methods::ARGUMENT_FLAGS, "decode_bytes(data)\n--\n\n"};

}  // namespace korvalith::py

#endif
