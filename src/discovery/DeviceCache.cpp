// The device cache's numbered values.
#include "discovery/DeviceCache.h"

#include "common/StringOp.h"

namespace zep {

void EnsureCacheDefaults(DeviceCache& cache, std::string_view keyPath) {
    if (TrimBlanks(cache.ReadValue(keyPath, "DEVICE1")).empty()) cache.WriteValue(keyPath, "DEVICE1", "GPIB0::?*::INSTR");
    if (TrimBlanks(cache.ReadValue(keyPath, "SERVER1")).empty()) cache.WriteValue(keyPath, "SERVER1", "localhost");
}

std::vector<std::string> ReadNumberedValues(const DeviceCache& cache, std::string_view keyPath,
                                            std::string_view prefix) {
    std::vector<std::string> values;
    for (size_t n = 1;; ++n) {
        std::string value = cache.ReadValue(keyPath, std::string(prefix) + std::to_string(n));
        if (value.empty()) return values;
        values.push_back(std::move(value));
    }
}

} // namespace zep
