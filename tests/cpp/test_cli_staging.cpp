// A result staged until its commit: in memory, then beyond the bound in a
// file that has no name (on the near file system where it can be made, else
// in $TMPDIR), copied into a file or sent to a pipe whole; a staging file
// that cannot be made tells why. Standard output in a file standing at its
// end takes a result straight in and is cut back when the run fails;
// anywhere else it stages.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "cli/files/staging.hpp"
#include "cli/files/standard_output.hpp"
#include "cli/run/program_output.hpp"

namespace korvalith::cli {
namespace {

class CliStaging : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/korvalith-staging-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        directory_ = name;
        const char* saved = std::getenv("TMPDIR");
        saved_tmpdir_ = saved != nullptr ? std::optional<std::string>(saved) : std::nullopt;
        setenv("TMPDIR", (directory_ + "/tmp").c_str(), 1);
        std::filesystem::create_directory(directory_ + "/tmp");
        std::filesystem::create_directory(directory_ + "/near");
    }
    void TearDown() override {
        if (saved_tmpdir_) {
            setenv("TMPDIR", saved_tmpdir_->c_str(), 1);
        } else {
            unsetenv("TMPDIR");
        }
        std::filesystem::remove_all(directory_);
    }

    // What the file `fd` holds, from its start.
    static std::string read_all(int fd) {
        std::string text;
        char chunk[1 << 16];
        for (ssize_t n, at = 0; (n = pread(fd, chunk, sizeof chunk, at)) > 0; at += n) text.append(chunk, n);
        return text;
    }

    bool empty(const std::string& name) const { return std::filesystem::is_empty(directory_ + "/" + name); }

    std::string directory_;
    std::optional<std::string> saved_tmpdir_;
};

// Random bytes, a block of them repeated beyond 64 KiB.
std::string random_bytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string block(std::min<std::size_t>(size, 1 << 16), '\0');
    for (char& c : block) c = static_cast<char>(random());
    std::string bytes;
    while (bytes.size() < size) bytes += std::string_view(block).substr(0, size - bytes.size());
    return bytes;
}

TEST_F(CliStaging, StagedInMemoryOrInAFileAndDeliveredWhole) {
    // Within the memory bound, beyond it (in pieces that cross it), and
    // large enough to be copied in two halves at once.
    for (const std::size_t size : {std::size_t{1000}, std::size_t{5000}, (std::size_t{64} << 20) + 7}) {
        const std::string result = random_bytes(size, static_cast<unsigned>(size));
        for (const bool near : {true, false}) {
            Staging staging(near ? directory_ + "/near" : std::string(directory_ + "/missing"), 4096);
            // Writing the file out early, step by step, leaves what it holds as it is.
            if (near && size > (1 << 20)) staging.write_back_early();
            const std::size_t piece = size > (1 << 20) ? (1 << 20) + 3 : 1500;
            for (std::size_t at = 0; at < size; at += piece) {
                ASSERT_EQ(staging.append(as_byte_view(std::string_view(result).substr(at, piece))), 0);
            }
            EXPECT_EQ(staging.size(), size);
            EXPECT_EQ(staging.in_file(), size > 4096);
            // The file has no name: neither directory holds it.
            EXPECT_TRUE(empty("near") && empty("tmp"));
            // Into a file, over longer old contents (the commit cuts them).
            const int file = open((directory_ + "/target").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
            ASSERT_GE(file, 0);
            ASSERT_EQ(pwrite(file, "old", 3, static_cast<off_t>(size)), 3);
            ASSERT_TRUE(staging.copy_into(file));
            EXPECT_TRUE(read_all(file) == result + "old");
            close(file);
            if (size > (1 << 20)) continue;
            // And to a pipe, read as it comes.
            int ends[2];
            ASSERT_EQ(pipe(ends), 0);
            std::string received;
            std::thread reader([&] {
                char chunk[4096];
                for (ssize_t n; (n = read(ends[0], chunk, sizeof chunk)) > 0;) received.append(chunk, n);
            });
            EXPECT_EQ(staging.send_to(ends[1], {}), WriteOutcome::written);
            close(ends[1]);
            reader.join();
            close(ends[0]);
            EXPECT_TRUE(received == result);
        }
    }
}

TEST_F(CliStaging, StagingFileThatCannotBeMadeTellsWhy) {
    setenv("TMPDIR", (directory_ + "/missing").c_str(), 1);
    Staging staging({}, 16);
    EXPECT_EQ(staging.append(as_byte_view("within")), 0);
    EXPECT_EQ(staging.append(as_byte_view("beyond the memory bound")), ENOENT);
}

TEST_F(CliStaging, StandardOutputInAFileIsCutBackWhenTheRunFails) {
    // A file opened to write at its end, or to append: what it held before
    // stays, and the next output goes right after it.
    for (const int append : {0, O_APPEND}) {
        const std::string name = directory_ + "/out";
        const int fd = open(name.c_str(), O_RDWR | O_CREAT | O_TRUNC | append, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, "before\n", 7), 7);
        {
            StandardOutput out(fd);
            EXPECT_TRUE(out.in_place());
            ASSERT_EQ(out.begin(std::nullopt, {}), WriteOutcome::written);
            ASSERT_EQ(out.write(as_byte_view("partial result"), {}), WriteOutcome::written);
        }
        ASSERT_EQ(write(fd, "report\n", 7), 7);
        EXPECT_EQ(read_all(fd), "before\nreport\n");
        {
            StandardOutput out(fd);
            ProgramOutput line(out, ProgramColour::green, false);
            ASSERT_EQ(line.begin(std::nullopt, {}), WriteOutcome::written);
            ASSERT_EQ(line.write(as_byte_view("result"), {}), WriteOutcome::written);
            ASSERT_EQ(line.end({}), WriteOutcome::written);
        }
        EXPECT_EQ(read_all(fd), "before\nreport\nresult\n");
        close(fd);
    }
}

TEST_F(CliStaging, StandardOutputElsewhereStagesUntilItsEnd) {
    // A file not standing at its end, and the file the result is read from.
    const std::string name = directory_ + "/out";
    const int fd = open(name.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "0123456789", 10), 10);
    ASSERT_EQ(lseek(fd, 2, SEEK_SET), 2);
    for (const bool input : {false, true}) {
        ASSERT_EQ(lseek(fd, input ? 10 : 2, SEEK_SET), input ? 10 : 2);
        std::optional<FileIdentity> identity;
        if (input) identity = regular_file_identity(name);
        {
            StandardOutput out(fd, identity);
            EXPECT_FALSE(out.in_place());
            // The input itself is staged whatever the caller would rather do.
            EXPECT_EQ(out.stages(), !input);
            if (input) out.deliver_as_made();
            ASSERT_EQ(out.begin(std::nullopt, {}), WriteOutcome::written);
            ASSERT_EQ(out.write(as_byte_view("ab"), {}), WriteOutcome::written);
            EXPECT_EQ(read_all(fd), "0123456789");
        }
        EXPECT_EQ(read_all(fd), "0123456789");
    }
    ASSERT_EQ(lseek(fd, 2, SEEK_SET), 2);
    StandardOutput out(fd);
    ASSERT_EQ(out.begin(std::nullopt, {}), WriteOutcome::written);
    ASSERT_EQ(out.write(as_byte_view("ab"), {}), WriteOutcome::written);
    ASSERT_EQ(out.end({}), WriteOutcome::written);
    EXPECT_EQ(read_all(fd), "01ab456789");
    close(fd);
}

}  // namespace
}  // namespace korvalith::cli
