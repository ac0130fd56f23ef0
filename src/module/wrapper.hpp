// The shape every Python function shares: bind, convert in declaration
// order, run the core, turn its result into a new object.
#pragma once

#include <Python.h>

#include <array>
#include <cstdint>
#include <new>
#include <span>

#include "module/arguments.hpp"
#include "module/errors.hpp"

namespace korvalith::py {

// A new reference, or the failure to raise.
using WrapperResult = std::expected<PyObject*, Failure>;

// The bound arguments of one call, with converters that annotate their
// failures with the parameter's name.
template <std::size_t N>
class BoundArguments {
public:
    explicit BoundArguments(const FunctionSignature& signature) noexcept : signature_(signature) {}

    std::span<PyObject*> slots() noexcept { return slots_; }
    bool filled(std::size_t index) const noexcept { return slots_[index] != nullptr; }
    PyObject* slot(std::size_t index) const noexcept { return slots_[index]; }

    // Converts slot `index` with `convert` (one of the as_* converters).
    template <auto Convert, typename... Extra>
    auto convert(std::size_t index, Extra... extra) -> decltype(Convert(nullptr, extra...)) {
        auto converted = Convert(slots_[index], extra...);
        if (!converted) {
            return std::unexpected(
                annotate_argument_error(signature_.parameters[index], std::move(converted.error())));
        }
        return converted;
    }

    Converted<ByteView> text(std::size_t index) { return convert<as_text>(index); }
    Converted<ByteView> bytes(std::size_t index) { return convert<as_bytes>(index); }
    Converted<std::int32_t> integer(std::size_t index) { return convert<as_long>(index); }
    Converted<ByteSource> byte_source(std::size_t index) { return convert<as_byte_source>(index); }
    Converted<CharMap> char_map(std::size_t index) { return convert<as_char_map>(index); }
    Converted<ByteMap> byte_map(std::size_t index) { return convert<as_byte_map>(index); }
    // A flag whose slot may be empty: then it takes `default_value`.
    Converted<bool> flag(std::size_t index, bool default_value) {
        if (!filled(index)) return default_value;
        return convert<as_flag>(index);
    }

private:
    const FunctionSignature& signature_;
    std::array<PyObject*, N> slots_{};
};

// Runs one Python function: binds the arguments, calls `body` with them and
// returns its new reference, or raises its failure and returns null. No C++
// exception leaves: a failed allocation becomes MemoryError.
template <std::size_t N, typename Body>
PyObject* run_wrapper(const FunctionSignature& signature, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames, Body&& body) noexcept {
    try {
        BoundArguments<N> arguments(signature);
        if (auto bound = bind_arguments(signature, args, nargs, kwnames, arguments.slots()); !bound) {
            raise_failure(std::move(bound.error()));
            return nullptr;
        }
        WrapperResult result = body(arguments);
        if (!result) {
            raise_failure(std::move(result.error()));
            return nullptr;
        }
        return *result;
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
        return nullptr;
    } catch (...) {
        fatal_error("unexpected C++ exception in a Python function");
    }
}

// New result objects. A failure for lack of memory is passed on as
// MemoryError; any other failure to create a result is a fatal fault.
WrapperResult new_text(ByteView utf8);
WrapperResult new_bytes(ByteView bytes);
// A str from bytes that may not be valid UTF-8: a ValueError with `message`
// when they are not.
WrapperResult new_text_or_value_error(ByteView utf8, const char* message);

// A core's owned result as a new object, or its error as a failure.
WrapperResult text_from_core(CoreResult<ByteBuffer>&& result);
WrapperResult bytes_from_core(CoreResult<ByteBuffer>&& result);

// A new bytes object of exactly `size` bytes whose contents are not yet
// written, and the room to write them in. The object must not reach Python
// code before every byte is written.
struct UnfilledBytes {
    PyRef object;
    std::span<std::uint8_t> room;
};
Converted<UnfilledBytes> new_unfilled_bytes(std::size_t size);

// A bytes result written in place by a core: one allocation of exactly
// `size` bytes, no copy. `write` receives the whole room as a
// std::span<std::uint8_t> and returns a CoreResult<void>; when it fails, the
// unfinished object is dropped and the core's error raised.
template <typename Write>
WrapperResult bytes_written_by(std::size_t size, Write&& write) {
    auto unfilled = new_unfilled_bytes(size);
    if (!unfilled) return std::unexpected(std::move(unfilled.error()));
    if (CoreResult<void> written = write(unfilled->room); !written) {
        return std::unexpected(core_failure(written.error()));
    }
    return unfilled->object.release();
}

}  // namespace korvalith::py

// Unwraps a converted value into `name`, or returns its failure from the
// enclosing wrapper body.
#define KORVALITH_TRY(name, expression)                                       \
    auto name##_converted_ = (expression);                                    \
    if (!name##_converted_) return std::unexpected(std::move(name##_converted_.error())); \
    auto name = std::move(*name##_converted_)
