#include "cli/parse/report.hpp"

#include <unistd.h>

#include <optional>
#include <utility>

#include "cli/parse/help.hpp"

namespace korvalith::cli {

int descriptor(Stream stream) {
    return stream == Stream::standard_output ? STDOUT_FILENO : STDERR_FILENO;
}

Report information_report(ReportKind kind, StyledText text, const Styles& styles) {
    return {.kind = kind, .text = std::move(text), .stream = Stream::standard_output, .status = STATUS_SUCCESS,
            .styles = styles};
}

Report error_report(const StyledText& message, const std::vector<StyledText>& tips, const StyledText& usage,
                    const Styles& styles) {
    StyledText text;
    text.styled(Role::error, "error:").plain(" ").append(message);
    if (!tips.empty()) {
        text.plain("\n");
        for (const StyledText& tip : tips) text.plain("\n  ").styled(Role::valid, "tip:").plain(" ").append(tip);
    }
    text.plain("\n\n").append(usage);
    text.plain("\n\nFor more information, try '").styled(Role::literal, "--help").plain("'.\n");
    return {.kind = ReportKind::error, .text = std::move(text), .stream = Stream::standard_error,
            .status = STATUS_USAGE_ERROR, .styles = styles};
}

Report program_error_report(std::string_view message, const Command& untouched) {
    // The untouched tree was never given an argument list, so its usage line
    // shows the top-level name.
    const CommandPath top{.program = program_name(std::nullopt, untouched), .commands = {&untouched}};
    StyledText text;
    text.plain(message);
    return error_report(text, {}, usage_line(top), top.styles());
}

}  // namespace korvalith::cli
