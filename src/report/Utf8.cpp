// UTF-8 stepping for the report writers.
#include "report/Utf8.h"

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

uint32_t Next(std::string_view text, size_t& i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
        ++i;
        return c;
    }
    size_t length = 0;
    uint32_t code = 0;
    if ((c & 0xE0) == 0xC0) length = 2, code = c & 0x1F;
    else if ((c & 0xF0) == 0xE0) length = 3, code = c & 0x0F;
    else if ((c & 0xF8) == 0xF0) length = 4, code = c & 0x07;
    bool valid = length != 0 && i + length <= text.size();
    for (size_t k = 1; valid && k < length; ++k) {
        const auto cc = static_cast<unsigned char>(text[i + k]);
        if ((cc & 0xC0) != 0x80) valid = false;
        code = (code << 6) | (cc & 0x3F);
    }
    if (valid && ((length == 2 && code < 0x80) || (length == 3 && code < 0x800) || (length == 4 && code < 0x10000) ||
                  code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)))
        valid = false;
    if (!valid) {
        ++i;
        return FromWindows1252(c);
    }
    i += length;
    return code;
}

void Append(std::string& out, uint32_t code) {
    if (code >= 0xD800 && code <= 0xDFFF) code = 0xFFFD;
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code <= 0x10FFFF) {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        Append(out, 0xFFFD);
    }
}

size_t Length(std::string_view text) {
    size_t count = 0;
    for (size_t i = 0; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x80) ++i;
        else Next(text, i);
        ++count;
    }
    return count;
}

} // namespace zep::utf8
