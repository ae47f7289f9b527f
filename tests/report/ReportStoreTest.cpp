// Storing, copying and clearing the report; the HTML export; zep-cli check --report.
#include "report/ReportStore.h"
#include "ChildProcess.h"
#include "FakeHost.h"
#include "common/TextFile.h"
#include "report/HtmlExport.h"
#include "report/RtfReader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>

namespace zep {
namespace {

namespace fs = std::filesystem;

class ReportStoreTest : public ::testing::Test {
  protected:
    fs::path dir =
        fs::temp_directory_path() / ("zep_store_" + std::to_string(::getpid()) + "_" +
                                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
    ReportDocument report;
    test::FakeHost host;

    void SetUp() override {
        fs::create_directories(dir);
        report.AddResult("Title <1> & \"q\"", true, true, false, true, Colour::Black, Alignment::Centre);
        report.AddResult("Level....", false);
        report.AddResult("+1.500 \xC2\xB5V", true, true, false, false, Colour::Red, Alignment::Left,
                         Colour::Green);
        report.AddResult("", true);
        report.AddResult("right {x}", true, false, true, false, Colour::Grey, Alignment::Right,
                         Colour::Orange);
        report.AddResult("open", false);
    }
    void TearDown() override { fs::remove_all(dir); }

    static std::string Read(const fs::path& path) { return ReadFileBytes(path).value_or("<missing>"); }
};

TEST_F(ReportStoreTest, FileKindFromTheName) {
    EXPECT_EQ(ReportFileKindOf("a.rtf"), ReportFileKind::Rtf);
    EXPECT_EQ(ReportFileKindOf("dir/A.Rtf"), ReportFileKind::Rtf);
    EXPECT_EQ(ReportFileKindOf("x.RTF"), ReportFileKind::Rtf);
    EXPECT_EQ(ReportFileKindOf("b.log"), ReportFileKind::Text);
    EXPECT_EQ(ReportFileKindOf("c.html"), ReportFileKind::Html);
    EXPECT_EQ(ReportFileKindOf("d.HTM"), ReportFileKind::Html);
    EXPECT_EQ(ReportFileKindOf("e.rtf.txt"), ReportFileKind::Text);
    EXPECT_EQ(ReportFileKindOf("rtf"), ReportFileKind::Text);
}

TEST_F(ReportStoreTest, StoresEachFormReplacingOldFiles) {
    std::ofstream(dir / "r.Rtf") << "old content that is much longer than nothing";
    EXPECT_EQ(StoreReport(report, dir / "r.Rtf"), "");
    EXPECT_EQ(Read(dir / "r.Rtf"), report.RtfDocument());
    EXPECT_EQ(StoreReport(report, dir / "r.log"), "");
    EXPECT_EQ(Read(dir / "r.log"), report.PlainText());
    EXPECT_EQ(Read(dir / "r.log"), "Title <1> & \"q\"\nLevel....+1.500 \xC2\xB5V\n\nright {x}\nopen");
    EXPECT_EQ(StoreReport(report, dir / "r.html"), "");
    EXPECT_EQ(Read(dir / "r.html"), ReportToHtml(report.Groups()));
    EXPECT_EQ(StoreReport(report, ""), "");
}

TEST_F(ReportStoreTest, FailedStoreNamesTheFileAndKeepsTheReport) {
    const std::string before = report.RtfDocument();
    const std::string error = StoreReport(report, dir / "missing" / "r.rtf");
    EXPECT_NE(error.find("r.rtf"), std::string::npos) << error;
    EXPECT_EQ(report.RtfDocument(), before);
    EXPECT_FALSE(fs::exists(dir / "missing"));
}

TEST_F(ReportStoreTest, HtmlKeepsStylesAndEscapes) {
    const std::string html = ReportToHtml(report.Groups());
    const std::string body = html.substr(html.find("<body>\n") + 7);
    EXPECT_EQ(
        body,
        "<p style=\"text-align:center\"><span style=\"font-weight:bold;text-decoration:underline;\">"
        "Title &lt;1&gt; &amp; &quot;q&quot;</span></p>\n"
        "<p><span>Level....</span><span style=\"color:#FF0000;background-color:#00FF00;font-weight:bold;\">"
        "+1.500 \xC2\xB5V</span></p>\n"
        "<p><br></p>\n"
        "<p style=\"text-align:right\"><span "
        "style=\"color:#7F7F7F;background-color:#FF8000;font-style:italic;\">"
        "right {x}</span></p>\n"
        "<p><span>open</span></p>\n"
        "</body>\n</html>\n");
    EXPECT_NE(html.find("<meta charset=\"utf-8\">"), std::string::npos);
}

TEST_F(ReportStoreTest, CopyAndClearThroughTheHost) {
    CopyReport(report, host);
    CopyReportRaw(report, host);
    EXPECT_EQ(host.clipboardRtf, report.RtfDocument());
    EXPECT_EQ(host.clipboardText, report.PlainText());

    host.answers = {MsgAnswer::No, MsgAnswer::Yes};
    EXPECT_FALSE(ClearReport(report, host));
    EXPECT_FALSE(report.Empty());
    EXPECT_TRUE(ClearReport(report, host));
    EXPECT_TRUE(report.Empty());
    ASSERT_EQ(host.boxes.size(), 2U);
    EXPECT_EQ(host.boxes[0].text, "Delete measurement report?");
    EXPECT_EQ(host.boxes[0].title, "CONFIRM");
    EXPECT_EQ(host.boxes[0].style & MsgStyle::YesNo, MsgStyle::YesNo);
}

TEST_F(ReportStoreTest, ShownFileIsWhatGetsCopiedAndStored) {
    std::ofstream(dir / "msg.txt") << "Read me\n";
    ASSERT_TRUE(report.ShowFile(dir / "msg.txt"));
    CopyReportRaw(report, host);
    EXPECT_EQ(host.clipboardText, "Read me\n");
    EXPECT_EQ(StoreReport(report, dir / "shown.txt"), "");
    EXPECT_EQ(Read(dir / "shown.txt"), "Read me\n");
}

TEST(ReportFont, ScalingFollowsTheWindowWidth) {
    ReportOptions options;
    EXPECT_EQ(ReportFontSizeFor(options, 12000), 20);
    options.RTFScaling = true;
    EXPECT_EQ(ReportFontSizeFor(options, 12000), 30);
    EXPECT_EQ(ReportFontSizeFor(options, 12200), 31);
    options.RTFScalingFactor = 0; // never divides by zero
    EXPECT_EQ(ReportFontSizeFor(options, 100), 100);
    EXPECT_EQ(AdjustScalingFactor(400, true), 390);
    EXPECT_EQ(AdjustScalingFactor(400, false), 410);
    EXPECT_EQ(AdjustScalingFactor(10, true), 10);

    ReportDocument doc;
    doc.AddResult("x", true);
    int reloads = 0;
    const Subscription listening = doc.OnReload([&] { ++reloads; });
    doc.SetFontSize(30);
    EXPECT_EQ(reloads, 1);
    EXPECT_TRUE(doc.Rtf().Rendered().starts_with("{\\plain\\fs30{\\colortbl"));
    doc.Clear();
    EXPECT_EQ(doc.FontSize(), 30); // a clear keeps the scaled size
}

// zep-cli check --report: one report with every test's entries under its "== KEY" line.
class CheckReportTest : public ReportStoreTest {
  protected:
    void SetUp() override {
        fs::create_directories(dir);
        std::ofstream(dir / "set.ZEP_SET")
            << "Group A\r\n>first|First test\r\n>second|Second test\r\n>fine|Fine\r\n";
        std::ofstream(dir / "first.ZEP_CASE") << "NEED|GEN|Gen\r\nBLOCK|B1\r\nB1|Nobody|*RST|{lbl}|Is\r\n";
        std::ofstream(dir / "fine.ZEP_CASE") << "NEED|GEN|Gen\r\nBLOCK|B1\r\nB1|Gen|*RST\r\n";
    }

