// An INI file held in memory, read and changed with the rules of the Windows private-profile
// functions, so files written by earlier installations read back as they did there.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zep {

// Longest value a read returns (the private-profile read buffer holds 750 characters with its NUL).
constexpr size_t MaxSettingLength = 749;

// How the file's bytes encode its text; a changed file is written back the same way.
enum class IniEncoding { Utf8, Utf8WithBom, Windows1252, Utf16LE, Utf16BE };

// Section and key names compare case-insensitively with blanks around them ignored; the first
// section of a name is the one read and written, and in it the first key of a name. Lines the
// program does not change (comments, unknown sections and keys, blank lines) keep their exact text.
class IniDocument {
  public:
    IniDocument() = default;

    // Any bytes parse: lines that are neither sections nor keys are kept as they are.
    static IniDocument Parse(std::string_view bytes);

    // The file's bytes: every unchanged line exactly as it was read.
    std::string Serialize() const;

    // The value as the private-profile read returns it: blanks around it removed, then one pair of
    // matching single or double quotes around it removed, then cut to MaxSettingLength characters.
    // nullopt when the key is missing (a line without "=" is no key).
    std::optional<std::string> Get(std::string_view section, std::string_view key) const;

    // Sets the value of the key, adding the key at the end of its section, or the section at the
    // end of the file. A value that would not read back as it is (blanks at its ends, matching
    // quotes around it) is written in double quotes; line breaks become blanks, a NUL ends it.
    // Section and key names are the program's own and must not hold "=", "]" or line breaks.
    void Set(std::string_view section, std::string_view key, std::string_view value);

    // Removes every key of that name from the first section of that name, so it reads as missing;
    // a missing key is no error. Returns whether a line was removed.
    bool Remove(std::string_view section, std::string_view key);

    // True once Set or Remove has changed a line.
    bool Modified() const { return modified_; }

    IniEncoding Encoding() const { return encoding_; }

    // The names of the sections in file order (duplicates included), for diagnostics and tests.
    std::vector<std::string> SectionNames() const;

  private:
    enum class LineKind { Other, Section, Key, Comment };
    struct Line {
        std::string text; // decoded, without its line end
        std::string end;  // "\r\n", "\n", "\r" or empty for an unterminated last line
        LineKind kind = LineKind::Other;
        std::string name;      // section or key name, blanks removed
        size_t valueStart = 0; // key lines: where the value starts in text
    };

    static Line ClassifyLine(std::string text, std::string end);
    // A key line's value with blanks and one pair of matching quotes removed, not yet cut.
    static std::string StoredValue(const Line& line);
    // Index of the header of the first section of that name; npos when there is none.
    size_t FindSection(std::string_view section) const;
    // Index of the first key of that name after the header at sectionIndex; npos when missing.
    size_t FindKey(size_t sectionIndex, std::string_view key) const;
    // The index after the last key of the section (the header's successor when it has none).
    size_t SectionInsertPoint(size_t sectionIndex) const;

    std::vector<Line> lines_;
    IniEncoding encoding_ = IniEncoding::Utf8;
#ifdef _WIN32
    std::string lineEnd_ = "\r\n";
#else
    std::string lineEnd_ = "\n";
#endif
    bool modified_ = false;
};

// A settings file on disk and what reading it found.
struct IniFile {
    enum class State { Missing, Loaded, Unreadable };

    std::filesystem::path Path;
    IniDocument Document;
    State FileState = State::Missing;
    std::string Error; // why an unreadable file could not be read
};

// Reads the file. A missing file gives an empty document; one that cannot be read (no permission,
// a folder, absurdly large) an empty document marked Unreadable, which WriteIniFile then refuses
// to replace so nothing the user had is lost.
IniFile ReadIniFile(const std::filesystem::path& path);

// Writes the document atomically (temporary file, then rename), creating the folder when needed.
// Nothing is written when the file was read and nothing changed. Returns empty on success, else a
// message naming the file and the reason.
std::string WriteIniFile(const IniFile& file);

} // namespace zep
