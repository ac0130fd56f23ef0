// One run of the command line: parse the process's arguments, run the chosen
// action over a file, standard input or a literal, write the result.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "cli/command_tree.hpp"
#include "cli/files.hpp"
#include "cli/interruption.hpp"
#include "common/byte_buffer.hpp"

namespace korvalith::cli {

// Runs the command line of this process. Returns after a successful action;
// help, version, every error and an interruption end the process inside the
// call. `interruption` is asked before each read and write whether the user
// asked the run to stop (Ctrl-C); the run then ends with STATUS_INTERRUPTED
// and no report.
void run_cli(const Interruption& interruption = {});

// What writing a result needs besides the result itself: the untouched tree
// for the program's error reports, the interruption check, and the identity
// of the input file when the input was a regular file (an output file that
// is the input is replaced only once the whole result is written).
struct ResultTarget {
    const Command& untouched;
    Interruption interruption{};
    std::optional<FileIdentity> input_file{};
};

// Writes a text result to the named file, or to standard output in green
// with a line break when there is none.
void write_text_result(const std::optional<std::string>& output, std::string_view text, const ResultTarget& target);

// Writes a binary result to the named file, or as text to standard output
// when there is none (it must then be valid UTF-8).
void write_binary_result(const std::optional<std::string>& output, ByteView bytes, const ResultTarget& target);

// The bytes as text, or the end of the run when they are not valid UTF-8.
std::string_view text_from_bytes(ByteView bytes, const Command& untouched);

}  // namespace korvalith::cli
