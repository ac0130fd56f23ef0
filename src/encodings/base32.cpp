#include "encodings/base32.hpp"

#include <bit>
#include <cstring>

#include "encodings/base32_vector.hpp"
#include "encodings/decode_bytewise.hpp"
#include "encodings/group_tables.hpp"

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

// Encodes whole groups, then the last, incomplete one with its padding.
void encode_scalar(const std::uint8_t* in, std::size_t size, std::uint8_t* out) noexcept {
    const std::size_t groups = size / 5;
    const std::size_t rest = size % 5;
    for (std::size_t group = 0; group < groups; ++group, in += 5, out += 8) encode_group(in, out);
    if (rest != 0) encode_tail(in, rest, out);
}

// Decodes from a group boundary to the end of the text or the first "=":
// whole groups of plain characters eight at a time, then from the first
// group holding anything else, and for the tail, one character at a time.
CoreResult<void> decode_scalar(const std::uint8_t* in, const std::uint8_t* end, std::uint8_t* out,
                               std::uint8_t* out_end) {
    while (end - in >= 8 && out_end - out >= 5) {
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
    auto written = decode_bytewise<5>(BASE32_DECODE_TABLE, "Invalid Base32 character: ", in, end, out, out_end);
    if (!written) return std::unexpected(std::move(written.error()));
    return {};
}

// The vector loops of the widest path this CPU supports, chosen once.
const CodecKernels& widest_kernels() noexcept {
    static const CodecKernels kernels = base32_kernels(widest_vector_path());
    return kernels;
}

void encode_with(const CodecKernels& kernels, ByteView data, std::span<std::uint8_t> out) noexcept {
    const std::size_t done = kernels.encode != nullptr ? kernels.encode(data.data(), data.size(), out.data()) : 0;
    encode_scalar(data.data() + done, data.size() - done, out.data() + done / 5 * 8);
}

CoreResult<void> decode_with(const CodecKernels& kernels, ByteView text, std::span<std::uint8_t> out) {
    const std::size_t done =
        kernels.decode != nullptr ? kernels.decode(text.data(), text.size(), out.data(), out.size()) : 0;
    return decode_scalar(text.data() + done, text.data() + text.size(), out.data() + done / 8 * 5,
                         out.data() + out.size());
}

}  // namespace

std::optional<std::size_t> base32_encoded_size(std::size_t size) noexcept {
    return checked_mul(size / 5 + (size % 5 != 0), 8);
}

void base32_encode_into(ByteView data, std::span<std::uint8_t> out) noexcept {
    encode_with(widest_kernels(), data, out);
}

void base32_encode_into(ByteView data, std::span<std::uint8_t> out, VectorPath path) noexcept {
    encode_with(base32_kernels(path), data, out);
}

std::size_t base32_decoded_size(ByteView text) noexcept {
    const void* pad = text.empty() ? nullptr : std::memchr(text.data(), '=', text.size());
    const std::size_t characters =
        pad != nullptr ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(pad) - text.data()) : text.size();
    // Five bytes per eight characters, and floor(5r / 8) for a last group of r.
    return characters / 8 * 5 + characters % 8 * 5 / 8;
}

CoreResult<void> base32_decode_into(ByteView text, std::span<std::uint8_t> out) {
    return decode_with(widest_kernels(), text, out);
}

CoreResult<void> base32_decode_into(ByteView text, std::span<std::uint8_t> out, VectorPath path) {
    return decode_with(base32_kernels(path), text, out);
}

CoreResult<ByteBuffer> base32_encode(ByteView data) {
    auto size = base32_encoded_size(data.size());
    if (!size) return std::unexpected(CoreError::out_of_memory(SIZE_MAX));
    auto buffer = ByteBuffer::allocate(*size);
    if (buffer) base32_encode_into(data, {buffer->data(), buffer->size()});
    return buffer;
}

CoreResult<ByteBuffer> base32_decode(ByteView text) {
    auto buffer = ByteBuffer::allocate(base32_decoded_size(text));
    if (!buffer) return buffer;
    if (auto decoded = base32_decode_into(text, {buffer->data(), buffer->size()}); !decoded) {
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

struct Base32Cores {
    static constexpr std::size_t GROUP_LENGTH = 8;
    static ByteView trim(ByteView text) { return trim_for_decode(text); }
    static CoreResult<ByteBuffer> encode(ByteView data) { return base32_encode(data); }
    static std::optional<std::size_t> encoded_size(std::size_t size) { return base32_encoded_size(size); }
    static void encode_into(ByteView data, std::span<std::uint8_t> out) { base32_encode_into(data, out); }
    static CoreResult<ByteBuffer> decode(ByteView text) { return base32_decode(text); }
    static std::size_t decoded_size(ByteView text) { return base32_decoded_size(text); }
    static CoreResult<void> decode_into(ByteView text, std::span<std::uint8_t> out) {
        return base32_decode_into(text, out);
    }
};

using Functions = EncodingFunctions<Base32Cores>;

}  // namespace

}  // namespace korvalith::py

KORVALITH_PYTHON_SUBMODULE(base32, Functions::Encode, Functions::Decode, Functions::EncodeBytes,
                          Functions::DecodeBytes);

#endif
