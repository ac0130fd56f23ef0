// How every failure of the module reaches Python: exceptions described
// lazily, interpreter exceptions taken over, and fatal faults.
#pragma once

#include <Python.h>

#include <optional>
#include <string>
#include <variant>

#include "common/core_error.hpp"
#include "module/py_ref.hpp"

namespace korvalith::py {

// The built-in classes the module raises. The module defines no class of its own.
enum class ErrorClass {
    TypeError,
    ValueError,
    OverflowError,
    SystemError,
    MemoryError,
    RuntimeError,
};

// The type-mismatch TypeError: "'T' object is not an instance of 'E'", whose
// names are read only if the error really reaches the interpreter.
struct TypeMismatch {
    PyRef object;
    PyRef expected_type;
};

// An exception described but not yet created: no Python object exists until
// raise_lazy_error. For a mismatch, `message` holds only the prefix put in
// front of the composed text (empty, or an argument annotation). An
// annotated argument error is raised with its cause set to none, which also
// suppresses its context, as for annotated interpreter exceptions.
struct LazyError {
    ErrorClass error_class = ErrorClass::ValueError;
    std::string message;
    std::optional<TypeMismatch> mismatch;
    bool annotated = false;
};

// An interpreter exception taken over with PyErr_Fetch, normalised.
struct TakenException {
    PyRef type;
    PyRef value;
    PyRef traceback;
};

// The failure value of every step of a wrapper.
using Failure = std::variant<LazyError, TakenException>;

LazyError lazy_error(ErrorClass error_class, std::string message);
LazyError type_mismatch_error(PyObject* object, PyObject* expected_type);

// Takes over the pending interpreter exception; when none is pending (an
// interpreter call reported failure without one), a SystemError instead.
Failure take_interpreter_error();

// Whether the pending exception is an ordinary one (an Exception other than
// MemoryError) that a lookup may replace by a fallback. KeyboardInterrupt,
// SystemExit, MemoryError and the other exceptions that mean "stop" are not:
// they must reach the caller.
bool pending_exception_is_ordinary();

// A core error as Python sees it: ValueError with the core's message, or
// MemoryError when the core could not get memory for its result.
Failure core_failure(const CoreError& error);

// Makes the failure the pending exception of the calling thread.
void raise_lazy_error(const LazyError& error);
void raise_failure(Failure&& failure);

// Writes the diagnostic to standard error and aborts the process.
[[noreturn]] void fatal_error(const char* diagnostic);
// For an object the module cannot do without: reports the pending exception
// as unraisable, then aborts with "PyObject pointer is null".
[[noreturn]] void fatal_null_object();

}  // namespace korvalith::py
