// The dispatcher in-process: what each action comes to (the line to print, or
// a failure's kind and message), files and standard input through a supplied
// descriptor; then the run over an argument vector, which alone writes
// reports and decides the status, with its standard output and error
// captured; and the end of the process.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "cli/command/arguments.hpp"
#include "cli/command/build_cli.hpp"
#include "cli/command/command_tree.hpp"
#include "cli/parse/parser.hpp"
#include "cli/run/dispatch.hpp"
#include "cli/run/reports.hpp"
#include "cli/run/run_cli.hpp"

namespace korvalith::cli {
namespace {

const char* const ERROR_REPORT_END = "\n\nUsage: Korvalith <COMMAND>\n\nFor more information, try '--help'.\n";

class CliDispatch : public ::testing::Test {
protected:
    void SetUp() override {
        // Colour off for both channels, decided before any output.
        setenv("NO_COLOR", "1", 1);
        std::signal(SIGPIPE, SIG_IGN);
        char name[] = "/tmp/korvalith-dispatch-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        directory_ = name;
    }
    void TearDown() override {
        for (int fd : descriptors_) close(fd);
        std::filesystem::remove_all(directory_);
    }

    std::string path(const std::string& name) const { return directory_ + "/" + name; }

    std::string write(const std::string& name, const std::string& contents) const {
        std::ofstream(path(name), std::ios::binary) << contents;
        return path(name);
    }

    std::string read(const std::string& name) const {
        std::ifstream file(path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(file), {}};
    }

    // The outcome of the command line "korvalith ARGUMENTS...".
    static Outcome dispatched(std::vector<std::string> arguments, const RunContext& context = {}) {
        arguments.insert(arguments.begin(), "korvalith");
        ParseResult parsed = parse_arguments(build_cli(), arguments);
        if (!parsed) {
            ADD_FAILURE() << parsed.error().render(false);
            return std::unexpected(Failure{});
        }
        return dispatch(*parsed, context);
    }

    // A result made while it is printed, printed into a file: the text
    // printed, or the failure of the printing.
    static std::expected<std::string, Failure> print(PendingResult& pending, const Interruption& interruption = {}) {
        std::FILE* file = std::tmpfile();
        const auto written = pending.print({.fd = fileno(file), .coloured = false}, interruption);
        std::string text;
        char chunk[4096];
        for (ssize_t n, at = 0; (n = pread(fileno(file), chunk, sizeof chunk, at)) > 0; at += n) text.append(chunk, n);
        std::fclose(file);
        if (!written) {
            EXPECT_EQ(text, "") << "a failed printing leaves what it printed";
            return std::unexpected(written.error());
        }
        return text;
    }

    // The line a successful outcome prints, without its line break: the
    // result held whole, the message, or the result made while it is printed.
    static std::string printed(Outcome& outcome) {
        if (!outcome) {
            ADD_FAILURE() << outcome.error().message;
            return {};
        }
        if (!outcome->pending) return std::string(outcome->line());
        auto text = print(*outcome->pending);
        if (!text) {
            ADD_FAILURE() << text.error().message;
            return {};
        }
        EXPECT_TRUE(text->ends_with('\n'));
        if (!text->empty()) text->pop_back();
        return *text;
    }

    // The failure of a run, which may come while its result is printed.
    static void expect_failure(Outcome outcome, FailKind kind, const std::string& message, int status,
                               const Interruption& interruption = {}) {
        if (outcome && outcome->pending) {
            auto text = print(*outcome->pending, interruption);
            ASSERT_FALSE(text.has_value()) << *text;
            outcome = std::unexpected(text.error());
        }
        ASSERT_FALSE(outcome.has_value()) << outcome->line();
        EXPECT_EQ(outcome.error().kind, kind) << outcome.error().message;
        EXPECT_EQ(outcome.error().message, message);
        EXPECT_EQ(status_of(outcome.error().kind), status);
    }

    // A descriptor to read from, holding `contents` (a pipe, so it is no
    // regular file). Closed at the end of the test.
    int stream_of(const std::string& contents) {
        int ends[2];
        EXPECT_EQ(pipe(ends), 0);
        EXPECT_EQ(::write(ends[1], contents.data(), contents.size()), static_cast<ssize_t>(contents.size()));
        close(ends[1]);
        descriptors_.push_back(ends[0]);
        return ends[0];
    }

