// The module's single exported symbol and the execution step that builds
// the tree of submodules and functions.
#include <Python.h>

#include "module/errors.hpp"
#include "module/module_tree.hpp"
#include "module/submodules.hpp"

namespace korvalith::py {

namespace {

// A submodule holding its functions, in this order in its __all__.
PyRef build_submodule(const FunctionSubmodule& declared) {
    PyRef submodule = new_submodule(declared.name);
    if (!submodule) return submodule;
    for (PyMethodDef* record : declared.functions) {
        PyRef function = new_function(record, submodule.get());
        if (!function || add_function(submodule.get(), function.get()) != 0) return PyRef();
    }
    return submodule;
}

// Adds `child` (empty when building it failed) to `parent`; false with an
// exception pending on failure.
bool attach(PyObject* parent, PyRef child) {
    return child && add_submodule(parent, child.get()) == 0;
}

// Walks the submodule table. Each group is created at its first line and
// added to the top-level module, complete, before the next group or a
// submodule of the top-level module.
int build_module_tree(PyObject* module) {
    if (!PyModule_Check(module)) {
        raise_lazy_error(type_mismatch_error(module, reinterpret_cast<PyObject*>(&PyModule_Type)));
        return -1;
    }

    PyRef group;
    const char* group_name = nullptr;
    for (const SubmoduleLine* line : submodule_table()) {
        const bool same_group = group && line->in_group(group_name);
        if (group && !same_group && !attach(module, std::move(group))) return -1;
        if (!line->in_top_level() && !same_group) {
            group = new_submodule(line->group);
            group_name = line->group;
            if (!group) return -1;
        }
        if (!attach(line->in_top_level() ? module : group.get(), build_submodule(*line->submodule))) return -1;
    }
    if (group && !attach(module, std::move(group))) return -1;
    return 0;
}

PyModuleDef_Slot MODULE_SLOTS[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&build_module_tree)},
    {0, nullptr},
};

PyModuleDef MODULE_DEFINITION = {
    PyModuleDef_HEAD_INIT,
    "_korvalith",  // name
    "",            // doc: the module's __doc__ is the empty string
    0,             // no per-module state
    nullptr,       // no method table: functions live in the submodules
    MODULE_SLOTS,
    nullptr,  // traverse
    nullptr,  // clear
    nullptr,  // free
};

}  // namespace

}  // namespace korvalith::py

PyMODINIT_FUNC PyInit__korvalith() { return PyModuleDef_Init(&korvalith::py::MODULE_DEFINITION); }
