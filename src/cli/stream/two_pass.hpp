// A regular file in chunks, read twice, for a result that goes where it
// cannot be taken back and would otherwise have to be staged (a pipe, a
// terminal): a check pass, then a write pass. The check pass runs the
// action's core over the whole input, and the checks the whole-buffer path
// makes (input and result that must be text), writing nothing; only a run
// known to succeed is written. The write pass reads the file again from its
// start, checks everything again and writes each chunk's result as it is
// made: a file that no longer gives the result the check found (changed,
// shrunk, grown, no longer text) fails as a read, though what was written
// has gone out. Memory stays at a few chunk buffers, whatever the size.
//
// A file whose size does not hold at the check pass (those of /sys announce
// more than they hold) is not read this way: the check says so
// (ReadFailure::Kind::size_differs), and the caller reads it once instead.
#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <optional>

#include "cli/files/chunk_buffer.hpp"
#include "cli/files/input_file.hpp"
#include "cli/files/result_sink.hpp"
#include "cli/stream/chunked_core.hpp"
#include "cli/stream/read_ahead.hpp"
#include "cli/stream/stream_failure.hpp"

namespace korvalith::cli {

class ChunkedStream {
public:
    // The stream over `input` (a file that can be read twice) with its chunk
    // buffers, of at most `chunk_size` input bytes, reading a file of
    // `threaded_from` bytes or more with a second thread (a test chooses
    // small chunks and files). The input and the core must outlive it.
    static std::expected<ChunkedStream, StreamFailure> make(InputFile& input, ChunkedCore& core, StreamChecks checks,
                                                            std::size_t chunk_size = CHUNK_SIZE,
                                                            std::uint64_t threaded_from = THREADED_FROM);

    // The check pass: the result's exact size, or the first failure.
    std::expected<std::uint64_t, StreamFailure> check(const Interruption& interruption);

    // The write pass, from the start of the input, after the check pass that
    // found the result's `size`: sink.begin once the first chunk is made,
    // each chunk's result, sink.end.
    std::expected<void, StreamFailure> write(ResultSink& sink, std::uint64_t size, const Interruption& interruption);

private:
    ChunkedStream(InputFile& input, ChunkedCore& core, StreamChecks checks)
        : input_(&input), core_(&core), checks_(checks) {}

    std::expected<std::uint64_t, StreamFailure> check_pass(const Interruption& interruption);
    // The next chunk into the input buffer; empty at the end.
    std::expected<ByteView, StreamFailure> next_chunk(const Interruption& interruption);
    // Back to the start of the input, read ahead by a thread (`read_ahead`)
    // where it is a file larger than a chunk and the thread can be had.
    std::expected<void, StreamFailure> start_pass(bool read_ahead);
    // The file's size and contents are as the check pass found them.
    std::expected<void, StreamFailure> ends_where_announced();
    std::expected<void, StreamFailure> write_pass(ResultSink& sink, std::uint64_t size,
                                                  const Interruption& interruption);

    InputFile* input_;
    ChunkedCore* core_;
    StreamChecks checks_;
    ChunkBuffer chunk_;
    std::unique_ptr<ReadAhead> ahead_;  // reads a file larger than a chunk during the write pass
    ChunkBuffer result_;
    std::uint64_t consumed_ = 0;  // input bytes read in this pass
    bool ended_ = false;          // the pass has read its last chunk
    bool passes_ = false;         // a pass has begun before
    bool whole_in_chunk_ = false; // the whole input fits in one chunk
    bool threaded_ = false;       // a second thread reads: ahead of the write pass, or half of a text check
    bool reuse_ = false;          // this pass takes the chunk the last one read
    bool checking_ = false;       // the check pass runs: a file shorter than announced lies about its size
};

}  // namespace korvalith::cli
