// What the command-line interface shows when a run ends: help, version and
// error reports of the parser's channel, the program's own error reports and
// its unexpected-error report, and the results and success messages of the
// program's channel. Also the streams they go to and the end of the process.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command_tree.hpp"
#include "cli/help.hpp"
#include "cli/styles.hpp"
#include "cli/write_all.hpp"

namespace korvalith::cli {

enum class Stream : std::uint8_t { standard_output, standard_error };

// File descriptor 1 or 2.
int descriptor(Stream stream);

// Exit statuses of the command-line interface.
inline constexpr int STATUS_SUCCESS = 0;      // help, version
inline constexpr int STATUS_UNEXPECTED = 1;   // unexpected error
inline constexpr int STATUS_USAGE_ERROR = 2;  // parser and program errors
inline constexpr int STATUS_INTERRUPTED = 130;  // stopped by Ctrl-C (128 + SIGINT)

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

// What went wrong in a program error: the kind is not shown, every kind but
// `unexpected` yields an error report with status 2; `unexpected` yields the
// unexpected-error report with status 1.
enum class FailKind : std::uint8_t {
    invalid_value,
    missing_argument,
    missing_subcommand,
    invalid_text,
    input_output,
    unexpected,
};

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

// Flushes buffered C output and ends the process with the status.
[[noreturn]] void exit_process(int status);

// Ends a run whose output to standard output (a result, a success message,
// help or the version) did not get out, which is never a success: status 1
// after a best-effort note on standard error; status 1 and nothing more when
// the reader closed the pipe early; STATUS_INTERRUPTED, silently, when the
// run was asked to stop.
[[noreturn]] void end_after_failed_write(WriteOutcome outcome);

// Ends a run that was asked to stop: no report, STATUS_INTERRUPTED.
[[noreturn]] void end_interrupted();

// Writes the report to its stream, coloured if the parser's decision for that
// stream says so, and ends the process with the report's status. An error
// report that cannot be written still ends with its status; help or version
// that cannot be written ends as end_after_failed_write says.
[[noreturn]] void emit_and_exit(const Report& report);

// Prints the report of a program error and ends the process: an error report
// with status 2 for every kind but `unexpected`, the unexpected-error report
// with status 1 for `unexpected`.
[[noreturn]] void fail_with(FailKind kind, std::string_view message, const Command& untouched);

}  // namespace korvalith::cli
