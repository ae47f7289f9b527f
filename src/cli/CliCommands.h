// The zep-cli sub-commands. Each takes the arguments after its name and returns the exit status.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zep::cli {

using Args = std::vector<std::string>;

struct SubCommand {
    std::string_view name;
    std::string_view usage; // first line of its help text
    int (*run)(const Args& args);
};

// The table of sub-commands, in the order the help text lists them.
const std::vector<SubCommand>& SubCommands();

int RunList(const Args& args);
int RunDump(const Args& args);
int RunCheck(const Args& args);
int RunEval(const Args& args);
int RunCodegen(const Args& args);
int RunScan(const Args& args);
int RunRun(const Args& args);
int RunServe(const Args& args);

} // namespace zep::cli
