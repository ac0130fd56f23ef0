// A result as the program's line: the colour (when the program's colour
// decision says so) around it and the line break after it, passed on to the
// sink that takes the result (standard output) piece by piece, without a
// copy of the result.
#pragma once

#include "cli/files/result_sink.hpp"
#include "cli/parse/styles.hpp"

namespace korvalith::cli {

class ProgramOutput final : public ResultSink {
public:
    ProgramOutput(ResultSink& out, ProgramColour colour, bool coloured) noexcept
        : out_(out), painter_(colour, coloured) {}

    [[nodiscard]] WriteOutcome begin(std::optional<std::uint64_t> size, const Interruption& interruption) override;
    [[nodiscard]] WriteOutcome write(ByteView bytes, const Interruption& interruption) override;
    // The closing colour sequence and the line break, then the sink's end.
    [[nodiscard]] WriteOutcome end(const Interruption& interruption) override;

    bool stages() const noexcept override { return out_.stages(); }
    void deliver_as_made() noexcept override { out_.deliver_as_made(); }
    int staging_error() const noexcept override { return out_.staging_error(); }
    std::string staging_place() const override { return out_.staging_place(); }
    // The colour and the line break add a few bytes.
    void expect_at_most(std::uint64_t size) noexcept override { out_.expect_at_most(size + 64); }

private:
    // Hands the painter's pieces to the sink, keeping the first failure.
    auto emitter(const Interruption& interruption) {
        return [this, &interruption](std::string_view piece) {
            outcome_ = out_.write(as_byte_view(piece), interruption);
            return outcome_ == WriteOutcome::written;
        };
    }

    ResultSink& out_;
    ProgramPainter painter_;
    WriteOutcome outcome_ = WriteOutcome::written;
};

}  // namespace korvalith::cli
