// Measured values as report text.
#include "report/ValueFormat.h"

#include "common/StringOp.h"
#include "common/Utf8.h"
#include "testdef/TestModel.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace zep {

namespace {

// |value| as 15 significant digits d0.d1...d14 times 10^exponent.
struct Decimal {
    std::string digits;
    int exponent = 0;
};

Decimal ToDecimal(double magnitude) {
    Decimal d;
    if (magnitude == 0) {
        d.digits = std::string(15, '0');
        return d;
    }
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.14e", magnitude);
    // "d.dddddddddddddde+XX"
    d.digits += buffer[0];
    d.digits.append(buffer + 2, 14);
    d.exponent = std::atoi(buffer + 17);
    return d;
}

// Increments a digit string; returns true when it overflowed into one more digit.
bool Increment(std::string& digits) {
    for (size_t i = digits.size(); i-- > 0;) {
        if (digits[i] != '9') {
            ++digits[i];
            return false;
        }
        digits[i] = '0';
    }
    digits.insert(digits.begin(), '1');
    return true;
}

// The magnitude rounded to fractionDigits decimals: integer digits without leading zeros (empty
// for 0) and exactly fractionDigits fraction digits.
void RoundFixed(double magnitude, int fractionDigits, std::string& integerDigits, std::string& fraction) {
    const Decimal d = ToDecimal(magnitude);
    int point = d.exponent + 1; // digits before the decimal point
    const long keep = static_cast<long>(point) + fractionDigits;
    std::string kept;
    if (magnitude == 0 || keep < 0) {
        kept = std::string(static_cast<size_t>(fractionDigits), '0');
        point = 0;
    } else if (keep == 0) {
        // Only the first digit decides: it rounds up to one unit of the last place or to zero.
        const bool roundsUp = d.digits[0] >= '5';
        if (fractionDigits > 0) {
            kept = std::string(static_cast<size_t>(fractionDigits), '0');
            if (roundsUp) kept.back() = '1';
            point = 0;
        } else {
            kept = roundsUp ? "1" : "0";
            point = 1;
        }
    } else {
        const size_t k = static_cast<size_t>(keep);
        kept = d.digits.substr(0, std::min(k, d.digits.size()));
        if (kept.size() < k) kept.append(k - kept.size(), '0');
        if (k < d.digits.size() && d.digits[k] >= '5' && Increment(kept)) ++point;
    }
    if (point > 0) {
        integerDigits = kept.substr(0, static_cast<size_t>(point));
        fraction = kept.substr(static_cast<size_t>(point));
    } else {
        integerDigits.clear();
        fraction = std::string(static_cast<size_t>(-point), '0') + kept;
    }
    fraction.resize(static_cast<size_t>(fractionDigits), '0');
    const size_t first = integerDigits.find_first_not_of('0');
    integerDigits = first == std::string::npos ? std::string() : integerDigits.substr(first);
}

std::string GeneralForm(double value, std::string_view decimalSymbol) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.15G", value);
    std::string text;
    for (const char* p = buffer; *p; ++p) {
        if (*p == '.')
            text += decimalSymbol;
        else
            text += *p;
    }
    return text;
}

std::string NonFinite(double value) {
    if (std::isnan(value)) return "NaN";
    return value < 0 ? "-Inf" : "Inf";
}

// One section of a pattern, taken apart.
struct Pattern {
    struct Item {
        enum Kind { Digit, Literal } kind;
        char placeholder = 0; // '0' or '#'
        std::string text;
    };
    std::vector<Item> integerItems;
    std::vector<Item> fractionItems;
    std::vector<Item> exponentDigits;
    std::vector<Item> prefix; // literals before the first digit
    std::string exponentLetter;
    bool exponentPlus = false;
    bool hasPoint = false;
    bool grouping = false;
    int scaleThousands = 0;
    int percent = 0;
    int integerPlaceholders = 0;
};

