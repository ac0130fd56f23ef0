// Writing a whole byte string to a descriptor, for results, reports and files.
#pragma once

#include <cstdint>
#include <string_view>

#include "cli/files/interruption.hpp"

namespace korvalith::cli {

enum class WriteOutcome : std::uint8_t {
    written,           // every byte
    failed,            // the descriptor refused (full device, closed, ...)
    closed_by_reader,  // a pipe whose reader has gone (EPIPE)
    interrupted,       // the run was asked to stop before every byte was out
    not_staged,        // the result could not be held until its commit (no room for the staging file)
};

// Writes every byte to the descriptor, resuming after interrupted and partial
// writes; before each write it asks `interruption` whether to stop.
[[nodiscard]] WriteOutcome write_all(int fd, std::string_view bytes, const Interruption& interruption = {});

// The same at `offset` of a regular file, leaving the descriptor's own
// position alone; nothing stops it. False, with errno set, on failure.
[[nodiscard]] bool write_all_at(int fd, std::string_view bytes, std::uint64_t offset);

}  // namespace korvalith::cli
