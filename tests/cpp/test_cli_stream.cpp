// Inputs in chunks against the whole input at once: every action of the
// action table over inputs whose sizes fall around small chunks, valid ones
// and ones that fail in their last chunk, must give the same bytes or the
// same failure as the whole-buffer path, in two passes over a file and in
// one pass over a pipe that holds the result; a file that changes between
// the passes fails as a read; an input read once streams through an
// encoder, or is held as a result in pages that grow as it comes.
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

#include "cli/actions.hpp"
#include "cli/arguments.hpp"
#include "cli/command_tree.hpp"
#include "cli/parser.hpp"
#include "cli/stream/held_result.hpp"
#include "cli/stream/text_check.hpp"
#include "cli/stream/two_pass.hpp"
#include "common/utf8.hpp"
#include "encodings/base32.hpp"
#include "encodings/base64.hpp"

namespace korvalith::cli {
namespace {

// A sink that keeps what it is given.
struct Capture final : ResultSink {
    std::string bytes;
    std::optional<std::uint64_t> announced;
    WriteOutcome begin(std::optional<std::uint64_t> size, const Interruption&) override {
        announced = size;
        return WriteOutcome::written;
    }
    WriteOutcome write(ByteView piece, const Interruption&) override {
        bytes += as_string_view(piece);
        return WriteOutcome::written;
    }
    WriteOutcome end(const Interruption&) override { return WriteOutcome::written; }
    bool completes_once_begun() const noexcept override { return false; }
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

// The input file in chunks of `chunk` bytes: the check pass if needed, then
// the write pass.
Result streamed(const ActionDeclaration& action, const Matches& matches, const std::string& file, StreamChecks checks,
                std::size_t chunk, std::uint64_t threaded_from) {
    auto input = InputFile::open(file, {});
    EXPECT_TRUE(input.has_value());
    auto stream = ChunkedStream::make(std::move(*input), action.core(matches), checks, chunk, threaded_from);
    EXPECT_TRUE(stream.has_value());
    std::optional<std::uint64_t> size = stream->size_without_check();
    if (stream->needs_check()) {
        auto checked = stream->check({});
        if (!checked) return failed(checked.error());
        size = *checked;
    }
    Capture capture;
    if (auto written = stream->write(capture, size, {}); !written) return failed(written.error());
    EXPECT_EQ(capture.announced, std::optional<std::uint64_t>(capture.bytes.size()));
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
                                EXPECT_EQ(streamed(action, matches, file, checks, chunk, threaded_from), expected)
                                    << ::testing::PrintToString(command) << " over "
                                    << ::testing::PrintToString(input) << " in chunks of " << chunk
                                    << (to_standard_output ? " to standard output" : "")
                                    << (threaded_from == 0 ? ", two threads" : "");
                            }
                        }
                    }
                }
            }
        }
    }
}

TEST_F(CliStream, FileThatChangesBetweenThePassesFailsAsARead) {
    const ActionDeclaration& action = *find_action("base64", "decode");
    const Matches matches = matches_of({"base64", "decode", "-s", "unused"});
    for (const std::string changed : {"aGVsbG8g#29ybGQ=", "aGVsbG8gd29y", "aG=sbG8gd29ybGQ="}) {
        for (std::uint64_t threaded_from : {UINT64_MAX, std::uint64_t{0}}) {
            const std::string file = write("aGVsbG8gd29ybGQ=");
            auto input = InputFile::open(file, {});
            ASSERT_TRUE(input.has_value());
            auto stream =
                ChunkedStream::make(std::move(*input), action.core(matches), checks_of(action, true), 8, threaded_from);
            ASSERT_TRUE(stream.has_value());
            auto size = stream->check({});
            ASSERT_TRUE(size.has_value());
            ASSERT_EQ(*size, 11u);
            write(changed);  // invalid, shorter, or stopping earlier
            Capture capture;
            auto written = stream->write(capture, *size, {});
            ASSERT_FALSE(written.has_value()) << changed;
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
            // A file shorter than it was is unreadable, unless its first
            // half already is not text.
            auto shorter = file_is_text(*input, text.size() + 5, 4, {});
            ASSERT_TRUE(shorter.has_value());
            if (shorter->has_value()) {
                EXPECT_FALSE(**shorter) << ::testing::PrintToString(text);
            } else {
                EXPECT_EQ(shorter->error().kind, ReadFailure::Kind::unreadable);
            }
        }
    }
}

