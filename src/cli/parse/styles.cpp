#include "cli/parse/styles.hpp"

#include <unistd.h>

#include <cstdlib>
#include <mutex>

#include "common/utf8.hpp"

namespace korvalith::cli {

namespace {

constexpr std::string_view BOLD = "\x1b[1m";
constexpr std::string_view UNDERLINE = "\x1b[4m";

std::optional<std::string> read_variable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

bool is_utf8(const std::string& text) { return is_valid_utf8(as_byte_view(text)); }

bool set_and_not_empty(const std::optional<std::string>& variable) {
    return variable.has_value() && !variable->empty();
}

}  // namespace

std::string style_prefix(const Style& style) {
    std::string prefix;
    if (style.bold) prefix += BOLD;
    if (style.underline) prefix += UNDERLINE;
    if (style.foreground) {
        prefix += "\x1b[3";
        prefix += static_cast<char>('0' + static_cast<int>(*style.foreground));
        prefix += 'm';
    }
    return prefix;
}

StyledText& StyledText::styled(Role role, std::string_view text) {
    if (text.empty()) return *this;
    // Neighbouring pieces of one role merge, so a styled run is opened once.
    if (!pieces_.empty() && pieces_.back().role == role) {
        pieces_.back().text += text;
    } else {
        pieces_.push_back({role, std::string(text)});
    }
    return *this;
}

StyledText& StyledText::append(const StyledText& other) {
    for (const Piece& piece : other.pieces_) styled(piece.role, piece.text);
    return *this;
}

std::string StyledText::render(const Styles& styles, bool colour) const {
    std::string out;
    for (const Piece& piece : pieces_) {
        const std::string prefix = colour ? style_prefix(styles.for_role(piece.role)) : std::string();
        if (prefix.empty()) {
            out += piece.text;
        } else {
            out += prefix;
            out += piece.text;
            out += RESET;
        }
    }
    return out;
}

ColourEnvironment ColourEnvironment::from_process() {
    return {
        .no_color = read_variable("NO_COLOR"),
        .clicolor = read_variable("CLICOLOR"),
        .clicolor_force = read_variable("CLICOLOR_FORCE"),
        .term = read_variable("TERM"),
        .ci = read_variable("CI"),
    };
}

bool parser_colour_wanted(const ColourEnvironment& environment, bool is_terminal) {
    if (set_and_not_empty(environment.no_color)) return false;
    if (set_and_not_empty(environment.clicolor_force)) return true;
    if (environment.clicolor && *environment.clicolor == "0") return false;
    if (!is_terminal) return false;
    if (environment.term && *environment.term != "dumb") return true;
    if (environment.clicolor) return true;
    return environment.ci.has_value();
}

bool parser_colour_enabled(int fd) {
    return parser_colour_wanted(ColourEnvironment::from_process(), isatty(fd) == 1);
}

bool program_colour_wanted(const ColourEnvironment& environment, bool stdout_is_terminal) {
    const auto& force = environment.clicolor_force;
    if (force && is_utf8(*force) && *force != "0") return true;
    if (environment.no_color && is_utf8(*environment.no_color)) return false;
    const auto& clicolor = environment.clicolor;
    const bool clicolor_allows = !clicolor || !is_utf8(*clicolor) || *clicolor != "0";
    return clicolor_allows && stdout_is_terminal;
}

bool program_colour_enabled() {
    static std::once_flag decided;
    static bool enabled = false;
    std::call_once(decided, [] {
        enabled = program_colour_wanted(ColourEnvironment::from_process(), isatty(STDOUT_FILENO) == 1);
    });
    return enabled;
}

std::string_view program_sequence(ProgramColour colour) noexcept {
    return colour == ProgramColour::green ? "\x1b[32m" : "\x1b[31m";
}

std::string paint_program(std::string_view text, ProgramColour colour_name, bool colour) {
    std::string out;
    out.reserve(text.size());
    const auto append = [&out](std::string_view piece) {
        out += piece;
        return true;
    };
    ProgramPainter painter(colour_name, colour);
    painter.piece(text, append);
    painter.end(append);
    return out;
}

}  // namespace korvalith::cli
