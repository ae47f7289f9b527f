// Fuzzes the settings-file reader: any bytes parse, unchanged files write back byte for byte,
// written values read back, other keys keep their values, and the settings record survives a save.
#include "settings/IniFile.h"
#include "settings/Settings.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

const std::pair<const char*, const char*> Probes[] = {{"TestEnv", "Simulation"},
                                                      {"TextEnv", "CurrentGroup"},
                                                      {"A", "k"},
                                                      {"RECENT", "0"},
                                                      {"CodeStyle", "PreFix0"}};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const zep::IniDocument original = zep::IniDocument::Parse(bytes);
    const bool wide =
        original.Encoding() == zep::IniEncoding::Utf16LE || original.Encoding() == zep::IniEncoding::Utf16BE;
    if (!wide) Require(original.Serialize() == bytes);

    // The first byte picks the key to change, the rest of a short prefix is the value.
    const auto& [section, key] = Probes[size ? data[0] % std::size(Probes) : 0];
    const std::string value(bytes.substr(size ? 1 : 0, size > 40 ? 39 : (size ? size - 1 : 0)));
    zep::IniDocument changed = original;
    changed.Set(section, key, value);
    const zep::IniDocument reread = zep::IniDocument::Parse(changed.Serialize());
    const auto stored = reread.Get(section, key);
    Require(stored.has_value());
    for (const auto& [otherSection, otherKey] : Probes)
        if (std::string_view(otherSection) != section || std::string_view(otherKey) != key)
            Require(reread.Get(otherSection, otherKey) == original.Get(otherSection, otherKey));

    // Whatever was read is saved and read back as the same record.
    const zep::Settings settings = zep::LoadSettings(original, "/app");
    zep::IniDocument saved = original;
    zep::SaveSettings(saved, settings);
    Require(zep::LoadSettings(zep::IniDocument::Parse(saved.Serialize()), "/app") == settings);
    return 0;
}
