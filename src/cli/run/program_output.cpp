#include "cli/run/program_output.hpp"

namespace korvalith::cli {

WriteOutcome ProgramOutput::begin(std::optional<std::uint64_t>, const Interruption& interruption) {
    // The colour and the line break change the size; the sink needs none.
    return out_.begin(std::nullopt, interruption);
}

WriteOutcome ProgramOutput::write(ByteView bytes, const Interruption& interruption) {
    painter_.piece(as_string_view(bytes), emitter(interruption));
    return outcome_;
}

WriteOutcome ProgramOutput::end(const Interruption& interruption) {
    if (painter_.end(emitter(interruption))) outcome_ = out_.write(as_byte_view("\n"), interruption);
    if (outcome_ != WriteOutcome::written) return outcome_;
    return out_.end(interruption);
}

}  // namespace korvalith::cli
