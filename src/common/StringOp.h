// Text helpers shared by every subsystem: trimming, number reading and case-insensitive compares.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zep {

// Removes blanks at both ends, then carriage returns, line feeds and NUL characters at both ends.
std::string StripText(std::string_view text);

// Removes blanks at both ends, then tabs, carriage returns and line feeds at both ends.
std::string CleanLine(std::string_view text);

// Removes blanks (only ' ') at both ends.
std::string TrimBlanks(std::string_view text);

// The same three trims as views into the text, for loops that must not allocate.
std::string_view StripView(std::string_view text);
std::string_view CleanLineView(std::string_view text);
std::string_view TrimBlanksView(std::string_view text);

// The number a text starts with, read the way the classic BASIC Val() reads it: leading white space
// skipped, blanks inside the digits ignored, optional sign, digits with one '.', an exponent
// introduced by E or D, and "&H"/"&O" prefixes for hexadecimal and octal. No number gives 0.
double LeadingNumber(std::string_view text);

// The variable-substitution number test: the text (blanks around it allowed) is a plain decimal
// number, or starts with "." or "-." followed by digits; failing that, the test is repeated with all
// "s" removed, then with all "%" removed (so "10s" and "5%" are numbers).
bool IsNumber(std::string_view text);

// Plain decimal number as the standard conversion accepts it (no unit letters).
bool IsPlainNumber(std::string_view text);

std::string ToUpperAscii(std::string_view text);
std::string ToLowerAscii(std::string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
bool StartsWith(std::string_view text, std::string_view prefix);
bool ContainsIgnoreCase(std::string_view text, std::string_view part);

// Splits at every occurrence of separator; an empty text gives one empty field.
std::vector<std::string> SplitText(std::string_view text, char separator);

// The same as views into text, reusing the vector's storage (for loops over many lines).
void SplitTextViews(std::string_view text, char separator, std::vector<std::string_view>& fields);

} // namespace zep
