#include "encodings/base64.hpp"

#include <bit>
#include <cstring>

#include "encodings/base64_vector.hpp"
#include "encodings/decode_bytewise.hpp"
#include "encodings/group_tables.hpp"

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

// Encodes whole groups, then the last, incomplete one with its padding.
void encode_scalar(const std::uint8_t* in, std::size_t size, std::uint8_t* out) noexcept {
    const std::size_t groups = size / 3;
    const std::size_t rest = size % 3;
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
}

// Decodes from a group boundary to the end of the text or the first "=":
// whole groups of plain characters four at a time, then from the first
// group holding anything else, and for the tail, one character at a time.
// While the output has room for it, a group also writes one spare byte.
CoreResult<void> decode_scalar(const std::uint8_t* in, const std::uint8_t* end, std::uint8_t* out,
                               std::uint8_t* out_end) {
    while (end - in >= 4 && out_end - out >= 4) {
        const std::uint32_t bits = decode_group(in);
        if (bits & NOT_PLAIN) break;
        write_triple_and_spare(out, bits);
        in += 4;
        out += 3;
    }
    while (end - in >= 4 && out_end - out >= 3) {
        const std::uint32_t bits = decode_group(in);
        if (bits & NOT_PLAIN) break;
        write_triple(out, bits);
        in += 4;
        out += 3;
    }
    auto written = decode_bytewise<6>(BASE64_DECODE_TABLE, "Invalid base64 character: ", in, end, out, out_end);
    if (!written) return std::unexpected(std::move(written.error()));
    return {};
}

// The vector loops of the widest path this CPU supports, chosen once.
const CodecKernels& widest_kernels() noexcept {
    static const CodecKernels kernels = base64_kernels(widest_vector_path());
    return kernels;
}

void encode_with(const CodecKernels& kernels, ByteView data, std::span<std::uint8_t> out) noexcept {
    const std::size_t done = kernels.encode != nullptr ? kernels.encode(data.data(), data.size(), out.data()) : 0;
    encode_scalar(data.data() + done, data.size() - done, out.data() + done / 3 * 4);
}

CoreResult<void> decode_with(const CodecKernels& kernels, ByteView text, std::span<std::uint8_t> out) {
    const std::size_t done =
        kernels.decode != nullptr ? kernels.decode(text.data(), text.size(), out.data(), out.size()) : 0;
    return decode_scalar(text.data() + done, text.data() + text.size(), out.data() + done / 4 * 3,
                         out.data() + out.size());
}

}  // namespace

std::optional<std::size_t> base64_encoded_size(std::size_t size) noexcept {
    return checked_mul(size / 3 + (size % 3 != 0), 4);
}

void base64_encode_into(ByteView data, std::span<std::uint8_t> out) noexcept {
    encode_with(widest_kernels(), data, out);
}

void base64_encode_into(ByteView data, std::span<std::uint8_t> out, VectorPath path) noexcept {
    encode_with(base64_kernels(path), data, out);
}

std::size_t base64_decoded_size(ByteView text) noexcept {
    const void* pad = text.empty() ? nullptr : std::memchr(text.data(), '=', text.size());
    const std::size_t characters =
        pad != nullptr ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(pad) - text.data()) : text.size();
    // Three bytes per four characters, and r - 1 for a last group of r.
    return characters / 4 * 3 + characters % 4 * 3 / 4;
}

CoreResult<void> base64_decode_into(ByteView text, std::span<std::uint8_t> out) {
    return decode_with(widest_kernels(), text, out);
}

CoreResult<void> base64_decode_into(ByteView text, std::span<std::uint8_t> out, VectorPath path) {
    return decode_with(base64_kernels(path), text, out);
}

CoreResult<ByteBuffer> base64_encode(ByteView data) {
    auto size = base64_encoded_size(data.size());
    if (!size) return std::unexpected(CoreError::out_of_memory(SIZE_MAX));
    auto buffer = ByteBuffer::allocate(*size);
    if (buffer) base64_encode_into(data, {buffer->data(), buffer->size()});
    return buffer;
}

CoreResult<ByteBuffer> base64_decode(ByteView text) {
    auto buffer = ByteBuffer::allocate(base64_decoded_size(text));
    if (!buffer) return buffer;
    if (auto decoded = base64_decode_into(text, {buffer->data(), buffer->size()}); !decoded) {
        return std::unexpected(std::move(decoded.error()));
    }
    return buffer;
}

}  // namespace korvalith

#if KORVALITH_WITH_PYTHON

#include "encodings/trim.hpp"
#include "module/encoding_functions.hpp"
#include "module/submodules.hpp"

namespace korvalith::py {

namespace {

struct Base64Cores {
    static constexpr std::size_t GROUP_LENGTH = 4;
    static ByteView trim(ByteView text) { return trim_for_decode(text); }
    static CoreResult<ByteBuffer> encode(ByteView data) { return base64_encode(data); }
    static std::optional<std::size_t> encoded_size(std::size_t size) { return base64_encoded_size(size); }
    static void encode_into(ByteView data, std::span<std::uint8_t> out) { base64_encode_into(data, out); }
    static CoreResult<ByteBuffer> decode(ByteView text) { return base64_decode(text); }
    static std::size_t decoded_size(ByteView text) { return base64_decoded_size(text); }
    static CoreResult<void> decode_into(ByteView text, std::span<std::uint8_t> out) {
        return base64_decode_into(text, out);
    }
};

using Functions = EncodingFunctions<Base64Cores>;

}  // namespace

}  // namespace korvalith::py

KORVALITH_PYTHON_SUBMODULE(base64, Functions::Encode, Functions::Decode, Functions::EncodeBytes,
                          Functions::DecodeBytes);

#endif
