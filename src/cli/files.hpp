// Whole-file input and output of the command line.
#pragma once

#include <optional>
#include <string>

#include "common/byte_buffer.hpp"

namespace korvalith::cli {

// The whole contents of the named file, read at once; nothing when the file
// cannot be opened or read (missing, unreadable, a directory, a name holding
// a NUL byte, or too large for the memory at hand).
std::optional<ByteBuffer> read_whole_file(const std::string& name);

// Writes the bytes to the named file, created if missing (mode 0666 less the
// umask) and truncated if present; false when any step fails.
bool write_whole_file(const std::string& name, ByteView bytes);

}  // namespace korvalith::cli
