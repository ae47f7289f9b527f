// The RTF form of the measurement report: the colour table, one group per appended piece of text,
// and the rendered document that views, the clipboard and stored files take.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zep {

// Exactly the colour table that starts every report buffer.
inline constexpr std::string_view RtfColourTable =
    "{\\colortbl "
    ";\\red0\\green0\\blue0;\\red255\\green0\\blue0;\\red0\\green255\\blue0;\\red0\\green0\\blue255;"
    "\\red127\\green127\\blue127;\\red0\\green127\\blue0;\\red255\\green128\\blue0;"
    "\\red255\\green255\\blue255;}";

inline constexpr std::string_view ReportFontName = "Lucida Console";
inline constexpr int16_t ReportFontSize = 20;

// Index of a colour value (0x00BBGGRR) in the colour table: 1..8, or 0 for a value not listed.
int RtfColourIndex(int32_t colour);

// The colour value (0x00BBGGRR) that maps to an index 1..8; black for any other index.
int32_t RtfPaletteColour(int index);

// The colour the table holds at an index 1..8 as 0x00BBGGRR (what a reader of the RTF shows).
int32_t RtfTableColour(int index);

// "\b", "\i", "\ul", the text colour code, the highlight code and the alignment code, in that order.
std::string RtfCodeString(bool bold, bool italic, bool underline, int32_t textColour, int32_t alignment,
                          int32_t highlight);

// Appends text as RTF: "\", "{" and "}" escaped; tab, line ends and other control characters as
// control words; characters outside ASCII (UTF-8, or a stray byte taken as Windows-1252) as
// "\uN\'3f" Unicode escapes (the fallback "?" as a hex escape, which every reader skips exactly).
void AppendRtfEscaped(std::string& out, std::string_view text);

// Appends one group: "{" + code string + " " + escaped text + "\par" when newLine + "}".
void AppendRtfGroup(std::string& out, std::string_view text, bool newLine, bool bold, bool italic,
                    bool underline, int32_t textColour, int32_t alignment, int32_t highlight);

// The report buffer and its rendering. The buffer (colour table and groups) and the rendered
// string "{\plain\fsN" + buffer + "}" live inside one document string, the file form that word
// processors open, so appending is one append and rendering copies nothing.
class RTFGen {
  public:
    RTFGen() { RtfInit(ReportFontName, ReportFontSize); }

    // Starts an empty document with the given font; the buffer becomes the colour table.
    void RtfInit(std::string_view fontName, int16_t fontSize);

    void RtfAppend(std::string_view text, bool newLine, bool bold, bool italic, bool underline,
                   int32_t textColour, int32_t alignment, int32_t highlight);

    // Sets the current font size and returns "{\plain\fs" + size + buffer + "}".
    std::string_view RtfRender(int16_t fontSize);

    // The rendering at the current font size.
    std::string_view Rendered() const;

    // The colour table followed by the groups, without the outer braces.
    std::string_view Buffer() const;

    // The whole RTF document: a header naming the font and code page, then the rendering.
    const std::string& Document() const { return document_; }

    int16_t FontSize() const { return fontSize_; }

  private:
    std::string document_;
    std::string fontName_;
    int16_t fontSize_ = ReportFontSize;
    size_t renderStart_ = 0; // where "{\plain" begins
    size_t bufferStart_ = 0; // where the colour table begins
};

// The document header written in front of a rendering: RTF version, code page, Unicode skip count
// and the font table with the one report font.
std::string RtfDocumentHeader(std::string_view fontName);

} // namespace zep
