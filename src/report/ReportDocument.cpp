// The measurement report document.
#include "report/ReportDocument.h"

#include "common/StringOp.h"

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
    if (plainText_.empty()) return {};
    auto lines = SplitText(plainText_, '\n');
    if (lines.back().empty()) lines.pop_back(); // the line end of the last line opens no new line
    return lines;
}

} // namespace zep
