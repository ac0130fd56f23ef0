#include "cli/command/command_tree.hpp"

#include <utility>

namespace korvalith::cli {

namespace {

constexpr Argument HELP_FLAG{.id = "help", .form = ArgumentForm::flag, .short_name = 'h', .long_name = "help",
                             .help = "Print help", .automatic = AutomaticEntry::help_flag};

constexpr Argument VERSION_FLAG{.id = "version", .form = ArgumentForm::flag, .short_name = 'V',
                                .long_name = "version", .help = "Print version",
                                .automatic = AutomaticEntry::version_flag};

Command help_subcommand() {
    Command help{.name = "help", .about = "Print this message or the help of the given subcommand(s)",
                 .is_help_command = true};
    help.arguments.push_back({.id = "COMMAND", .form = ArgumentForm::positional,
                              .help = "Print help for the subcommand(s)", .value_type = ValueType::text,
                              .takes_all_remaining = true});
    return help;
}

}  // namespace

std::string Argument::placeholder() const {
    std::string text = required ? "<" + std::string(id) + ">" : "[" + std::string(id) + "]";
    if (takes_all_remaining) text += "...";
    return text;
}

std::string Argument::display_name() const {
    if (form == ArgumentForm::positional) return placeholder();
    std::string text = long_name.empty() ? std::string{'-', short_name} : "--" + std::string(long_name);
    if (form == ArgumentForm::option) text += " <" + std::string(id) + ">";
    return text;
}

const Command* Command::find_subcommand(std::string_view wanted) const {
    for (const Command& sub : subcommands) {
        if (sub.name == wanted) return &sub;
    }
    return nullptr;
}

Command with_automatic_entries(Command declared) {
    // A tree that already carries its automatic entries is returned as it is.
    for (const Argument& argument : declared.arguments) {
        if (argument.automatic != AutomaticEntry::none) return declared;
    }
    if (declared.is_help_command) return declared;
    for (Command& sub : declared.subcommands) sub = with_automatic_entries(std::move(sub));
    declared.arguments.push_back(HELP_FLAG);
    if (!declared.version.empty()) declared.arguments.push_back(VERSION_FLAG);
    if (!declared.subcommands.empty()) declared.subcommands.push_back(help_subcommand());
    return declared;
}

}  // namespace korvalith::cli
