// The device cache in its two forms (an INI-style file, the Windows registry) and the reads and
// writes the rest of discovery does on it.
#include "discovery/DeviceCache.h"

#include "common/StringOp.h"
#include "common/TextFile.h"
#include "settings/IniFile.h"
#include "settings/Settings.h"

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <system_error>
#include <utility>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "common/Utf8.h"
#endif

namespace zep {

namespace fs = std::filesystem;

namespace {

// A device cache holds a few hundred short lines; a file far beyond that is something else.
constexpr std::uintmax_t MaxCacheFileBytes = 1024U * 1024U;

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// What the file form can store: a section name must not end early at "]", a value name must not
// turn into a comment, a section or a value of another name.
std::string CheckNames(std::string_view keyPath, std::string_view name) {
    const std::string_view section = TrimBlanksView(keyPath);
    const std::string_view key = TrimBlanksView(name);
    if (section.empty() || HasLineBreak(section) || section.find(']') != std::string_view::npos)
        return "invalid device cache key path \"" + std::string(keyPath) + "\"";
    if (key.empty() || HasLineBreak(key) || key.find('=') != std::string_view::npos || key.front() == ';' ||
        key.front() == '[')
        return "invalid device cache value name \"" + std::string(name) + "\"";
    return {};
}

// What tells a changed file from the one read last; a rename into place changes its time.
struct FileStamp {
    bool exists = false;
    std::uintmax_t size = 0;
    fs::file_time_type time{};

    bool operator==(const FileStamp&) const = default;
};

std::optional<FileStamp> StampOf(const fs::path& path) {
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (ec && ec != std::errc::no_such_file_or_directory) return std::nullopt;
    if (!fs::exists(status)) return FileStamp{};
    FileStamp stamp;
    stamp.exists = true;
    stamp.size = fs::is_regular_file(status) ? fs::file_size(path, ec) : 0;
    if (ec) return std::nullopt;
    stamp.time = fs::last_write_time(path, ec);
    if (ec) return std::nullopt;
    return stamp;
}

bool IsUtf16(std::string_view bytes) {
    return bytes.size() >= 2 &&
           ((bytes[0] == '\xFF' && bytes[1] == '\xFE') || (bytes[0] == '\xFE' && bytes[1] == '\xFF'));
}

// Reads the file as the settings are read, refusing what cannot be a device cache (too large,
// binary), so such a file reads as empty and is never replaced.
IniFile ReadCacheFile(const fs::path& path) {
    IniFile file;
    file.Path = path;
    const std::string quoted = "\"" + path.string() + "\"";
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (ec && ec != std::errc::no_such_file_or_directory) {
        file.FileState = IniFile::State::Unreadable;
        file.Error = "cannot read device cache file " + quoted + ": " + ec.message();
        return file;
    }
    if (!fs::exists(status)) return file;
    if (!fs::is_regular_file(status)) {
        file.FileState = IniFile::State::Unreadable;
        file.Error = "device cache file " + quoted + " is not a regular file";
        return file;
    }
    const auto size = fs::file_size(path, ec);
    if (!ec && size > MaxCacheFileBytes) {
        file.FileState = IniFile::State::Unreadable;
        file.Error = "device cache file " + quoted + " is too large (" + std::to_string(size) + " bytes)";
        return file;
    }
    const auto bytes = ReadFileBytes(path);
    if (!bytes) {
        file.FileState = IniFile::State::Unreadable;
        file.Error = "cannot read device cache file " + quoted;
        return file;
    }
    if (bytes->size() > MaxCacheFileBytes) {
        file.FileState = IniFile::State::Unreadable;
        file.Error = "device cache file " + quoted + " is too large";
        return file;
    }
    if (!IsUtf16(*bytes) && bytes->find('\0') != std::string::npos) {
        file.FileState = IniFile::State::Unreadable;
        file.Error = "device cache file " + quoted + " is not a text file (it holds NUL bytes)";
        return file;
    }
    file.Document = IniDocument::Parse(*bytes);
    file.FileState = IniFile::State::Loaded;
    return file;
}

// The file form. The document stays in memory and is read again whenever the file changed on
// disk (another program's editor saved it), so every read sees what a registry read would.
class FileDeviceCache : public DeviceCache {
  public:
    explicit FileDeviceCache(fs::path path) : path_(std::move(path)) {}

