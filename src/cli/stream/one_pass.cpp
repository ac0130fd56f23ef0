#include "cli/stream/one_pass.hpp"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

#include "common/utf8.hpp"

namespace korvalith::cli {

namespace {

// The bytes a final line ending takes: held back from the core until the
// input is known to go on after them.
constexpr std::size_t LINE_ENDING = 2;

std::unexpected<StreamFailure> failure(StreamFailure::Kind kind) { return std::unexpected(StreamFailure{.kind = kind}); }

std::unexpected<StreamFailure> read_failure(ReadFailure read) {
    return std::unexpected(StreamFailure{.kind = StreamFailure::Kind::read, .read = read});
}

std::unexpected<StreamFailure> sink_failure(WriteOutcome written, int error_number = 0) {
    return std::unexpected(
        StreamFailure{.kind = StreamFailure::Kind::sink, .written = written, .error_number = error_number});
}

// Without one final "\n" or "\r\n"; a "\r" alone ends no line.
ByteView without_final_line_ending(ByteView text) {
    if (text.empty() || text.back() != '\n') return text;
    text = text.first(text.size() - 1);
    if (!text.empty() && text.back() == '\r') text = text.first(text.size() - 1);
    return text;
}

// The sink as the pass uses it: begun at the first bytes, and after its
// first failure given nothing more.
class Delivery {
public:
    explicit Delivery(ResultSink& sink) : sink_(sink) {}

    // The bytes to the sink; false once it failed.
    bool deliver(ByteView bytes, const Interruption& interruption) {
        if (failed_) return false;
        if (!begun_ && !open(interruption)) return false;
        return keep(sink_.write(bytes, interruption));
    }

    // After the last bytes: begun (for an empty result) and ended.
    std::expected<void, StreamFailure> end(const Interruption& interruption) {
        if (!failed_ && !begun_) open(interruption);
        if (!failed_) keep(sink_.end(interruption));
        if (failed_) return sink_failure(outcome_, error_number_);
        return {};
    }

    bool failed() const noexcept { return failed_; }
    // The failure that must end the pass at once: a stop asked for.
    bool stopped() const noexcept { return failed_ && outcome_ == WriteOutcome::interrupted; }
    std::unexpected<StreamFailure> failure() const { return sink_failure(outcome_, error_number_); }

private:
    bool open(const Interruption& interruption) {
        begun_ = keep(sink_.begin(std::nullopt, interruption));
        return begun_;
    }

    bool keep(WriteOutcome outcome) {
        if (outcome == WriteOutcome::written) return true;
        failed_ = true;
        outcome_ = outcome;
        if (outcome == WriteOutcome::not_staged) error_number_ = sink_.staging_error();
        return false;
    }

