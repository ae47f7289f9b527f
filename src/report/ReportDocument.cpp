// The measurement report document.
#include "report/ReportDocument.h"

#include "common/StringOp.h"
#include "common/TextFile.h"
#include "report/RtfReader.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>

namespace zep {

void ReportDocument::AddResult(std::string_view text, bool newLine, bool bold, bool italic, bool underline,
                               int32_t textColour, int32_t alignment, int32_t highlight) {
    if (shown_) DropShownFile();
    const size_t start = plainText_.size();
    plainText_.append(text);
    if (newLine) plainText_ += '\n';
    uint8_t flags = static_cast<uint8_t>((newLine ? NewLineFlag : 0) | (bold ? BoldFlag : 0) |
                                         (italic ? ItalicFlag : 0) | (underline ? UnderlineFlag : 0));
    const int colourIndex = RtfColourIndex(textColour);
    const int highlightIndex = highlight == Colour::NoHighlight ? -1 : RtfColourIndex(highlight);
    Record record{static_cast<uint32_t>(text.size()), flags, static_cast<uint8_t>(colourIndex),
                  highlightIndex < 0 ? NoCode : static_cast<uint8_t>(highlightIndex),
                  static_cast<uint8_t>(alignment)};
    if (colourIndex == 0 || highlightIndex == 0 || alignment < 0 || alignment > 2 ||
        text.size() > UINT32_MAX) {
        record.flags |= ExoticFlag;
        exotic_.push_back(ExoticStyle{records_.size(), text.size(), textColour, alignment, highlight});
    }
    if (records_.size() % CheckpointEvery == 0) checkpoints_.push_back(start);
    records_.push_back(record);
    rtf_.RtfAppend(text, newLine, bold, italic, underline, textColour, alignment, highlight);
    if (!appended_.Empty()) appended_.Emit(Group(records_.size() - 1));
}

void ReportDocument::Append(const ReportGroup& group) {
    AddResult(group.text, group.newLine, group.bold, group.italic, group.underline, group.textColour,
              group.alignment, group.highlight);
}

void ReportDocument::Clear() {
    records_.clear();
    checkpoints_.clear();
    exotic_.clear();
    plainText_.clear();
    rtf_.RtfInit(ReportFontName, rtf_.FontSize());
    shown_.reset();
    cleared_.Emit();
}

size_t ReportDocument::TextLengthOf(size_t index) const {
    const Record& r = records_[index];
    return (r.flags & ExoticFlag) ? ExoticOf(index).textLength : r.textLength;
}

ReportGroup ReportDocument::GroupAt(size_t index, size_t textStart) const {
    const Record& r = records_[index];
    ReportGroup group;
    group.text = plainText_.substr(textStart, TextLengthOf(index));
    group.newLine = (r.flags & NewLineFlag) != 0;
    group.bold = (r.flags & BoldFlag) != 0;
    group.italic = (r.flags & ItalicFlag) != 0;
    group.underline = (r.flags & UnderlineFlag) != 0;
    if (r.flags & ExoticFlag) {
        const ExoticStyle& e = ExoticOf(index);
        group.textColour = e.textColour;
        group.alignment = e.alignment;
        group.highlight = e.highlight;
    } else {
        group.textColour = RtfPaletteColour(r.colour);
        group.alignment = r.alignment;
        group.highlight = r.highlight == NoCode ? Colour::NoHighlight : RtfPaletteColour(r.highlight);
    }
    return group;
}

ReportGroup ReportDocument::Group(size_t index) const {
    if (index >= records_.size()) throw std::out_of_range("report group index");
    size_t start = checkpoints_[index / CheckpointEvery];
    for (size_t k = index - index % CheckpointEvery; k < index; ++k)
        start += TextLengthOf(k) + ((records_[k].flags & NewLineFlag) ? 1 : 0);
    return GroupAt(index, start);
}

const ReportDocument::ExoticStyle& ReportDocument::ExoticOf(size_t index) const {
    const auto it = std::lower_bound(exotic_.begin(), exotic_.end(), index,
                                     [](const ExoticStyle& e, size_t i) { return e.index < i; });
    return *it;
}

std::vector<ReportGroup> ReportDocument::Groups() const {
    std::vector<ReportGroup> groups;
    groups.reserve(records_.size());
    size_t start = 0;
    for (size_t i = 0; i < records_.size(); ++i) {
        groups.push_back(GroupAt(i, start));
        start += TextLengthOf(i) + ((records_[i].flags & NewLineFlag) ? 1 : 0);
    }
    return groups;
}

std::vector<std::string> ReportDocument::PlainLines() const {
    if (plainText_.empty()) return {};
    auto lines = SplitText(plainText_, '\n');
    if (lines.back().empty()) lines.pop_back(); // the line end of the last line opens no new line
    return lines;
}

void ReportDocument::SetFontSize(int16_t fontSize) {
    if (fontSize < 1) fontSize = 1;
    if (fontSize == rtf_.FontSize()) return;
    rtf_.RtfRender(fontSize);
    if (!shown_) Reloaded();
}

bool ReportDocument::ShowFile(const std::filesystem::path& path) {
    if (path.empty()) return false;
    auto bytes = ReadFileBytes(path);
    if (!bytes) return false;
    auto shown = std::make_unique<ShownFile>();
    const bool isRtf = LooksLikeRtf(*bytes);
    if (isRtf) {
        shown->groups = ReadRtf(*bytes);
        shown->rtf = std::move(*bytes);
    } else {
        for (auto& line : SplitLines(DecodeUserText(*bytes)))
            shown->groups.push_back(ReportGroup{std::move(line), true});
    }
    RTFGen fileRtf;
    for (const auto& g : shown->groups) {
        shown->plainText += g.text;
        if (g.newLine) shown->plainText += '\n';
        if (!isRtf)
            fileRtf.RtfAppend(g.text, g.newLine, g.bold, g.italic, g.underline, g.textColour, g.alignment,
                              g.highlight);
    }
    if (!isRtf) shown->rtf = fileRtf.Document();
    shown_ = std::move(shown);
    Reloaded();
    return true;
}

std::string_view ReportDocument::VisibleRtf() const {
    return shown_ ? std::string_view(shown_->rtf) : std::string_view(rtf_.Document());
}

std::string_view ReportDocument::VisiblePlainText() const {
    return shown_ ? std::string_view(shown_->plainText) : std::string_view(plainText_);
}

std::vector<ReportGroup> ReportDocument::VisibleGroups() const {
    return shown_ ? shown_->groups : Groups();
}

void ReportDocument::DropShownFile() {
    // The report comes back before the new group is added, so a view that re-reads it and then
    // takes the append shows every group once.
    shown_.reset();
    Reloaded();
}

void ReportDocument::Reloaded() {
    reloaded_.Emit();
}

} // namespace zep