    std::string ReadValue(std::string_view keyPath, std::string_view name) const override {
        problem_ = CheckNames(keyPath, name);
        if (!problem_.empty()) return {};
        Refresh();
        if (file_.FileState == IniFile::State::Unreadable) {
            problem_ = file_.Error;
            return {};
        }
        return file_.Document.Get(keyPath, name).value_or(std::string());
    }

    bool WriteValue(std::string_view keyPath, std::string_view name, std::string_view text) override {
        return Change(keyPath, name, [&](IniDocument& document) { document.Set(keyPath, name, text); });
    }

    bool DeleteValue(std::string_view keyPath, std::string_view name) override {
        return Change(keyPath, name, [&](IniDocument& document) { document.Remove(keyPath, name); });
    }

    std::string Problem() const override { return problem_; }

  private:
    void Refresh() const {
        const auto stamp = StampOf(path_);
        if (stamp && stamp_ && *stamp == *stamp_) return;
        file_ = ReadCacheFile(path_);
        // Read after the stamp, so a change made while reading is seen next time.
        stamp_ = stamp;
    }

    bool Change(std::string_view keyPath, std::string_view name,
                const std::function<void(IniDocument&)>& edit) {
        problem_ = CheckNames(keyPath, name);
        if (!problem_.empty()) return false;
        Refresh();
        if (file_.FileState == IniFile::State::Unreadable) {
            problem_ = "device cache not written: " + file_.Error;
            return false;
        }
        IniFile changed = file_;
        edit(changed.Document);
        if (!changed.Document.Modified()) return true;
        if (std::string error = WriteIniFile(changed); !error.empty()) {
            problem_ = "device cache not written: " + error;
            return false;
        }
        stamp_.reset();
        Refresh();
        return true;
    }

    fs::path path_;
    mutable IniFile file_;
    mutable std::optional<FileStamp> stamp_;
    mutable std::string problem_;
};

#ifdef _WIN32
// The registry form: string values of one key under HKEY_LOCAL_MACHINE. The "A" functions take
// and give text in the system code page, which for this program is Windows-1252.
class RegistryDeviceCache : public DeviceCache {
  public:
    std::string ReadValue(std::string_view keyPath, std::string_view name) const override {
        problem_.clear();
        const std::string path = ToCodePage(keyPath);
        const std::string value = ToCodePage(name);
        HKEY key = nullptr;
        LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, &key);
        if (result != ERROR_SUCCESS) {
            if (result != ERROR_FILE_NOT_FOUND) problem_ = Describe("cannot open", keyPath, name, result);
            return {};
        }
        std::string data;
        DWORD type = 0;
        DWORD size = 0;
        result = RegQueryValueExA(key, value.c_str(), nullptr, &type, nullptr, &size);
        // The value may grow between the calls; a few tries are enough for anything real.
        for (int attempt = 0; result == ERROR_SUCCESS; ++attempt) {
            data.assign(static_cast<size_t>(size) + 1, '\0'); // room for a NUL the value may lack
            DWORD got = size + 1;
            result = RegQueryValueExA(key, value.c_str(), nullptr, &type,
                                      reinterpret_cast<LPBYTE>(data.data()), &got);
            if (result == ERROR_MORE_DATA && attempt < 3) {
                size = got; // the size the value needs now
                result = ERROR_SUCCESS;
                continue;
            }
            if (result == ERROR_SUCCESS && got < data.size()) data.resize(got);
            break;
        }
        RegCloseKey(key);
        if (result != ERROR_SUCCESS) {
            if (result != ERROR_FILE_NOT_FOUND) problem_ = Describe("cannot read", keyPath, name, result);
            return {};
        }
        if (type != REG_SZ && type != REG_EXPAND_SZ) return {};
        // Stored strings may or may not carry their NUL; the text ends at the first one.
        data.resize(data.find('\0') == std::string::npos ? data.size() : data.find('\0'));
        return DecodeUserText(data);
    }

    bool WriteValue(std::string_view keyPath, std::string_view name, std::string_view text) override {
        problem_.clear();
        const std::string path = ToCodePage(keyPath);
        const std::string value = ToCodePage(name);
        std::string data = ToCodePage(text.substr(0, text.find('\0')));
        HKEY key = nullptr;
        LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                      KEY_SET_VALUE, nullptr, &key, nullptr);
        if (result != ERROR_SUCCESS) {
            problem_ = Describe("cannot create", keyPath, name, result);
            return false;
        }
        result = RegSetValueExA(key, value.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                static_cast<DWORD>(data.size() + 1));
        RegCloseKey(key);
        if (result != ERROR_SUCCESS) {
            problem_ = Describe("cannot write", keyPath, name, result);
            return false;
        }
        return true;
    }

