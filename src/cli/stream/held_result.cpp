#include "cli/stream/held_result.hpp"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

#include "cli/stream/chunk_buffer.hpp"
#include "common/checked_size.hpp"
#include "common/utf8.hpp"

namespace korvalith::cli {

namespace {

// The bytes a final line ending takes: held back from the core until the
// input is known to go on after them.
constexpr std::size_t LINE_ENDING = 2;

// The least the result's room grows by when doubling it is refused.
constexpr std::size_t GROWTH = std::size_t{1} << 16;

std::unexpected<StreamFailure> failure(StreamFailure::Kind kind) { return std::unexpected(StreamFailure{.kind = kind}); }

std::unexpected<StreamFailure> out_of_memory(std::size_t requested) {
    return std::unexpected(StreamFailure{.kind = StreamFailure::Kind::read,
                                         .read = {ReadFailure::Kind::out_of_memory, requested}});
}

// Without one final "\n" or "\r\n"; a "\r" alone ends no line.
ByteView without_final_line_ending(ByteView text) {
    if (text.empty() || text.back() != '\n') return text;
    text = text.first(text.size() - 1);
    if (!text.empty() && text.back() == '\r') text = text.first(text.size() - 1);
    return text;
}

// Room for `more` bytes after the result: twice the room where the address
// space allows it, else just what is needed and a little.
bool make_room(PageBuffer& result, std::size_t more) {
    if (result.capacity() - result.size() >= more) return true;
    const auto needed = checked_add(result.size(), more);
    if (!needed) return false;
    const auto doubled = checked_mul(result.capacity(), 2);
    if (doubled && *doubled >= *needed && result.reserve(*doubled)) return true;
    const auto step = checked_add(*needed, GROWTH);
    return (step && result.reserve(*step)) || result.reserve(*needed);
}

}  // namespace

std::expected<PageBuffer, StreamFailure> hold_result(InputFile& input, ChunkedCore& core, StreamChecks checks,
                                                     bool final_line_ending_ignored,
                                                     const Interruption& interruption, std::size_t chunk_size) {
    const std::size_t group = core.group();
    const std::size_t chunk = std::max(group, chunk_size / group * group);
    // Bytes left over from a chunk wait at the buffer's start for the next:
    // a final line ending held back, and what then falls short of a group.
    const std::size_t held_back = final_line_ending_ignored ? LINE_ENDING + group - 1 : 0;
    ChunkBuffer buffer;
    if (!buffer.allocate(chunk + held_back)) return out_of_memory(chunk + held_back);

    // A file's result has a known most; other inputs start small and double.
    PageBuffer result;
    std::size_t expected = *core.room(chunk);
    if (input.identity() && input.announced_size() < std::numeric_limits<std::size_t>::max()) {
        expected = std::max(expected, core.room(static_cast<std::size_t>(input.announced_size())).value_or(0));
    }
    if (!result.reserve(expected)) return out_of_memory(expected);

    Utf8Pieces input_text;
    Utf8Pieces result_text;
    bool input_not_text = false;
    bool result_not_text = false;  // the result is no longer kept
    std::optional<CoreError> rejected;
    bool core_done = false;
    bool judged = false;  // nothing more to judge: the input is only read to its end
    std::size_t waiting = 0;
    for (bool ended = false; !ended;) {
        auto got = input.fill({buffer.data() + waiting, chunk}, interruption);
        if (!got) return std::unexpected(StreamFailure{.kind = StreamFailure::Kind::read, .read = got.error()});
        ended = *got < chunk;
        if (judged) continue;
        if (checks.input_must_be_text && !input_text.feed({buffer.data() + waiting, *got})) {
            input_not_text = judged = true;
            continue;
        }
        ByteView piece{buffer.data(), waiting + *got};
        if (ended && final_line_ending_ignored) {
            piece = without_final_line_ending(piece);
        } else if (!ended && held_back > 0) {
            const std::size_t usable = piece.size() > LINE_ENDING ? piece.size() - LINE_ENDING : 0;
            piece = piece.first(usable / group * group);
        }
        if (!core_done && (!piece.empty() || ended)) {
            const std::size_t room = *core.room(piece.size());
            if (!make_room(result, room)) return out_of_memory(checked_add(result.size(), room).value_or(SIZE_MAX));
            auto step = core.step(piece, {result.data() + result.size(), room});
            if (!step) {
                rejected = std::move(step.error());
                core_done = true;
            } else {
                const ByteView made{result.data() + result.size(), step->written};
                if (checks.result_must_be_text && !result_not_text && !result_text.feed(made)) result_not_text = true;
                // A result that is not text is never shown; the core still
                // runs on, for a rejection, which would be reported first.
                if (!result_not_text) result.set_size(result.size() + step->written);
                core_done = step->finished;
            }
        }
        // Once the core is done, only a text input is judged on: that it is
        // not text would be reported first.
        judged = core_done && !checks.input_must_be_text;
        const std::size_t rest = waiting + *got - piece.size();
        if (!ended && rest > 0) std::memmove(buffer.data(), buffer.data() + piece.size(), rest);
        waiting = ended ? 0 : rest;
    }
    if (input_not_text || (checks.input_must_be_text && !input_text.finish())) {
        return failure(StreamFailure::Kind::input_not_text);
    }
    if (rejected) return std::unexpected(StreamFailure{.kind = StreamFailure::Kind::core, .core_error = std::move(*rejected)});
    if (auto finished = core.finish(); !finished) {
        return std::unexpected(StreamFailure{.kind = StreamFailure::Kind::core, .core_error = finished.error()});
    }
    if (checks.result_must_be_text && (result_not_text || !result_text.finish())) {
        return failure(StreamFailure::Kind::result_not_text);
    }
    return result;
}

}  // namespace korvalith::cli
