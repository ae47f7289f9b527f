// The measurement report as an ordered list of appended, styled text groups.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zep {

// Colours as 24-bit values in the order 0x00BBGGRR.
namespace Colour {
constexpr int32_t Black = 0x000000;
constexpr int32_t Red = 0x0000FF;
constexpr int32_t Green = 0x00FF00;
constexpr int32_t Blue = 0xFF0000;
constexpr int32_t Grey = 0xC0C0C0;
constexpr int32_t DarkGreen = 0x00C000;
constexpr int32_t Orange = 0x0080FF;
constexpr int32_t White = 0xFFFFFF;
constexpr int32_t NoHighlight = -1;
} // namespace Colour

// Alignment codes of a group; any other value means "no alignment code".
namespace Alignment {
constexpr int32_t Left = 0;
constexpr int32_t Right = 1;
constexpr int32_t Centre = 2;
} // namespace Alignment

// One appended piece of text. A group without newLine leaves the line open for the next group.
struct ReportGroup {
    std::string text;
    bool newLine = false;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int32_t textColour = Colour::Black;
    int32_t alignment = Alignment::Left;
    int32_t highlight = Colour::NoHighlight;
};

// Appended groups are never edited or removed; only Clear starts the document again.
// Views (the plain text here, rich text elsewhere) are kept up to date per append, never rebuilt.
class ReportDocument {
public:
    using AppendListener = std::function<void(const ReportGroup&)>;
    using ClearListener = std::function<void()>;

    void AddResult(std::string_view text, bool newLine, bool bold = false, bool italic = false,
                   bool underline = false, int32_t textColour = Colour::Black,
                   int32_t alignment = Alignment::Left, int32_t highlight = Colour::NoHighlight);
    void Append(ReportGroup group);
    void Clear();

    const std::vector<ReportGroup>& Groups() const { return groups_; }
    bool Empty() const { return groups_.empty(); }

    // What a rich-text view yields as plain text: the group texts, a line feed after each line end.
    const std::string& PlainText() const { return plainText_; }

    // The plain text split into its lines; an open last line counts as a line.
    std::vector<std::string> PlainLines() const;

    // Called after every append (remote echo, incremental renderers) and after every clear.
    void OnAppend(AppendListener listener) { appendListeners_.push_back(std::move(listener)); }
    void OnClear(ClearListener listener) { clearListeners_.push_back(std::move(listener)); }

private:
    std::vector<ReportGroup> groups_;
    std::string plainText_;
    std::vector<AppendListener> appendListeners_;
    std::vector<ClearListener> clearListeners_;
};

} // namespace zep
