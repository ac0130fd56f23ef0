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

// Whether the ABI the module is built for has the buffer protocol (all but
// the stable ABI of 3.10). There a bytearray is read through an export of
// its buffer, held for the length of the call: another thread that resizes
// it meanwhile (a free-threaded build runs them at the same time) gets
// BufferError instead of freeing what is being read. Under the stable ABI
// of 3.10 the interpreter's lock, held through the call, keeps other threads
// out, and the calls run no Python code while they read the storage.
#if !defined(Py_LIMITED_API) || Py_LIMITED_API + 0 >= 0x030B0000
#define KORVALITH_BUFFER_EXPORTS 1
#else
#define KORVALITH_BUFFER_EXPORTS 0
#endif

#if KORVALITH_BUFFER_EXPORTS
// Takes and gives back an export of an object's buffer. On a free-threaded
// build the object is locked for each, so that the exports of calls on
// several threads are counted one after the other (the interpreter counts a
// bytearray's exports without a lock of its own before 3.14, and a count
// that lost one would let it be resized under a reader).
int export_buffer(PyObject* object, Py_buffer& exported) noexcept;
void release_buffer(Py_buffer& exported) noexcept;
#endif

// Bytes to read: a view of the storage of a bytes or bytearray object, or of
// an owned copy of another sequence's items, which is wiped (it may hold
// plaintext) when the source goes out of scope. A bytearray's storage is
// held through an export of its buffer where the ABI has one (above), and
// otherwise stays valid only while no Python code runs.
class ByteSource {
public:
    explicit ByteSource(ByteView borrowed) noexcept : view_(borrowed) {}
    explicit ByteSource(ByteBuffer&& owned) noexcept : owned_(std::move(owned)) { view_ = owned_.view(); }
#if KORVALITH_BUFFER_EXPORTS
    // Takes over an export of a buffer, released with the source.
    explicit ByteSource(const Py_buffer& exported) noexcept
        : view_(static_cast<const std::uint8_t*>(exported.buf), static_cast<std::size_t>(exported.len)),
          exported_(exported),
          holds_export_(true) {}
#endif
    ByteSource(ByteSource&& other) noexcept
        : view_(other.view_),
          owned_(std::move(other.owned_))
#if KORVALITH_BUFFER_EXPORTS
          ,
          exported_(other.exported_),
          holds_export_(std::exchange(other.holds_export_, false))
#endif
    {
    }
    ByteSource& operator=(ByteSource&&) = delete;
    ~ByteSource() {
        secure_wipe(owned_.data(), owned_.capacity());
#if KORVALITH_BUFFER_EXPORTS
        if (holds_export_) release_buffer(exported_);
#endif
    }

    ByteView view() const noexcept { return view_; }

private:
    ByteView view_;
    ByteBuffer owned_;
#if KORVALITH_BUFFER_EXPORTS
    Py_buffer exported_{};
    bool holds_export_ = false;
#endif
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
