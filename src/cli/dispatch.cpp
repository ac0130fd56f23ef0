#include "cli/dispatch.hpp"

#include <optional>
#include <string>
#include <utility>

#include "cli/actions.hpp"
#include "cli/arguments.hpp"
#include "cli/control_characters.hpp"
#include "cli/files.hpp"
#include "common/utf8.hpp"

namespace korvalith::cli {

namespace {

std::unexpected<Failure> failure(FailKind kind, std::string message = {}) {
    return std::unexpected(Failure{kind, std::move(message)});
}

// A name the user gave, as messages show it.
std::string shown(std::string_view name) { return escape_control_characters(name); }

// A core error as the user sees it: the Python exception class the wrappers
// would raise, a colon, a blank and the message.
std::unexpected<Failure> core_failure(const CoreError& error, CoreErrorReport report) {
    if (error.kind == CoreError::Kind::OutOfMemory) {
        return failure(FailKind::unexpected,
                       "MemoryError: could not allocate " + std::to_string(error.requested) + " bytes");
    }
    return failure(report == CoreErrorReport::invalid_value ? FailKind::invalid_value : FailKind::unexpected,
                   "ValueError: " + error.message);
}

// The whole input named by a data argument: standard input for "-", else the
// named file, which must hold UTF-8 text for text input.
std::expected<Input, Failure> read_input(std::string_view data, InputKind kind, const RunContext& context) {
    auto input = data == "-" ? read_stream(context.standard_input, context.interruption)
                             : read_whole_file(std::string(data), context.interruption);
    if (!input) {
        switch (input.error().kind) {
            case ReadFailure::Kind::interrupted: return failure(FailKind::interrupted);
            case ReadFailure::Kind::out_of_memory:
                return core_failure(CoreError::out_of_memory(input.error().requested), CoreErrorReport::unexpected);
            case ReadFailure::Kind::unreadable: break;
        }
    }
    if (!input || (kind == InputKind::text && !is_valid_utf8(input->bytes.view()))) {
        return failure(FailKind::input_output, "Could not read file: " + shown(data));
    }
    return std::move(*input);
}

Outcome write_to_file(std::string_view name, ByteView bytes, const std::optional<FileIdentity>& input_file,
                      const Interruption& interruption) {
    auto written = write_whole_file(std::string(name), bytes, input_file, interruption);
    if (!written) {
        switch (written.error()) {
            case WriteFailure::interrupted: return failure(FailKind::interrupted);
            case WriteFailure::closed_by_reader: return failure(FailKind::closed_by_reader);
            case WriteFailure::failed: break;
        }
        return failure(FailKind::input_output, "Could not write to file: " + shown(name));
    }
    return Success{.message = "Successfully wrote data to " + shown(name)};
}

// The result written to the -o file, or handed back to be printed, which
// needs it to be text.
Outcome deliver(ByteBuffer result, ResultKind kind, std::optional<std::string_view> output,
                const std::optional<FileIdentity>& input_file, const Interruption& interruption) {
    const bool must_be_text = kind == ResultKind::encoded || (kind == ResultKind::binary && !output);
    if (must_be_text && !is_valid_utf8(result.view())) {
        return failure(FailKind::invalid_text, "Unable to convert bytes to string.");
    }
    if (output) return write_to_file(*output, result.view(), input_file, interruption);
    return Success{.result = std::move(result)};
}

}  // namespace

Outcome dispatch(const Matches& matches, const RunContext& context) {
    const ActionDeclaration* action = find_action(matches.group(), matches.action());
    if (action == nullptr) return failure(FailKind::missing_subcommand, "Command not recognised or not provided");
    // The parser yields no matches without the required values, so one is
    // missing only when the matches come from elsewhere.
    for (const Argument& argument : action->arguments) {
        if (argument.required && !matches.given(argument)) {
            return failure(FailKind::missing_argument, "Argument " + argument.placeholder() + " was not found");
        }
    }
    const std::string_view data = matches.required(DATA);
    const bool literal = matches.flag(STRING);

    // With -s the data itself is the input; otherwise it names where to read it.
    std::optional<Input> read;
    if (!literal) {
        auto input = read_input(data, action->input, context);
        if (!input) return std::unexpected(std::move(input.error()));
        read = std::move(*input);
    }
    CoreResult<ByteBuffer> result = action->core(literal ? as_byte_view(data) : read->bytes.view(), matches);
    if (!result) {
        return core_failure(result.error(), literal ? action->core_error_with_string : action->core_error_from_file);
    }
    return deliver(std::move(*result), action->result, matches.value(OUTPUT), read ? read->file : std::nullopt,
                   context.interruption);
}

}  // namespace korvalith::cli