    std::string directory_;
    std::vector<int> descriptors_;
};

TEST_F(CliDispatch, ResultIsTheLineForStandardOutput) {
    using Case = std::pair<std::vector<std::string>, std::string>;
    for (const auto& [arguments, line] : {Case{{"caesar", "encrypt", "-s", "hello", "3"}, "khoor"},
                                          Case{{"caesar", "decrypt", "-s", "--", "xyz", "-25"}, "wxy"},
                                          Case{{"rot13", "encrypt", "-s", "abc"}, "nop"},
                                          Case{{"caesar", "encrypt", "-s", "--", "abc", "-3"}, "xyz"},
                                          // Without -k every character uses up a key letter.
                                          Case{{"vigenere", "encrypt", "-s", "a b", "bcd"}, "b e"},
                                          Case{{"vigenere", "encrypt", "-s", "-k", "a b", "bcd"}, "b d"},
                                          Case{{"vigenere", "encrypt", "-sk", "a b", "bcd"}, "b d"},
                                          Case{{"base32", "encode", "-s", "hi"}, "NBUQ===="},
                                          Case{{"base64", "decode", "-s", "aGk="}, "hi"}}) {
        const Outcome outcome = dispatched(arguments);
        ASSERT_TRUE(outcome.has_value()) << outcome.error().message;
        EXPECT_EQ(outcome->line(), line);
    }
}

TEST_F(CliDispatch, OutputFileAndTheMessageNamingIt) {
    const std::string target = path("out.txt");
    Outcome outcome = dispatched({"base32", "encode", "-s", "hi", "-o", target});
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->line(), "Successfully wrote data to " + target);
    EXPECT_EQ(read("out.txt"), "NBUQ====");
    // Binary results may go to a file; a name is shown with its controls escaped.
    outcome = dispatched({"base64", "decode", "-s", "//4=", "-o", path("bin\x1b")});
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->line(), "Successfully wrote data to " + path("bin\\x1b"));
    EXPECT_EQ(read("bin\x1b"), "\xff\xfe");
}

TEST_F(CliDispatch, EachFailureKindWithItsMessageAndStatus) {
    expect_failure(dispatched({"caesar", "encrypt", path("missing.txt"), "3"}), FailKind::input_output,
                   "Could not read file: " + path("missing.txt"), 2);
    expect_failure(dispatched({"rot13", "rotate", write("latin1", "\xc4rger")}), FailKind::input_output,
                   "Could not read file: " + path("latin1"), 2);
    expect_failure(dispatched({"rot13", "rotate", "-s", "abc", "-o", path("no/dir/out")}), FailKind::input_output,
                   "Could not write to file: " + path("no/dir/out"), 2);
    expect_failure(dispatched({"base64", "decode", "-s", "//4="}), FailKind::invalid_text,
                   "Unable to convert bytes to string.", 2);
    expect_failure(dispatched({"vigenere", "decrypt", "-s", "abc", "k3y"}), FailKind::invalid_value,
                   "ValueError: Key must be non-empty and contain only alphabetic characters", 2);
    expect_failure(dispatched({"base64", "decode", "-s", "##"}), FailKind::unexpected,
                   "ValueError: Invalid base64 character: '#'", 1);
    // Matches the parser would not yield: no action, or a required value missing.
    expect_failure(dispatch(Matches{}), FailKind::missing_subcommand, "Command not recognised or not provided", 2);
    Matches matches;
    matches.commands = {"rot13", "rotate"};
    expect_failure(dispatch(matches), FailKind::missing_argument, "Argument <data> was not found", 2);
    matches.commands = {"caesar", "decrypt"};
    matches.values.push_back({.id = DATA.argument.id, .text = "abc", .integer = std::nullopt});
    expect_failure(dispatch(matches), FailKind::missing_argument, "Argument <shift> was not found", 2);
    // Asked to stop while reading: nothing to show.
    const Interruption always(+[] { return true; });
    expect_failure(dispatched({"rot13", "rotate", write("in", "abc")}, {.interruption = always}), FailKind::interrupted,
                   "", 130, always);
    // An output whose reader has gone.
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    close(ends[0]);
    descriptors_.push_back(ends[1]);
    expect_failure(dispatched({"rot13", "rotate", "-s", "abc", "-o", "/proc/self/fd/" + std::to_string(ends[1])}),
                   FailKind::closed_by_reader, "", 1);
}

