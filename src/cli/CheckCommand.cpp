// zep-cli check: loads every runnable test of a test set and prints what the loader reported.
#include "cli/CliArgs.h"
#include "cli/CliCommands.h"
#include "cli/CliTestSet.h"
#include "common/TextFile.h"
#include "report/ReportStore.h"

#include <cstdio>
#include <set>

namespace zep::cli {

namespace {

// The path of the test's own file (not of its last include), or the path tried when it is missing.
std::string MainCasePath(const CliTestSet& set, const std::string& key) {
    std::string path;
    if (set.loader.FindTestCaseFile(key, path)) return path;
    return JoinPath(set.model.TestDirectory, key);
}

} // namespace

int RunCheck(const Args& args) {
    CliArgs parsed;
    if (auto error = parsed.Parse(args, {"test", "report", "settings"}, {});
        !error.empty() || parsed.Positionals().size() != 1) {
        PrintError(error.empty() ? "usage: zep-cli check TESTSETFILE [--test KEY] [--report FILE] [--settings FILE]"
                                 : error);
        return ExitUsage;
    }
    auto set = OpenTestSetOrReport(parsed.Positionals()[0], ToLoadOptions(ReadCliSettings(parsed.Value("settings"))));
    if (!set) return ExitUsage;

    std::vector<TestEntry> entries;
    if (auto key = parsed.Value("test")) {
        entries.push_back(set->EntryForKey(*key));
    } else {
        std::set<std::string> seen;
        for (const auto& group : set->model.Groups)
            for (auto& entry : set->loader.TestList(group))
                if (!entry.Heading && seen.insert(entry.Key).second) entries.push_back(std::move(entry));
    }

    bool anyReported = false;
    std::string out;
    // Every test's entries in order, each under its "== KEY (path)" line, for --report.
    ReportDocument combined;
    for (const auto& entry : entries) {
        if (entry.Heading) continue;
        set->report.Clear();
        set->loader.SelectTest(entry);
        if (set->report.Empty()) continue;
        anyReported = true;
        const std::string heading = "== " + entry.Key + " (" + MainCasePath(*set, entry.Key) + ")";
        out += heading + "\n";
        out += set->report.PlainText();
        if (!out.empty() && out.back() != '\n') out += '\n';
        combined.AddResult(heading, true);
        for (size_t i = 0; i < set->report.GroupCount(); ++i) combined.Append(set->report.Group(i));
        if (!set->report.PlainText().empty() && set->report.PlainText().back() != '\n') combined.AddResult("", true);
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    if (auto reportFile = parsed.Value("report")) {
        if (auto error = StoreReport(combined, *reportFile); !error.empty()) {
            PrintError(error);
            return ExitUsage;
        }
    }
    return anyReported ? ExitFailed : ExitOk;
}

} // namespace zep::cli
