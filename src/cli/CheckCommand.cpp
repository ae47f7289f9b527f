// zep-cli check: loads every runnable test of a test set and prints what the loader reported.
#include "cli/CliArgs.h"
#include "cli/CliCommands.h"
#include "cli/CliTestSet.h"
#include "cli/TerminalHost.h"
#include "common/TextFile.h"
#include "report/ReportStore.h"

#include <cstdio>
#include <set>

namespace zep::cli {

int RunCheck(const Args& args) {
    CliArgs parsed;
    if (auto error = parsed.Parse(args, {"test", "report", "settings"}, {});
        !error.empty() || parsed.Positionals().size() != 1) {
        PrintError(error.empty()
                       ? "usage: zep-cli check TESTSETFILE [--test KEY] [--report FILE] [--settings FILE]"
                       : error);
        return ExitUsage;
    }
    TerminalHost host;
    auto session =
        OpenTestSetOrReport(host, parsed.Positionals()[0], ReadCliSettings(parsed.Value("settings")));
    if (!session) return ExitUsage;

    std::vector<TestEntry> entries;
    if (auto key = parsed.Value("test")) {
        entries.push_back(session->EntryForKey(*key));
    } else {
        std::set<std::string> seen;
        for (size_t g = 0; g < session->Model().Groups.size(); ++g)
            for (const auto& entry : session->Loader().TestListAt(g))
                if (!entry.Heading && seen.insert(entry.Key).second) entries.push_back(entry);
    }

    bool anyFound = false;
    std::string out;
    // Every test's entries in order, each under its "== KEY (path)" line, for --report.
    ReportDocument combined;
    ReportDocument& report = session->Report();
    for (const auto& entry : entries) {
        if (entry.Heading) continue;
        report.Clear();
        session->SelectTest(entry);
        const auto& findings = session->Loader().Findings();
        if (findings.empty()) continue;
        anyFound = true;
        // The test's own file (not its last include), or the path tried when it is missing.
        const std::string& path = session->Model().TestCasePath;
        const std::string heading =
            "== " + entry.Key + " (" +
            (path.empty() ? JoinPath(session->Model().TestDirectory, entry.Key) : path) + ")";
        out += heading + "\n";
        for (const auto& finding : findings)
            out += FindingLine(finding) + "\n";
        combined.AddResult(heading, true);
        for (size_t i = 0; i < report.GroupCount(); ++i)
            combined.Append(report.Group(i));
        if (!report.PlainText().empty() && report.PlainText().back() != '\n') combined.AddResult("", true);
    }
    WriteOut(out);
    if (auto reportFile = parsed.Value("report")) {
        if (auto error = StoreReport(combined, *reportFile); !error.empty()) {
            PrintError(error);
            return ExitUsage;
        }
    }
    return anyFound ? ExitFailed : ExitOk;
}

} // namespace zep::cli
