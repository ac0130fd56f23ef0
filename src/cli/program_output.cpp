#include "cli/program_output.hpp"

#include <cstdio>

namespace korvalith::cli {

WriteOutcome ProgramOutput::begin(std::optional<std::uint64_t>, const Interruption&) {
    std::fflush(nullptr);
    return WriteOutcome::written;
}

WriteOutcome ProgramOutput::write(ByteView bytes, const Interruption& interruption) {
    painter_.piece(as_string_view(bytes), emitter(interruption));
    return outcome_;
}

WriteOutcome ProgramOutput::end(const Interruption& interruption) {
    if (painter_.end(emitter(interruption))) outcome_ = write_all(fd_, "\n", interruption);
    return outcome_;
}

}  // namespace korvalith::cli
