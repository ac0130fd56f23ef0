// What running an action comes to: success, with the line to print, or a
// failure, with its kind and message; and the exit status each way of ending
// gives the process. The dispatcher returns outcomes; only run_cli turns them
// into output and an exit status.
#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "cli/files/interruption.hpp"
#include "cli/parse/report.hpp"
#include "common/byte_buffer.hpp"

namespace korvalith::cli {

// Why a run failed, which decides what it shows and its status.
enum class FailKind : std::uint8_t {
    // An error report ("error:", the message, the top-level usage line and
    // the closing hint), status 2. The kind itself is not shown.
    invalid_value,
    missing_argument,
    missing_subcommand,
    invalid_text,
    input_output,
    // "Unexpected error occurred.\nDetails: " and the message, status 1.
    unexpected,
    // "error: " and the message, status 1: standard output could not be written.
    output_failed,
    // Nothing more is shown, status 1: the reader of the output went away.
    closed_by_reader,
    // Nothing more is shown, 128 + the signal's number (Interruption::status):
    // the run was asked to stop.
    interrupted,
};

struct Failure {
    FailKind kind = FailKind::unexpected;
    std::string message{};  // empty for closed_by_reader and interrupted
};

// Where a result printed on standard output goes: the descriptor, and
// whether the program's colour paints it.
struct PrintTarget {
    int fd = 1;
    bool coloured = false;
};

// A result that is made while it is printed: an input read in chunks, each
// chunk's result written to standard output as it comes (or staged there
// until the run has succeeded).
class PendingResult {
public:
    virtual ~PendingResult() = default;
    // Makes and prints the whole result as the program's line; the failure of
    // the run when it cannot be read on or written.
    virtual std::expected<void, Failure> print(const PrintTarget& target, const Interruption& interruption) = 0;
};

// A successful action prints one line on standard output, in green: the
// result itself (held whole, or still to be made), or when the result went to
// a file the message naming it. A file written is a run that completed: its
// message is printed whatever the user asks meanwhile.
struct Success {
    ByteBuffer result{};
    std::optional<std::string> message{};
    std::unique_ptr<PendingResult> pending{};

    std::string_view line() const { return message ? std::string_view(*message) : result.text(); }
};

using Outcome = std::expected<Success, Failure>;

// The status a run that failed this way ends with.
constexpr int status_of(FailKind kind) {
    switch (kind) {
        case FailKind::unexpected:
        case FailKind::output_failed:
        case FailKind::closed_by_reader: return STATUS_UNEXPECTED;
        case FailKind::interrupted: return STATUS_INTERRUPTED;
        default: return STATUS_USAGE_ERROR;
    }
}

}  // namespace korvalith::cli
