#include "cli/parse/parser.hpp"

#include <algorithm>
#include <utility>

#include "cli/parse/decimal.hpp"
#include "cli/parse/help.hpp"
#include "cli/parse/parse_errors.hpp"

namespace korvalith::cli {

namespace {

// An element that stands for a flag or an option rather than a value: it
// begins with a hyphen and is more than the hyphen alone.
bool looks_like_flag(std::string_view element) {
    return element.size() > 1 && element[0] == '-';
}

// One walk over an argument list: each element is a flag or option, a
// subcommand that is entered, or the value of the next open positional; the
// walk ends with the matches of the action reached or with the report (help,
// version, an error) that ends the run.
class Parser {
public:
    Parser(const Command& complete, std::span<const std::string> arguments)
        : arguments_(arguments),
          path_{.program = program_name(arguments.empty() ? std::nullopt : std::optional<std::string_view>(arguments[0]),
                                        complete),
                .commands = {&complete}} {}

    ParseResult run() {
        while (next_ < arguments_.size()) {
            const std::string_view element = arguments_[next_++];
            std::optional<Report> ending;
            if (!after_marker_ && element == "--") {
                after_marker_ = true;
            } else if (!after_marker_ && element.starts_with("--")) {
                ending = long_argument(element);
            } else if (!after_marker_ && looks_like_flag(element)) {
                ending = short_cluster(element);
            } else {
                ending = plain_element(element);
            }
            if (ending) return std::unexpected(std::move(*ending));
        }
        return finish();
    }

private:
    const Command& current() const { return path_.current(); }

    // --name, --name=value
    std::optional<Report> long_argument(std::string_view element) {
        const std::string_view body = element.substr(2);
        const std::size_t equals = body.find('=');
        const std::string_view name = body.substr(0, equals);
        std::optional<std::string_view> attached;
        if (equals != std::string_view::npos) attached = body.substr(equals + 1);
        for (const Argument& argument : current().arguments) {
            if (!argument.long_name.empty() && argument.long_name == name) return use(argument, attached);
        }
        return unknown_argument_error(path_, element, name, open_positional() != nullptr);
    }

    // -s, -sk, -oFILE, -o FILE, -so FILE
    std::optional<Report> short_cluster(std::string_view element) {
        for (std::size_t i = 1; i < element.size(); ++i) {
            const Argument* argument = find_short(element[i]);
            if (argument == nullptr) {
                return unknown_argument_error(path_, element, std::nullopt, open_positional() != nullptr);
            }
            if (argument->form == ArgumentForm::option) {
                std::optional<std::string_view> attached;
                std::string_view rest = element.substr(i + 1);
                if (!rest.empty()) attached = rest.starts_with('=') ? rest.substr(1) : rest;
                return use(*argument, attached);
            }
            if (auto ending = use(*argument, std::nullopt)) return ending;
        }
        return std::nullopt;
    }

    // A subcommand name, or the value of the next positional.
    std::optional<Report> plain_element(std::string_view element) {
        const Command& command = current();
        if (!command.subcommands.empty()) {
            const Command* sub = command.find_subcommand(element);
            if (sub != nullptr && !after_marker_) {
                enter(*sub);
                return std::nullopt;
            }
            if (sub != nullptr) return subcommand_after_marker_error(path_, element);
            return unrecognized_subcommand_error(path_, element);
        }
        const Argument* slot = open_positional();
        if (slot == nullptr) return unexpected_argument_error(path_, element);
        if (!slot->takes_all_remaining) ++positionals_filled_;
        return assign(*slot, element);
    }

