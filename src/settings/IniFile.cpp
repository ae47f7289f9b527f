// The in-memory INI file and its reading and writing.
#include "settings/IniFile.h"

#include "common/StringOp.h"
#include "common/TextFile.h"
#include "common/Utf8.h"

#include <array>
#include <cstdint>
#include <system_error>

namespace zep {

namespace {

// Beyond this a file is no settings file; reading it whole could exhaust memory.
constexpr std::uintmax_t MaxIniFileBytes = 16U * 1024U * 1024U;

bool IsProfileSpace(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n';
}

std::string_view TrimProfileSpace(std::string_view text) {
    while (!text.empty() && IsProfileSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsProfileSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

// Splits decoded text into lines, keeping each line's own end so unchanged lines write back exactly.
std::vector<std::pair<std::string, std::string>> SplitKeepingEnds(std::string_view text) {
    std::vector<std::pair<std::string, std::string>> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\n' && c != '\r') continue;
        size_t endLength = 1;
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') endLength = 2;
        lines.emplace_back(std::string(text.substr(start, i - start)),
                           std::string(text.substr(i, endLength)));
        i += endLength - 1;
        start = i + 1;
    }
    if (start < text.size()) lines.emplace_back(std::string(text.substr(start)), std::string());
    return lines;
}

bool NeedsQuotes(std::string_view value) {
    if (value.empty()) return false;
    if (IsProfileSpace(value.front()) || IsProfileSpace(value.back())) return true;
    const char first = value.front();
    return value.size() >= 2 && (first == '"' || first == '\'') && value.back() == first;
}

// What a value can be stored as: a NUL ends it (the file functions take C strings) and line
// breaks become blanks, since they would start new lines (and so new keys) in the file.
std::string CleanValue(std::string_view value) {
    std::string out = utf8::Repair(value.substr(0, value.find('\0')));
    for (char& c : out)
        if (c == '\r' || c == '\n') c = ' ';
    return out;
}

// The text written after "=": what reads back as value.
std::string QuoteValue(const std::string& value) {
    return NeedsQuotes(value) ? "\"" + value + "\"" : value;
}

std::string CleanName(std::string_view name) {
    return std::string(TrimProfileSpace(name));
}

} // namespace

IniDocument::Line IniDocument::ClassifyLine(std::string text, std::string end) {
    Line line;
    line.text = std::move(text);
    line.end = std::move(end);
    const std::string_view whole = line.text;
    size_t start = 0;
    while (start < whole.size() && IsProfileSpace(whole[start]))
        ++start;
    const std::string_view rest = whole.substr(start);
    if (rest.empty()) return line;
    if (rest.front() == '[') {
        const size_t close = rest.rfind(']');
        if (close != std::string_view::npos) {
            line.kind = LineKind::Section;
            line.name = CleanName(rest.substr(1, close - 1));
            return line;
        }
    }
    if (rest.front() == ';') {
        line.kind = LineKind::Comment;
        return line;
    }
    const size_t equals = rest.find('=');
    if (equals == std::string_view::npos) return line;
    line.kind = LineKind::Key;
    line.name = CleanName(rest.substr(0, equals));
    size_t value = start + equals + 1;
    while (value < whole.size() && IsProfileSpace(whole[value]))
        ++value;
    line.valueStart = value;
    return line;
}

IniDocument IniDocument::Parse(std::string_view bytes) {
    IniDocument document;
    std::string text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        document.encoding_ = IniEncoding::Utf16LE;
        text = utf8::FromUtf16(bytes.substr(2), false);
    } else if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
               static_cast<unsigned char>(bytes[1]) == 0xFF) {
        document.encoding_ = IniEncoding::Utf16BE;
        text = utf8::FromUtf16(bytes.substr(2), true);
    } else if (utf8::IsValid(bytes)) {
        document.encoding_ = StartsWith(bytes, "\xEF\xBB\xBF") ? IniEncoding::Utf8WithBom : IniEncoding::Utf8;
        text = DecodeUserText(bytes);
    } else {
        document.encoding_ = IniEncoding::Windows1252;
        text = DecodeUserText(bytes);
    }
    auto lines = SplitKeepingEnds(text);
    document.lines_.reserve(lines.size());
    for (auto& [lineText, end] : lines) {
        document.lines_.push_back(ClassifyLine(std::move(lineText), std::move(end)));
    }
    for (const auto& line : document.lines_)
        if (!line.end.empty()) {
            document.lineEnd_ = line.end;
            break;
        }
    return document;
}

