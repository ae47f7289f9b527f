// How measured values become text: read by the report, and by the loader for its default format.
#pragma once

#include <string>

namespace zep {

struct FormatOptions {
    bool NumFormatUseDefault = true;
    std::string NumFormatDefault = "#0.000";
    std::string DecimalSymbol = "."; // the locale's decimal symbol

    bool operator==(const FormatOptions&) const = default;
};

} // namespace zep
