// The report document: incremental views equal a full render, listeners, shown message files.
#include "report/ReportDocument.h"
#include "report/RtfReader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace zep {
namespace {

std::vector<ReportGroup> SampleGroups() {
    std::vector<ReportGroup> groups;
    const int32_t colours[] = {Colour::Black,     Colour::Red,    Colour::Green, Colour::Blue, Colour::Grey,
                               Colour::DarkGreen, Colour::Orange, Colour::White, 0x123456};
    const std::string texts[] = {"Level.....", "+1.500 \xC2\xB5V", "{brace}",        "back\\slash", "",
                                 "  lead",     "tab\there",        "\xE2\x82\xAC 5", "plain"};
    std::mt19937 random(7);
    for (int i = 0; i < 300; ++i) {
        ReportGroup g;
        g.text = texts[random() % std::size(texts)];
        g.newLine = random() % 2 == 0;
        g.bold = random() % 2 == 0;
        g.italic = random() % 3 == 0;
        g.underline = random() % 4 == 0;
        g.textColour = colours[random() % std::size(colours)];
        g.alignment = static_cast<int32_t>(random() % 4);
        g.highlight = random() % 3 == 0 ? colours[random() % std::size(colours)] : Colour::NoHighlight;
        groups.push_back(g);
    }
    return groups;
}

std::string FullRender(const std::vector<ReportGroup>& groups, int16_t fontSize) {
    RTFGen rtf;
    rtf.RtfInit(ReportFontName, fontSize);
    for (const auto& g : groups)
        rtf.RtfAppend(g.text, g.newLine, g.bold, g.italic, g.underline, g.textColour, g.alignment,
                      g.highlight);
    return rtf.Document();
}

std::string PlainOf(const std::vector<ReportGroup>& groups) {
    std::string text;
    for (const auto& g : groups)
        text += g.text + (g.newLine ? "\n" : "");
    return text;
}

TEST(ReportDocument, IncrementalViewsEqualAFullRender) {
    ReportDocument doc;
    const auto groups = SampleGroups();
    for (const auto& g : groups)
        doc.Append(g);
    EXPECT_EQ(doc.Groups(), groups);
    EXPECT_EQ(doc.RtfDocument(), FullRender(groups, 20));
    EXPECT_EQ(doc.PlainText(), PlainOf(groups));
    EXPECT_EQ(doc.VisibleRtf(), doc.RtfDocument());

    // What a reader gets back from the RTF is the plain text we keep.
    std::string readBack;
    for (const auto& g : ReadRtf(doc.RtfDocument()))
        readBack += g.text + (g.newLine ? "\n" : "");
    EXPECT_EQ(readBack, doc.PlainText());

    doc.SetFontSize(31);
    EXPECT_EQ(doc.RtfDocument(), FullRender(groups, 31));
    doc.AddResult("after", true);
    auto more = groups;
    more.push_back(ReportGroup{"after", true});
    EXPECT_EQ(doc.RtfDocument(), FullRender(more, 31));
}

TEST(ReportDocument, ClearStartsAgainAndTellsListeners) {
    ReportDocument doc;
    std::vector<std::string> events;
    const Subscription appends =
        doc.OnAppend([&](const ReportGroup& g) { events.push_back("append " + g.text); });
    const Subscription clears = doc.OnClear([&] { events.push_back("clear"); });
    doc.AddResult("one", true, true, false, false, Colour::Red);
    doc.Clear();
    doc.AddResult("two", false);
    EXPECT_EQ(events, (std::vector<std::string>{"append one", "clear", "append two"}));
    EXPECT_EQ(doc.PlainText(), "two");
    EXPECT_EQ(doc.PlainLines(), std::vector<std::string>{"two"});
    EXPECT_EQ(doc.Rtf().Buffer(), std::string(RtfColourTable) + "{\\cf1\\ql two}");
}

class ShowFileTest : public ::testing::Test {
  protected:
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() /
        ("zep_showfile_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    void SetUp() override { std::filesystem::create_directories(dir); }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::filesystem::path Write(const std::string& name, const std::string& bytes) {
        const auto path = dir / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
};

TEST_F(ShowFileTest, RtfFileShownUntilTheNextAppend) {
    ReportDocument doc;
    doc.AddResult("before", true);
    std::vector<std::string> events;
    const Subscription reloads =
        doc.OnReload([&] { events.push_back(doc.Shown() ? "reload file" : "reload report"); });
    const Subscription appends =
        doc.OnAppend([&](const ReportGroup& g) { events.push_back("append " + g.text); });
    const std::string rtf = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red255\\green0\\blue0;}"
                            "\\pard\\qc{\\b Welcome}\\par\\pard\\cf1 Read this\\par}";
    ASSERT_TRUE(doc.ShowFile(Write("msg.rtf", rtf)));
    ASSERT_NE(doc.Shown(), nullptr);
    EXPECT_EQ(doc.VisiblePlainText(), "Welcome\nRead this\n");
    EXPECT_EQ(doc.VisibleRtf(), rtf);
    EXPECT_EQ(doc.PlainText(), "before\n"); // the report itself is untouched
    const auto& shown = doc.Shown()->groups;
    ASSERT_EQ(shown.size(), 2U);
    EXPECT_TRUE(shown[0].bold);
    EXPECT_EQ(shown[0].alignment, Alignment::Centre);
    EXPECT_EQ(shown[1].textColour, Colour::Red);

    doc.AddResult("after", true);
    EXPECT_EQ(doc.Shown(), nullptr);
    EXPECT_EQ(doc.VisiblePlainText(), "before\nafter\n");
    EXPECT_EQ(events, (std::vector<std::string>{"reload file", "reload report", "append after"}));
}

TEST_F(ShowFileTest, PlainTextFileDecodedLikeUserFiles) {
    ReportDocument doc;
    ASSERT_TRUE(doc.ShowFile(Write("msg.txt", "Caf\xE9 open\r\n{x} \\ y\r\n")));
    EXPECT_EQ(doc.VisiblePlainText(), "Caf\xC3\xA9 open\n{x} \\ y\n");
    std::string readBack;
    for (const auto& g : ReadRtf(doc.VisibleRtf()))
        readBack += g.text + (g.newLine ? "\n" : "");
    EXPECT_EQ(readBack, doc.VisiblePlainText());
}

TEST_F(ShowFileTest, EmptyPathOrMissingFileChangesNothing) {
    ReportDocument doc;
    doc.AddResult("kept", true);
    EXPECT_FALSE(doc.ShowFile(""));
    EXPECT_FALSE(doc.ShowFile(dir / "missing.rtf"));
    EXPECT_EQ(doc.Shown(), nullptr);
    EXPECT_EQ(doc.VisiblePlainText(), "kept\n");
}

TEST_F(ShowFileTest, ClearDropsTheShownFile) {
    ReportDocument doc;
    ASSERT_TRUE(doc.ShowFile(Write("m.txt", "hello")));
    doc.Clear();
    EXPECT_EQ(doc.Shown(), nullptr);
    EXPECT_EQ(doc.VisiblePlainText(), "");
}

} // namespace
} // namespace zep
