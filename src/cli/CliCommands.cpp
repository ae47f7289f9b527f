// The table of zep-cli sub-commands.
#include "cli/CliCommands.h"

namespace zep::cli {

const std::vector<SubCommand>& SubCommands() {
    static const std::vector<SubCommand> commands = {
        {"list", "list TESTSETFILE", RunList},
        {"dump", "dump TESTSETFILE [--test KEY] [--settings FILE]", RunDump},
        {"check", "check TESTSETFILE [--test KEY] [--report FILE] [--settings FILE]", RunCheck},
        {"eval", "eval [--var NAME=VALUE]... [--eval1 X] EQUATION", RunEval},
        {"codegen", "codegen TESTSETFILE --test KEY [--rows FIRST-LAST] [--settings FILE]", RunCodegen},
        {"scan", "scan [--settings FILE] [--registry FILE] [--visa V]", RunScan},
    };
    return commands;
}

} // namespace zep::cli
