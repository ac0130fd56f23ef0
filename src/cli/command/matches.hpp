// The values a command line gave the action it names: the group and the
// action, the positionals and options with their values, the flags. The
// parser fills them (cli/parse/parser.hpp); the action table's cores and the
// dispatcher read them through the arguments' typed handles
// (cli/command/arguments.hpp).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "cli/command/command_tree.hpp"

namespace korvalith::cli {

// One value given on the command line.
struct MatchedValue {
    std::string_view id;                  // the argument's id
    std::string text;                     // as typed
    std::optional<std::int64_t> integer;  // set for integer-valued arguments
};

// The parsed command line of a run that goes on to an action. Values are
// read through the arguments' handles (cli/command/arguments.hpp).
struct Matches {
    std::vector<std::string_view> commands;  // names below the top level: group, then action
    std::vector<MatchedValue> values;        // positionals and options that were given
    std::vector<std::string_view> flags;     // ids of the flags that were given

    // The group and the action (empty when the command line named none).
    std::string_view group() const;
    std::string_view action() const;

    // Whether the flag was given.
    bool flag(const ArgumentHandle<bool>& handle) const;

    // The value given for the argument, if any. A shift is always in
    // SHIFT_MIN..SHIFT_MAX.
    template <typename Value>
    std::optional<Value> value(const ArgumentHandle<Value>& handle) const {
        const MatchedValue* matched = find(handle.argument.id);
        if (matched == nullptr) return std::nullopt;
        if constexpr (std::is_same_v<Value, std::int8_t>) {
            if (!matched->integer) return std::nullopt;
            return static_cast<std::int8_t>(*matched->integer);
        } else {
            return std::string_view(matched->text);
        }
    }

    // The value of a required argument of the chosen action. The parser
    // yields no matches without them and the dispatcher checks them again
    // before a core routine reads them, so this throws
    // std::bad_optional_access only for an argument the action does not
    // declare.
    template <typename Value>
    Value required(const ArgumentHandle<Value>& handle) const {
        return value(handle).value();
    }

    // Whether the argument was given (a flag) or has a value.
    bool given(const Argument& argument) const;

private:
    const MatchedValue* find(std::string_view id) const;
};

}  // namespace korvalith::cli
