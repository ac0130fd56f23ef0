#include "ciphers/substitution.hpp"

#include "ciphers/translate.hpp"

namespace korvalith {

// The map's full table sends bytes without an entry to themselves, so one
// translation through it applies the map; only the table's segments that
// differ from the identity are looked up.
CoreResult<ByteBuffer> map_bytes(ByteView data, const ByteMap& map) { return translated(map.table(), data); }

void map_bytes_into(ByteView data, const ByteMap& map, std::span<std::uint8_t> out) noexcept {
    translate_into(map.table(), data, out.data());
}

}  // namespace korvalith

#if KORVALITH_WITH_PYTHON

#include "module/submodules.hpp"
#include "module/wrapper.hpp"

namespace korvalith::py {

namespace {

// Substituted text whose bytes no longer form UTF-8 cannot become a str.
constexpr const char* NOT_UTF8 =
    "substitute() produced bytes that are not valid UTF-8 (each mapping character stands for the low byte "
    "of its code point); use substitute_bytes() to substitute in bytes";
constexpr const char* NOT_UTF8_REVERSE =
    "substitute_reverse() produced bytes that are not valid UTF-8 (each mapping character stands for the low "
    "byte of its code point); use substitute_reverse_bytes() to substitute in bytes";

// The byte map of a text mapping: each character stands for the low 8 bits
// of its code point. Reversed, values become keys. The character map is
// released on return.
ByteMap low_byte_map(CharMap characters, bool reverse) {
    ByteMap map;
    for (const auto& [from, to] : characters) {
        const auto key = static_cast<std::uint8_t>(from & 0xFF);
        const auto value = static_cast<std::uint8_t>(to & 0xFF);
        if (reverse) {
            map.insert(value, key);
        } else {
            map.insert(key, value);
        }
    }
    return map;
}

template <bool Reverse>
WrapperResult run_text(ByteView data, CharMap mapping) {
    const ByteMap map = low_byte_map(std::move(mapping), Reverse);
    auto substituted = map_bytes(data, map);
    if (!substituted) return std::unexpected(core_failure(substituted.error()));
    // Creating the str decodes the bytes, which checks them as UTF-8 in
    // the same pass; a mapping that touches only ASCII bytes always
    // passes, since no byte of a multi-byte sequence is ASCII.
    return new_text_or_value_error(substituted->view(), Reverse ? NOT_UTF8_REVERSE : NOT_UTF8);
}

template <bool Reverse>
WrapperResult run_bytes(ByteView data, ByteMap mapping) {
    if constexpr (Reverse) mapping = mapping.inverted();
    // Written straight into the result: it has the input's length.
    return bytes_written_by(data.size(), [&](std::span<std::uint8_t> out) -> CoreResult<void> {
        map_bytes_into(data, mapping, out);
        return {};
    });
}

using Substitute = PythonFunction<"substitute", run_text<false>, Text<"data">, CharMapping<"mapping">>;
using SubstituteReverse = PythonFunction<"substitute_reverse", run_text<true>, Text<"data">, CharMapping<"mapping">>;
using SubstituteBytes = PythonFunction<"substitute_bytes", run_bytes<false>, Bytes<"data">, ByteMapping<"mapping">>;
using SubstituteReverseBytes =
    PythonFunction<"substitute_reverse_bytes", run_bytes<true>, Bytes<"data">, ByteMapping<"mapping">>;

}  // namespace

}  // namespace korvalith::py

KORVALITH_PYTHON_SUBMODULE(substitution, Substitute, SubstituteReverse, SubstituteBytes, SubstituteReverseBytes);

#endif
