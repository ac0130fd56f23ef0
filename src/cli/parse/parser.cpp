#include "cli/parse/parser.hpp"

#include <algorithm>
#include <utility>

#include "cli/parse/control_characters.hpp"
#include "cli/parse/help.hpp"
#include "cli/parse/similarity.hpp"

namespace korvalith::cli {

namespace {

// Reads a decimal integer with an optional sign into 64 bits, digit by digit
// from the left; the first problem met is the reason given.
std::expected<std::int64_t, std::string_view> parse_decimal(std::string_view text) {
    if (text.empty()) return std::unexpected("cannot parse integer from empty string");
    constexpr std::string_view INVALID_DIGIT = "invalid digit found in string";
    std::size_t i = 0;
    const bool negative = text[0] == '-';
    if (text[0] == '+' || text[0] == '-') {
        if (text.size() == 1) return std::unexpected(INVALID_DIGIT);
        i = 1;
    }
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return std::unexpected(INVALID_DIGIT);
        const int digit = c - '0';
        const bool overflow = __builtin_mul_overflow(value, 10, &value) ||
                              (negative ? __builtin_sub_overflow(value, digit, &value)
                                        : __builtin_add_overflow(value, digit, &value));
        if (overflow) {
            return std::unexpected(negative ? "number too small to fit in target type"
                                            : "number too large to fit in target type");
        }
    }
    return value;
}

// An element that stands for a flag or an option rather than a value: it
// begins with a hyphen and is more than the hyphen alone.
bool looks_like_flag(std::string_view element) {
    return element.size() > 1 && element[0] == '-';
}

// "before'what'after", with `what` in its role. `what` may be what the user
// typed, so its control characters are shown escaped.
StyledText quoted_message(std::string_view before, Role role, std::string_view what, std::string_view after) {
    StyledText text;
    text.plain(before).plain("'").styled(role, escape_control_characters(what)).plain("'").plain(after);
    return text;
}

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

