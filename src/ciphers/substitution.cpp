#include "ciphers/substitution.hpp"

#include "ciphers/translate.hpp"

namespace korvalith {

// The map's full table sends bytes without an entry to themselves, so one
// table lookup per byte applies it.
CoreResult<ByteBuffer> map_bytes(ByteView data, const ByteMap& map) { return translated(map.table(), data); }

void map_bytes_into(ByteView data, const ByteMap& map, std::span<std::uint8_t> out) noexcept {
    translate_bytes(map.table(), data, out.data());
}

}  // namespace korvalith

#if KORVALITH_WITH_PYTHON

#include "module/method_records.hpp"
#include "module/signatures.hpp"
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

PyObject* run_text(const FunctionSignature& signature, bool reverse, PyObject* const* args, Py_ssize_t nargs,
                   PyObject* kwnames) noexcept {
    return run_wrapper<2>(signature, args, nargs, kwnames, [reverse](BoundArguments<2>& arguments) -> WrapperResult {
        KORVALITH_TRY(data, arguments.text(0));
        KORVALITH_TRY(mapping, arguments.char_map(1));
        const ByteMap map = low_byte_map(std::move(mapping), reverse);
        auto substituted = map_bytes(data, map);
        if (!substituted) return std::unexpected(core_failure(substituted.error()));
        // Creating the str decodes the bytes, which checks them as UTF-8 in
        // the same pass; a mapping that touches only ASCII bytes always
        // passes, since no byte of a multi-byte sequence is ASCII.
        return new_text_or_value_error(substituted->view(), reverse ? NOT_UTF8_REVERSE : NOT_UTF8);
    });
}

PyObject* run_bytes(const FunctionSignature& signature, bool reverse, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames) noexcept {
    return run_wrapper<2>(signature, args, nargs, kwnames, [reverse](BoundArguments<2>& arguments) -> WrapperResult {
        KORVALITH_TRY(data, arguments.bytes(0));
        KORVALITH_TRY(mapping, arguments.byte_map(1));
        if (reverse) mapping = mapping.inverted();
        // Written straight into the result: it has the input's length.
        return bytes_written_by(data.size(), [&](std::span<std::uint8_t> out) -> CoreResult<void> {
            map_bytes_into(data, mapping, out);
            return {};
        });
    });
}

PyObject* substitute(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return run_text(signatures::SUBSTITUTE, false, args, nargs, kwnames);
}

PyObject* substitute_reverse(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return run_text(signatures::SUBSTITUTE_REVERSE, true, args, nargs, kwnames);
}

PyObject* substitute_bytes(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return run_bytes(signatures::SUBSTITUTE_BYTES, false, args, nargs, kwnames);
}

PyObject* substitute_reverse_bytes(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                   PyObject* kwnames) noexcept {
    return run_bytes(signatures::SUBSTITUTE_REVERSE_BYTES, true, args, nargs, kwnames);
}

}  // namespace

PyMethodDef methods::substitution_substitute = {"substitute", methods::entry(substitute), methods::ARGUMENT_FLAGS,
                                                "substitute(data, mapping)\n--\n\n"};
PyMethodDef methods::substitution_substitute_reverse = {"substitute_reverse", methods::entry(substitute_reverse),
                                                        methods::ARGUMENT_FLAGS,
                                                        "substitute_reverse(data, mapping)\n--\n\n"};
PyMethodDef methods::substitution_substitute_bytes = {"substitute_bytes", methods::entry(substitute_bytes),
                                                      methods::ARGUMENT_FLAGS,
                                                      "substitute_bytes(data, mapping)\n--\n\n"};
PyMethodDef methods::substitution_substitute_reverse_bytes = {
    "substitute_reverse_bytes", methods::entry(substitute_reverse_bytes), methods::ARGUMENT_FLAGS,
    "substitute_reverse_bytes(data, mapping)\n--\n\n"};

}  // namespace korvalith::py

#endif
