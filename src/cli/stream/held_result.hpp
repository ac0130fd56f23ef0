// An input read once, to its end, for an action that can fail or whose
// result must stay out of the -o file until the run succeeds: standard
// input, a pipe, or a file that its own result is to be written over. The
// input comes in chunks, the core runs over each chunk as it comes, while
// the chunk is still in the processor's caches, and the result is held whole
// in pages of its own (PageBuffer) until the whole input has been judged.
// So the input itself is never held, only the result: three quarters of a
// Base64 input's size, five eighths of a Base32 input's.
#pragma once

#include <expected>

#include "cli/input_file.hpp"
#include "cli/page_buffer.hpp"
#include "cli/stream/chunked_core.hpp"
#include "cli/stream/two_pass.hpp"

namespace korvalith::cli {

// The result of `core` over the rest of `input`, or the first failure in the
// order the whole-buffer path finds them: reading, the input that is not
// text, the core's rejection, the result that is not text. Once a failure is
// known the input is still read to its end, and only a failure to read it
// comes before the one known. With `final_line_ending_ignored` one final
// line ending ("\n" or "\r\n") is no part of the input (Base32 or Base64
// text from standard input, which ends as the encoders print it).
std::expected<PageBuffer, StreamFailure> hold_result(InputFile& input, ChunkedCore& core, StreamChecks checks,
                                                     bool final_line_ending_ignored,
                                                     const Interruption& interruption,
                                                     std::size_t chunk_size = CHUNK_SIZE);

}  // namespace korvalith::cli
