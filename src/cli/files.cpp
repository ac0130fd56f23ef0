// File offsets and sizes are 64 bits wide on every target, so that a file
// beyond 2 GiB on 32-bit x86 reads as too large for memory rather than as
// unreadable. Defined before any system header.
#define _FILE_OFFSET_BITS 64

#include "cli/files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "cli/write_all.hpp"

namespace korvalith::cli {

namespace {

constexpr std::size_t READ_CHUNK = 1 << 16;

// A descriptor closed when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd) noexcept : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const noexcept { return fd_; }
    // Closes now, reporting whether the close succeeded (it may report a
    // delayed write error).
    bool close() noexcept {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool holds_nul(const std::string& name) { return name.find('\0') != std::string::npos; }

FileIdentity identity_of(const struct stat& status) {
    return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

std::unexpected<ReadFailure> read_failure(ReadFailure::Kind kind, std::size_t requested = 0) {
    return std::unexpected(ReadFailure{kind, requested});
}

WriteFailure write_failure(WriteOutcome outcome) {
    switch (outcome) {
        case WriteOutcome::closed_by_reader: return WriteFailure::closed_by_reader;
        case WriteOutcome::interrupted: return WriteFailure::interrupted;
        default: return WriteFailure::failed;
    }
}

// Reads an open descriptor to its end. Regular files announce their size;
// others (pipes, terminals, /proc) are read until they end. One byte more
// than announced detects a file that grew.
std::expected<Input, ReadFailure> read_to_end(int fd, const Interruption& interruption) {
    struct stat status {};
    if (::fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) return read_failure(ReadFailure::Kind::unreadable);
    Input input;
    std::size_t expected = READ_CHUNK;
    if (S_ISREG(status.st_mode)) {
        input.file = identity_of(status);
        if (static_cast<std::uint64_t>(status.st_size) >= std::numeric_limits<std::size_t>::max()) {
            return read_failure(ReadFailure::Kind::out_of_memory, std::numeric_limits<std::size_t>::max());
        }
        if (status.st_size > 0) expected = static_cast<std::size_t>(status.st_size);
    }
    ByteBuffer& contents = input.bytes;
    if (!contents.reserve(expected + 1)) return read_failure(ReadFailure::Kind::out_of_memory, expected + 1);
    for (;;) {
        if (contents.size() == contents.capacity()) {
            auto grown = checked_mul(contents.capacity(), 2);
            if (!grown || !contents.reserve(*grown)) {
                return read_failure(ReadFailure::Kind::out_of_memory,
                                    grown.value_or(std::numeric_limits<std::size_t>::max()));
            }
        }
        if (interruption.requested()) return read_failure(ReadFailure::Kind::interrupted);
        const std::size_t room = contents.capacity() - contents.size();
        const ssize_t count = ::read(fd, contents.data() + contents.size(), room);
        if (count < 0) {
            if (errno == EINTR) continue;
            return read_failure(ReadFailure::Kind::unreadable);
        }
        if (count == 0) break;
        contents.set_size(contents.size() + static_cast<std::size_t>(count));
    }
    return input;
}

// Opens a file, retrying an open that a signal interrupted (opening a FIFO
// waits for its other end) unless the run is to stop. -1 with errno set on
// failure; EINTR means the run is to stop.
int open_file(const char* name, int flags, mode_t mode, const Interruption& interruption) {
    for (;;) {
        const int fd = ::open(name, flags, mode);
        if (fd >= 0 || errno != EINTR) return fd;
        if (interruption.requested()) {
            errno = EINTR;  // the check may run code that changed it
            return -1;
        }
    }
}

std::unexpected<WriteFailure> open_failure() {
    return std::unexpected(errno == EINTR ? WriteFailure::interrupted : WriteFailure::failed);
}

// The named file rewritten where it is: created or truncated. A file that
// this call created is removed again when the write does not complete.
std::expected<void, WriteFailure> write_in_place(const std::string& name, ByteView bytes,
                                                 const Interruption& interruption) {
    constexpr int FLAGS = O_WRONLY | O_CREAT | O_CLOEXEC;
    bool created = true;
    int fd = open_file(name.c_str(), FLAGS | O_EXCL, 0666, interruption);
    if (fd < 0 && errno == EEXIST) {
        created = false;
        fd = open_file(name.c_str(), FLAGS | O_TRUNC, 0666, interruption);
    }
    if (fd < 0) return open_failure();
    Descriptor file(fd);
    const WriteOutcome outcome = write_all(file.get(), as_string_view(bytes), interruption);
    const bool closed = file.close();
    if (outcome == WriteOutcome::written && closed) return {};
    if (created) ::unlink(name.c_str());
    return std::unexpected(outcome == WriteOutcome::written ? WriteFailure::failed : write_failure(outcome));
}

// The directory part of a path that names a file ("/a/b" of "/a/b/c").
std::string directory_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// The file at `path` (the input, by its real path) replaced by a new file
// with the bytes and the old file's mode (and its owner, where this process
// may give it), made beside it and renamed into place once every byte is
// written and on disk. Nothing when no file can be made in that directory
// for lack of permission.
std::optional<std::expected<void, WriteFailure>> replace_file(const std::string& path, ByteView bytes,
                                                              const struct stat& old,
                                                              const Interruption& interruption) {
    std::string temporary = directory_of(path) + "/.korvalith-XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        if (errno == EACCES || errno == EPERM) return std::nullopt;
        return std::unexpected(WriteFailure::failed);
    }
    Descriptor file(fd);
    // The owner first: changing it may clear the set-user-ID and
    // set-group-ID bits that the mode then restores.
    (void)::fchown(file.get(), old.st_uid, old.st_gid);
    WriteOutcome outcome = WriteOutcome::failed;
    if (::fchmod(file.get(), old.st_mode & 07777) == 0) {
        outcome = write_all(file.get(), as_string_view(bytes), interruption);
    }
    const bool stored = outcome == WriteOutcome::written && ::fsync(file.get()) == 0;
    const bool closed = file.close();
    if (stored && closed && ::rename(temporary.c_str(), path.c_str()) == 0) return std::expected<void, WriteFailure>();
    ::unlink(temporary.c_str());
    return std::unexpected(outcome == WriteOutcome::written ? WriteFailure::failed : write_failure(outcome));
}

// The path of the file a name leads to, through every symbolic link.
std::optional<std::string> real_path(const std::string& name) {
    char* resolved = ::realpath(name.c_str(), nullptr);
    if (resolved == nullptr) return std::nullopt;
    std::string path(resolved);
    std::free(resolved);
    return path;
}

}  // namespace

std::expected<Input, ReadFailure> read_whole_file(const std::string& name, const Interruption& interruption) {
    if (name.empty() || holds_nul(name)) return read_failure(ReadFailure::Kind::unreadable);
    const int fd = open_file(name.c_str(), O_RDONLY | O_CLOEXEC, 0, interruption);
    if (fd < 0) return read_failure(errno == EINTR ? ReadFailure::Kind::interrupted : ReadFailure::Kind::unreadable);
    Descriptor file(fd);
    return read_to_end(file.get(), interruption);
}

std::expected<Input, ReadFailure> read_stream(int fd, const Interruption& interruption) {
    return read_to_end(fd, interruption);
}

std::expected<void, WriteFailure> write_whole_file(const std::string& name, ByteView bytes,
                                                   const std::optional<FileIdentity>& input,
                                                   const Interruption& interruption) {
    if (name.empty() || holds_nul(name)) return std::unexpected(WriteFailure::failed);
    if (interruption.requested()) return std::unexpected(WriteFailure::interrupted);
    struct stat target {};
    if (input && ::stat(name.c_str(), &target) == 0 && S_ISREG(target.st_mode) && identity_of(target) == *input) {
        auto path = real_path(name);
        if (!path) return std::unexpected(WriteFailure::failed);
        if (auto replaced = replace_file(*path, bytes, target, interruption)) return *replaced;
        // A directory this run may not add a file to: the input can only be
        // rewritten where it is, as any other output file.
    }
    return write_in_place(name, bytes, interruption);
}

}  // namespace korvalith::cli
