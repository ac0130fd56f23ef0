// Error report layout, the program's own reports and writes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

#include "cli/command/build_cli.hpp"
#include "cli/command/command_tree.hpp"
#include "cli/parse/control_characters.hpp"
#include "cli/parse/parser.hpp"
#include "cli/run/reports.hpp"

namespace korvalith::cli {
namespace {

TEST(CliReports, ColouredErrorReport) {
    ParseResult result = parse_arguments(build_cli(), std::vector<std::string>{"k", "xyz"});
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().render(true),
              "\x1b[1m\x1b[31merror:\x1b[0m unrecognized subcommand '\x1b[1m\x1b[31mxyz\x1b[0m'\n\n"
              "\x1b[1m\x1b[4m\x1b[33mUsage:\x1b[0m \x1b[32mk\x1b[0m \x1b[37m<COMMAND>\x1b[0m\n\n"
              "For more information, try '\x1b[32m--help\x1b[0m'.\n");
}

TEST(CliReports, ProgramErrorUsesTopLevelOfUntouchedTree) {
    const Report report = program_error_report("Could not read file: missing.txt", build_cli());
    EXPECT_EQ(report.stream, Stream::standard_error);
    EXPECT_EQ(report.status, 2);
    EXPECT_EQ(report.render(false),
              "error: Could not read file: missing.txt\n\nUsage: Korvalith <COMMAND>\n\n"
              "For more information, try '--help'.\n");
}

TEST(CliReports, UnexpectedErrorReport) {
    EXPECT_EQ(unexpected_report("ValueError: Invalid base64 character: '#'", false),
              "Unexpected error occurred.\nDetails: ValueError: Invalid base64 character: '#'\n");
    EXPECT_EQ(unexpected_report("ValueError: x", true),
              "Unexpected error occurred.\nDetails: \x1b[31mValueError: x\x1b[0m\n");
}

TEST(CliReports, WriteOutcomes) {
    std::signal(SIGPIPE, SIG_IGN);
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    EXPECT_EQ(write_all(ends[1], "abc"), WriteOutcome::written);
    char buffer[4] = {};
    EXPECT_EQ(read(ends[0], buffer, sizeof buffer), 3);
    EXPECT_STREQ(buffer, "abc");
    // A run asked to stop writes nothing more.
    EXPECT_EQ(write_all(ends[1], "abc", Interruption(+[] { return true; })), WriteOutcome::interrupted);
    close(ends[0]);
    EXPECT_EQ(write_all(ends[1], "abc"), WriteOutcome::closed_by_reader);  // nobody reads any more
    close(ends[1]);
    EXPECT_EQ(write_all(-1, "abc"), WriteOutcome::failed);
    EXPECT_EQ(write_all(-1, ""), WriteOutcome::written);
}

TEST(CliReports, EchoedNamesShowControlCharactersEscaped) {
    EXPECT_EQ(escape_control_characters("in\x1b]0;x\x07\n.txt"), "in\\x1b]0;x\\x07\\x0a.txt");
    EXPECT_EQ(escape_control_characters("del\x7f c1\xc2\x9b\xc2\x80"), "del\\x7f c1\\x9b\\x80");
    // Printable text, non-ASCII letters and the neighbours of C1 included, is kept.
    EXPECT_EQ(escape_control_characters("Übergröße \xc2\xa0\xc3\x80 \\x1b.txt"),
              "Übergröße \xc2\xa0\xc3\x80 \\x1b.txt");
    // Bidirectional embeddings, overrides and isolates, which reorder what a
    // terminal shows after them; their neighbours U+2029, U+202F, U+2065 and
    // U+206A stay.
    EXPECT_EQ(escape_control_characters("a\u202ab\u202ec\u2066d\u2069e"), "a\\u202ab\\u202ec\\u2066d\\u2069e");
    EXPECT_EQ(escape_control_characters("\u2029\u202f\u2065\u206a"), "\u2029\u202f\u2065\u206a");
    // In the parser's reports too.
    ParseResult result = parse_arguments(build_cli(), std::vector<std::string>{"k", "bad\x1b[2J"});
    ASSERT_FALSE(result.has_value());
    EXPECT_TRUE(result.error().render(false).starts_with("error: unrecognized subcommand 'bad\\x1b[2J'\n"));
}

}  // namespace
}  // namespace korvalith::cli
