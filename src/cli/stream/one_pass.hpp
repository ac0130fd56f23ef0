// An input read once, to its end, in chunks: the core runs over each chunk
// while it is still in the processor's caches, and each chunk's result goes
// to the sink at once, which writes it where a failure can take it back or
// stages it until the end commits it. So any input, a pipe of any length
// included, is run in bounded memory, and a file is read once.
//
// Failures are found and reported in the order the whole-buffer path finds
// them: reading, the input that is not text, the core's rejection, the
// result that is not text, and only then the sink's. Once one is known,
// nothing more reaches the sink (which takes back what it has), and the
// input is judged on; a pipe is still read to its end, so that its writer
// does not see it closed early.
#pragma once

#include <cstdint>
#include <expected>

#include "cli/files/chunk_buffer.hpp"
#include "cli/files/input_file.hpp"
#include "cli/files/result_sink.hpp"
#include "cli/stream/chunked_core.hpp"
#include "cli/stream/read_ahead.hpp"
#include "cli/stream/stream_failure.hpp"

namespace korvalith::cli {

struct OnePass {
    StreamChecks checks{};
    // One final line ending ("\n" or "\r\n") is no part of the input (Base32
    // or Base64 text from standard input, which ends as the encoders print
    // it): held back from the core until the input goes on after it.
    bool final_line_ending_ignored = false;
    // The input bytes of a chunk, and the size from which a named file is
    // read ahead by a thread of its own (a test chooses small ones).
    std::size_t chunk_size = CHUNK_SIZE;
    std::uint64_t threaded_from = THREADED_FROM;
};

// Runs `core` over the rest of `input` into `sink`: begun at the first
// bytes of the result (or at the end, for an empty one), so that an input
// that fails before then leaves the sink untouched, and ended once
// everything is judged. A regular file that changed during the run fails as
// a read.
std::expected<void, StreamFailure> run_one_pass(InputFile& input, ChunkedCore& core, ResultSink& sink,
                                                const OnePass& options, const Interruption& interruption);

}  // namespace korvalith::cli
