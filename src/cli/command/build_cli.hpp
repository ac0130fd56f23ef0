// The complete declared command tree: the top-level command with its name,
// about text, version and style set, a group per row of GROUPS and under
// each its actions, in the order of the action table (cli/command/actions.cpp).
#pragma once

#include "cli/command/command_tree.hpp"

namespace korvalith::cli {

// The tree, built fresh on every call; nothing is cached.
Command build_cli();

}  // namespace korvalith::cli
