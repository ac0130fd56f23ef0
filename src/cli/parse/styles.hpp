// Terminal styling of the command-line interface: styled text of the
// parser's channel (help, version, error reports) rendered with the tree's
// style set (cli/command/style_set.hpp), the green and red of the program's
// own channel (results and messages), their escape sequences and the two
// colour decisions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command/style_set.hpp"

namespace korvalith::cli {

// The sequences that open a styled piece: bold, underline, then the
// foreground. Empty for a style without colour and effects.
std::string style_prefix(const Style& style);

// The sequence that closes a styled piece.
inline constexpr std::string_view RESET = "\x1b[0m";

// Text made of pieces, each with its role, rendered with or without escape
// sequences once the stream it goes to is known.
class StyledText {
public:
    StyledText& plain(std::string_view text) { return styled(Role::plain, text); }
    StyledText& styled(Role role, std::string_view text);
    StyledText& append(const StyledText& other);

    // The text with escape sequences around every styled piece when `colour`
    // is set, the bare text otherwise.
    std::string render(const Styles& styles, bool colour) const;

    bool empty() const { return pieces_.empty(); }

private:
    struct Piece {
        Role role;
        std::string text;
    };

    std::vector<Piece> pieces_;
};

// The values of the environment variables that switch colour. A variable that
// is not set is empty (nullopt); a set variable keeps its bytes as they are,
// which need not be valid UTF-8.
struct ColourEnvironment {
    std::optional<std::string> no_color{};
    std::optional<std::string> clicolor{};
    std::optional<std::string> clicolor_force{};
    std::optional<std::string> term{};
    std::optional<std::string> ci{};

    // The variables of this process.
    static ColourEnvironment from_process();
};

// Colour decision of the parser's channel, for one stream: `is_terminal` is
// the terminal answer for the stream the text is written to.
bool parser_colour_wanted(const ColourEnvironment& environment, bool is_terminal);

// The parser's decision for a descriptor of this process (its environment and
// isatty), taken anew for each report or help text.
bool parser_colour_enabled(int fd);

// Colour decision of the program's channel: `stdout_is_terminal` is the
// terminal answer for standard output, whatever stream the text goes to.
bool program_colour_wanted(const ColourEnvironment& environment, bool stdout_is_terminal);

// The program channel's decision for this process: taken at the first call,
// once, under a one-time guard, and kept for the rest of the process.
bool program_colour_enabled();

// The two colours of the program's channel.
enum class ProgramColour : std::uint8_t { green, red };

// The escape sequence that switches to the colour.
std::string_view program_sequence(ProgramColour colour) noexcept;

// The program channel's colour over a text that comes in pieces, as
// paint_program says, without copying the text: each piece is handed on
// (`emit`, which returns false to stop) with the colour sequence in front of
// the first, again after every reset the text holds (one split between two
// pieces too), and a reset after the last.
class ProgramPainter {
public:
    ProgramPainter(ProgramColour colour, bool enabled) noexcept
        : sequence_(program_sequence(colour)), enabled_(enabled) {}

    // False as soon as `emit` returns false.
    template <typename Emit>
    bool piece(std::string_view text, Emit&& emit) {
        if (!enabled_) return text.empty() || emit(text);
        if (!started_) {
            started_ = true;
            if (!emit(sequence_)) return false;
        }
        std::size_t start = 0;
        for (std::size_t at = 0; at < text.size();) {
            if (matched_ == 0) {
                at = text.find(RESET[0], at);
                if (at == std::string_view::npos) break;
            }
            if (text[at] != RESET[matched_]) {
                matched_ = 0;  // the byte is looked at again as a possible start
                continue;
            }
            ++at;
            if (++matched_ == RESET.size()) {
                matched_ = 0;
                if (!emit(text.substr(start, at - start)) || !emit(sequence_)) return false;
                start = at;
            }
        }
        return start == text.size() || emit(text.substr(start));
    }

    // The closing reset.
    template <typename Emit>
    bool end(Emit&& emit) {
        if (!enabled_) return true;
        if (!started_ && !emit(sequence_)) return false;
        started_ = true;
        return emit(RESET);
    }

private:
    std::string_view sequence_;
    bool enabled_;
    bool started_ = false;
    std::size_t matched_ = 0;  // bytes of a reset seen at the end of the text so far
};

// The text in the given colour when `colour` is set: the colour sequence in
// front, again after every reset inside the text so the colour holds to the
// end, and a reset behind. The bare text otherwise.
std::string paint_program(std::string_view text, ProgramColour colour_name, bool colour);

}  // namespace korvalith::cli
