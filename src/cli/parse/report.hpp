// The report that ends a run the parser does not hand on to an action (its
// help, the version, an error report), and the program's own error reports
// in the same form: the styled text, the stream it goes to and the status
// the run ends with; and the exit statuses of the command line. Reports are
// made here and written by run_cli (cli/run/reports.hpp).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command/command_tree.hpp"
#include "cli/parse/styles.hpp"

namespace korvalith::cli {

// Exit statuses of the command-line interface.
inline constexpr int STATUS_SUCCESS = 0;      // help, version
inline constexpr int STATUS_UNEXPECTED = 1;   // unexpected error, output that did not get out
inline constexpr int STATUS_USAGE_ERROR = 2;  // parser and program errors
inline constexpr int STATUS_INTERRUPTED = 130;  // stopped by Ctrl-C (128 + SIGINT); by SIGTERM 143, SIGHUP 129

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

}  // namespace korvalith::cli
