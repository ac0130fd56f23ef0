// The module's single exported symbol and the execution step that builds
// the tree of submodules and functions.
#include <Python.h>

#include <cstddef>
#include <cstdio>

#include "module/arguments.hpp"
#include "module/errors.hpp"
#include "module/interned.hpp"
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
// What a module object keeps: whether it counts among its interpreter's live
// module objects, which keep that interpreter's values (module/interned.hpp).
struct ModuleState {
    bool attached;
};

int build_module_tree(PyObject* module) {
    if (!PyModule_Check(module)) {
        raise_lazy_error(type_mismatch_error(module, reinterpret_cast<PyObject*>(&PyModule_Type)));
        return -1;
    }
    auto* state = static_cast<ModuleState*>(PyModule_GetState(module));
    if (state == nullptr) return -1;
    if (!state->attached) {
        module_attached();
        state->attached = true;
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

// The module object is freed: it no longer keeps its interpreter's values.
void free_module(void* module) {
    auto* state = static_cast<ModuleState*>(PyModule_GetState(static_cast<PyObject*>(module)));
    if (state != nullptr && state->attached) {
        state->attached = false;
        module_detached();
    }
}

#if !defined(Py_TARGET_ABI3T)
// Slots that later interpreters know, by their numbers there: an
// interpreter refuses a slot it does not know, and one module file serves
// them all, so the slots are chosen when the module is imported.
constexpr int MULTIPLE_INTERPRETERS_SLOT = 3;  // Py_mod_multiple_interpreters, 3.12
// Py_MOD_PER_INTERPRETER_GIL_SUPPORTED: the module loads in interpreters
// with a lock of their own, which run at the same time as the others.
void* const PER_INTERPRETER_LOCK_SUPPORTED = reinterpret_cast<void*>(2);
constexpr int GIL_SLOT = 4;  // Py_mod_gil, 3.13
// Py_MOD_GIL_NOT_USED: a free-threaded interpreter that imports the module
// keeps running without its global lock. Declared where a bytearray is held
// through an export of its buffer (module/arguments.hpp); everything else
// the functions read is immutable, held, or read under the dict's lock.
void* const GIL_NOT_USED = reinterpret_cast<void*>(1);
constexpr bool SAFE_WITHOUT_GIL = KORVALITH_BUFFER_EXPORTS != 0;

// The execution step, then the slots the running interpreter knows (filled
// in by definition()), then the end.
PyModuleDef_Slot MODULE_SLOTS[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&build_module_tree)},
    {0, nullptr},
    {0, nullptr},
    {0, nullptr},
};

PyModuleDef MODULE_DEFINITION = {
    PyModuleDef_HEAD_INIT,
    "_korvalith",         // name
    "",                   // doc: the module's __doc__ is the empty string
    sizeof(ModuleState),  // per-module state, zeroed by the interpreter
    nullptr,              // no method table: functions live in the submodules
    MODULE_SLOTS,         // completed at import (definition())
    nullptr,              // traverse: the state holds no Python object
    nullptr,              // clear
    free_module,
};

// The running interpreter's version as major * 100 + minor (312 for 3.12),
// read from Py_GetVersion(), "3.12.1 (main, ...": the stable ABI of 3.10
// has no number for it.
int running_version() {
    int major = 0;
    int minor = 0;
    if (std::sscanf(Py_GetVersion(), "%d.%d", &major, &minor) != 2) return 0;
    return major * 100 + minor;
}

PyModuleDef* definition() {
    // Chosen once for the process: every interpreter in it is the same version.
    static PyModuleDef* const chosen = [] {
        const int version = running_version();
        std::size_t next = 1;
        if (version >= 312) MODULE_SLOTS[next++] = {MULTIPLE_INTERPRETERS_SLOT, PER_INTERPRETER_LOCK_SUPPORTED};
        if (SAFE_WITHOUT_GIL && version >= 313) MODULE_SLOTS[next++] = {GIL_SLOT, GIL_NOT_USED};
        return &MODULE_DEFINITION;
    }();
    return chosen;
}
#endif

}  // namespace

}  // namespace korvalith::py

#if defined(Py_TARGET_ABI3T)

namespace korvalith::py {

namespace {

// The stable ABI for free-threaded builds (3.15 on) has no module
// definition record: the interpreter asks PyModExport__korvalith for the
// module's slots instead, the same ones, every one known to 3.15.
PyABIInfo_VAR(ABI_INFO);

PySlot EXPORTED_SLOTS[] = {
    PySlot_PTR(Py_mod_abi, &ABI_INFO),
    PySlot_PTR(Py_mod_name, "_korvalith"),
    PySlot_PTR(Py_mod_doc, ""),
    PySlot_PTR(Py_mod_state_size, sizeof(ModuleState)),
    PySlot_PTR(Py_mod_exec, reinterpret_cast<void*>(&build_module_tree)),
    PySlot_PTR(Py_mod_state_free, reinterpret_cast<void*>(&free_module)),
    PySlot_PTR(Py_mod_multiple_interpreters, Py_MOD_PER_INTERPRETER_GIL_SUPPORTED),
    PySlot_PTR(Py_mod_gil, Py_MOD_GIL_NOT_USED),
    PySlot_END,
};

}  // namespace

}  // namespace korvalith::py

PyMODEXPORT_FUNC PyModExport__korvalith() { return korvalith::py::EXPORTED_SLOTS; }

#else

PyMODINIT_FUNC PyInit__korvalith() { return PyModuleDef_Init(korvalith::py::definition()); }

#endif
