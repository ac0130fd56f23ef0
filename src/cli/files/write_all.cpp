// Whole writes to a descriptor, asking before each whether to stop.
// File offsets are 64 bits wide on every target. Defined before any system
// header.
#define _FILE_OFFSET_BITS 64

#include "cli/files/write_all.hpp"

#include <unistd.h>

#include <cerrno>

namespace korvalith::cli {

WriteOutcome write_all(int fd, std::string_view bytes, const Interruption& interruption) {
    while (!bytes.empty()) {
        if (interruption.requested()) return WriteOutcome::interrupted;
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno == EPIPE ? WriteOutcome::closed_by_reader : WriteOutcome::failed;
        }
        if (written == 0) return WriteOutcome::failed;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return WriteOutcome::written;
}

bool write_all_at(int fd, std::string_view bytes, std::uint64_t offset) {
    while (!bytes.empty()) {
        const ssize_t written = ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            if (written == 0) errno = EIO;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
        offset += static_cast<std::uint64_t>(written);
    }
    return true;
}

}  // namespace korvalith::cli
