// The -o file: a new file and a file with one link are replaced by a file
// made beside them, given the old one's mode, and nothing is left when the
// run fails (also through a symbolic link, which stays); a file with two
// links keeps its old contents until the staged result is committed in
// place, or, empty, takes it straight in and is emptied again on failure;
// a stop before the commit changes nothing; the lock makes a second writer
// wait, which it says once.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "cli/files/output_file.hpp"

namespace korvalith::cli {
namespace {

class CliOutputFile : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/korvalith-output-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        directory_ = name;
        target_ = directory_ + "/out";
    }
    void TearDown() override { std::filesystem::remove_all(directory_); }

    void put(const std::string& contents, const std::string& name = {}) const {
        std::ofstream(name.empty() ? target_ : name, std::ios::binary) << contents;
    }
    std::string contents(const std::string& name = {}) const {
        std::ifstream file(name.empty() ? target_ : name, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), {}};
    }
    bool exists(const std::string& name = {}) const { return std::filesystem::exists(name.empty() ? target_ : name); }
    ino_t inode() const {
        struct stat status {};
        EXPECT_EQ(stat(target_.c_str(), &status), 0);
        return status.st_ino;
    }

    std::string directory_;
    std::string target_;
};

WriteOutcome write_whole(OutputFile& file, const std::string& bytes) {
    WriteOutcome outcome = file.begin(bytes.size(), {});
    if (outcome == WriteOutcome::written) outcome = file.write(as_byte_view(bytes), {});
    if (outcome == WriteOutcome::written) outcome = file.end({});
    return outcome;
}

TEST_F(CliOutputFile, FileWithTwoLinksIsRewrittenInPlaceOnlyAtTheCommit) {
    // Beyond a small memory bound the result is staged in a file; either way
    // the old contents stay until the end, and the same file (not a new one
    // in its place) takes the result, cut to its length.
    put("");
    ASSERT_EQ(link(target_.c_str(), (directory_ + "/other").c_str()), 0);
    for (std::size_t memory : {std::size_t{1} << 20, std::size_t{16}}) {
        put("the old, much longer contents");
        const ino_t before = inode();
        {
            OutputFile file(target_, std::nullopt, memory);
            ASSERT_EQ(file.begin(std::nullopt, {}), WriteOutcome::written);
            EXPECT_FALSE(file.written_straight_in());
            ASSERT_EQ(file.write(as_byte_view("new, "), {}), WriteOutcome::written);
            ASSERT_EQ(file.write(as_byte_view("and more than sixteen bytes"), {}), WriteOutcome::written);
            EXPECT_EQ(contents(), "the old, much longer contents");
            ASSERT_EQ(file.end({}), WriteOutcome::written);
        }
        EXPECT_EQ(contents(), "new, and more than sixteen bytes");
        EXPECT_EQ(inode(), before);
        // A run that fails before its end leaves the old contents.
        {
            OutputFile file(target_, std::nullopt, memory);
            ASSERT_EQ(file.begin(std::nullopt, {}), WriteOutcome::written);
            ASSERT_EQ(file.write(as_byte_view(std::string(100, 'x')), {}), WriteOutcome::written);
        }
        EXPECT_EQ(contents(), "new, and more than sixteen bytes");
    }
}

TEST_F(CliOutputFile, NewOrSingleLinkedFileIsReplacedAtTheEnd) {
    const std::string link = directory_ + "/link";
    const std::string led_to = directory_ + "/sub/led-to";
    std::filesystem::create_directory(directory_ + "/sub");
    const auto names = [&] {
        std::size_t count = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(directory_)) count += entry.exists();
        return count;
    };
    for (int kind = 0; kind < 4; ++kind) {
        // New, empty, holding something, and new where a relative symbolic
        // link to nothing leads.
        std::string name = target_;
        if (kind == 1 || kind == 2) {
            put(kind == 1 ? "" : "old");
            ASSERT_EQ(chmod(target_.c_str(), 0640), 0);
        }
        if (kind == 3) {
            std::filesystem::create_symlink("sub/led-to", link);
            name = link;
        }
        const std::string before = exists(target_) ? contents() : "absent";
        const std::size_t listed = names();
        {
            OutputFile file(name);
            ASSERT_EQ(file.begin(std::nullopt, {}), WriteOutcome::written);
            EXPECT_TRUE(file.replaces());
            ASSERT_EQ(file.write(as_byte_view("partial"), {}), WriteOutcome::written);
            EXPECT_EQ(exists(target_) ? contents() : "absent", before);
            EXPECT_EQ(names(), listed);  // the file beside has no name
        }
        EXPECT_EQ(exists(target_) ? contents() : "absent", before);
        EXPECT_EQ(names(), listed);
        OutputFile file(name);
        EXPECT_EQ(write_whole(file, "whole"), WriteOutcome::written);
        EXPECT_EQ(contents(kind == 3 ? led_to : target_), "whole");
        if (kind == 1 || kind == 2) {
            struct stat status {};
            ASSERT_EQ(stat(target_.c_str(), &status), 0);
            EXPECT_EQ(status.st_mode & 07777, 0640u);
        }
        EXPECT_EQ(std::filesystem::is_symlink(link), kind == 3);
        std::filesystem::remove(target_);
        std::filesystem::remove(led_to);
        std::filesystem::remove(link);
    }
}

