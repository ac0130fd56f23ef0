#include "cli/write_all.hpp"

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

}  // namespace korvalith::cli
