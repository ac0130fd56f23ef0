// Standard output as the target of a result. Where it is a regular file
// standing at its end (what a shell's `>` or `>>` gives), the result is
// written straight into it, and a run that fails cuts the file back to the
// length it had, so that a report written to the same file comes after that
// and nothing of the result stays. Anything else (a pipe, a terminal, a
// device) cannot take back what it was given: a result that may still fail
// is staged and sent when the run has succeeded, unless the caller lets it
// out as it is made. A file that is the result's input itself (`>>`, `1<>`
// onto the input) is staged whatever the action, so that the input is read
// whole before any byte of the result reaches it; the result is then
// written where standard output stands (at its end for `>>`), as a commit
// that nothing stops.
#pragma once

#include <cstdint>
#include <optional>

#include "cli/files/input_file.hpp"
#include "cli/files/result_sink.hpp"
#include "cli/files/staging.hpp"

namespace korvalith::cli {

class StandardOutput final : public ResultSink {
public:
    // Looks at `fd` now, after output the C library still buffers went out.
    // `input`: the regular file the result is made from, which is never
    // written while it is read.
    explicit StandardOutput(int fd, std::optional<FileIdentity> input = std::nullopt) noexcept;
    // A result that did not end: a file written in place gets its old length
    // back.
    ~StandardOutput() override;
    StandardOutput(const StandardOutput&) = delete;
    StandardOutput& operator=(const StandardOutput&) = delete;

    [[nodiscard]] WriteOutcome begin(std::optional<std::uint64_t> size, const Interruption& interruption) override;
    [[nodiscard]] WriteOutcome write(ByteView bytes, const Interruption& interruption) override;
    // Sends a staged result; then asks once more whether to stop, so that a
    // stop that came after the last byte still takes a file's result back.
    [[nodiscard]] WriteOutcome end(const Interruption& interruption) override;

    // False for the input itself, which takes no result as it is made.
    bool stages() const noexcept override { return !in_place_ && !is_input_; }
    void deliver_as_made() noexcept override { as_made_ = true; }
    int staging_error() const noexcept override { return staging_error_; }
    std::string staging_place() const override { return staging_ ? staging_->failed_in() : std::string(); }
    void expect_at_most(std::uint64_t size) noexcept override { expected_ = size; }

    // Whether the result goes straight into a regular file that can be cut back.
    bool in_place() const noexcept { return in_place_; }

private:
    void take_back() noexcept;

    int fd_;
    bool in_place_ = false;
    bool is_input_ = false;       // the file the result's input is read from
    bool appends_ = false;        // the file was opened to append: every write goes to its end
    std::uint64_t length_ = 0;    // the file's length before the result
    bool as_made_ = false;
    bool begun_ = false;
    bool ended_ = false;
    std::optional<std::uint64_t> expected_;
    std::optional<Staging> staging_;
    int staging_error_ = 0;
};

// When `fd` is the regular file `file` (an -o target reached through
// /dev/stdout, say), moves it past the file's end, so that what is printed
// next follows the result instead of overwriting its start.
void print_after(int fd, const FileIdentity& file) noexcept;

}  // namespace korvalith::cli
