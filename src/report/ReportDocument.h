// The measurement report as an ordered list of appended, styled text groups.
#pragma once

#include "common/Signal.h"
#include "report/RTFGen.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
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

    bool operator==(const ReportGroup&) const = default;
};

// A message file shown in the results window until the next append or clear.
struct ShownFile {
    std::vector<ReportGroup> groups;
    std::string plainText;
    std::string rtf; // the file itself when it is RTF, else the RTF of its lines
};

// Appended groups are never edited or removed; only Clear starts the document again.
// Every view (plain text, RTF) is kept up to date per append, never rebuilt: an append costs the
// same however long the report is.
class ReportDocument {
  public:
    using AppendListener = Signal<const ReportGroup&>::Listener;
    using ClearListener = Signal<>::Listener;
    using ReloadListener = Signal<>::Listener;

    ReportDocument() = default;

    void AddResult(std::string_view text, bool newLine, bool bold = false, bool italic = false,
                   bool underline = false, int32_t textColour = Colour::Black,
                   int32_t alignment = Alignment::Left, int32_t highlight = Colour::NoHighlight);
    void Append(const ReportGroup& group);

    // Starts the report again with the report font at the current font size.
    void Clear();

    size_t GroupCount() const { return records_.size(); }
    ReportGroup Group(size_t index) const;
    std::vector<ReportGroup> Groups() const;
    bool Empty() const { return records_.empty(); }

    // What a rich-text view yields as plain text: the group texts, a line feed after each line end.
    const std::string& PlainText() const { return plainText_; }

    // The plain text split into its lines; an open last line counts as a line.
    std::vector<std::string> PlainLines() const;

    // The RTF of the report: buffer, rendering and the document that is copied and stored.
    const RTFGen& Rtf() const { return rtf_; }
    const std::string& RtfDocument() const { return rtf_.Document(); }

    // Re-renders at another font size (font scaling); later clears keep that size.
    void SetFontSize(int16_t fontSize);
    int16_t FontSize() const { return rtf_.FontSize(); }

    // Shows a message file (RTF or plain text) in place of the report until the next append or
    // clear; the report itself is unchanged. False, and nothing changes, for an empty path or a
    // file that cannot be read.
    bool ShowFile(const std::filesystem::path& path);
    const ShownFile* Shown() const { return shown_.get(); }

    // What the results window shows now: the shown file while there is one, else the report.
    // Copying and storing take these.
    std::string_view VisibleRtf() const;
    std::string_view VisiblePlainText() const;
    std::vector<ReportGroup> VisibleGroups() const;

    // Called after every append (remote echo, incremental renderers) and after every clear, for as
    // long as the returned subscription lives.
    [[nodiscard]] Subscription OnAppend(AppendListener listener) {
        return appended_.Subscribe(std::move(listener));
    }
    [[nodiscard]] Subscription OnClear(ClearListener listener) {
        return cleared_.Subscribe(std::move(listener));
    }
    // Called when the whole visible document changed (a file shown, the report back in place of a
    // shown file, a new font size): views re-read it.
    [[nodiscard]] Subscription OnReload(ReloadListener listener) {
        return reloaded_.Subscribe(std::move(listener));
    }

  private:
    // A group's text is the slice of the plain text it wrote; its style packs into a few bytes, so
    // a long report costs little beyond its text. Values outside the colour table and the
    // alignment codes are kept aside, exactly.
    struct Record {
        uint32_t textLength;
        uint8_t flags;
        uint8_t colour;    // colour table index 1..8, or Exotic
        uint8_t highlight; // colour table index 1..8, NoCode, or Exotic
        uint8_t alignment; // 0..2, or Exotic
    };
    struct ExoticStyle {
        size_t index;
        size_t textLength;
        int32_t textColour;
        int32_t alignment;
        int32_t highlight;
    };
    enum : uint8_t { NewLineFlag = 1, BoldFlag = 2, ItalicFlag = 4, UnderlineFlag = 8, ExoticFlag = 16 };
    static constexpr uint8_t Exotic = 0xFE;
    static constexpr uint8_t NoCode = 0xFF;
    static constexpr size_t CheckpointEvery = 64; // text offsets kept for every 64th group

    void DropShownFile();
    void Reloaded();
    const ExoticStyle& ExoticOf(size_t index) const;
    size_t TextLengthOf(size_t index) const;
    ReportGroup GroupAt(size_t index, size_t textStart) const;

    std::vector<Record> records_;
    std::vector<size_t> checkpoints_;
    std::vector<ExoticStyle> exotic_;
    std::string plainText_;
    RTFGen rtf_;
    std::unique_ptr<ShownFile> shown_;
    Signal<const ReportGroup&> appended_;
    Signal<> cleared_;
    Signal<> reloaded_;
};

} // namespace zep
