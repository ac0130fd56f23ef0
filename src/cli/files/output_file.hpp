// The -o file, which holds either its old contents or the whole result,
// never anything between, whatever ends the run (SIGKILL included) where
// the file allows it:
//
// - a new file, and an existing regular file with one link in a directory
//   the run may write, is replaced: the result goes into a file without a
//   name in the same directory (O_TMPFILE; where the file system has none,
//   a hidden name, see hidden_file.hpp), which once the run has succeeded
//   takes the old file's owner, group, mode and extended attributes (ACLs
//   included), and is linked in and renamed over the name. A symbolic link
//   that led to the file leads to the new one; the input file named by -o
//   is read whole from the old one. A run that ends earlier leaves nothing.
// - any other target is written in place, as create-or-truncate would
//   open it (permissions, owner, hard links, extended attributes behave as
//   for any write in place), but never truncated first: a file with several
//   links, one whose owner or group the run cannot give a new file, one in
//   a directory the run may not write, standard output's own file, a FIFO
//   or a device. An empty one, or a new one that cannot be made beside,
//   takes the result straight in (emptied or removed again on failure);
//   one that holds something is left alone while the result is staged
//   (Staging) and then committed: the room for the whole result secured (a
//   full file system or the file-size limit found before any old byte is
//   lost), the result copied in from the start, the file cut to its length.
//   The same commit serves a replacement that the file system refuses at
//   its end.
//
// A regular file is locked (flock) while it takes the result (for the whole
// write straight in, for a commit, for the rename over it), so that runs
// writing the same file each leave it whole, one after the other.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "cli/files/descriptor.hpp"
#include "cli/files/input_file.hpp"
#include "cli/files/result_sink.hpp"
#include "cli/files/staging.hpp"

namespace korvalith::cli {

class OutputFile final : public ResultSink {
public:
    // Nothing is opened or created until begin. `input`: the regular file
    // the result is made from, which is never written while it is read.
    // `staging_memory` bounds the part of a staged result held in memory.
    explicit OutputFile(std::string name, std::optional<FileIdentity> input = std::nullopt,
                        std::size_t staging_memory = STAGING_MEMORY)
        : name_(std::move(name)), input_(input), staging_memory_(staging_memory) {}
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // A result that did not end: a file this run created is removed, an
    // empty one emptied again, and a commit that failed leaves the file with
    // its old size (old bytes already overwritten cannot come back).
    ~OutputFile() override;

    // Opens the file (created with mode 0666 less the umask if missing),
    // waits for its lock, and chooses between writing straight in and
    // staging. A size beyond the file-size limit (RLIMIT_FSIZE) fails. A
    // failure, or a stop asked for meanwhile, leaves the file as it was (a
    // new one removed).
    [[nodiscard]] WriteOutcome begin(std::optional<std::uint64_t> size, const Interruption& interruption) override;
    [[nodiscard]] WriteOutcome write(ByteView bytes, const Interruption& interruption) override;
    // Completes the result: cuts a file written straight in to it, or
    // commits a staged one. Waiting for the lock of a commit may be stopped;
    // once the lock is held, the commit is finished whatever is asked.
    [[nodiscard]] WriteOutcome end(const Interruption& interruption) override;

    int staging_error() const noexcept override { return staging_error_; }
    std::string staging_place() const override { return staging_ ? staging_->failed_in() : std::string(); }
    void expect_at_most(std::uint64_t size) noexcept override { expected_ = size; }

    // The file that took the result, once begun: nothing for a target that
    // is no regular file.
    std::optional<FileIdentity> identity() const noexcept { return identity_; }
    // Whether the result went straight in rather than being staged.
    bool written_straight_in() const noexcept { return mode_ == Mode::direct; }
    // Whether the result goes into a file that replaces the target.
    bool replaces() const noexcept { return mode_ == Mode::replace; }

    // Called once, before begin: `fd` is where the program prints after the
    // run; a target that is that file is written in place, so that what is
    // printed after it lands in it rather than in a file no longer named.
    void printed_to(int fd) noexcept { printed_to_ = fd; }
    // Called before begin: `told` runs once when the run finds another
    // process holding the file's lock and waits for it.
    void when_waiting(std::function<void()> told) { waiting_ = std::move(told); }

private:
    enum class Mode : std::uint8_t { none, direct, staged, replace };

    WriteOutcome acquire(const Interruption& interruption, bool create = true);
    bool begin_replacement();
    bool wait_for_lock(int fd, const Interruption& interruption);
    WriteOutcome lock_named(const Interruption& interruption);
    bool still_named() const;
    WriteOutcome commit(const Interruption& interruption);
    WriteOutcome commit_locked();
    WriteOutcome replace(const Interruption& interruption);
    WriteOutcome replace_locked();
    WriteOutcome adopt(int fd);
    WriteOutcome reserve(std::uint64_t size);
    WriteOutcome grow_with_zeros(std::uint64_t size);
    void undo() noexcept;

    std::string name_;
    std::optional<FileIdentity> input_;
    std::size_t staging_memory_;
    Descriptor file_;
    Mode mode_ = Mode::none;
    std::string created_;  // where this run created the file (the name, or where a link to nothing led)
    std::string new_path_;  // where a new file goes (the name, or where a link to nothing leads)
    std::string path_;      // the path a replacement is renamed to
    std::string hidden_;    // the replacement's hidden name, while it has one
    bool replaces_new_ = false;  // the replacement takes a name that held nothing
    int printed_to_ = -1;
    std::function<void()> waiting_;
    bool told_waiting_ = false;
    bool regular_ = false;
    std::optional<FileIdentity> identity_;
    std::optional<std::uint64_t> expected_;
    std::optional<Staging> staging_;
    int staging_error_ = 0;
    bool committing_ = false;  // a staged result is being copied in
    bool grown_ = false;       // the size was changed to reserve room
    bool ended_ = false;
    std::uint64_t old_size_ = 0;
    std::uint64_t written_ = 0;
};

}  // namespace korvalith::cli
