// Stored RTF reports opened by independent readers (unrtf, LibreOffice): the text they extract is
// our plain text, line for line.
#include "ChildProcess.h"
#include "FakeHost.h"
#include "common/TextFile.h"
#include "common/Utf8.h"
#include "report/ReportStore.h"
#include "report/Statistics.h"
#include "report/ValueFormat.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace zep {
namespace {

namespace fs = std::filesystem;

int Shell(const std::string& command) {
    return test::RunChild({"/bin/sh", "-c", command}, {}, 300000).exitCode;
}

bool HaveProgram(const std::string& name) {
    return Shell("command -v " + name + " >/dev/null 2>&1") == 0;
}

// Lines without trailing blanks or CR, trailing empty lines dropped.
std::vector<std::string> Normalised(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string line(text.substr(start, end - start));
        while (!line.empty() && (line.back() == ' ' || line.back() == '\r'))
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    while (!lines.empty() && lines.back().empty())
        lines.pop_back();
    return lines;
}

// unrtf writes characters beyond its code page as "&#N;" (the form our configuration asks for),
// a pair of them for characters beyond the BMP.
std::string DecodeNumericEntities(const std::string& text) {
    std::string out;
    uint32_t high = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "&#") == 0) {
            const size_t end = text.find(';', i);
            if (end != std::string::npos) {
                const uint32_t code = static_cast<uint32_t>(std::stoul(text.substr(i + 2, end - i - 2)));
                if (code >= 0xD800 && code <= 0xDBFF) {
                    high = code;
                } else if (code >= 0xDC00 && code <= 0xDFFF && high != 0) {
                    utf8::Append(out, 0x10000 + ((high - 0xD800) << 10) + (code - 0xDC00));
                    high = 0;
                } else {
                    utf8::Append(out, code);
                }
                i = end;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// LibreOffice's text export keeps runs of blanks by putting U+2006 (six-per-em space) before each.
std::string WithoutSixPerEmSpaces(std::string text) {
    for (size_t at; (at = text.find("\xE2\x80\x86")) != std::string::npos;)
        text.erase(at, 3);
    return text;
}

// unrtf's text output collapses runs of blanks, as HTML does.
std::vector<std::string> BlankRunsCollapsed(std::vector<std::string> lines) {
    for (auto& line : lines) {
        std::string collapsed;
        for (const char c : line)
            if (!(c == ' ' && !collapsed.empty() && collapsed.back() == ' ')) collapsed += c;
        line = collapsed;
    }
    return lines;
}

void ExpectSameLines(const std::vector<std::string>& read, const std::vector<std::string>& ours) {
    EXPECT_EQ(read.size(), ours.size());
    for (size_t i = 0; i < std::min(read.size(), ours.size()); ++i)
        EXPECT_EQ(read[i], ours[i]) << "line " << i + 1;
}

class InteropTest : public ::testing::Test {
  protected:
    fs::path dir = fs::temp_directory_path() / ("zep_interop_" + std::to_string(::getpid()));
    ReportDocument report;
    ReportOptions options;
    test::FakeHost host;
    ErrorNotifier notifier{host};
    bool blockError = false;

    void SetUp() override {
        fs::create_directories(dir);
        BuildReport();
    }
    void TearDown() override { fs::remove_all(dir); }

    static CommandLine Line(std::string label, int32_t kind, std::string value, std::string unit = {}) {
        CommandLine line;
        line.Label = std::move(label);
        line.CommandText = "MEAS:POW? {CH1}";
        line.Result.Kind = kind;
        line.Result.Value = std::move(value);
        line.Result.Argument = std::move(unit);
        const FormatOptions format;
        line.Result.ValueText =
            kind == ResultKind::String
                ? AntFormat(line.Result.Value, kind, line.Result.Argument, true, format)
                : AntFormatCompact(line.Result.Value, kind, line.Result.Argument, true, format);
        return line;
    }

    // Every line kind, colour, highlight and alignment, with braces, backslashes and text beyond ASCII.
    void BuildReport() {
        options.TimeDetailed = true;
        ReportContext context{report, options, &notifier, 14, [&] { blockError = true; }};
        std::vector<InstrumentNeed> instruments(2);
        instruments[0].Name = "Gen \xC2\xB5"
                              "W";
        instruments[1].Name = "Ana{1}";
        BlockDef block;
        block.Caption = "Power {sweep} \\ 1";

        WriteTestStart(context,
                       "Caf\xC3\xA9 test \xE2\x82\xAC \xCE\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80");
        WriteBlockStart(context, block);
        CommandLine comment = Line("", ResultKind::NoResult, "");
        comment.CommandText = "Connect {A} to C:\\port";
        WriteComment(context, comment, 1);
        CommandLine calc = Line("Gain\\dB", ResultKind::Number, "0.0015", "V");
        WriteCalculation(context, calc, 1);
        WriteLimit(context, Line("Limit {low}", ResultKind::NoResult, ""), 1, 1);
        WriteLimit(context, Line("Limit {high}", ResultKind::NoResult, ""), 1, 0);
        const CommandLine results[] = {
            Line("Identity", ResultKind::String, "Maker,Model \\ {X},123"),
            Line("Level", ResultKind::Number, "2.5e-6", "A"),
            Line("Ok", ResultKind::Boolean0_OK, "0"),
            Line("Trace", ResultKind::BinFile, "abcdef"),
            Line("ACP", ResultKind::ACPTab, "-10,-45,-46,-60,-61,-70,-71"),
            Line("Peaks", ResultKind::MSUM, "1.5e3;2e6;3e9", "Hz"),
        };
        for (const auto& line : results) {
            WriteCommandFinished(context, line, 1);
            const double times[] = {12.5, 1500};
            WriteTiming(context, line, 1, instruments, times);
        }
        ShowParserError(context, "Unknown Instrument \"X{}\" in command", "B1|X|*RST|\\lbl");
        CommandLine failing = Line("Level", ResultKind::Number, "");
        failing.ErrorText = "-113,\"Undefined header\"\r\n-222,\"Data out of range\"";
        ShowInstrumentError(context, failing,
                            "Gen \xC2\xB5"
                            "W");

        WriteLoopSummary(context, 3);
        LineHistory history;
        for (const char* v : {"1.5", "2.5", "3.5"})
            AppendHistory(history, v);
        const CommandLine level = Line("Level \xC2\xB5", ResultKind::Number, "1", "\xC2\xB5V");
        const StatisticsLine lines[] = {{&level, history.Values}};
        WriteStatisticsSection(context, lines, 3);
        WriteBlockEnd(context, block, false);
        const double ms[] = {1200, 300};
        WriteExecutionTimes(context, 3, 4500, instruments, ms);
        WriteClosingRule(context);

        const int32_t colours[] = {Colour::Black, Colour::Red,       Colour::Green,  Colour::Blue,
                                   Colour::Grey,  Colour::DarkGreen, Colour::Orange, Colour::White};
        for (const int32_t colour : colours)
            for (const int32_t alignment : {Alignment::Left, Alignment::Right, Alignment::Centre, 9}) {
                report.AddResult("colour " + std::to_string(colour) + " {", false, true, false, false, colour,
                                 alignment, Colour::NoHighlight);
                report.AddResult("} highlight \\ \xC3\xA4", true, false, true, true, Colour::Black, alignment,
                                 colour);
            }
        report.AddResult("last line stays open", false);
    }

    std::vector<std::string> Expected() const { return Normalised(report.PlainText()); }

    fs::path StoreRtf() {
        const fs::path path = dir / "report.rtf";
        EXPECT_EQ(StoreReport(report, path), "");
        return path;
    }
};

TEST_F(InteropTest, UnrtfExtractsOurPlainText) {
    if (!HaveProgram("unrtf"))
        GTEST_SKIP() << "unrtf is not installed (Debian package unrtf); reader check skipped";
    const fs::path rtf = StoreRtf();
    // A text configuration that writes characters beyond ASCII as numeric entities, which the
    // test decodes; the stock one replaces them by their fallback.
    const fs::path conf = dir / "unrtf";
    fs::create_directories(conf);
    for (const auto& entry : fs::directory_iterator("/usr/share/unrtf"))
        fs::copy_file(entry.path(), conf / entry.path().filename());
    std::ofstream(conf / "text.conf", std::ios::app) << "unisymbol_print\n\t&#%;\n";
    const fs::path out = dir / "unrtf.txt";
    ASSERT_EQ(Shell("timeout 120 unrtf -P " + conf.string() + " --text " + rtf.string() + " >" +
                    out.string() + " 2>/dev/null"),
              0);
    std::string text = ReadFileBytes(out).value_or("");
    // unrtf's own header ends with a line of dashes.
    const size_t body = text.find("-----------------\n");
    ASSERT_NE(body, std::string::npos) << text;
    text = DecodeNumericEntities(text.substr(body + 18));
    ExpectSameLines(BlankRunsCollapsed(Normalised(text)), BlankRunsCollapsed(Expected()));
}

TEST_F(InteropTest, LibreOfficeExtractsOurPlainText) {
    if (!HaveProgram("soffice"))
        GTEST_SKIP()
            << "soffice is not installed (Debian package libreoffice-writer-nogui); reader check skipped";
    const fs::path rtf = StoreRtf();
    const fs::path home = dir / "home";
    fs::create_directories(home);
    const fs::path outDir = dir / "out";
    // A private profile, so a running office or another test never holds its lock.
    const std::string command = "cd " + dir.string() + " && HOME=" + home.string() +
                                " timeout 300 soffice -env:UserInstallation=file://" +
                                (home / "profile").string() +
                                " --headless --norestore --convert-to txt:Text --outdir " + outDir.string() +
                                " " + rtf.string() + " >/dev/null 2>&1";
    ASSERT_EQ(Shell(command), 0);
    const auto text = ReadFileBytes(outDir / "report.txt");
    ASSERT_TRUE(text.has_value()) << "soffice wrote no text file";
    ExpectSameLines(Normalised(WithoutSixPerEmSpaces(*text)), Expected());
}

TEST_F(InteropTest, ReportCoversEveryLineKind) {
    const std::string& plain = report.PlainText();
    for (const char* expected :
         {" - Power {sweep} \\ 1 started - ", "Connect {A} to C:\\port", "PASSED", "FAILED",
          "Main channel: \\B", "ALT2 Low", "Marker 003", "6 bytes transfered", "Timing for Level",
          "Parser error", "  Error      : ", " -- STATISTICS -- ", "done (3 loops performed)",
          "Execution Time: 1.500 s", "_____", " done -"})
        EXPECT_NE(plain.find(expected), std::string::npos) << expected;
}

} // namespace
} // namespace zep
