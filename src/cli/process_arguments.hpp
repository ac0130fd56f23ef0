// The process's own argument vector, recorded when the shared object loads.
#pragma once

#include <expected>
#include <span>
#include <string>
#include <vector>

namespace korvalith::cli {

// The argument vector exactly as the C library handed it to the shared
// object's load-time initialisers (the interpreter's name first). Empty when
// the loader passed none.
std::span<char* const> process_arguments() noexcept;

// The argument list of a run: every element after the interpreter's name, as
// UTF-8 text (the first is the program's path). An element that is not valid
// UTF-8 cannot enter it: the error holds that element's index in `vector`.
std::expected<std::vector<std::string>, std::size_t> argument_list(std::span<char* const> vector);

}  // namespace korvalith::cli
