// A test set opened by a zep-cli sub-command.
#include "cli/CliTestSet.h"

#include "cli/CliArgs.h"

#include <cstdlib>
#include <filesystem>

namespace zep::cli {

TestEntry CliTestSet::EntryForKey(const std::string& key) const {
    for (const auto& group : model.Groups)
        for (const auto& entry : loader.TestList(group))
            if (entry.Key == key) return entry;
    TestEntry entry;
    entry.Key = key;
    return entry;
}

Settings ReadCliSettings(const std::optional<std::string>& settingsOption) {
    const std::filesystem::path path = ResolveSettingsPath(settingsOption);
    std::error_code ec;
    const char* environment = std::getenv("ZEP_SETTINGS");
    const bool named = (settingsOption && !settingsOption->empty()) || (environment && *environment);
    if (named && !std::filesystem::exists(path, ec))
        PrintError("settings file \"" + path.string() + "\" not found; using the defaults");
    std::string error;
    Settings settings = LoadSettings(path, ApplicationFolder().string(), &error);
    if (!error.empty()) PrintError(error + "; using the defaults");
    return settings;
}

std::unique_ptr<CliTestSet> OpenTestSetOrReport(const std::string& path, LoadOptions options) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        PrintError("test set \"" + path + "\" not found");
        return nullptr;
    }
    auto set = std::make_unique<CliTestSet>(std::move(options));
    if (!set->loader.OpenTestSet(path)) {
        PrintError("test set \"" + path + "\" cannot be read");
        return nullptr;
    }
    return set;
}

} // namespace zep::cli
