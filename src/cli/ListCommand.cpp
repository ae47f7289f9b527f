// zep-cli list: the groups of a test set and their test lists.
#include "cli/CliArgs.h"
#include "cli/CliCommands.h"
#include "cli/CliTestSet.h"
#include "cli/TerminalHost.h"

#include <cstdio>

namespace zep::cli {

int RunList(const Args& args) {
    CliArgs parsed;
    if (auto error = parsed.Parse(args, {}, {}); !error.empty() || parsed.Positionals().size() != 1) {
        PrintError(error.empty() ? "usage: zep-cli list TESTSETFILE" : error);
        return ExitUsage;
    }
    TerminalHost host;
    auto session = OpenTestSetOrReport(host, parsed.Positionals()[0]);
    if (!session) return ExitUsage;
    std::string out;
    const auto& groups = session->Model().Groups;
    for (size_t g = 0; g < groups.size(); ++g) {
        out += groups[g] + "\n";
        for (const auto& entry : session->Loader().TestListAt(g)) {
            out += std::string(2 + 2 * static_cast<size_t>(entry.Level), ' ');
            out += entry.Key + "\t" + entry.Text + "\n";
        }
    }
    WriteOut(out);
    return ExitOk;
}

} // namespace zep::cli
