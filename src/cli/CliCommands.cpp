// The table of zep-cli sub-commands.
#include "cli/CliCommands.h"

namespace zep::cli {

const std::vector<SubCommand>& SubCommands() {
    static const std::vector<SubCommand> commands = {
        {"list", "list TESTSETFILE", RunList},
        {"dump", "dump TESTSETFILE [--test KEY]", RunDump},
        {"check", "check TESTSETFILE [--test KEY] [--report FILE] [--settings FILE]", RunCheck},
    };
    return commands;
}

} // namespace zep::cli
