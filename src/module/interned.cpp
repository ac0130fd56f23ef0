#include "module/interned.hpp"

#include <atomic>

#include "module/errors.hpp"

namespace korvalith::py {

namespace {

// A one-time guard for values built under the interpreter lock. The first
// thread builds the value; a thread that finds the build in progress releases
// the interpreter lock while it waits, because the builder may itself need
// the lock again (an import runs Python code, which lets other threads in).
class OnceUnderInterpreterLock {
public:
    template <typename Build>
    void run(Build&& build) {
        if (state_.load(std::memory_order_acquire) == DONE) return;
        int expected = UNSTARTED;
        if (state_.compare_exchange_strong(expected, RUNNING, std::memory_order_acq_rel)) {
            build();
            state_.store(DONE, std::memory_order_release);
            state_.notify_all();
            return;
        }
        PyThreadState* saved = PyEval_SaveThread();
        for (int seen = state_.load(std::memory_order_acquire); seen != DONE;
             seen = state_.load(std::memory_order_acquire)) {
            state_.wait(seen, std::memory_order_acquire);
        }
        PyEval_RestoreThread(saved);
    }

private:
    static constexpr int UNSTARTED = 0;
    static constexpr int RUNNING = 1;
    static constexpr int DONE = 2;
    std::atomic<int> state_{UNSTARTED};
};

OnceUnderInterpreterLock names_once;
InternedNames names;

OnceUnderInterpreterLock sequence_once;
PyObject* sequence = nullptr;

PyObject* intern(const char* text) {
    PyObject* object = PyUnicode_InternFromString(text);
    if (object == nullptr) fatal_null_object();
    return object;
}

}  // namespace

const InternedNames& interned() {
    names_once.run([] {
        names.qualname = intern("__qualname__");
        names.module = intern("__module__");
        names.name = intern("__name__");
        names.bool_ = intern("__bool__");
        names.all = intern("__all__");
    });
    return names;
}

PyObject* sequence_type() {
    sequence_once.run([] {
        PyRef module(PyImport_ImportModule("collections.abc"));
        PyObject* type = module ? PyObject_GetAttrString(module.get(), "Sequence") : nullptr;
        if (type == nullptr) {
            if (PyErr_Occurred() != nullptr) PyErr_WriteUnraisable(nullptr);
            fatal_error("could not import Sequence from collections.abc");
        }
        sequence = type;
    });
    return sequence;
}

}  // namespace korvalith::py
