// The one declaration of a Python function: its name, its parameters and the
// body that runs on their values. From it come the binding signature, the
// doc string with the text signature, the entry point and the method record
// that the module tree hands to PyCMethod_New.
//
//     WrapperResult decode(ByteView data, bool strict);
//     using Decode = PythonFunction<"decode", decode, Text<"data">, Flag<"strict", false>>;
//
// The body takes one argument per parameter, of the type the parameter's
// kind converts to, in declaration order; anything else does not compile.
#pragma once

#include <Python.h>

#include <array>
#include <cstddef>
#include <new>
#include <stdexcept>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "module/arguments.hpp"
#include "module/errors.hpp"
#include "module/parameters.hpp"
#include "module/results.hpp"

namespace korvalith::py {

namespace declaration {

// What a body function takes and returns.
template <typename Function>
struct BodyShape;  // a body is a function, named by its address
template <typename Result, typename... Arguments>
struct BodyShape<Result (*)(Arguments...)> {
    using Returns = Result;
    using Values = std::tuple<std::remove_cvref_t<Arguments>...>;
};
template <typename Result, typename... Arguments>
struct BodyShape<Result (*)(Arguments...) noexcept> : BodyShape<Result (*)(Arguments...)> {};

// The number of leading parameters without a default.
template <typename... Parameters>
consteval std::size_t required_count() {
    constexpr bool has_default[] = {Parameters::HAS_DEFAULT..., true};
    std::size_t count = 0;
    while (!has_default[count]) ++count;
    return count;
}

// No parameter without a default follows one with a default, and no two share a name.
template <typename... Parameters>
consteval bool defaults_come_last() {
    constexpr bool has_default[] = {Parameters::HAS_DEFAULT..., true};
    for (std::size_t i = required_count<Parameters...>(); i < sizeof...(Parameters); ++i) {
        if (!has_default[i]) return false;
    }
    return true;
}
template <typename... Parameters>
consteval bool names_are_distinct() {
    constexpr std::string_view names[] = {Parameters::NAME..., ""};
    for (std::size_t i = 0; i < sizeof...(Parameters); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (names[i] == names[j]) return false;
        }
    }
    return true;
}

template <typename... Parameters>
inline constexpr std::array<std::string_view, sizeof...(Parameters)> PARAMETER_NAMES{Parameters::NAME...};

template <Name FunctionName, typename... Parameters>
inline constexpr FunctionSignature SIGNATURE{FunctionName.view(), PARAMETER_NAMES<Parameters...>,
                                             required_count<Parameters...>()};

// The doc string: the text signature in the interpreter's form,
// "name(a, b=False)\n--\n\n", with nothing after it.
template <Name FunctionName, typename... Parameters, typename Out>
constexpr void write_doc(Out& out) {
    out(FunctionName.view());
    out("(");
    bool first = true;
    ((out(first ? "" : ", "), first = false, Parameters::write_text_signature(out)), ...);
    out(")\n--\n\n");
}

struct LengthCounter {
    std::size_t length = 0;
    constexpr void operator()(std::string_view piece) { length += piece.size(); }
};

template <std::size_t Size>
struct TextWriter {
    std::array<char, Size> text{};  // ends in at least one NUL
    std::size_t length = 0;
    constexpr void operator()(std::string_view piece) {
        for (const char c : piece) text[length++] = c;
    }
};

template <Name FunctionName, typename... Parameters>
inline constexpr std::size_t DOC_LENGTH = [] {
    LengthCounter counter;
    write_doc<FunctionName, Parameters...>(counter);
    return counter.length;
}();

template <Name FunctionName, typename... Parameters>
inline constexpr std::array<char, DOC_LENGTH<FunctionName, Parameters...> + 1> DOC = [] {
    TextWriter<DOC_LENGTH<FunctionName, Parameters...> + 1> writer;
    write_doc<FunctionName, Parameters...>(writer);
    return writer.text;
}();

// The checks of a body against its declaration. Each is a function template
// whose arguments the compiler shows when the check fails, so the error
// names the function and, for an argument, the parameter and the types:
//   In instantiation of '... body_argument_has_parameter_type() [with ...
//   Function = ...{"decode"}; ... Parameter = ...{"strict"}; Expected = bool; Found = int]'
//   error: static assertion failed: the body's argument for Parameter has the type Found, but ...
template <Name Function, typename Returns>
consteval bool body_returns_a_wrapper_result() {
    static_assert(std::is_same_v<Returns, WrapperResult>,
                  "the body of Function returns Returns (see 'with' above): it must return a WrapperResult");
    return std::is_same_v<Returns, WrapperResult>;
}

template <Name Function, std::size_t Declared, std::size_t Taken>
consteval bool body_takes_one_argument_per_parameter() {
    static_assert(Declared == Taken,
                  "the body of Function takes Taken arguments for Declared declared parameters (see 'with' "
                  "above): it must take one argument per parameter, in declaration order");
    return Declared == Taken;
}

template <Name Function, Name Parameter, typename Expected, typename Found>
consteval bool body_argument_has_parameter_type() {
    static_assert(std::is_same_v<Expected, Found>,
                  "the body's argument for Parameter has the type Found, but the parameter's kind gives Expected "
                  "(see 'with' above): change the argument's type (a const reference will do) or the kind");
    return std::is_same_v<Expected, Found>;
}

template <Name Function, typename Values, typename... Parameters, std::size_t... Index>
consteval bool body_arguments_have_parameter_types(std::index_sequence<Index...>) {
    return (body_argument_has_parameter_type<Function, Parameters::DECLARED_NAME, typename Parameters::Value,
                                             std::tuple_element_t<Index, Values>>() &
            ... & true);
}

// The body takes one argument per parameter, each of its parameter's type;
// the types are checked only when the number of arguments is right.
template <Name Function, typename Values, typename... Parameters>
consteval bool body_arguments_match() {
    if constexpr (!body_takes_one_argument_per_parameter<Function, sizeof...(Parameters), std::tuple_size_v<Values>>()) {
        return false;
    } else {
        return body_arguments_have_parameter_types<Function, Values, Parameters...>(
            std::index_sequence_for<Parameters...>());
    }
}

// Flags of every function that takes arguments, and of one that takes none.
inline constexpr int ARGUMENT_FLAGS = METH_FASTCALL | METH_KEYWORDS | METH_STATIC;
inline constexpr int NO_ARGUMENT_FLAGS = METH_NOARGS | METH_STATIC;

// Runs one call: returns its new reference, or raises its failure and
// returns null. No C++ exception leaves: a failed allocation becomes
// MemoryError, and so does a standard container asked to grow beyond the
// most it can hold (std::length_error), which sizes taken from a caller's
// input could ask for, as a message quoting an argument does. Inlined into
// each entry point, which then needs no second frame.
template <typename Run>
[[gnu::always_inline]] inline PyObject* run_call(Run&& run) noexcept {
    try {
        WrapperResult result = run();
        if (!result) {
            raise_failure(std::move(result.error()));
            return nullptr;
        }
        return *result;
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
        return nullptr;
    } catch (const std::length_error&) {
        PyErr_NoMemory();
        return nullptr;
    } catch (...) {
        // Unreachable: the code of a Python function throws nothing but the
        // two above (from the standard library's containers); anything else
        // would be a fault in the module, not a consequence of its input.
        fatal_error("unexpected C++ exception in a Python function");
    }
}

}  // namespace declaration

