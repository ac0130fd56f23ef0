// The Python function cli.parse: runs the command line of this process.

#if KORVALITH_WITH_PYTHON

#include "cli/run/process_arguments.hpp"
#include "cli/run/run_cli.hpp"
#include "module/submodules.hpp"
#include "module/wrapper.hpp"

// After Python.h, which must come first.
#include <pthread.h>
#include <signal.h>

#include <csignal>

namespace korvalith::py {

namespace {

// Output the calling Python code has buffered goes out before the run writes
// to the same descriptors and perhaps ends the process. A stream that cannot
// be flushed is passed over, but Ctrl-C is not: a flush blocked on a full
// pipe runs the signal's handler, and its KeyboardInterrupt would otherwise
// be dropped here, before the run could see it. Returns whether one came.
// sys.stdout or sys.stderr, held for the flush: flushing runs Python code,
// which may replace the stream and drop the last reference to the old one.
// Where threads run without the interpreter's lock, another thread may do so
// at any moment, so the stream is read as a new reference, through the sys
// module, and not borrowed from the interpreter's own table.
PyRef python_stream(const char* name) {
#if defined(Py_GIL_DISABLED)
    PyRef sys_name(PyUnicode_FromString("sys"));
    PyRef sys(sys_name ? PyImport_GetModule(sys_name.get()) : nullptr);
    PyRef stream(sys ? PyObject_GetAttrString(sys.get(), name) : nullptr);
    if (!stream) PyErr_Clear();
    return stream;
#else
    return PyRef::borrow(PySys_GetObject(name));
#endif
}

bool flush_python_streams_interrupted() {
    bool interrupted = false;
    for (const char* name : {"stdout", "stderr"}) {
        PyRef stream = python_stream(name);
        if (!stream || stream.get() == Py_None) continue;
        PyRef flushed(PyObject_CallMethod(stream.get(), "flush", nullptr));
        if (flushed) continue;
        interrupted = interrupted || PyErr_ExceptionMatches(PyExc_KeyboardInterrupt) != 0;
        PyErr_Clear();
    }
    return interrupted;
}

// SIGTERM or SIGHUP, caught for the length of a run where it would have
// killed the process (the interpreter leaves both at their default): the
// first to come, 0 while none has.
volatile std::sig_atomic_t caught_signal = 0;

void catch_stop_signal(int signal) {
    if (caught_signal == 0) caught_signal = signal;
}

// The signal that stopped the run, 0 while none has: once set, every check
// asks the run to stop again.
int stopped_by = 0;

// Whether a signal that arrived asks the run to stop: SIGTERM or SIGHUP
// caught, or a Python handler that raised (KeyboardInterrupt for Ctrl-C).
// The run then ends without a report or a traceback, so the handler's
// exception is dropped. Signals are only handled on the main thread;
// elsewhere only SIGTERM and SIGHUP stop the run.
bool signal_stops_run() {
    if (stopped_by != 0) return true;
    if (caught_signal != 0) {
        stopped_by = caught_signal;
        return true;
    }
    if (PyErr_CheckSignals() == 0) return false;
    PyErr_Clear();
    stopped_by = SIGINT;
    return true;
}

int stop_signal() { return stopped_by; }

// SIGTERM and SIGHUP end a run as Ctrl-C does, with the target of its result
// as it was, while the run lasts: where their disposition is the default,
// which would kill the process halfway through a write, a handler of the
// run's own takes them, and the default comes back when the run returns. A
// signal ignored, or handled by Python code, is left so.
class StopSignalsCaught {
public:
    StopSignalsCaught() noexcept {
        caught_signal = 0;
        for (Saved& saved : saved_) {
            struct sigaction action {};
            action.sa_handler = catch_stop_signal;
            sigemptyset(&action.sa_mask);
            action.sa_flags = 0;  // no SA_RESTART: a blocked read or write returns at once
            saved.replaced = ::sigaction(saved.signal, nullptr, &saved.previous) == 0 &&
                             saved.previous.sa_handler == SIG_DFL &&
                             ::sigaction(saved.signal, &action, nullptr) == 0;
        }
    }
    ~StopSignalsCaught() {
        for (Saved& saved : saved_) {
            if (saved.replaced) (void)::sigaction(saved.signal, &saved.previous, nullptr);
        }
    }
    StopSignalsCaught(const StopSignalsCaught&) = delete;
    StopSignalsCaught& operator=(const StopSignalsCaught&) = delete;

private:
    struct Saved {
        int signal;
        struct sigaction previous {};
        bool replaced = false;
    };
    Saved saved_[2] = {{SIGTERM}, {SIGHUP}};
};

// Runs of cli.parse() take turns, one at a time in the process: a run owns
// the process's standard streams, its stop signals' dispositions and the
// state above until it returns. Runs at the same time can only come from
// threads without the interpreter's lock (a free-threaded build) or from
// subinterpreters with locks of their own; the later run waits, without
// holding its interpreter's lock, until the earlier one has returned.
pthread_mutex_t runs = PTHREAD_MUTEX_INITIALIZER;

// In the child of a fork made while another thread was in a run, that run
// does not exist: the child's runs start afresh.
void after_fork_in_child() noexcept { pthread_mutex_init(&runs, nullptr); }

[[maybe_unused]] const int after_fork_registered = pthread_atfork(nullptr, nullptr, after_fork_in_child);

class OneRunAtATime {
public:
    OneRunAtATime() noexcept {
        if (pthread_mutex_trylock(&runs) == 0) return;
        PyThreadState* saved = PyEval_SaveThread();
        pthread_mutex_lock(&runs);
        PyEval_RestoreThread(saved);
    }
    ~OneRunAtATime() { pthread_mutex_unlock(&runs); }
    OneRunAtATime(const OneRunAtATime&) = delete;
    OneRunAtATime& operator=(const OneRunAtATime&) = delete;
};

// The command line of the process that runs the interpreter: its argument
// vector without the interpreter's own name, so that the launcher script's
// path comes first and stands for the program.
std::span<char* const> command_line() noexcept {
    const std::span<char* const> vector = cli::process_arguments();
    return vector.empty() ? vector : vector.subspan(1);
}

// The check of a run that Ctrl-C stopped before it began.
bool stopped_already() { return true; }

WrapperResult parse() noexcept {
    const bool interrupted = flush_python_streams_interrupted();
    // After the flush, which runs Python code that could itself call parse().
    const OneRunAtATime turn;
    stopped_by = interrupted ? SIGINT : 0;
    {
        const StopSignalsCaught caught;
        cli::run_cli(command_line(), cli::Interruption(interrupted ? stopped_already : signal_stops_run, stop_signal));
    }
    return new_reference(Py_None);
}

using Parse = PythonFunction<"parse", parse>;

}  // namespace

}  // namespace korvalith::py

KORVALITH_PYTHON_SUBMODULE(cli, Parse);

#endif
