#include "cli/stream/two_pass.hpp"

#include <algorithm>

#include "cli/stream/text_check.hpp"
#include "common/utf8.hpp"

namespace korvalith::cli {

namespace {

std::unexpected<StreamFailure> read_failure(ReadFailure failure) {
    return std::unexpected(StreamFailure{.kind = StreamFailure::Kind::read, .read = failure});
}

// A file that no longer gives the result the check pass found.
std::unexpected<StreamFailure> changed() { return read_failure({ReadFailure::Kind::unreadable}); }

std::unexpected<StreamFailure> failure(StreamFailure::Kind kind) { return std::unexpected(StreamFailure{.kind = kind}); }

std::unexpected<StreamFailure> core_failure(CoreError error) {
    return std::unexpected(StreamFailure{.kind = StreamFailure::Kind::core, .core_error = std::move(error)});
}

std::unexpected<StreamFailure> sink_failure(WriteOutcome written) {
    return std::unexpected(StreamFailure{.kind = StreamFailure::Kind::sink, .written = written});
}

}  // namespace

std::expected<ChunkedStream, StreamFailure> ChunkedStream::make(InputFile input, ChunkedCorePtr core,
                                                                StreamChecks checks, std::size_t chunk_size,
                                                                std::uint64_t threaded_from) {
    const std::size_t group = core->group();
    std::size_t capacity = std::max(group, chunk_size / group * group);
    if (input.rereadable() && input.announced_size() < capacity) {
        capacity = static_cast<std::size_t>(input.announced_size());
    }
    ChunkedStream stream(std::move(input), std::move(core), checks);
    const auto room = stream.core_->room(capacity);
    if (!room) return read_failure({ReadFailure::Kind::out_of_memory, SIZE_MAX});
    if (!stream.chunk_.allocate(capacity)) return read_failure({ReadFailure::Kind::out_of_memory, capacity});
    if (!stream.result_.allocate(*room)) return read_failure({ReadFailure::Kind::out_of_memory, *room});
    stream.whole_in_chunk_ = stream.input_.rereadable() && stream.input_.announced_size() <= capacity;
    stream.threaded_ = stream.input_.rereadable() && !stream.whole_in_chunk_ &&
                       stream.input_.announced_size() >= threaded_from;
    return stream;
}

bool ChunkedStream::needs_check() const noexcept {
    return core_->can_fail() || checks_.input_must_be_text || checks_.result_must_be_text;
}

std::expected<void, StreamFailure> ChunkedStream::start_pass(bool read_ahead) {
    consumed_ = 0;
    ended_ = false;
    core_->restart();
    reuse_ = passes_ && whole_in_chunk_;
    // The write pass reads a file larger than a chunk ahead: the kernel's
    // copy out of the file then overlaps the core and the write. The check
    // pass reads for itself: it has little else to do, and the chunks a
    // thread reads into reach this one's cache more slowly than its own read
    // (measured on 1 GiB files: a check pass read ahead took 5% longer).
    if (read_ahead && threaded_) {
        ahead_ = ReadAhead::start(input_, input_.announced_size(), chunk_.size());
    }
    // Read ahead, the file is read at offsets and never moved through.
    if (passes_ && !reuse_ && !ahead_ && !input_.rewind()) return changed();
    passes_ = true;
    return {};
}

std::expected<ByteView, StreamFailure> ChunkedStream::next_chunk(const Interruption& interruption) {
    if (ended_) return ByteView{};
    const bool limited = input_.rereadable();
    std::size_t want = chunk_.size();
    const std::uint8_t* data = chunk_.data();
    if (limited) want = static_cast<std::size_t>(std::min<std::uint64_t>(want, input_.announced_size() - consumed_));
    if (reuse_) {
        // The whole file is still in the buffer from the check pass.
        reuse_ = false;
    } else if (want > 0 && ahead_) {
        if (interruption.requested()) return read_failure({ReadFailure::Kind::interrupted});
        auto got = ahead_->next();
        if (!got) return read_failure(got.error());
        if (got->size() < want) return changed();  // shorter than it announced
        data = got->data();
    } else if (want > 0) {
        auto got = input_.fill({chunk_.data(), want}, interruption);
        if (!got) return read_failure(got.error());
        if (*got < want) {
            if (limited) return changed();  // shorter than it announced
            want = *got;
            ended_ = true;
        }
    }
    consumed_ += want;
    if (want == 0 || (limited && consumed_ == input_.announced_size())) ended_ = true;
    return ByteView{data, want};
}

std::expected<std::uint64_t, StreamFailure> ChunkedStream::check(const Interruption& interruption) {
    if (auto started = start_pass(false); !started) return std::unexpected(started.error());
    // The core runs when it can fail, or when its result must be checked.
    const bool run_core = core_->can_fail() || checks_.result_must_be_text;
    // Where only the input's text is checked, a file of several chunks is
    // read in two halves at once.
    const std::optional<std::uint64_t> known = size_without_check();
    if (!run_core && checks_.input_must_be_text && known && threaded_) {
        if (auto text = file_is_text(input_, input_.announced_size(), chunk_.size(), interruption)) {
            if (!*text) return read_failure(text->error());
            if (!**text) return failure(StreamFailure::Kind::input_not_text);
            return *known;
        }
    }
    Utf8Pieces input_text;
    Utf8Pieces result_text;
    bool result_is_text = true;
    std::optional<CoreError> rejected;
    bool core_done = false;
    std::uint64_t total = 0;
    while (!ended_) {
        auto chunk = next_chunk(interruption);
        if (!chunk) return std::unexpected(chunk.error());
        if (checks_.input_must_be_text && !input_text.feed(*chunk)) return failure(StreamFailure::Kind::input_not_text);
        if (!core_done) {
            if (run_core) {
                auto step = core_->step(*chunk, {result_.data(), result_.size()});
                if (!step) {
                    rejected = std::move(step.error());
                    core_done = true;
                } else {
                    const ByteView made{result_.data(), step->written};
                    if (checks_.result_must_be_text && result_is_text) result_is_text = result_text.feed(made);
                    total += step->written;
                    core_done = step->finished;
                }
            } else {
                total += *core_->room(chunk->size());
            }
        }
        // Once the core is done, only a text input needs reading on: that it
        // is not text would be reported first.
        if (core_done && !checks_.input_must_be_text) break;
    }
    if (checks_.input_must_be_text && !input_text.finish()) return failure(StreamFailure::Kind::input_not_text);
    if (rejected) return core_failure(std::move(*rejected));
    if (auto finished = core_->finish(); !finished) return core_failure(std::move(finished.error()));
    if (checks_.result_must_be_text && !(result_is_text && result_text.finish())) {
        return failure(StreamFailure::Kind::result_not_text);
    }
    return total;
}

std::optional<std::uint64_t> ChunkedStream::size_without_check() const noexcept {
    if (!input_.rereadable() || core_->can_fail()) return std::nullopt;
    const std::uint64_t size = input_.announced_size();
    const std::size_t chunk = chunk_.size();
    const auto whole_room = core_->room(chunk);
    const auto last_room = core_->room(static_cast<std::size_t>(size % chunk));
    if (!whole_room || !last_room) return std::nullopt;
    std::uint64_t total = 0;
    if (__builtin_mul_overflow(size / chunk, std::uint64_t{*whole_room}, &total) ||
        __builtin_add_overflow(total, std::uint64_t{*last_room}, &total)) {
        return std::nullopt;
    }
    return total;
}

std::expected<void, StreamFailure> ChunkedStream::write(ResultSink& sink, std::optional<std::uint64_t> size,
                                                        const Interruption& interruption) {
    auto written = write_pass(sink, size, interruption);
    ahead_.reset();  // the thread stops, whatever ended the pass
    return written;
}

std::expected<void, StreamFailure> ChunkedStream::write_pass(ResultSink& sink, std::optional<std::uint64_t> size,
                                                             const Interruption& interruption) {
    if (auto started = start_pass(true); !started) return std::unexpected(started.error());
    Interruption active = interruption;
    bool begun = false;
    const auto begin = [&]() -> WriteOutcome {
        const WriteOutcome outcome = sink.begin(size, active);
        begun = outcome == WriteOutcome::written;
        // From here on the write is finished, however long a stop waits.
        if (begun && sink.completes_once_begun()) active = Interruption{};
        return outcome;
    };
    std::uint64_t total = 0;
    while (!ended_) {
        auto chunk = next_chunk(active);
        if (!chunk) return std::unexpected(chunk.error());
        if (chunk->empty()) break;
        auto step = core_->step(*chunk, {result_.data(), result_.size()});
        if (!step) return changed();  // the check pass found no such error
        if (!begun) {
            if (const WriteOutcome outcome = begin(); outcome != WriteOutcome::written) return sink_failure(outcome);
        }
        if (const WriteOutcome outcome = sink.write({result_.data(), step->written}, active);
            outcome != WriteOutcome::written) {
            return sink_failure(outcome);
        }
        total += step->written;
        if (step->finished) break;
    }
    if (!core_->finish() || (size && total != *size)) return changed();
    if (!begun) {
        if (const WriteOutcome outcome = begin(); outcome != WriteOutcome::written) return sink_failure(outcome);
    }
    if (const WriteOutcome outcome = sink.end(active); outcome != WriteOutcome::written) return sink_failure(outcome);
    return {};
}

}  // namespace korvalith::cli
