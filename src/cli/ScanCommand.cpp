// zep-cli scan: the instrument scan a run makes before its first block, and the instruments found.
#include "cli/CliArgs.h"
#include "cli/CliCommands.h"
#include "cli/CliTestSet.h"
#include "cli/TerminalHost.h"
#include "discovery/DeviceCache.h"
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
    TerminalHost host;
    Session session(host, ReadCliSettings(parsed.Value("settings")));
    std::unique_ptr<DeviceCache> cache;
    if (!UseInstruments(session, parsed.Value("visa"), parsed.Value("registry"), cache)) return ExitUsage;
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
