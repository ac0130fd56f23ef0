// Writes the libFuzzer dictionary of the cli_parser harness to standard
// output, one quoted word a line: every name of the command tree (groups,
// actions, help) and every flag and option in its short and long forms, all
// read from the tree the action table builds; the declared short flags of
// each command clustered behind one hyphen; the edges of the shift's range;
// and the grammar's own marks. The fuzz build writes it to
// build-fuzz/fuzz/cli_parser.dict, so a new group or argument reaches the
// fuzzer with no list to keep.
#include <cstdio>
#include <set>
#include <string>

#include "cli/command/build_cli.hpp"
#include "cli/command/command_tree.hpp"

using namespace korvalith::cli;

namespace {

void collect(const Command& command, std::set<std::string>& words) {
    std::string cluster = "-";
    for (const Argument& argument : command.arguments) {
        if (argument.short_name != '\0') words.insert({'-', argument.short_name});
        if (argument.form == ArgumentForm::flag && argument.automatic == AutomaticEntry::none) {
            cluster += argument.short_name;
        }
        if (argument.long_name.empty()) continue;
        words.insert("--" + std::string(argument.long_name));
        if (argument.form == ArgumentForm::option) words.insert("--" + std::string(argument.long_name) + "=");
    }
    if (cluster.size() > 2) words.insert(cluster);
    for (const Command& subcommand : command.subcommands) {
        words.insert(std::string(subcommand.name));
        collect(subcommand, words);
    }
}

// The word as a dictionary entry: in double quotes, with every byte that is
// not printable ASCII, and the quote and the backslash, written as \xNN.
void print_entry(const std::string& word) {
    std::putchar('"');
    for (const char c : word) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f && c != '"' && c != '\\') {
            std::putchar(c);
        } else {
            std::printf("\\x%02X", byte);
        }
    }
    std::puts("\"");
}

}  // namespace

int main() {
    std::set<std::string> words{"--", std::string(1, '\0')};
    collect(with_automatic_entries(build_cli()), words);
    for (const auto shift : {SHIFT_MIN - 1, SHIFT_MIN, SHIFT_MAX, SHIFT_MAX + 1}) words.insert(std::to_string(shift));
    for (const std::string& word : words) print_entry(word);
    return std::ferror(stdout) != 0 || std::fflush(stdout) != 0;
}
