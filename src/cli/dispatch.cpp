#include "cli/dispatch.hpp"

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "cli/actions.hpp"
#include "cli/arguments.hpp"
#include "cli/control_characters.hpp"
#include "cli/input_file.hpp"
#include "cli/output_file.hpp"
#include "cli/page_buffer.hpp"
#include "cli/reports.hpp"
#include "cli/stream/held_result.hpp"
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
        case ReadFailure::Kind::unreadable: break;
    }
    return unreadable(data);
}

// A result that could not be written to the -o file, or to standard output
// (no file name).
std::unexpected<Failure> write_failure(WriteOutcome outcome, std::optional<std::string_view> output) {
    if (!output) return std::unexpected(failure_after_write(outcome));
    switch (outcome) {
        case WriteOutcome::interrupted: return failure(FailKind::interrupted);
        case WriteOutcome::closed_by_reader: return failure(FailKind::closed_by_reader);
        default: return failure(FailKind::input_output, "Could not write to file: " + shown(*output));
    }
}

Success written_to(std::string_view output) { return Success{.message = "Successfully wrote data to " + shown(output)}; }

// What a run needs to know to report its failures.
struct Run {
    const ActionDeclaration& action;
    std::string_view data;
    std::optional<std::string_view> output;
    const RunContext& context;
};

std::unexpected<Failure> stream_failure(const StreamFailure& failed, const Run& run) {
    switch (failed.kind) {
        case StreamFailure::Kind::read: return read_failure(failed.read, run.data);
        case StreamFailure::Kind::input_not_text: return unreadable(run.data);
        case StreamFailure::Kind::core: return core_failure(failed.core_error, run.action.core_error_from_file);
        case StreamFailure::Kind::result_not_text:
            return failure(FailKind::invalid_text, "Unable to convert bytes to string.");
        case StreamFailure::Kind::sink: break;
    }
    return write_failure(failed.written, run.output);
}

// The checks besides the core's: a text action's input must be text, and so
// must a binary result printed.
StreamChecks checks_for(const Run& run) {
    return {.input_must_be_text = run.action.input == InputKind::text,
            .result_must_be_text = run.action.result == ResultKind::binary && !run.output};
}

// A file streamed to standard output when the run's outcome is printed.
class PendingStream final : public PendingResult {
public:
    PendingStream(ChunkedStream stream, std::optional<std::uint64_t> size, const ActionDeclaration& action,
                  std::string data)
        : stream_(std::move(stream)), size_(size), action_(action), data_(std::move(data)) {}

    std::expected<void, Failure> write_to(ResultSink& out, const Interruption& interruption) override {
        const RunContext context{.interruption = interruption};
        auto written = stream_.write(out, size_, interruption);
        if (!written) return stream_failure(written.error(), {action_, data_, std::nullopt, context});
        return {};
    }

private:
    ChunkedStream stream_;
    std::optional<std::uint64_t> size_;
    const ActionDeclaration& action_;
    std::string data_;
};

// The input read in chunks: a check pass first where anything can fail, then
// the write pass into the -o file, or left for the printing of the outcome.
Outcome stream(InputFile input, ChunkedCorePtr core, const Run& run) {
    const StreamChecks checks = checks_for(run);
    auto made = ChunkedStream::make(std::move(input), std::move(core), checks);
    if (!made) return stream_failure(made.error(), run);
    ChunkedStream& chunks = *made;
    std::optional<std::uint64_t> size = chunks.size_without_check();
    if (chunks.needs_check()) {
        auto checked = chunks.check(run.context.interruption);
        if (!checked) return stream_failure(checked.error(), run);
        size = *checked;
    }
    if (!run.output) {
        return Success{.pending = std::make_unique<PendingStream>(std::move(chunks), size, run.action,
                                                                  std::string(run.data))};
    }
    OutputFile target{std::string(*run.output)};
    if (auto written = chunks.write(target, size, run.context.interruption); !written) {
        return stream_failure(written.error(), run);
    }
    return written_to(*run.output);
}

// A result held whole, printed when the run's outcome is.
class HeldResult final : public PendingResult {
public:
    explicit HeldResult(PageBuffer result) : result_(std::move(result)) {}

    std::expected<void, Failure> write_to(ResultSink& out, const Interruption& interruption) override {
        return print_whole(out, result_.view(), interruption);
    }

private:
    PageBuffer result_;
};

Success to_print(ByteBuffer result) { return Success{.result = std::move(result)}; }
Success to_print(PageBuffer result) { return Success{.pending = std::make_unique<HeldResult>(std::move(result))}; }

// The result (of -s, or held whole) written to the -o file, or handed back
// to be printed.
template <typename Held>
Outcome deliver(Held result, const Run& run) {
    if (!run.output) return to_print(std::move(result));
    OutputFile target{std::string(*run.output)};
    WriteOutcome outcome = target.begin(result.size(), run.context.interruption);
    // Once begun, the write is finished, however long a stop waits.
    if (outcome == WriteOutcome::written) outcome = target.write(result.view(), {});
    if (outcome == WriteOutcome::written) outcome = target.end({});
    if (outcome != WriteOutcome::written) return write_failure(outcome, run.output);
    return written_to(*run.output);
}

// The literal given with -s, run at once; a result to be printed must be
// text.
Outcome run_literal(ByteView bytes, ChunkedCore& core, const Run& run) {
    CoreResult<ByteBuffer> result = run_whole(core, bytes);
    if (!result) return core_failure(result.error(), run.action.core_error_with_string);
    const bool must_be_text =
        run.action.result == ResultKind::encoded || (run.action.result == ResultKind::binary && !run.output);
    if (must_be_text && !is_valid_utf8(result->view())) {
        return failure(FailKind::invalid_text, "Unable to convert bytes to string.");
    }
    return deliver(std::move(*result), run);
}

// The input read once, to its end (standard input, a pipe, or a file its
// own result is written over), the core run over it as it comes and the
// result held whole until the whole input is judged. Base32 or Base64 text
// from standard input may end with the line ending the encoders print.
Outcome run_held(InputFile& input, ChunkedCore& core, const Run& run) {
    const StreamChecks checks = checks_for(run);
    const bool final_line_ending_ignored = run.data == "-" && run.action.input == InputKind::encoded;
    auto held = hold_result(input, core, checks, final_line_ending_ignored, run.context.interruption);
    if (!held) return stream_failure(held.error(), run);
    return deliver(std::move(*held), run);
}

// Whether the input is read in chunks: a file that can be read twice, unless
// the result goes over it; or, read once, an input that an encoder turns
// into text for standard output, where nothing can fail once it is read.
bool streams(const InputFile& input, const ChunkedCore& core, const Run& run) {
    if (input.rereadable()) {
        return !run.output || regular_file_identity(std::string(*run.output)) != input.identity();
    }
    return !run.output && !core.can_fail() && run.action.input == InputKind::bytes;
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
    if (streams(*input, *core, run)) return stream(std::move(*input), std::move(core), run);
    return run_held(*input, *core, run);
}

}  // namespace korvalith::cli
