// Showing how a run ends: the parser's reports (cli/parse/report.hpp) and the
// program's own error reports written to their streams, the unexpected-error
// report, and the results and success messages of the program's channel;
// the status each ends the run with. Nothing here ends the process: run_cli
// does, with the status.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command/command_tree.hpp"
#include "cli/files/write_all.hpp"
#include "cli/parse/report.hpp"
#include "cli/parse/styles.hpp"
#include "cli/run/outcome.hpp"

namespace korvalith::cli {

// "Unexpected error occurred.\nDetails: ", the details in red when `colour`
// is set, and a line break.
std::string unexpected_report(std::string_view details, bool colour);

// Writes the bytes to the stream after flushing what the C library buffers
// for it, asking `interruption` before each write whether to stop.
[[nodiscard]] WriteOutcome write_to(Stream stream, std::string_view bytes, const Interruption& interruption = {});

// A line of the program's channel: the text in its colour (when the program's
// colour decision says so) and a line break, written to the stream.
[[nodiscard]] WriteOutcome write_program_line(Stream stream, std::string_view text, ProgramColour colour,
                                              const Interruption& interruption = {});

// The failure of a run whose output to standard output (a result, a success
// message, help or the version) did not get out, which is never a success:
// asked to stop, the reader gone, a write that failed, or a result that
// could not be staged (`error_number` tells why).
Failure failure_after_write(WriteOutcome outcome, int error_number = 0);

// A result held whole (of -s), printed as the program's line; the failure of
// the run when it did not get out. A file that standard output appends to
// is cut back when it does not.
std::expected<void, Failure> print_whole(const PrintTarget& target, ByteView result, const Interruption& interruption);

// Writes the parser's report to its stream, coloured if the parser's decision
// for that stream says so, and returns the status the run ends with: the
// report's own, also when an error report cannot be written; help or version
// that cannot be written ends as failure_after_write says.
[[nodiscard]] int show_report(const Report& report);

// Shows a failure as its kind says (see FailKind) and returns the status the
// run ends with, also when the report cannot be written. Error reports carry
// the usage line of the top level of the untouched tree.
[[nodiscard]] int show_failure(const Failure& failure, const Command& untouched);

}  // namespace korvalith::cli
