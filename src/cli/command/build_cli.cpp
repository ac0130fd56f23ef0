#include "cli/command/build_cli.hpp"

#include <utility>

#include "cli/command/actions.hpp"
#include "cli/command/version.hpp"

namespace korvalith::cli {

Command build_cli() {
    Command top{.name = "Korvalith",
                .about = "Korvalith - CLI interface for fast cryptographic operations.",
                .version = VERSION,
                .subcommand_required = true,
                .styles = CLI_STYLES};
    for (const GroupDeclaration& group : groups()) {
        Command command{.name = group.name, .about = group.about, .subcommand_required = true};
        for (const ActionDeclaration& action : actions()) {
            if (action.group != group.name) continue;
            command.subcommands.push_back({.name = action.name, .about = action.about,
                                           .arguments = {action.arguments.begin(), action.arguments.end()}});
        }
        top.subcommands.push_back(std::move(command));
    }
    return top;
}

}  // namespace korvalith::cli
