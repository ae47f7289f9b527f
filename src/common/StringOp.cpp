// Text helpers shared by every subsystem.
#include "common/StringOp.h"

#include <cctype>
#include <cmath>

namespace zep {

namespace {

bool IsBlank(char c) {
    return c == ' ';
}
bool IsLineEndOrNul(char c) {
    return c == '\r' || c == '\n' || c == '\0';
}
bool IsTabOrLineEnd(char c) {
    return c == '\t' || c == '\r' || c == '\n';
}

template <typename Pred> std::string_view TrimBoth(std::string_view text, Pred pred) {
    while (!text.empty() && pred(text.back()))
        text.remove_suffix(1);
    while (!text.empty() && pred(text.front()))
        text.remove_prefix(1);
    return text;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

std::string_view TrimBlanksView(std::string_view text) {
    return TrimBoth(text, IsBlank);
}
std::string_view StripView(std::string_view text) {
    return TrimBoth(TrimBoth(text, IsBlank), IsLineEndOrNul);
}
std::string_view CleanLineView(std::string_view text) {
    return TrimBoth(TrimBoth(text, IsBlank), IsTabOrLineEnd);
}

std::string TrimBlanks(std::string_view text) {
    return std::string(TrimBlanksView(text));
}
std::string StripText(std::string_view text) {
    return std::string(StripView(text));
}
std::string CleanLine(std::string_view text) {
    return std::string(CleanLineView(text));
}

double LeadingNumber(std::string_view text) {
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r'))
        ++i;
    if (i + 1 < n && text[i] == '&') {
        const char base = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i + 1])));
        if (base == 'H' || base == 'O') {
            const int radix = base == 'H' ? 16 : 8;
            double value = 0;
            for (i += 2; i < n; ++i) {
                const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
                int digit = -1;
                if (IsDigit(c))
                    digit = c - '0';
                else if (radix == 16 && c >= 'A' && c <= 'F')
                    digit = c - 'A' + 10;
                if (digit < 0 || digit >= radix) break;
                value = value * radix + digit;
            }
            return value;
        }
    }
    std::string digits;
    auto skipBlanks = [&] {
        while (i < n && (text[i] == ' ' || text[i] == '\t'))
            ++i;
    };
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') digits += '-';
        ++i;
    }
    bool any = false;
    bool point = false;
    for (; i < n; ++i) {
        skipBlanks();
        if (i >= n) break;
        if (IsDigit(text[i])) {
            digits += text[i];
            any = true;
        } else if (text[i] == '.' && !point) {
            digits += '.';
            point = true;
        } else {
            break;
        }
    }
    if (!any) return 0.0;
    if (i < n && (text[i] == 'E' || text[i] == 'e' || text[i] == 'D' || text[i] == 'd')) {
        size_t j = i + 1;
        std::string exponent = "e";
        if (j < n && (text[j] == '+' || text[j] == '-')) exponent += text[j++];
        bool expDigits = false;
        while (j < n && IsDigit(text[j])) {
            exponent += text[j++];
            expDigits = true;
        }
        if (expDigits) digits += exponent;
    }
    const double value = std::strtod(digits.c_str(), nullptr);
    return std::isfinite(value) ? value : 0.0;
}

bool IsPlainNumber(std::string_view text) {
    text = TrimBoth(text, [](char c) { return c == ' ' || c == '\t'; });
    size_t i = 0;
    const size_t n = text.size();
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    size_t intDigits = 0;
    while (i < n && IsDigit(text[i]))
        ++i, ++intDigits;
    size_t fracDigits = 0;
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && IsDigit(text[i]))
            ++i, ++fracDigits;
    }
    if (intDigits == 0) return false; // ".5" is handled by the caller's extra rule
    if (i < n && (text[i] == 'E' || text[i] == 'e')) {
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
        size_t expDigits = 0;
        while (i < n && IsDigit(text[i]))
            ++i, ++expDigits;
        if (expDigits == 0) return false;
    }
    (void)fracDigits;
    return i == n;
}

namespace {

bool IsNumberOnce(std::string_view text) {
    if (IsPlainNumber(text)) return true;
    const std::string trimmed = TrimBlanks(text);
    std::string_view view = trimmed;
    if (StartsWith(view, ".")) return IsPlainNumber("0" + std::string(view));
    if (StartsWith(view, "-.")) return IsPlainNumber("0" + std::string(view.substr(1)));
    return false;
}

std::string WithoutChar(std::string_view text, char c) {
    std::string out;
    out.reserve(text.size());
    for (char ch : text)
        if (ch != c) out += ch;
    return out;
}

} // namespace

bool IsNumber(std::string_view text) {
    if (IsNumberOnce(text)) return true;
    std::string rest(text);
    if (rest.find('s') != std::string::npos) {
        rest = WithoutChar(rest, 's');
        if (IsNumberOnce(rest)) return true;
    }
    if (rest.find('%') != std::string::npos) {
        rest = WithoutChar(rest, '%');
        if (IsNumberOnce(rest)) return true;
    }
    return false;
}

std::string ToUpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string ToLowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool ContainsIgnoreCase(std::string_view text, std::string_view part) {
    return ToUpperAscii(text).find(ToUpperAscii(part)) != std::string::npos;
}

void SplitTextViews(std::string_view text, char separator, std::vector<std::string_view>& fields) {
    fields.clear();
    size_t start = 0;
    while (true) {
        const size_t pos = text.find(separator, start);
        if (pos == std::string_view::npos) {
            fields.push_back(text.substr(start));
            return;
        }
        fields.push_back(text.substr(start, pos - start));
        start = pos + 1;
    }
}

std::vector<std::string> SplitText(std::string_view text, char separator) {
    std::vector<std::string_view> views;
    SplitTextViews(text, separator, views);
    return {views.begin(), views.end()};
}

} // namespace zep