    int Run(const std::string& arguments, std::string& out) {
        const std::string command = std::string(ZEP_CLI_PATH) + " check " + (dir / "set.ZEP_SET").string() +
                                    " " + arguments + " 2>" + (dir / "err.txt").string();
        const test::ChildResult child = test::RunChild({"/bin/sh", "-c", command}, {}, 60000);
        out += child.out;
        return child.exitCode;
    }
};

TEST_F(CheckReportTest, StoresTheWholeReportInTheFormItsNameAsks) {
    std::string out;
    ASSERT_EQ(Run("--report " + (dir / "check.txt").string(), out), 1);
    // Standard output has one FILE:LINE line per finding; the report keeps the exact entries.
    const std::string first = (dir / "first.ZEP_CASE").string(), second = (dir / "second").string();
    EXPECT_EQ(out, "== first (" + first + ")\n" + first +
                       ":3: Unknown Instrument \"Nobody\" in command Nobody|*RST|{lbl}|Is\n" + "== second (" +
                       second + ")\n" + (dir / "set.ZEP_SET").string() +
                       ":3: No test definition file found (file \"" + second + "\" missing)\n");
    EXPECT_EQ(Read(dir / "check.txt"),
              "== first (" + first + ")\nParser error\n  Unknown Instrument \"Nobody\" in command\n" +
                  "  Nobody|*RST|{lbl}|Is\n== second (" + second +
                  ")\nParser error\n  No test definition file found\n  (file \"" + second + "\" missing)\n");
    EXPECT_NE(out.find("== first ("), std::string::npos);
    EXPECT_NE(out.find("== second ("), std::string::npos);
    EXPECT_EQ(out.find("== fine"), std::string::npos);

    std::string again;
    ASSERT_EQ(Run("--report " + (dir / "check.RTF").string(), again), 1);
    const std::string rtf = Read(dir / "check.RTF");
    ASSERT_TRUE(LooksLikeRtf(rtf));
    std::string readBack;
    bool redParserError = false;
    for (const auto& g : ReadRtf(rtf)) {
        readBack += g.text + (g.newLine ? "\n" : "");
        redParserError =
            redParserError || (g.text == "Parser error" && g.textColour == Colour::Red && g.bold);
    }
    EXPECT_EQ(readBack, Read(dir / "check.txt"));
    EXPECT_TRUE(redParserError);
    EXPECT_NE(rtf.find("\\{lbl\\}"), std::string::npos);

    std::string html;
    ASSERT_EQ(Run("--report " + (dir / "check.html").string(), html), 1);
    EXPECT_NE(Read(dir / "check.html").find("<span>== first ("), std::string::npos);
}

TEST_F(CheckReportTest, UnwritableReportIsAnError) {
    std::string out;
    EXPECT_EQ(Run("--report " + (dir / "no" / "such" / "r.rtf").string(), out), 2);
    EXPECT_NE(Read(dir / "err.txt").find("r.rtf"), std::string::npos);
}

} // namespace
} // namespace zep
