// Escape sequences of both channels and both colour decisions, with the
// environment and the terminal answer given by the test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "cli/command/build_cli.hpp"
#include "cli/parse/help.hpp"
#include "cli/parse/styles.hpp"

namespace korvalith::cli {
namespace {

TEST(CliStyles, ParserColourDecision) {
    const ColourEnvironment none{};
    EXPECT_FALSE(parser_colour_wanted(none, true));  // terminal, but nothing says it can colour
    EXPECT_TRUE(parser_colour_wanted({.term = "xterm-256color"}, true));
    EXPECT_FALSE(parser_colour_wanted({.term = "xterm-256color"}, false));
    EXPECT_TRUE(parser_colour_wanted({.term = ""}, true));
    EXPECT_FALSE(parser_colour_wanted({.term = "dumb"}, true));
    EXPECT_TRUE(parser_colour_wanted({.clicolor = "1", .term = "dumb"}, true));
    EXPECT_TRUE(parser_colour_wanted({.ci = ""}, true));
    EXPECT_FALSE(parser_colour_wanted({.clicolor = "0", .term = "xterm"}, true));
    EXPECT_TRUE(parser_colour_wanted({.clicolor = "0", .clicolor_force = "0"}, false));
    EXPECT_FALSE(parser_colour_wanted({.clicolor = "1", .clicolor_force = ""}, false));
    EXPECT_TRUE(parser_colour_wanted({.no_color = "", .term = "xterm"}, true));
    EXPECT_FALSE(parser_colour_wanted({.no_color = "1", .clicolor_force = "1", .term = "xterm"}, true));
}

TEST(CliStyles, ProgramColourDecision) {
    EXPECT_TRUE(program_colour_wanted({}, true));
    EXPECT_FALSE(program_colour_wanted({}, false));
    EXPECT_TRUE(program_colour_wanted({.term = "dumb"}, true));
    EXPECT_FALSE(program_colour_wanted({.no_color = ""}, true));
    EXPECT_FALSE(program_colour_wanted({.no_color = "0"}, true));
    EXPECT_TRUE(program_colour_wanted({.no_color = "\xff"}, true));  // not UTF-8: ignored
    EXPECT_TRUE(program_colour_wanted({.clicolor_force = "1"}, false));
    EXPECT_TRUE(program_colour_wanted({.no_color = "1", .clicolor_force = ""}, false));
    EXPECT_FALSE(program_colour_wanted({.clicolor_force = "0"}, false));
    EXPECT_FALSE(program_colour_wanted({.clicolor_force = "\xff"}, false));
    EXPECT_FALSE(program_colour_wanted({.clicolor = "0"}, true));
    EXPECT_TRUE(program_colour_wanted({.clicolor = "\xff"}, true));
    EXPECT_TRUE(program_colour_wanted({.clicolor = ""}, true));
}

TEST(CliStyles, ProgramDecisionIsTakenOnce) {
    const bool first = program_colour_enabled();
    // Flip every variable towards the opposite answer: the decision stays.
    if (first) {
        setenv("NO_COLOR", "1", 1);
        unsetenv("CLICOLOR_FORCE");
    } else {
        setenv("CLICOLOR_FORCE", "1", 1);
    }
    EXPECT_EQ(program_colour_enabled(), first);
}

TEST(CliStyles, ProgramChannelSequences) {
    EXPECT_EQ(paint_program("bcd", ProgramColour::green, true), "\x1b[32mbcd\x1b[0m");
    EXPECT_EQ(paint_program("bcd", ProgramColour::green, false), "bcd");
    EXPECT_EQ(paint_program("a\x1b[0mb\x1b[0m", ProgramColour::red, true),
              "\x1b[31ma\x1b[0m\x1b[31mb\x1b[0m\x1b[31m\x1b[0m");
    EXPECT_EQ(paint_program("", ProgramColour::red, true), "\x1b[31m\x1b[0m");
}

TEST(CliStyles, ProgramPainterOverPiecesPaintsAsOverTheWhole) {
    // A reset split between two pieces anywhere still has the colour
    // repeated after it; every cut of the text gives the same bytes.
    const std::string text = "x\x1b[0m\x1b\x1b[0my\x1b[\x1b[0";
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        for (bool colour : {true, false}) {
            std::string out;
            const auto append = [&out](std::string_view piece) {
                out += piece;
                return true;
            };
            ProgramPainter painter(ProgramColour::green, colour);
            painter.piece(std::string_view(text).substr(0, cut), append);
            painter.piece(std::string_view(text).substr(cut), append);
            painter.end(append);
            EXPECT_EQ(out, paint_program(text, ProgramColour::green, colour)) << "cut at " << cut;
        }
    }
}

TEST(CliStyles, ParserChannelSequences) {
    EXPECT_EQ(style_prefix(CLI_STYLES.header), "\x1b[1m\x1b[4m\x1b[33m");
    EXPECT_EQ(style_prefix(CLI_STYLES.error), "\x1b[1m\x1b[31m");
    EXPECT_EQ(style_prefix(CLI_STYLES.placeholder), "\x1b[37m");
    EXPECT_EQ(style_prefix(CLI_STYLES.for_role(Role::context_value)), "");

    StyledText text;
    text.styled(Role::context, "[x]").plain(" ").styled(Role::literal, "-s").styled(Role::valid, "ok");
    EXPECT_EQ(text.render(CLI_STYLES, true), "[x] \x1b[32m-s\x1b[0m\x1b[1m\x1b[4m\x1b[32mok\x1b[0m");
    EXPECT_EQ(text.render(CLI_STYLES, false), "[x] -sok");
}

TEST(CliStyles, StyledUsageAndHeadings) {
    const Command tree = with_automatic_entries(build_cli());
    const Command* caesar = tree.find_subcommand("caesar");
    const CommandPath path{.program = "k", .commands = {&tree, caesar, caesar->find_subcommand("encrypt")}};
    EXPECT_EQ(usage_line(path).render(CLI_STYLES, true),
              "\x1b[1m\x1b[4m\x1b[33mUsage:\x1b[0m \x1b[32mk caesar encrypt\x1b[0m \x1b[37m[OPTIONS]\x1b[0m "
              "\x1b[37m<data>\x1b[0m \x1b[37m<shift>\x1b[0m");
    const std::string help = help_text(path).render(CLI_STYLES, true);
    EXPECT_NE(help.find("\n\x1b[1m\x1b[4m\x1b[33mArguments:\x1b[0m\n  \x1b[37m<data>\x1b[0m   Data"), std::string::npos);
    EXPECT_NE(help.find("\n  \x1b[32m-o\x1b[0m, \x1b[32m--output\x1b[0m \x1b[37m<output>\x1b[0m  Sets"), std::string::npos);
}

}  // namespace
}  // namespace korvalith::cli
