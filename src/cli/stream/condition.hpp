// A condition variable for a std::mutex, made of the C library's own. The
// extension module links the shared C++ library, whose
// std::condition_variable::wait carries a symbol version newer than the
// oldest system the wheel is built for; this one needs only the C library.
#pragma once

#include <pthread.h>

#include <mutex>

namespace korvalith::cli {

class Condition {
public:
    Condition() noexcept { pthread_cond_init(&condition_, nullptr); }
    ~Condition() { pthread_cond_destroy(&condition_); }
    Condition(const Condition&) = delete;
    Condition& operator=(const Condition&) = delete;

    // Waits, the lock released meanwhile, until `done()` holds.
    template <typename Done>
    void wait(std::unique_lock<std::mutex>& lock, Done done) {
        while (!done()) pthread_cond_wait(&condition_, lock.mutex()->native_handle());
    }

    void notify_one() noexcept { pthread_cond_signal(&condition_); }

private:
    pthread_cond_t condition_;
};

}  // namespace korvalith::cli
