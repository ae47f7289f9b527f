// Minimal JSON text building for the machine-readable outputs.
#pragma once

#include <string>
#include <string_view>

namespace zep {

// The text as a JSON string literal, quotes included. Invalid UTF-8 never reaches here: user
// files are decoded on reading; control characters are escaped.
std::string JsonString(std::string_view text);

} // namespace zep
