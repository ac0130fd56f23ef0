// The command tree of the command-line interface as plain data: the top-level
// command, its five groups and their actions, every argument with its forms,
// help text and value type.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/styles.hpp"

namespace korvalith::cli {

enum class ArgumentForm : std::uint8_t {
    positional,  // takes its place from its order of declaration
    flag,        // present or absent, takes no value
    option,      // takes one value
};

enum class ValueType : std::uint8_t {
    none,   // flags
    text,   // any UTF-8 string
    shift,  // signed decimal integer, SHIFT_MIN..SHIFT_MAX
};

inline constexpr std::int64_t SHIFT_MIN = -25;
inline constexpr std::int64_t SHIFT_MAX = 25;

// Entries that the parser adds to every declared tree.
enum class AutomaticEntry : std::uint8_t { none, help_flag, version_flag };

struct Argument {
    std::string id{};  // the name under which the dispatcher reads the value
    ArgumentForm form = ArgumentForm::positional;
    char short_name = '\0';  // flags and options; '\0' when there is none
    std::string long_name{};  // flags and options; empty when there is none
    std::string help{};
    bool required = false;
    ValueType value_type = ValueType::none;
    bool takes_all_remaining = false;  // a positional that collects every further element
    AutomaticEntry automatic = AutomaticEntry::none;

    // "<id>" for a required value, "[id]" for an optional one, followed by
    // "..." when it collects several.
    std::string placeholder() const;
    // The argument as named in messages: "--long", "-s", "--long <id>" or the
    // placeholder of a positional.
    std::string display_name() const;
};

struct Command {
    std::string name{};
    std::string about{};
    std::string version{};  // top level only
    bool subcommand_required = false;
    std::vector<Argument> arguments{};
    std::vector<Command> subcommands{};
    std::optional<Styles> styles{};  // top level only
    bool is_help_command = false;  // the automatic `help [COMMAND]...`

    const Command* find_subcommand(std::string_view wanted) const;
    bool has_positionals() const;
};

// The complete declared tree, built fresh on every call.
Command build_cli();

// The tree with the automatic entries added: the help flag on every command
// (except the help subcommand itself), the version flag where a version is
// set, and the help subcommand, listed last, under every command that has
// subcommands.
Command with_automatic_entries(Command declared);

}  // namespace korvalith::cli