std::string IniDocument::Serialize() const {
    std::string text;
    for (const auto& line : lines_) {
        text += line.text;
        text += line.end;
    }
    IniEncoding encoding = encoding_;
    if (encoding == IniEncoding::Windows1252) {
        // A new value outside Windows-1252 turns the file into UTF-8 rather than losing the
        // character; so do Windows-1252 bytes that would read back as UTF-8 (the change removed
        // the only bytes that told the two apart) and so be read as other characters.
        const auto bytes = utf8::ToWindows1252(text);
        if (bytes && !utf8::IsValid(*bytes)) return *bytes;
        encoding = IniEncoding::Utf8;
    }
    switch (encoding) {
    case IniEncoding::Utf8WithBom:
        return "\xEF\xBB\xBF" + text;
    case IniEncoding::Utf16LE:
        return "\xFF\xFE" + utf8::ToUtf16(text, false);
    case IniEncoding::Utf16BE:
        return "\xFE\xFF" + utf8::ToUtf16(text, true);
    default:
        return text;
    }
}

size_t IniDocument::FindSection(std::string_view section) const {
    const std::string_view wanted = TrimProfileSpace(section);
    if (wanted.empty()) return std::string::npos;
    for (size_t i = 0; i < lines_.size(); ++i)
        if (lines_[i].kind == LineKind::Section && EqualsIgnoreCase(lines_[i].name, wanted)) return i;
    return std::string::npos;
}

size_t IniDocument::FindKey(size_t sectionIndex, std::string_view key) const {
    const std::string_view wanted = TrimProfileSpace(key);
    if (wanted.empty()) return std::string::npos;
    for (size_t i = sectionIndex + 1; i < lines_.size() && lines_[i].kind != LineKind::Section; ++i)
        if (lines_[i].kind == LineKind::Key && EqualsIgnoreCase(lines_[i].name, wanted)) return i;
    return std::string::npos;
}

size_t IniDocument::SectionInsertPoint(size_t sectionIndex) const {
    size_t point = sectionIndex + 1;
    for (size_t i = sectionIndex + 1; i < lines_.size() && lines_[i].kind != LineKind::Section; ++i)
        if (lines_[i].kind == LineKind::Key) point = i + 1;
    return point;
}

std::string IniDocument::StoredValue(const Line& line) {
    std::string_view value = std::string_view(line.text).substr(line.valueStart);
    value = value.substr(0, value.find('\0'));
    value = TrimProfileSpace(value);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

std::optional<std::string> IniDocument::Get(std::string_view section, std::string_view key) const {
    const size_t sectionIndex = FindSection(section);
    if (sectionIndex == std::string::npos) return std::nullopt;
    const size_t keyIndex = FindKey(sectionIndex, key);
    if (keyIndex == std::string::npos) return std::nullopt;
    return utf8::Prefix(StoredValue(lines_[keyIndex]), MaxSettingLength);
}

void IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
    const std::string cleaned = CleanValue(value);
    const std::string sectionName = CleanName(section);
    const std::string keyName = CleanName(key);
    if (sectionName.empty() || keyName.empty()) return;

    size_t sectionIndex = FindSection(sectionName);
    if (sectionIndex != std::string::npos) {
        const size_t keyIndex = FindKey(sectionIndex, keyName);
        if (keyIndex != std::string::npos) {
            Line& line = lines_[keyIndex];
            // An unchanged value keeps its line as the user wrote it (quotes, blanks, case).
            if (StoredValue(line) == cleaned) return;
            line = ClassifyLine(line.text.substr(0, line.valueStart) + QuoteValue(cleaned), line.end);
            modified_ = true;
            return;
        }
    }

    if (!lines_.empty() && lines_.back().end.empty()) lines_.back().end = lineEnd_;
    if (sectionIndex == std::string::npos) {
        lines_.push_back(ClassifyLine("[" + sectionName + "]", lineEnd_));
        sectionIndex = lines_.size() - 1;
    }
    const size_t point = SectionInsertPoint(sectionIndex);
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(point),
                  ClassifyLine(keyName + "=" + QuoteValue(cleaned), lineEnd_));
    modified_ = true;
}