TEST_F(CliOutputFile, EmptyFileWithTwoLinksTakesTheResultStraightInAndBackOnFailure) {
    put("");
    ASSERT_EQ(link(target_.c_str(), (directory_ + "/other").c_str()), 0);
    {
        OutputFile file(target_);
        ASSERT_EQ(file.begin(std::nullopt, {}), WriteOutcome::written);
        EXPECT_TRUE(file.written_straight_in());
        ASSERT_EQ(file.write(as_byte_view("partial"), {}), WriteOutcome::written);
        EXPECT_EQ(contents(), "partial");
    }
    EXPECT_EQ(contents(), "");
    OutputFile file(target_);
    EXPECT_EQ(write_whole(file, "whole"), WriteOutcome::written);
    EXPECT_EQ(contents(directory_ + "/other"), "whole");
}

TEST_F(CliOutputFile, SizeBeyondTheFileSizeLimitLeavesTheOldContents) {
    std::signal(SIGXFSZ, SIG_IGN);
    put("old contents");
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit limited = saved;
    limited.rlim_cur = 4;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    OutputFile file(target_);
    const WriteOutcome outcome = write_whole(file, "too long");
    OutputFile fresh(directory_ + "/new");
    const WriteOutcome fresh_outcome = write_whole(fresh, "too long");
    // Written straight in, a new file meets the limit at its write.
    OutputFile unknown(directory_ + "/unknown");
    WriteOutcome unknown_outcome = unknown.begin(std::nullopt, {});
    if (unknown_outcome == WriteOutcome::written) unknown_outcome = unknown.write(as_byte_view("too long"), {});
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
    EXPECT_EQ(outcome, WriteOutcome::failed);
    EXPECT_EQ(contents(), "old contents");
    EXPECT_EQ(fresh_outcome, WriteOutcome::failed);
    EXPECT_FALSE(exists(directory_ + "/new"));
    EXPECT_EQ(unknown_outcome, WriteOutcome::failed);
}

// Asked to stop at the second check and later.
int checks;
bool on_second_check() { return ++checks > 1; }

TEST_F(CliOutputFile, StopBeforeTheCommitChangesNothing) {
    for (bool existing : {true, false}) {
        if (existing) put("old");
        checks = 0;
        {
            OutputFile file(target_);
            EXPECT_EQ(file.begin(1 << 20, Interruption(on_second_check)), WriteOutcome::interrupted);
        }
        EXPECT_EQ(exists(), existing);
        if (existing) {
            EXPECT_EQ(contents(), "old");
        }
        // Stopped after the last byte: the file is as it was.
        checks = 0;
        {
            OutputFile file(target_);
            ASSERT_EQ(file.begin(std::nullopt, {}), WriteOutcome::written);
            ASSERT_EQ(file.write(as_byte_view("abc"), {}), WriteOutcome::written);
            EXPECT_EQ(file.end(Interruption(on_second_check)), WriteOutcome::written);
        }
        checks = 1;
        {
            OutputFile file(target_);
            ASSERT_EQ(file.begin(std::nullopt, {}), WriteOutcome::written);
            ASSERT_EQ(file.write(as_byte_view("def"), {}), WriteOutcome::written);
            EXPECT_EQ(file.end(Interruption(on_second_check)), WriteOutcome::interrupted);
        }
        EXPECT_EQ(contents(), "abc");
        std::filesystem::remove(target_);
    }
}

TEST_F(CliOutputFile, AnotherWritersLockIsWaitedFor) {
    // While another holds the file's lock, an empty file with two links is
    // not written straight in, and a commit or a replacement does not
    // begin: a stop meanwhile leaves the file to the other writer. The wait
    // is told once.
    for (const std::string& old : {std::string(), std::string("old"), std::string("single")}) {
        put(old);
        if (old != "single" && !exists(directory_ + "/other")) {
            ASSERT_EQ(link(target_.c_str(), (directory_ + "/other").c_str()), 0);
        }
        if (old == "single") std::filesystem::remove(directory_ + "/other");
        const int holder = open(target_.c_str(), O_WRONLY);
        ASSERT_GE(holder, 0);
        ASSERT_EQ(flock(holder, LOCK_EX), 0);
        // The lock is waited for with SIGALRM's interruptions.
        struct sigaction action {};
        action.sa_handler = +[](int) {};
        ASSERT_EQ(sigaction(SIGALRM, &action, nullptr), 0);
        checks = 0;
        OutputFile file(target_);
        int told = 0;
        file.when_waiting([&] { ++told; });
        WriteOutcome outcome = WriteOutcome::written;
        ualarm(20000, 20000);
        if (old.empty()) {
            outcome = file.begin(std::nullopt, Interruption(on_second_check));
        } else {
            ASSERT_EQ(file.begin(std::nullopt, {}), WriteOutcome::written);
            ASSERT_EQ(file.write(as_byte_view("new"), {}), WriteOutcome::written);
            outcome = file.end(Interruption(on_second_check));
        }
        ualarm(0, 0);
        EXPECT_EQ(outcome, WriteOutcome::interrupted);
        EXPECT_EQ(told, 1);
        EXPECT_EQ(contents(), old);
        EXPECT_TRUE(exists());
        close(holder);
    }
}

}  // namespace
}  // namespace korvalith::cli
