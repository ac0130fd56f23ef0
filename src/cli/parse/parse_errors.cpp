#include "cli/parse/parse_errors.hpp"

#include <utility>

#include "cli/parse/control_characters.hpp"
#include "cli/parse/similarity.hpp"

namespace korvalith::cli {

namespace {

// "before'what'after", with `what` in its role. `what` may be what the user
// typed, so its control characters are shown escaped.
StyledText quoted_message(std::string_view before, Role role, std::string_view what, std::string_view after) {
    StyledText text;
    text.plain(before).plain("'").styled(role, escape_control_characters(what)).plain("'").plain(after);
    return text;
}

Report error_at(const CommandPath& where, const StyledText& message, const std::vector<StyledText>& tips = {}) {
    return error_report(message, tips, usage_line(where), where.styles());
}

}  // namespace

Report unknown_argument_error(const CommandPath& where, std::string_view element,
                              std::optional<std::string_view> long_name, bool positional_open) {
    std::vector<StyledText> tips;
    if (long_name) {
        std::vector<std::string> longs;
        for (const Argument& argument : where.current().arguments) {
            if (!argument.long_name.empty()) longs.emplace_back(argument.long_name);
        }
        if (auto similar = most_similar(*long_name, longs)) {
            tips.push_back(quoted_message("a similar argument exists: ", Role::valid, "--" + *similar, ""));
        }
    }
    // A hyphen-led value (a negative shift, say) can still fill an open
    // positional when it follows the end-of-options marker.
    if (positional_open) {
        StyledText tip = quoted_message("to pass ", Role::invalid, element, " as a value, use ");
        tip.plain("'").styled(Role::valid, "-- " + escape_control_characters(element)).plain("'");
        tips.push_back(std::move(tip));
    }
    return error_at(where, quoted_message("unexpected argument ", Role::invalid, element, " found"), tips);
}

Report unexpected_argument_error(const CommandPath& where, std::string_view element) {
    return error_at(where, quoted_message("unexpected argument ", Role::invalid, element, " found"));
}

Report subcommand_after_marker_error(const CommandPath& where, std::string_view element) {
    StyledText tip;
    tip.plain("subcommand '").styled(Role::valid, element).plain("' exists; to use it, remove the '");
    tip.styled(Role::invalid, "--").plain("' before it");
    return error_at(where, quoted_message("unexpected argument ", Role::invalid, element, " found"), {tip});
}

Report unrecognized_subcommand_error(const CommandPath& where, std::string_view element) {
    std::vector<std::string> names;
    for (const Command& sub : where.current().subcommands) names.emplace_back(sub.name);
    std::vector<StyledText> tips;
    if (auto similar = most_similar(element, names)) {
        tips.push_back(quoted_message("a similar subcommand exists: ", Role::valid, *similar, ""));
    }
    return error_at(where, quoted_message("unrecognized subcommand ", Role::invalid, element, ""), tips);
}

Report value_for_flag_error(const CommandPath& where, std::string_view value, std::string_view shown) {
    StyledText message = quoted_message("unexpected value ", Role::invalid, value, "");
    message.append(quoted_message(" for ", Role::literal, shown, " found; no more were expected"));
    return error_at(where, message);
}

Report repeated_argument_error(const CommandPath& where, std::string_view shown) {
    return error_at(where, quoted_message("the argument ", Role::invalid, shown, " cannot be used multiple times"));
}

Report missing_value_error(const CommandPath& where, std::string_view shown) {
    return error_at(where, quoted_message("a value is required for ", Role::literal, shown, " but none was supplied"));
}

Report invalid_value_error(const CommandPath& where, std::string_view text, std::string_view placeholder,
                           std::string_view reason) {
    StyledText message = quoted_message("invalid value ", Role::invalid, text, "");
    message.append(quoted_message(" for ", Role::literal, placeholder, ": " + std::string(reason)));
    return error_at(where, message);
}

Report missing_subcommand_error(const CommandPath& where) {
    const Command& command = where.current();
    StyledText message = quoted_message("", Role::invalid, where.command_line(),
                                        " requires a subcommand but one was not provided");
    message.plain("\n  [subcommands: ");
    for (std::size_t i = 0; i < command.subcommands.size(); ++i) {
        if (i != 0) message.plain(", ");
        message.styled(Role::valid, command.subcommands[i].name);
    }
    message.plain("]");
    return error_at(where, message);
}

Report missing_positionals_error(const CommandPath& where, const std::vector<std::string>& placeholders) {
    StyledText message;
    message.plain("the following required arguments were not provided:");
    for (const std::string& placeholder : placeholders) message.plain("\n  ").styled(Role::valid, placeholder);
    return error_at(where, message);
}

}  // namespace korvalith::cli
