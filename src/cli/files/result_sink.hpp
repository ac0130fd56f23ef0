// Where a result goes: the -o file (OutputFile) or standard output
// (StandardOutput, through ProgramOutput's colour). A result is written
// whole at once, or chunk by chunk as it is made; either way through begin,
// write and end. Until end, a sink keeps its target as it was: it writes
// where it can take the bytes back if the run fails, or holds them (Staging)
// until end commits them; only a sink told to deliver the bytes as they are
// made lets them out before.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "cli/files/interruption.hpp"
#include "cli/files/write_all.hpp"
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
    // After the last bytes: the result is complete, and committed to the
    // target. A sink destroyed before its end succeeded leaves the target as
    // it was (what it cannot take back stays only where it let it out).
    [[nodiscard]] virtual WriteOutcome end(const Interruption& interruption) = 0;

    // Whether a result that may still fail would have to be staged: the
    // target cannot take back what it is given (a pipe, a terminal). The
    // caller may then rather check the input first and deliver_as_made().
    virtual bool stages() const noexcept { return false; }
    // Called before begin: the bytes go out as they are made, without
    // staging, for a result that fails only if the input changes or the run
    // is stopped; what went out then stays out.
    virtual void deliver_as_made() noexcept {}
    // After an outcome of not_staged: the error number of the failure.
    virtual int staging_error() const noexcept { return 0; }
    // After an outcome of not_staged: the directory where the staging file
    // could not be made, empty when it was made and could not be filled.
    virtual std::string staging_place() const { return {}; }
    // Called before begin when the result is known to be at most this long
    // (a file's result): a sink that stages it knows whether it will fit in
    // memory.
    virtual void expect_at_most(std::uint64_t size) noexcept { (void)size; }
};

}  // namespace korvalith::cli
