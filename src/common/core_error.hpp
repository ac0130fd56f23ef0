// The failure value of a core routine, and the result type every core returns.
#pragma once

#include <cstddef>
#include <expected>
#include <string>
#include <utility>

namespace korvalith {

// A core routine fails either because it rejects its input (the message is
// the final text shown to the user, raised in Python as ValueError), or
// because memory for a result sized from the caller's input could not be had.
struct CoreError {
    enum class Kind { Invalid, OutOfMemory };

    Kind kind = Kind::Invalid;
    std::string message;       // final text for Kind::Invalid
    std::size_t requested = 0; // bytes asked for, for Kind::OutOfMemory

    static CoreError invalid(std::string text) { return {Kind::Invalid, std::move(text), 0}; }
    static CoreError out_of_memory(std::size_t bytes) { return {Kind::OutOfMemory, {}, bytes}; }
};

template <typename T>
using CoreResult = std::expected<T, CoreError>;

}  // namespace korvalith
