// The submodules of functions. Each is declared once, beside the core of its
// functions, with KORVALITH_PYTHON_SUBMODULE, and named once in the table
// that the module's execution step walks (module/submodule_table.cpp).
#pragma once

#include <Python.h>

#include <array>
#include <span>

namespace korvalith::py {

// A submodule: its bare name and the method records of its functions, in the
// order of its __all__.
struct FunctionSubmodule {
    const char* name;
    std::span<PyMethodDef* const> functions;
};

// The method records of some PythonFunction declarations, in order.
template <typename... Functions>
inline constexpr std::array<PyMethodDef*, sizeof...(Functions)> METHOD_RECORDS = {&Functions::record...};

// One line of the submodule table: the group that holds the submodule (null:
// the top-level module itself), and the submodule.
struct SubmoduleEntry {
    const char* group;
    const FunctionSubmodule& (*submodule)();
};

// The submodules in the order the tree is built: a group's submodules stand
// together, in the order of the group's __all__.
std::span<const SubmoduleEntry> submodule_table();

}  // namespace korvalith::py

// Declares the submodule `name` holding the given PythonFunction
// declarations, in this order in its __all__. Written once per submodule, at
// global scope after the functions' declarations.
#define KORVALITH_PYTHON_SUBMODULE(name, ...)                                                  \
    namespace korvalith::py::submodules {                                                      \
    extern const FunctionSubmodule name;                                                       \
    constinit const FunctionSubmodule name{#name, METHOD_RECORDS<__VA_ARGS__>};                \
    }                                                                                          \
    static_assert(true, "a semicolon may follow")

// The submodule `name` declared with KORVALITH_PYTHON_SUBMODULE, for a line of
// the submodule table (which lies in namespace korvalith::py::submodules, the
// namespace this declaration refers to).
#define KORVALITH_SUBMODULE(name)                                               \
    []() -> const ::korvalith::py::FunctionSubmodule& {                         \
        extern const ::korvalith::py::FunctionSubmodule name;                   \
        return name;                                                            \
    }
