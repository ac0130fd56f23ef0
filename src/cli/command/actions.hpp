// The command-line actions, each declared once in one table: its group, name,
// about text, arguments, input kind, result kind, core routine and how a core
// error is reported. The command tree (build_cli), the dispatch of a parsed
// command line and the fuzz harness's list of actions all come from it; the
// groups and their about texts are declared beside it. Adding an action means
// adding its row (cli/command/actions.cpp).
#pragma once

#include <span>
#include <string_view>

#include "cli/command/action_declaration.hpp"

namespace korvalith::cli {

// The groups in the order the top level lists them.
std::span<const GroupDeclaration> groups();

// Every action; a group lists its actions in this order.
std::span<const ActionDeclaration> actions();

// The action of that group and name, or null.
const ActionDeclaration* find_action(std::string_view group, std::string_view name);

}  // namespace korvalith::cli
