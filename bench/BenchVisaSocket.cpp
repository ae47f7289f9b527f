// "*IDN?" round trips through the built-in VISA SOCKET path against zep-instsim, beside a bare client
// doing the same socket exchanges, measured in the same run; prints the ratios at the end.
// Pin with taskset (this program) and ZEP_BENCH_SERVER_CPU (the simulator it starts).
#include "InstsimProcess.h"

#include "cli/TerminalHost.h"
#include "ieee/IEEE.h"
#include "instio/VISAWrap.h"
#include "instio/VisaResource.h"
#include "instio/visa_builtin/BuiltinVisa.h"
#include "sequencer/BlockRun.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <map>
#include <set>
#include <string>

namespace {

using namespace zep;

std::string socketResource;
std::string host;
std::uint16_t port = 0;

// The baseline: plain blocking send/recv on one connection, Nagle off unless asked.
class BareClient {
  public:
    explicit BareClient(bool noDelay) {
        socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
        int on = noDelay ? 1 : 0;
        setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        inet_pton(AF_INET, host.c_str(), &address.sin_addr);
        ok_ = ::connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~BareClient() { ::close(socket_); }
    bool Ok() const { return ok_; }
    bool Send(std::string_view text) {
        return ::send(socket_, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
    }
    // Reads up to and including the next line feed.
    bool ReadLine(std::string& line) {
        line.clear();
        while (true) {
            const std::size_t end = pending_.find('\n');
            if (end != std::string::npos) {
                line.assign(pending_, 0, end + 1);
                pending_.erase(0, end + 1);
                return true;
            }
            char buffer[4096];
            const auto n = ::recv(socket_, buffer, sizeof buffer, 0);
            if (n <= 0) {
                return false;
            }
            pending_.append(buffer, static_cast<std::size_t>(n));
        }
    }

  private:
    int socket_ = -1;
    bool ok_ = false;
    std::string pending_;
};

void BareQueries(benchmark::State& state, bool commandFirst, bool noDelay) {
    BareClient client(noDelay);
    if (!client.Ok()) {
        state.SkipWithError("cannot connect to the simulator");
        return;
    }
    std::string line;
    for (auto _ : state) {
        if (commandFirst && !client.Send("*CLS\n")) {
            state.SkipWithError("send failed");
            break;
        }
        if (!client.Send("*IDN?\n") || !client.ReadLine(line)) {
            state.SkipWithError("query failed");
            break;
        }
        benchmark::DoNotOptimize(line.data());
    }
}

void BuiltinQueries(benchmark::State& state, bool commandFirst) {
    BuiltinVisa visa;
    ViSession manager = VI_NULL;
    ViSession session = VI_NULL;
    visa.viOpenDefaultRM(manager);
    if (visa.viOpen(manager, socketResource, VI_NO_LOCK, 0, session) < 0) {
        state.SkipWithError("viOpen failed");
        return;
    }
    char buffer[1000];
    ViUInt32 count = 0;
    for (auto _ : state) {
        if (commandFirst) {
            visa.viWrite(session, "*CLS\n", 5, count);
        }
        visa.viWrite(session, "*IDN?\n", 6, count);
        if (visa.viRead(session, buffer, sizeof buffer, count) < 0) {
            state.SkipWithError("viRead failed");
            break;
        }
        benchmark::DoNotOptimize(buffer);
    }
}

void BM_Idn_BareSocket(benchmark::State& state) {
    BareQueries(state, false, true);
}
void BM_Idn_BuiltinVisa(benchmark::State& state) {
    BuiltinQueries(state, false);
}
void BM_CommandThenIdn_BareSocket(benchmark::State& state) {
    BareQueries(state, true, true);
}
void BM_CommandThenIdn_BuiltinVisa(benchmark::State& state) {
    BuiltinQueries(state, true);
}
// What Nagle's algorithm costs the same exchange when left on.
void BM_CommandThenIdn_BareSocketNagleOn(benchmark::State& state) {
    BareQueries(state, true, false);
}

// The access layer as the system uses it: QueryText into a prepared buffer, log off.
void BM_Idn_VISAWrapQueryText(benchmark::State& state) {
    BuiltinVisa visa;
    VISAWrap wrap(visa);
    ViSession session = VI_NULL;
    wrap.OpenSession(socketResource, session, 2000);
    std::string buffer(1000, ' ');
    for (auto _ : state) {
        wrap.QueryText(session, "*IDN?", buffer);
        if (wrap.LastStatus() < 0) {
            state.SkipWithError("query failed");
            break;
        }
        benchmark::DoNotOptimize(buffer.data());
    }
}

// One command line as the command layer runs it: the clear command, the command with ";*OPC", the
// status byte read once, polled until it reports completion and read by the completion handler,
// then the error queue. The bare client makes the same exchanges.
void BM_CommandLine_BareSocket(benchmark::State& state) {
    BareClient client(true);
    if (!client.Ok()) {
        state.SkipWithError("cannot connect to the simulator");
        return;
    }
    std::string line;
    auto query = [&](std::string_view text) { return client.Send(text) && client.ReadLine(line); };
    // The status reporting the command layer prepares once per instrument.
    client.Send("*CLS\n*ESE 1\n*SRE 32\n");
    for (auto _ : state) {
        bool ok = client.Send("*CLS\n") && client.Send("*TRG;*OPC\n") && query("*STB?\n");
        while (ok && (ok = query("*STB?\n")) && line == "0\n") {
        }
        ok = ok && query("*STB?\n") && query("SYST:ERR?\n");
        if (!ok || line.rfind("0,", 0) != 0) {
            state.SkipWithError("exchange failed");
            break;
        }
    }
}

void BM_CommandLine_CommandLayer(benchmark::State& state) {
    BuiltinVisa visa;
    VISAWrap wrap(visa);
    std::FILE* quiet = std::tmpfile();
    cli::TerminalHost terminal(quiet, quiet, quiet);
    ReportDocument report;
    ReportOptions options;
    ErrorNotifier notifier(terminal);
    bool blockError = false;
    ReportContext context{report, options, &notifier, 8, {}};
    TestModel model;
    model.Blocks.push_back(BlockDef{"Main", "Main"});
    InstrumentNeed need;
    need.Name = "Gen";
    need.ErrorQuery = "SYST:ERR";
    need.ClearCommand = "*CLS";
    model.Instruments.push_back(need);
    model.Commands.emplace_back(0, 0, "*TRG", "");
    std::vector<AvailableInstrument> instruments(1);
    instruments[0].Resource = socketResource;
    IEEE ieee(terminal, instruments, model, context, blockError);
    ieee.SetWrap(&wrap);
    ieee.InitInstrument(0);
    for (auto _ : state) {
        model.Commands[0].Status = 1;
        ieee.SendCommand(0, "*TRG", 0, false);
        if (model.Commands[0].Status != 2 || model.Commands[0].ErrorText != "(OK)") {
            state.SkipWithError(
                ("command line failed: " + model.Commands[0].ErrorText + " " + model.Commands[0].ErrorDetail)
                    .c_str());
            break;
        }
        model.Commands[0].TimeHistory.clear();
    }
    std::fclose(quiet);
}

// A block of 1,000 query lines run by the block loop through the command layer, against a bare
// client making the same exchanges (a query line is one write and one read).
constexpr int BlockLines = 1000;

void BM_QueryBlock_BareSocket(benchmark::State& state) {
    BareClient client(true);
    if (!client.Ok()) {
        state.SkipWithError("cannot connect to the simulator");
        return;
    }
    client.Send("*CLS\n*ESE 1\n*SRE 32\n");
    std::string line;
    for (auto _ : state) {
        for (int i = 0; i < BlockLines; ++i) {
            if (!client.Send("*IDN?\n") || !client.ReadLine(line)) {
                state.SkipWithError("query failed");
                return;
            }
        }
    }
}

// The same block through BlockRun::Go; simulated, every line is a 1 ms timer at least.
void BlockOfQueries(benchmark::State& state, bool simulation, bool queries) {
    BuiltinVisa visa;
    VISAWrap wrap(visa);
    std::FILE* quiet = std::tmpfile();
    cli::TerminalHost terminal(quiet, quiet, quiet);
    ReportDocument report;
    ReportOptions options;
    options.Time = false;
    ErrorNotifier notifier(terminal);
    bool blockError = false;
    ReportContext context{report, options, &notifier, 8, {}};
    TestModel model;
    model.Blocks.push_back(BlockDef{"Main", "Main"});
    InstrumentNeed need;
    need.Name = "Gen";
    need.Type = simulation ? "SIM" : "";
    need.ErrorQuery = "SYST:ERR";
    need.ClearCommand = "*CLS";
    need.Used = true;
    model.Instruments.push_back(need);
    for (int i = 0; i < BlockLines; ++i) {
        model.Commands.emplace_back(0, 0, queries ? "*IDN?" : "*TRG", "Identification");
        if (queries) model.Commands.back().Result.Kind = ResultKind::String;
    }
    std::vector<AvailableInstrument> instruments(1);
    instruments[0].Resource = socketResource;
    IEEE ieee(terminal, instruments, model, context, blockError);
    IEEEOptions ieeeOptions;
    ieeeOptions.Simulation = simulation;
    ieeeOptions.SimMaxTime = 0;
    ieee.SetOptions(ieeeOptions);
    if (!simulation) ieee.SetWrap(&wrap);
    BlockRun run(terminal, model, instruments, context, notifier, ieee, blockError);
    run.SetOptions(RunOptions{simulation, [] {}});
    for (auto _ : state) {
        report.Clear();
        run.Go(0);
        if (model.Blocks[0].RunState != 2 || model.Commands.back().Status != 2) {
            state.SkipWithError("the block did not run");
            break;
        }
    }
    std::fclose(quiet);
}
void BM_QueryBlock_BlockRun(benchmark::State& state) {
    BlockOfQueries(state, false, true);
}
void BM_SimulatedBlock_BlockRun(benchmark::State& state) {
    BlockOfQueries(state, true, false);
}
BENCHMARK(BM_QueryBlock_BareSocket)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_QueryBlock_BlockRun)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_SimulatedBlock_BlockRun)->UseRealTime()->Iterations(2);

BENCHMARK(BM_Idn_BareSocket)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_CommandLine_BareSocket)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_CommandLine_CommandLayer)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_Idn_BuiltinVisa)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_Idn_VISAWrapQueryText)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_CommandThenIdn_BareSocket)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_CommandThenIdn_BuiltinVisa)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_CommandThenIdn_BareSocketNagleOn)->UseRealTime()->MinTime(0.5);

