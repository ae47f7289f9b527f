// The report as an HTML page: the colours, highlights, bold, italic, underline and alignment a
// reader of the RTF sees, with every text escaped.
#pragma once

#include "report/ReportDocument.h"

#include <span>
#include <string>

namespace zep {

// One paragraph per report line. A line takes the alignment of the group that ends it, as an RTF
// paragraph takes the one in force at its end.
std::string ReportToHtml(std::span<const ReportGroup> groups, std::string_view title = "Measurement report");

// Appends text with "&", "<", ">" and quotes escaped and line ends as <br>.
void AppendHtmlEscaped(std::string& out, std::string_view text);

} // namespace zep
