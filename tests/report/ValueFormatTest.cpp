// Number-format patterns, unit prefixes and result texts by kind.
#include "report/ValueFormat.h"
#include "testdef/TestModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace zep {
namespace {

struct NumberCase {
    double value;
    const char* pattern;
    const char* expected;
    const char* decimalSymbol = ".";
};

TEST(FormatNumber, Patterns) {
    const NumberCase cases[] = {
        {1.5, "#0.000", "1.500"},
        {0.0015, "#0.000", "0.002"}, // decimal rounding of the 15-digit value, not of the binary one
        {-0.0015, "#0.000", "-0.002"},
        {1.0005, "0.000", "1.001"},
        {0.0004, "0.000", "0.000"},
        {0.0006, "0.000", "0.001"},
        {2.5, "0", "3"},
        {-2.5, "0", "-3"},
        {0.5, "#", "1"},
        {0.4, "#", ""},
        {0.5, "#.##", ".5"},
        {5, "0.##", "5."},
        {5.25, "0.0#", "5.25"},
        {5.2, "0.0#", "5.2"},
        {42, "000", "042"},
        {7, "###0", "7"},
        {1234, "##0.000", "1234.000"},
        {9.9996, "##0.000", "10.000"},
        {1234567.891, "#,##0.00", "1,234,567.89"},
        {999, "#,##0", "999"},
        {1234567, "#,##0,", "1,235"},
        {0.256, "0%", "26%"},
        {0.256, "0.0%", "25.6%"},
        {12345, "0.00E+00", "1.23E+04"},
        {0.00012345, "0.00E-00", "1.23E-04"},
        {12345, "0.00E-00", "1.23E04"},
        {9.999, "0.00E+00", "1.00E+01"},
        {0, "0.0E+00", "0.0E+00"},
        {-12345, "0.0e+0", "-1.2e+4"},
        {1.5, "0.00 \"dB\"", "1.50 dB"},
        {5, "\\$0", "$5"},
        {-5, "0;(0)", "(5)"},
        {0, "0;(0);\"zero\"", "zero"},
        {3, "0;(0);\"zero\"", "3"},
        {1e20, "", "1E+20"},
        {0.1, "", "0.1"},
        {1.0 / 3, "", "0.333333333333333"},
        {123456789012345678.0, "", "1.23456789012346E+17"},
        {-0.00001, "", "-1E-05"},
        {1.5, "#0.000", "1,500", ","},
        {1234.5, "#,##0.0", "1.234,5", ","},
        {2.25, "", "2,25", ","},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatNumber(c.value, c.pattern, c.decimalSymbol), c.expected)
            << c.value << " with \"" << c.pattern << "\"";
}

TEST(FormatNumber, UnusualValuesNeverFail) {
    EXPECT_EQ(FormatNumber(std::numeric_limits<double>::quiet_NaN(), "0.0"), "NaN");
    EXPECT_EQ(FormatNumber(std::numeric_limits<double>::infinity(), ""), "Inf");
    EXPECT_EQ(FormatNumber(-std::numeric_limits<double>::infinity(), "0"), "-Inf");
    EXPECT_EQ(FormatNumber(1e300, "0"), "1" + std::string(300, '0'));
    EXPECT_EQ(FormatNumber(1e-300, "0.000"), "0.000");
    EXPECT_EQ(FormatNumber(5, "\"unterminated"), "unterminated5"); // no placeholder still shows the number
    EXPECT_EQ(FormatNumber(std::numeric_limits<double>::denorm_min(), "0.00E+00"), "4.94E-324");
}

struct ValueCase {
    const char* value;
    const char* unit;
    const char* pattern;
    bool scale;
    bool isSigned;
    const char* expected;
    const char* decimalSymbol = ".";
};

TEST(FormatValue, ScalingSignsAndUnits) {
    const ValueCase cases[] = {
        {"0,0015", "V", "#0.000", true, true, "+1.500 mV"},
        {"0,0015", "V", "#0.000", false, true, "+0.002 V"},
        {"0,0015", "V", "#0.000", true, true, "+1,500 mV", ","},
        {"-0.5", "V", "#0.000", true, true, "-500.000 mV"},
        {"0", "V", "#0.000", true, true, "+0 V"},
        {"1500", "Hz", "#0.000", true, false, "1.500 kHz"},
        {"2.5e-6", "A", "#0.0", true, true,
         "+2.5 \xC2\xB5"
         "A"},
        {"3.3e-9", "s", "0.0", true, false, "3.3 ns"},
        {"4.7e-12", "F", "0.0", true, false, "4.7 pF"},
        {"1e-15", "F", "0", true, false, "1 fF"},
        {"1e-16", "V", "0.0", true, true, "+0.0 V"}, // below the table: unscaled
        {"2.4e9", "Hz", "0.0", true, false, "2.4 GHz"},
        {"7e6", "Hz", "0", true, false, "7 MHz"},
        {"2e12", "Hz", "0", true, false, "2000000000000 Hz"}, // above the table: unscaled
        {"5", "", "0", false, false, "5"},                    // no unit leaves no blank
        {"5", "", "0", true, false, "5"},
        {"abc", "V", "0.0", false, true, "+0.0 V"}, // not a number formats as 0
        {"12.5 dBm", "dBm", "0.0", false, true, "+12.5 dBm"},
        {"999.9996", "V", "#0.000", true, true, "+1000.000 V"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(
            FormatValue(std::string_view(c.value), c.unit, c.pattern, c.scale, c.isSigned, c.decimalSymbol),
            c.expected)
            << c.value;
}

TEST(AntFormat, TextByResultKind) {
    const FormatOptions defaults;
    EXPECT_EQ(AntFormat("0.0015", ResultKind::Number, "V", true, defaults), "+1.500 mV");
    EXPECT_EQ(AntFormat("-3", ResultKind::ACPTab, "dB", false, defaults), "-3.000 dB");
    EXPECT_EQ(AntFormat("2", ResultKind::MSUM, "dBm", false, defaults, "0.0"), "+2.0 dBm");
    EXPECT_EQ(AntFormat("0", ResultKind::Boolean0_OK, "", false, defaults), "PASS");
    EXPECT_EQ(AntFormat("1", ResultKind::Boolean0_OK, "", false, defaults), "FAIL");
    EXPECT_EQ(AntFormat("-1", ResultKind::Boolean0_OK, "", false, defaults), "FAIL");
    EXPECT_EQ(AntFormat("abcd", ResultKind::BinFile, "", false, defaults), "4 bytes");
    EXPECT_EQ(AntFormat(" text ", ResultKind::String, "V", true, defaults), " text ");
    EXPECT_EQ(AntFormat("1;2", ResultKind::List, "", true, defaults), "1;2");
    EXPECT_EQ(AntFormat(0.0, ResultKind::Boolean0_OK, "", false, defaults), "PASS");
    EXPECT_EQ(AntFormat(1.25, ResultKind::MSUM, "", false, defaults), "+1.250");

    // The pattern: the line's own, else the default when switched on, else the general form.
    FormatOptions noDefault;
    noDefault.NumFormatUseDefault = false;
    EXPECT_EQ(AntFormat("1.5", ResultKind::Number, "V", false, noDefault), "+1.5 V");
    EXPECT_EQ(AntFormat("1.5", ResultKind::Number, "V", false, noDefault, "0.00"), "+1.50 V");
    FormatOptions otherDefault;
    otherDefault.NumFormatDefault = "0.0";
    EXPECT_EQ(AntFormat("1.25", ResultKind::Number, "V", false, otherDefault), "+1.3 V");
}

TEST(AntFormatCompact, ListKindsCountTheirValues) {
    const FormatOptions defaults;
    EXPECT_EQ(AntFormatCompact("1;2;3", ResultKind::MSUM, "dBm", true, defaults), "3 values");
    EXPECT_EQ(AntFormatCompact("5", ResultKind::MSUM, "dBm", true, defaults), "1 value");
    EXPECT_EQ(AntFormatCompact("1,2,3,4,5", ResultKind::ACPTab, "dB", true, defaults), "5 values");
    EXPECT_EQ(AntFormatCompact("", ResultKind::ACPTab, "dB", true, defaults), "0 values");
    EXPECT_EQ(AntFormatCompact("0.0015", ResultKind::Number, "V", true, defaults), "+1.500 mV");
}

TEST(DetectListSeparator, StrictlyMostParts) {
    const std::pair<const char*, char> cases[] = {
        {"1,2,3;4", ','}, {"1;2;3", ';'}, {"a:b:c,d", ':'}, {"1,2;3", 0},
        {"1;2;3,4,5", 0}, {"", 0},        {"single", 0},    {",,", ','},
    };
    for (const auto& [text, separator] : cases)
        EXPECT_EQ(DetectListSeparator(text), separator) << text;
    EXPECT_EQ(SplitListValue("1;2;3"), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(SplitListValue("1.5"), std::vector<std::string>{"1.5"});
    EXPECT_TRUE(SplitListValue("").empty());
}

TEST(PadLabel, FillsToTheLabelWidth) {
    EXPECT_EQ(PadLabel("Lvl", '.', 6), "Lvl...");
    EXPECT_EQ(PadLabel("Level", ' ', 5), "Level");
    EXPECT_EQ(PadLabel("LongLabel", '.', 4), "LongLabel");
    EXPECT_EQ(PadLabel("\xC2\xB5V", '.', 4), "\xC2\xB5V.."); // counted in characters
    EXPECT_EQ(PadLabel("", '.', 3), "...");
}

} // namespace
} // namespace zep
