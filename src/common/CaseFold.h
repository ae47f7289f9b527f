// Case-insensitive comparison of names as Windows compares file names, for test sets written there.
#pragma once

#include <string>
#include <string_view>

namespace zep {

// The text with every letter that has a simple lower-case form lowered: ASCII, Latin-1 and the
// Windows-1252 extras, Latin Extended-A, Greek and Cyrillic. Text that is not valid UTF-8 is taken
// as Windows-1252 first, so a Latin-1 file name on disk still matches its UTF-8 spelling.
std::string FoldCase(std::string_view text);

bool EqualsFoldingCase(std::string_view a, std::string_view b);

} // namespace zep
