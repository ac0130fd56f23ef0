// Help, usage and version texts of the command tree.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command/command_tree.hpp"
#include "cli/parse/styles.hpp"

namespace korvalith::cli {

// A place in the tree: the program name shown in usage lines and the
// commands from the top level down to the current one (never empty).
struct CommandPath {
    std::string program;
    std::vector<const Command*> commands;

    const Command& top() const { return *commands.front(); }
    const Command& current() const { return *commands.back(); }
    // The style set carried by the top level (CLI_STYLES when it carries none).
    const Styles& styles() const;
    // The program name followed by the names below the top level, as typed:
    // "korvalith caesar encrypt".
    std::string command_line() const;
};

// The program name: the last path component of the first element of the
// argument list. Without an argument list, or when that element has no
// usable last component ("", "/", "..", "dir/."), the top-level name.
std::string program_name(std::optional<std::string_view> first_element, const Command& top);

// "Usage: P caesar encrypt [OPTIONS] <data> <shift>", without a line break.
StyledText usage_line(const CommandPath& path);

// The help of the current command: about, usage, then the "Commands",
// "Arguments" and "Options" sections it has entries for, each entry with its
// text in an aligned column. Ends with a line break.
StyledText help_text(const CommandPath& path);

// "Korvalith", a blank, the version and a line break.
StyledText version_text(const Command& top);

}  // namespace korvalith::cli
