// The submodules of functions. Each is declared once, beside the core of its
// functions, with KORVALITH_PYTHON_SUBMODULE, and has one line, in its place,
// in the table that the module's execution step walks
// (module/submodule_table.cpp).
//
// A line and the declaration of its submodule refer to each other through
// hidden symbols named after the submodule. The module leaves Python's own
// symbols for the interpreter to provide, but a hidden symbol must be defined
// within the module, so a line whose submodule is declared nowhere (a
// misspelled name, a missing declaration) and a declaration without a line
// both fail to link, and the linker names the submodule:
//
//   undefined reference to `korvalith::py::submodule_declared_with_KORVALITH_PYTHON_SUBMODULE::atbash'
//   undefined reference to `korvalith::py::submodule_listed_in_submodule_table_cpp::atbash'
//
// A submodule declared twice fails to link too, and a line written twice
// fails to compile, each naming the submodule.
#pragma once

#include <Python.h>

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

namespace korvalith::py {

struct SubmoduleLine;

// A submodule: its bare name and the method records of its functions, in the
// order of its __all__.
struct FunctionSubmodule {
    const char* name;
    std::span<PyMethodDef* const> functions;
    // Its line of the table. Nothing reads it at run time: it is the
    // reference that makes a declaration without a line fail to link.
    const SubmoduleLine* line;
};

// The method records of some PythonFunction declarations, in order.
template <typename... Functions>
inline constexpr std::array<PyMethodDef*, sizeof...(Functions)> METHOD_RECORDS = {&Functions::record...};

// One line of the submodule table: the bare name of the group that holds the
// submodule ("_korvalith": the top-level module itself), and the submodule.
struct SubmoduleLine {
    const char* group;
    const FunctionSubmodule* submodule;

    constexpr bool in_group(std::string_view name) const { return group == name; }
    constexpr bool in_top_level() const { return in_group("_korvalith"); }
};

// The lines in the order the tree is built: a group's submodules stand
// together, in the order of the group's __all__.
std::span<const SubmoduleLine* const> submodule_table();

// A group's lines stand together: a group that came back later would be
// created a second time.
template <std::size_t Size>
consteval bool groups_stand_together(const SubmoduleLine* const (&lines)[Size]) {
    for (std::size_t i = 1; i < Size; ++i) {
        if (lines[i]->in_top_level() || lines[i]->in_group(lines[i - 1]->group)) continue;
        for (std::size_t j = 0; j < i; ++j) {
            if (lines[i]->in_group(lines[j]->group)) return false;
        }
    }
    return true;
}

}  // namespace korvalith::py

// Declares the submodule `name` holding the given PythonFunction
// declarations, in this order in its __all__. Written once per submodule, at
// global scope after the functions' declarations.
#define KORVALITH_PYTHON_SUBMODULE(name, ...)                                                            \
    KORVALITH_SUBMODULE_SYMBOLS(name)                                                                    \
    constinit const ::korvalith::py::FunctionSubmodule                                                   \
        korvalith::py::submodule_declared_with_KORVALITH_PYTHON_SUBMODULE::name{                         \
            #name, METHOD_RECORDS<__VA_ARGS__>, &submodule_listed_in_submodule_table_cpp::name};         \
    static_assert(true, "a semicolon may follow")

// Defines the submodule table from TABLE(LINE), which expands to
// LINE(group, submodule) for every line in order (module/submodule_table.cpp).
// Written once, at global scope.
#define KORVALITH_DEFINE_SUBMODULE_TABLE(TABLE)                                                          \
    TABLE(KORVALITH_SUBMODULE_LINE)                                                                      \
    namespace korvalith::py {                                                                            \
    namespace {                                                                                          \
    constexpr const SubmoduleLine* LINES[] = {TABLE(KORVALITH_SUBMODULE_LINE_ADDRESS)};                  \
    static_assert(groups_stand_together(LINES), "the lines of one group must stand together");           \
    }                                                                                                    \
    std::span<const SubmoduleLine* const> submodule_table() { return LINES; }                            \
    }                                                                                                    \
    static_assert(true, "a semicolon may follow")

// One line: the group (`_korvalith` for the top-level module) and the submodule.
#define KORVALITH_SUBMODULE_LINE(group, name)                                                            \
    KORVALITH_SUBMODULE_SYMBOLS(name)                                                                    \
    constexpr ::korvalith::py::SubmoduleLine korvalith::py::submodule_listed_in_submodule_table_cpp::name{ \
        #group, &submodule_declared_with_KORVALITH_PYTHON_SUBMODULE::name};

// The two hidden symbols of the submodule `name`: its declaration and its line.
#define KORVALITH_SUBMODULE_SYMBOLS(name)                                                                \
    namespace korvalith::py {                                                                            \
    namespace submodule_declared_with_KORVALITH_PYTHON_SUBMODULE {                                       \
    [[gnu::visibility("hidden")]] extern const FunctionSubmodule name;                                   \
    }                                                                                                    \
    namespace submodule_listed_in_submodule_table_cpp {                                                  \
    [[gnu::visibility("hidden")]] extern const SubmoduleLine name;                                       \
    }                                                                                                    \
    }

#define KORVALITH_SUBMODULE_LINE_ADDRESS(group, name) &submodule_listed_in_submodule_table_cpp::name,
