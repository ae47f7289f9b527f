// zep-cli run: selects a test and runs its blocks as the block buttons do, against instruments or
// in simulation; prints the report and writes it, JUnit and JSON results where asked.
#include "cli/CliArgs.h"
#include "cli/CliCommands.h"
#include "cli/CliTestSet.h"
#include "cli/TerminalHost.h"
#include "common/Json.h"
#include "common/StringOp.h"
#include "common/TextFile.h"
#include "discovery/DeviceCache.h"
#include "report/ReportStore.h"
#include "report/Statistics.h"

#include <charconv>
#include <cstdio>

namespace zep::cli {

namespace {

constexpr std::string_view RunUsage =
    "usage: zep-cli run TESTSETFILE --test KEY [--group NAME] [--block CAPTION]... [--all] [--loops N] "
    "[--simulate] [--step] [--reset NAME]... [--report FILE]... [--junit FILE] [--json FILE] "
    "[--settings FILE] [--registry FILE] [--visa V]";

// What one run block left: its state and the lines that failed.
struct BlockOutcome {
    size_t Index = 0;
    bool Refused = false;
    bool Aborted = false;
    std::vector<std::string> Failures; // "label: error text detail" or "label: FAILED"
    double Seconds = 0;
};

bool LineFailed(const CommandLine& line) {
    if (line.Status == -1 || line.Result.ValueText == "NO CONTROL") return false;
    if (line.InstrumentIndex == -CommandKindCode::Limit) return line.Result.ValueText == "FAILED";
    return !line.ErrorText.empty() && line.ErrorText != "(OK)";
}

std::string LineName(const CommandLine& line) {
    return line.Label.empty() ? line.CommandText : line.Label;
}

std::string XmlText(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r')
                out += ' ';
            else
                out += c;
        }
    }
    return out;
}

std::string Seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", s);
    return text;
}