    ResultSink& sink_;
    bool begun_ = false;
    bool failed_ = false;
    WriteOutcome outcome_ = WriteOutcome::written;
    int error_number_ = 0;
};

}  // namespace

std::expected<void, StreamFailure> run_one_pass(InputFile& input, ChunkedCore& core, ResultSink& sink,
                                                const OnePass& options, const Interruption& interruption) {
    const StreamChecks checks = options.checks;
    const std::size_t group = core.group();
    const std::size_t chunk = std::max(group, options.chunk_size / group * group);
    // Bytes left over from a chunk wait at the buffer's start for the next:
    // a final line ending held back, and what then falls short of a group.
    const std::size_t held_back = options.final_line_ending_ignored ? LINE_ENDING + group - 1 : 0;

    // A named file of several chunks is read ahead, by a thread of its own,
    // to its end: the kernel's copy out of the file then overlaps the core
    // and the write.
    std::unique_ptr<ReadAhead> ahead;
    if (input.rereadable() && held_back == 0 && input.announced_size() > chunk &&
        input.announced_size() >= options.threaded_from) {
        ahead = ReadAhead::start(input, UINT64_MAX, chunk);
    }
    ChunkBuffer buffer;
    if (!ahead && !buffer.allocate(chunk + held_back)) {
        return read_failure({ReadFailure::Kind::out_of_memory, chunk + held_back});
    }
    const auto room = core.room(chunk + held_back);
    if (!room) return read_failure({ReadFailure::Kind::out_of_memory, SIZE_MAX});
    ChunkBuffer result;
    if (!result.allocate(*room)) return read_failure({ReadFailure::Kind::out_of_memory, *room});
    // A file's result has a known most, where its size does not lie.
    const auto announced = static_cast<std::size_t>(input.announced_size());
    if (input.rereadable() && announced == input.announced_size()) {
        if (const auto most = core.room(announced)) sink.expect_at_most(*most);
    }

    // A file stops being read once its outcome is known; a pipe is read to
    // its end whatever it holds.
    const bool reads_to_end = !input.identity();
    // Without a check of its own, a failure of the sink is the run's, and
    // ends it at once.
    const bool judges = core.can_fail() || checks.input_must_be_text || checks.result_must_be_text;
    Delivery delivery(sink);
    Utf8Pieces input_text;
    Utf8Pieces result_text;
    bool input_not_text = false;
    bool result_not_text = false;
    std::optional<CoreError> rejected;
    bool core_done = false;
    bool judged = false;  // nothing more to judge: the input is only read to its end
    std::size_t waiting = 0;
    for (bool ended = false; !ended;) {
        ByteView fresh;
        if (ahead) {
            if (interruption.requested()) return read_failure({ReadFailure::Kind::interrupted});
            auto got = ahead->next();
            if (!got) return read_failure(got.error());
            fresh = *got;
        } else {
            auto got = input.fill({buffer.data() + waiting, chunk}, interruption);
            if (!got) return read_failure(got.error());
            fresh = {buffer.data() + waiting, *got};
        }
        ended = fresh.size() < chunk;
        if (judged) {
            if (!reads_to_end) break;
            continue;
        }
        if (checks.input_must_be_text && !input_text.feed(fresh)) {
            input_not_text = judged = true;
            continue;
        }
        ByteView piece = ahead ? fresh : ByteView{buffer.data(), waiting + fresh.size()};
        if (ended && options.final_line_ending_ignored) {
            piece = without_final_line_ending(piece);
        } else if (!ended && held_back > 0) {
            const std::size_t usable = piece.size() > LINE_ENDING ? piece.size() - LINE_ENDING : 0;
            piece = piece.first(usable / group * group);
        }
        if (!core_done && (!piece.empty() || ended)) {
            auto step = core.step(piece, {result.data(), result.size()});
            if (!step) {
                rejected = std::move(step.error());
                core_done = true;
            } else {
                const ByteView made{result.data(), step->written};
                if (checks.result_must_be_text && !result_not_text && !result_text.feed(made)) result_not_text = true;
                core_done = step->finished;
                // A result that will not be shown is not delivered; the core
                // still runs on, for a rejection, which would be reported first.
                if (!made.empty() && !result_not_text && !delivery.deliver(made, interruption)) {
                    if (delivery.stopped() || !judges) return delivery.failure();
                }
            }
        }
        // Once the core is done, only a text input is judged on: that it is
        // not text would be reported first.
        judged = core_done && !checks.input_must_be_text;
        if (!ahead) {
            const std::size_t rest = waiting + fresh.size() - piece.size();
            if (!ended && rest > 0) std::memmove(buffer.data(), buffer.data() + piece.size(), rest);
            waiting = ended ? 0 : rest;
        }
    }
    ahead.reset();  // the thread stops before anything else is judged
    if (input.changed()) return read_failure({ReadFailure::Kind::unreadable});
    if (input_not_text || (checks.input_must_be_text && !input_text.finish())) {
        return failure(StreamFailure::Kind::input_not_text);
    }
    if (rejected) return std::unexpected(StreamFailure{.kind = StreamFailure::Kind::core, .core_error = *rejected});
    if (auto finished = core.finish(); !finished) {
        return std::unexpected(StreamFailure{.kind = StreamFailure::Kind::core, .core_error = finished.error()});
    }
    if (checks.result_must_be_text && (result_not_text || !result_text.finish())) {
        return failure(StreamFailure::Kind::result_not_text);
    }
    return delivery.end(interruption);
}

}  // namespace korvalith::cli
