// The Python function cli.parse: runs the command line of this process.

#if KORVALITH_WITH_PYTHON

#include "cli/process_arguments.hpp"
#include "cli/run_cli.hpp"
#include "module/submodules.hpp"
#include "module/wrapper.hpp"

namespace korvalith::py {

namespace {

// Output the calling Python code has buffered goes out before the run writes
// to the same descriptors and perhaps ends the process. A stream that cannot
// be flushed is passed over, but Ctrl-C is not: a flush blocked on a full
// pipe runs the signal's handler, and its KeyboardInterrupt would otherwise
// be dropped here, before the run could see it. Returns whether one came.
bool flush_python_streams_interrupted() {
    bool interrupted = false;
    for (const char* name : {"stdout", "stderr"}) {
        PyObject* stream = PySys_GetObject(name);  // borrowed
        if (stream == nullptr || stream == Py_None) continue;
        PyRef flushed(PyObject_CallMethod(stream, "flush", nullptr));
        if (flushed) continue;
        interrupted = interrupted || PyErr_ExceptionMatches(PyExc_KeyboardInterrupt) != 0;
        PyErr_Clear();
    }
    return interrupted;
}

// Whether a signal that arrived asks the run to stop: its Python handler
// raised (KeyboardInterrupt for Ctrl-C). The run then ends without a report
// or a traceback, so the handler's exception is dropped. Signals are only
// handled on the main thread; elsewhere this is always false.
bool signal_stops_run() {
    if (PyErr_CheckSignals() == 0) return false;
    PyErr_Clear();
    return true;
}

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
    cli::run_cli(command_line(), cli::Interruption(interrupted ? stopped_already : signal_stops_run));
    return new_reference(Py_None);
}

using Parse = PythonFunction<"parse", parse>;

}  // namespace

}  // namespace korvalith::py

KORVALITH_PYTHON_SUBMODULE(cli, Parse);

#endif
