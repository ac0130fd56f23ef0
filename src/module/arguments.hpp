// Argument binding and conversion shared by every Python function.
#pragma once

#include <Python.h>

#include <cstdint>
#include <expected>
#include <span>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "common/byte_map.hpp"
#include "common/byte_buffer.hpp"
#include "common/secure_wipe.hpp"
#include "module/errors.hpp"

namespace korvalith::py {

// The parameters of one Python function: all positional-or-keyword, the
// first `required` of them mandatory. Made from the function's declaration
// (module/wrapper.hpp).
struct FunctionSignature {
    std::string_view name;                         // "decode"
    std::span<const std::string_view> parameters;  // "data", "strict"
    std::size_t required;
};

// A map from one Unicode scalar value to one.
using CharMap = std::unordered_map<char32_t, char32_t>;

template <typename T>
using Converted = std::expected<T, Failure>;

// Bytes to read: a view of the storage of a bytes or bytearray object, or of
// an owned copy of another sequence's items, which is wiped (it may hold
// plaintext) when the source goes out of scope. A bytearray's storage stays
// valid only while no Python code runs.
class ByteSource {
public:
    explicit ByteSource(ByteView borrowed) noexcept : view_(borrowed) {}
    explicit ByteSource(ByteBuffer&& owned) noexcept : owned_(std::move(owned)) { view_ = owned_.view(); }
    ByteSource(ByteSource&& other) noexcept = default;
    ByteSource& operator=(ByteSource&&) = delete;
    ~ByteSource() { secure_wipe(owned_.data(), owned_.capacity()); }

    ByteView view() const noexcept { return view_; }

private:
    ByteView view_;
    ByteBuffer owned_;
};

// Fills `slots` (borrowed references, null for an empty slot; one per
// parameter) from a fast-call argument vector and keyword-name tuple.
Converted<void> bind_arguments(const FunctionSignature& signature, PyObject* const* args,
                               Py_ssize_t nargs, PyObject* kwnames, std::span<PyObject*> slots);

// Converters: each takes a borrowed object. Views point into the object.
Converted<ByteView> as_text(PyObject* object);   // str, as UTF-8
Converted<ByteView> as_bytes(PyObject* object);  // bytes
Converted<bool> as_flag(PyObject* object);       // bool (and numpy's bool)
Converted<std::int32_t> as_long(PyObject* object);
Converted<std::uint8_t> as_byte_value(PyObject* object);
Converted<char32_t> as_char(PyObject* object);
// Copies bytes, a bytearray or a sequence of byte values into an owned
// buffer. Copies that the conversion drops on the way (when the buffer grows,
// or when an item fails) are wiped, since the bytes may be plaintext.
Converted<ByteBuffer> as_byte_vector(PyObject* object);
// Accepts what as_byte_vector accepts and fails the same way, but reads bytes
// and bytearray objects in place instead of copying them.
Converted<ByteSource> as_byte_source(PyObject* object);
Converted<CharMap> as_char_map(PyObject* object);
Converted<ByteMap> as_byte_map(PyObject* object);

// Puts "argument 'NAME': " in front of a converter's TypeError (exactly
// TypeError, not a subclass); other failures pass unchanged.
Failure annotate_argument_error(std::string_view parameter, Failure&& failure);

}  // namespace korvalith::py
