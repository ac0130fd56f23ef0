// The driver that Base32 and Base64 share. Both write groups of bytes as
// groups of characters (five bytes as eight, three as four), both run the
// vector loops of a path over the bulk and their plain routine over the
// rest, and both decode by the same lenient rules. GroupCodec holds that
// once. Each codec's header names the codec by the bits of one character and
// its scheme, the codec's own parts (using Base64 = GroupCodec<6,
// Base64Scheme>), and callers use it directly: Base64::encode_into(data, out).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <optional>
#include <span>

#include "common/byte_buffer.hpp"
#include "common/checked_size.hpp"
#include "common/core_error.hpp"
#include "encodings/decode_bytewise.hpp"
#include "encodings/codec_kernels.hpp"

namespace korvalith {

// `Bits` is the number of bits one character carries; it fixes the group
// sizes. `Scheme` holds the codec's other parts:
// - DECODE_TABLE, each byte's value (255 outside the alphabet), and
//   INVALID_PREFIX, the start of the message for a byte outside it.
// - kernels(path): the vector loops of a path (codec_kernels.hpp).
// - encode_plain(in, size, out): the plain encoder, from a group boundary:
//   whole groups, then the last, incomplete one with its padding.
// - decode_plain_groups(in, end, out, out_end): the plain decoder's whole
//   groups, from a group boundary: advances `in` and `out` past the groups
//   of plain characters that fit, and stops before the first group holding
//   anything else ("=", white space, any byte outside the alphabet).
// A codec's header names the scheme, declared there and defined in the
// codec's source file, and declares `extern template class GroupCodec<...>`;
// the source file instantiates the codec beside the scheme's routines, which
// inline into the driver there. Elsewhere the scheme stays incomplete: no
// routine that uses it is written inline in the class.
template <unsigned Bits, typename Scheme>
class GroupCodec {
public:
    static constexpr std::size_t GROUP_CHARACTERS = std::lcm(Bits, 8u) / Bits;
    static constexpr std::size_t GROUP_BYTES = std::lcm(Bits, 8u) / 8;

    // The length of the text of `size` bytes, GROUP_CHARACTERS per started
    // group of GROUP_BYTES, or nothing when it does not fit in a size_t.
    static std::optional<std::size_t> encoded_size(std::size_t size) noexcept {
        return checked_mul(size / GROUP_BYTES + (size % GROUP_BYTES != 0), GROUP_CHARACTERS);
    }

    // The number of bytes `text` decodes to when it is valid: what its
    // characters before the first "=" hold in whole bytes. A quick pass that
    // looks only for the "=".
    static std::size_t decoded_size(ByteView text) noexcept {
        const void* pad = text.empty() ? nullptr : std::memchr(text.data(), '=', text.size());
        const auto* end = pad != nullptr ? static_cast<const std::uint8_t*>(pad) : text.data() + text.size();
        return bytes_of_characters(static_cast<std::size_t>(end - text.data()));
    }

    // The most bytes `text` can decode to, without a pass over it: what its
    // characters before the run of "=" at its end hold in whole bytes. It is
    // decoded_size(text) unless a "=" stands before that run.
    static std::size_t decoded_size_bound(ByteView text) noexcept {
        std::size_t characters = text.size();
        while (characters > 0 && text[characters - 1] == '=') --characters;
        return bytes_of_characters(characters);
    }

    // Writes the text of `data` (ASCII, padded with "=") into `out`, which
    // holds exactly encoded_size(data.size()) bytes. Runs on the widest path
    // this CPU supports, or on `path`, which it must support.
    static void encode_into(ByteView data, std::span<std::uint8_t> out) noexcept {
        encode_with(widest_kernels(), data, out);
    }
    static void encode_into(ByteView data, std::span<std::uint8_t> out, VectorPath path) noexcept;

    // Decodes `text` leniently into `out`, which holds exactly
    // decoded_size(text) bytes: decoding stops at the first "=", missing
    // padding is accepted and leftover bits are dropped unchecked. Any other
    // byte outside the alphabet before the first "=" fails with
    // INVALID_PREFIX and the byte in quotes (the contents of `out` are then
    // unspecified). Path as for encode_into.
    static CoreResult<void> decode_into(ByteView text, std::span<std::uint8_t> out) {
        auto written = decode_with(widest_kernels(), text, out);
        if (!written) return std::unexpected(std::move(written.error()));
        return {};
    }
    static CoreResult<void> decode_into(ByteView text, std::span<std::uint8_t> out, VectorPath path);

    // The same into `out` of at least decoded_size(text) bytes, such as
    // decoded_size_bound(text), which spares the pass for the first "=";
    // returns the bytes written, decoded_size(text).
    static CoreResult<std::size_t> decode_within(ByteView text, std::span<std::uint8_t> out) {
        return decode_with(widest_kernels(), text, out);
    }
    static CoreResult<std::size_t> decode_within(ByteView text, std::span<std::uint8_t> out, VectorPath path);

