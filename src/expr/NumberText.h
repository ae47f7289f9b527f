// The decimal text of a computed value: 15 significant digits, point as decimal separator.
#pragma once

#include <string>

namespace zep {

// Formats like C's "%.15G" in the C locale whatever the process locale is: no trailing zeros,
// exponent form "1E+20" / "1E-05" where %G chooses it. Negative zero gives "0".
std::string FormatNumber15(double value);

} // namespace zep
