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

#include "cli/command/command_tree.hpp"
#include "cli/command/matches.hpp"
#include "cli/parse/report.hpp"

namespace korvalith::cli {

using ParseResult = std::expected<Matches, Report>;

// Parses the argument list (program name first) against the declared tree,
// with the automatic help and version entries added. Never prints and never
// ends the process.
ParseResult parse_arguments(const Command& tree, std::span<const std::string> arguments);

}  // namespace korvalith::cli
