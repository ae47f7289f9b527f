// zep-cli dump: the loaded test model as one JSON document.
#include "cli/CliArgs.h"
#include "cli/CliCommands.h"
#include "cli/CliTestSet.h"
#include "cli/TerminalHost.h"
#include "common/Json.h"

#include <cstdio>

namespace zep::cli {

namespace {

std::string Bool(bool value) {
    return value ? "true" : "false";
}

std::string Variable(const VariableDef& variable) {
    const ResultSpec& r = variable.Result;
    return "{\"Name\": " + JsonString(variable.Name) + ", \"Text\": " + JsonString(r.Text) +
           ", \"Kind\": " + std::to_string(r.Kind) + ", \"ListName\": " + JsonString(r.ListName) +
           ", \"Argument\": " + JsonString(r.Argument) + ", \"Format\": " + JsonString(r.Format) +
           ", \"Value\": " + JsonString(r.Value) + "}";
}

template <typename T, typename F>
std::string Array(const std::vector<T>& items, F toJson, const char* indent) {
    if (items.empty()) return "[]";
    if (*indent == '\0') {
        std::string out = "[";
        for (size_t i = 0; i < items.size(); ++i)
            out += (i ? ", " : "") + toJson(items[i]);
        return out + "]";
    }
    std::string out = "[\n";
    for (size_t i = 0; i < items.size(); ++i) {
        out += indent;
        out += "  " + toJson(items[i]);
        out += i + 1 < items.size() ? ",\n" : "\n";
    }
    return out + indent + "]";
}

std::string Need(const InstrumentNeed& need) {
    return "{\"Name\": " + JsonString(need.Name) + ", \"Type\": " + JsonString(need.Type) +
           ", \"Options\": " + Array(need.Options, JsonString, "") +
           ", \"ErrorQuery\": " + JsonString(need.ErrorQuery) +
           ", \"ResetCommand\": " + JsonString(need.ResetCommand) +
           ", \"ClearCommand\": " + JsonString(need.ClearCommand) + "}";
}

std::string Block(const BlockDef& block) {
    return "{\"Name\": " + JsonString(block.Name) + ", \"Caption\": " + JsonString(block.Caption) +
           ", \"IsParallel\": " + Bool(block.IsParallel) + "}";
}

std::string Command(const CommandLine& line) {
    const ResultSpec& r = line.Result;
    return "{\"BlockIndex\": " + std::to_string(line.BlockIndex) +
           ", \"InstrumentIndex\": " + std::to_string(line.InstrumentIndex) +
           ", \"CommandText\": " + JsonString(line.CommandText) + ", \"Label\": " + JsonString(line.Label) +
           ", \"Result\": {\"Kind\": " + std::to_string(r.Kind) +
           ", \"ListName\": " + JsonString(r.ListName) + ", \"Argument\": " + JsonString(r.Argument) +
           ", \"NoScaling\": " + Bool(r.NoScaling) + ", \"NoStatistics\": " + Bool(r.NoStatistics) +
           ", \"Format\": " + JsonString(r.Format) + "}}";
}

std::string Finding(const LoadFinding& finding) {
    return "{\"file\": " + JsonString(finding.File) + ", \"line\": " + std::to_string(finding.Line) +
           ", \"message\": " + JsonString(finding.Message) + ", \"detail\": " + JsonString(finding.Detail) +
           "}";
}

std::string TestEntryJson(const TestEntry& entry) {
    return "{\"key\": " + JsonString(entry.Key) + ", \"text\": " + JsonString(entry.Text) +
           ", \"level\": " + std::to_string(entry.Level) + ", \"heading\": " + Bool(entry.Heading) + "}";
}

} // namespace

int RunDump(const Args& args) {
    CliArgs parsed;
    if (auto error = parsed.Parse(args, {"test", "settings"}, {});
        !error.empty() || parsed.Positionals().size() != 1) {
        PrintError(error.empty() ? "usage: zep-cli dump TESTSETFILE [--test KEY] [--settings FILE]" : error);
        return ExitUsage;
    }
    TerminalHost host;
    auto session =
        OpenTestSetOrReport(host, parsed.Positionals()[0], ReadCliSettings(parsed.Value("settings")));
    if (!session) return ExitUsage;
    const TestModel& model = session->Model();

    std::string out = "{\n  \"groups\": [";
    for (size_t g = 0; g < model.Groups.size(); ++g) {
        out += g ? ",\n" : "\n";
        out += "    {\"name\": " + JsonString(model.Groups[g]) +
               ", \"tests\": " + Array(session->Loader().TestListAt(g), TestEntryJson, "    ") + "}";
    }
    out += model.Groups.empty() ? "],\n" : "\n  ],\n";
    out += "  \"setVariables\": " + Array(model.SetVariables, Variable, "  ") + ",\n";
    out += "  \"messageFile\": " + JsonString(model.MessageFilePath) + ",\n";

    bool loaded = false;
    if (auto key = parsed.Value("test")) {
        const TestEntry entry = session->EntryForKey(*key);
        if (!entry.Heading) {
            session->SelectTest(entry);
            loaded = true;
        }
    }
    if (!loaded) {
        out += "  \"testCase\": null,\n";
    } else {
        out += "  \"testCase\": {\n";
        out += "    \"found\": " + Bool(model.TestCaseFound) + ",\n";
        out += "    \"path\": " + JsonString(model.TestCasePath) + ",\n";
        out += "    \"noOpc\": " + Bool(model.NoOpc) + ",\n";
        out += "    \"instruments\": " + Array(model.Instruments, Need, "    ") + ",\n";
        out += "    \"blocks\": " + Array(model.Blocks, Block, "    ") + ",\n";
        out += "    \"commands\": " + Array(model.Commands, Command, "    ") + ",\n";
        out += "    \"caseVariables\": " + Array(model.CaseVariables, Variable, "    ") + "\n";
        out += "  },\n";
    }
    out += "  \"messages\": " + Array(session->Report().PlainLines(), JsonString, "  ") + ",\n";
    const std::vector<LoadFinding> none;
    out +=
        "  \"diagnostics\": " + Array(loaded ? session->Loader().Findings() : none, Finding, "  ") + "\n}\n";
    WriteOut(out);
    return ExitOk;
}

} // namespace zep::cli
