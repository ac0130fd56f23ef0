// The command tree of the command-line interface as plain data: the top-level
// command, its groups and their actions, every argument with its forms, help
// text and value type. Every text in the tree is a view of a static
// declaration (the action table, the automatic entries, the version).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "cli/command/style_set.hpp"

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
    std::string_view id{};  // the name in placeholders, and the key its value is kept under
    ArgumentForm form = ArgumentForm::positional;
    char short_name = '\0';  // flags and options; '\0' when there is none
    std::string_view long_name{};  // flags and options; empty when there is none
    std::string_view help{};
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

// An argument declared once with the type its value is read as: bool for a
// flag (given or not), std::string_view for text, std::int8_t for the shift.
// Actions declare it through the handle (with the help text they give it),
// and the dispatcher and the core routines read its value through the same
// handle (Matches::flag, Matches::value, Matches::required).
template <typename Value>
struct ArgumentHandle {
    static_assert(std::is_same_v<Value, bool> || std::is_same_v<Value, std::string_view> ||
                      std::is_same_v<Value, std::int8_t>,
                  "an argument is read as a flag, as text or as the shift");

    Argument argument;  // as declared, with the help text it has wherever it appears (if any)

    // The argument as an action declares it: with its own help text, or with
    // the one given.
    constexpr Argument operator()() const { return argument; }
    constexpr Argument operator()(std::string_view help) const {
        Argument declared = argument;
        declared.help = help;
        return declared;
    }
};

struct Command {
    std::string_view name{};
    std::string_view about{};
    std::string_view version{};  // top level only
    bool subcommand_required = false;
    std::vector<Argument> arguments{};
    std::vector<Command> subcommands{};
    std::optional<Styles> styles{};  // top level only
    bool is_help_command = false;  // the automatic `help [COMMAND]...`

    const Command* find_subcommand(std::string_view wanted) const;
};

// The tree with the automatic entries added: the help flag on every command
// (except the help subcommand itself), the version flag where a version is
// set, and the help subcommand, listed last, under every command that has
// subcommands.
Command with_automatic_entries(Command declared);

}  // namespace korvalith::cli
