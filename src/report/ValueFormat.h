// Measured values as report text: number-format patterns, unit prefixes, result texts by kind,
// padded labels and list values.
#pragma once

#include "report/ReportOptions.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zep {

// A number in a format pattern as test files write them: "0" a digit always, "#" a digit when
// significant, "." the decimal separator (printed as decimalSymbol), "," between digits groups
// thousands and right of the last digit divides by 1000, "%" multiplies by 100, "E+00"/"E-00" an
// exponent, text in quotes or after "\" and any other character literally, ";" separates the
// positive, negative and zero sections. Rounding is decimal, half away from zero, on the value's
// 15 significant digits. An empty pattern gives the shortest general form (15 significant digits,
// "E+20" exponents).
std::string FormatNumber(double value, std::string_view pattern, std::string_view decimalSymbol = ".");

// The number of a value text: every "," read as ".", then its leading number (none gives 0).
double ValueOfText(std::string_view text);

// Magnitudes from lowest up to the next entry are multiplied by multiplier and divided by divisor
// (one of them is 1, so decimal values stay exact) and written with prefix before the unit.
struct UnitPrefix {
    double lowest;
    double multiplier;
    double divisor;
    std::string_view prefix;
};

// The scaling table, smallest magnitude first; magnitudes outside it are not scaled.
const std::vector<UnitPrefix>& UnitPrefixes();

// A value with its unit: scaled to a unit prefix when scale is on, "+" in front of values >= 0
// when signed is on, trimmed of blanks.
std::string FormatValue(double value, std::string_view unit, std::string_view format, bool scale,
                        bool isSigned, std::string_view decimalSymbol = ".");
std::string FormatValue(std::string_view valueText, std::string_view unit, std::string_view format,
                        bool scale, bool isSigned, std::string_view decimalSymbol = ".");

// The pattern a result uses: its own, else the default when that is switched on, else general form.
std::string_view SelectFormat(std::string_view format, const FormatOptions& options);

// The full result text of a value by result kind.
std::string AntFormat(std::string_view value, int32_t kind, std::string_view unit, bool scale,
                      const FormatOptions& options, std::string_view format = {});
std::string AntFormat(double value, int32_t kind, std::string_view unit, bool scale,
                      const FormatOptions& options, std::string_view format = {});

// As AntFormat, but list kinds (ACP table, marker sum) give their number of values.
std::string AntFormatCompact(std::string_view value, int32_t kind, std::string_view unit, bool scale,
                             const FormatOptions& options, std::string_view format = {});

// The text followed by padChar up to labelWidth characters; a longer text is unchanged.
std::string PadLabel(std::string_view text, char padChar, size_t labelWidth);

// The separator of a list value: among ",", ";" and ":" the one that splits the text into strictly
// the most parts; 0 when none does.
char DetectListSeparator(std::string_view text);

// The parts of a list value split by its detected separator; an empty text has no parts.
std::vector<std::string> SplitListValue(std::string_view text);

// Splits at every separator; an empty text has no parts.
std::vector<std::string> SplitValue(std::string_view text, char separator);

} // namespace zep
