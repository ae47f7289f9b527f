// zep-remote: a small remote-control client. Connects to an executor's local socket, names itself
// with MSGTARGET, sends each command in turn and prints every reply until the command's FINISHED.
#include "common/StringOp.h"
#include "remote/RemoteSocket.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

int Usage(FILE* out, int status) {
    std::fprintf(out, "usage: zep-remote [--socket PATH] [--timeout SECONDS] COMMAND::ARGUMENT...\n"
                      "Exit status: 0 every command finished, 1 time-out, 2 nothing listens or bad usage.\n");
    return status;
}

class Connection {
  public:
    explicit Connection(int fd) : fd_(fd) {}
    ~Connection() { ::close(fd_); }
    bool Send(std::string_view text) {
        const std::string frame = zep::RemoteFrame(zep::RemoteTextData, text);
        return ::send(fd_, frame.data(), frame.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(frame.size());
    }
    // The next frame, or nothing by the deadline or when the executor closed the connection.
    std::optional<std::pair<std::uint32_t, std::string>> Next(Clock::time_point deadline) {
        while (true) {
            bool bad = false;
            if (auto frame = zep::TakeRemoteFrame(in_, bad)) return frame;
            if (bad) return std::nullopt;
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) return std::nullopt;
            pollfd wait{fd_, POLLIN, 0};
            if (::poll(&wait, 1, static_cast<int>(std::min<long long>(left, 1000))) <= 0) continue;
            char buffer[65536];
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0) return std::nullopt;
            in_.append(buffer, static_cast<size_t>(n));
        }
    }

  private:
    int fd_;
    std::string in_;
};

} // namespace

int main(int argc, char** argv) {
    std::optional<std::string> socketOption;
    double timeout = 60;
    std::vector<std::string> commands;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") return Usage(stdout, 0);
        if ((arg == "--socket" || arg == "--timeout") && i + 1 < argc) {
            const std::string value = argv[++i];
            if (arg == "--socket")
                socketOption = value;
            else if ((timeout = zep::LeadingNumber(value)) <= 0)
                return Usage(stderr, 2);
        } else if (arg.rfind("--", 0) == 0) {
            return Usage(stderr, 2);
        } else {
            commands.push_back(arg);
        }
    }
    if (commands.empty()) return Usage(stderr, 2);
    const std::string path = zep::ResolveRemoteSocketPath(socketOption);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return Usage(stderr, 2);
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::fprintf(stderr, "zep-remote: nothing listens on %s\n", path.c_str());
        ::close(fd);
        return 2;
    }
    Connection connection(fd);
    const auto deadline = Clock::now() + std::chrono::milliseconds(static_cast<long long>(timeout * 1000));
    // The executor first tells the connection its handle.
    auto greeting = connection.Next(deadline);
    while (greeting && greeting->first != zep::RemoteHandleData)
        greeting = connection.Next(deadline);
    if (!greeting) {
        std::fprintf(stderr, "zep-remote: no greeting from the executor on %s\n", path.c_str());
        return 1;
    }
    std::vector<std::string> all{"MSGTARGET::" + greeting->second};
    all.insert(all.end(), commands.begin(), commands.end());
    for (const auto& command : all) {
        const std::string trimmed = zep::StripText(command);
        const size_t separator = trimmed.find("::");
        if (!connection.Send(command)) {
            std::fprintf(stderr, "zep-remote: the executor closed the connection\n");
            return 1;
        }
        if (separator == std::string::npos) continue; // the executor ignores it: no reply comes
        const std::string finished = trimmed.substr(0, separator) + "::FINISHED";
        while (true) {
            const auto frame = connection.Next(deadline);
            if (!frame) {
                std::fprintf(stderr, "zep-remote: no %s within %g s\n", finished.c_str(), timeout);
                return 1;
            }
            if (frame->first != zep::RemoteTextData) continue;
            std::printf("%s\n", frame->second.c_str());
            std::fflush(stdout);
            if (frame->second == finished) break;
        }
    }
    return std::fflush(stdout) == 0 ? 0 : 2;
}
