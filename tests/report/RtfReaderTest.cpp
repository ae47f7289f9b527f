// The tolerant RTF reader of message files.
#include "report/RtfReader.h"
#include "report/RTFGen.h"

#include <gtest/gtest.h>

namespace zep {
namespace {

std::string Plain(const std::vector<ReportGroup>& groups) {
    std::string text;
    for (const auto& g : groups)
        text += g.text + (g.newLine ? "\n" : "");
    return text;
}

std::string PlainOfRtf(std::string_view rtf) {
    return Plain(ReadRtf(rtf));
}

TEST(RtfReader, RecognisesRtfFiles) {
    EXPECT_TRUE(LooksLikeRtf("{\\rtf1 x}"));
    EXPECT_TRUE(LooksLikeRtf("\xEF\xBB\xBF \r\n{\\rtf1 x}"));
    EXPECT_FALSE(LooksLikeRtf("plain {\\rtf1"));
    EXPECT_FALSE(LooksLikeRtf(""));
}

TEST(RtfReader, StylesColoursAndAlignment) {
    const auto groups = ReadRtf("{\\rtf1{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}"
                                "\\pard\\qr{\\b bold}{\\i\\ul it}\\par"
                                "\\pard plain {\\cf1\\highlight2 red on blue}\\par"
                                "\\qc\\b centred\\b0  not\\par"
                                "\\pard\\ul under\\ulnone  done\\plain\\i  italic}");
    ASSERT_EQ(groups.size(), 9U);
    EXPECT_EQ(groups[0],
              (ReportGroup{"bold", false, true, false, false, Colour::Black, Alignment::Right, -1}));
    EXPECT_EQ(groups[1], (ReportGroup{"it", true, false, true, true, Colour::Black, Alignment::Right, -1}));
    EXPECT_EQ(groups[2],
              (ReportGroup{"plain ", false, false, false, false, Colour::Black, Alignment::Left, -1}));
    EXPECT_EQ(groups[3], (ReportGroup{"red on blue", true, false, false, false, Colour::Red, Alignment::Left,
                                      Colour::Blue}));
    EXPECT_EQ(groups[4],
              (ReportGroup{"centred", false, true, false, false, Colour::Black, Alignment::Centre, -1}));
    EXPECT_EQ(groups[5],
              (ReportGroup{" not", true, false, false, false, Colour::Black, Alignment::Centre, -1}));
    EXPECT_EQ(groups[6].text, "under");
    EXPECT_TRUE(groups[6].underline);
    EXPECT_EQ(groups[7].text, " done");
    EXPECT_FALSE(groups[7].underline);
    EXPECT_EQ(groups[8].text, " italic");
    EXPECT_TRUE(groups[8].italic);
    EXPECT_FALSE(groups[8].newLine);
}

TEST(RtfReader, EscapesAndUnicode) {
    const std::pair<std::string, std::string> cases[] = {
        {"{\\rtf1 a\\\\b\\{c\\}}", "a\\b{c}"},
        {"{\\rtf1 caf\\'e9 \\'80}", "caf\xC3\xA9 \xE2\x82\xAC"},
        {"{\\rtf1 \\u181?V}", "\xC2\xB5V"},
        {"{\\rtf1 \\u8364\\'80 x}", "\xE2\x82\xAC x"}, // fallback given as a hex escape
        {"{\\rtf1\\uc2 \\u8364??x}", "\xE2\x82\xACx"}, // two fallback characters
        {"{\\rtf1\\uc0 \\u8364 x}", "\xE2\x82\xACx"},
        {"{\\rtf1 \\u-10179?\\u-8704?}", "\xF0\x9F\x98\x80"}, // surrogate pair
        {"{\\rtf1 \\u-10179? x}", "\xEF\xBF\xBD x"},          // lone high surrogate
        {"{\\rtf1 a\\tab b\\line c}", "a\tb\nc"},
        {"{\\rtf1 a\\~b\\-c\\_d}", "a\xC2\xA0"
                                   "bc-d"},
        {"{\\rtf1 \\emdash\\endash\\bullet\\lquote\\rquote\\ldblquote\\rdblquote}",
         "\xE2\x80\x94\xE2\x80\x93\xE2\x80\xA2\xE2\x80\x98\xE2\x80\x99\xE2\x80\x9C\xE2\x80\x9D"},
        {"{\\rtf1 line\r\nbreaks\nignored}", "linebreaksignored"},
        {"{\\rtf1 raw \xC3\xA9 utf8}", "raw \xC3\xA9 utf8"}, // a valid UTF-8 file keeps its characters
        {"{\\rtf1 raw \xE9 byte}", "raw \xC3\xA9 byte"},     // otherwise bytes are Windows-1252
    };
    for (const auto& [rtf, plain] : cases)
        EXPECT_EQ(PlainOfRtf(rtf), plain) << rtf;
}

TEST(RtfReader, SkipsDestinationsItDoesNotShow) {
    const std::string rtf =
        "{\\rtf1\\ansi{\\fonttbl{\\f0\\fswiss Arial;}{\\f1 Courier;}}"
        "{\\stylesheet{\\s0 Normal;}}{\\info{\\title Secret}{\\author Someone}}"
        "{\\*\\generator Writer 1.0;}{\\*\\unknowndest {nested} text}"
        "{\\pict\\pngblip 89504e470d0a}{\\header head}{\\footer foot}"
        "{\\object{\\*\\objdata 0102}}"
        "Visible \\bin5 }}}{{ text{\\field{\\*\\fldinst HYPERLINK x}{\\fldrslt link}}\\par}";
    EXPECT_EQ(PlainOfRtf(rtf), "Visible  textlink\n");
}

TEST(RtfReader, MalformedInputNeverFails) {
    const std::string cases[] = {
        "",
        "{",
        "}}}}",
        "{\\rtf1 unbalanced {{{ text",
        "{\\rtf1 trailing backslash\\",
        "{\\rtf1 \\'",
        "{\\rtf1 \\'4",
        "{\\rtf1 \\u",
        "{\\rtf1 \\u99999999999999999999 x}",
        "{\\rtf1 \\bin99999999999",
        "{\\rtf1 \\bin-5 x}",
        "{\\rtf1 \\cf99999999 \\highlight-3 x}",
        "{\\rtf1{\\colortbl\\red999\\green-1;}\\cf1 x}",
        "{\\rtf1 " + std::string(100, 'a') + "\\" + std::string(1000, 'b') + " after}",
        std::string(100000, '{') + "deep" + std::string(100000, '}') + " out",
        std::string("{\\rtf1 nul\0char}", 15),
    };
    for (const auto& rtf : cases) {
        std::string text;
        EXPECT_NO_FATAL_FAILURE(text = PlainOfRtf(rtf));
    }
    EXPECT_EQ(PlainOfRtf(std::string(100000, '{') + "deep" + std::string(100000, '}') + " out"), "deep out");
    EXPECT_EQ(PlainOfRtf("{\\rtf1 \\bin3 abcdef}"), "def");
}

TEST(RtfReader, ReadsBackWhatTheGeneratorWrites) {
    RTFGen rtf;
    const ReportGroup groups[] = {
        {"Title {1}", true, true, false, true, Colour::Black, Alignment::Centre, -1},
        {"Label\\x....", false, false, false, false, Colour::Black, Alignment::Left, -1},
        {"+1.5 \xC2\xB5V", true, true, false, false, Colour::Red, Alignment::Left, Colour::Green},
        {"", true, false, false, false, Colour::Black, Alignment::Left, -1},
        {"grey", true, false, true, false, Colour::Grey, Alignment::Right, Colour::Orange},
    };
    for (const auto& g : groups)
        rtf.RtfAppend(g.text, g.newLine, g.bold, g.italic, g.underline, g.textColour, g.alignment,
                      g.highlight);
    const auto read = ReadRtf(rtf.Document());
    ASSERT_EQ(read.size(), std::size(groups));
    for (size_t i = 0; i < read.size(); ++i) {
        ReportGroup expected = groups[i];
        // A reader sees the colour the table holds: grey is 127,127,127 there.
        expected.textColour = RtfTableColour(RtfColourIndex(expected.textColour));
        if (expected.highlight >= 0) expected.highlight = RtfTableColour(RtfColourIndex(expected.highlight));
        EXPECT_EQ(read[i], expected) << i;
    }
}

} // namespace
} // namespace zep
