// Trimming, number reading and the number test shared by every subsystem.
#include "common/StringOp.h"

#include <gtest/gtest.h>

#include <string>

namespace zep {
namespace {

using namespace std::string_literals;

TEST(StringOp, StripTextRemovesBlanksThenLineEndsAndNuls) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"  abc  ", "abc"},
        {"abc\r\n", "abc"},
        {"\r\nabc\0"s, "abc"},
        {"  \r\n abc \r\n  ", " abc "}, // blanks first: those behind the line ends stay
        {"\tabc\t", "\tabc\t"},         // tabs are not StripText's business
        {"     ", ""},
        {""s, ""},
        {"\0\0"s, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StripText(c.in), c.out) << c.in;
}

TEST(StringOp, CleanLineRemovesBlanksThenTabsAndLineEnds) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"  Main|Gen|*RST  ", "Main|Gen|*RST"},
        {"\tMain|Gen\t\r\n", "Main|Gen"},
        {" \t x \t ", " x "}, // blanks at the very ends go first, then the tabs; inner blanks stay
        {"a\0"s, "a\0"s},     // NUL stays for the emptiness test to see
    };
    for (const auto& c : cases)
        EXPECT_EQ(CleanLine(c.in), c.out) << c.in;
}

TEST(StringOp, LeadingNumberReadsLikeVal) {
    struct Case {
        const char* in;
        double out;
    } cases[] = {
        {"12abc", 12},  {"  -3.5e2x", -350},
        {"1 2 3", 123}, {"&H1F", 31},
        {"&o17", 15},   {"abc", 0},
        {"", 0},        {".5", 0.5},
        {"1.2.3", 1.2}, {"2D3", 2000},
        {"1e", 1},      {"+7", 7},
        {"1e999", 0},   {"-", 0},
        {"\t 42", 42},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(LeadingNumber(c.in), c.out) << c.in;
}

TEST(StringOp, IsNumberAcceptsPlainNumbersAndSecondsOrPercent) {
    struct Case {
        const char* in;
        bool out;
    } cases[] = {
        {"12", true},  {" -1.5 ", true}, {"1e-3", true},  {".5", true},   {"-.5", true},
        {"10s", true}, {"5%", true},     {"1.5ss", true}, {"abc", false}, {"", false},
        {"1e", false}, {"12V", false},   {"+.5", false},  {"s", false},   {"1 2", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsNumber(c.in), c.out) << c.in;
}

TEST(StringOp, SplitTextKeepsEmptyFields) {
    EXPECT_EQ(SplitText("a||b|", '|'), (std::vector<std::string>{"a", "", "b", ""}));
    EXPECT_EQ(SplitText("", '|'), (std::vector<std::string>{""}));
}

} // namespace
} // namespace zep