    // Applies a flag or an option met on the command line.
    std::optional<Report> use(const Argument& argument, std::optional<std::string_view> attached) {
        const std::string shown = argument.display_name();
        if (argument.form == ArgumentForm::flag && attached) return value_for_flag_error(path_, *attached, shown);
        if (argument.automatic == AutomaticEntry::help_flag) {
            return information_report(ReportKind::help, help_text(path_), path_.styles());
        }
        if (argument.automatic == AutomaticEntry::version_flag) {
            return information_report(ReportKind::version, version_text(path_.top()), path_.styles());
        }
        if (std::find(seen_.begin(), seen_.end(), &argument) != seen_.end()) {
            return repeated_argument_error(path_, shown);
        }
        seen_.push_back(&argument);
        if (argument.form == ArgumentForm::flag) {
            matches_.flags.push_back(argument.id);
            return std::nullopt;
        }
        std::optional<std::string_view> value = attached;
        if (!value && next_ < arguments_.size() && !looks_like_flag(arguments_[next_])) value = arguments_[next_++];
        if (!value || value->empty()) return missing_value_error(path_, shown);
        return assign(argument, *value);
    }

    // Stores a value, checking integer values against their range.
    std::optional<Report> assign(const Argument& argument, std::string_view text) {
        MatchedValue matched{.id = argument.id, .text = std::string(text), .integer = std::nullopt};
        if (argument.value_type == ValueType::shift) {
            std::string reason;
            const auto parsed = parse_decimal(text);
            if (!parsed) {
                reason = parsed.error();
            } else if (*parsed < SHIFT_MIN || *parsed > SHIFT_MAX) {
                reason = std::to_string(*parsed) + " is not in " + std::to_string(SHIFT_MIN) + "..=" +
                         std::to_string(SHIFT_MAX);
            }
            if (!reason.empty()) return invalid_value_error(path_, text, argument.placeholder(), reason);
            matched.integer = *parsed;
        }
        matches_.values.push_back(std::move(matched));
        return std::nullopt;
    }

    const Argument* find_short(char letter) const {
        for (const Argument& argument : current().arguments) {
            if (argument.short_name != '\0' && argument.short_name == letter) return &argument;
        }
        return nullptr;
    }

    // The positional the next value goes to, if one is still open.
    const Argument* open_positional() const {
        std::size_t index = 0;
        const Argument* last = nullptr;
        for (const Argument& argument : current().arguments) {
            if (argument.form != ArgumentForm::positional) continue;
            if (index++ == positionals_filled_) return &argument;
            last = &argument;
        }
        return last != nullptr && last->takes_all_remaining ? last : nullptr;
    }

    void enter(const Command& sub) {
        path_.commands.push_back(&sub);
        if (!sub.is_help_command) matches_.commands.push_back(sub.name);
        after_marker_ = false;
        positionals_filled_ = 0;
        seen_.clear();
    }

    ParseResult finish() const {
        const Command& command = current();
        if (command.is_help_command) return std::unexpected(help_for_named_commands());
        if (!command.subcommands.empty() && command.subcommand_required) {
            return std::unexpected(missing_subcommand_error(path_));
        }
        std::vector<std::string> missing;
        std::size_t index = 0;
        for (const Argument& argument : command.arguments) {
            if (argument.form != ArgumentForm::positional) continue;
            if (index++ >= positionals_filled_ && argument.required) missing.push_back(argument.placeholder());
        }
        if (!missing.empty()) return std::unexpected(missing_positionals_error(path_, missing));
        return matches_;
    }

    // `help [COMMAND]...`: the help of the command reached by following the
    // names from the command that holds this help subcommand.
    Report help_for_named_commands() const {
        CommandPath target = path_;
        target.commands.pop_back();
        for (const MatchedValue& name : matches_.values) {
            const Command* sub = target.current().find_subcommand(name.text);
            if (sub == nullptr) return unrecognized_subcommand_error(target, name.text);
            target.commands.push_back(sub);
        }
        return information_report(ReportKind::help, help_text(target), path_.styles());
    }

    std::span<const std::string> arguments_;
    CommandPath path_;
    std::size_t next_ = 1;  // the program name is not parsed
    bool after_marker_ = false;
    std::size_t positionals_filled_ = 0;
    std::vector<const Argument*> seen_;
    Matches matches_;
};

}  // namespace

ParseResult parse_arguments(const Command& tree, std::span<const std::string> arguments) {
    const Command complete = with_automatic_entries(tree);
    return Parser(complete, arguments).run();
}

}  // namespace korvalith::cli