TEST_F(CliDispatch, CoreErrorRouteDependsOnWhereTheDataCameFrom) {
    // Decoders get a file as it is: a line break after the padding ends
    // nothing early, one before any padding is an invalid character.
    Outcome padded = dispatched({"base64", "decode", write("padded", "aGk=\n")});
    EXPECT_EQ(printed(padded), "hi");
    // The character is shown escaped, as it might drive the terminal.
    expect_failure(dispatched({"base64", "decode", write("unpadded", "aGVsbG8\n")}), FailKind::unexpected,
                   "ValueError: Invalid base64 character: '\\x0a'", 1);
    const std::string bad = write("bad", "#");
    expect_failure(dispatched({"base32", "decode", "-s", "#"}), FailKind::invalid_value,
                   "ValueError: Invalid Base32 character: '#'", 2);
    expect_failure(dispatched({"base32", "decode", bad}), FailKind::unexpected,
                   "ValueError: Invalid Base32 character: '#'", 1);
    expect_failure(dispatched({"base64", "decode", bad}), FailKind::unexpected,
                   "ValueError: Invalid base64 character: '#'", 1);
    expect_failure(dispatched({"vigenere", "encrypt", write("text", "abc"), "k3y"}), FailKind::invalid_value,
                   "ValueError: Key must be non-empty and contain only alphabetic characters", 2);
}

TEST_F(CliDispatch, HyphenReadsTheSuppliedDescriptor) {
    Outcome outcome = dispatched({"caesar", "encrypt", "-", "3"}, {.standard_input = stream_of("Grüße, abc")});
    EXPECT_EQ(printed(outcome), "Juüßh, def");
    const std::string binary("\x00\xff\x10", 3);
    outcome = dispatched({"base64", "encode", "-"}, {.standard_input = stream_of(binary)});
    EXPECT_EQ(printed(outcome), "AP8Q");
    // Text input must be UTF-8, from a stream as from a file; with -s, "-" is the text itself.
    expect_failure(dispatched({"rot13", "rotate", "-"}, {.standard_input = stream_of("\xff")}),
                   FailKind::input_output, "Could not read file: -", 2);
    outcome = dispatched({"base64", "encode", "-s", "-"}, {.standard_input = stream_of("ignored")});
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->line(), "LQ==");
}

// Sends a descriptor (1 or 2) to a temporary file, or to the named file,
// until it goes out of scope.
class Redirect {
public:
    explicit Redirect(int fd, const char* target = nullptr) : fd_(fd), saved_(dup(fd)) {
        std::fflush(nullptr);
        const int to = target != nullptr ? open(target, O_WRONLY) : fileno(file_);
        dup2(to, fd);
        if (target != nullptr) close(to);
    }
    Redirect(const Redirect&) = delete;
    Redirect& operator=(const Redirect&) = delete;
    ~Redirect() {
        dup2(saved_, fd_);
        close(saved_);
        std::fclose(file_);
    }

    // What was written to the temporary file.
    std::string text() const {
        std::string text;
        char chunk[4096];
        for (ssize_t n, at = 0; (n = pread(fileno(file_), chunk, sizeof chunk, at)) > 0; at += n) text.append(chunk, n);
        return text;
    }

private:
    int fd_;
    int saved_;
    std::FILE* file_ = std::tmpfile();
};

// What a run wrote to standard output and standard error, and its status.
struct Finished {
    std::optional<int> status;
    std::string output;
    std::string error;
};

// Runs over "/usr/bin/korvalith ARGUMENTS..." with standard output and
// standard error captured (standard output sent to `standard_output` instead
// when it is given).
Finished run(std::initializer_list<std::string> user_arguments, const RunContext& context = {},
        const char* standard_output = nullptr) {
    std::vector<std::string> elements{"/usr/bin/korvalith"};
    elements.insert(elements.end(), user_arguments);
    std::vector<char*> vector;
    for (std::string& element : elements) vector.push_back(element.data());
    const Redirect output(STDOUT_FILENO, standard_output);
    const Redirect error(STDERR_FILENO);
    const std::optional<int> status = run_arguments(vector, context);
    return {status, output.text(), error.text()};
}

class CliRun : public CliDispatch {};