    Report error_at(const CommandPath& where, const StyledText& message, const std::vector<StyledText>& tips = {}) const {
        return error_report(message, tips, usage_line(where), path_.styles());
    }
    Report error(const StyledText& message, const std::vector<StyledText>& tips = {}) const {
        return error_at(path_, message, tips);
    }

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
        return unknown_argument(element, name);
    }

    // -s, -sk, -oFILE, -o FILE, -so FILE
    std::optional<Report> short_cluster(std::string_view element) {
        for (std::size_t i = 1; i < element.size(); ++i) {
            const Argument* argument = find_short(element[i]);
            if (argument == nullptr) return unknown_argument(element, std::nullopt);
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
            if (sub != nullptr) {
                StyledText tip;
                tip.plain("subcommand '").styled(Role::valid, element).plain("' exists; to use it, remove the '");
                tip.styled(Role::invalid, "--").plain("' before it");
                return error(quoted_message("unexpected argument ", Role::invalid, element, " found"), {tip});
            }
            return unrecognized_subcommand(path_, element);
        }
        const Argument* slot = open_positional();
        if (slot == nullptr) return error(quoted_message("unexpected argument ", Role::invalid, element, " found"));
        if (!slot->takes_all_remaining) ++positionals_filled_;
        return assign(*slot, element);
    }

    // Applies a flag or an option met on the command line.
    std::optional<Report> use(const Argument& argument, std::optional<std::string_view> attached) {
        const std::string shown = argument.display_name();
        if (argument.form == ArgumentForm::flag && attached) {
            StyledText message = quoted_message("unexpected value ", Role::invalid, *attached, "");
            message.append(quoted_message(" for ", Role::literal, shown, " found; no more were expected"));
            return error(message);
        }
        if (argument.automatic == AutomaticEntry::help_flag) {
            return information_report(ReportKind::help, help_text(path_), path_.styles());
        }
        if (argument.automatic == AutomaticEntry::version_flag) {
            return information_report(ReportKind::version, version_text(path_.top()), path_.styles());
        }
        if (std::find(seen_.begin(), seen_.end(), &argument) != seen_.end()) {
            return error(quoted_message("the argument ", Role::invalid, shown, " cannot be used multiple times"));
        }
        seen_.push_back(&argument);
        if (argument.form == ArgumentForm::flag) {
            matches_.flags.push_back(argument.id);
            return std::nullopt;
        }
        std::optional<std::string_view> value = attached;
        if (!value && next_ < arguments_.size() && !looks_like_flag(arguments_[next_])) value = arguments_[next_++];
        if (!value || value->empty()) {
            return error(quoted_message("a value is required for ", Role::literal, shown, " but none was supplied"));
        }
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
            if (!reason.empty()) {
                StyledText message = quoted_message("invalid value ", Role::invalid, text, "");
                message.append(quoted_message(" for ", Role::literal, argument.placeholder(), ": " + reason));
                return error(message);
            }
            matched.integer = *parsed;
        }
        matches_.values.push_back(std::move(matched));
        return std::nullopt;
    }

    Report unknown_argument(std::string_view element, std::optional<std::string_view> long_name) const {
        std::vector<StyledText> tips;
        if (long_name) {
            std::vector<std::string> longs;
            for (const Argument& argument : current().arguments) {
                if (!argument.long_name.empty()) longs.emplace_back(argument.long_name);
            }
            if (auto similar = most_similar(*long_name, longs)) {
                tips.push_back(quoted_message("a similar argument exists: ", Role::valid, "--" + *similar, ""));
            }
        }
        // A hyphen-led value (a negative shift, say) can still fill an open
        // positional when it follows the end-of-options marker.
        if (open_positional() != nullptr) {
            StyledText tip = quoted_message("to pass ", Role::invalid, element, " as a value, use ");
            tip.plain("'").styled(Role::valid, "-- " + escape_control_characters(element)).plain("'");
            tips.push_back(std::move(tip));
        }
        return error(quoted_message("unexpected argument ", Role::invalid, element, " found"), tips);
    }

    Report unrecognized_subcommand(const CommandPath& where, std::string_view element) const {
        std::vector<std::string> names;
        for (const Command& sub : where.current().subcommands) names.emplace_back(sub.name);
        std::vector<StyledText> tips;
        if (auto similar = most_similar(element, names)) {
            tips.push_back(quoted_message("a similar subcommand exists: ", Role::valid, *similar, ""));
        }
        return error_at(where, quoted_message("unrecognized subcommand ", Role::invalid, element, ""), tips);
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
            StyledText message = quoted_message("", Role::invalid, path_.command_line(),
                                                " requires a subcommand but one was not provided");
            message.plain("\n  [subcommands: ");
            for (std::size_t i = 0; i < command.subcommands.size(); ++i) {
                if (i != 0) message.plain(", ");
                message.styled(Role::valid, command.subcommands[i].name);
            }
            message.plain("]");
            return std::unexpected(error(message));
        }
        StyledText missing;
        std::size_t index = 0;
        for (const Argument& argument : command.arguments) {
            if (argument.form != ArgumentForm::positional) continue;
            if (index++ >= positionals_filled_ && argument.required) {
                missing.plain("\n  ").styled(Role::valid, argument.placeholder());
            }
        }
        if (!missing.empty()) {
            StyledText message;
            message.plain("the following required arguments were not provided:").append(missing);
            return std::unexpected(error(message));
        }
        return matches_;
    }

    // `help [COMMAND]...`: the help of the command reached by following the
    // names from the command that holds this help subcommand.
    Report help_for_named_commands() const {
        CommandPath target = path_;
        target.commands.pop_back();
        for (const MatchedValue& name : matches_.values) {
            const Command* sub = target.current().find_subcommand(name.text);
            if (sub == nullptr) return unrecognized_subcommand(target, name.text);
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

std::string_view Matches::group() const { return commands.empty() ? std::string_view() : commands[0]; }

std::string_view Matches::action() const { return commands.size() < 2 ? std::string_view() : commands[1]; }

bool Matches::flag(const ArgumentHandle<bool>& handle) const { return given(handle.argument); }

bool Matches::given(const Argument& argument) const {
    if (argument.form == ArgumentForm::flag) return std::find(flags.begin(), flags.end(), argument.id) != flags.end();
    return find(argument.id) != nullptr;
}

const MatchedValue* Matches::find(std::string_view id) const {
    for (const MatchedValue& matched : values) {
        if (matched.id == id) return &matched;
    }
    return nullptr;
}

ParseResult parse_arguments(const Command& tree, std::span<const std::string> arguments) {
    const Command complete = with_automatic_entries(tree);
    return Parser(complete, arguments).run();
}

}  // namespace korvalith::cli