TEST_F(CliStream, InputReadOnceStreamsThroughAnEncoder) {
    const ActionDeclaration& action = *find_action("base32", "encode");
    const Matches matches = matches_of({"base32", "encode", "-s", "unused"});
    std::mt19937 random(7);
    const std::string data = random_text(random, 20000, std::string_view("\0\x01\xfe\xff", 4));
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    ASSERT_EQ(::write(ends[1], data.data(), data.size()), static_cast<ssize_t>(data.size()));
    close(ends[1]);
    auto input = InputFile::borrow(ends[0]);
    ASSERT_TRUE(input.has_value());
    EXPECT_FALSE(input->rereadable());
    auto stream = ChunkedStream::make(std::move(*input), action.core(matches), checks_of(action, true), 999);
    ASSERT_TRUE(stream.has_value());
    EXPECT_FALSE(stream->needs_check());
    EXPECT_EQ(stream->size_without_check(), std::nullopt);
    Capture capture;
    EXPECT_TRUE(stream->write(capture, std::nullopt, {}).has_value());
    close(ends[0]);
    EXPECT_EQ(capture.bytes, encoded("base32", data));
}

// One final "\n" or "\r\n" off the end: what a decoder reading standard
// input ignores.
std::string without_final_line_ending(std::string text) {
    if (text.empty() || text.back() != '\n') return text;
    text.pop_back();
    if (!text.empty() && text.back() == '\r') text.pop_back();
    return text;
}

// The input through a pipe, read once in chunks of `chunk` bytes with the
// result held whole.
Result held(const ActionDeclaration& action, const Matches& matches, const std::string& input, StreamChecks checks,
            bool final_line_ending_ignored, std::size_t chunk) {
    int ends[2];
    EXPECT_EQ(pipe(ends), 0);
    EXPECT_EQ(::write(ends[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    close(ends[1]);
    auto file = InputFile::borrow(ends[0]);
    EXPECT_TRUE(file.has_value());
    auto result = hold_result(*file, *action.core(matches), checks, final_line_ending_ignored, {}, chunk);
    close(ends[0]);
    if (!result) return failed(result.error());
    return {std::string(as_string_view(result->view())), {}, {}};
}

TEST_F(CliStream, ResultHeldFromAnInputReadOnceIsTheWholeResult) {
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
                                EXPECT_EQ(held(action, matches, input, checks, ignored, chunk), expected)
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

TEST_F(CliStream, PipeHeldWholeInPagesThatGrow) {
    // A result larger than the room it starts with, and past the size from
    // which huge pages are asked for, so that the room grows many times.
    std::mt19937 random(3);
    std::string data(15 << 20, '\0');
    for (char& c : data) c = static_cast<char>(random());
    const std::string text = encoded("base64", data) + "\r\n";
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    auto input = InputFile::borrow(ends[0]);
    ASSERT_TRUE(input.has_value());
    // The pipe was asked to hold more, so that its writer waits less often.
    EXPECT_GE(fcntl(ends[0], F_GETPIPE_SZ), 1 << 20);
    std::thread writer([&] {
        for (std::size_t at = 0; at < text.size();) {
            const ssize_t count = ::write(ends[1], text.data() + at, text.size() - at);
            if (count <= 0) break;
            at += static_cast<std::size_t>(count);
        }
        close(ends[1]);
    });
    auto held = hold_result(*input, *base64_decoder_core(), {}, true, {});
    writer.join();
    close(ends[0]);
    ASSERT_TRUE(held.has_value());
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(held->data()) % 4096, 0u);
    ASSERT_EQ(held->size(), data.size());
    EXPECT_EQ(std::memcmp(held->data(), data.data(), data.size()), 0);
}

}  // namespace
}  // namespace korvalith::cli
