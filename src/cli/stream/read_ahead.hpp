// A regular file read ahead of the pass that writes its result. A thread of
// its own reads the file's chunks, in order, into a few buffers, while the
// pass runs the core over the chunk before and writes its result. Reading a
// file and writing a result are both copies the kernel makes, each a large
// part of a run's time, and on two processors they overlap instead of
// taking turns.
//
// Only a regular file is read ahead: a read of it returns promptly, so the
// pass never waits long for the thread, and stopping the thread never waits
// on a read that may never end (a pipe's). The thread runs no Python code
// and takes no signals (quiet_thread.hpp).
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <memory>
#include <mutex>
#include <thread>

#include "cli/files/chunk_buffer.hpp"
#include "cli/files/input_file.hpp"
#include "cli/stream/condition.hpp"
#include "common/byte_buffer.hpp"

namespace korvalith::cli {

// A file from this size on is read with a second thread: ahead of the pass
// that writes its result, or half of it for a check of its text. Below it,
// starting the thread costs more than it saves (measured, rot13 rotate of a
// file to standard output: 14% slower with it at 1 MiB, 5% faster at 8 MiB).
inline constexpr std::uint64_t THREADED_FROM = std::uint64_t{4} << 20;

class ReadAhead {
public:
    // Buffers the thread may fill before the pass takes them: enough that
    // neither side waits for the other at every chunk, few enough that they
    // stay in the processors' caches.
    static constexpr std::size_t SLOTS = 4;

    // Starts reading the first `size` bytes of `input` (to its end, for
    // UINT64_MAX) in chunks of `chunk` bytes (the last one shorter). Nothing when memory or a thread cannot be
    // had: the pass then reads by itself, as it would without this.
    static std::unique_ptr<ReadAhead> start(const InputFile& input, std::uint64_t size, std::size_t chunk);

    // Stops the thread (after the read it is making) and waits for it.
    ~ReadAhead();

    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The next chunk, which stays valid until the next call; the one before
    // it goes back to the thread. Shorter than asked where the file ended
    // early, empty after the last chunk or a short one.
    std::expected<ByteView, ReadFailure> next();

private:
    struct Slot {
        ChunkBuffer buffer;
        std::size_t count = 0;
        bool failed = false;
    };

    ReadAhead(const InputFile& input, std::uint64_t size, std::size_t chunk) noexcept
        : input_(input), size_(size), chunk_(chunk) {}

    void read_all() noexcept;

    const InputFile& input_;
    const std::uint64_t size_;
    const std::size_t chunk_;
    std::array<Slot, SLOTS> slots_;

    std::mutex mutex_;
    Condition filled_;  // the thread filled a slot, or ended
    Condition freed_;   // the pass gave a slot back, or stops
    std::uint64_t produced_ = 0;      // chunks the thread has filled
    std::uint64_t taken_ = 0;         // chunks the pass has taken
    bool ended_ = false;              // the thread will fill no more
    bool stop_ = false;               // the pass wants no more

    std::thread thread_;
};

}  // namespace korvalith::cli
