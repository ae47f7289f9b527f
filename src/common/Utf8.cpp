// UTF-8 and Windows-1252 conversions.
#include "common/Utf8.h"

#include <cstring>

namespace zep::utf8 {

namespace {

constexpr uint16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf16(std::string& out, uint16_t unit, bool bigEndian) {
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    out += bigEndian ? high : low;
    out += bigEndian ? low : high;
}

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
    if ((c & 0xE0) == 0xC0)
        length = 2, code = c & 0x1F;
    else if ((c & 0xF0) == 0xE0)
        length = 3, code = c & 0x0F;
    else if ((c & 0xF8) == 0xF0)
        length = 4, code = c & 0x07;
    else
        return 0;
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
        if (static_cast<unsigned char>(text[i]) < 0x80)
            ++i;
        else
            Next(text, i);
    }
    return count;
}

std::string Prefix(std::string_view text, size_t count) {
    size_t i = 0;
    for (size_t seen = 0; seen < count && i < text.size(); ++seen)
        Next(text, i);
    return std::string(text.substr(0, i));
}

bool IsValid(std::string_view bytes) {
    size_t i = 0;
    const size_t n = bytes.size();
    while (i < n) {
        // Skip ASCII eight bytes at a time: test files are almost all ASCII.
        while (i + 8 <= n) {
            uint64_t block;
            std::memcpy(&block, bytes.data() + i, 8);
            if (block & 0x8080808080808080ULL) break;
            i += 8;
        }
        if (i >= n) break;
        uint32_t code = 0;
        const size_t length = DecodeAt(bytes, i, code);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

std::string Repair(std::string_view text) {
    if (IsValid(text)) return std::string(text);
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    for (size_t i = 0; i < text.size();)
        Append(out, Next(text, i));
    return out;
}

std::string FromWindows1252(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (char ch : bytes)
        Append(out, FromWindows1252(static_cast<unsigned char>(ch)));
    return out;
}

std::optional<std::string> ToWindows1252(std::string_view text) {
    const std::string valid = Repair(text);
    std::string out;
    out.reserve(valid.size());
    for (size_t i = 0; i < valid.size();) {
        const auto byte = ToWindows1252(Next(valid, i));
        if (!byte) return std::nullopt;
        out += *byte;
    }
    return out;
}

std::string FromUtf16(std::string_view bytes, bool bigEndian) {
    std::string out;
    out.reserve(bytes.size() / 2);
    auto unitAt = [&](size_t i) -> uint32_t {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        return bigEndian ? (static_cast<uint32_t>(a) << 8 | b) : (static_cast<uint32_t>(b) << 8 | a);
    };
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        uint32_t unit = unitAt(i);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
            const uint32_t next = unitAt(i + 2);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                Append(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
                i += 2;
                continue;
            }
        }
        Append(out, unit); // a lone surrogate becomes U+FFFD
    }
    return out;
}

std::string ToUtf16(std::string_view text, bool bigEndian) {
    const std::string valid = Repair(text);
    std::string out;
    out.reserve(valid.size() * 2);
    for (size_t i = 0; i < valid.size();) {
        uint32_t code = Next(valid, i);
        if (code >= 0x10000) {
            code -= 0x10000;
            AppendUtf16(out, static_cast<uint16_t>(0xD800 + (code >> 10)), bigEndian);
            AppendUtf16(out, static_cast<uint16_t>(0xDC00 + (code & 0x3FF)), bigEndian);
        } else {
            AppendUtf16(out, static_cast<uint16_t>(code), bigEndian);
        }
    }
    return out;
}

std::string ForTerminal(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const size_t start = i;
        const uint32_t code = Next(text, i);
        if (code == '\t' || code == '\n' || (code >= 0x20 && code < 0x7F) || code >= 0xA0) {
            if (i - start == 1 && code >= 0x80)
                Append(out, code); // an invalid byte, as Windows-1252
            else
                out.append(text.substr(start, i - start));
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
