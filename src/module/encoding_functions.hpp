// The four Python functions of an encoding submodule (encode, decode,
// encode_bytes, decode_bytes), declared once for every codec. Each codec's
// file declares its submodule with KORVALITH_ENCODING_SUBMODULE, so every
// function keeps its own entry point. The text functions copy the core's result into the str,
// which the interpreter requires; the bytes functions have the core write
// straight into the new bytes object.
#pragma once

#include <cstdint>
#include <span>

#include "module/submodules.hpp"
#include "module/wrapper.hpp"

namespace korvalith::py {

// `Codec` is the codec itself (a GroupCodec: its GROUP_CHARACTERS per padded
// group; encode and decode into owned buffers; encoded_size, encode_into,
// decoded_size_bound and decode_within, which write into a span the caller
// sized),
// and `Trim` the input preparation of its text decode.
template <typename Codec, ByteView (*Trim)(ByteView) noexcept>
struct EncodingFunctions {
    static WrapperResult encode(ByteView data) { return text_from_core(Codec::encode(data)); }

    // With `strict`, the text as given must fill whole groups; then white
    // space and trailing "=" are trimmed and the decoded bytes must be UTF-8.
    static WrapperResult decode(ByteView data, bool strict) {
        if (strict && data.size() % Codec::GROUP_CHARACTERS != 0) {
            return std::unexpected(lazy_error(ErrorClass::ValueError,
                                              "Length of input is not valid. Use strict=False to disable length "
                                              "checking."));
        }
        const ByteView trimmed = Trim(data);
        if (trimmed.empty()) return new_text({});
        // The bytes go into a buffer first, which the str is made from; a
        // large one is fresh memory, hence the advice.
        auto buffer = ByteBuffer::allocate(Codec::decoded_size_bound(trimmed));
        if (!buffer) return std::unexpected(core_failure(buffer.error()));
        advise_huge_pages(buffer->data(), buffer->size());
        auto written = Codec::decode_within(trimmed, {buffer->data(), buffer->size()});
        if (!written) return std::unexpected(core_failure(written.error()));
        return new_text_or_value_error(buffer->view().first(*written), "Invalid utf8. Use decode_bytes() instead.");
    }

    static WrapperResult encode_bytes(ByteView data) {
        const auto size = Codec::encoded_size(data.size());
        if (!size) return std::unexpected(core_failure(CoreError::out_of_memory(SIZE_MAX)));
        return bytes_written_by(*size, [&](std::span<std::uint8_t> out) -> CoreResult<void> {
            Codec::encode_into(data, out);
            return {};
        });
    }

    // The bytes exactly as given: no trimming, no length check. The result
    // is made at the length the text has before its closing "=" run, which
    // is exact unless a "=" stands before that run (then the decoded bytes
    // are copied into a shorter object): no pass over the text for the "=".
    static WrapperResult decode_bytes(ByteView data) {
        return bytes_written_within(Codec::decoded_size_bound(data),
                                    [&](std::span<std::uint8_t> out) { return Codec::decode_within(data, out); });
    }

    using Encode = PythonFunction<"encode", encode, Text<"data">>;
    using Decode = PythonFunction<"decode", decode, Text<"data">, Flag<"strict", false>>;
    using EncodeBytes = PythonFunction<"encode_bytes", encode_bytes, Bytes<"data">>;
    using DecodeBytes = PythonFunction<"decode_bytes", decode_bytes, Bytes<"data">>;
};

}  // namespace korvalith::py

// Declares the encoding submodule `name` of the codec `Codec`, whose text
// decode prepares its input with `Trim`: encode, decode, encode_bytes and
// decode_bytes, in this order in its __all__. Written once per codec, at
// global scope, as KORVALITH_PYTHON_SUBMODULE.
#define KORVALITH_ENCODING_SUBMODULE(name, Codec, Trim)                                   \
    namespace korvalith::py::name##_encoding {                                            \
    using Functions = EncodingFunctions<Codec, Trim>;                                     \
    }                                                                                     \
    KORVALITH_PYTHON_SUBMODULE(name, name##_encoding::Functions::Encode,                  \
                               name##_encoding::Functions::Decode,                        \
                               name##_encoding::Functions::EncodeBytes,                   \
                               name##_encoding::Functions::DecodeBytes)
