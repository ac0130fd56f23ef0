// Help and version texts, the help subcommand, and the program name.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "cli/command/actions.hpp"
#include "cli/command/build_cli.hpp"
#include "cli/command/command_tree.hpp"
#include "cli/command/version.hpp"
#include "cli/parse/help.hpp"
#include "cli/parse/parser.hpp"

namespace korvalith::cli {
namespace {

// The text of a help or version report, checked for stream and status.
std::string shown(std::vector<std::string> arguments, ReportKind kind = ReportKind::help) {
    arguments.insert(arguments.begin(), "./bin/korvalith");
    ParseResult result = parse_arguments(build_cli(), arguments);
    if (result) {
        ADD_FAILURE() << "parse succeeded";
        return {};
    }
    EXPECT_EQ(result.error().kind, kind);
    EXPECT_EQ(result.error().stream, Stream::standard_output);
    EXPECT_EQ(result.error().status, 0);
    return result.error().render(false);
}

constexpr std::string_view CIPHER_NOTE =
    "encryption and decryption. Data must be utf8 and all non-alphabetical characters are ignored.\n";

// Spelled out on purpose: a new group changes this text, and nothing else
// in these tests. Each group is one line here.
TEST(CliHelp, TopLevel) {
    const std::string note(CIPHER_NOTE);
    const std::string expected = std::string() +
        "Korvalith - CLI interface for fast cryptographic operations.\n"
        "\n"
        "Usage: korvalith <COMMAND>\n"
        "\n"
        "Commands:\n" +
        "  base32    Base32 encoding and decoding.\n" +
        "  base64    Base64 encoding and decoding.\n" +
        "  caesar    Caesar " + note +
        "  rot13     Rot13 " + note +
        "  vigenere  Vigenere " + note +
        "  help      Print this message or the help of the given subcommand(s)\n"
        "\n"
        "Options:\n"
        "  -h, --help     Print help\n"
        "  -V, --version  Print version\n";
    EXPECT_EQ(shown({"--help"}), expected);
    EXPECT_EQ(shown({"-h"}), expected);
    EXPECT_EQ(shown({"help"}), expected);
}

TEST(CliHelp, Group) {
    const std::string expected =
        "Base32 encoding and decoding.\n"
        "\n"
        "Usage: korvalith base32 <COMMAND>\n"
        "\n"
        "Commands:\n"
        "  encode  Encode data into base32. Data can be a binary file, but then outputting to stdout is not allowed.\n"
        "  decode  Decode base32. Output data can be binary, but then output must be to a file.\n"
        "  help    Print this message or the help of the given subcommand(s)\n"
        "\n"
        "Options:\n"
        "  -h, --help  Print help\n";
    EXPECT_EQ(shown({"base32", "--help"}), expected);
    EXPECT_EQ(shown({"help", "base32"}), expected);
    EXPECT_EQ(shown({"base32", "help"}), expected);
}

TEST(CliHelp, Action) {
    const std::string expected =
        "Decrypt data using Vigenere cipher.\n"
        "\n"
        "Usage: korvalith vigenere decrypt [OPTIONS] <data> <key>\n"
        "\n"
        "Arguments:\n"
        "  <data>  Data to decode. Can be a file name (default behaviour) or a raw string (pass in -s).\n"
        "  <key>   Key to use when decrypting data. Should be the same as the one used to encrypt the data.\n"
        "\n"
        "Options:\n"
        "  -k, --skip-non-alpha   Flag to indicate that non-alphabetic characters should be skipped when "
        "encrypting/decrypting.\n"
        "  -s, --string           Flag to indicate that the input data is a string.\n"
        "  -o, --output <output>  Sets the file output of the decoded data. Default is stdout.\n"
        "  -h, --help             Print help\n";
    EXPECT_EQ(shown({"vigenere", "decrypt", "-h"}), expected);
    EXPECT_EQ(shown({"vigenere", "decrypt", "-s", "abc", "--help"}), expected);
    EXPECT_EQ(shown({"help", "vigenere", "decrypt"}), expected);
    EXPECT_EQ(shown({"vigenere", "help", "decrypt"}), expected);
}

TEST(CliHelp, PerActionTexts) {
    const std::string caesar_encrypt = shown({"caesar", "encrypt", "-h"});
    EXPECT_NE(caesar_encrypt.find("Usage: korvalith caesar encrypt [OPTIONS] <data> <shift>\n"), std::string::npos);
    EXPECT_NE(caesar_encrypt.find("  <shift>  Shift to use when encrypting data.\n"), std::string::npos);
    EXPECT_NE(caesar_encrypt.find("encrypted data"), std::string::npos);
    const std::string rot13_encrypt = shown({"rot13", "encrypt", "-h"});
    EXPECT_TRUE(rot13_encrypt.starts_with("\"Encrypt\" a string using rot13. Same as decrypt and rotate.\n\n"));
    EXPECT_NE(rot13_encrypt.find("Usage: korvalith rot13 encrypt [OPTIONS] <data>\n"), std::string::npos);
    // Decrypting actions speak of decoded data.
    for (const char* group : {"caesar", "rot13", "vigenere"}) {
        EXPECT_NE(shown({group, "decrypt", "-h"}).find("output of the decoded data"), std::string::npos) << group;
    }
}

TEST(CliHelp, HelpOfTheHelpSubcommand) {
    EXPECT_EQ(shown({"help", "help"}),
              "Print this message or the help of the given subcommand(s)\n"
              "\n"
              "Usage: korvalith help [COMMAND]...\n"
              "\n"
              "Arguments:\n"
              "  [COMMAND]...  Print help for the subcommand(s)\n");
}

TEST(CliHelp, HelpSubcommandErrors) {
    ParseResult result = parse_arguments(build_cli(), std::vector<std::string>{"k", "help", "caesar", "encrpyt"});
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().status, 2);
    EXPECT_EQ(result.error().render(false),
              "error: unrecognized subcommand 'encrpyt'\n\n  tip: a similar subcommand exists: 'encrypt'\n\n"
              "Usage: k caesar <COMMAND>\n\nFor more information, try '--help'.\n");
}

TEST(CliHelp, VersionOnTopLevelOnly) {
    const std::string expected = "Korvalith " + std::string(VERSION) + "\n";
    EXPECT_EQ(shown({"-V"}, ReportKind::version), expected);
    EXPECT_EQ(shown({"--version", "base32"}, ReportKind::version), expected);
    EXPECT_EQ(parse_arguments(build_cli(), std::vector<std::string>{"k", "caesar", "encrypt", "--version"})
                  .error().kind, ReportKind::error);
}

TEST(CliHelp, ProgramName) {
    const Command top = build_cli();
    EXPECT_EQ(program_name("/usr/bin/tool", top), "tool");
    EXPECT_EQ(program_name("tool", top), "tool");
    EXPECT_EQ(program_name("dir/tool/", top), "tool");
    for (const char* unusable : {"", "/", "dir/..", "."}) EXPECT_EQ(program_name(unusable, top), "Korvalith");
    EXPECT_EQ(program_name(std::nullopt, top), "Korvalith");
}

TEST(CliHelp, TreeIsFreshAndComplete) {
    Command first = build_cli();
    first.subcommands.clear();
    const Command tree = build_cli();
    // The groups of the action table, in their order.
    ASSERT_EQ(tree.subcommands.size(), groups().size());
    for (std::size_t i = 0; i < groups().size(); ++i) EXPECT_EQ(tree.subcommands[i].name, groups()[i].name);
    EXPECT_EQ(tree.version, VERSION);
    EXPECT_TRUE(tree.styles.has_value());
    const Command* encrypt = tree.find_subcommand("vigenere")->find_subcommand("encrypt");
    ASSERT_NE(encrypt, nullptr);
    std::vector<std::string> ids;
    for (const Argument& argument : encrypt->arguments) ids.emplace_back(argument.id);
    EXPECT_EQ(ids, (std::vector<std::string>{"data", "key", "skip-non-alpha", "string", "output"}));
    EXPECT_EQ(tree.find_subcommand("rot13")->subcommands.size(), 3u);
    EXPECT_EQ(tree.find_subcommand("caesar")->find_subcommand("decrypt")->arguments[1].value_type,
              ValueType::shift);
}

}  // namespace
}  // namespace korvalith::cli