bool IniDocument::Remove(std::string_view section, std::string_view key) {
    const size_t sectionIndex = FindSection(section);
    if (sectionIndex == std::string::npos) return false;
    bool removed = false;
    for (size_t keyIndex = FindKey(sectionIndex, key); keyIndex != std::string::npos;
         keyIndex = FindKey(sectionIndex, key)) {
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(keyIndex));
        removed = true;
    }
    modified_ = modified_ || removed;
    return removed;
}

std::vector<std::string> IniDocument::SectionNames() const {
    std::vector<std::string> names;
    for (const auto& line : lines_)
        if (line.kind == LineKind::Section) names.push_back(line.name);
    return names;
}

IniFile ReadIniFile(const std::filesystem::path& path) {
    namespace fs = std::filesystem;
    IniFile file;
    file.Path = path;
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (ec || !fs::exists(status)) {
        // A missing file is the normal first start; a path we cannot even stat is not ours to replace.
        if (ec && ec != std::errc::no_such_file_or_directory) {
            file.FileState = IniFile::State::Unreadable;
            file.Error = "cannot read settings file \"" + path.string() + "\": " + ec.message();
        }
        return file;
    }
    if (!fs::is_regular_file(status)) {
        file.FileState = IniFile::State::Unreadable;
        file.Error = "settings file \"" + path.string() + "\" is not a regular file";
        return file;
    }
    const auto size = fs::file_size(path, ec);
    if (!ec && size > MaxIniFileBytes) {
        file.FileState = IniFile::State::Unreadable;
        file.Error =
            "settings file \"" + path.string() + "\" is too large (" + std::to_string(size) + " bytes)";
        return file;
    }
    auto bytes = ReadFileBytes(path);
    if (!bytes) {
        file.FileState = IniFile::State::Unreadable;
        file.Error = "cannot read settings file \"" + path.string() + "\"";
        return file;
    }
    file.Document = IniDocument::Parse(*bytes);
    file.FileState = IniFile::State::Loaded;
    return file;
}

std::string WriteIniFile(const IniFile& file) {
    namespace fs = std::filesystem;
    if (file.FileState == IniFile::State::Unreadable)
        return "settings not saved: " +
               (file.Error.empty() ? "\"" + file.Path.string() + "\" cannot be read" : file.Error);
    if (file.FileState == IniFile::State::Loaded && !file.Document.Modified()) return {};
    std::error_code ec;
    // A linked settings file stays linked: the rename goes to the file the link names.
    fs::path target = file.Path;
    if (fs::is_symlink(target, ec)) {
        const fs::path resolved = fs::weakly_canonical(target, ec);
        if (!ec) target = resolved;
    }
    const fs::path folder = target.parent_path();
    if (!folder.empty() && !fs::exists(folder, ec)) {
        fs::create_directories(folder, ec);
        if (ec) return "cannot create folder \"" + folder.string() + "\": " + ec.message();
    }
    return WriteFileAtomically(target, file.Document.Serialize());
}

} // namespace zep
