// A result held in memory or in an unnamed file until the run has succeeded.
// File offsets and sizes are 64 bits wide on every target. Defined before
// any system header.
#define _FILE_OFFSET_BITS 64

#include "cli/files/staging.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "cli/files/chunk_buffer.hpp"
#include "cli/files/hidden_file.hpp"
#include "cli/files/quiet_thread.hpp"

namespace korvalith::cli {

namespace {

// The most one call of sendfile or copy_file_range is asked to move: well
// under what 32-bit sizes and the kernel's own limit allow.
constexpr std::size_t LARGEST_COPY = std::size_t{1} << 30;

// A result from this size on is copied into its target in two parts at once.
constexpr std::uint64_t COPIED_IN_HALVES_FROM = std::uint64_t{64} << 20;

// Where the two parts meet is a multiple of this, so that a file system
// that shares blocks between files (XFS, btrfs) can clone both parts whole:
// a part that begins inside a block is copied, not shared.
constexpr std::uint64_t SPLIT_ALIGNMENT = std::uint64_t{1} << 20;

// With early writeback, the bytes whose way to the disk starts at once.
constexpr std::uint64_t WRITEBACK_STEP = std::uint64_t{8} << 20;

// A file with no name in `directory`: O_TMPFILE where the file system has
// it, else a hidden file (which the next run removes if this one is killed
// before it is unlinked) made and unlinked at once. -1 with errno set.
int unnamed_file_in(const std::string& directory) noexcept {
    std::string path;
    return file_in(directory, 0600, true, path);
}

// $TMPDIR when it is set, else /tmp.
std::string temporary_directory() {
    const char* named = std::getenv("TMPDIR");
    return named != nullptr && *named != '\0' ? std::string(named) : std::string("/tmp");
}

// Bytes `from` to `to` of the file `in` into `out` from `at`, read and
// written by this process: where the kernel cannot copy between the two.
bool copy_by_hand(int in, std::uint64_t from, std::uint64_t to, int out, std::uint64_t at) noexcept {
    ChunkBuffer buffer;
    if (!buffer.allocate(std::size_t{1} << 20)) {
        errno = ENOMEM;
        return false;
    }
    while (from < to) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), to - from));
        const ssize_t got = ::pread(in, buffer.data(), want, static_cast<off_t>(from));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            if (got == 0) errno = EIO;  // the staging file ended early: it was not ours alone
            return false;
        }
        if (!write_all_at(out, {reinterpret_cast<const char*>(buffer.data()), static_cast<std::size_t>(got)}, at)) {
            return false;
        }
        from += static_cast<std::uint64_t>(got);
        at += static_cast<std::uint64_t>(got);
    }
    return true;
}

// Bytes `from` to `to` of the file `in` into the file `out` at the same
// offsets, copied by the kernel where it can (copy_file_range, which also
// clones the blocks on a file system that can), else by hand.
bool copy_range(int in, std::uint64_t from, std::uint64_t to, int out) noexcept {
    loff_t in_at = static_cast<loff_t>(from);
    loff_t out_at = static_cast<loff_t>(from);
    while (static_cast<std::uint64_t>(in_at) < to) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(LARGEST_COPY, to - static_cast<std::uint64_t>(in_at)));
        const ssize_t copied = ::copy_file_range(in, &in_at, out, &out_at, want, 0);
        if (copied > 0) continue;  // both offsets moved on
        if (copied < 0 && errno == EINTR) continue;
        if (copied == 0 || errno == EXDEV || errno == EINVAL || errno == EOPNOTSUPP || errno == ENOSYS ||
            errno == EBADF) {
            // No copy between these two files (or none at all) in this kernel.
            return copy_by_hand(in, static_cast<std::uint64_t>(in_at), to, out, static_cast<std::uint64_t>(out_at));
        }
        return false;
    }
    return true;
}

}  // namespace

Staging::~Staging() { release_memory(); }

void Staging::release_memory() noexcept {
    if (memory_ != nullptr) (void)::munmap(memory_, memory_limit_);
    memory_ = nullptr;
    in_memory_ = 0;
}

