// UTF-8 and Windows-1252 conversions shared by every subsystem: text inside the program is UTF-8,
// user files and instrument answers may carry Windows-1252 bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zep::utf8 {

// Unicode value of a Windows-1252 byte; the five unassigned bytes give the C1 control of that value.
uint32_t FromWindows1252(unsigned char byte);

// The Windows-1252 byte of a code point (the inverse of FromWindows1252), or nullopt when it has none.
std::optional<char> ToWindows1252(uint32_t code);

// Length of the valid UTF-8 sequence at text[i] and its code point in code; 0 when the bytes there
// are not UTF-8 (truncated, overlong, a surrogate or beyond Unicode).
size_t DecodeAt(std::string_view text, size_t i, uint32_t& code);

// The code point starting at text[i]; advances i past it. A byte that does not start a valid
// sequence is taken as Windows-1252 and consumes one byte.
uint32_t Next(std::string_view text, size_t& i);

// Appends the code point; surrogates and values beyond Unicode become U+FFFD.
void Append(std::string& out, uint32_t code);

// Number of characters as Next counts them.
size_t Length(std::string_view text);
// The first count characters as Next counts them.
std::string Prefix(std::string_view text, size_t count);

bool IsValid(std::string_view bytes);

// Valid UTF-8 stays as it is; every byte that is not part of a valid sequence is taken as
// Windows-1252 (the rule everywhere in the program).
std::string Repair(std::string_view text);

// Windows-1252 bytes to UTF-8; the five unassigned bytes map to the C1 controls of the same value.
std::string FromWindows1252(std::string_view bytes);
// UTF-8 (repaired first) to Windows-1252; nullopt when a character has no Windows-1252 byte.
std::optional<std::string> ToWindows1252(std::string_view text);

// UTF-16 bytes to UTF-8: pairs of surrogates combine, a lone one becomes U+FFFD, an odd last
// byte is dropped.
std::string FromUtf16(std::string_view bytes, bool bigEndian);
// UTF-8 (repaired first) to UTF-16 bytes, without a byte-order mark.
std::string ToUtf16(std::string_view text, bool bigEndian);

// The text as it may go to a terminal: invalid bytes as their Windows-1252 characters, and control
// characters other than tab and line feed (escape sequences, carriage returns, C1 controls)
// written as \xHH or \uHHHH, so text from files cannot move the cursor or recolour the screen.
std::string ForTerminal(std::string_view text);

} // namespace zep::utf8
