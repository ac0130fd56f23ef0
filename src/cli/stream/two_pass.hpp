// A file in chunks: a check pass, then a write pass. The check pass runs the
// action's core over the whole input, and the checks the whole-buffer path
// makes (input and result that must be text), writing nothing; only a run
// known to succeed is written. The write pass reads the input again from its
// start and writes each chunk's result as it is made. Memory stays at two
// chunk buffers, whatever the input's size.
//
// An input that can be read only once (standard input, a pipe) makes a write
// pass alone, which is sound only for a core that cannot fail over an input
// that need not be text: the encoders.
#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <optional>

#include "cli/input_file.hpp"
#include "cli/result_sink.hpp"
#include "cli/stream/chunk_buffer.hpp"
#include "cli/stream/chunked_core.hpp"
#include "cli/stream/read_ahead.hpp"

namespace korvalith::cli {

// A file from this size on is read with a second thread: ahead of the write
// pass, or half of it for a check of its text. Below it, starting the
// thread costs more than it saves (measured, rot13 rotate of a file to
// standard output: 14% slower with it at 1 MiB, 5% faster at 8 MiB).
inline constexpr std::uint64_t THREADED_FROM = std::uint64_t{4} << 20;

// The checks of the whole-buffer path, besides the core's own.
struct StreamChecks {
    bool input_must_be_text = false;   // a file that is not UTF-8 cannot be read as text
    bool result_must_be_text = false;  // the result goes where only text may go
};

// Why a pass stopped, in the order the whole-buffer path finds them.
struct StreamFailure {
    enum class Kind : std::uint8_t {
        read,             // reading failed (`read`), or the file changed between the passes
        input_not_text,   // the input is not UTF-8
        core,             // the core rejected the input (`core_error`)
        result_not_text,  // the result is not UTF-8
        sink,             // the result could not be written (`written`)
    };
    Kind kind = Kind::read;
    ReadFailure read{};
    CoreError core_error{};
    WriteOutcome written = WriteOutcome::failed;
};

class ChunkedStream {
public:
    // The stream over `input` with its chunk buffers, of at most
    // `chunk_size` input bytes, reading a file of `threaded_from` bytes or
    // more with a second thread (a test chooses small chunks and files).
    static std::expected<ChunkedStream, StreamFailure> make(InputFile input, ChunkedCorePtr core,
                                                            StreamChecks checks,
                                                            std::size_t chunk_size = CHUNK_SIZE,
                                                            std::uint64_t threaded_from = THREADED_FROM);

    // Whether a check pass must come first: the core can fail, or the input
    // or the result must be text.
    bool needs_check() const noexcept;

    // The check pass: the result's exact size, or the first failure.
    std::expected<std::uint64_t, StreamFailure> check(const Interruption& interruption);

    // The result's size without a check pass: what a core that cannot fail
    // makes of the input's announced size; nothing for an input read once.
    std::optional<std::uint64_t> size_without_check() const noexcept;

    // The write pass, from the start of the input: sink.begin once the first
    // chunk is made (so an input that cannot be read at all leaves the sink
    // untouched), each chunk's result, sink.end. `size` is what the check
    // pass found, if it ran; a file that no longer gives that result has
    // changed, and fails as a read. Once a sink that completes what it begins
    // has begun, the pass no longer asks whether to stop.
    std::expected<void, StreamFailure> write(ResultSink& sink, std::optional<std::uint64_t> size,
                                             const Interruption& interruption);

private:
    ChunkedStream(InputFile input, ChunkedCorePtr core, StreamChecks checks)
        : input_(std::move(input)), core_(std::move(core)), checks_(checks) {}

    // The next chunk into the input buffer; empty at the end.
    std::expected<ByteView, StreamFailure> next_chunk(const Interruption& interruption);
    // Back to the start of the input, read ahead by a thread (`read_ahead`)
    // where it is a file larger than a chunk and the thread can be had.
    std::expected<void, StreamFailure> start_pass(bool read_ahead);
    std::expected<void, StreamFailure> write_pass(ResultSink& sink, std::optional<std::uint64_t> size,
                                                  const Interruption& interruption);

    InputFile input_;
    ChunkedCorePtr core_;
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
};

}  // namespace korvalith::cli
