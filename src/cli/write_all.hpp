// Writing a whole byte string to a descriptor, for results, reports and files.
#pragma once

#include <cstdint>
#include <string_view>

#include "cli/interruption.hpp"

namespace korvalith::cli {

enum class WriteOutcome : std::uint8_t {
    written,           // every byte
    failed,            // the descriptor refused (full device, closed, ...)
    closed_by_reader,  // a pipe whose reader has gone (EPIPE)
    interrupted,       // the run was asked to stop before every byte was out
};

// Writes every byte to the descriptor, resuming after interrupted and partial
// writes; before each write it asks `interruption` whether to stop.
[[nodiscard]] WriteOutcome write_all(int fd, std::string_view bytes, const Interruption& interruption = {});

}  // namespace korvalith::cli
