// UTF-8 and Windows-1252 conversions.
#include "common/Utf8.h"

namespace zep::utf8 {

namespace {

constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

uint32_t FromWindows1252(unsigned char byte) {
    if (byte >= 0x80 && byte < 0xA0) return kCp1252High[byte - 0x80];
    return byte;
}

std::optional<char> ToWindows1252(uint32_t code) {
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return static_cast<char>(code);
    for (size_t k = 0; k < 32; ++k)
        if (kCp1252High[k] == code) return static_cast<char>(0x80 + k);
    return std::nullopt;
}

size_t DecodeAt(std::string_view text, size_t i, uint32_t& code) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
        code = c;
        return 1;
    }
    size_t length = 0;
    if ((c & 0xE0) == 0xC0) length = 2, code = c & 0x1F;
    else if ((c & 0xF0) == 0xE0) length = 3, code = c & 0x0F;
    else if ((c & 0xF8) == 0xF0) length = 4, code = c & 0x07;
    else return 0;
    if (i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        const auto cc = static_cast<unsigned char>(text[i + k]);
        if ((cc & 0xC0) != 0x80) return 0;
        code = (code << 6) | (cc & 0x3F);
    }
    // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
    if ((length == 2 && code < 0x80) || (length == 3 && code < 0x800) || (length == 4 && code < 0x10000) ||
        code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

uint32_t Next(std::string_view text, size_t& i) {
    uint32_t code = 0;
    const size_t length = DecodeAt(text, i, code);
    if (length == 0) return FromWindows1252(static_cast<unsigned char>(text[i++]));
    i += length;
    return code;
}

void Append(std::string& out, uint32_t code) {
    if ((code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) code = 0xFFFD;
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

size_t Length(std::string_view text) {
    size_t count = 0;
    for (size_t i = 0; i < text.size(); ++count) {
        if (static_cast<unsigned char>(text[i]) < 0x80) ++i;
        else Next(text, i);
    }
    return count;
}

std::string ForTerminal(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const size_t start = i;
        const uint32_t code = Next(text, i);
        if (code == '\t' || code == '\n' || (code >= 0x20 && code < 0x7F) || code >= 0xA0) {
            if (i - start == 1 && code >= 0x80) Append(out, code); // an invalid byte, as Windows-1252
            else out.append(text.substr(start, i - start));
        } else if (code < 0x80 || i - start == 1) {
            const auto byte = static_cast<unsigned char>(text[start]);
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += "\\u00";
            out += kHex[code >> 4];
            out += kHex[code & 0xF];
        }
    }
    return out;
}

} // namespace zep::utf8
