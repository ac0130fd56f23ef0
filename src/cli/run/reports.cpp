#include "cli/run/reports.hpp"

#include <unistd.h>

#include <cstdio>

#include "cli/files/os_error.hpp"
#include "cli/files/standard_output.hpp"
#include "cli/run/program_output.hpp"

namespace korvalith::cli {

namespace {

// Shows a failure that has no error report of the parser's channel and
// returns its status, also when what it shows cannot be written.
int show_program_failure(const Failure& failure) {
    if (failure.kind == FailKind::unexpected) {
        (void)write_to(Stream::standard_error, unexpected_report(failure.message, program_colour_enabled()));
    } else if (failure.kind == FailKind::output_failed) {
        (void)write_to(Stream::standard_error, "error: " + failure.message + "\n");
    }
    return status_of(failure.kind);
}

}  // namespace

std::string unexpected_report(std::string_view details, bool colour) {
    std::string text = "Unexpected error occurred.\nDetails: ";
    text += paint_program(details, ProgramColour::red, colour);
    text += '\n';
    return text;
}

WriteOutcome write_to(Stream stream, std::string_view bytes, const Interruption& interruption) {
    // Anything the C library still buffers for the stream goes out first, so
    // the order of output is kept.
    std::fflush(stream == Stream::standard_output ? stdout : stderr);
    return write_all(descriptor(stream), bytes, interruption);
}

WriteOutcome write_program_line(Stream stream, std::string_view text, ProgramColour colour,
                                const Interruption& interruption) {
    std::string line = paint_program(text, colour, program_colour_enabled());
    line += '\n';
    return write_to(stream, line, interruption);
}

Failure failure_after_write(WriteOutcome outcome, int error_number) {
    switch (outcome) {
        case WriteOutcome::interrupted: return {FailKind::interrupted};
        case WriteOutcome::not_staged: return {FailKind::unexpected, os_error_text(error_number)};
        // A reader that stopped reading wanted no more: nothing worth a message.
        case WriteOutcome::closed_by_reader: return {FailKind::closed_by_reader};
        default: return {FailKind::output_failed, "could not write to standard output"};
    }
}

std::expected<void, Failure> print_whole(const PrintTarget& target, ByteView result, const Interruption& interruption) {
    StandardOutput standard_output(target.fd);
    ProgramOutput out(standard_output, ProgramColour::green, target.coloured);
    // Nothing can fail but the writes: a pipe takes the result as it comes.
    out.deliver_as_made();
    WriteOutcome printed = out.begin(result.size(), interruption);
    if (printed == WriteOutcome::written) printed = out.write(result, interruption);
    if (printed == WriteOutcome::written) printed = out.end(interruption);
    if (printed != WriteOutcome::written) return std::unexpected(failure_after_write(printed));
    return {};
}

int show_report(const Report& report) {
    const WriteOutcome outcome =
        write_to(report.stream, report.render(parser_colour_enabled(descriptor(report.stream))));
    // Help or version that did not get out is no success; an error report
    // that cannot be written still ends the run with its own status.
    if (outcome != WriteOutcome::written && report.status == STATUS_SUCCESS) {
        return show_program_failure(failure_after_write(outcome));
    }
    return report.status;
}

int show_failure(const Failure& failure, const Command& untouched) {
    if (status_of(failure.kind) != STATUS_USAGE_ERROR) return show_program_failure(failure);
    (void)show_report(program_error_report(failure.message, untouched));
    return STATUS_USAGE_ERROR;
}

}  // namespace korvalith::cli
