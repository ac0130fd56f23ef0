// How a run learns that the user asked it to stop (Ctrl-C). The command line
// itself knows nothing of signal handlers: whoever runs it (the Python
// function cli.parse, or the korvalith program's main) passes in a check,
// which the input and output loops call before each read and write and after
// one that a signal interrupted. Once the result has begun to go into an -o
// file, the run no longer asks: it finishes the file, and takes and drops a
// stop asked for meanwhile.
#pragma once

namespace korvalith::cli {

class Interruption {
public:
    // True when the run must stop now.
    using Check = bool (*)();

    // Never interrupted.
    constexpr Interruption() noexcept = default;
    constexpr explicit Interruption(Check check) noexcept : check_(check) {}

    bool requested() const { return check_ != nullptr && check_(); }

private:
    Check check_ = nullptr;
};

}  // namespace korvalith::cli
