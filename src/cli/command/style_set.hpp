// The style set the command tree carries on its top level: a foreground
// colour and effects for each role of the parser's output (headings, the
// "error:" label, the names the user types, placeholders, ...). How a style
// becomes escape sequences, and when colour is on, is the parser's side
// (cli/parse/styles.hpp).
#pragma once

#include <cstdint>
#include <optional>

namespace korvalith::cli {

// The eight basic terminal colours, in the order of their escape codes
// (ESC "[30m" to ESC "[37m").
enum class BasicColour : std::uint8_t { black, red, green, yellow, blue, magenta, cyan, white };

// An optional foreground colour and a set of effects.
struct Style {
    std::optional<BasicColour> foreground;
    bool bold = false;
    bool underline = false;
};

// The parts of the parser's output that carry a style of their own.
enum class Role : std::uint8_t {
    plain,          // no style at all
    header,         // section headings of help
    error,          // the "error:" label
    usage,          // the "Usage:" label
    literal,        // names the user types
    placeholder,    // <data>, [OPTIONS], <COMMAND> and the like
    valid,          // suggested correct input
    invalid,        // offending input
    context,        // bracketed annotations after help entries
    context_value,  // values inside those annotations
};

// A style per role. A role without a style of its own (the context value)
// falls back to the context style.
struct Styles {
    Style header;
    Style error;
    Style usage;
    Style literal;
    Style placeholder;
    Style valid;
    Style invalid;
    Style context;
    std::optional<Style> context_value;

    Style for_role(Role role) const;
};

// The style set of the whole command tree.
inline constexpr Styles CLI_STYLES = {
    .header = {BasicColour::yellow, true, true},
    .error = {BasicColour::red, true, false},
    .usage = {BasicColour::yellow, true, true},
    .literal = {BasicColour::green, false, false},
    .placeholder = {BasicColour::white, false, false},
    .valid = {BasicColour::green, true, true},
    .invalid = {BasicColour::red, true, false},
    .context = {std::nullopt, false, false},
    .context_value = std::nullopt,
};

}  // namespace korvalith::cli