// A Python function named `FunctionName` whose body `Body` runs on the
// values of `Parameters` (Text<"data">, Flag<"strict", false>, ... from
// module/parameters.hpp). With no parameters it takes no arguments at all.
template <Name FunctionName, auto Body, typename... Parameters>
class PythonFunction {
    using Shape = declaration::BodyShape<decltype(Body)>;
    static constexpr std::size_t ARITY = sizeof...(Parameters);
    static constexpr bool RETURNS_RESULT =
        declaration::body_returns_a_wrapper_result<FunctionName, typename Shape::Returns>();
    static constexpr bool ARGUMENTS_MATCH =
        declaration::body_arguments_match<FunctionName, typename Shape::Values, Parameters...>();

    static_assert(declaration::defaults_come_last<Parameters...>(),
                  "parameters with a default must follow all parameters without one");
    static_assert(declaration::names_are_distinct<Parameters...>(), "two parameters have the same name");

    static constexpr const FunctionSignature& SIGNATURE = declaration::SIGNATURE<FunctionName, Parameters...>;

    // Converts the parameters in declaration order, the first failure ending
    // the call, and runs the body on their values.
    template <std::size_t Index, typename... Values>
    static WrapperResult convert_and_run(const std::array<PyObject*, ARITY>& slots, Values&&... values) {
        if constexpr (Index < ARITY) {
            using Converting = std::tuple_element_t<Index, std::tuple<Parameters...>>;
            auto value = Converting::value(slots[Index]);
            if (!value) return std::unexpected(std::move(value.error()));
            return convert_and_run<Index + 1>(slots, std::move(values)..., std::move(*value));
        } else if constexpr (RETURNS_RESULT && ARGUMENTS_MATCH) {
            return Body(std::move(values)...);
        } else {
            std::unreachable();  // the static_asserts above have already failed
        }
    }

    static PyObject* call(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
        return declaration::run_call([&]() -> WrapperResult {
            std::array<PyObject*, ARITY> slots{};
            if (auto bound = bind_arguments(SIGNATURE, args, nargs, kwnames, slots); !bound) {
                return std::unexpected(std::move(bound.error()));
            }
            return convert_and_run<0>(slots);
        });
    }

    static PyObject* call_without_arguments(PyObject*, PyObject*) noexcept {
        return declaration::run_call([]() -> WrapperResult {
            if constexpr (ARITY == 0 && RETURNS_RESULT && ARGUMENTS_MATCH) return Body();
            std::unreachable();
        });
    }

public:
    // The method record: static, and handed on its own to PyCMethod_New.
    static inline PyMethodDef record = {
        FunctionName.text,
        ARITY == 0 ? call_without_arguments : reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(call)),
        ARITY == 0 ? declaration::NO_ARGUMENT_FLAGS : declaration::ARGUMENT_FLAGS,
        declaration::DOC<FunctionName, Parameters...>.data(),
    };
};

}  // namespace korvalith::py
