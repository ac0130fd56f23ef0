#include "cli/dispatch.hpp"

#include <span>

#include "ciphers/caesar.hpp"
#include "ciphers/rot13.hpp"
#include "ciphers/vigenere.hpp"
#include "cli/control_characters.hpp"
#include "cli/files.hpp"
#include "cli/parser.hpp"
#include "cli/process_arguments.hpp"
#include "cli/reports.hpp"
#include "common/utf8.hpp"
#include "encodings/base32.hpp"
#include "encodings/base64.hpp"

namespace korvalith::cli {

namespace {

// How a core error of an action is reported.
enum class CoreErrorRoute { none, invalid_value, unexpected };

enum class InputKind { bytes, text };

// Cipher results are text already; encoder results are checked into text;
// decoder results may be binary.
enum class ResultKind { text, encoded, binary };

// The values an action reads from the parsed command line.
struct ActionArguments {
    std::optional<std::string> output;
    bool string = false;
    bool skip_non_alpha = false;
    std::string data;
    std::int8_t shift = 0;
    std::string key;
};

// One row of the dispatch table.
struct Action {
    std::string_view group;
    std::string_view action;
    InputKind input;
    ResultKind result;
    enum class Extra { none, shift, key } extra;
    // The route of a core error when the data came with -s, and from a file.
    CoreErrorRoute error_with_string;
    CoreErrorRoute error_from_file;
    CoreResult<ByteBuffer> (*run)(ByteView input, const ActionArguments& arguments);
};

const Action ACTIONS[] = {
    {"base32", "encode", InputKind::bytes, ResultKind::encoded, Action::Extra::none, CoreErrorRoute::none,
     CoreErrorRoute::none, [](ByteView input, const ActionArguments&) { return base32_encode(input); }},
    {"base32", "decode", InputKind::bytes, ResultKind::binary, Action::Extra::none, CoreErrorRoute::invalid_value,
     CoreErrorRoute::unexpected, [](ByteView input, const ActionArguments&) { return base32_decode(input); }},
    {"base64", "encode", InputKind::bytes, ResultKind::encoded, Action::Extra::none, CoreErrorRoute::none,
     CoreErrorRoute::none, [](ByteView input, const ActionArguments&) { return base64_encode(input); }},
    {"base64", "decode", InputKind::bytes, ResultKind::binary, Action::Extra::none, CoreErrorRoute::unexpected,
     CoreErrorRoute::unexpected, [](ByteView input, const ActionArguments&) { return base64_decode(input); }},
    {"caesar", "encrypt", InputKind::text, ResultKind::text, Action::Extra::shift, CoreErrorRoute::none,
     CoreErrorRoute::none,
     [](ByteView input, const ActionArguments& arguments) { return caesar_cipher(input, arguments.shift, false); }},
    {"caesar", "decrypt", InputKind::text, ResultKind::text, Action::Extra::shift, CoreErrorRoute::none,
     CoreErrorRoute::none,
     [](ByteView input, const ActionArguments& arguments) { return caesar_cipher(input, arguments.shift, true); }},
    {"rot13", "encrypt", InputKind::text, ResultKind::text, Action::Extra::none, CoreErrorRoute::none,
     CoreErrorRoute::none, [](ByteView input, const ActionArguments&) { return rot13_cipher(input); }},
    {"rot13", "decrypt", InputKind::text, ResultKind::text, Action::Extra::none, CoreErrorRoute::none,
     CoreErrorRoute::none, [](ByteView input, const ActionArguments&) { return rot13_cipher(input); }},
    {"rot13", "rotate", InputKind::text, ResultKind::text, Action::Extra::none, CoreErrorRoute::none,
     CoreErrorRoute::none, [](ByteView input, const ActionArguments&) { return rot13_cipher(input); }},
    {"vigenere", "encrypt", InputKind::text, ResultKind::text, Action::Extra::key, CoreErrorRoute::invalid_value,
     CoreErrorRoute::invalid_value,
     [](ByteView input, const ActionArguments& arguments) {
         return vigenere_cipher(input, as_byte_view(arguments.key), false, arguments.skip_non_alpha);
     }},
    {"vigenere", "decrypt", InputKind::text, ResultKind::text, Action::Extra::key, CoreErrorRoute::invalid_value,
     CoreErrorRoute::invalid_value,
     [](ByteView input, const ActionArguments& arguments) {
         return vigenere_cipher(input, as_byte_view(arguments.key), true, arguments.skip_non_alpha);
     }},
};

// A core error as the user sees it: the Python exception class the wrappers
// would raise, a colon, a blank and the message.
std::string rendered_core_error(const CoreError& error) {
    if (error.kind == CoreError::Kind::OutOfMemory) {
        return "MemoryError: could not allocate " + std::to_string(error.requested) + " bytes";
    }
    return "ValueError: " + error.message;
}

ActionArguments read_arguments(const Matches& matches, const Action& action, const Command& untouched) {
    ActionArguments arguments;
    if (auto output = matches.value("output")) arguments.output = std::string(*output);
    arguments.string = matches.flag("string");
    arguments.skip_non_alpha = matches.flag("skip-non-alpha");
    auto data = matches.value("data");
    if (!data) fail_with(FailKind::missing_argument, "Argument <data> was not found", untouched);
    arguments.data = std::string(*data);
    if (action.extra == Action::Extra::shift) {
        auto shift = matches.integer("shift");
        if (!shift) fail_with(FailKind::missing_argument, "Argument <shift> was not found", untouched);
        arguments.shift = *shift;
    } else if (action.extra == Action::Extra::key) {
        auto key = matches.value("key");
        if (!key) fail_with(FailKind::missing_argument, "Argument <key> was not found", untouched);
        arguments.key = std::string(*key);
    }
    return arguments;
}

// A name the user gave, as messages show it.
std::string shown(const std::string& name) { return escape_control_characters(name); }

// The input of the action: the literal with -s, standard input for a data
// argument of "-", else the whole named file (which must hold UTF-8 text for
// the ciphers).
Input read_input(const ActionArguments& arguments, InputKind kind, const Command& untouched,
                 const Interruption& interruption) {
    if (arguments.string) {
        Input literal;
        if (!literal.bytes.append(as_byte_view(arguments.data))) {
            fail_with(FailKind::unexpected, rendered_core_error(CoreError::out_of_memory(arguments.data.size())),
                      untouched);
        }
        return literal;
    }
    auto input =
        arguments.data == "-" ? read_standard_input(interruption) : read_whole_file(arguments.data, interruption);
    if (!input) {
        switch (input.error().kind) {
            case ReadFailure::Kind::interrupted: end_interrupted();
            case ReadFailure::Kind::out_of_memory:
                fail_with(FailKind::unexpected, rendered_core_error(CoreError::out_of_memory(input.error().requested)),
                          untouched);
            case ReadFailure::Kind::unreadable: break;
        }
    }
    if (!input || (kind == InputKind::text && !is_valid_utf8(input->bytes.view()))) {
        fail_with(FailKind::input_output, "Could not read file: " + shown(arguments.data), untouched);
    }
    return std::move(*input);
}

void write_to_file(const std::string& name, ByteView bytes, const ResultTarget& target) {
    auto written = write_whole_file(name, bytes, target.input_file, target.interruption);
    if (!written) {
        switch (written.error()) {
            case WriteFailure::interrupted: end_after_failed_write(WriteOutcome::interrupted);
            case WriteFailure::closed_by_reader: end_after_failed_write(WriteOutcome::closed_by_reader);
            case WriteFailure::failed: break;
        }
        fail_with(FailKind::input_output, "Could not write to file: " + shown(name), target.untouched);
    }
    const WriteOutcome said = write_program_line(Stream::standard_output, "Successfully wrote data to " + shown(name),
                                                 ProgramColour::green, target.interruption);
    if (said != WriteOutcome::written) end_after_failed_write(said);
}

}  // namespace

std::string_view text_from_bytes(ByteView bytes, const Command& untouched) {
    if (!is_valid_utf8(bytes)) fail_with(FailKind::invalid_text, "Unable to convert bytes to string.", untouched);
    return as_string_view(bytes);
}

void write_text_result(const std::optional<std::string>& output, std::string_view text, const ResultTarget& target) {
    if (output) {
        write_to_file(*output, as_byte_view(text), target);
        return;
    }
    const WriteOutcome written =
        write_program_line(Stream::standard_output, text, ProgramColour::green, target.interruption);
    if (written != WriteOutcome::written) end_after_failed_write(written);
}

void write_binary_result(const std::optional<std::string>& output, ByteView bytes, const ResultTarget& target) {
    if (output) {
        write_to_file(*output, bytes, target);
        return;
    }
    write_text_result(output, text_from_bytes(bytes, target.untouched), target);
}

void run_cli(const Interruption& interruption) {
    const Command untouched = build_cli();
    auto arguments = argument_list(process_arguments());
    if (!arguments) {
        // Position 0 of the vector is the interpreter, 1 the program's path.
        const std::size_t position = arguments.error();
        fail_with(FailKind::invalid_value,
                  position <= 1 ? std::string("The program's path is not valid UTF-8")
                                : "Argument " + std::to_string(position - 1) + " is not valid UTF-8",
                  untouched);
    }
    const Command tree = build_cli();
    const Matches matches = parse_or_exit(tree, *arguments);

    const Action* chosen = nullptr;
    for (const Action& action : ACTIONS) {
        if (action.group == matches.group() && action.action == matches.action()) chosen = &action;
    }
    if (chosen == nullptr) fail_with(FailKind::missing_subcommand, "Command not recognised or not provided", untouched);

    const ActionArguments values = read_arguments(matches, *chosen, untouched);
    const Input input = read_input(values, chosen->input, untouched, interruption);
    CoreResult<ByteBuffer> result = chosen->run(input.bytes.view(), values);
    if (!result) {
        const CoreErrorRoute route = values.string ? chosen->error_with_string : chosen->error_from_file;
        const bool invalid_value =
            route == CoreErrorRoute::invalid_value && result.error().kind == CoreError::Kind::Invalid;
        fail_with(invalid_value ? FailKind::invalid_value : FailKind::unexpected, rendered_core_error(result.error()),
                  untouched);
    }
    const ResultTarget target{.untouched = untouched, .interruption = interruption, .input_file = input.file};
    switch (chosen->result) {
        case ResultKind::text: write_text_result(values.output, result->text(), target); break;
        case ResultKind::encoded:
            write_text_result(values.output, text_from_bytes(result->view(), untouched), target);
            break;
        case ResultKind::binary: write_binary_result(values.output, result->view(), target); break;
    }
}

}  // namespace korvalith::cli