Pattern ParsePattern(std::string_view section) {
    Pattern p;
    enum { Integer, Fraction, Exponent } part = Integer;
    bool seenDigit = false;
    int pendingCommas = 0;
    auto literal = [&](std::string text) {
        std::vector<Pattern::Item>& target = part == Integer    ? (seenDigit ? p.integerItems : p.prefix)
                                             : part == Fraction ? p.fractionItems
                                                                : p.exponentDigits;
        if (!target.empty() && target.back().kind == Pattern::Item::Literal)
            target.back().text += text;
        else
            target.push_back({Pattern::Item::Literal, 0, std::move(text)});
    };
    for (size_t i = 0; i < section.size(); ++i) {
        const char c = section[i];
        if (c == '0' || c == '#') {
            if (part == Integer) {
                if (pendingCommas > 0) p.grouping = true;
                pendingCommas = 0;
                p.integerItems.push_back({Pattern::Item::Digit, c, {}});
                ++p.integerPlaceholders;
                seenDigit = true;
            } else if (part == Fraction) {
                p.fractionItems.push_back({Pattern::Item::Digit, c, {}});
            } else {
                p.exponentDigits.push_back({Pattern::Item::Digit, c, {}});
            }
        } else if (c == '.' && part == Integer) {
            p.scaleThousands += pendingCommas;
            pendingCommas = 0;
            p.hasPoint = true;
            part = Fraction;
            seenDigit = true;
        } else if (c == ',' && part == Integer) {
            if (seenDigit) ++pendingCommas;
        } else if ((c == 'E' || c == 'e') && part != Exponent && i + 1 < section.size() &&
                   (section[i + 1] == '+' || section[i + 1] == '-')) {
            if (part == Integer) p.scaleThousands += pendingCommas;
            pendingCommas = 0;
            p.exponentLetter = std::string(1, c);
            p.exponentPlus = section[i + 1] == '+';
            ++i;
            part = Exponent;
        } else if (c == '"') {
            const size_t end = section.find('"', i + 1);
            const size_t stop = end == std::string_view::npos ? section.size() : end;
            literal(std::string(section.substr(i + 1, stop - i - 1)));
            i = stop;
        } else if (c == '\\' && i + 1 < section.size()) {
            literal(std::string(1, section[++i]));
        } else {
            if (c == '%') ++p.percent;
            literal(std::string(1, c));
        }
    }
    if (part == Integer) p.scaleThousands += pendingCommas;
    return p;
}

std::string GroupThousands(const std::string& digits, std::string_view separator) {
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += separator;
        out += digits[i];
    }
    return out;
}

// The integer digits placed into the integer placeholders and literals.
std::string FillInteger(const Pattern& p, std::string digits, std::string_view thousands) {
    // Leading zeros for every placeholder from the leftmost "0" on.
    size_t minimum = 0;
    bool seenZero = false;
    for (const auto& item : p.integerItems) {
        if (item.kind != Pattern::Item::Digit) continue;
        if (item.placeholder == '0') seenZero = true;
        if (seenZero) ++minimum;
    }
    if (digits.size() < minimum) digits.insert(0, minimum - digits.size(), '0');
    if (p.grouping) {
        std::string out = GroupThousands(digits, thousands);
        for (const auto& item : p.integerItems)
            if (item.kind == Pattern::Item::Literal) out += item.text;
        return out;
    }
    // Right to left: each placeholder takes one digit, the leftmost takes all that remain.
    std::vector<std::string> pieces;
    size_t remaining = digits.size();
    int placeholdersLeft = p.integerPlaceholders;
    for (size_t k = p.integerItems.size(); k-- > 0;) {
        const auto& item = p.integerItems[k];
        if (item.kind == Pattern::Item::Literal) {
            pieces.push_back(item.text);
            continue;
        }
        --placeholdersLeft;
        if (placeholdersLeft == 0) {
            pieces.push_back(digits.substr(0, remaining));
            remaining = 0;
        } else if (remaining > 0) {
            pieces.push_back(digits.substr(remaining - 1, 1));
            --remaining;
        }
    }
    std::string out;
    for (size_t k = pieces.size(); k-- > 0;)
        out += pieces[k];
    if (p.integerPlaceholders == 0) out = digits + out;
    return out;
}

std::string FillFraction(const Pattern& p, const std::string& fraction) {
    // Trailing "#" positions drop their zeros.
    size_t count = 0;
    for (const auto& item : p.fractionItems)
        if (item.kind == Pattern::Item::Digit) ++count;
    size_t shown = count;
    size_t position = count;
    for (size_t k = p.fractionItems.size(); k-- > 0;) {
        const auto& item = p.fractionItems[k];
        if (item.kind != Pattern::Item::Digit) continue;
        --position;
        if (item.placeholder == '#' && shown == position + 1 && fraction[position] == '0')
            shown = position;
        else
            break;
    }
    std::string out;
    size_t index = 0;
    for (const auto& item : p.fractionItems) {
        if (item.kind == Pattern::Item::Literal)
            out += item.text;
        else if (index < shown)
            out += fraction[index++];
        else
            ++index;
    }
    return out;
}

