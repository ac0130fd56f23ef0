// Where a result goes: the -o file (OutputFile) or standard output
// (ProgramOutput). A result is written whole at once, or chunk by chunk as
// it is made; either way through begin, write and end.
#pragma once

#include <cstdint>
#include <optional>

#include "cli/interruption.hpp"
#include "cli/write_all.hpp"
#include "common/byte_buffer.hpp"

namespace korvalith::cli {

class ResultSink {
public:
    virtual ~ResultSink() = default;

    // Called once before the first byte of the result, whose size is `size`
    // when it is known. Anything but `written` means nothing was written.
    [[nodiscard]] virtual WriteOutcome begin(std::optional<std::uint64_t> size, const Interruption& interruption) = 0;
    // The next bytes of the result.
    [[nodiscard]] virtual WriteOutcome write(ByteView bytes, const Interruption& interruption) = 0;
    // After the last bytes: the result is complete.
    [[nodiscard]] virtual WriteOutcome end(const Interruption& interruption) = 0;

    // True when a write that has begun must be completed whatever the user
    // asks meanwhile: a file that is half rewritten has lost its old contents
    // without holding the new ones.
    virtual bool completes_once_begun() const noexcept = 0;
};

}  // namespace korvalith::cli
