// A tolerant reader for the RTF that message files and reports use: text runs with bold, italic,
// underline, colour, highlight, paragraphs and alignment. Everything else is skipped.
#pragma once

#include "report/ReportDocument.h"

#include <string_view>
#include <vector>

namespace zep {

// True when the bytes (after blanks and a byte-order mark) start with "{\rtf".
bool LooksLikeRtf(std::string_view bytes);

// The text runs of an RTF document as report groups (UTF-8 text, colours as 0x00BBGGRR). A paragraph
// or line end ends a group with newLine. Unknown control words and destinations ({\* ...}, font
// and style tables, document information, pictures, objects) are skipped; malformed input never
// fails, and nesting deeper than the reader keeps is read as text of the deepest kept level.
std::vector<ReportGroup> ReadRtf(std::string_view bytes);

} // namespace zep
