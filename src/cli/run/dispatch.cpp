#include "cli/run/dispatch.hpp"

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "cli/command/actions.hpp"
#include "cli/command/arguments.hpp"
#include "cli/files/input_file.hpp"
#include "cli/files/os_error.hpp"
#include "cli/files/output_file.hpp"
#include "cli/files/standard_output.hpp"
#include "cli/parse/control_characters.hpp"
#include "cli/run/program_output.hpp"
#include "cli/run/reports.hpp"
#include "cli/stream/one_pass.hpp"
#include "cli/stream/two_pass.hpp"
#include "common/utf8.hpp"

namespace korvalith::cli {

namespace {

std::unexpected<Failure> failure(FailKind kind, std::string message = {}) {
    return std::unexpected(Failure{kind, std::move(message)});
}

// A name or message as the terminal shows it.
std::string shown(std::string_view text) { return escape_control_characters(text); }

// A core error as the user sees it: the Python exception class the wrappers
// would raise, a colon, a blank and the message.
std::unexpected<Failure> core_failure(const CoreError& error, CoreErrorReport report) {
    if (error.kind == CoreError::Kind::OutOfMemory) {
        return failure(FailKind::unexpected,
                       "MemoryError: could not allocate " + std::to_string(error.requested) + " bytes");
    }
    return failure(report == CoreErrorReport::invalid_value ? FailKind::invalid_value : FailKind::unexpected,
                   "ValueError: " + shown(error.message));
}

std::unexpected<Failure> unreadable(std::string_view data) {
    return failure(FailKind::input_output, "Could not read file: " + shown(data));
}

std::unexpected<Failure> read_failure(const ReadFailure& read, std::string_view data) {
    switch (read.kind) {
        case ReadFailure::Kind::interrupted: return failure(FailKind::interrupted);
        case ReadFailure::Kind::out_of_memory:
            return core_failure(CoreError::out_of_memory(read.requested), CoreErrorReport::unexpected);
        case ReadFailure::Kind::unreadable:
        case ReadFailure::Kind::size_differs: break;
    }
    return unreadable(data);
}

// A result that could not be written to the -o file, or to standard output
// (no file name); or not staged for either, which no message of the command
// line names: the unexpected-error report with the system's reason.
// A staging file that could not be made names its directory, as Python's
// OSError names a file: "FileNotFoundError: [Errno 2] No such file or
// directory: '/missing'".
std::unexpected<Failure> write_failure(WriteOutcome outcome, int error_number, std::optional<std::string_view> output,
                                       const std::string& staging_place = {}) {
    if (outcome == WriteOutcome::not_staged) {
        std::string reason = os_error_text(error_number);
        if (!staging_place.empty()) reason += ": '" + shown(staging_place) + "'";
        return failure(FailKind::unexpected, std::move(reason));
    }
    if (!output) return std::unexpected(failure_after_write(outcome, error_number));
    switch (outcome) {
        case WriteOutcome::interrupted: return failure(FailKind::interrupted);
        case WriteOutcome::closed_by_reader: return failure(FailKind::closed_by_reader);
        default: return failure(FailKind::input_output, "Could not write to file: " + shown(*output));
    }
}

// Told once on standard error while the -o file's lock is waited for.
void prepare(OutputFile& target, std::string_view output, const RunContext& context) {
    target.printed_to(context.standard_output);
    target.when_waiting([name = std::string(output)] {
        (void)write_to(Stream::standard_error,
                       "Waiting for another process to release its lock on " + shown(name) + "\n");
    });
}

Success written_to(std::string_view output) { return Success{.message = "Successfully wrote data to " + shown(output)}; }

// What a run needs to know to report its failures.
struct Run {
    const ActionDeclaration& action;
    std::string_view data;
    std::optional<std::string_view> output;
    const RunContext& context;
};

std::unexpected<Failure> stream_failure(const StreamFailure& failed, const ActionDeclaration& action,
                                        std::string_view data, std::optional<std::string_view> output,
                                        const std::string& staging_place = {}) {
    switch (failed.kind) {
        case StreamFailure::Kind::read: return read_failure(failed.read, data);
        case StreamFailure::Kind::input_not_text: return unreadable(data);
        case StreamFailure::Kind::core: return core_failure(failed.core_error, action.core_error_from_file);
        case StreamFailure::Kind::result_not_text:
            return failure(FailKind::invalid_text, "Unable to convert bytes to string.");
        case StreamFailure::Kind::sink: break;
    }
    return write_failure(failed.written, failed.error_number, output, staging_place);
}

// The checks besides the core's: a text action's input must be text, and so
// must a binary result printed.
StreamChecks checks_for(const ActionDeclaration& action, bool printed) {
    return {.input_must_be_text = action.input == InputKind::text,
            .result_must_be_text = action.result == ResultKind::binary && printed};
}

// Base32 or Base64 text from standard input may end with the line ending
// the encoders print.
bool final_line_ending_ignored(const ActionDeclaration& action, std::string_view data) {
    return data == "-" && action.input == InputKind::encoded;
}

// An input made into standard output when the run's outcome is printed.
class PendingStream final : public PendingResult {
public:
    PendingStream(InputFile input, ChunkedCorePtr core, const ActionDeclaration& action, std::string data)
        : input_(std::move(input)), core_(std::move(core)), action_(action), data_(std::move(data)) {}