    bool DeleteValue(std::string_view keyPath, std::string_view name) override {
        problem_.clear();
        const std::string path = ToCodePage(keyPath);
        const std::string value = ToCodePage(name);
        HKEY key = nullptr;
        LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_SET_VALUE, &key);
        if (result == ERROR_FILE_NOT_FOUND) return true;
        if (result != ERROR_SUCCESS) {
            problem_ = Describe("cannot open", keyPath, name, result);
            return false;
        }
        result = RegDeleteValueA(key, value.c_str());
        RegCloseKey(key);
        if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
            problem_ = Describe("cannot delete", keyPath, name, result);
            return false;
        }
        return true;
    }

    std::string Problem() const override { return problem_; }

  private:
    static std::string ToCodePage(std::string_view text) {
        auto bytes = utf8::ToWindows1252(text);
        return bytes ? *bytes : std::string(text);
    }

    static std::string Describe(std::string_view what, std::string_view keyPath, std::string_view name,
                                LONG result) {
        return std::string(what) + " registry value \"" + std::string(name) + "\" of HKEY_LOCAL_MACHINE\\" +
               std::string(keyPath) + " (error " + std::to_string(result) + ")";
    }

    mutable std::string problem_;
};
#endif

// Whether a file could be written in folder: it is writable, or the nearest folder above it that
// exists is, so it could be created. Nothing is created here.
bool FolderCanHoldFile(const fs::path& folder) {
    std::error_code ec;
    fs::path existing = folder;
    while (!existing.empty() && !fs::exists(existing, ec)) {
        if (ec) return false;
        const fs::path parent = existing.parent_path();
        if (parent == existing) return false;
        existing = parent;
    }
    return !existing.empty() && FolderIsWritable(existing);
}

} // namespace

std::unique_ptr<DeviceCache> OpenFileDeviceCache(const fs::path& file) {
    return std::make_unique<FileDeviceCache>(file);
}

fs::path MachineDeviceCacheFolder() {
#ifdef _WIN32
    if (const char* programData = std::getenv("ProgramData"); programData && *programData)
        return fs::path(programData) / "ZEP";
    return fs::path("C:\\ProgramData") / "ZEP";
#else
    return "/var/lib/zep";
#endif
}

fs::path ResolveDeviceCachePath(const std::optional<std::string>& option, const char* environmentValue,
                                const fs::path& machineFolder, const fs::path& userFolder) {
    if (option && !option->empty()) return *option;
    if (environmentValue && *environmentValue) return environmentValue;
    const fs::path machineFile = machineFolder / std::string(DeviceCacheFileName);
    std::error_code ec;
    if (FolderCanHoldFile(machineFolder) || fs::is_regular_file(machineFile, ec)) return machineFile;
    return userFolder / std::string(DeviceCacheFileName);
}

fs::path ResolveDeviceCachePath(const std::optional<std::string>& option) {
    return ResolveDeviceCachePath(option, std::getenv("ZEP_REGISTRY"), MachineDeviceCacheFolder(),
                                  UserConfigFolder());
}

std::unique_ptr<DeviceCache> OpenDeviceCache(const std::optional<std::string>& option) {
#ifdef _WIN32
    const char* environment = std::getenv("ZEP_REGISTRY");
    if ((!option || option->empty()) && !(environment && *environment))
        return std::make_unique<RegistryDeviceCache>();
#endif
    return OpenFileDeviceCache(ResolveDeviceCachePath(option));
}

void EnsureCacheDefaults(DeviceCache& cache, std::string_view keyPath) {
    if (TrimBlanks(cache.ReadValue(keyPath, "DEVICE1")).empty())
        cache.WriteValue(keyPath, "DEVICE1", "GPIB0::?*::INSTR");
    if (TrimBlanks(cache.ReadValue(keyPath, "SERVER1")).empty())
        cache.WriteValue(keyPath, "SERVER1", "localhost");
}

std::vector<std::string> ReadNumberedValues(const DeviceCache& cache, std::string_view keyPath,
                                            std::string_view prefix) {
    std::vector<std::string> values;
    for (int n = 1; n <= MaxNumberedValues; ++n) {
        std::string value = cache.ReadValue(keyPath, std::string(prefix) + std::to_string(n));
        if (value.empty()) break;
        values.push_back(std::move(value));
    }
    return values;
}

} // namespace zep
