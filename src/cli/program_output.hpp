// A result on standard output: the program channel's line, written as it
// comes, whole or in chunks, without a copy of the result. The colour (when
// the program's colour decision says so) goes around it and the line break
// after it.
#pragma once

#include "cli/result_sink.hpp"
#include "cli/styles.hpp"

namespace korvalith::cli {

class ProgramOutput final : public ResultSink {
public:
    ProgramOutput(int fd, ProgramColour colour, bool coloured) noexcept : fd_(fd), painter_(colour, coloured) {}

    // Output the C library still buffers goes out first, keeping the order.
    [[nodiscard]] WriteOutcome begin(std::optional<std::uint64_t> size, const Interruption& interruption) override;
    [[nodiscard]] WriteOutcome write(ByteView bytes, const Interruption& interruption) override;
    // The closing colour sequence and the line break.
    [[nodiscard]] WriteOutcome end(const Interruption& interruption) override;

    bool completes_once_begun() const noexcept override { return false; }

private:
    // Hands the painter's pieces to write_all, keeping the first failure.
    auto emitter(const Interruption& interruption) {
        return [this, &interruption](std::string_view piece) {
            outcome_ = write_all(fd_, piece, interruption);
            return outcome_ == WriteOutcome::written;
        };
    }

    int fd_;
    ProgramPainter painter_;
    WriteOutcome outcome_ = WriteOutcome::written;
};

}  // namespace korvalith::cli
