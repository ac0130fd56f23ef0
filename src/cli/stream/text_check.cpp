#include "cli/stream/text_check.hpp"

#include <algorithm>
#include <atomic>
#include <thread>

#include "cli/files/chunk_buffer.hpp"
#include "cli/files/quiet_thread.hpp"
#include "common/utf8.hpp"

namespace korvalith::cli {

namespace {

// What a check of one half found.
struct Half {
    bool text = true;
    std::optional<ReadFailure> failed;
};

// Bytes `from` to `to` of the input, checked as UTF-8 that starts and ends
// on a character's boundary. Stops early, finding nothing, once `stop` is
// set: the other half's outcome then decides.
Half check_half(const InputFile& input, std::uint64_t from, std::uint64_t to, ChunkBuffer& buffer,
                const std::atomic<bool>& stop, const Interruption& interruption) {
    Utf8Pieces pieces;
    for (std::uint64_t at = from; at < to;) {
        if (stop.load(std::memory_order_relaxed)) return {};
        if (interruption.requested()) return {.failed = ReadFailure{ReadFailure::Kind::interrupted}};
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), to - at));
        auto got = input.fill_at({buffer.data(), want}, at);
        if (!got) return {.failed = got.error()};
        if (*got < want) return {.failed = ReadFailure{ReadFailure::Kind::size_differs}};
        if (!pieces.feed({buffer.data(), want})) return {.text = false, .failed = std::nullopt};
        at += want;
    }
    return {.text = pieces.finish(), .failed = std::nullopt};
}

bool continuation(std::uint8_t byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

std::optional<std::expected<bool, ReadFailure>> file_is_text(const InputFile& input, std::uint64_t size,
                                                             std::size_t chunk, const Interruption& interruption) {
    // The second half starts past the continuation bytes at the middle (a
    // character has at most three), so that no character is split.
    std::uint64_t middle = size / 2;
    std::uint8_t head[3] = {};
    auto got = input.fill_at({head, static_cast<std::size_t>(std::min<std::uint64_t>(3, size - middle))}, middle);
    if (!got) return std::unexpected(got.error());
    std::size_t skipped = 0;
    while (skipped < *got && continuation(head[skipped])) ++skipped;
    middle += skipped;

    ChunkBuffer first;
    ChunkBuffer second;
    if (!first.allocate(chunk) || !second.allocate(chunk)) return std::nullopt;
    std::atomic<bool> stop = false;
    Half later;
    std::thread reader = start_quiet_thread(
        [&] { later = check_half(input, middle, size, second, stop, Interruption{}); });
    if (!reader.joinable()) return std::nullopt;
    const std::atomic<bool> never = false;
    const Half earlier = check_half(input, 0, middle, first, never, interruption);
    // A failure in the first half is reported whatever the second holds.
    if (earlier.failed || !earlier.text) stop.store(true, std::memory_order_relaxed);
    reader.join();
    if (earlier.failed) return std::unexpected(*earlier.failed);
    if (!earlier.text) return false;
    if (later.failed) return std::unexpected(*later.failed);
    return later.text;
}

}  // namespace korvalith::cli