TEST_F(CliRun, SuccessIsPrintedAndReturnsNoStatus) {
    Finished result = run({"rot13", "rotate", "-s", "abc"});
    EXPECT_EQ(result.status, std::nullopt);
    EXPECT_EQ(result.output, "nop\n");
    EXPECT_EQ(result.error, "");
    result = run({"base32", "encode", "-s", "hi", "-o", path("out")});
    EXPECT_EQ(result.output, "Successfully wrote data to " + path("out") + "\n");
    EXPECT_EQ(read("out"), "NBUQ====");
}

TEST_F(CliRun, FailuresShowTheirReportAndGiveTheirStatus) {
    Finished result = run({"caesar", "encrypt", "missing.txt", "3"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(result.error, "error: Could not read file: missing.txt" + std::string(ERROR_REPORT_END));
    result = run({"base64", "decode", "-s", "##"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.error, "Unexpected error occurred.\nDetails: ValueError: Invalid base64 character: '#'\n");
    // Every kind of error report, with its status.
    for (FailKind kind : {FailKind::invalid_value, FailKind::missing_argument, FailKind::missing_subcommand,
                          FailKind::invalid_text, FailKind::input_output}) {
        const Redirect error(STDERR_FILENO);
        EXPECT_EQ(show_failure({kind, "message"}, build_cli()), 2);
        EXPECT_EQ(error.text(), "error: message" + std::string(ERROR_REPORT_END));
    }
    // Failures that show nothing more.
    for (FailKind kind : {FailKind::closed_by_reader, FailKind::interrupted}) {
        const Redirect error(STDERR_FILENO);
        EXPECT_EQ(show_failure({kind}, build_cli()), status_of(kind));
        EXPECT_EQ(error.text(), "");
    }
}

TEST_F(CliRun, ParserReportsAndTheirStatus) {
    Finished result = run({"caesar", "encrypt", "-s", "abc", "26"});
    EXPECT_EQ(result.status, 2);
    EXPECT_TRUE(result.error.starts_with("error: invalid value '26' for '<shift>': 26 is not in -25..=25\n"));
    result = run({"-h"});
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.output.starts_with("Korvalith - CLI interface"));
    EXPECT_EQ(result.error, "");
    // An element that is not UTF-8 never reaches the parser.
    result = run({"rot13", "\xff"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.error, "error: Argument 2 is not valid UTF-8" + std::string(ERROR_REPORT_END));
}

TEST_F(CliRun, OutputThatDoesNotGetOut) {
    // Standard output on a full device: help and results alike end with status 1.
    for (auto arguments : {std::initializer_list<std::string>{"--version"}, {"rot13", "rotate", "-s", "abc"}}) {
        const Finished result = run(arguments, {}, "/dev/full");
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.error, "error: could not write to standard output\n");
    }
    // An error report that cannot be written keeps its status.
    {
        const Redirect error(STDERR_FILENO, "/dev/full");
        EXPECT_EQ(show_failure({FailKind::missing_argument, "Argument <data> was not found"}, build_cli()), 2);
    }
    // A stop asked for after the last write is no success either, and a file
    // that standard output appends to is cut back to what it held (the run
    // asks once before it begins, as the printing begins, before each of its
    // two writes, the result and the line break, and once after them). A
    // run stopped by SIGTERM ends with its status.
    static int checks;
    checks = 0;
    const Interruption after_the_writes(+[] { return ++checks > 4; }, +[] { return SIGTERM; });
    const Finished result = run({"rot13", "rotate", "-s", "abc"}, {.interruption = after_the_writes});
    EXPECT_EQ(checks, 5);
    EXPECT_EQ(result.status, 128 + SIGTERM);
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(result.error, "");
    // One asked for before the run begins writes nothing, not even help.
    const Finished stopped = run({"--version"}, {.interruption = Interruption(+[] { return true; })});
    EXPECT_EQ(stopped.status, STATUS_INTERRUPTED);
    EXPECT_EQ(stopped.output + stopped.error, "");
}

TEST(CliRunDeath, RunCliEndsTheProcessWithTheStatus) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    std::string name = "korvalith";
    std::string group = "caesar";
    std::vector<char*> command_line{name.data(), group.data()};
    EXPECT_EXIT(run_cli(command_line), ::testing::ExitedWithCode(2), "'korvalith caesar' requires a subcommand");
    // A process started without even its name (argc 0): the top-level name
    // stands in for the program's.
    EXPECT_EXIT(run_cli({}), ::testing::ExitedWithCode(2), "Usage: Korvalith <COMMAND>");
}

}  // namespace
}  // namespace korvalith::cli
