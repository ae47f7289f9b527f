// zep-cli serve: the executor without windows, driven by remote control over the local socket
// until SIGINT or SIGTERM.
#include "cli/CliArgs.h"
#include "cli/CliCommands.h"
#include "cli/CliTestSet.h"
#include "cli/TerminalHost.h"
#include "discovery/DeviceCache.h"
#include "remote/RemoteSocket.h"
#include "remote/WinMsgRec.h"

#include <csignal>
#include <cstdio>

namespace zep::cli {

int RunServe(const Args& args) {
    CliArgs parsed;
    if (auto error = parsed.Parse(args, {"socket", "settings", "registry", "visa"}, {"simulate"});
        !error.empty() || parsed.Positionals().size() > 1) {
        PrintError(error.empty()
                       ? "usage: zep-cli serve [TESTSETFILE] [--socket PATH] [--simulate] [--settings FILE] "
                         "[--registry FILE] [--visa V]"
                       : error);
        return ExitUsage;
    }
    Settings settings = ReadCliSettings(parsed.Value("settings"));
    if (parsed.Flag("simulate")) settings.Simulation = true;
    const bool simulation = settings.Simulation;

    TerminalHost host;
    host.ShowScanLines(false);
    host.AnswerInputsEmpty(true); // a simulated query answers empty, as a cancelled box
    std::unique_ptr<Session> session;
    if (!parsed.Positionals().empty()) {
        session = OpenTestSetOrReport(host, parsed.Positionals()[0], settings);
        if (!session) return ExitUsage;
    } else {
        session = std::make_unique<Session>(host, settings);
    }
    std::unique_ptr<DeviceCache> cache;
    if (!simulation && !UseInstruments(*session, parsed.Value("visa"), parsed.Value("registry"), cache))
        return ExitUsage;
    session->PrepareRun(cache.get());

    RemoteSocketServer server;
    const std::string path = ResolveRemoteSocketPath(parsed.Value("socket"));
    if (std::string error; !server.Listen(path, error)) {
        PrintError(error);
        return ExitUsage;
    }
    WinMsgRec remote(*session,
                     [&server](std::uint64_t peer, std::string_view text) { server.Send(peer, text); });
    remote.Hook();
    host.AddEventSource([&] {
        server.Poll([&](std::uint64_t, const std::string& text) {
            // No instruments panel: every instrument of the selected test counts as used.
            for (auto& need : session->Model().Instruments)
                need.Used = true;
            remote.ProcessRemoteCommand(text);
            for (auto& need : session->Model().Instruments)
                need.Used = true;
        });
    });
    bool stop = false;
    host.SetInterruptHandler([&] {
        stop = true;
        session->Stop(); // a block that runs ends "aborted"
    });
    std::fprintf(stderr, "zep-cli serve: listening on %s\n", ForStream(stderr, path).c_str());
    std::fflush(stderr);
    // Idle, the executor sleeps in the socket wait: a command is taken the moment it arrives.
    while (!stop) {
        server.Wait(50);
        host.ProcessEvents();
    }
    remote.Unhook();
    server.Close();
    // Shut down as the application does: the settings are saved.
    if (auto error = SaveSettings(ResolveSettingsPath(parsed.Value("settings")), session->GetSettings());
        !error.empty())
        PrintError(error);
    return ExitOk;
}

} // namespace zep::cli
