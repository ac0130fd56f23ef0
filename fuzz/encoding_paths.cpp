// Every vector path of Base32 and Base64 against the plain one: encoding any
// bytes gives the same text, and decoding gives the same bytes or the same
// error, both for arbitrary bytes and for valid text (so that the vector
// loops get long runs of plain characters) with a few bytes overwritten at
// chosen positions. Inputs and outputs have exactly their length, so the
// sanitizers see any access beyond them.
//
// Input: a mode byte (bit 0: Base64, else Base32; bit 1: decode the encoding
// of the data after the edits, else the bytes themselves; bit 2: without its
// padding; bit 3: Base32 in lower case; bits 4-5: the number of edits), then
// three bytes per edit (position, two bytes little-endian, and the new byte),
// then the data.
#include <cctype>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "encodings/base32.hpp"
#include "encodings/base64.hpp"
#include "fuzz_support.hpp"

using namespace korvalith;
using namespace korvalith::fuzz;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Codec {
    std::optional<std::size_t> (*encoded_size)(std::size_t);
    void (*encode_into)(ByteView, std::span<std::uint8_t>, VectorPath);
    std::size_t (*decoded_size)(ByteView);
    CoreResult<void> (*decode_into)(ByteView, std::span<std::uint8_t>, VectorPath);
    std::size_t (*decoded_size_bound)(ByteView);
    CoreResult<std::size_t> (*decode_within)(ByteView, std::span<std::uint8_t>, VectorPath);
};

template <typename C>
constexpr Codec codec_of() {
    return {C::encoded_size,
            [](ByteView data, std::span<std::uint8_t> out, VectorPath path) { C::encode_into(data, out, path); },
            C::decoded_size,
            [](ByteView text, std::span<std::uint8_t> out, VectorPath path) { return C::decode_into(text, out, path); },
            C::decoded_size_bound,
            [](ByteView text, std::span<std::uint8_t> out, VectorPath path) {
                return C::decode_within(text, out, path);
            }};
}

const Codec BASE32 = codec_of<Base32>();
const Codec BASE64 = codec_of<Base64>();

Bytes encode(const Codec& codec, ByteView data, VectorPath path) {
    Bytes text(*codec.encoded_size(data.size()));
    codec.encode_into(data, text, path);
    return text;
}

// The decoded bytes, or the error message as bytes; `ok` tells which.
Bytes decode(const Codec& codec, const Bytes& text, VectorPath path, bool& ok) {
    Bytes out(codec.decoded_size(text));
    auto decoded = codec.decode_into(text, out, path);
    ok = decoded.has_value();
    if (!ok) return Bytes(decoded.error().message.begin(), decoded.error().message.end());
    return out;
}

// The same into the room of decoded_size_bound, cut to what was written.
Bytes decode_within(const Codec& codec, const Bytes& text, VectorPath path, bool& ok) {
    Bytes out(codec.decoded_size_bound(text));
    auto written = codec.decode_within(text, out, path);
    ok = written.has_value();
    if (!ok) return Bytes(written.error().message.begin(), written.error().message.end());
    out.resize(*written);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);
    const std::uint8_t mode = input.byte();
    const Codec& codec = (mode & 1) != 0 ? BASE64 : BASE32;
    const unsigned edits = (mode >> 4) & 3;
    std::uint8_t edit_bytes[3 * 3] = {};
    for (unsigned i = 0; i < 3 * edits; ++i) edit_bytes[i] = input.byte();
    const ByteView rest = input.rest();
    const Bytes plain(rest.begin(), rest.end());

    const Bytes reference = encode(codec, plain, VectorPath::scalar);
    Bytes text = plain;
    if ((mode & 2) != 0) {
        text = reference;
        if ((mode & 4) != 0) {
            while (!text.empty() && text.back() == '=') text.pop_back();
        }
        if ((mode & 8) != 0 && &codec == &BASE32) {
            for (auto& c : text) c = static_cast<std::uint8_t>(std::tolower(c));
        }
        for (unsigned i = 0; i < edits && !text.empty(); ++i) {
            const std::size_t position = (edit_bytes[3 * i] | edit_bytes[3 * i + 1] << 8) % text.size();
            text[position] = edit_bytes[3 * i + 2];
        }
    }

    bool reference_ok = false;
    const Bytes reference_decoded = decode(codec, text, VectorPath::scalar, reference_ok);
    for (VectorPath path : VECTOR_PATHS) {
        if (!vector_path_supported(path)) continue;
        bool ok = false;
        if (path != VectorPath::scalar) {
            check(encode(codec, plain, path) == reference, "a vector path encodes differently");
            const Bytes decoded = decode(codec, text, path, ok);
            check(ok == reference_ok, "a vector path accepts or rejects differently");
            check(decoded == reference_decoded, "a vector path decodes differently (bytes or message)");
        }
        const Bytes within = decode_within(codec, text, path, ok);
        check(ok == reference_ok && within == reference_decoded, "decoding into the bound's room differs");
    }
    return 0;
}
