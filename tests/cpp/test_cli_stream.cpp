// Inputs in chunks against the whole input at once: every action of the
// action table over inputs whose sizes fall around small chunks, valid ones
// and ones that fail in their last chunk, must give the same bytes or the
// same failure as the whole-buffer path, in two passes over a file and in
// one pass over a file or a pipe; a file that changes between the passes
// or during the one pass fails as a read; a file whose size lies is told
// apart at the check pass.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "cli/command/actions.hpp"
#include "cli/command/arguments.hpp"
#include "cli/command/build_cli.hpp"
#include "cli/command/command_tree.hpp"
#include "cli/parse/parser.hpp"
#include "cli/stream/one_pass.hpp"
#include "cli/stream/text_check.hpp"
#include "cli/stream/two_pass.hpp"
#include "common/utf8.hpp"
#include "encodings/base32.hpp"
#include "encodings/base64.hpp"

namespace korvalith::cli {
namespace {

// A sink that keeps what it is given, and holds the engines to the order
// begin, write..., end.
struct Capture final : ResultSink {
    std::string bytes;
    std::optional<std::uint64_t> announced;
    bool begun = false;
    bool ended = false;
    WriteOutcome begin(std::optional<std::uint64_t> size, const Interruption&) override {
        EXPECT_FALSE(begun);
        begun = true;
        announced = size;
        return WriteOutcome::written;
    }
    WriteOutcome write(ByteView piece, const Interruption&) override {
        EXPECT_TRUE(begun && !ended);
        bytes += as_string_view(piece);
        return WriteOutcome::written;
    }
    WriteOutcome end(const Interruption&) override {
        EXPECT_TRUE(begun && !ended);
        ended = true;
        return WriteOutcome::written;
    }
};

// What a run came to: the result's bytes, or the failure's kind and message.
struct Result {
    std::optional<std::string> bytes;
    StreamFailure::Kind kind = StreamFailure::Kind::read;
    std::string message;
    bool operator==(const Result&) const = default;
};

void PrintTo(const Result& result, std::ostream* os) {
    if (result.bytes) {
        *os << "bytes " << ::testing::PrintToString(*result.bytes);
    } else {
        *os << "failure " << static_cast<int>(result.kind) << " " << result.message;
    }
}

Result failed(const StreamFailure& failure) { return {std::nullopt, failure.kind, failure.core_error.message}; }

StreamChecks checks_of(const ActionDeclaration& action, bool to_standard_output) {
    return {.input_must_be_text = action.input == InputKind::text,
            .result_must_be_text = action.result == ResultKind::binary && to_standard_output};
}

// The whole-buffer path: the input checked as text, the core run at once,
// the result checked as text.
Result whole(const ActionDeclaration& action, const Matches& matches, const std::string& input, StreamChecks checks) {
    if (checks.input_must_be_text && !is_valid_utf8(as_byte_view(input))) {
        return {std::nullopt, StreamFailure::Kind::input_not_text, ""};
    }
    auto result = run_whole(*action.core(matches), as_byte_view(input));
    if (!result) return {std::nullopt, StreamFailure::Kind::core, result.error().message};
    if (checks.result_must_be_text && !is_valid_utf8(result->view())) {
        return {std::nullopt, StreamFailure::Kind::result_not_text, ""};
    }
    return {std::string(result->text()), {}, {}};
}

// The input file in chunks of `chunk` bytes: the check pass, then the write
// pass.
Result two_passes(const ActionDeclaration& action, const Matches& matches, const std::string& file,
                  StreamChecks checks, std::size_t chunk, std::uint64_t threaded_from) {
    auto input = InputFile::open(file, {});
    EXPECT_TRUE(input.has_value());
    ChunkedCorePtr core = action.core(matches);
    auto stream = ChunkedStream::make(*input, *core, checks, chunk, threaded_from);
    EXPECT_TRUE(stream.has_value());
    auto size = stream->check({});
    if (!size) return failed(size.error());
    Capture capture;
    if (auto written = stream->write(capture, *size, {}); !written) return failed(written.error());
    EXPECT_EQ(capture.announced, std::optional<std::uint64_t>(capture.bytes.size()));
    EXPECT_TRUE(capture.ended);
    return {capture.bytes, {}, {}};
}

// The input read once, in chunks of `chunk` bytes, from a file or a pipe.
Result one_pass(const ActionDeclaration& action, const Matches& matches, InputFile& input, const OnePass& options) {
    Capture capture;
    ChunkedCorePtr core = action.core(matches);
    if (auto written = run_one_pass(input, *core, capture, options, {}); !written) {
        // Nothing reached the sink, or the sink was never ended: it takes
        // back what it had.
        EXPECT_FALSE(capture.ended);
        return failed(written.error());
    }
    EXPECT_TRUE(capture.ended);
    return {capture.bytes, {}, {}};
}

class CliStream : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/korvalith-stream-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        directory_ = name;
    }
    void TearDown() override { std::filesystem::remove_all(directory_); }

