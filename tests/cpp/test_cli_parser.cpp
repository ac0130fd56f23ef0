// Grammar of the command line: matches, values, and every parser error with
// its full report text and status.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "cli/command/actions.hpp"
#include "cli/command/arguments.hpp"
#include "cli/command/build_cli.hpp"
#include "cli/command/command_tree.hpp"
#include "cli/parse/parser.hpp"

namespace korvalith::cli {
namespace {

ParseResult parse(std::initializer_list<std::string> user_arguments) {
    std::vector<std::string> arguments{"/usr/local/bin/korvalith"};
    arguments.insert(arguments.end(), user_arguments);
    return parse_arguments(build_cli(), arguments);
}

Matches matched(std::initializer_list<std::string> user_arguments) {
    ParseResult result = parse(user_arguments);
    EXPECT_TRUE(result.has_value()) << (result ? "" : result.error().render(false));
    return result ? *result : Matches{};
}

// The report of a failed parse, without colour; checks stream and status.
std::string error_text(std::initializer_list<std::string> user_arguments) {
    ParseResult result = parse(user_arguments);
    if (result) {
        ADD_FAILURE() << "parse succeeded";
        return {};
    }
    EXPECT_EQ(result.error().kind, ReportKind::error);
    EXPECT_EQ(result.error().stream, Stream::standard_error);
    EXPECT_EQ(result.error().status, 2);
    return result.error().render(false);
}

std::string report(std::string_view body, std::string_view usage) {
    return "error: " + std::string(body) + "\n\nUsage: korvalith " + std::string(usage) +
           "\n\nFor more information, try '--help'.\n";
}

constexpr std::string_view CAESAR_USAGE = "caesar encrypt [OPTIONS] <data> <shift>";

TEST(CliParser, MatchesGroupActionAndValues) {
    Matches m = matched({"caesar", "encrypt", "-s", "hello", "3"});
    EXPECT_EQ(m.group(), "caesar");
    EXPECT_EQ(m.action(), "encrypt");
    EXPECT_EQ(m.value(DATA), "hello");
    EXPECT_EQ(m.value(SHIFT), 3);
    EXPECT_TRUE(m.flag(STRING));
    EXPECT_FALSE(m.flag(SKIP_NON_ALPHA));
    EXPECT_FALSE(m.value(OUTPUT).has_value());
}

TEST(CliParser, FlagsAndOptionsStandAnywhere) {
    for (auto arguments : {std::vector<std::string>{"-o", "out.txt", "abc", "-s", "7"},
                           std::vector<std::string>{"abc", "--output", "out.txt", "7", "--string"},
                           std::vector<std::string>{"abc", "7", "-soout.txt"},
                           std::vector<std::string>{"--output=out.txt", "-s", "abc", "7"},
                           std::vector<std::string>{"abc", "-so", "out.txt", "7"},
                           std::vector<std::string>{"abc", "-o=out.txt", "-s", "+7"}}) {
        arguments.insert(arguments.begin(), {"korvalith", "caesar", "decrypt"});
        ParseResult result = parse_arguments(build_cli(), arguments);
        ASSERT_TRUE(result.has_value()) << result.error().render(false);
        EXPECT_EQ(result->value(OUTPUT), "out.txt");
        EXPECT_EQ(result->value(DATA), "abc");
        EXPECT_EQ(result->value(SHIFT), 7);
        EXPECT_TRUE(result->flag(STRING));
    }
}

TEST(CliParser, ClusteredShortFlags) {
    for (auto cluster : {std::vector<std::string>{"-k", "-s"}, std::vector<std::string>{"-sk"}}) {
        std::vector<std::string> arguments{"korvalith", "vigenere", "encrypt"};
        arguments.insert(arguments.end(), cluster.begin(), cluster.end());
        arguments.insert(arguments.end(), {"text", "KEY"});
        ParseResult result = parse_arguments(build_cli(), arguments);
        ASSERT_TRUE(result.has_value());
        EXPECT_TRUE(result->flag(SKIP_NON_ALPHA));
        EXPECT_TRUE(result->flag(STRING));
        EXPECT_EQ(result->value(KEY), "KEY");
    }
}

TEST(CliParser, EndOfOptionsMarkerTakesHyphenLedValues) {
    Matches m = matched({"caesar", "encrypt", "-s", "--", "abc", "-25"});
    EXPECT_EQ(m.value(SHIFT), -25);
    m = matched({"caesar", "encrypt", "--", "-s", "3"});
    EXPECT_EQ(m.value(DATA), "-s");
    EXPECT_FALSE(m.flag(STRING));
    EXPECT_EQ(matched({"rot13", "rotate", "--", "--"}).value(DATA), "--");
}

TEST(CliParser, LoneHyphenAndEmptyTextAreValues) {
    Matches m = matched({"rot13", "rotate", "-"});
    EXPECT_EQ(m.value(DATA), "-");
    m = matched({"base64", "encode", "-s", ""});
    EXPECT_EQ(m.value(DATA), "");
    EXPECT_EQ(matched({"base32", "decode", "x", "-o", "-"}).value(OUTPUT), "-");
}

TEST(CliParser, ShiftRange) {
    EXPECT_EQ(matched({"caesar", "encrypt", "-s", "abc", "25"}).value(SHIFT), 25);
    EXPECT_EQ(matched({"caesar", "encrypt", "-s", "abc", "+0"}).value(SHIFT), 0);
    EXPECT_EQ(error_text({"caesar", "encrypt", "-s", "abc", "26"}),
              report("invalid value '26' for '<shift>': 26 is not in -25..=25", CAESAR_USAGE));
    EXPECT_EQ(error_text({"caesar", "encrypt", "abc", "--", "-0030"}),
              report("invalid value '-0030' for '<shift>': -30 is not in -25..=25", CAESAR_USAGE));
}

TEST(CliParser, ShiftThatIsNotAnInteger) {
    auto reason = [](std::string typed) {
        std::string text = error_text({"caesar", "decrypt", "abc", "--", typed});
        const std::string prefix = "error: invalid value '" + typed + "' for '<shift>': ";
        EXPECT_EQ(text.substr(0, prefix.size()), prefix);
        return text.substr(prefix.size(), text.find('\n') - prefix.size());
    };
    EXPECT_EQ(reason(""), "cannot parse integer from empty string");
    EXPECT_EQ(reason("3x"), "invalid digit found in string");
    EXPECT_EQ(reason(" 3"), "invalid digit found in string");
    EXPECT_EQ(reason("-"), "invalid digit found in string");
    EXPECT_EQ(reason("+-3"), "invalid digit found in string");
    EXPECT_EQ(reason("9223372036854775808"), "number too large to fit in target type");
    EXPECT_EQ(reason("-9223372036854775809"), "number too small to fit in target type");
    EXPECT_EQ(reason("99999999999999999999x"), "number too large to fit in target type");
    EXPECT_EQ(reason("9223372036854775807"), "9223372036854775807 is not in -25..=25");
}

TEST(CliParser, HyphenLedElementIsUnexpected) {
    EXPECT_EQ(error_text({"caesar", "encrypt", "-s", "abc", "-3"}),
              "error: unexpected argument '-3' found\n\n  tip: to pass '-3' as a value, use '-- -3'\n\n"
              "Usage: korvalith caesar encrypt [OPTIONS] <data> <shift>\n\nFor more information, try '--help'.\n");
    // No positional is left to take it, so no value tip.
    EXPECT_EQ(error_text({"caesar", "encrypt", "abc", "3", "-x"}),
              report("unexpected argument '-x' found", CAESAR_USAGE));
    EXPECT_EQ(error_text({"base32", "-V"}), report("unexpected argument '-V' found", "base32 <COMMAND>"));
    EXPECT_EQ(error_text({"caesar", "encrypt", "abc", "3", "extra"}),
              report("unexpected argument 'extra' found", CAESAR_USAGE));
}

TEST(CliParser, SimilarArgumentTip) {
    EXPECT_EQ(error_text({"caesar", "encrypt", "--strng", "abc", "3"}),
              "error: unexpected argument '--strng' found\n\n"
              "  tip: a similar argument exists: '--string'\n"
              "  tip: to pass '--strng' as a value, use '-- --strng'\n\n"
              "Usage: korvalith caesar encrypt [OPTIONS] <data> <shift>\n\nFor more information, try '--help'.\n");
}

TEST(CliParser, Subcommands) {
    EXPECT_EQ(error_text({"substitution"}), report("unrecognized subcommand 'substitution'", "<COMMAND>"));
    EXPECT_EQ(error_text({"rot13", "Rotate"}),
              "error: unrecognized subcommand 'Rotate'\n\n  tip: a similar subcommand exists: 'rotate'\n\n"
              "Usage: korvalith rot13 <COMMAND>\n\nFor more information, try '--help'.\n");
    EXPECT_EQ(error_text({"--", "base32"}),
              "error: unexpected argument 'base32' found\n\n"
              "  tip: subcommand 'base32' exists; to use it, remove the '--' before it\n\n"
              "Usage: korvalith <COMMAND>\n\nFor more information, try '--help'.\n");
    EXPECT_EQ(error_text({"base"}).substr(0, 70),
              "error: unrecognized subcommand 'base'\n\n  tip: a similar subcommand exi");
}

TEST(CliParser, MissingSubcommand) {
    EXPECT_EQ(error_text({"base32"}),
              report("'korvalith base32' requires a subcommand but one was not provided\n"
                     "  [subcommands: encode, decode, help]",
                     "base32 <COMMAND>"));
    // The top level lists the groups of the action table, then help.
    std::string listed;
    for (const GroupDeclaration& group : groups()) listed += std::string(group.name) + ", ";
    EXPECT_EQ(error_text({}),
              report("'korvalith' requires a subcommand but one was not provided\n"
                     "  [subcommands: " + listed + "help]",
                     "<COMMAND>"));
}

TEST(CliParser, EmptyArgumentListUsesTopLevelName) {
    ParseResult result = parse_arguments(build_cli(), std::vector<std::string>{});
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().render(false).substr(0, 19), "error: 'Korvalith' ");
}

TEST(CliParser, MissingPositionals) {
    EXPECT_EQ(error_text({"caesar", "encrypt", "-s"}),
              report("the following required arguments were not provided:\n  <data>\n  <shift>", CAESAR_USAGE));
    EXPECT_EQ(error_text({"vigenere", "decrypt", "abc"}),
              report("the following required arguments were not provided:\n  <key>",
                     "vigenere decrypt [OPTIONS] <data> <key>"));
}

TEST(CliParser, EachArgumentAtMostOnce) {
    EXPECT_EQ(error_text({"caesar", "encrypt", "-ss", "abc", "3"}),
              report("the argument '--string' cannot be used multiple times", CAESAR_USAGE));
    EXPECT_EQ(error_text({"caesar", "encrypt", "-o", "a", "abc", "3", "--output=b"}),
              report("the argument '--output <output>' cannot be used multiple times", CAESAR_USAGE));
}

TEST(CliParser, OptionWithoutValue) {
    const std::string missing = report("a value is required for '--output <output>' but none was supplied",
                                       "base64 encode [OPTIONS] <data>");
    EXPECT_EQ(error_text({"base64", "encode", "abc", "-o"}), missing);
    EXPECT_EQ(error_text({"base64", "encode", "abc", "--output"}), missing);
    EXPECT_EQ(error_text({"base64", "encode", "abc", "--output="}), missing);
    EXPECT_EQ(error_text({"base64", "encode", "abc", "-o", ""}), missing);
    EXPECT_EQ(error_text({"base64", "encode", "-o", "-s", "abc"}), missing);
    EXPECT_EQ(error_text({"base64", "encode", "-o", "--", "abc"}), missing);
}

TEST(CliParser, FlagGivenAValue) {
    EXPECT_EQ(error_text({"base64", "encode", "abc", "--string=yes"}),
              report("unexpected value 'yes' for '--string' found; no more were expected",
                     "base64 encode [OPTIONS] <data>"));
    EXPECT_EQ(error_text({"--help="}), report("unexpected value '' for '--help' found; no more were expected",
                                              "<COMMAND>"));
}

TEST(CliParser, FirstProblemMetIsReported) {
    EXPECT_EQ(error_text({"caesar", "encrypt", "abc", "30", "--bogus"}).substr(0, 30), "error: invalid value '30' for ");
    EXPECT_EQ(parse({"caesar", "encrypt", "-h", "abc", "30"}).error().kind, ReportKind::help);
    EXPECT_EQ(parse({"caesar", "encrypt", "--bogus", "-h"}).error().kind, ReportKind::error);
}

}  // namespace
}  // namespace korvalith::cli
