// A thread of the command line's own, for work that touches neither Python
// nor the terminal (reading a file). It starts with every signal blocked,
// so that a signal (Ctrl-C) reaches the thread that runs the command and
// interrupts its waits and writes, as it would without the thread.
#pragma once

#include <pthread.h>
#include <signal.h>

#include <system_error>
#include <thread>
#include <utility>

namespace korvalith::cli {

// The thread running `body`, or one that is not joinable when the system has
// no thread to give.
template <typename Body>
std::thread start_quiet_thread(Body&& body) noexcept {
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &previous);
    std::thread thread;
    try {
        thread = std::thread(std::forward<Body>(body));
    } catch (const std::system_error&) {
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return thread;
}

}  // namespace korvalith::cli
