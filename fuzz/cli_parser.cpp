// The command-line parser over arbitrary argument lists: it never crashes and
// always ends in help or version (status 0, standard output), an error report
// (status 2, standard error), or an action of the action table with every
// value that action needs. Reports show no control character the user typed.
// The argument list itself is built only from elements that are valid UTF-8.
// An action over literal data with its result for standard output is then
// dispatched: it ends in text to print or a failure an in-memory run can have.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command/actions.hpp"
#include "cli/command/arguments.hpp"
#include "cli/command/build_cli.hpp"
#include "cli/command/command_tree.hpp"
#include "cli/command/version.hpp"
#include "cli/parse/argument_list.hpp"
#include "cli/parse/parser.hpp"
#include "cli/run/dispatch.hpp"
#include "cli/run/reports.hpp"
#include "common/utf8.hpp"
#include "fuzz_support.hpp"

using namespace korvalith;
using namespace korvalith::cli;
using namespace korvalith::fuzz;

namespace {

constexpr std::size_t MAX_ELEMENTS = 64;

// True when the text holds a control character other than the line break:
// a C0 control, DEL, or a C1 control (UTF-8 C2 80..C2 9F).
bool holds_control_character(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte < 0x20 && byte != '\n') || byte == 0x7f) return true;
        if (byte == 0xc2 && i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xe0) == 0x80) {
            return true;
        }
    }
    return false;
}

void check_report(const Report& report) {
    const std::string plain = report.render(false);
    const std::string coloured = report.render(true);
    check(plain.size() <= coloured.size(), "colour removed text");
    // Whatever the user typed, a report drives the terminal only by its own styles.
    check(!holds_control_character(plain), "a report echoes a control character");
    switch (report.kind) {
        case ReportKind::help:
            check(report.status == STATUS_SUCCESS && report.stream == Stream::standard_output, "help status or stream");
            check(plain.find("Usage: ") != std::string::npos, "help without a usage line");
            break;
        case ReportKind::version:
            check(report.status == STATUS_SUCCESS && report.stream == Stream::standard_output,
                  "version status or stream");
            check(plain.starts_with("Korvalith " + std::string(VERSION) + "\n"), "version text");
            break;
        case ReportKind::error:
            check(report.status == STATUS_USAGE_ERROR && report.stream == Stream::standard_error,
                  "error status or stream");
            check(plain.starts_with("error: "), "error report without its label");
            check(plain.ends_with("For more information, try '--help'.\n"), "error report without its hint");
            break;
        default:
            fail("unknown report kind");
    }
}

// The parser chose an action of the action table and gave it every value it
// declares as required; a shift lies in its range.
void check_matches(const Matches& matches) {
    const ActionDeclaration* action = find_action(matches.group(), matches.action());
    check(action != nullptr, "parser chose no action of the action table");
    for (const Argument& argument : action->arguments) {
        check(!argument.required || matches.given(argument), "action without a required value");
        if (argument.value_type == ValueType::shift && matches.given(argument)) {
            auto shift = matches.value(SHIFT);
            check(shift.has_value() && *shift >= SHIFT_MIN && *shift <= SHIFT_MAX, "shift out of range");
        }
    }
}

// An action over the literal data whose result is printed (-s without -o,
// which touches no file): the line to print is text, or the failure is one
// an in-memory run can come to, with a message to show.
void check_dispatch(const Matches& matches) {
    if (!matches.flag(STRING) || matches.value(OUTPUT)) return;
    const Outcome outcome = dispatch(matches);
    if (outcome) {
        check(is_valid_utf8(as_byte_view(outcome->line())), "a line to print that is not text");
        return;
    }
    const FailKind kind = outcome.error().kind;
    check(kind == FailKind::invalid_value || kind == FailKind::invalid_text || kind == FailKind::unexpected,
          "an in-memory run failed as no such run can");
    check(!outcome.error().message.empty(), "a failure without a message");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Elements separated by NUL bytes, as in a process's argument vector; the
    // first is the program's path.
    std::vector<std::string> elements(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            if (elements.size() == MAX_ELEMENTS) break;
            elements.emplace_back();
        } else {
            elements.back() += static_cast<char>(data[i]);
        }
    }
    std::vector<char*> vector;
    for (std::string& element : elements) vector.push_back(element.data());

    std::size_t first_invalid = elements.size();
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (!is_valid_utf8(as_byte_view(elements[i]))) {
            first_invalid = i;
            break;
        }
    }
    auto list = argument_list(vector);
    if (first_invalid < elements.size()) {
        check(!list && list.error() == first_invalid, "a non-UTF-8 element entered the argument list");
        return 0;
    }
    check(list && *list == elements, "argument list lost or changed elements");

    static const Command tree = build_cli();
    auto parsed = parse_arguments(tree, *list);
    if (parsed) {
        check_matches(*parsed);
        check_dispatch(*parsed);
    } else {
        check_report(parsed.error());
    }
    return 0;
}
