// Reading user text files and writing files atomically.
#include "common/TextFile.h"

#include "common/CaseFold.h"
#include "common/StringOp.h"
#include "common/Utf8.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace zep {

std::string DecodeUserText(std::string_view bytes) {
    if (utf8::IsValid(bytes)) {
        if (StartsWith(bytes, "\xEF\xBB\xBF")) bytes.remove_prefix(3);
        return std::string(bytes);
    }
    return utf8::FromWindows1252(bytes);
}

bool LineCursor::Next(std::string_view& line) {
    const size_t n = text_.size();
    if (position_ >= n) return false;
    const char* begin = text_.data() + position_;
    size_t i = position_;
    // Most lines end in LF; find it fast, then look for an earlier lone CR.
    const void* lf = std::memchr(begin, '\n', n - position_);
    const size_t lfAt = lf ? static_cast<size_t>(static_cast<const char*>(lf) - text_.data()) : n;
    const void* cr = std::memchr(begin, '\r', lfAt - position_);
    if (cr) {
        i = static_cast<size_t>(static_cast<const char*>(cr) - text_.data());
        line = text_.substr(position_, i - position_);
        position_ = (i + 1 < n && text_[i + 1] == '\n') ? i + 2 : i + 1;
        return true;
    }
    line = text_.substr(position_, lfAt - position_);
    position_ = lfAt + 1;
    return true;
}

size_t CountLines(std::string_view text) {
    // Lines end at LF almost always; lone CRs are rare enough to count separately.
    size_t count = 1;
    const char* end = text.data() + text.size();
    for (const char* p = text.data(); p < end; ++count) {
        const void* hit = std::memchr(p, '\n', static_cast<size_t>(end - p));
        if (!hit) break;
        p = static_cast<const char*>(hit) + 1;
    }
    for (const char* p = text.data(); p < end;) {
        const void* hit = std::memchr(p, '\r', static_cast<size_t>(end - p));
        if (!hit) break;
        p = static_cast<const char*>(hit) + 1;
        if (p == end || *p != '\n') ++count;
    }
    return count;
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    LineCursor cursor(text);
    std::string_view line;
    while (cursor.Next(line))
        lines.emplace_back(line);
    return lines;
}

std::optional<std::string> ReadFileBytes(const std::filesystem::path& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes;
    in.seekg(0, std::ios::end);
    const auto size = in.tellg();
    if (size > 0) {
        bytes.resize(static_cast<size_t>(size));
        in.seekg(0, std::ios::beg);
        in.read(bytes.data(), size);
        bytes.resize(static_cast<size_t>(in.gcount()));
    }
    return bytes;
}

std::optional<std::string> ReadUserText(const std::filesystem::path& path) {
    auto bytes = ReadFileBytes(path);
    if (!bytes) return std::nullopt;
    if (utf8::IsValid(*bytes)) {
        if (StartsWith(*bytes, "\xEF\xBB\xBF")) bytes->erase(0, 3);
        return bytes;
    }
    return utf8::FromWindows1252(*bytes);
}

std::optional<std::vector<std::string>> ReadUserTextLines(const std::filesystem::path& path) {
    auto text = ReadUserText(path);
    if (!text) return std::nullopt;
    return SplitLines(*text);
}

namespace {

// Follows a chain of symbolic links to the path that is finally written (the target may not exist
// yet); a loop or a chain longer than the system allows is an error.
std::optional<std::filesystem::path> FollowLinks(std::filesystem::path path, std::string& error) {
    namespace fs = std::filesystem;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        const auto status = fs::symlink_status(path, ec);
        if (ec || !fs::is_symlink(status)) return path;
        const fs::path target = fs::read_symlink(path, ec);
        if (ec) {
            error = "cannot read the link \"" + path.string() + "\": " + ec.message();
            return std::nullopt;
        }
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    error = "cannot write \"" + path.string() + "\": too many levels of symbolic links";
    return std::nullopt;
}

#ifndef _WIN32
// A character device or FIFO is no file to replace: it is written as it is.
std::string WriteThrough(const std::filesystem::path& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return "cannot write \"" + path.string() + "\": " + std::strerror(errno);
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            ::close(fd);
            return "cannot write \"" + path.string() + "\": " + std::strerror(error);
        }
        done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0) return "cannot write \"" + path.string() + "\": " + std::strerror(errno);
    return {};
}
#endif

} // namespace

std::string WriteFileAtomically(const std::filesystem::path& requested, std::string_view bytes) {
    namespace fs = std::filesystem;
    std::string error;
    const auto resolved = FollowLinks(requested, error);
    if (!resolved) return error;
    const fs::path& path = *resolved;

    std::error_code ec;
    const auto status = fs::status(path, ec);
    const bool exists = !ec && fs::exists(status);
    if (exists && !fs::is_regular_file(status)) {
#ifndef _WIN32
        if (fs::is_character_file(status) || fs::is_fifo(status)) return WriteThrough(path, bytes);
#endif
        const char* what = fs::is_directory(status) ? "is a directory" : "is not a regular file";
        return "cannot write \"" + requested.string() + "\": it " + what;
    }

    static std::mt19937_64 generator{std::random_device{}()};
    fs::path temporary = path;
    temporary += ".tmp" + std::to_string(generator() % 1000000000ULL);
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return "cannot create \"" + path.string() + "\": " + std::strerror(errno);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            const int writeError = errno;
            out.close();
            std::error_code ignored;
            fs::remove(temporary, ignored);
            return "cannot write \"" + path.string() + "\": " + std::strerror(writeError);
        }
    }
#ifndef _WIN32
    // Make the data durable before the rename makes it visible under the real name.
    const int fd = ::open(temporary.c_str(), O_RDONLY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#endif
    // A replaced file keeps its permissions (a report shared with the group stays shared).
    if (exists) fs::permissions(temporary, status.permissions(), ec);
    ec.clear();
    fs::rename(temporary, path, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return "cannot replace \"" + path.string() + "\": " + ec.message();
    }
    return {};
}

std::optional<std::filesystem::path> FindPathIgnoringCase(const std::filesystem::path& directory,
                                                          std::string_view relativeName) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (relativeName.empty()) return std::nullopt;
    const fs::path direct = directory / fs::path(std::string(relativeName));
    if (fs::is_regular_file(direct, ec)) return direct;

    std::string normalised(relativeName);
    for (char& c : normalised)
        if (c == '\\') c = '/';
    fs::path current = directory;
    const auto parts = SplitText(normalised, '/');
    for (size_t k = 0; k < parts.size(); ++k) {
        const std::string& part = parts[k];
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            current = current / "..";
            continue;
        }
        const bool last = k + 1 == parts.size();
        fs::path exact = current / part;
        if (last ? fs::is_regular_file(exact, ec) : fs::is_directory(exact, ec)) {
            current = exact;
            continue;
        }
        std::optional<fs::path> match;
        const std::string wanted = FoldCase(part);
        for (fs::directory_iterator it(current.empty() ? fs::path(".") : current, ec), end; !ec && it != end;
             it.increment(ec)) {
            if (FoldCase(it->path().filename().string()) != wanted) continue;
            if (last ? it->is_regular_file(ec) : it->is_directory(ec)) {
                match = current / it->path().filename();
                break;
            }
        }
        if (!match) return std::nullopt;
        current = *match;
    }
    if (!fs::is_regular_file(current, ec)) return std::nullopt;
    return current;
}

std::string JoinPath(std::string_view directory, std::string_view name) {
    if (directory.empty()) return std::string(name);
    return (std::filesystem::path(std::string(directory)) / std::string(name)).string();
}

} // namespace zep
