// An action's core routine as the command line runs it: over a whole input
// at once, or over an input that comes in chunks, keeping between chunks
// what the routine needs to go on (Vigenère's key position, a decoder that
// met "="). Each kind of core the actions use has a maker below; the action
// table (cli/command/actions.cpp) names one per action.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <span>

#include "common/byte_buffer.hpp"

namespace korvalith::cli {

// The input bytes of a chunk, rounded down to whole groups of the core:
// large enough that reads and writes are large and few, small enough that a
// chunk and its result stay in the processor's caches between the read that
// fills it, the core and the write. Measured on 256 MiB files: 64 KiB and
// 128 KiB chunks spend a third of the system time of 256 KiB to 4 MiB ones.
inline constexpr std::size_t CHUNK_SIZE = std::size_t{128} << 10;

// What one chunk came to.
struct ChunkStep {
    std::size_t written = 0;  // result bytes written for the chunk
    bool finished = false;    // the rest of the input is ignored (a decoder met "=")
};

class ChunkedCore {
public:
    virtual ~ChunkedCore() = default;

    // Every chunk but the last holds a whole number of groups of this many
    // bytes (a decoder's group of characters, an encoder's group of bytes).
    virtual std::size_t group() const noexcept { return 1; }

    // The most bytes step() writes for a chunk of `size` bytes, exactly that
    // for a core that cannot fail; nothing when it does not fit in a size_t.
    virtual std::optional<std::size_t> room(std::size_t size) const noexcept = 0;

    // Whether step() or finish() can reject the input, so that a file is run
    // through the core once before anything is written.
    virtual bool can_fail() const noexcept { return false; }

    // The result of the next chunk, into `out` of room(chunk.size()) bytes.
    virtual CoreResult<ChunkStep> step(ByteView chunk, std::span<std::uint8_t> out) = 0;

    // After the last chunk: a rejection that only the end of the input shows.
    virtual CoreResult<void> finish() { return {}; }

    // Back to the state before the first chunk, for another pass.
    virtual void restart() noexcept {}
};

using ChunkedCorePtr = std::unique_ptr<ChunkedCore>;

// Caesar and ROT13: every ASCII letter moved `row` places (0..25) forward
// within its case; cannot fail.
ChunkedCorePtr shift_core(unsigned row);

// Vigenère with its key, its direction and its skip flag. Rejects a text that
// is not ASCII at the chunk that shows it, and a bad key at the end, so that
// the text is judged first, as vigenere_cipher does.
ChunkedCorePtr vigenere_core(ByteView key, bool decrypt, bool skip_non_alpha);

// The encoders, which cannot fail, and the lenient decoders, which reject a
// byte outside the alphabet before the first "=" and ignore everything from
// it on.
ChunkedCorePtr base32_encoder_core();
ChunkedCorePtr base32_decoder_core();
ChunkedCorePtr base64_encoder_core();
ChunkedCorePtr base64_decoder_core();

// The core over a whole input at once, into one buffer of the largest size
// the result can have, cut to the result.
CoreResult<ByteBuffer> run_whole(ChunkedCore& core, ByteView input);

}  // namespace korvalith::cli
