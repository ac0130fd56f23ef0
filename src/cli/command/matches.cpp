#include "cli/command/matches.hpp"

#include <algorithm>

namespace korvalith::cli {

std::string_view Matches::group() const { return commands.empty() ? std::string_view() : commands[0]; }

std::string_view Matches::action() const { return commands.size() < 2 ? std::string_view() : commands[1]; }

bool Matches::flag(const ArgumentHandle<bool>& handle) const { return given(handle.argument); }

bool Matches::given(const Argument& argument) const {
    if (argument.form == ArgumentForm::flag) return std::find(flags.begin(), flags.end(), argument.id) != flags.end();
    return find(argument.id) != nullptr;
}

const MatchedValue* Matches::find(std::string_view id) const {
    for (const MatchedValue& matched : values) {
        if (matched.id == id) return &matched;
    }
    return nullptr;
}

}  // namespace korvalith::cli
