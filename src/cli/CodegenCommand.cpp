// zep-cli codegen: the program code the code generator puts on the clipboard.
#include "cli/CliArgs.h"
#include "cli/CliCommands.h"
#include "cli/CliTestSet.h"
#include "cli/TerminalHost.h"
#include "codegen/CodeGen.h"

#include <charconv>
#include <cstdio>

namespace zep::cli {

namespace {

constexpr const char* Usage =
    "usage: zep-cli codegen TESTSETFILE --test KEY [--rows FIRST-LAST] [--settings FILE]";

bool ParseRow(std::string_view text, int& row) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), row);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

// "FIRST-LAST" or a single row; rows of the command list view, 1 for the first command line.
std::optional<RowSelection> ParseRows(const std::string& text) {
    RowSelection rows;
    const size_t dash = text.find('-');
    const std::string_view view = text;
    if (dash == std::string::npos) {
        if (!ParseRow(view, rows.First)) return std::nullopt;
        rows.Last = rows.First;
    } else if (!ParseRow(view.substr(0, dash), rows.First) || !ParseRow(view.substr(dash + 1), rows.Last)) {
        return std::nullopt;
    }
    if (rows.First < 1 || rows.Last < rows.First) return std::nullopt;
    return rows;
}

} // namespace

int RunCodegen(const Args& args) {
    CliArgs parsed;
    if (auto error = parsed.Parse(args, {"test", "rows", "settings"}, {});
        !error.empty() || parsed.Positionals().size() != 1 || !parsed.Value("test")) {
        PrintError(error.empty() ? Usage : error);
        return ExitUsage;
    }
    std::optional<RowSelection> rows;
    if (auto text = parsed.Value("rows")) {
        rows = ParseRows(*text);
        if (!rows) {
            PrintError("--rows \"" + *text + "\" is no row range FIRST-LAST of rows from 1 on");
            return ExitUsage;
        }
    }
    const Settings settings = ReadCliSettings(parsed.Value("settings"));
    TerminalHost host;
    auto session = OpenTestSetOrReport(host, parsed.Positionals()[0], settings);
    if (!session) return ExitUsage;

    const std::string key = *parsed.Value("test");
    const TestEntry entry = session->EntryForKey(key);
    if (entry.Heading) {
        PrintError("\"" + key + "\" is a heading of the test list, not a test");
        return ExitUsage;
    }
    if (!session->SelectTest(entry)) {
        PrintError("test \"" + key + "\" not found");
        return ExitUsage;
    }
    // What loading found belongs to the diagnostics, never into the code: one line each.
    for (const auto& finding : session->Loader().Findings())
        std::fprintf(stderr, "%s\n", ForStream(stderr, FindingLine(finding)).c_str());
    const auto count = static_cast<int>(session->Model().Commands.size());
    if (rows && rows->Last > count) {
        PrintError("--rows " + *parsed.Value("rows") + ": the test has " + std::to_string(count) +
                   " command lines");
        return ExitUsage;
    }

    std::string code = GenerateCode(session->Model(), settings.Code, rows);
    if (!code.empty()) code += "\r\n";
    WriteOut(code);
    return ExitOk;
}

} // namespace zep::cli
