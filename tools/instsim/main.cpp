// zep-instsim: serves simulated SCPI instruments on loopback over raw sockets and VXI-11.
#include "Definition.h"
#include "Server.h"

#include "common/StringOp.h"

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void OnSignal(int) {
    stopRequested = 1;
}

const char* const Usage =
    "usage: zep-instsim [--config FILE] [--host ADDRESS] [--max-seconds N] [options] [fault options]\n"
    "\n"
    "Serves simulated SCPI instruments: without --config one generic instrument, otherwise those of an\n"
    "instrument definition file or of a bench file (INSTRUMENT lines naming definition files).\n"
    "Prints READY, then one line per resource: the VISA resource string, a tab, the *IDN? answer.\n"
    "\n"
    "  --config FILE           instrument definition or bench file (may be given more than once)\n"
    "  --host ADDRESS          numeric address to listen on (default 127.0.0.1)\n"
    "  --max-seconds N         end after N seconds (default: run until SIGINT/SIGTERM)\n"
    "  --base-port P           raw sockets on P, P+1, ..., the VXI-11 channel after them\n"
    "                          (default: ports the system gives)\n"
    "  --portmap-port P        portmapper port; 0: one the system gives (default: 111 when it can be\n"
    "                          bound, else one the system gives; the port is logged on standard error)\n"
    "  --no-raw, --no-vxi11    serve only one of the transports\n"
    "  --seed N                seed of the noise and garbage generators (default 1)\n"
    "  --trace                 log every message received and every answer sent on standard error\n"
    "  --max-connections N     connections open at once over all ports; more are refused (default 128)\n"
    "  --max-links N           VXI-11 links at once; create_link beyond answers out of resources\n"
    "                          (default 128)\n"
    "\n"
    "Fault options (for every instrument, or the one named by --fault-instrument):\n"
    "  --drop-after N          close each connection when its message N+1 arrives\n"
    "  --stall MS              hold every answer back MS milliseconds\n"
    "  --garbage               answer random bytes instead of the answers\n"
    "  --never-complete        operations never complete (*OPC, *OPC?, *WAI wait forever)\n"
    "  --fault-header HEADER   limit --stall, --garbage and --never-complete to commands matching HEADER\n"
    "  --fault-instrument NAME apply the fault options only to instrument NAME (or instN)\n";

int UsageError(const std::string& message) {
    std::cerr << "zep-instsim: " << message << " (see --help)\n";
    return 2;
}

bool ReadNumber(const std::string& text, long long low, long long high, long long& value) {
    try {
        std::size_t used = 0;
        value = std::stoll(text, &used);
        return used == text.size() && value >= low && value <= high;
    } catch (...) {
        return false;
    }
}

} // namespace

int main(int argc, char** argv) {
    using namespace zep::instsim;
    std::vector<std::string> configs;
    ServerOptions options;
    double maxSeconds = 0;
    std::vector<std::pair<std::string, std::string>> faultOptions; // kind, value
    std::string faultHeader, faultInstrument;

    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        std::string text;
        long long number = 0;
        if (arg == "--help" || arg == "-h") {
            std::cout << Usage;
            return 0;
        } else if (arg == "--config") {
            if (!value(text)) return UsageError("--config needs a file");
            configs.push_back(text);
        } else if (arg == "--host") {
            if (!value(options.host)) return UsageError("--host needs an address");
        } else if (arg == "--max-seconds") {
            if (!value(text) || !ReadNumber(text, 1, 86400 * 365, number))
                return UsageError("--max-seconds needs a whole number of seconds from 1");
            maxSeconds = static_cast<double>(number);
        } else if (arg == "--base-port") {
            if (!value(text) || !ReadNumber(text, 1, 65535, number))
                return UsageError("--base-port needs a port from 1 to 65535");
            options.basePort = static_cast<int>(number);
        } else if (arg == "--portmap-port") {
            if (!value(text) || !ReadNumber(text, 0, 65535, number))
                return UsageError("--portmap-port needs a port from 0 to 65535");
            options.portmapPort = static_cast<int>(number);
        } else if (arg == "--max-connections" || arg == "--max-links") {
            if (!value(text) || !ReadNumber(text, 1, 65536, number))
                return UsageError(arg + " needs a number from 1 to 65536");
            (arg == "--max-links" ? options.maxLinks : options.maxConnections) =
                static_cast<std::size_t>(number);
        } else if (arg == "--trace") {
            options.trace = true;
        } else if (arg == "--no-raw") {
            options.raw = false;
        } else if (arg == "--no-vxi11") {
            options.vxi11 = false;
        } else if (arg == "--seed") {
            if (!value(text) || !ReadNumber(text, 0, 0xFFFFFFFFLL, number))
                return UsageError("--seed needs a number");
            options.seed = static_cast<std::uint32_t>(number);
        } else if (arg == "--drop-after" || arg == "--stall") {
            if (!value(text)) return UsageError(arg + " needs a number");
            faultOptions.emplace_back(arg.substr(2), text);
        } else if (arg == "--garbage" || arg == "--never-complete") {
            faultOptions.emplace_back(arg.substr(2), "");
        } else if (arg == "--fault-header") {
            if (!value(faultHeader)) return UsageError("--fault-header needs a header");
        } else if (arg == "--fault-instrument") {
            if (!value(faultInstrument)) return UsageError("--fault-instrument needs an instrument name");
        } else {
            return UsageError("unknown option \"" + arg + "\"");
        }
    }
    if (!options.raw && !options.vxi11) return UsageError("--no-raw and --no-vxi11 leave nothing to serve");

    std::vector<InstrumentDefinition> instruments;
    for (const std::string& config : configs) {
        LoadResult loaded = LoadConfig(config);
        if (!loaded.error.empty()) {
            std::cerr << "zep-instsim: " << loaded.error << '\n';
            return 2;
        }
        for (InstrumentDefinition& def : loaded.instruments)
            instruments.push_back(std::move(def));
    }
    if (instruments.empty()) instruments.push_back(GenericInstrument());
    for (std::size_t i = 0; i < instruments.size(); ++i)
        if (instruments[i].name.empty()) instruments[i].name = "inst" + std::to_string(i);
    for (std::size_t i = 0; i < instruments.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (zep::EqualsIgnoreCase(instruments[i].name, instruments[j].name))
                return UsageError("two instruments are named \"" + instruments[i].name + "\"");

    bool targetFound = faultInstrument.empty();
    for (std::size_t i = 0; i < instruments.size(); ++i) {
        bool target = faultInstrument.empty() ||
                      zep::EqualsIgnoreCase(instruments[i].name, faultInstrument) ||
                      zep::EqualsIgnoreCase("inst" + std::to_string(i), faultInstrument);
        if (!target) continue;
        targetFound = true;
        for (const auto& [kind, text] : faultOptions) {
            std::string error;
            bool headerApplies = kind != "drop-after";
            auto fault = ParseFault(kind, text, headerApplies ? faultHeader : "", error);
            if (!fault) return UsageError(error);
            instruments[i].faults.push_back(*fault);
        }
    }
    if (!targetFound)
        return UsageError("--fault-instrument names no served instrument: \"" + faultInstrument + "\"");

    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    Server server(std::move(instruments), options);
    std::string error;
    if (!server.Start(error)) {
        std::cerr << "zep-instsim: " << error << '\n';
        return 2;
    }
    std::cout << "READY\n";
    for (const std::string& line : server.ResourceLines())
        std::cout << line << '\n';
    std::cout.flush();
    server.Run(maxSeconds, &stopRequested);
    return 0;
}
