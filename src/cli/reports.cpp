#include "cli/reports.hpp"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace korvalith::cli {

int descriptor(Stream stream) {
    return stream == Stream::standard_output ? STDOUT_FILENO : STDERR_FILENO;
}

Report information_report(ReportKind kind, StyledText text, const Styles& styles) {
    return {.kind = kind, .text = std::move(text), .stream = Stream::standard_output, .status = STATUS_SUCCESS,
            .styles = styles};
}

Report error_report(const StyledText& message, const std::vector<StyledText>& tips, const StyledText& usage,
                    const Styles& styles) {
    StyledText text;
    text.styled(Role::error, "error:").plain(" ").append(message);
    if (!tips.empty()) {
        text.plain("\n");
        for (const StyledText& tip : tips) text.plain("\n  ").styled(Role::valid, "tip:").plain(" ").append(tip);
    }
    text.plain("\n\n").append(usage);
    text.plain("\n\nFor more information, try '").styled(Role::literal, "--help").plain("'.\n");
    return {.kind = ReportKind::error, .text = std::move(text), .stream = Stream::standard_error,
            .status = STATUS_USAGE_ERROR, .styles = styles};
}

Report program_error_report(std::string_view message, const Command& untouched) {
    // The untouched tree was never given an argument list, so its usage line
    // shows the top-level name.
    const CommandPath top{.program = program_name(std::nullopt, untouched), .commands = {&untouched}};
    StyledText text;
    text.plain(message);
    return error_report(text, {}, usage_line(top), top.styles());
}

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

void exit_process(int status) {
    std::fflush(nullptr);
    std::exit(status);
}

void end_after_failed_write(WriteOutcome outcome) {
    if (outcome == WriteOutcome::interrupted) end_interrupted();
    // A reader that stopped reading wanted no more: nothing worth a message.
    if (outcome != WriteOutcome::closed_by_reader) {
        (void)write_to(Stream::standard_error, "error: could not write to standard output\n");
    }
    exit_process(STATUS_UNEXPECTED);
}

void end_interrupted() { exit_process(STATUS_INTERRUPTED); }

void emit_and_exit(const Report& report) {
    const WriteOutcome outcome =
        write_to(report.stream, report.render(parser_colour_enabled(descriptor(report.stream))));
    // Help or version that did not get out is no success; an error report
    // that cannot be written still ends the run with its own status.
    if (outcome != WriteOutcome::written && report.status == STATUS_SUCCESS) end_after_failed_write(outcome);
    exit_process(report.status);
}

void fail_with(FailKind kind, std::string_view message, const Command& untouched) {
    if (kind == FailKind::unexpected) {
        // The unexpected-error report ends the run with status 1 whether or
        // not it could be written, which is never a success.
        (void)write_to(Stream::standard_error, unexpected_report(message, program_colour_enabled()));
        exit_process(STATUS_UNEXPECTED);
    }
    emit_and_exit(program_error_report(message, untouched));
}

}  // namespace korvalith::cli
