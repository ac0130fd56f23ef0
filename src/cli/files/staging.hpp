// A result held until the run has succeeded, for a target that cannot take
// it back once written (an existing file that is not empty, a pipe, a
// terminal, a device): in memory up to a bound, beyond it in a file that has
// no name, so that it never outlives the run, whatever ends it. The file is
// made on the target's file system where that is allowed, so that the
// kernel can copy it into the target (cloning its blocks where the file
// system can), else in $TMPDIR or /tmp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "cli/files/descriptor.hpp"
#include "cli/files/interruption.hpp"
#include "cli/files/write_all.hpp"
#include "common/byte_buffer.hpp"

namespace korvalith::cli {

// The most of a result held in memory: a result up to this size never
// touches a disk, and memory stays bounded whatever the result's size.
inline constexpr std::size_t STAGING_MEMORY = std::size_t{32} << 20;

class Staging {
public:
    // `near`: a directory on the file system where the result goes, tried
    // first for the file; empty for none. `memory` bounds the part held in
    // memory (a test chooses a small one).
    explicit Staging(std::string near = {}, std::size_t memory = STAGING_MEMORY) noexcept
        : near_(std::move(near)), memory_limit_(memory) {}
    // The result held in a file made by the caller (empty so far), from its
    // first byte.
    explicit Staging(Descriptor file) noexcept : memory_limit_(0), memory_refused_(true), file_(std::move(file)) {}
    ~Staging();
    Staging(const Staging&) = delete;
    Staging& operator=(const Staging&) = delete;

    // Before the first bytes: the result is at most `size` bytes long. One
    // that may not fit in memory goes to the file from its first byte, so
    // that memory is not filled only to be copied out again.
    void expect_at_most(std::uint64_t size) noexcept {
        if (size > memory_limit_) memory_refused_ = true;
    }

    // Holds the next bytes of the result: 0, or the error number of the
    // failure to make or fill the file (ENOSPC when its file system is full).
    [[nodiscard]] int append(ByteView bytes) noexcept;

    // From now on, each further WRITEBACK_STEP bytes held in the file start
    // their way to the disk at once, while later ones are still being made,
    // rather than all of them at the commit: for a result that the commit
    // must see on the disk before it names it.
    void write_back_early() noexcept { write_back_ = true; }

    std::uint64_t size() const noexcept { return size_; }
    // Whether the result went beyond memory into the file.
    bool in_file() const noexcept { return file_.is_open(); }
    // The file, once the result went into it; -1 before.
    int file() const noexcept { return file_.get(); }
    // The directory where the file could not be made, after append failed
    // so; empty when the failure came later (no room to fill it).
    const std::string& failed_in() const noexcept { return failed_in_; }

    // Writes the result into the regular file `fd` from its start, copied by
    // the kernel where the file is (copy_file_range). Nothing stops it. False,
    // with errno set, when the target refuses.
    [[nodiscard]] bool copy_into(int fd) noexcept;
    // Lets go of the result (its memory, its file), once it is committed.
    void release() noexcept;

    // Writes the result to `fd` where it stands (a pipe, a terminal, a
    // device, a file), sent by the kernel where it can be (sendfile), asking
    // `interruption` whether to stop between writes.
    [[nodiscard]] WriteOutcome send_to(int fd, const Interruption& interruption) noexcept;

private:
    int spill() noexcept;
    int append_to_file(ByteView bytes) noexcept;
    void start_writeback() noexcept;
    void release_memory() noexcept;

    std::string near_;
    std::size_t memory_limit_;
    std::uint8_t* memory_ = nullptr;  // mapped at the first bytes, memory_limit_ long
    std::size_t in_memory_ = 0;
    bool write_back_ = false;
    std::uint64_t written_back_ = 0;  // the bytes of the file whose writeback has started
    bool memory_refused_ = false;  // no memory could be mapped, or the result will not fit: straight into the file
    Descriptor file_;
    std::string failed_in_;
    std::uint64_t size_ = 0;
};

}  // namespace korvalith::cli
