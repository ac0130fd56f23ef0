#include "cli/parse/help.hpp"

#include <algorithm>

#include "cli/parse/control_characters.hpp"

namespace korvalith::cli {

namespace {

constexpr std::string_view INDENT = "  ";
constexpr std::size_t GAP = 2;  // spaces between an entry and its help text

// One line of a help section: the entry as styled pieces, its width, and the
// text shown in the aligned column.
struct Entry {
    StyledText name{};
    std::size_t width = 0;
    std::string help{};
};

// Number of characters (code points) of UTF-8 text, for alignment.
std::size_t display_width(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

Entry entry(Role role, std::string_view name, std::string_view help) {
    Entry line{.width = display_width(name), .help = std::string(help)};
    line.name.styled(role, name);
    return line;
}

// "-o, --output <output>"; a long-only entry is indented as if it had a short
// letter so the long names line up.
Entry option_entry(const Argument& argument) {
    Entry line{.help = std::string(argument.help)};
    std::string plain;
    auto add = [&](Role role, std::string_view text) {
        line.name.styled(role, text);
        plain += text;
    };
    if (argument.short_name != '\0') {
        add(Role::literal, std::string{'-', argument.short_name});
        if (!argument.long_name.empty()) add(Role::plain, ", ");
    } else {
        add(Role::plain, "    ");
    }
    if (!argument.long_name.empty()) add(Role::literal, "--" + std::string(argument.long_name));
    if (argument.form == ArgumentForm::option) {
        add(Role::plain, " ");
        add(Role::placeholder, "<" + std::string(argument.id) + ">");
    }
    line.width = display_width(plain);
    return line;
}

void write_section(StyledText& out, std::string_view heading, const std::vector<Entry>& entries) {
    if (entries.empty()) return;
    std::size_t widest = 0;
    for (const Entry& line : entries) widest = std::max(widest, line.width);
    out.plain("\n").styled(Role::header, std::string(heading) + ":").plain("\n");
    for (const Entry& line : entries) {
        out.plain(INDENT).append(line.name);
        if (!line.help.empty()) {
            out.plain(std::string(widest - line.width + GAP, ' ')).plain(line.help);
        }
        out.plain("\n");
    }
}

bool has_own_options(const Command& command) {
    return std::any_of(command.arguments.begin(), command.arguments.end(), [](const Argument& argument) {
        return argument.form != ArgumentForm::positional && argument.automatic == AutomaticEntry::none;
    });
}

}  // namespace

const Styles& CommandPath::styles() const {
    return top().styles ? *top().styles : CLI_STYLES;
}

std::string CommandPath::command_line() const {
    std::string line = program;
    for (std::size_t i = 1; i < commands.size(); ++i) {
        line += ' ';
        line += commands[i]->name;
    }
    return line;
}

std::string program_name(std::optional<std::string_view> first_element, const Command& top) {
    if (!first_element) return std::string(top.name);
    std::string_view path = *first_element;
    while (!path.empty() && path.back() == '/') path.remove_suffix(1);
    const std::size_t slash = path.rfind('/');
    const std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
    if (last.empty() || last == "." || last == "..") return std::string(top.name);
    // Shown in usage lines and reports: a crafted name must not drive the terminal.
    return escape_control_characters(last);
}

StyledText usage_line(const CommandPath& path) {
    const Command& command = path.current();
    StyledText line;
    line.styled(Role::usage, "Usage:").plain(" ").styled(Role::literal, path.command_line());
    if (has_own_options(command)) line.plain(" ").styled(Role::placeholder, "[OPTIONS]");
    for (const Argument& argument : command.arguments) {
        if (argument.form == ArgumentForm::positional) line.plain(" ").styled(Role::placeholder, argument.placeholder());
    }
    if (!command.subcommands.empty()) line.plain(" ").styled(Role::placeholder, "<COMMAND>");
    return line;
}

StyledText help_text(const CommandPath& path) {
    const Command& command = path.current();
    StyledText out;
    if (!command.about.empty()) out.plain(command.about).plain("\n\n");
    out.append(usage_line(path)).plain("\n");

    std::vector<Entry> commands;
    for (const Command& sub : command.subcommands) commands.push_back(entry(Role::literal, sub.name, sub.about));
    std::vector<Entry> positionals;
    std::vector<Entry> options;
    for (const Argument& argument : command.arguments) {
        if (argument.form == ArgumentForm::positional) {
            positionals.push_back(entry(Role::placeholder, argument.placeholder(), argument.help));
        } else {
            options.push_back(option_entry(argument));
        }
    }
    write_section(out, "Commands", commands);
    write_section(out, "Arguments", positionals);
    write_section(out, "Options", options);
    return out;
}

StyledText version_text(const Command& top) {
    StyledText out;
    out.plain(top.name).plain(" ").plain(top.version).plain("\n");
    return out;
}

}  // namespace korvalith::cli