    // The same as owned buffers, allocated once (encoding at its final
    // length, decoding at decoded_size_bound, then cut to what it wrote).
    // Encoding fails only when the result's size or memory is out of reach.
    static CoreResult<ByteBuffer> encode(ByteView data) {
        auto size = encoded_size(data.size());
        if (!size) return std::unexpected(CoreError::out_of_memory(SIZE_MAX));
        auto buffer = ByteBuffer::allocate(*size);
        if (buffer) encode_into(data, {buffer->data(), buffer->size()});
        return buffer;
    }

    static CoreResult<ByteBuffer> decode(ByteView text) {
        auto buffer = ByteBuffer::allocate(decoded_size_bound(text));
        if (!buffer) return buffer;
        auto written = decode_within(text, {buffer->data(), buffer->size()});
        if (!written) return std::unexpected(std::move(written.error()));
        buffer->truncate(*written);
        return buffer;
    }

private:
    // GROUP_BYTES per group of `characters`, and floor(r * GROUP_BYTES /
    // GROUP_CHARACTERS) for a last group of r characters.
    static constexpr std::size_t bytes_of_characters(std::size_t characters) noexcept {
        return characters / GROUP_CHARACTERS * GROUP_BYTES +
               characters % GROUP_CHARACTERS * GROUP_BYTES / GROUP_CHARACTERS;
    }

    // Written below the class, not inline in it, so the compiler inlines
    // them only where that pays, as for any other function.
    static const CodecKernels& widest_kernels() noexcept;
    static void encode_with(const CodecKernels& kernels, ByteView data, std::span<std::uint8_t> out) noexcept;
    static CoreResult<std::size_t> decode_with(const CodecKernels& kernels, ByteView text,
                                               std::span<std::uint8_t> out);
    static CoreResult<std::uint8_t*> decode_plain(const std::uint8_t* in, const std::uint8_t* end, std::uint8_t* out,
                                                  const std::uint8_t* out_end);
};

template <unsigned Bits, typename Scheme>
void GroupCodec<Bits, Scheme>::encode_into(ByteView data, std::span<std::uint8_t> out, VectorPath path) noexcept {
    encode_with(Scheme::kernels(path), data, out);
}

template <unsigned Bits, typename Scheme>
CoreResult<void> GroupCodec<Bits, Scheme>::decode_into(ByteView text, std::span<std::uint8_t> out, VectorPath path) {
    auto written = decode_with(Scheme::kernels(path), text, out);
    if (!written) return std::unexpected(std::move(written.error()));
    return {};
}

template <unsigned Bits, typename Scheme>
CoreResult<std::size_t> GroupCodec<Bits, Scheme>::decode_within(ByteView text, std::span<std::uint8_t> out,
                                                                VectorPath path) {
    return decode_with(Scheme::kernels(path), text, out);
}

// The vector loops of the widest path this CPU supports, chosen once.
template <unsigned Bits, typename Scheme>
const CodecKernels& GroupCodec<Bits, Scheme>::widest_kernels() noexcept {
    static const CodecKernels kernels = Scheme::kernels(widest_vector_path());
    return kernels;
}

// The vector loop, if any, then the plain encoder from where it stopped.
template <unsigned Bits, typename Scheme>
void GroupCodec<Bits, Scheme>::encode_with(const CodecKernels& kernels, ByteView data, std::span<std::uint8_t> out) noexcept {
    const std::size_t done = kernels.encode != nullptr ? kernels.encode(data.data(), data.size(), out.data()) : 0;
    Scheme::encode_plain(data.data() + done, data.size() - done, out.data() + done / GROUP_BYTES * GROUP_CHARACTERS);
}

// The vector loop, if any, then the plain decoder from where it stopped.
template <unsigned Bits, typename Scheme>
CoreResult<std::size_t> GroupCodec<Bits, Scheme>::decode_with(const CodecKernels& kernels, ByteView text,
                                                              std::span<std::uint8_t> out) {
    const std::size_t done =
        kernels.decode != nullptr ? kernels.decode(text.data(), text.size(), out.data(), out.size()) : 0;
    auto end = decode_plain(text.data() + done, text.data() + text.size(),
                            out.data() + done / GROUP_CHARACTERS * GROUP_BYTES, out.data() + out.size());
    if (!end) return std::unexpected(std::move(end.error()));
    return static_cast<std::size_t>(*end - out.data());
}

// From a group boundary to the end of the text or the first "=": whole
// groups of plain characters, then from the first group holding anything
// else, and for the tail, one character at a time. Returns the end of the
// written output.
template <unsigned Bits, typename Scheme>
CoreResult<std::uint8_t*> GroupCodec<Bits, Scheme>::decode_plain(const std::uint8_t* in, const std::uint8_t* end,
                                                                 std::uint8_t* out, const std::uint8_t* out_end) {
    Scheme::decode_plain_groups(in, end, out, out_end);
    return decode_bytewise<Bits>(Scheme::DECODE_TABLE, Scheme::INVALID_PREFIX, in, end, out, out_end);
}

}  // namespace korvalith
