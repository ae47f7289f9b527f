// The report entries that the rest of the system writes.
#include "report/ReportLines.h"

#include <string>

namespace zep {

void ShowParserError(ReportDocument& report, std::string_view message, std::string_view detail) {
    report.AddResult("Parser error", true, true, true, false, Colour::Red);
    report.AddResult("  " + std::string(message), true, false, false, false, Colour::Red);
    if (!detail.empty()) report.AddResult("  " + std::string(detail), true, false, false, false, Colour::Red);
}

} // namespace zep
