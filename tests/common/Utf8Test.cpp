// Text on its way to a terminal: what could steer the screen is shown, not obeyed.
#include "common/Utf8.h"

#include <gtest/gtest.h>

namespace zep {
namespace {

TEST(Utf8, ForTerminalEscapesControlsAndShowsInvalidBytesAsWindows1252) {
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"plain\ttab\nnext line", "plain\ttab\nnext line"},
        {"\x1b[2J\x1b]0;title\x07", "\\x1B[2J\\x1B]0;title\\x07"},
        {"over\rwrite", "over\\x0Dwrite"},
        {std::string("nul\0byte", 8), "nul\\x00byte"},
        {"del\x7f", "del\\x7F"},
        {"\xc3\xbc"
         "bertragung \xe2\x82\xac",
         "\xc3\xbc"
         "bertragung \xe2\x82\xac"}, // valid UTF-8 stays
        {"\xfc"
         "bertragung \x80",
         "\xc3\xbc"
         "bertragung \xe2\x82\xac"}, // Windows-1252 bytes
        {"\xc2\x9b"
         "31m",
         "\\u009B31m"},               // the one-character CSI of UTF-8 terminals
        {"\x81 \x9d", "\\x81 \\x9D"}, // bytes Windows-1252 leaves unassigned
    };
    for (const auto& c : cases)
        EXPECT_EQ(utf8::ForTerminal(c.in), c.out) << c.in;
}

TEST(Utf8, EveryConversionTakesAnInvalidByteAsOneWindows1252Character) {
    const std::string mixed = "K\xc3\xbc"
                              "bel \xfc\x80 \xe2\x82"; // valid, then 1252 bytes, then a cut sequence
    EXPECT_FALSE(utf8::IsValid(mixed));
    EXPECT_EQ(utf8::Length(mixed), 11U);
    EXPECT_EQ(utf8::Repair(mixed), "K\xc3\xbc"
                                   "bel \xc3\xbc\xe2\x82\xac \xc3\xa2\xe2\x80\x9a");
    EXPECT_EQ(utf8::Length(utf8::Repair(mixed)), utf8::Length(mixed));
    EXPECT_EQ(utf8::Prefix(mixed, 7), "K\xc3\xbc"
                                      "bel \xfc");
    EXPECT_EQ(utf8::Prefix(mixed, 99), mixed);
    EXPECT_EQ(utf8::ToWindows1252(mixed), "K\xfc"
                                          "bel \xfc\x80 \xe2\x82");
    EXPECT_EQ(utf8::ToWindows1252("\xe2\x84\xa6"), std::nullopt); // no byte for the ohm sign
    const std::string wide = utf8::ToUtf16("\xf0\x9f\x93\x88"
                                           "A",
                                           true);
    EXPECT_EQ(wide, std::string("\xd8\x3d\xdc\xc8\x00\x41", 6));
    EXPECT_EQ(utf8::FromUtf16(wide, true), "\xf0\x9f\x93\x88"
                                           "A");
    EXPECT_EQ(utf8::FromUtf16(std::string("\x00\xd8\x41\x00", 4), false), "\xef\xbf\xbd"
                                                                          "A"); // lone surrogate
}

} // namespace
} // namespace zep
