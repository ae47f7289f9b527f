// Simple case folding over the scripts test engineers name files in.
#include "common/CaseFold.h"

#include "common/Utf8.h"

namespace zep {

namespace {

uint32_t FoldCodePoint(uint32_t c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 0x20 : c;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20; // Latin-1 capitals
    if (c == 0x178) return 0xFF;                                // Y with diaeresis
    // Latin Extended-A pairs capitals and small letters as even/odd code points, apart from the
    // stretch 0x139-0x148 and 0x179-0x17E where the capital is odd; U+0130 and U+0131 (dotted and
    // dotless i) and U+0138 and U+0149 have no simple pair.
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
        const bool oddCapitals = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        return oddCapitals ? ((c & 1) ? c + 1 : c) : ((c & 1) ? c : c + 1);
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 0x20; // Greek capitals
    if (c >= 0x410 && c <= 0x42F) return c + 0x20;               // Cyrillic capitals
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;               // Cyrillic capitals with marks
    return c;
}

} // namespace

std::string FoldCase(std::string_view text) {
    bool ascii = true;
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) ascii = false;
    std::string out;
    out.reserve(text.size());
    if (ascii) {
        for (const char c : text)
            out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 0x20) : c;
        return out;
    }
    // Bytes that are not UTF-8 are taken as Windows-1252, as for the files users write.
    for (size_t i = 0; i < text.size();)
        utf8::Append(out, FoldCodePoint(utf8::Next(text, i)));
    return out;
}

bool EqualsFoldingCase(std::string_view a, std::string_view b) {
    return FoldCase(a) == FoldCase(b);
}

} // namespace zep
