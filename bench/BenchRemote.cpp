// GETVARRAW round trips through zep-cli serve over its local socket, beside a bare echo over the
// same kind of socket in the same run; prints the ratio at the end. Pin with taskset.
#include "ChildProcess.h"
#include "RatioReporter.h"

#include "remote/RemoteSocket.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string socketPath;
std::string echoPath;

int Connect(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Reads frames until one whose text is last; false when the connection ends.
bool ReadUntil(int fd, std::string& pending, const std::string& last) {
    while (true) {
        bool bad = false;
        while (auto frame = zep::TakeRemoteFrame(pending, bad))
            if (frame->first == zep::RemoteTextData && frame->second == last) return true;
        if (bad) return false;
        char buffer[65536];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return false;
        pending.append(buffer, static_cast<size_t>(n));
    }
}

void BM_GetVarRaw_Serve(benchmark::State& state) {
    const int fd = Connect(socketPath);
    if (fd < 0) {
        state.SkipWithError("cannot connect to zep-cli serve");
        return;
    }
    std::string pending;
    // The greeting names the connection; MSGTARGET makes it the peer.
    while (pending.size() < 8) {
        char buffer[256];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        pending.append(buffer, static_cast<size_t>(n));
    }
    bool bad = false;
    const auto greeting = zep::TakeRemoteFrame(pending, bad);
    const std::string target =
        zep::RemoteFrame(zep::RemoteTextData, "MSGTARGET::" + (greeting ? greeting->second : ""));
    ::send(fd, target.data(), target.size(), MSG_NOSIGNAL);
    ReadUntil(fd, pending, "MSGTARGET::FINISHED");
    const std::string query = zep::RemoteFrame(zep::RemoteTextData, "GETVARRAW::Span");
    for (auto _ : state) {
        ::send(fd, query.data(), query.size(), MSG_NOSIGNAL);
        if (!ReadUntil(fd, pending, "GETVARRAW::FINISHED")) {
            state.SkipWithError("no reply");
            break;
        }
    }
    ::close(fd);
}

// The baseline: a server thread that sends every frame straight back.
void BM_Echo_LocalSocket(benchmark::State& state) {
    const int fd = Connect(echoPath);
    if (fd < 0) {
        state.SkipWithError("cannot connect to the echo server");
        return;
    }
    std::string pending;
    const std::string query = zep::RemoteFrame(zep::RemoteTextData, "GETVARRAW::Span");
    for (auto _ : state) {
        ::send(fd, query.data(), query.size(), MSG_NOSIGNAL);
        if (!ReadUntil(fd, pending, "GETVARRAW::Span")) {
            state.SkipWithError("no echo");
            break;
        }
    }
    ::close(fd);
}

BENCHMARK(BM_Echo_LocalSocket)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_GetVarRaw_Serve)->UseRealTime()->MinTime(1.0);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const fs::path dir = fs::temp_directory_path() / ("zep_bench_remote_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "ZEP_INIT.INI") << "";
    std::ofstream(dir / "S.ZEP_SET") << "VARIABLE|Span|span|IsHz|0|250\nBench\n";
    socketPath = (dir / "remote.sock").string();
    echoPath = (dir / "echo.sock").string();

    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, echoPath.c_str(), sizeof address.sun_path - 1);
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener, 4);
    std::thread echo([listener] {
        while (true) {
            const int peer = ::accept(listener, nullptr, nullptr);
            if (peer < 0) return;
            char buffer[65536];
            for (ssize_t n; (n = ::recv(peer, buffer, sizeof buffer, 0)) > 0;)
                ::send(peer, buffer, static_cast<size_t>(n), MSG_NOSIGNAL);
            ::close(peer);
        }
    });

    zep::test::ChildProcess serve;
    zep::test::ChildOptions options;
    options.environment = {"ZEP_SETTINGS=" + (dir / "ZEP_INIT.INI").string()};
    if (const char* cpu = std::getenv("ZEP_BENCH_SERVER_CPU"); cpu && *cpu) options.cpu = std::atoi(cpu);
    if (!serve.Start(
            {ZEP_CLI_PATH, "serve", (dir / "S.ZEP_SET").string(), "--simulate", "--socket", socketPath},
            options) ||
        !serve.WaitForStderr(
            [](const std::string& err) { return err.find("listening on") != std::string::npos; }, 20000)) {
        std::cerr << "bench_remote: zep-cli serve did not start: " << serve.Stderr() << '\n';
        return 2;
    }
    zep::bench::RatioReporter reporter(
        {{"BM_GetVarRaw_Serve/min_time:1.000/real_time", "BM_Echo_LocalSocket/min_time:1.000/real_time",
          "(goal: at most 2)"}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    serve.Stop();
    ::shutdown(listener, SHUT_RDWR);
    ::close(listener);
    echo.join();
    fs::remove_all(dir);
    return 0;
}