std::string JUnit(const Session& session, const std::vector<BlockOutcome>& outcomes) {
    const TestModel& model = session.Model();
    size_t failures = 0, errors = 0;
    double total = 0;
    for (const auto& outcome : outcomes) {
        if (outcome.Refused || outcome.Aborted)
            ++errors;
        else if (!outcome.Failures.empty())
            ++failures;
        total += outcome.Seconds;
    }
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites>\n";
    xml += "  <testsuite name=\"" + XmlText(model.SelectedTestKey) + "\" tests=\"" +
           std::to_string(outcomes.size()) + "\" failures=\"" + std::to_string(failures) + "\" errors=\"" +
           std::to_string(errors) + "\" time=\"" + Seconds(total) + "\">\n";
    for (const auto& outcome : outcomes) {
        const BlockDef& block = model.Blocks[outcome.Index];
        xml += "    <testcase classname=\"" + XmlText(model.SelectedTestKey) + "\" name=\"" +
               XmlText(block.Caption) + "\" time=\"" + Seconds(outcome.Seconds) + "\"";
        std::string details;
        for (const auto& failure : outcome.Failures)
            details += failure + "\n";
        if (outcome.Refused) {
            xml += ">\n      <error message=\"run refused: instruments missing\"/>\n";
        } else if (outcome.Aborted) {
            xml += ">\n      <error message=\"aborted\">" + XmlText(details) + "</error>\n";
        } else if (!outcome.Failures.empty()) {
            xml += ">\n      <failure message=\"" + XmlText(outcome.Failures.front()) + "\">" +
                   XmlText(details) + "</failure>\n";
        } else {
            xml += "/>\n";
            continue;
        }
        xml += "    </testcase>\n";
    }
    xml += "  </testsuite>\n</testsuites>\n";
    return xml;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

std::string Json(Session& session, const std::vector<BlockOutcome>& outcomes) {
    const TestModel& model = session.Model();
    std::string json = "{\n  \"test\": " + JsonString(model.SelectedTestKey) +
                       ",\n  \"text\": " + JsonString(model.SelectedTestText) + ",\n  \"blocks\": [";
    for (size_t b = 0; b < outcomes.size(); ++b) {
        const BlockOutcome& outcome = outcomes[b];
        const BlockDef& block = model.Blocks[outcome.Index];
        const char* state = outcome.Refused ? "refused" : outcome.Aborted ? "aborted" : "done";
        json += std::string(b ? "," : "") + "\n    {\"caption\": " + JsonString(block.Caption) +
                ", \"state\": \"" + state + "\", \"loops\": " + std::to_string(block.LoopCount) +
                ", \"time\": " + Number(outcome.Seconds) + ",\n     \"lines\": [";
        bool first = true;
        std::string statistics;
        for (size_t i = 0; i < model.Commands.size(); ++i) {
            const CommandLine& line = model.Commands[i];
            if (line.BlockIndex != static_cast<int16_t>(outcome.Index)) continue;
            const bool limit = line.InstrumentIndex == -CommandKindCode::Limit;
            const std::string verdict = line.Status == -1                       ? "suppressed"
                                        : line.Result.ValueText == "NO CONTROL" ? "no control"
                                        : limit ? (line.Result.ValueText == "FAILED" ? "FAILED" : "PASSED")
                                        : LineFailed(line) ? "failed"
                                        : line.Status == 2 ? "ok"
                                                           : "not run";
            json += std::string(first ? "" : ",") + "\n       {\"label\": " + JsonString(line.Label) +
                    ", \"command\": " + JsonString(line.CommandText) +
                    ", \"value\": " + JsonString(line.Result.Value) + ", \"unit\": " +
                    JsonString(line.Result.Kind == ResultKind::Number ? line.Result.Argument : "") +
                    ", \"verdict\": " + JsonString(verdict) +
                    ", \"errorText\": " + JsonString(line.ErrorText) +
                    ", \"errorDetail\": " + JsonString(line.ErrorDetail) +
                    ", \"time\": " + Number(line.LastTime) + "}";
            first = false;
            const auto& histories = session.Runner().Histories();
            if (block.LoopCount >= 2 && i < histories.size() && HasValues(histories[i].Values)) {
                const auto series = HistorySeries(histories[i].Values);
                const StatisticsRecord record = ComputeRecord(series);
                statistics +=
                    std::string(statistics.empty() ? "" : ",") +
                    "\n       {\"label\": " + JsonString(line.Label) +
                    ", \"count\": " + std::to_string(series.size()) + ", \"max\": " + Number(record.Maximum) +
                    ", \"min\": " + Number(record.Minimum) + ", \"mean\": " + Number(record.Mean) +
                    ", \"median\": " + Number(record.Median) + ", \"stdDev\": " + Number(record.StdDev) + "}";
            }
        }
        json += "],\n     \"statistics\": [" + statistics + "]}";
    }
    json += "\n  ]\n}\n";
    return json;
}

} // namespace

