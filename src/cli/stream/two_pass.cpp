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

// A file whose size did not hold at the check pass.
std::unexpected<StreamFailure> size_differs() { return read_failure({ReadFailure::Kind::size_differs}); }

std::unexpected<StreamFailure> failure(StreamFailure::Kind kind) { return std::unexpected(StreamFailure{.kind = kind}); }

std::unexpected<StreamFailure> core_failure(CoreError error) {
    return std::unexpected(StreamFailure{.kind = StreamFailure::Kind::core, .core_error = std::move(error)});
}

std::unexpected<StreamFailure> sink_failure(WriteOutcome written) {
    return std::unexpected(StreamFailure{.kind = StreamFailure::Kind::sink, .written = written});
}

}  // namespace

std::expected<ChunkedStream, StreamFailure> ChunkedStream::make(InputFile& input, ChunkedCore& core,
                                                                StreamChecks checks, std::size_t chunk_size,
                                                                std::uint64_t threaded_from) {
    const std::size_t group = core.group();
    std::size_t capacity = std::max(group, chunk_size / group * group);
    if (input.announced_size() < capacity) capacity = static_cast<std::size_t>(input.announced_size());
    ChunkedStream stream(input, core, checks);
    const auto room = core.room(capacity);
    if (!room) return read_failure({ReadFailure::Kind::out_of_memory, SIZE_MAX});
    if (!stream.chunk_.allocate(capacity)) return read_failure({ReadFailure::Kind::out_of_memory, capacity});
    if (!stream.result_.allocate(*room)) return read_failure({ReadFailure::Kind::out_of_memory, *room});
    stream.whole_in_chunk_ = input.announced_size() <= capacity;
    stream.threaded_ = !stream.whole_in_chunk_ && input.announced_size() >= threaded_from;
    return stream;
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
        ahead_ = ReadAhead::start(*input_, input_->announced_size(), chunk_.size());
    }
    // Read ahead, the file is read at offsets and never moved through.
    if (passes_ && !reuse_ && !ahead_ && !input_->rewind()) return changed();
    passes_ = true;
    return {};
}

std::expected<ByteView, StreamFailure> ChunkedStream::next_chunk(const Interruption& interruption) {
    if (ended_) return ByteView{};
    std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(chunk_.size(), input_->announced_size() - consumed_));
    const std::uint8_t* data = chunk_.data();
    if (reuse_) {
        // The whole file is still in the buffer from the check pass.
        reuse_ = false;
    } else if (want > 0 && ahead_) {
        if (interruption.requested()) return read_failure({ReadFailure::Kind::interrupted});
        auto got = ahead_->next();
        if (!got) return read_failure(got.error());
        if (got->size() < want) return changed();
        data = got->data();
    } else if (want > 0) {
        auto got = input_->fill({chunk_.data(), want}, interruption);
        if (!got) return read_failure(got.error());
        // Shorter than it announced: at the check its size lies, after it
        // the file changed.
        if (*got < want) return checking_ ? size_differs() : changed();
    }
    consumed_ += want;
    if (want == 0 || consumed_ == input_->announced_size()) ended_ = true;
    return ByteView{data, want};
}

std::expected<void, StreamFailure> ChunkedStream::ends_where_announced() {
    std::uint8_t beyond = 0;
    auto got = input_->fill_at({&beyond, 1}, input_->announced_size());
    if (!got) return read_failure(got.error());
    if (*got != 0) return size_differs();
    return {};
}

std::expected<std::uint64_t, StreamFailure> ChunkedStream::check(const Interruption& interruption) {
    checking_ = true;
    auto checked = check_pass(interruption);
    checking_ = false;
    return checked;
}

