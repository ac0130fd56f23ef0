// One run of the command line: the argument vector parsed, the chosen action
// dispatched, and then its outcome, or the parser's report, written out with
// the status the process ends with. The only place where the command line
// turns reports into output and ends the process.
#pragma once

#include <optional>
#include <span>

#include "cli/files/interruption.hpp"
#include "cli/run/dispatch.hpp"

namespace korvalith::cli {

// A run over a command line (the program's name or path first, then the
// user's arguments): writes the result or the success message to standard
// output, or the report of the failure, and returns the status the process
// must end with; nothing after a successful action.
std::optional<int> run_arguments(std::span<char* const> command_line, const RunContext& context);

// Runs a command line of this process with standard input, output and error.
// Returns after a successful action; help, version, every error and an
// interruption end the process inside the call with their status (an
// interruption with 128 + the signal's number and no report).
// `interruption` is asked before the run begins, before each read and
// write, and once more after the last one, whether the run is asked to stop
// (Ctrl-C, SIGTERM, SIGHUP).
void run_cli(std::span<char* const> command_line, const Interruption& interruption = {}) noexcept;

}  // namespace korvalith::cli
