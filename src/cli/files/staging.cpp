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
#include "cli/files/quiet_thread.hpp"

namespace korvalith::cli {

namespace {

// The most one call of sendfile or copy_file_range is asked to move: well
// under what 32-bit sizes and the kernel's own limit allow.
constexpr std::size_t LARGEST_COPY = std::size_t{1} << 30;

// A result from this size on is copied into its target in two halves at once.
constexpr std::uint64_t COPIED_IN_HALVES_FROM = std::uint64_t{64} << 20;

// A file with no name in `directory`: O_TMPFILE where the file system has
// it, else a file made and unlinked at once. -1 with errno set on failure.
int unnamed_file_in(const std::string& directory) noexcept {
    int fd = ::open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    // A file system or a kernel without O_TMPFILE says so with one of these.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return -1;
    std::string pattern = directory + "/.korvalith-staging-XXXXXX";
    fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd >= 0) (void)::unlink(pattern.c_str());
    return fd;
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

// Frees the blocks of bytes `from` to `to` of the staging file, which the
// commit has copied. A hint: where the file system cannot, they go when the
// file is closed.
void release_range(int fd, std::uint64_t from, std::uint64_t to) noexcept {
    (void)::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(from),
                      static_cast<off_t>(to - from));
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
    return 0;
}

// The result so far moves from memory into the file, which takes the rest.
int Staging::spill() noexcept {
    int fd = -1;
    if (!near_.empty()) fd = unnamed_file_in(near_);
    if (fd < 0) fd = unnamed_file_in(temporary_directory());
    if (fd < 0) return errno;
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
    // A large result is copied in two halves at once, the second on a
    // thread of its own: where the kernel copies page by page (tmpfs,
    // ext4), two processors copy in about half the time one does. Each
    // half is let go of as soon as it is copied, so that freeing its pages
    // (a tenth of the copy's time on tmpfs) is shared too, rather than left
    // to the end of the run.
    if (size_ >= COPIED_IN_HALVES_FROM) {
        const std::uint64_t half = size_ / 2;
        int second_error = 0;
        std::thread second = start_quiet_thread([&] {
            if (!copy_range(file_.get(), half, size_, fd)) second_error = errno;
            release_range(file_.get(), half, size_);
        });
        if (second.joinable()) {
            const bool first = copy_range(file_.get(), 0, half, fd);
            const int first_error = errno;
            release_range(file_.get(), 0, half);
            second.join();
            errno = first ? second_error : first_error;
            return first && second_error == 0;
        }
    }
    return copy_range(file_.get(), 0, size_, fd);
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
