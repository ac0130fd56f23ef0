// The -o file, rewritten in place. It is opened as create-or-truncate would
// open it, so permissions, owner, hard links, extended attributes and
// symbolic links behave as for any write in place, but it is not truncated:
// the room for the whole result is secured first, and only then are the old
// bytes overwritten, and the file cut to the result's length at the end. A
// full file system or the process's file-size limit is found before any old
// byte is lost.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "cli/descriptor.hpp"
#include "cli/result_sink.hpp"

namespace korvalith::cli {

class OutputFile final : public ResultSink {
public:
    // Nothing is opened or created until begin.
    explicit OutputFile(std::string name) : name_(std::move(name)) {}
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // A write that did not end: a file this run created is removed, an
    // existing file that nothing was written to gets its old size back.
    ~OutputFile() override;

    // Opens the file (created with mode 0666 less the umask if missing). For
    // a regular file a size beyond the file-size limit (RLIMIT_FSIZE) fails,
    // and an existing file gets room for `size` bytes secured, which fails on
    // a file system that cannot hold them. A failure, or a stop asked for
    // meanwhile, leaves the file as it was (a new one removed). Where the file
    // system cannot reserve room, an existing file is first grown to the
    // result's size with zero bytes after its old end.
    [[nodiscard]] WriteOutcome begin(std::optional<std::uint64_t> size, const Interruption& interruption) override;
    [[nodiscard]] WriteOutcome write(ByteView bytes, const Interruption& interruption) override;
    // Cuts a regular file to the bytes written, and closes it.
    [[nodiscard]] WriteOutcome end(const Interruption& interruption) override;

    bool completes_once_begun() const noexcept override { return true; }

private:
    WriteOutcome reserve(std::uint64_t size, const Interruption& interruption);
    WriteOutcome grow_with_zeros(std::uint64_t size);
    void undo() noexcept;

    std::string name_;
    Descriptor file_;
    bool created_ = false;
    bool regular_ = false;
    bool grown_ = false;    // the size was changed to reserve room
    bool touched_ = false;  // old bytes may have been overwritten
    bool ended_ = false;
    std::uint64_t old_size_ = 0;
    std::uint64_t written_ = 0;
};

}  // namespace korvalith::cli
