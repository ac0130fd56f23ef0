// The korvalith program: the command line as a process of its own, with no
// interpreter. main sets the process up as cli.parse does under the
// interpreter (the same signal dispositions), then runs the command line over
// its own argument vector, whose first element is the program's name.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstddef>

#include "cli/run/outcome.hpp"
#include "cli/run/run_cli.hpp"

namespace {

// The first signal that asked the run to stop, 0 while none has.
volatile std::sig_atomic_t stop_signal = 0;

void request_stop(int signal) {
    if (stop_signal == 0) stop_signal = signal;
}

// The run's check: a signal asked it to stop. It stays true once it is.
bool stop_requested() { return stop_signal != 0; }

int stopped_by() { return stop_signal; }

// The signals that end a run, as Ctrl-C does: SIGINT, SIGTERM (kill,
// timeout, service managers) and SIGHUP (the terminal closed).
constexpr int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

void set_signal_dispositions() {
    // A reader that closed the pipe makes a write fail with EPIPE (the quiet
    // status 1), and a file-size limit makes it fail with EFBIG (a failed
    // write with its report): neither kills the process halfway through.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    // A stop signal sets the flag the run checks. Without SA_RESTART a read,
    // write, open or lock that it interrupts returns at once, so the run
    // stops promptly. A signal that the parent left ignored (SIGINT in a
    // background job of a shell script, SIGHUP under nohup) stays ignored,
    // as under the interpreter.
    for (const int signal : STOP_SIGNALS) {
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) continue;
        struct sigaction action {};
        action.sa_handler = request_stop;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;
        (void)::sigaction(signal, &action, nullptr);
    }
}

// A standard descriptor the program was started without gets /dev/null,
// opened the other way round (standard input for writing, the outputs for
// reading), so that reading or writing it still fails as on a closed one,
// while no file the run opens can take its number and receive what is meant
// for the terminal.
void hold_standard_descriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free number, which is fd: those below it are open.
        (void)::open("/dev/null", (fd == STDIN_FILENO ? O_WRONLY : O_RDONLY));
    }
}

}  // namespace

int main(int argc, char** argv) {
    hold_standard_descriptors();
    set_signal_dispositions();
    const std::size_t count = argc > 0 ? static_cast<std::size_t>(argc) : 0;
    korvalith::cli::run_cli({argv, count}, korvalith::cli::Interruption(stop_requested, stopped_by));
    return korvalith::cli::STATUS_SUCCESS;
}
