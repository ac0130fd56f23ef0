// The -o file, which holds either its old contents or the whole result,
// never anything between. It is opened as create-or-truncate would open it,
// so permissions, owner, hard links, extended attributes and symbolic links
// behave as for any write in place, but it is never truncated first:
//
// - a new file, or an empty one, takes the result straight in as it is
//   made; a run that fails removes the new file (also one made where a
//   symbolic link to nothing led) or empties the empty one again;
// - any other target (a file that holds something, the input file itself,
//   a FIFO or a device) is left alone while the result is staged
//   (Staging); once the run has succeeded, the result is committed: the
//   room for the whole result secured (a full file system or the process's
//   file-size limit is found before any old byte is lost), the result
//   copied in from the start, the file cut to its length.
//
// A regular file is locked (flock) while it takes the result, for the whole
// write straight in and for a commit, so that runs writing the same file
// each leave it whole, one after the other.
#pragma once

#include <cstdint>
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
    void expect_at_most(std::uint64_t size) noexcept override { expected_ = size; }

    // The file that took the result, once begun: nothing for a target that
    // is no regular file.
    std::optional<FileIdentity> identity() const noexcept { return identity_; }
    // Whether the result went straight in rather than being staged.
    bool written_straight_in() const noexcept { return mode_ == Mode::direct; }

private:
    enum class Mode : std::uint8_t { none, direct, staged };

    WriteOutcome acquire(const Interruption& interruption);
    WriteOutcome lock_named(const Interruption& interruption);
    bool still_named() const;
    WriteOutcome commit(const Interruption& interruption);
    WriteOutcome reserve(std::uint64_t size);
    WriteOutcome grow_with_zeros(std::uint64_t size);
    void undo() noexcept;

    std::string name_;
    std::optional<FileIdentity> input_;
    std::size_t staging_memory_;
    Descriptor file_;
    Mode mode_ = Mode::none;
    std::string created_;  // where this run created the file (the name, or where a link to nothing led)
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
