// The report menu: clearing, copying and storing.
#include "report/ReportStore.h"

#include "common/StringOp.h"
#include "common/TextFile.h"
#include "report/HtmlExport.h"

#include <algorithm>
#include <cmath>

namespace zep {

ReportFileKind ReportFileKindOf(const std::filesystem::path& path) {
    const std::string name = ToUpperAscii(path.filename().string());
    auto endsWith = [&name](std::string_view suffix) {
        return name.size() >= suffix.size() &&
               name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
    };
    if (endsWith(".RTF")) return ReportFileKind::Rtf;
    if (endsWith(".HTML") || endsWith(".HTM")) return ReportFileKind::Html;
    return ReportFileKind::Text;
}

std::string ReportFileContent(const ReportDocument& report, ReportFileKind kind) {
    switch (kind) {
    case ReportFileKind::Rtf:
        return std::string(report.VisibleRtf());
    case ReportFileKind::Html: {
        const auto groups = report.VisibleGroups();
        return ReportToHtml(groups);
    }
    case ReportFileKind::Text:
        break;
    }
    return std::string(report.VisiblePlainText());
}

std::string StoreReport(const ReportDocument& report, const std::filesystem::path& path) {
    if (path.empty()) return {};
    return WriteFileAtomically(path, ReportFileContent(report, ReportFileKindOf(path)));
}

bool ClearReport(ReportDocument& report, Host& host) {
    if (host.MessageBox("Delete measurement report?", MsgStyle::YesNo | MsgStyle::Question, "CONFIRM") !=
        MsgAnswer::Yes)
        return false;
    report.Clear();
    return true;
}

void CopyReport(const ReportDocument& report, Host& host) {
    host.SetClipboardRtf(report.VisibleRtf());
}

void CopyReportRaw(const ReportDocument& report, Host& host) {
    host.SetClipboardText(report.VisiblePlainText());
}

int16_t ReportFontSizeFor(const ReportOptions& options, long controlWidthTwips) {
    if (!options.RTFScaling) return ReportFontSize;
    const double factor = std::max<int16_t>(options.RTFScalingFactor, 1);
    const double size = std::round(static_cast<double>(controlWidthTwips) / factor);
    return static_cast<int16_t>(std::clamp(size, 1.0, 32767.0));
}

int16_t AdjustScalingFactor(int16_t factor, bool up) {
    const int changed = factor + (up ? -10 : 10);
    return static_cast<int16_t>(std::clamp(changed, 10, 32000));
}

} // namespace zep
