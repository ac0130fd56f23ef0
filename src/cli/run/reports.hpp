// What the command-line interface shows when a run ends: help, version and
// error reports of the parser's channel, the program's own error reports and
// its unexpected-error report, and the results and success messages of the
// program's channel; the streams they go to and the status each report ends
// the run with. Nothing here ends the process: run_cli does, with the status.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command/command_tree.hpp"
#include "cli/parse/help.hpp"
#include "cli/run/outcome.hpp"
#include "cli/parse/styles.hpp"
#include "cli/files/write_all.hpp"

namespace korvalith::cli {

enum class Stream : std::uint8_t { standard_output, standard_error };

// File descriptor 1 or 2.
int descriptor(Stream stream);

enum class ReportKind : std::uint8_t { help, version, error };

// A text of the parser's channel that ends the run, with the stream it goes
// to and the status the process ends with. Colour is decided when it is
// written, for its stream.
struct Report {
    ReportKind kind = ReportKind::error;
    StyledText text;
    Stream stream = Stream::standard_error;
    int status = STATUS_USAGE_ERROR;
    Styles styles = CLI_STYLES;

    std::string render(bool colour) const { return text.render(styles, colour); }
};

// Help or version text: standard output, status 0.
Report information_report(ReportKind kind, StyledText text, const Styles& styles);

// An error report: the "error:" label and the message, the tip lines if any,
// the usage line, and the closing hint. Standard error, status 2.
Report error_report(const StyledText& message, const std::vector<StyledText>& tips, const StyledText& usage,
                    const Styles& styles);

// The error report of a program error, with the usage line of the top level
// of the untouched tree ("Usage: Korvalith <COMMAND>").
Report program_error_report(std::string_view message, const Command& untouched);

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
