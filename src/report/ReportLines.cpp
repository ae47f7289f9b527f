// The report entries that the rest of the system writes.
#include "report/ReportLines.h"

#include "common/StringOp.h"
#include "common/Utf8.h"
#include "report/ValueFormat.h"

#include <algorithm>

namespace zep {

namespace {

constexpr std::string_view kClosingRule = "_____________________________________________________";

void RaiseBlockError(ReportContext& context) {
    if (context.Options.StopOnBlockError && context.RaiseBlockError) context.RaiseBlockError();
}

bool SinglePassOrPerLoop(const ReportOptions& options, int loopCount) {
    return loopCount < 2 || options.OutputForLoop;
}

std::vector<std::string> SplitAtCrLf(std::string_view text) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const size_t end = text.find("\r\n", start);
        if (end == std::string_view::npos) {
            parts.emplace_back(text.substr(start));
            return parts;
        }
        parts.emplace_back(text.substr(start, end - start));
        start = end + 2;
    }
}

void WriteAcpTable(ReportContext& context, const CommandLine& line) {
    ReportDocument& report = context.Report;
    const auto parts = SplitValue(line.Result.Value, ',');
    if (parts.empty()) return;
    const FormatOptions& format = context.Options.Format;
    report.AddResult(line.Label, true);
    report.AddResult("Main channel: \\B " + AntFormat(parts[0], ResultKind::Number, "dBm", false, format),
                     true);
    // Each pair is written upper channel first.
    static constexpr std::string_view kNames[] = {"ACP", "ALT1", "ALT2"};
    for (size_t pair = 0; pair < 3; ++pair) {
        const size_t low = 1 + 2 * pair;
        const size_t up = low + 1;
        if (parts.size() <= up) break;
        report.AddResult(std::string(kNames[pair]) + " Up: \\B " +
                             AntFormat(parts[up], ResultKind::Number, "dB", false, format),
                         true);
        report.AddResult(std::string(kNames[pair]) + " Low: \\B " +
                             AntFormat(parts[low], ResultKind::Number, "dB", false, format),
                         true);
    }
}

void WriteMarkerSum(ReportContext& context, const CommandLine& line) {
    ReportDocument& report = context.Report;
    report.AddResult(line.Label, true, true);
    const auto parts = SplitListValue(line.Result.Value);
    for (size_t i = 0; i < parts.size(); ++i) {
        report.AddResult(
            PadLabel("Marker " + FormatNumber(static_cast<double>(i + 1), "000"), '.', context.LabelWidth),
            false);
        report.AddResult(AntFormat(parts[i], ResultKind::MSUM, line.Result.Argument, !line.Result.NoScaling,
                                   context.Options.Format, line.Result.Format),
                         true);
    }
}

} // namespace

int ErrorNotifier::NotifyUser(std::string_view text, int style, std::string_view title) {
    if (remote_ && remote_(text)) return MsgAnswer::None;
    return host_.MessageBox(text, style, title);
}

void ErrorNotifier::ReportError(std::string_view text, bool flush) {
    pending_ += "\r\n";
    pending_ += text;
    if (!flush) return;
    const std::string message = StripText(pending_);
    pending_.clear();
    NotifyUser(message, MsgStyle::Critical, "ERROR");
}

std::string ReportContext::Padded(std::string_view label) const {
    return PadLabel(label, '.', LabelWidth);
}

size_t ComputeLabelWidth(std::span<const CommandLine> commands, int16_t blockIndex) {
    size_t longest = 0;
    for (const auto& line : commands)
        if (line.BlockIndex == blockIndex && line.Status != -1 && line.Result.Kind != ResultKind::NoResult)
            longest = std::max(longest, utf8::Length(line.Label));
    return longest + 1;
}

bool OutputOn(const ReportOptions& options, int loopCount, const CommandLine& line) {
    return options.Results && SinglePassOrPerLoop(options, loopCount) && !line.Result.NoStatistics;
}

void WriteTestStart(ReportContext& context, std::string_view testText) {
    if (context.Options.ClearOnFirstCase) context.Report.Clear();
    if (!context.Options.TestName) return;
    context.Report.AddResult(testText, true, true, false, true, Colour::Black, Alignment::Centre);
    context.Report.AddResult("", true, true, false, true, Colour::Black, Alignment::Centre);
}

void WriteBlockStart(ReportContext& context, const BlockDef& block) {
    if (!context.Options.BlockState) return;
    context.Report.AddResult(" - " + block.Caption + " started - ", true, false, false, false, Colour::Black,
                             Alignment::Centre);
    context.Report.AddResult("", true);
}

void WriteComment(ReportContext& context, const CommandLine& line, int loopCount) {
    if (!OutputOn(context.Options, loopCount, line)) return;
    context.Report.AddResult(line.CommandText, true, false, true);
}

void WriteCalculation(ReportContext& context, const CommandLine& line, int loopCount) {
    if (!OutputOn(context.Options, loopCount, line)) return;
    context.Report.AddResult(context.Padded(line.Label), false);
    context.Report.AddResult(StripText(line.Result.ValueText), true, true);
}

void WriteLimit(ReportContext& context, const CommandLine& line, int loopCount, double value) {
    const ReportOptions& options = context.Options;
    if (!options.LimitResult || !SinglePassOrPerLoop(options, loopCount) || line.Result.NoStatistics) return;
    context.Report.AddResult(context.Padded(line.Label), false);
    if (value != 0)
        context.Report.AddResult("PASSED", true, true, false, false, Colour::Black, Alignment::Left,
                                 Colour::Green);
    else
        context.Report.AddResult("FAILED", true, true, false, false, Colour::Black, Alignment::Left,
                                 Colour::Red);
}

