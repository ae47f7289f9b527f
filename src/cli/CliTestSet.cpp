// A test set opened by a zep-cli sub-command.
#include "cli/CliTestSet.h"

#include "cli/CliArgs.h"
#include "instio/VisaFactory.h"

#include <cstdlib>
#include <filesystem>

namespace zep::cli {

Settings ReadCliSettings(const std::optional<std::string>& settingsOption) {
    const std::filesystem::path path = ResolveSettingsPath(settingsOption);
    std::error_code ec;
    const char* environment = std::getenv("ZEP_SETTINGS");
    const bool named = (settingsOption && !settingsOption->empty()) || (environment && *environment);
    if (named && std::filesystem::is_directory(path, ec)) {
        PrintError("settings file \"" + path.string() + "\" is a directory; using the defaults");
        return DefaultSettings(ApplicationFolder().string());
    }
    if (named && !std::filesystem::exists(path, ec))
        PrintError("settings file \"" + path.string() + "\" not found; using the defaults");
    std::string error;
    Settings settings = LoadSettings(path, ApplicationFolder().string(), &error);
    if (!error.empty()) PrintError(error + "; using the defaults");
    return settings;
}

std::unique_ptr<Session> OpenTestSetOrReport(Host& host, const std::string& path, Settings settings) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        PrintError("test set \"" + path + "\" is a directory, not a file");
        return nullptr;
    }
    if (!std::filesystem::is_regular_file(path, ec)) {
        PrintError("test set \"" + path + "\" not found");
        return nullptr;
    }
    auto session = std::make_unique<Session>(host, std::move(settings));
    if (!session->OpenTestSet(path)) {
        PrintError("test set \"" + path + "\" cannot be read");
        return nullptr;
    }
    return session;
}

bool UseInstruments(Session& session, const std::optional<std::string>& visaOption,
                    const std::optional<std::string>& registryOption, std::unique_ptr<DeviceCache>& cache) {
    std::string error;
    if (!session.UseVisa(VisaChoiceFromEnvironment(visaOption.value_or("")), error)) {
        PrintError(error);
        return false;
    }
    cache = OpenDeviceCache(registryOption);
    if (!cache) {
        PrintError("device cache \"" + ResolveDeviceCachePath(registryOption).string() +
                   "\" cannot be opened");
        return false;
    }
    EnsureCacheDefaults(*cache, session.GetSettings().DeviceRegEntry);
    if (const std::string problem = cache->Problem(); !problem.empty()) PrintError(problem);
    return true;
}

std::string FindingLine(const LoadFinding& finding) {
    std::string line = finding.File;
    if (finding.Line > 0) line += ":" + std::to_string(finding.Line);
    line += ": " + finding.Message;
    if (!finding.Detail.empty()) line += " " + finding.Detail;
    return line;
}

} // namespace zep::cli
