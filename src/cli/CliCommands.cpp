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
        {"run",
         "run TESTSETFILE --test KEY [--group NAME] [--block CAPTION]... [--all] [--loops N] [--simulate] "
         "[--step] "
         "[--reset NAME]... [--report FILE]... [--junit FILE] [--json FILE] [--settings FILE] [--registry "
         "FILE] "
         "[--visa V]",
         RunRun},
        {"scan", "scan [--settings FILE] [--registry FILE] [--visa V]", RunScan},
        {"serve",
         "serve [TESTSETFILE] [--socket PATH] [--simulate] [--settings FILE] [--registry FILE] [--visa V]",
         RunServe},
    };
    return commands;
}

} // namespace zep::cli
