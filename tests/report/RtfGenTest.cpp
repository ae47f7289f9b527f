// The RTF encoding of report groups and the document built from them.
#include "report/RTFGen.h"
#include "report/ReportDocument.h"
#include "report/RtfReader.h"

#include <gtest/gtest.h>

namespace zep {
namespace {

TEST(RtfGen, InitialisationHoldsOnlyTheColourTable) {
    RTFGen rtf;
    EXPECT_EQ(rtf.Buffer(), RtfColourTable);
    EXPECT_EQ(rtf.RtfRender(20), "{\\plain\\fs20" + std::string(RtfColourTable) + "}");
    EXPECT_EQ(rtf.Document(), RtfDocumentHeader("Lucida Console") + std::string(rtf.Rendered()) + "}");
    EXPECT_EQ(RtfDocumentHeader("Lucida Console"),
              "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1{\\fonttbl{\\f0\\fmodern\\fcharset0 Lucida Console;}}");
}

struct GroupCase {
    const char* text;
    bool newLine, bold, italic, underline;
    int32_t colour, alignment, highlight;
    const char* expected;
};

TEST(RtfGen, GroupCodesInTheirOrder) {
    const GroupCase cases[] = {
        {"x", true, true, false, false, Colour::Black, Alignment::Left, Colour::NoHighlight,
         "{\\b\\cf1\\ql x\\par}"},
        {"x", false, false, false, false, Colour::Black, Alignment::Left, Colour::NoHighlight,
         "{\\cf1\\ql x}"},
        {"x", true, true, true, true, Colour::Red, Alignment::Centre, Colour::Green,
         "{\\b\\i\\ul\\cf2\\highlight3\\qc x\\par}"},
        {"", true, false, false, false, Colour::Black, Alignment::Left, Colour::NoHighlight,
         "{\\cf1\\ql \\par}"},
        {"g", false, false, false, false, Colour::Green, Alignment::Right, Colour::Red,
         "{\\cf3\\highlight2\\qr g}"},
        {"b", false, false, false, false, Colour::Blue, 7, Colour::Blue, "{\\cf4\\highlight4 b}"},
        {"g", false, false, false, false, Colour::Grey, 0, Colour::Grey, "{\\cf5\\highlight5\\ql g}"},
        {"d", false, false, false, false, Colour::DarkGreen, 0, Colour::DarkGreen,
         "{\\cf6\\highlight6\\ql d}"},
        {"o", false, false, false, false, Colour::Orange, 0, Colour::Orange, "{\\cf7\\highlight7\\ql o}"},
        {"w", false, false, false, false, Colour::White, 0, Colour::White, "{\\cf8\\highlight8\\ql w}"},
        {"k", false, false, false, false, Colour::Black, 0, Colour::Black, "{\\cf1\\highlight1\\ql k}"},
        // Colours not in the table: black text, no highlight.
        {"u", false, false, false, false, 0x123456, -1, 0x654321, "{\\cf1 u}"},
        {"  lead", true, false, false, false, Colour::Black, 2, -1, "{\\cf1\\qc   lead\\par}"},
    };
    for (const auto& c : cases) {
        std::string out;
        AppendRtfGroup(out, c.text, c.newLine, c.bold, c.italic, c.underline, c.colour, c.alignment,
                       c.highlight);
        EXPECT_EQ(out, c.expected) << c.text;
        EXPECT_EQ(RtfCodeString(c.bold, c.italic, c.underline, c.colour, c.alignment, c.highlight),
                  std::string(c.expected).substr(1, std::string(c.expected).find(' ') - 1));
    }
}

TEST(RtfGen, EscapesWhatWouldCorruptTheDocument) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain text 1.5 dB", "plain text 1.5 dB"},
        {"Label\\B", "Label\\\\B"},
        {"{open} and }close{", "\\{open\\} and \\}close\\{"},
        {"\xC2\xB5V", "\\u181\\'3fV"},                       // micro sign
        {"\xE2\x82\xAC", "\\u8364\\'3f"},                    // euro sign
        {"\xEF\xBF\xBF", "\\u-1\\'3f"},                      // U+FFFF
        {"\xE8\x80\x80", "\\u-32768\\'3f"},                  // U+8000
        {"\xF0\x9F\x98\x80", "\\u-10179\\'3f\\u-8704\\'3f"}, // beyond the BMP: surrogate pair
        {"\xB5"
         "A",
         "\\u181\\'3fA"},         // a stray Windows-1252 byte
        {"\x80", "\\u8364\\'3f"}, // stray 0x80 is the euro sign there
        {"a\tb", "a\\tab b"},
        {"a\r\nb\nc\rd", "a\\line b\\line c\\line d"},
        {std::string("\x01z", 2), "\\'01z"},
    };
    for (const auto& [text, expected] : cases) {
        std::string out;
        AppendRtfEscaped(out, text);
        EXPECT_EQ(out, expected) << text;
    }
}

TEST(RtfGen, AppendAndRenderKeepTheExactBuffer) {
    RTFGen rtf;
    rtf.RtfAppend("Gain", false, false, false, false, Colour::Black, 0, -1);
    rtf.RtfAppend("+3.000 dB", true, true, false, false, Colour::Black, 0, -1);
    const std::string groups = "{\\cf1\\ql Gain}{\\b\\cf1\\ql +3.000 dB\\par}";
    EXPECT_EQ(rtf.Buffer(), std::string(RtfColourTable) + groups);
    EXPECT_EQ(rtf.RtfRender(20), "{\\plain\\fs20" + std::string(RtfColourTable) + groups + "}");
    // A new font size changes only the rendering prefix.
    EXPECT_EQ(rtf.RtfRender(112), "{\\plain\\fs112" + std::string(RtfColourTable) + groups + "}");
    EXPECT_EQ(rtf.Buffer(), std::string(RtfColourTable) + groups);
    rtf.RtfAppend("more", true, false, false, false, Colour::Red, 0, -1);
    EXPECT_EQ(rtf.Rendered(),
              "{\\plain\\fs112" + std::string(RtfColourTable) + groups + "{\\cf2\\ql more\\par}}");
    EXPECT_EQ(rtf.Document(), RtfDocumentHeader(ReportFontName) + std::string(rtf.Rendered()) + "}");
    rtf.RtfInit("Courier New", 24);
    EXPECT_EQ(rtf.Buffer(), RtfColourTable);
    EXPECT_EQ(rtf.Document(),
              RtfDocumentHeader("Courier New") + "{\\plain\\fs24" + std::string(RtfColourTable) + "}}");
}

} // namespace
} // namespace zep
