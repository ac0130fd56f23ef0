// File offsets and sizes are 64 bits wide on every target. Defined before
// any system header.
#define _FILE_OFFSET_BITS 64

#include "cli/output_file.hpp"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace korvalith::cli {

namespace {

// Opens a file, retrying an open that a signal interrupted (opening a FIFO
// waits for its other end) unless the run is to stop. -1 with errno set on
// failure; EINTR means the run is to stop.
int open_file(const char* name, int flags, const Interruption& interruption) {
    for (;;) {
        const int fd = ::open(name, flags, 0666);
        if (fd >= 0 || errno != EINTR) return fd;
        if (interruption.requested()) {
            errno = EINTR;  // the check may run code that changed it
            return -1;
        }
    }
}

// True when a file of `size` bytes passes the process's file-size limit.
bool within_size_limit(std::uint64_t size) {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return true;
    return size <= static_cast<std::uint64_t>(limit.rlim_cur);
}

}  // namespace

OutputFile::~OutputFile() {
    if (file_.is_open() && !ended_) undo();
}

void OutputFile::undo() noexcept {
    if (created_) {
        (void)file_.close();
        (void)::unlink(name_.c_str());
    } else if (regular_ && (grown_ || touched_)) {
        // Old bytes already overwritten cannot come back; at least no
        // reserved zeros stay behind the old end.
        (void)::ftruncate(file_.get(), static_cast<off_t>(std::max(old_size_, written_)));
    }
    (void)file_.close();
}

WriteOutcome OutputFile::begin(std::optional<std::uint64_t> size, const Interruption& interruption) {
    if (name_.empty() || name_.find('\0') != std::string::npos) return WriteOutcome::failed;
    if (interruption.requested()) return WriteOutcome::interrupted;
    // As create-or-truncate, without the truncation: a new file is known to
    // be this run's own, so it can be removed again.
    constexpr int FLAGS = O_WRONLY | O_CREAT | O_CLOEXEC;
    int fd = open_file(name_.c_str(), FLAGS | O_EXCL, interruption);
    created_ = fd >= 0;
    if (fd < 0 && errno == EEXIST) fd = open_file(name_.c_str(), FLAGS, interruption);
    if (fd < 0) return errno == EINTR ? WriteOutcome::interrupted : WriteOutcome::failed;
    file_ = Descriptor(fd);

    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        undo();
        return WriteOutcome::failed;
    }
    regular_ = S_ISREG(status.st_mode);
    old_size_ = regular_ ? static_cast<std::uint64_t>(status.st_size) : 0;
    if (regular_ && size) {
        if (const WriteOutcome reserved = reserve(*size, interruption); reserved != WriteOutcome::written) {
            undo();
            return reserved;
        }
    }
    if (interruption.requested()) {
        undo();
        return WriteOutcome::interrupted;
    }
    return WriteOutcome::written;
}

// The room for `size` bytes from the start of the file, taken from the file
// system before anything is written. A file this run created holds nothing
// to keep, and is removed again if its write fails: it needs no reservation,
// which on some file systems (tmpfs) costs a pass of zeroing over the room.
WriteOutcome OutputFile::reserve(std::uint64_t size, const Interruption& interruption) {
    if (!within_size_limit(size)) return WriteOutcome::failed;
    if (size == 0 || created_) return WriteOutcome::written;
    for (;;) {
        // Mode 0 allocates every block of the range that is not allocated
        // yet, and grows the file to `size` when it is shorter.
        if (::fallocate(file_.get(), 0, 0, static_cast<off_t>(size)) == 0) {
            grown_ = size > old_size_;
            return WriteOutcome::written;
        }
        if (errno == EINTR) {
            grown_ = true;  // perhaps partly done: the old size is set again on failure
            if (interruption.requested()) return WriteOutcome::interrupted;
            continue;
        }
        if (errno == EOPNOTSUPP || errno == ENOSYS) return grow_with_zeros(size);
        // ENOSPC, EDQUOT, EFBIG, EIO, ...: the file system may have begun.
        grown_ = true;
        return WriteOutcome::failed;
    }
}

// The fallback for a file system that cannot reserve room: an existing file
// shorter than the result grows to its size with zero bytes written after
// its old end, so that overwriting the old bytes needs no new room (on a file
// system that overwrites in place).
WriteOutcome OutputFile::grow_with_zeros(std::uint64_t size) {
    if (size <= old_size_) return WriteOutcome::written;
    static constexpr std::uint8_t ZEROS[1 << 16] = {};
    grown_ = true;
    for (std::uint64_t at = old_size_; at < size;) {
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof ZEROS, size - at));
        const ssize_t done = ::pwrite(file_.get(), ZEROS, count, static_cast<off_t>(at));
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return WriteOutcome::failed;
        at += static_cast<std::uint64_t>(done);
    }
    return WriteOutcome::written;
}

WriteOutcome OutputFile::write(ByteView bytes, const Interruption& interruption) {
    touched_ = true;
    const WriteOutcome outcome = write_all(file_.get(), as_string_view(bytes), interruption);
    if (outcome == WriteOutcome::written) written_ += bytes.size();
    return outcome;
}

WriteOutcome OutputFile::end(const Interruption&) {
    ended_ = true;
    if (regular_ && ::ftruncate(file_.get(), static_cast<off_t>(written_)) != 0) {
        (void)file_.close();
        return WriteOutcome::failed;
    }
    return file_.close() ? WriteOutcome::written : WriteOutcome::failed;
}

}  // namespace korvalith::cli
