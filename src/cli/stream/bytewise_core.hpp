// The core of an action whose routine maps every byte on its own to one byte
// of its result (a cipher that puts one letter for another, as ROT13 does):
// a chunk's result is as long as the chunk, nothing can fail, and nothing is
// kept from one chunk to the next. An action of such a cipher needs no
// ChunkedCore of its own: its row in the action table (cli/command/actions.cpp)
// gives the routine, `.core = [](const Matches&) { return bytewise_core(rot13_into); }`.
#pragma once

#include <cstdint>
#include <memory>

#include "cli/stream/chunked_core.hpp"

namespace korvalith::cli {

// Writes the result for `text`, text.size() bytes, to `out`.
using BytewiseRoutine = void (*)(ByteView text, std::uint8_t* out) noexcept;

class BytewiseCore final : public ChunkedCore {
public:
    explicit BytewiseCore(BytewiseRoutine routine) noexcept : routine_(routine) {}

    std::optional<std::size_t> room(std::size_t size) const noexcept override { return size; }

    CoreResult<ChunkStep> step(ByteView chunk, std::span<std::uint8_t> out) override {
        routine_(chunk, out.data());
        return ChunkStep{.written = chunk.size()};
    }

private:
    BytewiseRoutine routine_;
};

inline ChunkedCorePtr bytewise_core(BytewiseRoutine routine) { return std::make_unique<BytewiseCore>(routine); }

}  // namespace korvalith::cli
