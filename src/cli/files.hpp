// Whole-file input and output of the command line.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>

#include "cli/interruption.hpp"
#include "common/byte_buffer.hpp"

namespace korvalith::cli {

// A file as the system knows it, whatever name reached it: its device and
// inode.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;

    bool operator==(const FileIdentity&) const = default;
};

// The whole input of a run, and the identity of the file it came from when
// that is a regular file.
struct Input {
    ByteBuffer bytes;
    std::optional<FileIdentity> file;
};

// Why an input could not be read.
struct ReadFailure {
    enum class Kind : std::uint8_t {
        unreadable,     // missing, unreadable, a directory, a name holding a NUL byte
        out_of_memory,  // the contents do not fit in the memory at hand
        interrupted,    // the run was asked to stop
    };
    Kind kind = Kind::unreadable;
    std::size_t requested = 0;  // the allocation that failed, for out_of_memory
};

// The whole contents of the named file, read at once.
std::expected<Input, ReadFailure> read_whole_file(const std::string& name, const Interruption& interruption);

// Everything behind an open descriptor (standard input for a data argument
// of "-"), read until it ends. The descriptor stays open.
std::expected<Input, ReadFailure> read_stream(int fd, const Interruption& interruption);

// Why an output file could not be written.
enum class WriteFailure : std::uint8_t {
    failed,            // it could not be created, opened or written
    closed_by_reader,  // it is a pipe whose reader has gone
    interrupted,       // the run was asked to stop before every byte was out
};

// Writes the bytes to the named file, created if missing (mode 0666 less the
// umask) and truncated if present. A file this run created is removed again
// when the write does not complete. When the name leads to `input`, the file
// the run read (through any link or spelling), the bytes go to a new file
// beside it that takes its place, with its mode, only once they are all
// written: a failed write leaves the input as it was.
std::expected<void, WriteFailure> write_whole_file(const std::string& name, ByteView bytes,
                                                   const std::optional<FileIdentity>& input,
                                                   const Interruption& interruption);

}  // namespace korvalith::cli
