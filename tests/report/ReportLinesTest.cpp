// Every report line kind, byte for byte in RTF, and the error notifications.
#include "report/ReportLines.h"
#include "FakeHost.h"

#include <gtest/gtest.h>

namespace zep {
namespace {

class ReportLinesTest : public ::testing::Test {
  protected:
    ReportDocument report;
    ReportOptions options;
    test::FakeHost host;
    ErrorNotifier notifier{host};
    bool blockError = false;
    ReportContext context{report, options, &notifier, 8, [this] { blockError = true; }};

    // The groups written so far, as RTF (the buffer after its colour table).
    std::string Rtf() const { return std::string(report.Rtf().Buffer().substr(RtfColourTable.size())); }

    static CommandLine Line(std::string label, int32_t kind, std::string value = {},
                            std::string valueText = {}) {
        CommandLine line;
        line.Label = std::move(label);
        line.CommandText = "MEAS?";
        line.Result.Kind = kind;
        line.Result.Value = std::move(value);
        line.Result.ValueText = std::move(valueText);
        return line;
    }
};

TEST_F(ReportLinesTest, TestStartClearsAndWritesTheName) {
    report.AddResult("old", true);
    WriteTestStart(context, "Power {sweep}");
    EXPECT_EQ(Rtf(), "{\\b\\ul\\cf1\\qc Power \\{sweep\\}\\par}{\\b\\ul\\cf1\\qc \\par}");
    options.ClearOnFirstCase = false;
    options.TestName = false;
    WriteTestStart(context, "ignored");
    EXPECT_EQ(report.PlainText(), "Power {sweep}\n\n");
}

TEST_F(ReportLinesTest, BlockStartAndEnd) {
    BlockDef block;
    block.Caption = "Setup";
    WriteBlockStart(context, block);
    WriteBlockEnd(context, block, false);
    WriteBlockEnd(context, block, true);
    EXPECT_EQ(Rtf(), "{\\cf1\\qc  - Setup started - \\par}{\\cf1\\ql \\par}"
                     "{\\cf1\\ql \\par}{\\cf1\\qc  - Setup done -\\par}"
                     "{\\cf1\\ql \\par}{\\cf1\\qc  - Setup aborted - \\par}");
    options.BlockState = false;
    const std::string before = Rtf();
    WriteBlockStart(context, block);
    WriteBlockEnd(context, block, false);
    EXPECT_EQ(Rtf(), before);
}

TEST_F(ReportLinesTest, CommentCalculationAndLimitFollowTheOutputCondition) {
    CommandLine comment = Line("", ResultKind::NoResult);
    comment.CommandText = "Check the cable";
    CommandLine calc = Line("Gain", ResultKind::Number, "3", " +3.000 dB\r\n");
    CommandLine limit = Line("Gain ok", ResultKind::NoResult);
    WriteComment(context, comment, 1);
    WriteCalculation(context, calc, 1);
    WriteLimit(context, limit, 1, 1);
    WriteLimit(context, limit, 1, 0);
    EXPECT_EQ(Rtf(), "{\\i\\cf1\\ql Check the cable\\par}"
                     "{\\cf1\\ql Gain....}{\\b\\cf1\\ql +3.000 dB\\par}"
                     "{\\cf1\\ql Gain ok.}{\\b\\cf1\\highlight3\\ql PASSED\\par}"
                     "{\\cf1\\ql Gain ok.}{\\b\\cf1\\highlight2\\ql FAILED\\par}");

    // In loops without per-loop output, with NoStatistics, or with the item off: nothing.
    const std::string before = Rtf();
    WriteComment(context, comment, 3);
    WriteCalculation(context, calc, 2);
    WriteLimit(context, limit, 2, 1);
    comment.Result.NoStatistics = calc.Result.NoStatistics = limit.Result.NoStatistics = true;
    WriteComment(context, comment, 1);
    WriteCalculation(context, calc, 1);
    WriteLimit(context, limit, 1, 1);
    EXPECT_EQ(Rtf(), before);

    // Limits do not depend on Results; per-loop output brings loop lines back.
    comment.Result.NoStatistics = calc.Result.NoStatistics = limit.Result.NoStatistics = false;
    options.Results = false;
    WriteLimit(context, limit, 1, 1);
    WriteCalculation(context, calc, 1);
    EXPECT_TRUE(report.PlainText().ends_with("Gain ok.PASSED\n"));
    options.Results = true;
    options.OutputForLoop = true;
    WriteComment(context, comment, 5);
    EXPECT_TRUE(report.PlainText().ends_with("Check the cable\n"));
}

TEST_F(ReportLinesTest, CommandResultByKind) {
    struct Case {
        CommandLine line;
        const char* rtf;
    };
    CommandLine markers = Line("Peaks", ResultKind::MSUM, "1.5;-2;0.001");
    markers.Result.Argument = "dBm";
    markers.Result.NoScaling = true;
    CommandLine scaled = Line("Peaks", ResultKind::MSUM, "0.001");
    scaled.Result.Argument = "W";
    const Case cases[] = {
        {Line("Id", ResultKind::String, "R&S,X", "  R&S,X\r\n"),
         "{\\cf1\\ql Id......}{\\b\\cf1\\ql R&S,X\\par}"},
        {Line("Level", ResultKind::Number, "0.0015", "+1.500 mV"),
         "{\\cf1\\ql Level...}{\\b\\cf1\\ql +1.500 mV\\par}"},
        {Line("Ok", ResultKind::Boolean0_OK, "0", "PASS"), "{\\cf1\\ql Ok......}{\\b\\cf1\\ql PASS\\par}"},
        {Line("Trace", ResultKind::BinFile, "abcdef"),
         "{\\cf1\\ql Trace\\par}{\\b\\cf1\\ql 6 bytes transfered\\par}"},
        {Line("ACP", ResultKind::ACPTab, ""), ""},
        {Line("ACP", ResultKind::ACPTab, "-10,-45"),
         "{\\cf1\\ql ACP\\par}{\\cf1\\ql Main channel: \\\\B -10.000 dBm\\par}"},
        {Line("ACP", ResultKind::ACPTab, "-10,-45,-46"),
         "{\\cf1\\ql ACP\\par}{\\cf1\\ql Main channel: \\\\B -10.000 dBm\\par}"
         "{\\cf1\\ql ACP Up: \\\\B -46.000 dB\\par}{\\cf1\\ql ACP Low: \\\\B -45.000 dB\\par}"},
        {Line("ACP", ResultKind::ACPTab, "1,2,3,4,5,6,7"),
         "{\\cf1\\ql ACP\\par}{\\cf1\\ql Main channel: \\\\B +1.000 dBm\\par}"
         "{\\cf1\\ql ACP Up: \\\\B +3.000 dB\\par}{\\cf1\\ql ACP Low: \\\\B +2.000 dB\\par}"
         "{\\cf1\\ql ALT1 Up: \\\\B +5.000 dB\\par}{\\cf1\\ql ALT1 Low: \\\\B +4.000 dB\\par}"
         "{\\cf1\\ql ALT2 Up: \\\\B +7.000 dB\\par}{\\cf1\\ql ALT2 Low: \\\\B +6.000 dB\\par}"},
        {markers, "{\\b\\cf1\\ql Peaks\\par}"
                  "{\\cf1\\ql Marker 001}{\\cf1\\ql +1.500 dBm\\par}"
                  "{\\cf1\\ql Marker 002}{\\cf1\\ql -2.000 dBm\\par}"
                  "{\\cf1\\ql Marker 003}{\\cf1\\ql +0.001 dBm\\par}"},
        {scaled, "{\\b\\cf1\\ql Peaks\\par}{\\cf1\\ql Marker 001}{\\cf1\\ql +1.000 mW\\par}"},
    };
    for (const auto& c : cases) {
        report.Clear();
        WriteCommandResult(context, c.line);
        EXPECT_EQ(Rtf(), c.rtf) << c.line.Label << " " << c.line.Result.Value;
    }
    // The ACP labels show their backslash once in the plain text.
    report.Clear();
    WriteCommandResult(context, cases[5].line);
    EXPECT_EQ(report.PlainText(), "ACP\nMain channel: \\B -10.000 dBm\n");
}

TEST_F(ReportLinesTest, CommandFinishedOnlyWithOutputOn) {
    const CommandLine line = Line("Level", ResultKind::Number, "1", "+1.000 V");
    WriteCommandFinished(context, line, 3);
    EXPECT_TRUE(report.Empty());
    WriteCommandFinished(context, line, 1);
    EXPECT_EQ(report.PlainText(), "Level...+1.000 V\n");
}

TEST_F(ReportLinesTest, TimingLines) {
    options.TimeDetailed = true;
    std::vector<InstrumentNeed> instruments(2);
    instruments[0].Name = "Gen";
    instruments[1].Name = "Ana";
    const std::vector<double> times = {1234.5, 0};
    const CommandLine line = Line("Level", ResultKind::Number);
    WriteTiming(context, line, 1, instruments, times);
    EXPECT_EQ(Rtf(), "{\\b\\cf1\\ql Timing for Level\\par}{\\cf1\\qc Gen: 1.235 s }{\\cf1\\qc Ana: 0.000 s }"
                     "{\\cf1\\ql \\par}");
    report.Clear();
    WriteTiming(context, line, 4, instruments, times);
    EXPECT_EQ(report.PlainText(), "Gen: 1.235 s Ana: 0.000 s \n");
    report.Clear();
    WriteTiming(context, Line("none", ResultKind::NoResult), 1, instruments, times);
    options.TimeDetailed = false;
    WriteTiming(context, line, 1, instruments, times);
    EXPECT_TRUE(report.Empty());
}

TEST_F(ReportLinesTest, BlockFinishLines) {
    std::vector<InstrumentNeed> instruments(1);
    instruments[0].Name = "Gen";
    const std::vector<double> ms = {1500};
    WriteLoopSummary(context, 3);
    WriteExecutionTimes(context, 3, 4500, instruments, ms);
    WriteClosingRule(context);
    EXPECT_EQ(Rtf(), "{\\b\\cf1\\ql \\par}{\\b\\cf1\\ql done (3 loops performed)\\par}"
                     "{\\b\\cf6\\qc Execution Time: 1.500 s\\par}{\\i\\cf6\\qc Gen: 0.500 s\\par}"
                     "{\\b\\ul\\cf1\\qc _____________________________________________________\\par}"
                     "{\\b\\ul\\cf1\\qc \\par}");
    report.Clear();
    WriteLoopSummary(context, 1);
    WriteExecutionTimes(context, 0, 0, instruments, ms);
    EXPECT_EQ(Rtf(), "{\\b\\ul\\cf1\\qc no complete loop was executed\\par}");
    report.Clear();
    options.OutputForLoop = true;
    options.Time = false;
    WriteLoopSummary(context, 3);
    WriteExecutionTimes(context, 3, 4500, instruments, ms);
    WriteClosingRule(context);
    EXPECT_TRUE(report.Empty());
}

TEST_F(ReportLinesTest, ParserErrorEntries) {
    ShowParserError(report, "Unknown Block X in command", "X|Gen|*RST");
    ShowParserError(report, "No blocks defined");
    EXPECT_EQ(Rtf(), "{\\b\\i\\cf2\\ql Parser error\\par}{\\cf2\\ql   Unknown Block X in command\\par}"
                     "{\\cf2\\ql   X|Gen|*RST\\par}"
                     "{\\b\\i\\cf2\\ql Parser error\\par}{\\cf2\\ql   No blocks defined\\par}");
    EXPECT_FALSE(blockError);
    ShowParserError(context, "m");
    EXPECT_FALSE(blockError); // StopOnBlockError off
    options.StopOnBlockError = true;
    ShowParserError(context, "m", "d");
    EXPECT_TRUE(blockError);
}

TEST_F(ReportLinesTest, InstrumentErrorEntry) {
    CommandLine line = Line("Level", ResultKind::Number);
    line.CommandText = "SOUR:POW {x}";
    line.ErrorText = "-113,\"Undefined header\"\r\n-222,\"Data out of range\"";
    ShowInstrumentError(context, line, "Gen");
    EXPECT_EQ(Rtf(), "{\\b\\cf2\\ql ERROR\\par}{\\cf2\\ql   Instrument : Gen\\par}"
                     "{\\cf2\\ql   Command    : SOUR:POW \\{x\\}\\par}"
                     "{\\cf2\\ql   Error      : -113,\"Undefined header\"\\par}"
                     "{\\cf2\\ql                -222,\"Data out of range\"\\par}");
    EXPECT_FALSE(blockError);
    options.StopOnBlockError = true;
    ShowInstrumentError(context, line, "Gen");
    EXPECT_TRUE(blockError);
}

TEST_F(ReportLinesTest, BackslashInALabelShownOnce) {
    const CommandLine line = Line("C:\\dir", ResultKind::String, "x", "x");
    WriteCommandResult(context, line);
    EXPECT_EQ(Rtf(), "{\\cf1\\ql C:\\\\dir..}{\\b\\cf1\\ql x\\par}");
    EXPECT_EQ(report.PlainText(), "C:\\dir..x\n");
}

TEST_F(ReportLinesTest, LabelWidthOfTheLinesThatReport) {
    std::vector<CommandLine> lines = {Line("Short", ResultKind::Number),
                                      Line("Much longer", ResultKind::NoResult),
                                      Line("Suppressed label", ResultKind::Number), Line("Other block!", 1)};
    lines[2].Status = -1;
    lines[3].BlockIndex = 1;
    EXPECT_EQ(ComputeLabelWidth(lines, 0), 6U);
    EXPECT_EQ(ComputeLabelWidth(lines, 1), 13U);
}

TEST_F(ReportLinesTest, NotifyUserGoesToTheRemotePeerWhileConnected) {
    EXPECT_EQ(notifier.NotifyUser("Disk full", MsgStyle::Critical, "ERROR"), MsgAnswer::Ok);
    ASSERT_EQ(host.boxes.size(), 1U);
    EXPECT_EQ(host.boxes[0].text, "Disk full");
    EXPECT_EQ(host.boxes[0].title, "ERROR");
    // The sink declines while no controller is connected, and the box is shown.
    bool connected = false;
    std::vector<std::string> remote;
    notifier.SetRemoteSink([&](std::string_view text) {
        if (connected) remote.emplace_back(text);
        return connected;
    });
    EXPECT_EQ(notifier.NotifyUser("Disk full", MsgStyle::Critical, "ERROR"), MsgAnswer::Ok);
    EXPECT_EQ(host.boxes.size(), 2U);
    connected = true;
    EXPECT_EQ(notifier.NotifyUser("Disk full", MsgStyle::Critical, "ERROR"), MsgAnswer::None);
    EXPECT_EQ(host.boxes.size(), 2U);
    EXPECT_EQ(remote, std::vector<std::string>{"Disk full"});
}

TEST_F(ReportLinesTest, ReportErrorCollectsUntilFlushed) {
    notifier.ReportError("Option B21 missing", false);
    notifier.ReportError("Instrument Ana not found", false);
    EXPECT_TRUE(host.boxes.empty());
    notifier.ReportError("Missing instruments, sequence is not executed!", true);
    ASSERT_EQ(host.boxes.size(), 1U);
    EXPECT_EQ(
        host.boxes[0].text,
        "Option B21 missing\r\nInstrument Ana not found\r\nMissing instruments, sequence is not executed!");
    EXPECT_EQ(host.boxes[0].style, MsgStyle::Critical);
    EXPECT_EQ(host.boxes[0].title, "ERROR");
    EXPECT_TRUE(notifier.PendingErrors().empty());
    notifier.ReportError("No IEEE bus sequence loaded!", true);
    EXPECT_EQ(host.boxes.back().text, "No IEEE bus sequence loaded!");
}

} // namespace
} // namespace zep