std::string FormatSection(double magnitude, const Pattern& p, std::string_view decimalSymbol) {
    const std::string_view thousands = decimalSymbol == "," ? "." : ",";
    for (int k = 0; k < p.percent; ++k)
        magnitude *= 100;
    for (int k = 0; k < p.scaleThousands; ++k)
        magnitude /= 1000;
    int fractionDigits = 0;
    for (const auto& item : p.fractionItems)
        if (item.kind == Pattern::Item::Digit) ++fractionDigits;

    std::string out;
    for (const auto& item : p.prefix)
        out += item.text;
    if (p.exponentLetter.empty()) {
        std::string integerDigits, fraction;
        RoundFixed(magnitude, fractionDigits, integerDigits, fraction);
        out += FillInteger(p, integerDigits, thousands);
        if (p.hasPoint) out += decimalSymbol;
        out += FillFraction(p, fraction);
        return out;
    }
    // Scientific: as many integer digits as the pattern has integer placeholders (at least one).
    const int integerCount = std::max(1, p.integerPlaceholders);
    const int significant = integerCount + fractionDigits;
    int exponent = 0;
    std::string digits(static_cast<size_t>(significant), '0');
    if (magnitude != 0) {
        const Decimal d = ToDecimal(magnitude);
        digits = d.digits.substr(0, std::min<size_t>(static_cast<size_t>(significant), d.digits.size()));
        digits.resize(static_cast<size_t>(significant), '0');
        int top = d.exponent; // exponent of the first digit
        if (static_cast<size_t>(significant) < d.digits.size() &&
            d.digits[static_cast<size_t>(significant)] >= '5' && Increment(digits)) {
            digits.pop_back();
            ++top;
        }
        exponent = top - (integerCount - 1);
    }
    std::string integerDigits = digits.substr(0, static_cast<size_t>(integerCount));
    const size_t first = integerDigits.find_first_not_of('0');
    integerDigits = first == std::string::npos ? std::string() : integerDigits.substr(first);
    out += FillInteger(p, integerDigits, thousands);
    if (p.hasPoint) out += decimalSymbol;
    out += FillFraction(p, digits.substr(static_cast<size_t>(integerCount)));
    out += p.exponentLetter;
    if (exponent < 0)
        out += '-';
    else if (p.exponentPlus)
        out += '+';
    size_t minimumDigits = 0;
    std::string trailing;
    for (const auto& item : p.exponentDigits) {
        if (item.kind == Pattern::Item::Digit && trailing.empty()) {
            if (item.placeholder == '0') ++minimumDigits;
        } else if (item.kind == Pattern::Item::Literal) {
            trailing += item.text;
        }
    }
    std::string expDigits = std::to_string(std::abs(exponent));
    if (expDigits.size() < minimumDigits) expDigits.insert(0, minimumDigits - expDigits.size(), '0');
    if (exponent == 0 && minimumDigits == 0) expDigits.clear();
    out += expDigits;
    out += trailing;
    return out;
}

std::vector<std::string_view> Sections(std::string_view pattern) {
    std::vector<std::string_view> sections;
    size_t start = 0;
    bool quoted = false;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '"')
            quoted = !quoted;
        else if (pattern[i] == '\\')
            ++i;
        else if (pattern[i] == ';' && !quoted) {
            sections.push_back(pattern.substr(start, i - start));
            start = i + 1;
        }
    }
    sections.push_back(pattern.substr(std::min(start, pattern.size())));
    return sections;
}

} // namespace

std::string FormatNumber(double value, std::string_view pattern, std::string_view decimalSymbol) {
    if (!std::isfinite(value)) return NonFinite(value);
    if (pattern.empty()) return GeneralForm(value, decimalSymbol);
    const auto sections = Sections(pattern);
    if (value == 0 && sections.size() >= 3 && !sections[2].empty())
        return FormatSection(0, ParsePattern(sections[2]), decimalSymbol);
    if (value < 0 && sections.size() >= 2 && !sections[1].empty())
        return FormatSection(-value, ParsePattern(sections[1]), decimalSymbol);
    const Pattern p = ParsePattern(sections[0]);
    std::string text = FormatSection(std::fabs(value), p, decimalSymbol);
    if (value < 0) text.insert(0, "-");
    return text;
}

double ValueOfText(std::string_view text) {
    std::string copy(text);
    for (char& c : copy)
        if (c == ',') c = '.';
    return LeadingNumber(copy);
}