std::expected<std::uint64_t, StreamFailure> ChunkedStream::check_pass(const Interruption& interruption) {
    if (auto started = start_pass(false); !started) return std::unexpected(started.error());
    // The core runs when it can fail, or when its result must be checked.
    const bool run_core = core_->can_fail() || checks_.result_must_be_text;
    // Where only the input's text is checked, a file of several chunks is
    // read in two halves at once.
    if (!run_core && checks_.input_must_be_text && threaded_) {
        const std::uint64_t size = input_->announced_size();
        if (auto text = file_is_text(*input_, size, chunk_.size(), interruption)) {
            if (!*text) return read_failure(text->error());
            if (auto ends = ends_where_announced(); !ends) return std::unexpected(ends.error());
            if (!**text) return failure(StreamFailure::Kind::input_not_text);
            // The core cannot fail: its result's size follows from the input's.
            const std::uint64_t chunks = size / chunk_.size();
            const auto whole_room = core_->room(chunk_.size());
            const auto last_room = core_->room(static_cast<std::size_t>(size % chunk_.size()));
            std::uint64_t total = 0;
            if (!whole_room || !last_room || __builtin_mul_overflow(chunks, std::uint64_t{*whole_room}, &total) ||
                __builtin_add_overflow(total, std::uint64_t{*last_room}, &total)) {
                return read_failure({ReadFailure::Kind::out_of_memory, SIZE_MAX});
            }
            return total;
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
    if (auto ends = ends_where_announced(); !ends) return std::unexpected(ends.error());
    if (checks_.input_must_be_text && !input_text.finish()) return failure(StreamFailure::Kind::input_not_text);
    if (rejected) return core_failure(std::move(*rejected));
    if (auto finished = core_->finish(); !finished) return core_failure(std::move(finished.error()));
    if (checks_.result_must_be_text && !(result_is_text && result_text.finish())) {
        return failure(StreamFailure::Kind::result_not_text);
    }
    return total;
}

std::expected<void, StreamFailure> ChunkedStream::write(ResultSink& sink, std::uint64_t size,
                                                        const Interruption& interruption) {
    auto written = write_pass(sink, size, interruption);
    ahead_.reset();  // the thread stops, whatever ended the pass
    return written;
}

std::expected<void, StreamFailure> ChunkedStream::write_pass(ResultSink& sink, std::uint64_t size,
                                                             const Interruption& interruption) {
    if (auto started = start_pass(true); !started) return std::unexpected(started.error());
    bool begun = false;
    const auto begin = [&]() -> WriteOutcome {
        const WriteOutcome outcome = sink.begin(size, interruption);
        begun = outcome == WriteOutcome::written;
        return outcome;
    };
    // Everything the check pass found is found again, or the file changed.
    Utf8Pieces input_text;
    Utf8Pieces result_text;
    std::uint64_t total = 0;
    while (!ended_) {
        auto chunk = next_chunk(interruption);
        if (!chunk) return std::unexpected(chunk.error());
        if (chunk->empty()) break;
        if (checks_.input_must_be_text && !input_text.feed(*chunk)) return changed();
        auto step = core_->step(*chunk, {result_.data(), result_.size()});
        if (!step) return changed();
        const ByteView made{result_.data(), step->written};
        if (checks_.result_must_be_text && !result_text.feed(made)) return changed();
        total += step->written;
        if (total > size) return changed();
        if (!begun) {
            if (const WriteOutcome outcome = begin(); outcome != WriteOutcome::written) return sink_failure(outcome);
        }
        if (const WriteOutcome outcome = sink.write(made, interruption); outcome != WriteOutcome::written) {
            return sink_failure(outcome);
        }
        if (step->finished) break;
    }
    ahead_.reset();
    if (!core_->finish() || total != size) return changed();
    if (checks_.input_must_be_text && !input_text.finish()) return changed();
    if (checks_.result_must_be_text && !result_text.finish()) return changed();
    if (auto ends = ends_where_announced(); !ends || input_->changed()) return changed();
    if (!begun) {
        if (const WriteOutcome outcome = begin(); outcome != WriteOutcome::written) return sink_failure(outcome);
    }
    if (const WriteOutcome outcome = sink.end(interruption); outcome != WriteOutcome::written) return sink_failure(outcome);
    return {};
}

}  // namespace korvalith::cli
