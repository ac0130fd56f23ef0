// The command-line parser: matches an argument list against the command tree
// and yields either the chosen action with its values, or the report (help,
// version or error) that ends the run.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command_tree.hpp"
#include "cli/reports.hpp"

namespace korvalith::cli {

// One value given on the command line, read by argument id.
struct MatchedValue {
    std::string id;
    std::string text;                     // as typed
    std::optional<std::int64_t> integer;  // set for integer-valued arguments
};

// The parsed command line of a run that goes on to an action.
struct Matches {
    std::vector<std::string> commands;  // names below the top level: group, then action
    std::vector<MatchedValue> values;   // positionals and options that were given
    std::vector<std::string> flags;     // ids of the flags that were given

    // The group and the action (empty when the command line named none).
    std::string_view group() const;
    std::string_view action() const;
    // The value given for `id`, if any.
    std::optional<std::string_view> value(std::string_view id) const;
    // The integer value given for `id` (the shift), if any; always in
    // SHIFT_MIN..SHIFT_MAX.
    std::optional<std::int8_t> integer(std::string_view id) const;
    // Whether the flag `id` was given.
    bool flag(std::string_view id) const;
};

using ParseResult = std::expected<Matches, Report>;

// Parses the argument list (program name first) against the declared tree,
// with the automatic help and version entries added. Never prints and never
// ends the process.
ParseResult parse_arguments(const Command& tree, std::span<const std::string> arguments);

// Parses as parse_arguments does; help, version and parser errors are written
// to their stream and end the process with their status.
Matches parse_or_exit(const Command& tree, std::span<const std::string> arguments);

}  // namespace korvalith::cli
