// Locale-independent "%.15G" text of a double.
#include "expr/NumberText.h"

#include <charconv>

namespace zep {

std::string FormatNumber15(double value) {
    if (value == 0) return "0";
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    for (char* p = buffer; p < result.ptr; ++p)
        if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
    return std::string(buffer, result.ptr);
}

} // namespace zep
