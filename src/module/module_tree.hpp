// Building blocks of the module tree: submodules, functions, __all__.
#pragma once

#include <Python.h>

#include "module/py_ref.hpp"

namespace korvalith::py {

// Each returns null (or -1) with the interpreter's exception pending on failure.
PyRef new_submodule(const char* bare_name);
PyRef new_function(PyMethodDef* record, PyObject* submodule);
int add_function(PyObject* module, PyObject* function);
int add_submodule(PyObject* parent, PyObject* child);
int add_to_module(PyObject* module, PyObject* name, PyObject* value);

}  // namespace korvalith::py
