// The 15-digit decimal text of values.
#include "expr/NumberText.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>

namespace zep {
namespace {

TEST(NumberText, FifteenSignificantDigits) {
    const std::pair<double, const char*> rows[] = {
        {0.1 + 0.2, "0.3"},
        {1e20, "1E+20"},
        {1e15, "1E+15"},
        {123456789012345.0, "123456789012345"},
        {1234567890123456.0, "1.23456789012346E+15"},
        {1e-5, "1E-05"},
        {0.0001, "0.0001"},
        {-2.5, "-2.5"},
        {-0.0, "0"},
        {0.0, "0"},
        {3.14159265358979, "3.14159265358979"},
        {1.0 / 3, "0.333333333333333"},
        {2.0 / 3, "0.666666666666667"},
        {1e308 * 1.5, "1.5E+308"},
        {std::numeric_limits<double>::infinity(), "INF"},
        {std::numeric_limits<double>::denorm_min(), "4.94065645841247E-324"},
    };
    for (const auto& [value, text] : rows)
        EXPECT_EQ(FormatNumber15(value), text);
}

TEST(NumberText, SameAsPrintfInTheCLocale) {
    std::mt19937_64 generator(12345);
    std::uniform_int_distribution<uint64_t> bits;
    char buffer[64];
    for (int i = 0; i < 20000; ++i) {
        double value = 0;
        const uint64_t raw = bits(generator);
        std::memcpy(&value, &raw, sizeof value);
        if (!std::isfinite(value) || value == 0) continue;
        std::snprintf(buffer, sizeof buffer, "%.15G", value);
        ASSERT_EQ(FormatNumber15(value), buffer);
    }
}

TEST(NumberText, IgnoresTheProcessLocale) {
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) GTEST_SKIP() << "no German locale installed";
    EXPECT_EQ(FormatNumber15(2.5), "2.5");
    std::setlocale(LC_NUMERIC, saved.c_str());
}

} // namespace
} // namespace zep
