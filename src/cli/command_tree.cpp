#include "cli/command_tree.hpp"

#include <utility>

#include "cli/version.hpp"

namespace korvalith::cli {

namespace {

constexpr std::string_view DATA_ENC =
    "Data to encode. Can be a file name (default behaviour) or a raw string (pass in -s).";
constexpr std::string_view DATA_DEC =
    "Data to decode. Can be a file name (default behaviour) or a raw string (pass in -s).";
constexpr std::string_view OUT_ENCODED = "Sets the file output of the encoded data. Default is stdout.";
constexpr std::string_view OUT_DECODED = "Sets the file output of the decoded data. Default is stdout.";
constexpr std::string_view OUT_ENCRYPTED = "Sets the file output of the encrypted data. Default is stdout.";
constexpr std::string_view KEY_HELP =
    "Key to use when decrypting data. Should be the same as the one used to encrypt the data.";
constexpr std::string_view SKIP_HELP =
    "Flag to indicate that non-alphabetic characters should be skipped when encrypting/decrypting.";
constexpr std::string_view STRING_HELP = "Flag to indicate that the input data is a string.";
constexpr std::string_view CIPHER_NOTE =
    " encryption and decryption. Data must be utf8 and all non-alphabetical characters are ignored.";

// The second positional of an action, if it has one.
struct SecondPositional {
    std::string_view id;
    ValueType value_type;
    std::string_view help;
};

Argument positional(std::string_view id, ValueType type, std::string_view help) {
    return {.id = std::string(id), .form = ArgumentForm::positional, .help = std::string(help),
            .required = true, .value_type = type};
}

Argument flag(std::string_view id, char short_name, std::string_view help) {
    return {.id = std::string(id), .form = ArgumentForm::flag, .short_name = short_name,
            .long_name = std::string(id), .help = std::string(help)};
}

// Every action declares data, its second positional, skip-non-alpha (the
// Vigenère actions), string and output, in that order.
Command action(std::string_view name, std::string_view about, std::string_view data_help,
               std::optional<SecondPositional> second, bool skip_flag, std::string_view output_help) {
    Command command{.name = std::string(name), .about = std::string(about)};
    command.arguments.push_back(positional("data", ValueType::text, data_help));
    if (second) command.arguments.push_back(positional(second->id, second->value_type, second->help));
    if (skip_flag) command.arguments.push_back(flag("skip-non-alpha", 'k', SKIP_HELP));
    command.arguments.push_back(flag("string", 's', STRING_HELP));
    command.arguments.push_back({.id = "output", .form = ArgumentForm::option, .short_name = 'o',
                                 .long_name = "output", .help = std::string(output_help),
                                 .value_type = ValueType::text});
    return command;
}

Command group(std::string_view name, std::string about, std::vector<Command> actions) {
    return {.name = std::string(name), .about = std::move(about), .subcommand_required = true,
            .subcommands = std::move(actions)};
}

Command encoding_group(std::string_view name) {
    const std::string label(name);
    return group(name, "B" + label.substr(1) + " encoding and decoding.",
                 {action("encode", "Encode data into " + label +
                                       ". Data can be a binary file, but then outputting to stdout is not allowed.",
                         DATA_ENC, std::nullopt, false, OUT_ENCODED),
                  action("decode", "Decode " + label + ". Output data can be binary, but then output must be to a file.",
                         DATA_DEC, std::nullopt, false, OUT_DECODED)});
}

Argument help_flag() {
    return {.id = "help", .form = ArgumentForm::flag, .short_name = 'h', .long_name = "help",
            .help = "Print help", .automatic = AutomaticEntry::help_flag};
}

Argument version_flag() {
    return {.id = "version", .form = ArgumentForm::flag, .short_name = 'V', .long_name = "version",
            .help = "Print version", .automatic = AutomaticEntry::version_flag};
}

Command help_subcommand() {
    Command help{.name = "help", .about = "Print this message or the help of the given subcommand(s)",
                 .is_help_command = true};
    help.arguments.push_back({.id = "COMMAND", .form = ArgumentForm::positional,
                              .help = "Print help for the subcommand(s)", .value_type = ValueType::text,
                              .takes_all_remaining = true});
    return help;
}

}  // namespace

std::string Argument::placeholder() const {
    std::string text = required ? "<" + id + ">" : "[" + id + "]";
    if (takes_all_remaining) text += "...";
    return text;
}

std::string Argument::display_name() const {
    if (form == ArgumentForm::positional) return placeholder();
    std::string text = long_name.empty() ? std::string{'-', short_name} : "--" + long_name;
    if (form == ArgumentForm::option) text += " <" + id + ">";
    return text;
}

const Command* Command::find_subcommand(std::string_view wanted) const {
    for (const Command& sub : subcommands) {
        if (sub.name == wanted) return &sub;
    }
    return nullptr;
}

bool Command::has_positionals() const {
    for (const Argument& argument : arguments) {
        if (argument.form == ArgumentForm::positional) return true;
    }
    return false;
}

Command build_cli() {
    Command top{.name = "Korvalith",
                .about = "Korvalith - CLI interface for fast cryptographic operations.",
                .version = std::string(VERSION),
                .subcommand_required = true,
                .styles = CLI_STYLES};
    top.subcommands.push_back(encoding_group("base32"));
    top.subcommands.push_back(encoding_group("base64"));
    top.subcommands.push_back(group(
        "caesar", "Caesar" + std::string(CIPHER_NOTE),
        {action("encrypt", "Encrypt a string using Caesar shift.", DATA_ENC,
                SecondPositional{"shift", ValueType::shift, "Shift to use when encrypting data."}, false,
                OUT_ENCRYPTED),
         action("decrypt", "Decrypt data using Caesar shift.", DATA_DEC,
                SecondPositional{"shift", ValueType::shift,
                                 "Shift to use when decrypting data. Should be the same as the one used to "
                                 "encrypt the data."},
                false, OUT_DECODED)}));
    top.subcommands.push_back(group(
        "rot13", "Rot13" + std::string(CIPHER_NOTE),
        {action("encrypt", "\"Encrypt\" a string using rot13. Same as decrypt and rotate.", DATA_ENC, std::nullopt,
                false, OUT_ENCRYPTED),
         action("decrypt", "\"Decrypt\" data using rot13. Same as encrypt and rotate.", DATA_DEC, std::nullopt,
                false, OUT_DECODED),
         action("rotate", "Rotate data using rot13. Same as encrypt and decrypt.", DATA_DEC, std::nullopt, false,
                OUT_DECODED)}));
    top.subcommands.push_back(group(
        "vigenere", "Vigenere" + std::string(CIPHER_NOTE),
        {action("encrypt", "Encrypt a string using Vigenere cipher.", DATA_ENC,
                SecondPositional{"key", ValueType::text, KEY_HELP}, true, OUT_ENCRYPTED),
         action("decrypt", "Decrypt data using Vigenere cipher.", DATA_DEC,
                SecondPositional{"key", ValueType::text, KEY_HELP}, true, OUT_DECODED)}));
    return top;
}

Command with_automatic_entries(Command declared) {
    // A tree that already carries its automatic entries is returned as it is.
    for (const Argument& argument : declared.arguments) {
        if (argument.automatic != AutomaticEntry::none) return declared;
    }
    if (declared.is_help_command) return declared;
    for (Command& sub : declared.subcommands) sub = with_automatic_entries(std::move(sub));
    declared.arguments.push_back(help_flag());
    if (!declared.version.empty()) declared.arguments.push_back(version_flag());
    if (!declared.subcommands.empty()) declared.subcommands.push_back(help_subcommand());
    return declared;
}

}  // namespace korvalith::cli
