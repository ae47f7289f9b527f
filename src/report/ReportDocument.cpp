// The measurement report document.
#include "report/ReportDocument.h"

namespace zep {

void ReportDocument::AddResult(std::string_view text, bool newLine, bool bold, bool italic, bool underline,
                               int32_t textColour, int32_t alignment, int32_t highlight) {
    Append(ReportGroup{std::string(text), newLine, bold, italic, underline, textColour, alignment, highlight});
}

void ReportDocument::Append(ReportGroup group) {
    plainText_ += group.text;
    if (group.newLine) plainText_ += '\n';
    groups_.push_back(std::move(group));
    for (const auto& listener : appendListeners_) listener(groups_.back());
}

void ReportDocument::Clear() {
    groups_.clear();
    plainText_.clear();
    for (const auto& listener : clearListeners_) listener();
}

std::vector<std::string> ReportDocument::PlainLines() const {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < plainText_.size()) {
        const size_t end = plainText_.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(plainText_.substr(start));
            break;
        }
        lines.push_back(plainText_.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

} // namespace zep
