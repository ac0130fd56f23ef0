// The korvalith program: the command line as a process of its own, with no
// interpreter. main sets the process up as the interpreter does for
// cli.parse (the same signal dispositions), then runs the command line over
// its own argument vector, whose first element is the program's name.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstddef>

#include "cli/outcome.hpp"
#include "cli/run_cli.hpp"

namespace {

volatile std::sig_atomic_t interrupt_requested = 0;

void request_interrupt(int /*signal*/) { interrupt_requested = 1; }

// The run's check: Ctrl-C came. It stays true once it is.
bool interrupted() { return interrupt_requested != 0; }

void set_signal_dispositions() {
    // A reader that closed the pipe makes a write fail with EPIPE (the quiet
    // status 1), and a file-size limit makes it fail with EFBIG (a failed
    // write with its report): neither kills the process halfway through.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    // Ctrl-C sets the flag the run checks. Without SA_RESTART a read, write
    // or open that it interrupts returns at once, so the run stops promptly.
    // A SIGINT that the parent left ignored (a background job of a shell
    // script) stays ignored, as under the interpreter.
    struct sigaction current {};
    if (::sigaction(SIGINT, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) return;
    struct sigaction action {};
    action.sa_handler = request_interrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    (void)::sigaction(SIGINT, &action, nullptr);
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
    korvalith::cli::run_cli({argv, count}, korvalith::cli::Interruption(interrupted));
    return korvalith::cli::STATUS_SUCCESS;
}
