// The report entries that the rest of the system writes: test and block lines, results of every
// command kind, timing, error entries, and the error notifications of the main window.
#pragma once

#include "host/Host.h"
#include "report/ReportDocument.h"
#include "report/ReportOptions.h"
#include "testdef/LoadFinding.h"
#include "testdef/TestModel.h"

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zep {

// Errors for the user: a message box, or the remote controller while one is connected. Texts that
// stop a run are collected and shown together with the next flushed one.
class ErrorNotifier {
  public:
    // Takes a text in place of a message box and returns true while a remote controller is
    // connected; the remote receiver words it for the protocol.
    using RemoteSink = std::function<bool(std::string_view text)>;

    explicit ErrorNotifier(Host& host) : host_(host) {}

    void SetRemoteSink(RemoteSink sink) { remote_ = std::move(sink); }

    // Hands the text to the remote sink and returns MsgAnswer::None while it takes it; otherwise
    // shows a message box and returns the pressed button.
    int NotifyUser(std::string_view text, int style, std::string_view title);

    // Adds CR LF and text to the pending error text; on flush shows it (trimmed) titled "ERROR" with
    // the critical icon and empties it.
    void ReportError(std::string_view text, bool flush);

    const std::string& PendingErrors() const { return pending_; }
    // Forgets the collected text (a check that is tried again).
    void DiscardPending() { pending_.clear(); }

  private:
    Host& host_;
    RemoteSink remote_;
    std::string pending_;
};

// What the writers need besides their data: the report, the settings, the label width of the
// running block (1 + its longest result label), the error path and what raises the block-error flag.
struct ReportContext {
    ReportDocument& Report;
    const ReportOptions& Options;
    ErrorNotifier* Notifier = nullptr;
    size_t LabelWidth = 0;
    std::function<void()> RaiseBlockError; // called by error entries when StopOnBlockError is on

    std::string Padded(std::string_view label) const;
};

// 1 + the length of the longest Label among the block's lines that will be sent (Status not -1)
// and have a result.
size_t ComputeLabelWidth(std::span<const CommandLine> commands, int16_t blockIndex);

// Result lines of a command line are written when Results is on, the block runs one pass or
// OutputForLoop is on, and the line's NoStatistics flag is clear.
bool OutputOn(const ReportOptions& options, int loopCount, const CommandLine& line);

// First block of a test case: clears the report when ClearOnFirstCase is on, then the test name.
void WriteTestStart(ReportContext& context, std::string_view testText);
void WriteBlockStart(ReportContext& context, const BlockDef& block);

// Comment, calculation and limit lines, each under its output condition.
void WriteComment(ReportContext& context, const CommandLine& line, int loopCount);
void WriteCalculation(ReportContext& context, const CommandLine& line, int loopCount);
void WriteLimit(ReportContext& context, const CommandLine& line, int loopCount, double value);

// The result lines of an instrument command line, by its result kind (unconditional).
void WriteCommandResult(ReportContext& context, const CommandLine& line);
// WriteCommandResult under the output condition.
void WriteCommandFinished(ReportContext& context, const CommandLine& line, int loopCount);

// Per-line timing (TimeDetailed): times in ms, one per instrument of the test case.
void WriteTiming(ReportContext& context, const CommandLine& line, int loopCount,
                 std::span<const InstrumentNeed> instruments, std::span<const double> instrumentTimesMs);

// "done (N loops performed)" for loop runs without per-loop output.
void WriteLoopSummary(ReportContext& context, int loopCount);

// " - caption aborted - " or " - caption done -" (BlockState).
void WriteBlockEnd(ReportContext& context, const BlockDef& block, bool aborted);

// "Execution Time: " lines, or "no complete loop was executed" (Time). Times in ms, summed over
// the run; one per instrument of the test case.
void WriteExecutionTimes(ReportContext& context, int loopCount, double totalMs,
                         std::span<const InstrumentNeed> instruments, std::span<const double> instrumentMs);

// The rule of 53 underscores that closes a block (Time).
void WriteClosingRule(ReportContext& context);

// "Parser error" entry; the detail line is written when not empty.
void ShowParserError(ReportDocument& report, std::string_view message, std::string_view detail = {});
// The "Parser error" entries of what a test-case load found, in order.
void ShowParserErrors(ReportDocument& report, std::span<const LoadFinding> findings);
// The same, and sets the block-error flag when StopOnBlockError is on.
void ShowParserError(ReportContext& context, std::string_view message, std::string_view detail = {});

// "ERROR" entry of an instrument error of a line; sets the block-error flag when StopOnBlockError is on.
void ShowInstrumentError(ReportContext& context, const CommandLine& line, std::string_view instrumentName);

// Formats seconds as the timing lines do ("##0.000").
std::string FormatSeconds(double seconds, const FormatOptions& options);

} // namespace zep