    std::string write(const std::string& contents) const {
        const std::string name = directory_ + "/input";
        std::ofstream(name, std::ios::binary | std::ios::trunc) << contents;
        return name;
    }

    static Matches matches_of(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"korvalith"});
        ParseResult parsed = parse_arguments(build_cli(), arguments);
        EXPECT_TRUE(parsed.has_value());
        return parsed ? std::move(*parsed) : Matches{};
    }

    std::string directory_;
};

std::string random_text(std::mt19937& random, std::size_t size, std::string_view alphabet) {
    std::string text(size, ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    return text;
}

std::string encoded(std::string_view group, const std::string& bytes) {
    auto text = group == "base32" ? base32_encode(as_byte_view(bytes)) : base64_encode(as_byte_view(bytes));
    return std::string(text->text());
}

// The inputs an action is run over: valid ones of `size` bytes or so, and
// ones that fail only in their last bytes.
std::vector<std::string> inputs_for(const ActionDeclaration& action, std::mt19937& random, std::size_t size) {
    const std::string letters = random_text(random, size, "abcxyzABCXYZ ,.\n");
    if (action.result == ResultKind::encoded) return {random_text(random, size, std::string_view("\0\xff\x80zA=", 6))};
    if (action.input == InputKind::encoded) {
        const std::string text = encoded(action.group, random_text(random, size * 3 / 4, "ab\xc3\xa9"));
        const std::string binary = encoded(action.group, random_text(random, size * 3 / 4, "ab\xff"));
        return {text,
                text + "#",                                       // an invalid character at the very end
                text.substr(0, text.size() / 2) + "=" + "#junk",  // nothing after "=" counts
                binary,                                           // not text: fine for a file only
                binary + "@"};                                    // the core's rejection wins over that
    }
    // Text: letters and, for the shift ciphers, characters split anywhere.
    const bool ascii_only = action.group == "vigenere";
    const std::string text = ascii_only ? letters : random_text(random, size, "ab \xc3\xa9\xe2\x82\xac");
    return {text, text + "\xe2\x82",  // a character cut off at the end
            text + "\xc3\xa9",        // not ASCII: Vigenère rejects it
            "\xc3\xa9" + text + "\xff"};  // text is judged before the core
}

bool declares(const ActionDeclaration& action, const Argument& wanted) {
    for (const Argument& argument : action.arguments) {
        if (argument.id == wanted.id) return true;
    }
    return false;
}

// The command lines an action is run with: its values, and each flag it
// declares; a bad key too, which the text must be judged before.
std::vector<std::vector<std::string>> command_lines(const ActionDeclaration& action) {
    std::vector<std::string> base = {std::string(action.group), std::string(action.name), "-s", "unused"};
    std::vector<std::vector<std::string>> lines;
    if (declares(action, SHIFT.argument)) {
        for (const char* shift : {"-3", "11"}) {
            lines.push_back(base);
            lines.back().insert(lines.back().end(), {"--", shift});
        }
    } else if (declares(action, KEY.argument)) {
        for (const char* key : {"lemon", "LeMoN", "k3y"}) {
            lines.push_back(base);
            lines.back().push_back(key);
        }
    } else {
        lines.push_back(base);
    }
    if (declares(action, SKIP_NON_ALPHA.argument)) {
        for (std::size_t i = 0, count = lines.size(); i < count; ++i) {
            lines.push_back(lines[i]);
            lines.back().insert(lines.back().begin() + 2, "-k");
        }
    }
    return lines;
}

TEST_F(CliStream, EveryActionGivesWhatTheWholeInputGives) {
    std::mt19937 random(21);
    for (const ActionDeclaration& action : actions()) {
        for (const std::vector<std::string>& command : command_lines(action)) {
            const Matches matches = matches_of(command);
            for (std::size_t size : {1, 7, 39, 40, 41, 81, 200}) {
                for (const std::string& input : inputs_for(action, random, size)) {
                    if (input.empty()) continue;  // a file that announces no size is read whole
                    const std::string file = write(input);
                    for (bool to_standard_output : {true, false}) {
                        const StreamChecks checks = checks_of(action, to_standard_output);
                        const Result expected = whole(action, matches, input, checks);
                        for (std::size_t chunk : {8, 40, 64}) {
                            // Read by this thread alone, and with a second.
                            for (std::uint64_t threaded_from : {UINT64_MAX, std::uint64_t{0}}) {
                                const auto context = [&](const char* engine) {
                                    return ::testing::PrintToString(command) + " over " +
                                           ::testing::PrintToString(input) + " in chunks of " +
                                           std::to_string(chunk) + (to_standard_output ? " to standard output" : "") +
                                           (threaded_from == 0 ? ", two threads, " : ", ") + engine;
                                };
                                EXPECT_EQ(two_passes(action, matches, file, checks, chunk, threaded_from), expected)
                                    << context("two passes");
                                auto opened = InputFile::open(file, {});
                                ASSERT_TRUE(opened.has_value());
                                const OnePass options{
                                    .checks = checks, .chunk_size = chunk, .threaded_from = threaded_from};
                                EXPECT_EQ(one_pass(action, matches, *opened, options), expected)
                                    << context("one pass");
                            }
                        }
                    }
                }
            }
        }
    }
}

// Sets the file's time of last change a day back, so that a change made in
// the same clock tick as its writing still shows.
void age(const std::string& file) {
    struct timespec times[2] = {{.tv_sec = 0, .tv_nsec = UTIME_OMIT}, {}};
    ASSERT_EQ(clock_gettime(CLOCK_REALTIME, &times[1]), 0);
    times[1].tv_sec -= 86400;
    ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
}

TEST_F(CliStream, FileThatChangesBetweenThePassesFailsAsARead) {
    // Invalid, shorter, stopping earlier, longer, and (for rot13) no longer
    // text at the same size: each is found by the write pass.
    using Case = std::pair<std::vector<std::string>, std::vector<std::string>>;
    for (const auto& [command, contents] :
         {Case{{"base64", "decode"}, {"aGVsbG8gd29ybGQ=", "aGVsbG8g#29ybGQ=", "aGVsbG8gd29y", "aG=sbG8gd29ybGQ=",
                                      "aGVsbG8gd29ybGQ=aGVs"}},
          Case{{"rot13", "rotate"}, {"hello, w\xc3\xa9rld", "hello, w\xc3\xc3rld", "hello, w\xc3\xa9rld!"}}}) {
        const ActionDeclaration& action = *find_action(command[0], command[1]);
        const Matches matches = matches_of({command[0], command[1], "-s", "unused"});
        for (std::size_t changed = 1; changed < contents.size(); ++changed) {
            for (std::uint64_t threaded_from : {UINT64_MAX, std::uint64_t{0}}) {
                const std::string file = write(contents[0]);
                age(file);
                auto input = InputFile::open(file, {});
                ASSERT_TRUE(input.has_value());
                ChunkedCorePtr core = action.core(matches);
                auto stream = ChunkedStream::make(*input, *core, checks_of(action, true), 8, threaded_from);
                ASSERT_TRUE(stream.has_value());
                auto size = stream->check({});
                ASSERT_TRUE(size.has_value());
                write(contents[changed]);
                Capture capture;
                auto written = stream->write(capture, *size, {});
                ASSERT_FALSE(written.has_value()) << contents[changed];
                EXPECT_EQ(written.error().kind, StreamFailure::Kind::read);
                EXPECT_EQ(written.error().read.kind, ReadFailure::Kind::unreadable);
            }
        }
    }
}

TEST_F(CliStream, FileWhoseSizeDoesNotHoldIsToldApartAtTheCheck) {
    // Shorter or longer than it announced when it was opened, as a file of
    // /sys is: the check pass says so, rather than that it cannot be read.
    const ActionDeclaration& action = *find_action("rot13", "rotate");
    const Matches matches = matches_of({"rot13", "rotate", "-s", "unused"});
    for (const std::string& now : {std::string("short"), std::string(40, 'x')}) {
        for (std::size_t chunk : {8, 64}) {
            for (std::uint64_t threaded_from : {UINT64_MAX, std::uint64_t{0}}) {
                const std::string file = write(std::string(20, 'a'));
                auto input = InputFile::open(file, {});
                ASSERT_TRUE(input.has_value());
                write(now);
                ChunkedCorePtr core = action.core(matches);
                auto stream = ChunkedStream::make(*input, *core, checks_of(action, true), chunk, threaded_from);
                ASSERT_TRUE(stream.has_value());
                auto size = stream->check({});
                ASSERT_FALSE(size.has_value());
                EXPECT_EQ(size.error().read.kind, ReadFailure::Kind::size_differs) << now << " " << chunk;
            }
        }
    }
}

// A sink that rewrites the input file when it is given the first bytes.
struct ChangingTheInput final : ResultSink {
    std::string file;
    std::string contents;
    WriteOutcome begin(std::optional<std::uint64_t>, const Interruption&) override { return WriteOutcome::written; }
    WriteOutcome write(ByteView, const Interruption&) override {
        if (!contents.empty()) {
            std::ofstream(file, std::ios::binary | std::ios::in | std::ios::out) << contents;
            contents.clear();
        }
        return WriteOutcome::written;
    }
    WriteOutcome end(const Interruption&) override {
        ADD_FAILURE() << "a result from a file that changed was completed";
        return WriteOutcome::written;
    }
};

TEST_F(CliStream, FileThatChangesDuringTheOnePassFailsAsARead) {
    // Overwritten at the same size (valid or not), or grown, while its
    // first chunk's result is written: never completed.
    const ActionDeclaration& action = *find_action("base64", "encode");
    const Matches matches = matches_of({"base64", "encode", "-s", "unused"});
    const std::string before(100, 'a');
    for (const std::string& after : {std::string(100, 'b'), std::string(130, 'a')}) {
        for (std::uint64_t threaded_from : {UINT64_MAX, std::uint64_t{0}}) {
            const std::string file = write(before);
            age(file);
            auto input = InputFile::open(file, {});
            ASSERT_TRUE(input.has_value());
            ChangingTheInput sink;
            sink.file = file;
            sink.contents = after;
            ChunkedCorePtr core = action.core(matches);
            auto written = run_one_pass(*input, *core, sink, {.chunk_size = 16, .threaded_from = threaded_from}, {});
            ASSERT_FALSE(written.has_value());
            EXPECT_EQ(written.error().kind, StreamFailure::Kind::read);
            EXPECT_EQ(written.error().read.kind, ReadFailure::Kind::unreadable);
        }
    }
}

TEST_F(CliStream, FileCheckedAsTextInTwoHalvesAsAWhole) {
    // Characters whole and cut, and stray bytes, at every place around the
    // middle, where the two halves meet.
    const std::string ascii(31, 'a');
    for (const std::string piece : {"\xc3\xa9", "\xe2\x82\xac", "\xf0\x9d\x84\x9e", "\xe2\x82", "\x82\x82", "\xff"}) {
        for (std::size_t at = 0; at <= ascii.size(); ++at) {
            std::string text = ascii;
            text.insert(at, piece);
            const std::string file = write(text);
            auto input = InputFile::open(file, {});
            ASSERT_TRUE(input.has_value());
            for (std::size_t chunk : {4, 7, 64}) {
                auto checked = file_is_text(*input, text.size(), chunk, {});
                ASSERT_TRUE(checked.has_value());
                ASSERT_TRUE(checked->has_value());
                EXPECT_EQ(**checked, is_valid_utf8(as_byte_view(text)))
                    << ::testing::PrintToString(text) << " in chunks of " << chunk;
            }
            // A file shorter than it announced differs in size, unless its
            // first half already is not text.
            auto shorter = file_is_text(*input, text.size() + 5, 4, {});
            ASSERT_TRUE(shorter.has_value());
            if (shorter->has_value()) {
                EXPECT_FALSE(**shorter) << ::testing::PrintToString(text);
            } else {
                EXPECT_EQ(shorter->error().kind, ReadFailure::Kind::size_differs);
            }
        }
    }
}

// One final "\n" or "\r\n" off the end: what a decoder reading standard
// input ignores.
std::string without_final_line_ending(std::string text) {
    if (text.empty() || text.back() != '\n') return text;
    text.pop_back();
    if (!text.empty() && text.back() == '\r') text.pop_back();
    return text;
}

// The input through a pipe, read once in chunks of `chunk` bytes.
Result piped(const ActionDeclaration& action, const Matches& matches, const std::string& input, const OnePass& options) {
    int ends[2];
    EXPECT_EQ(pipe(ends), 0);
    EXPECT_EQ(::write(ends[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    close(ends[1]);
    auto file = InputFile::borrow(ends[0]);
    EXPECT_TRUE(file.has_value());
    EXPECT_FALSE(file->rereadable());
    // The pipe was asked to hold more, so that its writer waits less often.
    EXPECT_GE(fcntl(ends[0], F_GETPIPE_SZ), 1 << 20);
    Result result = one_pass(action, matches, *file, options);
    close(ends[0]);
    return result;
}

TEST_F(CliStream, InputReadOnceFromAPipeGivesTheWholeResult) {
    std::mt19937 random(13);
    for (const ActionDeclaration& action : actions()) {
        const bool encoded_input = action.input == InputKind::encoded;
        for (const std::vector<std::string>& command : command_lines(action)) {
            const Matches matches = matches_of(command);
            for (std::size_t size : {0, 1, 7, 39, 40, 41, 81, 200}) {
                std::vector<std::string> inputs = inputs_for(action, random, size);
                if (encoded_input) {
                    // Line endings, which only standard input may end with,
                    // falling on either side of a chunk's end.
                    for (const char* ending : {"\n", "\r\n", "\r", "\n\n", "\n\r"}) {
                        inputs.push_back(inputs.front() + ending);
                    }
                }
                for (const std::string& input : inputs) {
                    for (bool to_standard_output : {true, false}) {
                        const StreamChecks checks = checks_of(action, to_standard_output);
                        for (bool ignored : {false, encoded_input}) {
                            const Result expected =
                                whole(action, matches, ignored ? without_final_line_ending(input) : input, checks);
                            for (std::size_t chunk : {8, 40, 64}) {
                                const OnePass options{
                                    .checks = checks, .final_line_ending_ignored = ignored, .chunk_size = chunk};
                                EXPECT_EQ(piped(action, matches, input, options), expected)
                                    << ::testing::PrintToString(command) << " over "
                                    << ::testing::PrintToString(input) << " in chunks of " << chunk
                                    << (to_standard_output ? " to standard output" : "")
                                    << (ignored ? ", final line ending ignored" : "");
                            }
                        }
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace korvalith::cli