void WriteCommandResult(ReportContext& context, const CommandLine& line) {
    ReportDocument& report = context.Report;
    switch (line.Result.Kind) {
    case ResultKind::ACPTab:
        WriteAcpTable(context, line);
        return;
    case ResultKind::MSUM:
        WriteMarkerSum(context, line);
        return;
    case ResultKind::BinFile:
        report.AddResult(line.Label, true);
        report.AddResult(std::to_string(line.Result.Value.size()) + " bytes transfered", true, true);
        return;
    default:
        report.AddResult(context.Padded(line.Label), false);
        report.AddResult(StripText(line.Result.ValueText), true, true);
        return;
    }
}

void WriteCommandFinished(ReportContext& context, const CommandLine& line, int loopCount) {
    if (OutputOn(context.Options, loopCount, line)) WriteCommandResult(context, line);
}

std::string FormatSeconds(double seconds, const FormatOptions& options) {
    return FormatNumber(seconds, "##0.000", options.DecimalSymbol);
}

void WriteTiming(ReportContext& context, const CommandLine& line, int loopCount,
                 std::span<const InstrumentNeed> instruments, std::span<const double> instrumentTimesMs) {
    if (!context.Options.TimeDetailed || line.Result.Kind == ResultKind::NoResult) return;
    ReportDocument& report = context.Report;
    if (loopCount < 2) report.AddResult("Timing for " + line.Label, true, true);
    for (size_t i = 0; i < instruments.size(); ++i) {
        const double ms = i < instrumentTimesMs.size() ? instrumentTimesMs[i] : 0.0;
        report.AddResult(instruments[i].Name + ": " + FormatSeconds(ms / 1000, context.Options.Format) +
                             " s ",
                         false, false, false, false, Colour::Black, Alignment::Centre);
    }
    report.AddResult("", true);
}

void WriteLoopSummary(ReportContext& context, int loopCount) {
    if (loopCount < 2 || context.Options.OutputForLoop) return;
    context.Report.AddResult("", true, true);
    context.Report.AddResult("done (" + std::to_string(loopCount) + " loops performed)", true, true);
}

void WriteBlockEnd(ReportContext& context, const BlockDef& block, bool aborted) {
    if (!context.Options.BlockState) return;
    context.Report.AddResult("", true);
    context.Report.AddResult(aborted ? " - " + block.Caption + " aborted - "
                                     : " - " + block.Caption + " done -",
                             true, false, false, false, Colour::Black, Alignment::Centre);
}

void WriteExecutionTimes(ReportContext& context, int loopCount, double totalMs,
                         std::span<const InstrumentNeed> instruments, std::span<const double> instrumentMs) {
    if (!context.Options.Time) return;
    ReportDocument& report = context.Report;
    if (loopCount < 1) {
        report.AddResult("no complete loop was executed", true, true, false, true, Colour::Black,
                         Alignment::Centre);
        return;
    }
    const FormatOptions& format = context.Options.Format;
    report.AddResult("Execution Time: " + FormatSeconds(totalMs / 1000 / loopCount, format) + " s", true,
                     true, false, false, Colour::DarkGreen, Alignment::Centre);
    for (size_t i = 0; i < instruments.size(); ++i) {
        const double ms = i < instrumentMs.size() ? instrumentMs[i] : 0.0;
        report.AddResult(instruments[i].Name + ": " + FormatSeconds(ms / 1000 / loopCount, format) + " s",
                         true, false, true, false, Colour::DarkGreen, Alignment::Centre);
    }
}

void WriteClosingRule(ReportContext& context) {
    if (!context.Options.Time) return;
    context.Report.AddResult(kClosingRule, true, true, false, true, Colour::Black, Alignment::Centre);
    context.Report.AddResult("", true, true, false, true, Colour::Black, Alignment::Centre);
}

void ShowParserError(ReportDocument& report, std::string_view message, std::string_view detail) {
    report.AddResult("Parser error", true, true, true, false, Colour::Red);
    report.AddResult("  " + std::string(message), true, false, false, false, Colour::Red);
    if (!detail.empty()) report.AddResult("  " + std::string(detail), true, false, false, false, Colour::Red);
}

void ShowParserErrors(ReportDocument& report, std::span<const LoadFinding> findings) {
    for (const auto& finding : findings)
        ShowParserError(report, finding.Message, finding.Detail);
}

void ShowParserError(ReportContext& context, std::string_view message, std::string_view detail) {
    ShowParserError(context.Report, message, detail);
    RaiseBlockError(context);
}

void ShowInstrumentError(ReportContext& context, const CommandLine& line, std::string_view instrumentName) {
    ReportDocument& report = context.Report;
    report.AddResult("ERROR", true, true, false, false, Colour::Red);
    report.AddResult("  Instrument : " + std::string(instrumentName), true, false, false, false, Colour::Red);
    report.AddResult("  Command    : " + line.CommandText, true, false, false, false, Colour::Red);
    const auto parts = SplitAtCrLf(line.ErrorText);
    for (size_t i = 0; i < parts.size(); ++i)
        report.AddResult((i == 0 ? "  Error      : " : "               ") + parts[i], true, false, false,
                         false, Colour::Red);
    RaiseBlockError(context);
}

} // namespace zep
