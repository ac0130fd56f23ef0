// The arguments the actions declare, each once, as a typed handle: its id,
// form, letters and value type here; its help text where an action declares
// it (cli/command/actions.cpp), unless it is the same everywhere.
#pragma once

#include <cstdint>
#include <string_view>

#include "cli/command/command_tree.hpp"

namespace korvalith::cli {

// The input: a file name, "-" for standard input, or with `string` the data itself.
inline constexpr ArgumentHandle<std::string_view> DATA{
    {.id = "data", .form = ArgumentForm::positional, .required = true, .value_type = ValueType::text}};

// The Caesar shift, checked by the parser to lie in SHIFT_MIN..SHIFT_MAX.
inline constexpr ArgumentHandle<std::int8_t> SHIFT{
    {.id = "shift", .form = ArgumentForm::positional, .required = true, .value_type = ValueType::shift}};

// The Vigenère key.
inline constexpr ArgumentHandle<std::string_view> KEY{
    {.id = "key", .form = ArgumentForm::positional, .required = true, .value_type = ValueType::text}};

inline constexpr ArgumentHandle<bool> SKIP_NON_ALPHA{
    {.id = "skip-non-alpha", .form = ArgumentForm::flag, .short_name = 'k', .long_name = "skip-non-alpha",
     .help = "Flag to indicate that non-alphabetic characters should be skipped when encrypting/decrypting."}};

inline constexpr ArgumentHandle<bool> STRING{
    {.id = "string", .form = ArgumentForm::flag, .short_name = 's', .long_name = "string",
     .help = "Flag to indicate that the input data is a string."}};

// The file the result goes to instead of standard output.
inline constexpr ArgumentHandle<std::string_view> OUTPUT{
    {.id = "output", .form = ArgumentForm::option, .short_name = 'o', .long_name = "output",
     .value_type = ValueType::text}};

}  // namespace korvalith::cli