    std::expected<void, Failure> print(const PrintTarget& target, const Interruption& interruption) override {
        StandardOutput standard_output(target.fd, input_.identity());
        ProgramOutput out(standard_output, ProgramColour::green, target.coloured);
        auto printed = run(out, interruption);
        if (!printed) return stream_failure(printed.error(), action_, data_, std::nullopt, out.staging_place());
        return {};
    }

private:
    // Where standard output cannot take a result back (a pipe, a terminal),
    // a result that cannot fail goes out as it is made, and a file is
    // checked first and then read again to go out as it is made; anything
    // else (an input read once that may fail) is staged until it succeeds.
    // A file standard output appends to takes the result in one pass.
    std::expected<void, StreamFailure> run(ResultSink& out, const Interruption& interruption) {
        const StreamChecks checks = checks_for(action_, true);
        const bool judged = core_->can_fail() || checks.input_must_be_text || checks.result_must_be_text;
        if (out.stages() && !judged) out.deliver_as_made();
        if (out.stages() && judged && input_.rereadable()) {
            auto stream = ChunkedStream::make(input_, *core_, checks);
            if (!stream) return std::unexpected(stream.error());
            auto size = stream->check(interruption);
            if (size) {
                out.deliver_as_made();
                return stream->write(out, *size, interruption);
            }
            // A file whose size does not hold is read once, as a pipe is.
            if (size.error().kind != StreamFailure::Kind::read ||
                size.error().read.kind != ReadFailure::Kind::size_differs) {
                return std::unexpected(size.error());
            }
            if (!input_.rewind()) {
                return std::unexpected(StreamFailure{.kind = StreamFailure::Kind::read, .read = {}});
            }
            core_->restart();
        }
        const OnePass options{.checks = checks,
                              .final_line_ending_ignored = final_line_ending_ignored(action_, data_)};
        return run_one_pass(input_, *core_, out, options, interruption);
    }

    InputFile input_;
    ChunkedCorePtr core_;
    const ActionDeclaration& action_;
    std::string data_;
};

// The input read once, in chunks, into the -o file: straight in where the
// file can take it back, else staged and committed once the run succeeded.
Outcome into_file(InputFile& input, ChunkedCore& core, const Run& run) {
    OutputFile target{std::string(*run.output), input.identity()};
    prepare(target, *run.output, run.context);
    const OnePass options{.checks = checks_for(run.action, false),
                          .final_line_ending_ignored = final_line_ending_ignored(run.action, run.data)};
    if (auto written = run_one_pass(input, core, target, options, run.context.interruption); !written) {
        return stream_failure(written.error(), run.action, run.data, run.output, target.staging_place());
    }
    if (target.identity()) print_after(run.context.standard_output, *target.identity());
    return written_to(*run.output);
}

// The literal given with -s, run at once; a result to be printed must be
// text. Into the -o file it goes as a result that can no longer fail.
Outcome run_literal(ByteView bytes, ChunkedCore& core, const Run& run) {
    CoreResult<ByteBuffer> result = run_whole(core, bytes);
    if (!result) return core_failure(result.error(), run.action.core_error_with_string);
    const bool must_be_text =
        run.action.result == ResultKind::encoded || (run.action.result == ResultKind::binary && !run.output);
    if (must_be_text && !is_valid_utf8(result->view())) {
        return failure(FailKind::invalid_text, "Unable to convert bytes to string.");
    }
    if (!run.output) return Success{.result = std::move(*result)};
    OutputFile target{std::string(*run.output)};
    prepare(target, *run.output, run.context);
    WriteOutcome outcome = target.begin(result->size(), run.context.interruption);
    if (outcome == WriteOutcome::written) outcome = target.write(result->view(), run.context.interruption);
    if (outcome == WriteOutcome::written) outcome = target.end(run.context.interruption);
    if (outcome != WriteOutcome::written) {
        return write_failure(outcome, target.staging_error(), run.output, target.staging_place());
    }
    if (target.identity()) print_after(run.context.standard_output, *target.identity());
    return written_to(*run.output);
}

}  // namespace

Outcome dispatch(const Matches& matches, const RunContext& context) {
    const ActionDeclaration* action = find_action(matches.group(), matches.action());
    if (action == nullptr) return failure(FailKind::missing_subcommand, "Command not recognised or not provided");
    // The parser yields no matches without the required values, so one is
    // missing only when the matches come from elsewhere.
    for (const Argument& argument : action->arguments) {
        if (argument.required && !matches.given(argument)) {
            return failure(FailKind::missing_argument, "Argument " + argument.placeholder() + " was not found");
        }
    }
    const Run run{*action, matches.required(DATA), matches.value(OUTPUT), context};
    ChunkedCorePtr core = action->core(matches);

    // With -s the data itself is the input; otherwise it names where to read it.
    if (matches.flag(STRING)) return run_literal(as_byte_view(run.data), *core, run);
    auto input = run.data == "-" ? InputFile::borrow(context.standard_input)
                                 : InputFile::open(std::string(run.data), context.interruption);
    if (!input) return read_failure(input.error(), run.data);
    if (run.output) return into_file(*input, *core, run);
    return Success{.pending = std::make_unique<PendingStream>(std::move(*input), std::move(core), run.action,
                                                              std::string(run.data))};
}

}  // namespace korvalith::cli
