#include "module/interned.hpp"

#include <pthread.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <thread>
#include <unordered_map>

#include "module/errors.hpp"

namespace korvalith::py {

namespace {

// What a one-time guard's run() found.
enum class Once : std::uint8_t {
    ready,      // the value exists
    failed,     // this thread's build failed; its exception is pending
    reentered,  // this thread is building the value and needs it again
};

// A one-time guard for values built under the interpreter lock. The first
// thread builds the value; a thread that finds the build in progress releases
// the interpreter lock while it waits, because the builder may itself need
// the lock again (an import runs Python code, which lets other threads in).
// A build may fail (an import can raise): the guard then returns to its
// unstarted state, the failure goes to the builder's caller, and the next
// use, or a thread that was waiting, builds again. The building thread itself
// may come back before the build is done, when Python code that the build
// runs needs the value: it is not made to wait for itself (which would never
// end); run() tells it so instead.
class OnceUnderInterpreterLock {
public:
    // `build` returns whether it succeeded; on failure it leaves an
    // exception pending.
    template <typename Build>
    [[nodiscard]] Once run(Build&& build) {
        for (;;) {
            int state = state_.load(std::memory_order_acquire);
            if (state == DONE) return Once::ready;
            if (state == UNSTARTED &&
                state_.compare_exchange_strong(state, RUNNING, std::memory_order_acq_rel)) {
                builder_.store(std::this_thread::get_id(), std::memory_order_relaxed);
                const bool built = build();
                // Cleared before the state changes, so that a thread that
                // built and failed before never mistakes a later builder's
                // build for its own.
                builder_.store(std::thread::id(), std::memory_order_relaxed);
                state_.store(built ? DONE : UNSTARTED, std::memory_order_release);
                state_.notify_all();
                return built ? Once::ready : Once::failed;
            }
            if (state != RUNNING) continue;  // lost a race to start or finish; look again
            // Only the builder ever finds its own id here; other threads see
            // another id, or none yet.
            if (builder_.load(std::memory_order_relaxed) == std::this_thread::get_id()) return Once::reentered;
            PyThreadState* saved = PyEval_SaveThread();
            state_.wait(RUNNING, std::memory_order_acquire);
            PyEval_RestoreThread(saved);
        }
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

// What one interpreter keeps. Its objects are released (their references
// dropped) by whichever thread of that interpreter drops the last handle.
struct Values {
    OnceUnderInterpreterLock names_once;
    InternedNames names{};
    OnceUnderInterpreterLock sequence_once;
    PyObject* sequence = nullptr;
    std::size_t modules = 0;  // live module objects attached; guarded by registry_lock

    Values() = default;
    Values(const Values&) = delete;
    Values& operator=(const Values&) = delete;
    ~Values() {
        for (PyObject* object : {names.qualname, names.module, names.name, names.bool_, names.all, sequence}) {
            if (object != nullptr) _Py_DecRef(object);
        }
    }
};

// The values of each interpreter that has a live module object, by the
// interpreter's number, which the process never gives to another
// interpreter: an entry left behind by an interpreter that ended without
// freeing its module is never found by a later one. Made once and never
// destroyed, so that nothing is released after the interpreters are gone.
// The lock is held only around the map's own operations, never while
// Python code may run (a handle is dropped after unlocking).
pthread_mutex_t registry_lock = PTHREAD_MUTEX_INITIALIZER;
auto* const registry = new std::unordered_map<std::int64_t, std::shared_ptr<Values>>();

class RegistryLock {
public:
    RegistryLock() { pthread_mutex_lock(&registry_lock); }
    ~RegistryLock() { pthread_mutex_unlock(&registry_lock); }
    RegistryLock(const RegistryLock&) = delete;
    RegistryLock& operator=(const RegistryLock&) = delete;
};

std::int64_t this_interpreter() { return PyInterpreterState_GetID(PyInterpreterState_Get()); }

// The calling interpreter's values; while it has no live module object (a
// function kept after its module was freed), fresh ones that go with the
// handle.
std::shared_ptr<Values> values() {
    const std::int64_t id = this_interpreter();
    {
        RegistryLock lock;
        if (auto found = registry->find(id); found != registry->end()) return found->second;
    }
    return std::make_shared<Values>();
}

// A fork keeps the map whole: the lock is taken before it, so no other
// thread is changing the map as the child is made. In the child a build that
// another thread of the parent had under way will never finish (only the
// forking thread exists), so it is started afresh on next use.
void before_fork() noexcept { pthread_mutex_lock(&registry_lock); }
void after_fork_in_parent() noexcept { pthread_mutex_unlock(&registry_lock); }
void after_fork_in_child() noexcept {
    for (auto& [id, entry] : *registry) {
        entry->names_once.forget_unfinished_build();
        entry->sequence_once.forget_unfinished_build();
    }
    pthread_mutex_unlock(&registry_lock);
}

[[maybe_unused]] const int after_fork_registered =
    pthread_atfork(before_fork, after_fork_in_parent, after_fork_in_child);

// Creates every name, or none: false with the exception pending when one
// cannot be created.
bool intern_names(InternedNames& names) {
    const char* const texts[] = {"__qualname__", "__module__", "__name__", "__bool__", "__all__"};
    PyObject** const targets[] = {&names.qualname, &names.module, &names.name, &names.bool_, &names.all};
    PyRef created[std::size(texts)];
    for (std::size_t i = 0; i < std::size(texts); ++i) {
        created[i] = PyRef(PyUnicode_InternFromString(texts[i]));
        if (!created[i]) return false;
    }
    for (std::size_t i = 0; i < std::size(texts); ++i) *targets[i] = created[i].release();
    return true;
}

// collections.abc.Sequence, a new reference; null with the exception pending
// when the import or the attribute lookup fails.
PyRef import_sequence() {
    PyRef module(PyImport_ImportModule("collections.abc"));
    if (!module) return PyRef();
    return PyRef(PyObject_GetAttrString(module.get(), "Sequence"));
}

}  // namespace

std::shared_ptr<const InternedNames> interned() {
    std::shared_ptr<Values> own = values();
    const Once outcome = own->names_once.run([&] { return intern_names(own->names); });
    if (outcome == Once::failed) return nullptr;
    // Unreachable: only this thread's own build could find the names being
    // made, and interning runs no Python code (a str is not tracked by the
    // garbage collector, so creating one starts no collection and no
    // finaliser), so nothing on this thread asks for them meanwhile.
    if (outcome == Once::reentered) fatal_error("interned names needed while they are being created");
    return std::shared_ptr<const InternedNames>(own, &own->names);
}

PyRef sequence_type() {
    std::shared_ptr<Values> own = values();
    const Once outcome = own->sequence_once.run([&] {
        PyRef type = import_sequence();
        if (!type) return false;
        // Python code run by the import may have looked the type up already
        // (below); the first one found is kept.
        if (own->sequence == nullptr) own->sequence = type.release();
        return true;
    });
    if (outcome == Once::failed) return PyRef();
    if (outcome == Once::reentered && own->sequence == nullptr) {
        // Python code that the import runs on this thread (an import hook,
        // say) needs the type before the import has returned: look it up now
        // instead of waiting for this thread itself.
        own->sequence = import_sequence().release();
    }
    return PyRef::borrow(own->sequence);
}

void module_attached() {
    const std::int64_t id = this_interpreter();
    RegistryLock lock;
    std::shared_ptr<Values>& entry = (*registry)[id];
    if (!entry) entry = std::make_shared<Values>();
    ++entry->modules;
}

void module_detached() {
    const std::int64_t id = this_interpreter();
    std::shared_ptr<Values> released;  // dropped after unlocking: releasing may run Python code
    RegistryLock lock;
    auto found = registry->find(id);
    if (found == registry->end() || --found->second->modules != 0) return;
    released = std::move(found->second);
    registry->erase(found);
}

}  // namespace korvalith::py
