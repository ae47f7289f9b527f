// UTF-8 stepping for the report writers: text inside the program is UTF-8, but an instrument answer
// may carry stray single bytes, which are taken as Windows-1252 like every user file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zep::utf8 {

// Unicode value of a Windows-1252 byte.
uint32_t FromWindows1252(unsigned char byte);

// The code point starting at text[i]; advances i past it. A byte that does not start a valid
// sequence is taken as Windows-1252 and consumes one byte.
uint32_t Next(std::string_view text, size_t& i);

void Append(std::string& out, uint32_t code);

// Number of characters as Next counts them.
size_t Length(std::string_view text);

} // namespace zep::utf8
