// The parameters a Python function declares. Each has a name, a kind (the
// converter that turns its argument into the value the function's body
// receives) and perhaps a default, which an empty slot takes.
#pragma once

#include <Python.h>

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <type_traits>
#include <utility>

#include "module/arguments.hpp"

namespace korvalith::py {

// A name known at compile time, usable as a template argument:
// PythonFunction<"decode", ...>, Text<"data">.
template <std::size_t Size>
struct Name {
    char text[Size];
    consteval Name(const char (&literal)[Size]) { std::copy_n(literal, Size, text); }
    constexpr std::string_view view() const { return {text, Size - 1}; }
};

// A default value as it reads in a text signature.
constexpr std::string_view python_literal(bool value) { return value ? "True" : "False"; }

// One parameter: the argument bound to it is converted by `Convert` (one of
// the as_* converters of module/arguments.hpp); with a `Default`, an empty
// slot takes that value instead.
template <auto Convert, Name ParameterName, auto... Default>
struct Parameter {
    static_assert(sizeof...(Default) <= 1, "a parameter has at most one default");
    using Value = typename std::invoke_result_t<decltype(Convert), PyObject*>::value_type;
    static constexpr auto DECLARED_NAME = ParameterName;
    static constexpr std::string_view NAME = ParameterName.view();
    static constexpr bool HAS_DEFAULT = sizeof...(Default) == 1;

    // The value for the argument in `slot` (borrowed; null when empty): the
    // default, or the converted argument, whose TypeError gets
    // "argument 'NAME': " in front.
    static Converted<Value> value(PyObject* slot) {
        if constexpr (HAS_DEFAULT) {
            if (slot == nullptr) return Value{Default...};
        }
        auto converted = Convert(slot);
        if (!converted) return std::unexpected(annotate_argument_error(NAME, std::move(converted.error())));
        return converted;
    }

    // Writes the parameter as the text signature shows it: "name" or "name=default".
    template <typename Out>
    static constexpr void write_text_signature(Out& out) {
        out(NAME);
        if constexpr (HAS_DEFAULT) {
            out("=");
            out(python_literal(Default...));
        }
    }
};

// The kinds of parameter, with the value the body receives.
template <Name N>
using Text = Parameter<as_text, N>;  // str: ByteView of its UTF-8
template <Name N>
using Bytes = Parameter<as_bytes, N>;  // bytes: ByteView of its storage
template <Name N>
using Integer = Parameter<as_long, N>;  // int: std::int32_t
template <Name N>
using ByteSequence = Parameter<as_byte_source, N>;  // bytes, bytearray or a sequence of byte values: ByteSource
template <Name N>
using CharMapping = Parameter<as_char_map, N>;  // dict of one-character strs: CharMap
template <Name N>
using ByteMapping = Parameter<as_byte_map, N>;  // dict of byte values: ByteMap
template <Name N, bool... Default>
using Flag = Parameter<as_flag, N, Default...>;  // bool: bool

}  // namespace korvalith::py
