// zep-cli scan: the instrument scan a run makes before its first block, and the instruments found.
#include "cli/CliArgs.h"
#include "cli/CliCommands.h"
#include "cli/CliTestSet.h"
#include "cli/TerminalHost.h"
#include "discovery/DeviceCache.h"
#include "instio/VisaFactory.h"
#include "session/Session.h"

namespace zep::cli {

int RunScan(const Args& args) {
    CliArgs parsed;
    if (auto error = parsed.Parse(args, {"settings", "registry", "visa"}, {});
        !error.empty() || !parsed.Positionals().empty()) {
        PrintError(error.empty() ? "usage: zep-cli scan [--settings FILE] [--registry FILE] [--visa V]"
                                 : error);
        return ExitUsage;
    }
    Settings settings = ReadCliSettings(parsed.Value("settings"));
    const std::unique_ptr<DeviceCache> cache = OpenDeviceCache(parsed.Value("registry"));
    if (!cache) {
        PrintError("device cache \"" + ResolveDeviceCachePath(parsed.Value("registry")).string() +
                   "\" cannot be opened");
        return ExitUsage;
    }
    // As at the program's start: a fresh cache gets its defaults.
    EnsureCacheDefaults(*cache, settings.DeviceRegEntry);
    if (const std::string problem = cache->Problem(); !problem.empty()) PrintError(problem);

    TerminalHost host;
    Session session(host, std::move(settings));
    std::string error;
    if (!session.UseVisa(VisaChoiceFromEnvironment(parsed.Value("visa").value_or("")), error)) {
        PrintError(error);
        return ExitUsage;
    }
    session.LoadIEEEInstruments(*cache);
    std::string out;
    const auto& instruments = session.AvailableInstruments();
    for (size_t i = 0; i < instruments.size(); ++i)
        out += std::to_string(i) + "\t" + instruments[i].Resource + "\t" + instruments[i].Identification +
               "\t" + instruments[i].Options + "\n";
    WriteOut(out);
    return ExitOk;
}

} // namespace zep::cli
