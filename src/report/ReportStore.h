// The report menu: clearing, copying and storing the report in the form a file name asks for.
#pragma once

#include "host/Host.h"
#include "report/ReportDocument.h"
#include "report/ReportOptions.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace zep {

enum class ReportFileKind { Rtf, Html, Text };

// ".rtf" (any case) RTF, ".html"/".htm" HTML, anything else plain text.
ReportFileKind ReportFileKindOf(const std::filesystem::path& path);

// The bytes a stored report of that kind holds: the RTF document, the HTML page, or the plain text
// (UTF-8, no header, no terminator). Taken from what the results window shows.
std::string ReportFileContent(const ReportDocument& report, ReportFileKind kind);

// Writes the report atomically, replacing any previous file. An empty name does nothing. Returns
// an empty string on success, else a message naming the file and the reason; the report is
// unchanged either way.
std::string StoreReport(const ReportDocument& report, const std::filesystem::path& path);

// Asks "Delete measurement report?" and clears on Yes. Returns true when cleared.
bool ClearReport(ReportDocument& report, Host& host);

// The RTF document, or the plain text, on the clipboard.
void CopyReport(const ReportDocument& report, Host& host);
void CopyReportRaw(const ReportDocument& report, Host& host);

// Report font size in half points: 20, or with RTFScaling the control's width in twips divided by
// RTFScalingFactor, rounded (at least 1; a factor below 1 counts as 1).
int16_t ReportFontSizeFor(const ReportOptions& options, long controlWidthTwips);

// Ctrl+Up lowers the factor by 10, Ctrl+Down raises it by 10; kept within 10 to 32000 so the size
// computation never divides by zero.
int16_t AdjustScalingFactor(int16_t factor, bool up);

} // namespace zep
