// What the test loader takes from the settings.
#pragma once

#include "common/FormatOptions.h"

#include <string>

namespace zep {

struct LoadOptions {
    // For command lines without a format field: the settings' default number format.
    std::string DefaultNumberFormat = FormatOptions{}.NumFormatDefault;
};

} // namespace zep
