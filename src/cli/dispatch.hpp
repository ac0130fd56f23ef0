// One run of the command line: parse the process's arguments, run the chosen
// action over a file or a literal, write the result.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "cli/command_tree.hpp"
#include "common/byte_buffer.hpp"

namespace korvalith::cli {

// Runs the command line of this process. Returns after a successful action;
// help, version and every error end the process inside the call.
void run_cli();

// Writes a text result to the named file, or to standard output in green
// with a line break when there is none.
void write_text_result(const std::optional<std::string>& output, std::string_view text, const Command& untouched);

// Writes a binary result to the named file, or as text to standard output
// when there is none (it must then be valid UTF-8).
void write_binary_result(const std::optional<std::string>& output, ByteView bytes, const Command& untouched);

// The bytes as text, or the end of the run when they are not valid UTF-8.
std::string_view text_from_bytes(ByteView bytes, const Command& untouched);

}  // namespace korvalith::cli
