// The RTF form of the measurement report.
#include "report/RTFGen.h"

#include "common/Utf8.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace zep {

namespace {

constexpr std::array<int32_t, 8> kTableColours = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000,
                                                  0xC0C0C0, 0x00C000, 0x0080FF, 0xFFFFFF};
// What the colour table really holds at each index (grey and dark green are 127 there).
constexpr std::array<int32_t, 8> kShownColours = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000,
                                                  0x7F7F7F, 0x007F00, 0x0080FF, 0xFFFFFF};

// Bytes that cannot go into RTF text as they are.
constexpr std::array<bool, 256> MakeSpecialTable() {
    std::array<bool, 256> table{};
    for (int c = 0; c < 0x20; ++c)
        table[c] = true;
    for (int c = 0x80; c < 0x100; ++c)
        table[c] = true;
    table['\\'] = table['{'] = table['}'] = true;
    return table;
}
constexpr auto kSpecial = MakeSpecialTable();

void AppendNumber(std::string& out, long value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

void AppendUnicodeEscape(std::string& out, uint32_t code) {
    // RTF takes signed 16-bit values; characters beyond the BMP go as a surrogate pair.
    auto one = [&out](uint32_t unit) {
        out += "\\u";
        AppendNumber(out, unit > 32767 ? static_cast<long>(unit) - 65536 : static_cast<long>(unit));
        out += "\\'3f"; // "?" as a hex escape: some readers skip a literal fallback's whole word
    };
    if (code > 0xFFFF) {
        code -= 0x10000;
        one(0xD800 + (code >> 10));
        one(0xDC00 + (code & 0x3FF));
    } else {
        one(code);
    }
}

void AppendControl(std::string& out, std::string_view text, size_t& i) {
    const char c = text[i];
    static constexpr char kHex[] = "0123456789abcdef";
    switch (c) {
    case '\\':
        out += "\\\\";
        break;
    case '{':
        out += "\\{";
        break;
    case '}':
        out += "\\}";
        break;
    case '\t':
        out += "\\tab ";
        break;
    case '\r':
        // CR LF is one line end; the LF writes it.
        if (i + 1 < text.size() && text[i + 1] == '\n') break;
        out += "\\line ";
        break;
    case '\n':
        out += "\\line ";
        break;
    default:
        out += "\\'";
        out += kHex[(c >> 4) & 0xF];
        out += kHex[c & 0xF];
        break;
    }
    ++i;
}

} // namespace

int RtfColourIndex(int32_t colour) {
    for (size_t k = 0; k < kTableColours.size(); ++k)
        if (kTableColours[k] == colour) return static_cast<int>(k) + 1;
    return 0;
}

int32_t RtfPaletteColour(int index) {
    if (index < 1 || index > 8) return kTableColours[0];
    return kTableColours[static_cast<size_t>(index - 1)];
}

int32_t RtfTableColour(int index) {
    if (index < 1 || index > 8) return kShownColours[0];
    return kShownColours[static_cast<size_t>(index - 1)];
}

void AppendRtfEscaped(std::string& out, std::string_view text) {
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        size_t run = i;
        while (run < n && !kSpecial[static_cast<unsigned char>(text[run])])
            ++run;
        out.append(text.data() + i, run - i);
        i = run;
        if (i >= n) break;
        if (static_cast<unsigned char>(text[i]) >= 0x80)
            AppendUnicodeEscape(out, utf8::Next(text, i));
        else
            AppendControl(out, text, i);
    }
}

std::string RtfCodeString(bool bold, bool italic, bool underline, int32_t textColour, int32_t alignment,
                          int32_t highlight) {
    std::string codes;
    if (bold) codes += "\\b";
    if (italic) codes += "\\i";
    if (underline) codes += "\\ul";
    codes += "\\cf";
    codes += static_cast<char>('0' + std::max(1, RtfColourIndex(textColour)));
    if (const int index = RtfColourIndex(highlight); index > 0 && highlight >= 0) {
        codes += "\\highlight";
        codes += static_cast<char>('0' + index);
    }
    switch (alignment) {
    case 0:
        codes += "\\ql";
        break;
    case 1:
        codes += "\\qr";
        break;
    case 2:
        codes += "\\qc";
        break;
    default:
        break;
    }
    return codes;
}

