// Standard output as a result's target: straight in at the end of a regular
// file, taken back on failure; staged for anything else.
// File offsets and sizes are 64 bits wide on every target. Defined before
// any system header.
#define _FILE_OFFSET_BITS 64

#include "cli/files/standard_output.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace korvalith::cli {

StandardOutput::StandardOutput(int fd, std::optional<FileIdentity> input) noexcept : fd_(fd) {
    std::fflush(nullptr);
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return;
    if (input && *input == FileIdentity{static_cast<std::uint64_t>(status.st_dev),
                                        static_cast<std::uint64_t>(status.st_ino)}) {
        is_input_ = true;
        return;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0) return;
    appends_ = (flags & O_APPEND) != 0;
    length_ = static_cast<std::uint64_t>(status.st_size);
    const off_t position = ::lseek(fd, 0, SEEK_CUR);
    in_place_ = appends_ || (position >= 0 && static_cast<std::uint64_t>(position) == length_);
}

StandardOutput::~StandardOutput() {
    if (begun_ && !ended_) take_back();
}

void StandardOutput::take_back() noexcept {
    if (!in_place_) return;
    (void)::ftruncate(fd_, static_cast<off_t>(length_));
    // What comes next (a report sent to the same file) goes where the
    // result began, not past a hole.
    if (!appends_) (void)::lseek(fd_, static_cast<off_t>(length_), SEEK_SET);
}

WriteOutcome StandardOutput::begin(std::optional<std::uint64_t>, const Interruption& interruption) {
    if (interruption.requested()) return WriteOutcome::interrupted;
    begun_ = true;
    if (is_input_ || (!in_place_ && !as_made_)) {
        staging_.emplace();
        if (expected_) staging_->expect_at_most(*expected_);
    }
    return WriteOutcome::written;
}

WriteOutcome StandardOutput::write(ByteView bytes, const Interruption& interruption) {
    if (!staging_) return write_all(fd_, as_string_view(bytes), interruption);
    if (interruption.requested()) return WriteOutcome::interrupted;
    staging_error_ = staging_->append(bytes);
    return staging_error_ == 0 ? WriteOutcome::written : WriteOutcome::not_staged;
}

WriteOutcome StandardOutput::end(const Interruption& interruption) {
    if (staging_) {
        // Into the input itself the result goes whole once begun: a stop
        // now would leave a part of it there.
        if (is_input_ && interruption.requested()) return WriteOutcome::interrupted;
        const WriteOutcome sent = staging_->send_to(fd_, is_input_ ? Interruption() : interruption);
        if (sent != WriteOutcome::written) return sent;
        if (is_input_) {
            ended_ = true;
            return WriteOutcome::written;
        }
    }
    if (interruption.requested()) return WriteOutcome::interrupted;
    ended_ = true;
    return WriteOutcome::written;
}

void print_after(int fd, const FileIdentity& file) noexcept {
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) ||
        FileIdentity{static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)} != file) {
        return;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0 && (flags & O_APPEND) == 0) (void)::lseek(fd, 0, SEEK_END);
}

}  // namespace korvalith::cli
