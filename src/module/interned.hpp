// Process-wide values created once, on first use.
#pragma once

#include <Python.h>

namespace korvalith::py {

// Interned attribute names, created together the first time any is needed
// and kept for the life of the process.
struct InternedNames {
    PyObject* qualname;  // "__qualname__"
    PyObject* module;    // "__module__"
    PyObject* name;      // "__name__"
    PyObject* bool_;     // "__bool__"
    PyObject* all;       // "__all__"
};

// The names, or null with the exception pending when the interpreter could
// not create them (MemoryError); the next call tries again.
const InternedNames* interned();

// The `Sequence` type of collections.abc (borrowed), imported once (and once
// more when Python code run by that import needs the type first). Null, with
// the exception pending, when the import fails; the next call tries again.
PyObject* sequence_type();

}  // namespace korvalith::py