// Keeps each run's time per iteration so the ratios can be printed after the table.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        // With --benchmark_repetitions the median stands for the run; otherwise the one iteration run.
        for (const auto& run : runs) {
            if (run.error_occurred) {
                continue;
            }
            const std::string& name = run.run_name.function_name;
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                times[name] = run.GetAdjustedRealTime();
                medians.insert(name);
            } else if (run.run_type == Run::RT_Iteration && medians.count(name) == 0) {
                times[name] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
    std::set<std::string> medians;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    int serverCpu = -1;
    if (const char* cpu = std::getenv("ZEP_BENCH_SERVER_CPU"); cpu != nullptr && *cpu != '\0') {
        serverCpu = std::atoi(cpu);
    }
    zep::test::InstsimProcess simulator;
    if (!simulator.Start(ZEP_INSTSIM_PATH, {"--no-vxi11"}, 600, serverCpu)) {
        std::cerr << "bench_visasocket: " << simulator.Error() << '\n';
        return 2;
    }
    socketResource = simulator.ResourceOfClass("SOCKET");
    const auto parsed = ParseVisaResource(socketResource);
    if (!parsed) {
        std::cerr << "bench_visasocket: the simulator serves no SOCKET resource\n";
        return 2;
    }
    host = parsed->host;
    port = parsed->port;
    std::cout << "simulator: " << socketResource
              << (serverCpu >= 0 ? " on cpu " + std::to_string(serverCpu) : "") << '\n';

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto ratio = [&](const std::string& measured, const std::string& baseline) {
        if (reporter.times.count(measured) && reporter.times.count(baseline) &&
            reporter.times[baseline] > 0) {
            std::cout << "ratio " << measured << " / " << baseline << " = "
                      << reporter.times[measured] / reporter.times[baseline] << '\n';
        }
    };
    ratio("BM_Idn_BuiltinVisa", "BM_Idn_BareSocket");
    ratio("BM_Idn_VISAWrapQueryText", "BM_Idn_BareSocket");
    ratio("BM_CommandThenIdn_BuiltinVisa", "BM_CommandThenIdn_BareSocket");
    ratio("BM_CommandThenIdn_BareSocketNagleOn", "BM_CommandThenIdn_BareSocket");
    ratio("BM_CommandLine_CommandLayer", "BM_CommandLine_BareSocket"); // goal: at most 1.15
    ratio("BM_QueryBlock_BlockRun", "BM_QueryBlock_BareSocket");       // goal: at most 1.2
    benchmark::Shutdown();
    return 0;
}