namespace {

// "{" + code string + " " into buffer; returns the length written (at most 28).
size_t WriteGroupStart(char* buffer, bool bold, bool italic, bool underline, int32_t textColour,
                       int32_t alignment, int32_t highlight) {
    size_t length = 0;
    auto put = [&](std::string_view part) {
        std::copy(part.begin(), part.end(), buffer + length);
        length += part.size();
    };
    put("{");
    if (bold) put("\\b");
    if (italic) put("\\i");
    if (underline) put("\\ul");
    put("\\cf");
    buffer[length++] = static_cast<char>('0' + std::max(1, RtfColourIndex(textColour)));
    if (const int index = RtfColourIndex(highlight); index > 0 && highlight >= 0) {
        put("\\highlight");
        buffer[length++] = static_cast<char>('0' + index);
    }
    switch (alignment) {
    case 0:
        put("\\ql");
        break;
    case 1:
        put("\\qr");
        break;
    case 2:
        put("\\qc");
        break;
    default:
        break;
    }
    buffer[length++] = ' ';
    return length;
}

constexpr size_t kGroupStartMax = 28;
constexpr size_t kShortText = 256;

} // namespace

namespace {

// The group followed by suffix (the closing braces of a rendering kept complete).
void AppendGroupAndSuffix(std::string& out, std::string_view text, bool newLine, bool bold, bool italic,
                          bool underline, int32_t textColour, int32_t alignment, int32_t highlight,
                          std::string_view suffix) {
    // This runs once per appended group of a report that may be long: a short plain text goes out
    // with one append of a group built on the stack.
    char buffer[kGroupStartMax + kShortText + 16];
    size_t length = WriteGroupStart(buffer, bold, italic, underline, textColour, alignment, highlight);
    if (text.size() <= kShortText) {
        bool special = false;
        for (const char c : text) {
            if (kSpecial[static_cast<unsigned char>(c)]) {
                special = true;
                break;
            }
            buffer[length++] = c;
        }
        if (!special) {
            const std::string_view tail = newLine ? "\\par}" : "}";
            std::copy(tail.begin(), tail.end(), buffer + length);
            length += tail.size();
            std::copy(suffix.begin(), suffix.end(), buffer + length);
            out.append(buffer, length + suffix.size());
            return;
        }
        length = WriteGroupStart(buffer, bold, italic, underline, textColour, alignment, highlight);
    }
    out.append(buffer, length);
    AppendRtfEscaped(out, text);
    if (newLine)
        out += "\\par}";
    else
        out += '}';
    out += suffix;
}

} // namespace

void AppendRtfGroup(std::string& out, std::string_view text, bool newLine, bool bold, bool italic,
                    bool underline, int32_t textColour, int32_t alignment, int32_t highlight) {
    AppendGroupAndSuffix(out, text, newLine, bold, italic, underline, textColour, alignment, highlight, {});
}

std::string RtfDocumentHeader(std::string_view fontName) {
    std::string header = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1{\\fonttbl{\\f0\\fmodern\\fcharset0 ";
    AppendRtfEscaped(header, fontName);
    header += ";}}";
    return header;
}

void RTFGen::RtfInit(std::string_view fontName, int16_t fontSize) {
    fontName_ = std::string(fontName);
    fontSize_ = fontSize;
    document_ = RtfDocumentHeader(fontName);
    renderStart_ = document_.size();
    document_ += "{\\plain\\fs";
    AppendNumber(document_, fontSize);
    bufferStart_ = document_.size();
    document_ += RtfColourTable;
    document_ += "}}";
}

void RTFGen::RtfAppend(std::string_view text, bool newLine, bool bold, bool italic, bool underline,
                       int32_t textColour, int32_t alignment, int32_t highlight) {
    // The closing braces of the rendering and of the document come off and go back on.
    document_.resize(document_.size() - 2);
    AppendGroupAndSuffix(document_, text, newLine, bold, italic, underline, textColour, alignment, highlight,
                         "}}");
}

std::string_view RTFGen::RtfRender(int16_t fontSize) {
    if (fontSize != fontSize_) {
        std::string prefix = "{\\plain\\fs";
        AppendNumber(prefix, fontSize);
        document_.replace(renderStart_, bufferStart_ - renderStart_, prefix);
        bufferStart_ = renderStart_ + prefix.size();
        fontSize_ = fontSize;
    }
    return Rendered();
}

std::string_view RTFGen::Rendered() const {
    return std::string_view(document_).substr(renderStart_, document_.size() - 1 - renderStart_);
}

std::string_view RTFGen::Buffer() const {
    return std::string_view(document_).substr(bufferStart_, document_.size() - 2 - bufferStart_);
}

} // namespace zep
