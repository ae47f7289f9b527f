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
};

// The file form. A missing or garbled file reads as empty; writes are atomic and keep every line
// the program does not own.
std::unique_ptr<DeviceCache> OpenFileDeviceCache(const std::filesystem::path& file);

// The file that --registry (option), else ZEP_REGISTRY, else the per-machine default names; the
// per-machine file is used where its folder can be written, the per-user one otherwise.
std::filesystem::path ResolveDeviceCachePath(const std::optional<std::string>& option);

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