int RunRun(const Args& args) {
    CliArgs parsed;
    if (auto error = parsed.Parse(args,
                                  {"test", "group", "block", "loops", "reset", "report", "junit", "json",
                                   "settings", "registry", "visa"},
                                  {"all", "simulate", "step"}, {"block", "reset", "report"});
        !error.empty() || parsed.Positionals().size() != 1 || !parsed.Value("test")) {
        PrintError(error.empty() ? std::string(RunUsage) : error);
        return ExitUsage;
    }
    if (parsed.Flag("all") == !parsed.Values("block").empty()) {
        PrintError("name the blocks to run with --block CAPTION, or run them all with --all");
        return ExitUsage;
    }
    std::optional<int> loops;
    if (auto text = parsed.Value("loops")) {
        int value = 0;
        const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
        if (ec != std::errc() || end != text->data() + text->size() || value < 0) {
            PrintError("--loops \"" + *text + "\" is not a loop count (0 or more)");
            return ExitUsage;
        }
        loops = value;
    }
    Settings settings = ReadCliSettings(parsed.Value("settings"));
    if (parsed.Flag("simulate")) settings.Simulation = true;
    settings.StepByStep = parsed.Flag("step");
    const bool simulation = settings.Simulation;

    TerminalHost host;
    host.ShowScanLines(false); // standard output holds the report alone
    auto session = OpenTestSetOrReport(host, parsed.Positionals()[0], std::move(settings));
    if (!session) return ExitUsage;
    TestModel& model = session->Model();

    const std::string key = *parsed.Value("test");
    std::optional<TestEntry> entry;
    if (auto group = parsed.Value("group")) {
        for (size_t g = 0; g < model.Groups.size() && !entry; ++g) {
            if (model.Groups[g] != *group) continue;
            for (const auto& candidate : session->Loader().TestListAt(g))
                if (candidate.Key == key && !candidate.Heading) entry = candidate;
        }
        if (!entry) {
            PrintError("test \"" + key + "\" not found in group \"" + *group + "\"");
            return ExitUsage;
        }
    } else {
        entry = session->EntryForKey(key);
    }
    if (entry->Heading) {
        PrintError("\"" + key + "\" is a heading of the test list, not a test");
        return ExitUsage;
    }
    if (!session->SelectTest(*entry)) {
        PrintError("test \"" + key + "\" not found");
        return ExitUsage;
    }
    for (const auto& finding : session->Loader().Findings())
        std::fprintf(stderr, "%s\n", ForStream(stderr, FindingLine(finding)).c_str());

    // No instruments panel here: every instrument counts as used, and --reset marks one for reset.
    for (auto& need : model.Instruments)
        need.Used = true;
    for (const auto& name : parsed.Values("reset")) {
        bool found = false;
        for (auto& need : model.Instruments)
            if (EqualsIgnoreCase(need.Name, name)) found = need.ResetMarked = true;
        if (!found) {
            PrintError("--reset " + name + ": the test case has no instrument of that name");
            return ExitUsage;
        }
    }
    std::vector<size_t> blocks;
    if (parsed.Flag("all")) {
        for (size_t b = 0; b < model.Blocks.size(); ++b)
            blocks.push_back(b);
    } else {
        for (const auto& caption : parsed.Values("block")) {
            size_t b = 0;
            while (b < model.Blocks.size() && model.Blocks[b].Caption != caption &&
                   model.Blocks[b].Name != caption)
                ++b;
            if (b == model.Blocks.size()) {
                PrintError("the test case has no block \"" + caption + "\"");
                return ExitUsage;
            }
            blocks.push_back(b);
        }
    }

    std::unique_ptr<DeviceCache> cache;
    if (!simulation && !UseInstruments(*session, parsed.Value("visa"), parsed.Value("registry"), cache))
        return ExitUsage;
    session->PrepareRun(cache.get());
    session->Runner().StepMode = session->GetSettings().StepByStep;
    host.SetNextHandler([&] { session->Runner().PressNext(); });
    // Ctrl+C and SIGTERM stop the run as the stop button does; the report is still written.
    host.SetInterruptHandler([&] { session->BlockError() = true; });

    std::vector<BlockOutcome> outcomes;
    for (const size_t b : blocks) {
        BlockDef& block = model.Blocks[b];
        if (loops) block.LoopCount = static_cast<int16_t>(*loops);
        session->BlockError() = false;
        session->Notifier().DiscardPending();
        session->Runner().Go(static_cast<int>(b));
        BlockOutcome outcome;
        outcome.Index = b;
        outcome.Refused = block.RunState != 2 && block.RunState != 3;
        outcome.Aborted = block.RunState == 3;
        outcome.Seconds = session->Runner().TotalMs() / 1000.0;
        for (const auto& line : model.Commands) {
            if (line.BlockIndex != static_cast<int16_t>(b) || !LineFailed(line)) continue;
            const bool limit = line.InstrumentIndex == -CommandKindCode::Limit;
            outcome.Failures.push_back(
                LineName(line) + ": " +
                (limit ? std::string("FAILED") : line.ErrorText + " " + line.ErrorDetail));
        }
        outcomes.push_back(outcome);
        if (outcome.Refused) break; // the instruments are missing for every further block as well
    }

    WriteOut(session->Report().VisiblePlainText());
    int status = ExitOk;
    for (const auto& outcome : outcomes)
        if (outcome.Refused || outcome.Aborted || !outcome.Failures.empty()) status = ExitFailed;
    for (const auto& file : parsed.Values("report")) {
        if (auto error = StoreReport(session->Report(), file); !error.empty()) {
            PrintError(error);
            status = ExitUsage;
        }
    }
    if (auto file = parsed.Value("junit")) {
        if (auto error = WriteFileAtomically(*file, JUnit(*session, outcomes)); !error.empty()) {
            PrintError(error);
            status = ExitUsage;
        }
    }
    if (auto file = parsed.Value("json")) {
        if (auto error = WriteFileAtomically(*file, Json(*session, outcomes)); !error.empty()) {
            PrintError(error);
            status = ExitUsage;
        }
    }
    return status;
}

} // namespace zep::cli
