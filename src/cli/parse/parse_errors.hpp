// The error reports the parser ends a run with, worded as the user sees them:
// the message with the offending input quoted (its control characters shown
// escaped), the tip lines that suggest a correct input, and the usage line of
// the command where parsing stopped. Each is a report of status 2 on
// standard error (cli/parse/report.hpp).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/parse/help.hpp"
#include "cli/parse/report.hpp"

namespace korvalith::cli {

// "unexpected argument 'ELEMENT' found" for a flag or option the command
// does not have: with a tip naming a similar long name of the command when
// the element was one (`long_name`), and, when a positional is still open,
// the tip to pass the element as a value after "--".
Report unknown_argument_error(const CommandPath& where, std::string_view element,
                              std::optional<std::string_view> long_name, bool positional_open);

// "unexpected argument 'ELEMENT' found": a value with no positional left.
Report unexpected_argument_error(const CommandPath& where, std::string_view element);

// A subcommand's name given after "--", with the tip to remove the "--".
Report subcommand_after_marker_error(const CommandPath& where, std::string_view element);

// "unrecognized subcommand 'ELEMENT'", with a tip naming a similar one.
Report unrecognized_subcommand_error(const CommandPath& where, std::string_view element);

// A value attached to a flag ("--string=x").
Report value_for_flag_error(const CommandPath& where, std::string_view value, std::string_view shown);

// A flag or option given a second time.
Report repeated_argument_error(const CommandPath& where, std::string_view shown);

// An option at the end of the command line, or given an empty value.
Report missing_value_error(const CommandPath& where, std::string_view shown);

// "invalid value 'TEXT' for '<shift>': REASON".
Report invalid_value_error(const CommandPath& where, std::string_view text, std::string_view placeholder,
                           std::string_view reason);

// "'P GROUP' requires a subcommand but one was not provided", with the list
// of the current command's subcommands.
Report missing_subcommand_error(const CommandPath& where);

// "the following required arguments were not provided:" and the placeholders.
Report missing_positionals_error(const CommandPath& where, const std::vector<std::string>& placeholders);

}  // namespace korvalith::cli
