// The report entries that the rest of the system writes: error entries and, later, result lines.
#pragma once

#include "report/ReportDocument.h"

#include <string_view>

namespace zep {

// "Parser error" entry for a bad line of a test file; the detail line is written when not empty.
void ShowParserError(ReportDocument& report, std::string_view message, std::string_view detail = {});

} // namespace zep
