// The argument list of a run: a command line's elements as UTF-8 text.
#pragma once

#include <cstddef>
#include <expected>
#include <span>
#include <string>
#include <vector>

namespace korvalith::cli {

// Every element of a command line (the program's name or path first, then
// the user's arguments) as UTF-8 text, in order. An element that is not valid
// UTF-8 cannot enter the list: the error holds that element's index.
std::expected<std::vector<std::string>, std::size_t> argument_list(std::span<char* const> command_line);

}  // namespace korvalith::cli
