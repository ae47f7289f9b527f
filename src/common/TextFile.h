// Reading the text files users write (test sets, test cases, message and settings files) and
// writing files so that a crash or a full disk never leaves a half-written one behind.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zep {

// Valid UTF-8 (an optional byte-order mark removed) stays as it is, anything else is taken as
// Windows-1252 and converted.
std::string DecodeUserText(std::string_view bytes);

// Splits at CR LF, LF or a lone CR. A final line end does not make an extra empty line.
std::vector<std::string> SplitLines(std::string_view text);

// Walks the lines of a text as views (same line ends as SplitLines), without copying them.
class LineCursor {
  public:
    explicit LineCursor(std::string_view text) : text_(text) {}
    bool Next(std::string_view& line);

  private:
    std::string_view text_;
    size_t position_ = 0;
};

// Number of lines SplitLines would give, counted cheaply (for reserving tables).
size_t CountLines(std::string_view text);

// The whole file as bytes; nullopt when it cannot be opened.
std::optional<std::string> ReadFileBytes(const std::filesystem::path& path);

// The decoded text of a user file; nullopt when it cannot be opened.
std::optional<std::string> ReadUserText(const std::filesystem::path& path);

// The decoded lines of a user file; nullopt when it cannot be opened.
std::optional<std::vector<std::string>> ReadUserTextLines(const std::filesystem::path& path);

// Writes bytes to a temporary file beside path, flushes it and renames it into place.
// Returns an empty string on success, else a message naming the file and the reason.
std::string WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// Finds an existing file for a name written on a case-insensitive system: the exact path when it
// exists, else each component matched case-insensitively (FoldCase) in its directory. Both "/" and "\" in
// relative names separate components.
std::optional<std::filesystem::path> FindPathIgnoringCase(const std::filesystem::path& directory,
                                                          std::string_view relativeName);

// Joins a directory and a file name with the platform's separator.
std::string JoinPath(std::string_view directory, std::string_view name);

} // namespace zep
