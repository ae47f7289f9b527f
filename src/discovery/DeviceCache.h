// The device cache: the VISA servers and resource patterns the scan looks at, kept as string values
// at one key path. On Windows the local-machine registry key of that path; elsewhere an INI-style
// file whose section is the key path and whose keys are the value names ("DEVICE1", "SERVER1", ...).
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zep {

class DeviceCache {
  public:
    virtual ~DeviceCache() = default;

    // The value, or empty when the key or the value is missing (or cannot be read).
    virtual std::string ReadValue(std::string_view keyPath, std::string_view name) const = 0;
    // Creates the key when needed. Failures are not reported to the user; false tells the caller.
    virtual bool WriteValue(std::string_view keyPath, std::string_view name, std::string_view text) = 0;
    // A missing value is no error.
    virtual bool DeleteValue(std::string_view keyPath, std::string_view name) = 0;

    // Why the last read or write did not work (a file that is no device cache, a folder that
    // cannot be written, a registry error); empty when it worked.
    virtual std::string Problem() const { return {}; }
};

// Name of the device cache file in the per-machine and per-user folders.
constexpr std::string_view DeviceCacheFileName = "VISADeviceCache.ini";

// ReadNumberedValues stops here at the latest: a scan of more resources could not finish, and a
// garbled cache must not keep it reading.
constexpr int MaxNumberedValues = 1000;

// The file form. A missing or garbled file reads as empty; writes are atomic and keep every line
// the program does not own.
std::unique_ptr<DeviceCache> OpenFileDeviceCache(const std::filesystem::path& file);

// The file that --registry (option), else ZEP_REGISTRY, else the per-machine default names; the
// per-machine file is used where its folder can be written, the per-user one otherwise.
std::filesystem::path ResolveDeviceCachePath(const std::optional<std::string>& option);
// The same rule with every input given (the environment value may be null). The per-machine file
// is also used where its folder cannot be written but the file exists, so a list an administrator
// keeps for everyone is read by all; writing it then fails with a Problem().
std::filesystem::path ResolveDeviceCachePath(const std::optional<std::string>& option,
                                             const char* environmentValue,
                                             const std::filesystem::path& machineFolder,
                                             const std::filesystem::path& userFolder);

// Where the per-machine file lives: /var/lib/zep, or ZEP below ProgramData on Windows.
std::filesystem::path MachineDeviceCacheFolder();

// The cache a program uses: the registry on Windows unless a file is named, else the file form.
std::unique_ptr<DeviceCache> OpenDeviceCache(const std::optional<std::string>& option);

// Writes "DEVICE1" = "GPIB0::?*::INSTR" and "SERVER1" = "localhost" where they are empty (after
// trimming blanks); nothing else is touched.
void EnsureCacheDefaults(DeviceCache& cache, std::string_view keyPath);

// prefix + "1", prefix + "2", ... in order, up to the first value that is missing or empty: what
// the scan reads ("DEVICE", "SERVER").
std::vector<std::string> ReadNumberedValues(const DeviceCache& cache, std::string_view keyPath,
                                            std::string_view prefix);

} // namespace zep