int Staging::append(ByteView bytes) noexcept {
    if (bytes.empty()) return 0;
    if (!file_.is_open()) {
        if (memory_ == nullptr && !memory_refused_ && memory_limit_ > 0) {
            void* mapped = ::mmap(nullptr, memory_limit_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (mapped == MAP_FAILED) {
                memory_refused_ = true;
            } else {
                memory_ = static_cast<std::uint8_t*>(mapped);
#if defined(MADV_HUGEPAGE)
                // Fewer page faults where the system leaves huge pages to
                // the program's advice; a hint, whose failure changes nothing.
                (void)::madvise(memory_, memory_limit_, MADV_HUGEPAGE);
#endif
            }
        }
        if (memory_ != nullptr && bytes.size() <= memory_limit_ - in_memory_) {
            std::memcpy(memory_ + in_memory_, bytes.data(), bytes.size());
            in_memory_ += bytes.size();
            size_ += bytes.size();
            return 0;
        }
        if (const int failed = spill(); failed != 0) return failed;
    }
    if (const int failed = append_to_file(bytes); failed != 0) return failed;
    size_ += bytes.size();
    if (write_back_ && size_ - written_back_ >= WRITEBACK_STEP) start_writeback();
    return 0;
}

// Asks the kernel to start writing the file's bytes since the last step to
// the disk without waiting for them: the disk works while the run makes the
// rest, and the commit finds little left to write.
void Staging::start_writeback() noexcept {
    (void)::sync_file_range(file_.get(), static_cast<off_t>(written_back_), static_cast<off_t>(size_ - written_back_),
                            SYNC_FILE_RANGE_WRITE);
    written_back_ = size_;
}

// The result so far moves from memory into the file, which takes the rest.
int Staging::spill() noexcept {
    int fd = -1;
    if (!near_.empty()) fd = unnamed_file_in(near_);
    if (fd < 0) {
        failed_in_ = temporary_directory();
        fd = unnamed_file_in(failed_in_);
    }
    if (fd < 0) return errno;
    failed_in_.clear();
    file_ = Descriptor(fd);
    const int failed = append_to_file({memory_, in_memory_});
    release_memory();
    return failed;
}

int Staging::append_to_file(ByteView bytes) noexcept {
    while (!bytes.empty()) {
        const ssize_t written = ::write(file_.get(), bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return written == 0 ? EIO : errno;
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return 0;
}

bool Staging::copy_into(int fd) noexcept {
    if (!file_.is_open()) return write_all_at(fd, as_string_view({memory_, in_memory_}), 0);
    // A large result is copied in two parts at once, the second on a thread
    // of its own: where the kernel copies page by page (tmpfs, ext4), two
    // processors copy in about half the time one does. The parts meet at a
    // block boundary, so that file systems that share blocks clone both.
    const std::uint64_t half = size_ / 2 / SPLIT_ALIGNMENT * SPLIT_ALIGNMENT;
    if (size_ >= COPIED_IN_HALVES_FROM && half > 0) {
        int second_error = 0;
        std::thread second = start_quiet_thread([&] {
            if (!copy_range(file_.get(), half, size_, fd)) second_error = errno;
        });
        if (second.joinable()) {
            const bool first = copy_range(file_.get(), 0, half, fd);
            const int first_error = errno;
            second.join();
            errno = first ? second_error : first_error;
            return first && second_error == 0;
        }
    }
    return copy_range(file_.get(), 0, size_, fd);
}

void Staging::release() noexcept {
    if (file_.is_open()) {
        // Freeing the blocks of a large file takes a while on some file
        // systems (tmpfs): it happens here, after the target is complete,
        // not inside the copy.
        (void)file_.close();
    }
    release_memory();
}

WriteOutcome Staging::send_to(int fd, const Interruption& interruption) noexcept {
    if (!file_.is_open()) return write_all(fd, as_string_view({memory_, in_memory_}), interruption);
    off_t from = 0;
    while (static_cast<std::uint64_t>(from) < size_) {
        if (interruption.requested()) return WriteOutcome::interrupted;
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(LARGEST_COPY, size_ - static_cast<std::uint64_t>(from)));
        const ssize_t sent = ::sendfile(fd, file_.get(), &from, want);
        if (sent > 0) continue;
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0 && errno == EPIPE) return WriteOutcome::closed_by_reader;
        if (sent == 0 || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) break;  // write by hand
        return WriteOutcome::failed;
    }
    // Where the kernel cannot send (a terminal, a file opened to append),
    // the rest is read and written here.
    ChunkBuffer buffer;
    if (!buffer.allocate(std::size_t{1} << 20)) return WriteOutcome::failed;
    while (static_cast<std::uint64_t>(from) < size_) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), size_ - static_cast<std::uint64_t>(from)));
        const ssize_t got = ::pread(file_.get(), buffer.data(), want, from);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return WriteOutcome::failed;
        const WriteOutcome written =
            write_all(fd, {reinterpret_cast<const char*>(buffer.data()), static_cast<std::size_t>(got)}, interruption);
        if (written != WriteOutcome::written) return written;
        from += got;
    }
    return WriteOutcome::written;
}

}  // namespace korvalith::cli
