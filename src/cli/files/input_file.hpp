// The input of a run: a named file, or standard input for a data argument of
// "-". It is read in chunks, once to its end; a named regular file that
// announces its size can also be read twice over, for a check first.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>

#include "cli/files/descriptor.hpp"
#include "cli/files/interruption.hpp"

namespace korvalith::cli {

// A file as the system knows it, whatever name reached it: its device and
// inode.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;

    bool operator==(const FileIdentity&) const = default;
};

// The identity of the regular file a name leads to (through any symbolic
// link), or nothing when it leads to no regular file.
std::optional<FileIdentity> regular_file_identity(const std::string& name);

// Why an input could not be read.
struct ReadFailure {
    enum class Kind : std::uint8_t {
        unreadable,     // missing, unreadable, a directory, a name holding a NUL byte,
                        // or a regular file that changed while it was read
        size_differs,   // a file read twice ended before or after the size it announced
                        // at its first read (those of /sys do): read once, as a stream
        out_of_memory,  // the contents do not fit in the memory at hand
        interrupted,    // the run was asked to stop
    };
    Kind kind = Kind::unreadable;
    std::size_t requested = 0;  // the allocation that failed, for out_of_memory
};

class InputFile {
public:
    // The named file, opened for reading. Opening a FIFO waits for its
    // writer, unless the run is asked to stop.
    static std::expected<InputFile, ReadFailure> open(const std::string& name, const Interruption& interruption);

    // An open descriptor (standard input), which stays open and is read once
    // from where it stands.
    static std::expected<InputFile, ReadFailure> borrow(int fd);

    // A named regular file that announces a size can be read twice: from
    // its start, as far as the size it announced when it was opened.
    // Anything else (standard input, pipes, devices, files such as those of
    // /proc that announce no size) is read once, to its end.
    bool rereadable() const noexcept { return rereadable_; }
    std::uint64_t announced_size() const noexcept { return announced_size_; }

    // The identity of a regular file, nothing for other inputs.
    const std::optional<FileIdentity>& identity() const noexcept { return identity_; }

    // Whether a regular file has been written since it was opened: its size
    // or its time of last change differs. False for other inputs.
    bool changed() const noexcept;

    // Reads into `buffer` until it is full or the input ends: the count, less
    // than the buffer's size only at the end.
    std::expected<std::size_t, ReadFailure> fill(std::span<std::uint8_t> buffer, const Interruption& interruption);

    // Reads into `buffer` from `offset` of a rereadable input, leaving where
    // fill() reads alone, so that another thread may read while this one
    // holds the input: the count, less than the buffer's size only at the
    // end. No stop is asked for: a regular file's reads return promptly.
    std::expected<std::size_t, ReadFailure> fill_at(std::span<std::uint8_t> buffer, std::uint64_t offset) const;

    // Back to the start, for another pass (rereadable inputs only).
    bool rewind() noexcept;

private:
    InputFile() = default;
    std::expected<void, ReadFailure> examine(bool named);

    Descriptor owned_;
    int fd_ = -1;
    bool rereadable_ = false;
    std::uint64_t announced_size_ = 0;
    std::optional<FileIdentity> identity_;
    std::int64_t modified_seconds_ = 0;  // the time of last change when opened
    std::int64_t modified_nanoseconds_ = 0;
};

}  // namespace korvalith::cli
