#include "module/interned.hpp"

#include <pthread.h>

#include <atomic>
#include <thread>

#include "module/errors.hpp"

namespace korvalith::py {

namespace {

// A one-time guard for values built under the interpreter lock. The first
// thread builds the value; a thread that finds the build in progress releases
// the interpreter lock while it waits, because the builder may itself need
// the lock again (an import runs Python code, which lets other threads in).
// The building thread itself may come back before the build is done, when
// Python code that the build runs needs the value: it is not made to wait
// for itself (which would never end); run() returns false to it instead.
class OnceUnderInterpreterLock {
public:
    template <typename Build>
    [[nodiscard]] bool run(Build&& build) {
        if (state_.load(std::memory_order_acquire) == DONE) return true;
        int expected = UNSTARTED;
        if (state_.compare_exchange_strong(expected, RUNNING, std::memory_order_acq_rel)) {
            builder_.store(std::this_thread::get_id(), std::memory_order_relaxed);
            build();
            state_.store(DONE, std::memory_order_release);
            state_.notify_all();
            return true;
        }
        // Only the builder ever finds its own id here; other threads see
        // another id, or none yet.
        if (builder_.load(std::memory_order_relaxed) == std::this_thread::get_id()) return false;
        PyThreadState* saved = PyEval_SaveThread();
        for (int seen = state_.load(std::memory_order_acquire); seen != DONE;
             seen = state_.load(std::memory_order_acquire)) {
            state_.wait(seen, std::memory_order_acquire);
        }
        PyEval_RestoreThread(saved);
        return true;
    }

    // In the child of a fork: a build that another thread of the parent had
    // under way will never finish here (only the forking thread exists), so
    // it is started afresh on next use.
    void forget_unfinished_build() noexcept {
        int running = RUNNING;
        state_.compare_exchange_strong(running, UNSTARTED, std::memory_order_acq_rel);
        builder_.store(std::thread::id(), std::memory_order_relaxed);
    }

private:
    static constexpr int UNSTARTED = 0;
    static constexpr int RUNNING = 1;
    static constexpr int DONE = 2;
    std::atomic<int> state_{UNSTARTED};
    std::atomic<std::thread::id> builder_{};
};

OnceUnderInterpreterLock names_once;
InternedNames names;

OnceUnderInterpreterLock sequence_once;
PyObject* sequence = nullptr;

void after_fork_in_child() noexcept {
    names_once.forget_unfinished_build();
    sequence_once.forget_unfinished_build();
}

[[maybe_unused]] const int after_fork_registered = pthread_atfork(nullptr, nullptr, after_fork_in_child);

PyObject* intern(const char* text) {
    PyObject* object = PyUnicode_InternFromString(text);
    if (object == nullptr) fatal_null_object();
    return object;
}

// collections.abc.Sequence, a new reference; a failed import is fatal.
PyRef import_sequence() {
    PyRef module(PyImport_ImportModule("collections.abc"));
    PyRef type(module ? PyObject_GetAttrString(module.get(), "Sequence") : nullptr);
    if (!type) {
        if (PyErr_Occurred() != nullptr) PyErr_WriteUnraisable(nullptr);
        fatal_error("could not import Sequence from collections.abc");
    }
    return type;
}

}  // namespace

const InternedNames& interned() {
    const bool ready = names_once.run([] {
        names.qualname = intern("__qualname__");
        names.module = intern("__module__");
        names.name = intern("__name__");
        names.bool_ = intern("__bool__");
        names.all = intern("__all__");
    });
    // Interning runs no Python code, so nothing can ask for the names while
    // they are being made.
    if (!ready) fatal_error("interned names needed while they are being created");
    return names;
}

PyObject* sequence_type() {
    const bool ready = sequence_once.run([] {
        PyRef type = import_sequence();
        // Python code run by the import may have looked the type up already
        // (below); the first one found is kept.
        if (sequence == nullptr) sequence = type.release();
    });
    if (!ready && sequence == nullptr) {
        // Python code that the import runs on this thread (an import hook,
        // say) needs the type before the import has returned: look it up now
        // instead of waiting for this thread itself.
        sequence = import_sequence().release();
    }
    return sequence;
}

}  // namespace korvalith::py
