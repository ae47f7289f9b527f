// Reading of numeric operands: plain numbers and numbers with a unit of measure.
#include "expr/Units.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <utility>

namespace zep::expr {

namespace {

bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

constexpr std::array<std::pair<char, int>, 12> Prefixes = {{
    {'p', -12},
    {'n', -9},
    {'u', -6},
    {'m', -3},
    {'c', -2},
    {'d', -1},
    {'D', 1},
    {'H', 2},
    {'K', 3},
    {'M', 6},
    {'G', 9},
    {'T', 12},
}};

constexpr std::array<std::pair<std::string_view, double>, 17> Units = {{
    {"s", 1},
    {"Hz", 1},
    {"m", 1},
    {"g", 0.001},
    {"rad", 1},
    {"Rad", 1},
    {"RAD", 1},
    {"S", 1},
    {"V", 1},
    {"A", 1},
    {"W", 1},
    {"F", 1},
    {"bar", 1},
    {"Pa", 1},
    {"Nm", 1},
    {"Ohm", 1},
    {"ohm", 1},
}};

bool FindPrefix(char c, int& power) {
    for (const auto& [letter, exponent] : Prefixes)
        if (letter == c) {
            power = exponent;
            return true;
        }
    return false;
}

bool FindUnit(std::string_view unit, double& factor) {
    for (const auto& [name, unitFactor] : Units)
        if (name == unit) {
            factor = unitFactor;
            return true;
        }
    return false;
}

// The number a text starts with (sign, digits, one period); 0 when it starts with none.
double LeadingDecimal(std::string_view text) {
    size_t end = 0;
    if (end < text.size() && (text[end] == '+' || text[end] == '-')) ++end;
    const size_t digitsStart = end;
    bool point = false;
    bool digits = false;
    while (end < text.size() && (IsDigit(text[end]) || (text[end] == '.' && !point))) {
        if (text[end] == '.')
            point = true;
        else
            digits = true;
        ++end;
    }
    if (!digits) return 0;
    double value = 0;
    std::from_chars(text.data() + digitsStart, text.data() + end, value, std::chars_format::fixed);
    return text[0] == '-' ? -value : value;
}

// Decimal exponent of the first significant digit of a well-formed number text (saturating).
long long DecimalMagnitude(std::string_view text) {
    long long integerDigits = 0, leadingZeros = 0;
    bool point = false, significant = false;
    size_t i = 0;
    for (; i < text.size() && text[i] != 'E' && text[i] != 'e'; ++i) {
        if (text[i] == '.') {
            point = true;
            continue;
        }
        if (!point) ++integerDigits;
        if (!significant && text[i] == '0')
            ++leadingZeros;
        else
            significant = true;
    }
    long long exponent = 0;
    if (i < text.size()) {
        size_t k = i + 1;
        const bool negative = k < text.size() && text[k] == '-';
        if (k < text.size() && (text[k] == '-' || text[k] == '+')) ++k;
        for (; k < text.size(); ++k)
            exponent = std::min(exponent * 10 + (text[k] - '0'), 1000000000LL);
        if (negative) exponent = -exponent;
    }
    return integerDigits - leadingZeros - 1 + exponent;
}

} // namespace

bool ReadPlainNumber(std::string_view text, double& value, bool* outOfRange) {
    size_t i = 0;
    const size_t n = text.size();
    size_t digits = 0;
    while (i < n && IsDigit(text[i]))
        ++i, ++digits;
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && IsDigit(text[i]))
            ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < n && (text[i] == 'E' || text[i] == 'e')) {
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
        size_t exponentDigits = 0;
        while (i < n && IsDigit(text[i]))
            ++i, ++exponentDigits;
        if (exponentDigits == 0) return false;
    }
    if (i != n) return false;
    const auto result = std::from_chars(text.data(), text.data() + n, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // Too small reads as zero (as the decimal text says almost that); too large is no number.
        if (DecimalMagnitude(text) >= 0) {
            if (outOfRange) *outOfRange = true;
            return false;
        }
        value = 0;
        return true;
    }
    return result.ec == std::errc{} && result.ptr == text.data() + n && std::isfinite(value);
}

bool ReadNumberWithUnit(std::string_view text, double& value, std::string& unknownUnit, bool* outOfRange) {
    size_t letter = 0;
    while (letter < text.size() && !IsLetter(text[letter]))
        ++letter;
    if (letter == text.size() || letter == 0) return false;
    const double number = LeadingDecimal(text.substr(0, letter));
    std::string_view unit = text.substr(letter);
    int power = 0;
    double factor = 1;
    bool known = false;
    if (unit.size() >= 2 && FindPrefix(unit[0], power)) {
        known = FindUnit(unit.substr(1), factor);
        // A unit that itself starts with a prefix letter ("Hz") is read whole when the split fails.
        if (!known && FindUnit(unit, factor)) {
            power = 0;
            known = true;
        }
        if (!known) unit.remove_prefix(1);
    } else {
        known = FindUnit(unit, factor);
    }
    if (!known) {
        unknownUnit = "unknown unit of measure: " + std::string(unit);
        return false;
    }
    value = number * factor * std::pow(10.0, power);
    if (std::isfinite(value)) return true;
    if (outOfRange) *outOfRange = true;
    return false;
}

} // namespace zep::expr
