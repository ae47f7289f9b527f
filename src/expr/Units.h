// Operands written with a unit of measure and an optional decimal prefix, such as 10MHz or 3ms.
#pragma once

#include <string>
#include <string_view>

namespace zep::expr {

// Reads an operand as a number with a unit. Returns false when the text is not one: no letter, a
// letter in first place, or a unit outside the list; in the last case unknownUnit receives
// "unknown unit of measure: " + unit (the unit after removal of its prefix). A known unit whose
// scaled value is beyond a double also gives false, and sets outOfRange.
bool ReadNumberWithUnit(std::string_view text, double& value, std::string& unknownUnit,
                        bool* outOfRange = nullptr);

// Reads the whole text as a decimal number with a period and an optional exponent (1, 1.5, .5,
// 2E-3); false for anything else, and for values beyond the range of a double (which set
// outOfRange; values too small for one read as 0).
bool ReadPlainNumber(std::string_view text, double& value, bool* outOfRange = nullptr);

} // namespace zep::expr
