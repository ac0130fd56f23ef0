// Values created once per interpreter, on first use: the interned attribute
// names and collections.abc's Sequence type. They are Python objects, and
// an object belongs to the interpreter that made it: each interpreter of the
// process (the main one and every subinterpreter) has its own, never
// another's. They live as long as a module object of that interpreter does.
#pragma once

#include <Python.h>

#include <memory>

#include "module/py_ref.hpp"

namespace korvalith::py {

// Interned attribute names, created together the first time any is needed.
struct InternedNames {
    PyObject* qualname;  // "__qualname__"
    PyObject* module;    // "__module__"
    PyObject* name;      // "__name__"
    PyObject* bool_;     // "__bool__"
    PyObject* all;       // "__all__"
};

// The calling interpreter's names, valid while the handle is held, or null
// with the exception pending when the interpreter could not create them
// (MemoryError); the next call tries again.
std::shared_ptr<const InternedNames> interned();

// The calling interpreter's `Sequence` type of collections.abc, imported
// once (and once more when Python code run by that import needs the type
// first). Null, with the exception pending, when the import fails; the next
// call tries again.
PyRef sequence_type();

// A module object of the calling interpreter begins or ends: the values stay
// while at least one is alive, and are released with the last one (while
// no module object is alive, each use makes and drops its own).
void module_attached();
void module_detached();

}  // namespace korvalith::py
