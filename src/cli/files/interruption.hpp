// How a run learns that it is asked to stop: Ctrl-C (SIGINT), SIGTERM (what
// `kill`, `timeout` and service managers send) or SIGHUP (a terminal that
// closed). The command line itself knows nothing of signal handlers: whoever
// runs it (the Python function cli.parse, or the korvalith program's main)
// passes in a check, which the input and output loops call before each read
// and write and after one that a signal interrupted, and a way to tell which
// signal it was. A run stopped this way ends with 128 + the signal's number.
// Once a result is being committed to its target, the run no longer asks:
// it finishes the commit, and takes and drops a stop asked for meanwhile.
#pragma once

#include <csignal>

namespace korvalith::cli {

class Interruption {
public:
    // True when the run must stop now; true again on every later call.
    using Check = bool (*)();
    // The number of the signal that asked the run to stop, 0 when not known.
    using Signal = int (*)();

    // Never interrupted.
    constexpr Interruption() noexcept = default;
    constexpr explicit Interruption(Check check, Signal signal = nullptr) noexcept : check_(check), signal_(signal) {}

    bool requested() const { return check_ != nullptr && check_(); }

    // The exit status of a run that this stopped: 128 + the signal's number,
    // that of Ctrl-C when the check does not tell.
    int status() const {
        const int number = signal_ != nullptr ? signal_() : 0;
        return 128 + (number > 0 ? number : SIGINT);
    }

private:
    Check check_ = nullptr;
    Signal signal_ = nullptr;
};

}  // namespace korvalith::cli