const std::vector<UnitPrefix>& UnitPrefixes() {
    static const std::vector<UnitPrefix> table = {
        {1e-15, 1e15, 1, " f"},      {1e-12, 1e12, 1, " p"}, {1e-9, 1e9, 1, " n"},
        {1e-6, 1e6, 1, " \xC2\xB5"}, {0.001, 1000, 1, " m"}, {1, 1, 1, " "},
        {1000, 1, 1000, " k"},       {1e6, 1, 1e6, " M"},    {1e9, 1, 1e9, " G"},
    };
    return table;
}

std::string FormatValue(double value, std::string_view unit, std::string_view format, bool scale,
                        bool isSigned, std::string_view decimalSymbol) {
    std::string result;
    const double magnitude = std::fabs(value);
    if (scale && value == 0) {
        result = "0 " + std::string(unit);
    } else {
        result = FormatNumber(value, format, decimalSymbol) + " " + std::string(unit);
        if (scale && std::isfinite(value)) {
            const auto& table = UnitPrefixes();
            for (size_t k = table.size(); k-- > 0;) {
                if (magnitude < table[k].lowest) continue;
                if (k + 1 == table.size() && magnitude >= 1e12) break;
                const double scaled = value * table[k].multiplier / table[k].divisor;
                result = FormatNumber(scaled, format, decimalSymbol) + std::string(table[k].prefix) +
                         std::string(unit);
                break;
            }
        }
    }
    if (isSigned && value >= 0) result.insert(0, "+");
    return TrimBlanks(result);
}

std::string FormatValue(std::string_view valueText, std::string_view unit, std::string_view format,
                        bool scale, bool isSigned, std::string_view decimalSymbol) {
    return FormatValue(ValueOfText(valueText), unit, format, scale, isSigned, decimalSymbol);
}

std::string_view SelectFormat(std::string_view format, const FormatOptions& options) {
    if (!format.empty()) return format;
    if (options.NumFormatUseDefault) return options.NumFormatDefault;
    return {};
}

std::string AntFormat(std::string_view value, int32_t kind, std::string_view unit, bool scale,
                      const FormatOptions& options, std::string_view format) {
    switch (kind) {
    case ResultKind::Number:
    case ResultKind::ACPTab:
    case ResultKind::MSUM:
        return FormatValue(value, unit, SelectFormat(format, options), scale, true, options.DecimalSymbol);
    case ResultKind::Boolean0_OK:
        return LeadingNumber(value) == 0 ? "PASS" : "FAIL";
    case ResultKind::BinFile:
        return std::to_string(value.size()) + " bytes";
    default:
        return std::string(value);
    }
}

std::string AntFormat(double value, int32_t kind, std::string_view unit, bool scale,
                      const FormatOptions& options, std::string_view format) {
    switch (kind) {
    case ResultKind::Number:
    case ResultKind::ACPTab:
    case ResultKind::MSUM:
        return FormatValue(value, unit, SelectFormat(format, options), scale, true, options.DecimalSymbol);
    case ResultKind::Boolean0_OK:
        return value == 0 ? "PASS" : "FAIL";
    default:
        return AntFormat(FormatNumber(value, {}), kind, unit, scale, options, format);
    }
}

std::string AntFormatCompact(std::string_view value, int32_t kind, std::string_view unit, bool scale,
                             const FormatOptions& options, std::string_view format) {
    if (kind == ResultKind::ACPTab || kind == ResultKind::MSUM) {
        const size_t parts = SplitListValue(value).size();
        return std::to_string(parts) + (parts == 1 ? " value" : " values");
    }
    return AntFormat(value, kind, unit, scale, options, format);
}

std::string PadLabel(std::string_view text, char padChar, size_t labelWidth) {
    std::string out(text);
    const size_t length = utf8::Length(text);
    if (length <= labelWidth) out.append(labelWidth - length, padChar);
    return out;
}

char DetectListSeparator(std::string_view text) {
    char best = 0;
    size_t bestParts = 1;
    bool tie = true;
    for (const char candidate : {',', ';', ':'}) {
        size_t parts = 1;
        for (const char c : text)
            if (c == candidate) ++parts;
        if (parts > bestParts) {
            best = candidate;
            bestParts = parts;
            tie = false;
        } else if (parts == bestParts) {
            tie = true;
        }
    }
    return tie ? 0 : best;
}

std::vector<std::string> SplitValue(std::string_view text, char separator) {
    if (text.empty()) return {};
    if (separator == 0) return {std::string(text)};
    return SplitText(text, separator);
}

std::vector<std::string> SplitListValue(std::string_view text) {
    return SplitValue(text, DetectListSeparator(text));
}

} // namespace zep
