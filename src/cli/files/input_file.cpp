// The input of a run, read in chunks: a named file or standard input.
// File offsets and sizes are 64 bits wide on every target, so that a file
// beyond 2 GiB is read in chunks on 32-bit x86 as well. Defined before any
// system header.
#define _FILE_OFFSET_BITS 64

#include "cli/files/input_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace korvalith::cli {

namespace {

// What a pipe the input comes through is asked to hold.
constexpr int PIPE_ROOM = 1 << 20;

std::unexpected<ReadFailure> read_failure(ReadFailure::Kind kind, std::size_t requested = 0) {
    return std::unexpected(ReadFailure{kind, requested});
}

FileIdentity identity_of(const struct stat& status) {
    return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

// One read, resumed after a signal unless the run is to stop: the count, 0 at
// the end.
std::expected<std::size_t, ReadFailure> read_some(int fd, std::uint8_t* into, std::size_t room,
                                                  const Interruption& interruption) {
    for (;;) {
        if (interruption.requested()) return read_failure(ReadFailure::Kind::interrupted);
        const ssize_t count = ::read(fd, into, room);
        if (count >= 0) return static_cast<std::size_t>(count);
        if (errno != EINTR) return read_failure(ReadFailure::Kind::unreadable);
    }
}

// A pipe holds 64 KiB unless asked for more, and each time it is full its
// writer waits for this reader. Asked to hold 1 MiB (the most a user may
// ask for, by default), the two take turns far less often. Where the system
// refuses (a limit on what a user's pipes may hold), the pipe stays as it is.
void widen_pipe([[maybe_unused]] int fd) {
#if defined(F_SETPIPE_SZ)
    const int room = ::fcntl(fd, F_GETPIPE_SZ);
    if (room >= 0 && room < PIPE_ROOM) (void)::fcntl(fd, F_SETPIPE_SZ, PIPE_ROOM);
#endif
}

}  // namespace

std::optional<FileIdentity> regular_file_identity(const std::string& name) {
    struct stat status {};
    if (name.empty() || name.find('\0') != std::string::npos || ::stat(name.c_str(), &status) != 0 ||
        !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    return identity_of(status);
}

std::expected<InputFile, ReadFailure> InputFile::open(const std::string& name, const Interruption& interruption) {
    if (name.empty() || name.find('\0') != std::string::npos) return read_failure(ReadFailure::Kind::unreadable);
    InputFile input;
    for (;;) {
        const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            input.owned_ = Descriptor(fd);
            break;
        }
        if (errno != EINTR) return read_failure(ReadFailure::Kind::unreadable);
        if (interruption.requested()) return read_failure(ReadFailure::Kind::interrupted);
    }
    input.fd_ = input.owned_.get();
    if (auto examined = input.examine(true); !examined) return std::unexpected(examined.error());
    return input;
}

std::expected<InputFile, ReadFailure> InputFile::borrow(int fd) {
    InputFile input;
    input.fd_ = fd;
    if (auto examined = input.examine(false); !examined) return std::unexpected(examined.error());
    return input;
}

std::expected<void, ReadFailure> InputFile::examine(bool named) {
    struct stat status {};
    if (::fstat(fd_, &status) != 0 || S_ISDIR(status.st_mode)) return read_failure(ReadFailure::Kind::unreadable);
    if (S_ISREG(status.st_mode)) {
        identity_ = identity_of(status);
        announced_size_ = static_cast<std::uint64_t>(status.st_size);
        modified_seconds_ = status.st_mtim.tv_sec;
        modified_nanoseconds_ = status.st_mtim.tv_nsec;
        rereadable_ = named && announced_size_ > 0;
        // The kernel reads further ahead for a file read from start to end.
        if (rereadable_) (void)::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    } else if (S_ISFIFO(status.st_mode)) {
        widen_pipe(fd_);
    }
    return {};
}

std::expected<std::size_t, ReadFailure> InputFile::fill(std::span<std::uint8_t> buffer,
                                                        const Interruption& interruption) {
    std::size_t filled = 0;
    while (filled < buffer.size()) {
        auto count = read_some(fd_, buffer.data() + filled, buffer.size() - filled, interruption);
        if (!count) return std::unexpected(count.error());
        if (*count == 0) break;
        filled += *count;
    }
    return filled;
}

std::expected<std::size_t, ReadFailure> InputFile::fill_at(std::span<std::uint8_t> buffer,
                                                           std::uint64_t offset) const {
    std::size_t filled = 0;
    while (filled < buffer.size()) {
        const ssize_t count = ::pread(fd_, buffer.data() + filled, buffer.size() - filled,
                                      static_cast<off_t>(offset + filled));
        if (count == 0) break;
        if (count > 0) {
            filled += static_cast<std::size_t>(count);
        } else if (errno != EINTR) {
            return read_failure(ReadFailure::Kind::unreadable);
        }
    }
    return filled;
}

bool InputFile::changed() const noexcept {
    if (!identity_) return false;
    struct stat status {};
    if (::fstat(fd_, &status) != 0) return true;
    return static_cast<std::uint64_t>(status.st_size) != announced_size_ || status.st_mtim.tv_sec != modified_seconds_ ||
           status.st_mtim.tv_nsec != modified_nanoseconds_;
}

bool InputFile::rewind() noexcept { return rereadable_ && ::lseek(fd_, 0, SEEK_SET) == 0; }

}  // namespace korvalith::cli
