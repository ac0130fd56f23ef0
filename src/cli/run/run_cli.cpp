#include "cli/run/run_cli.hpp"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <utility>

#include "cli/command/build_cli.hpp"
#include "cli/parse/argument_list.hpp"
#include "cli/parse/parser.hpp"
#include "cli/run/reports.hpp"

namespace korvalith::cli {

namespace {

// The unexpected-error report of a run that broke off, and its status. The
// report is left uncoloured: deciding on colour could need what just ran out.
int show_broken_run(const char* details) {
    (void)write_to(Stream::standard_error, unexpected_report(details, false));
    return STATUS_UNEXPECTED;
}

// The result on standard output, the program's line: held whole, or made
// while it is written.
std::expected<void, Failure> print_result(Success& success, int fd, const Interruption& interruption) {
    const PrintTarget target{.fd = fd, .coloured = program_colour_enabled()};
    if (success.pending) return success.pending->print(target, interruption);
    return print_whole(target, success.result.view(), interruption);
}

}  // namespace

std::optional<int> run_arguments(std::span<char* const> command_line, const RunContext& context) {
    // A stop asked for before the run began ends it before anything is written.
    if (context.interruption.requested()) return context.interruption.status();
    // The program's own reports show the usage of this tree's top level.
    const Command untouched = build_cli();
    auto arguments = argument_list(command_line);
    if (!arguments) {
        // Position 0 is the program's path; the user's arguments count from 1.
        const std::size_t position = arguments.error();
        std::string message = position == 0 ? std::string("The program's path is not valid UTF-8")
                                            : "Argument " + std::to_string(position) + " is not valid UTF-8";
        return show_failure({FailKind::invalid_value, std::move(message)}, untouched);
    }
    const Command tree = build_cli();
    ParseResult parsed = parse_arguments(tree, *arguments);
    if (!parsed) return show_report(parsed.error());

    // A run that was asked to stop shows nothing more, and ends with the
    // status of the signal that stopped it.
    const auto ended = [&](const Failure& failure) {
        return failure.kind == FailKind::interrupted ? context.interruption.status() : show_failure(failure, untouched);
    };
    Outcome outcome = dispatch(*parsed, context);
    if (!outcome) return ended(outcome.error());
    if (outcome->message) {
        // The result went to a file, completely: that is told whatever the
        // user asks meanwhile.
        const WriteOutcome printed = write_program_line(Stream::standard_output, *outcome->message,
                                                        ProgramColour::green);
        if (printed != WriteOutcome::written) return show_failure(failure_after_write(printed), untouched);
        // A stop asked for meanwhile came too late: it is taken and dropped
        // here, so that it cannot end the process after the success was told.
        (void)context.interruption.requested();
        return std::nullopt;
    }
    // The printing asks once more after its last byte, so that a signal that
    // came after it still ends the run as an interruption (a file that
    // standard output appends to cut back) rather than as a success; one
    // that comes later still is taken and dropped.
    if (auto printed = print_result(*outcome, context.standard_output, context.interruption); !printed) {
        return ended(printed.error());
    }
    (void)context.interruption.requested();
    return std::nullopt;
}

void run_cli(std::span<char* const> command_line, const Interruption& interruption) noexcept {
    std::optional<int> status;
    try {
        status = run_arguments(command_line, {.interruption = interruption, .standard_input = STDIN_FILENO,
                                              .standard_output = STDOUT_FILENO});
    } catch (const std::bad_alloc&) {
        status = show_broken_run("MemoryError: out of memory");
    } catch (...) {
        status = show_broken_run("internal error in the command line");
    }
    if (!status) return;
    // Output the C library still buffers goes out before the process ends.
    std::fflush(nullptr);
    std::exit(*status);
}

}  // namespace korvalith::cli
