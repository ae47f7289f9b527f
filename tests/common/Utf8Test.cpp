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
        {"\xc3\xbc" "bertragung \xe2\x82\xac", "\xc3\xbc" "bertragung \xe2\x82\xac"}, // valid UTF-8 stays
        {"\xfc" "bertragung \x80", "\xc3\xbc" "bertragung \xe2\x82\xac"},             // Windows-1252 bytes
        {"\xc2\x9b" "31m", "\\u009B31m"},   // the one-character CSI of UTF-8 terminals
        {"\x81 \x9d", "\\x81 \\x9D"},       // bytes Windows-1252 leaves unassigned
    };
    for (const auto& c : cases) EXPECT_EQ(utf8::ForTerminal(c.in), c.out) << c.in;
}

} // namespace
} // namespace zep
