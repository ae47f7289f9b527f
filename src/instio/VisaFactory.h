// The one place that decides which VISA implementation the program talks through.
#pragma once

#include "instio/Visa.h"

#include <memory>
#include <string>
#include <string_view>

namespace zep {

// The --visa value when given, else the ZEP_VISA environment variable, else empty.
std::string VisaChoiceFromEnvironment(std::string_view option);

// "builtin" (any letter case) forces the built-in LAN implementation; any other non-empty text is the
// path or file name of a VISA library to load, and failing to load it is an error, not a silent
// fallback; an empty choice (or "auto") takes the installed system library and the built-in one when
// none is installed. On failure returns nullptr with error set to one line naming the cause.
std::unique_ptr<Visa> MakeVisa(std::string_view choice, std::string& error);

} // namespace zep
