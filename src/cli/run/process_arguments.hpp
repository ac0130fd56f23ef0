// The process's own argument vector, recorded when the shared object loads.
// Only the Python function cli.parse reads it: the korvalith program gets its
// vector from main.
#pragma once

#include <span>

namespace korvalith::cli {

// The argument vector exactly as the C library handed it to the shared
// object's load-time initialisers (the interpreter's name first). Empty when
// the loader passed none.
std::span<char* const> process_arguments() noexcept;

}  // namespace korvalith::cli
