// The -o file written in place: its old contents survive a size beyond the
// file-size limit and a stop asked for before the first byte, a new file is
// removed again, and the end cuts the file to the result.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "cli/output_file.hpp"

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

    void put(const std::string& contents) const { std::ofstream(target_, std::ios::binary) << contents; }
    std::string contents() const {
        std::ifstream file(target_, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), {}};
    }
    bool exists() const { return std::filesystem::exists(target_); }

    std::string directory_;
    std::string target_;
};

WriteOutcome write_whole(OutputFile& file, const std::string& bytes) {
    WriteOutcome outcome = file.begin(bytes.size(), {});
    if (outcome == WriteOutcome::written) outcome = file.write(as_byte_view(bytes), {});
    if (outcome == WriteOutcome::written) outcome = file.end({});
    return outcome;
}

TEST_F(CliOutputFile, WritesInPlaceAndCutsToTheResult) {
    put("the old, much longer contents");
    struct stat before {};
    ASSERT_EQ(stat(target_.c_str(), &before), 0);
    OutputFile file(target_);
    EXPECT_EQ(write_whole(file, "new"), WriteOutcome::written);
    EXPECT_EQ(contents(), "new");
    struct stat after {};
    ASSERT_EQ(stat(target_.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);  // the same file, not a new one in its place
    OutputFile longer(target_);
    EXPECT_EQ(write_whole(longer, std::string(100000, 'x')), WriteOutcome::written);
    EXPECT_EQ(contents(), std::string(100000, 'x'));
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
    const WriteOutcome outcome = file.begin(12, {});
    OutputFile fresh(directory_ + "/new");
    const WriteOutcome fresh_outcome = write_whole(fresh, "too long");
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
    EXPECT_EQ(outcome, WriteOutcome::failed);
    EXPECT_EQ(contents(), "old contents");
    EXPECT_EQ(fresh_outcome, WriteOutcome::failed);
    EXPECT_FALSE(std::filesystem::exists(directory_ + "/new"));
}

TEST_F(CliOutputFile, StopBeforeTheFirstByteChangesNothing) {
    // Asked to stop once the file is open and its room reserved.
    static int checks;
    const Interruption on_second_check(+[] { return ++checks > 1; });
    for (bool existing : {true, false}) {
        if (existing) put("old");
        checks = 0;
        {
            OutputFile file(target_);
            EXPECT_EQ(file.begin(1 << 20, on_second_check), WriteOutcome::interrupted);
        }
        EXPECT_EQ(exists(), existing);
        // An existing file keeps the size it had, not the reserved one.
        if (existing) {
            EXPECT_EQ(contents(), "old");
        }
        std::filesystem::remove(target_);
    }
    // A file left before its end is removed when it was new.
    {
        OutputFile file(target_);
        EXPECT_EQ(file.begin(3, {}), WriteOutcome::written);
        EXPECT_EQ(file.write(as_byte_view("abc"), {}), WriteOutcome::written);
    }
    EXPECT_FALSE(exists());
}

}  // namespace
}  // namespace korvalith::cli
