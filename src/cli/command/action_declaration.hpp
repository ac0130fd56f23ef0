// What a row of the action table declares: an action's group, name, about
// text, arguments, the kinds of its input and result, its core routine and
// how a core error is reported; and a group's name and about text. The table
// itself is cli/command/actions.cpp; the rules it keeps,
// cli/command/action_rules.hpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "cli/command/command_tree.hpp"
#include "cli/command/matches.hpp"
#include "cli/stream/chunked_core.hpp"

namespace korvalith::cli {

enum class InputKind : std::uint8_t {
    bytes,    // any bytes
    text,     // UTF-8 text: a file that holds anything else cannot be read
    encoded,  // Base32 or Base64 text, any bytes as given; from standard input,
              // one final line ending ("\n" or "\r\n") is not part of it
};

enum class ResultKind : std::uint8_t {
    text,     // text by construction (the ciphers over text)
    encoded,  // checked to be UTF-8 text (encoders, whose results are ASCII)
    binary,   // any bytes: checked to be UTF-8 text only for standard output
};

// How a core error that rejects the input is reported. A core that runs out
// of memory is always an unexpected error.
enum class CoreErrorReport : std::uint8_t {
    unexpected,     // the unexpected-error report, status 1
    invalid_value,  // an error report of the invalid-value kind, status 2
};

// An action's core routine, made for one run: it reads its own arguments
// from the parsed command line through their handles, and then runs over the
// whole input or over its chunks.
using ActionCore = ChunkedCorePtr (*)(const Matches& given);

// The arguments of an action, in their order of declaration.
class ArgumentList {
public:
    static constexpr std::size_t CAPACITY = 6;

    // Built while compiling: a list longer than CAPACITY does not compile.
    consteval ArgumentList(std::initializer_list<Argument> arguments) {
        if (arguments.size() > CAPACITY) throw "an action declares more arguments than ArgumentList holds";
        for (const Argument& argument : arguments) arguments_[size_++] = argument;
    }

    constexpr const Argument* begin() const { return arguments_; }
    constexpr const Argument* end() const { return arguments_ + size_; }

private:
    Argument arguments_[CAPACITY]{};
    std::size_t size_ = 0;
};

struct GroupDeclaration {
    std::string_view name;
    std::string_view about;
};

struct ActionDeclaration {
    std::string_view group;
    std::string_view name;
    std::string_view about;
    ArgumentList arguments;
    InputKind input;
    ResultKind result;
    ActionCore core;
    // The report of a core error when the data came with `string` (-s), and
    // when it came from a file or standard input.
    CoreErrorReport core_error_with_string = CoreErrorReport::unexpected;
    CoreErrorReport core_error_from_file = CoreErrorReport::unexpected;
};

}  // namespace korvalith::cli
