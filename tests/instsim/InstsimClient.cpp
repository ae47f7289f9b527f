// Test helpers: process control and small socket clients for zep-instsim.
#include "InstsimClient.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <regex>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zep::instsim::test {

namespace {

using Clock = std::chrono::steady_clock;

int Remaining(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

int SpawnInstsim(const std::vector<std::string>& args, int& out, int& err) {
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) return -1;
    int pid = fork();
    if (pid == 0) {
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        std::vector<char*> argv;
        std::string program = ZEP_INSTSIM_PATH;
        argv.push_back(program.data());
        std::vector<std::string> copy = args;
        for (std::string& arg : copy)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    out = outPipe[0];
    err = errPipe[0];
    fcntl(err, F_SETFL, O_NONBLOCK);
    return pid;
}

void Drain(int fd, std::string& into) {
    char buffer[4096];
    ssize_t count;
    while ((count = read(fd, buffer, sizeof buffer)) > 0)
        into.append(buffer, static_cast<std::size_t>(count));
}

} // namespace

InstsimProcess::InstsimProcess(std::vector<std::string> args, std::size_t resourceLines) {
    pid_ = SpawnInstsim(args, out_, err_);
    if (pid_ < 0) return;
    std::string text;
    auto deadline = Clock::now() + std::chrono::seconds(10);
    for (;;) {
        std::size_t lines = 0;
        for (char c : text)
            lines += c == '\n';
        if (lines >= resourceLines + 1) break;
        pollfd p{out_, POLLIN, 0};
        if (poll(&p, 1, Remaining(deadline)) <= 0) return;
        char buffer[4096];
        ssize_t count = read(out_, buffer, sizeof buffer);
        if (count <= 0) return;
        text.append(buffer, static_cast<std::size_t>(count));
    }
    if (text.rfind("READY\n", 0) != 0) return;
    std::size_t pos = 6;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        resources_.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    // The ports of the RPC services are logged on standard error.
    std::regex ports("portmapper on \\S+ port (\\d+).*core channel on port (\\d+)");
    for (int i = 0; i < 100; ++i) {
        Drain(err_, stderr_);
        std::smatch match;
        if (std::regex_search(stderr_, match, ports)) {
            portmapPort_ = std::stoi(match[1]);
            corePort_ = std::stoi(match[2]);
            break;
        }
        if (stderr_.find("core channel") == std::string::npos &&
            std::find_if(resources_.begin(), resources_.end(), [](const std::string& r) {
                return r.find("::INSTR") != std::string::npos;
            }) == resources_.end())
            break;
        usleep(10000);
    }
    ready_ = true;
}

InstsimProcess::~InstsimProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        // SIGTERM ends the server cleanly; anything else is a crash or a sanitizer report.
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            fcntl(err_, F_SETFL, 0);
            Drain(err_, stderr_);
            ADD_FAILURE() << "zep-instsim did not end cleanly (status " << status << "):\n" << stderr_;
        }
    }
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
}

int InstsimProcess::RawPort(std::size_t instrument) const {
    std::size_t seen = 0;
    for (const std::string& line : resources_) {
        if (line.find("::SOCKET\t") == std::string::npos) continue;
        if (seen++ == instrument) {
            std::size_t end = line.find("::SOCKET");
            std::size_t start = line.rfind("::", end - 1);
            return std::stoi(line.substr(start + 2, end - start - 2));
        }
    }
    return 0;
}

std::string InstsimProcess::Stderr() {
    Drain(err_, stderr_);
    return stderr_;
}

bool InstsimProcess::Running() {
    return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0;
}

RunResult RunInstsim(const std::vector<std::string>& args) {
    RunResult result;
    int out = -1, err = -1;
    int pid = SpawnInstsim(args, out, err);
    fcntl(err, F_SETFL, 0);
    auto deadline = Clock::now() + std::chrono::seconds(20);
    pollfd fds[2] = {{out, POLLIN, 0}, {err, POLLIN, 0}};
    int open = 2;
    while (open > 0 && poll(fds, 2, Remaining(deadline)) > 0) {
        for (pollfd& p : fds) {
            if (p.fd < 0 || !(p.revents & (POLLIN | POLLHUP))) continue;
            char buffer[4096];
            ssize_t count = read(p.fd, buffer, sizeof buffer);
            if (count <= 0) {
                close(p.fd);
                p.fd = -1;
                --open;
                continue;
            }
            (p.fd == out ? result.out : result.err).append(buffer, static_cast<std::size_t>(count));
        }
    }
    int status = 0;
    if (open > 0) kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

TcpClient::TcpClient(int port) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd_);
        fd_ = -1;
        return;
    }
    int on = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

TcpClient::~TcpClient() {
    Close();
}

void TcpClient::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

bool TcpClient::Send(const std::string& bytes) {
    return fd_ >= 0 &&
           send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

bool TcpClient::Fill(int timeoutMs) {
    pollfd p{fd_, POLLIN, 0};
    if (fd_ < 0 || poll(&p, 1, timeoutMs) <= 0) return false;
    char buffer[65536];
    ssize_t count = recv(fd_, buffer, sizeof buffer, 0);
    if (count <= 0) return false;
    buffer_.append(buffer, static_cast<std::size_t>(count));
    return true;
}

std::optional<std::string> TcpClient::ReadLine(int timeoutMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        std::size_t end = buffer_.find('\n');
        if (end != std::string::npos) {
            std::string line = buffer_.substr(0, end + 1);
            buffer_.erase(0, end + 1);
            return line;
        }
        if (!Fill(Remaining(deadline))) return std::nullopt;
    }
}

std::optional<std::string> TcpClient::ReadBytes(std::size_t count, int timeoutMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (buffer_.size() < count)
        if (!Fill(Remaining(deadline))) return std::nullopt;
    std::string bytes = buffer_.substr(0, count);
    buffer_.erase(0, count);
    return bytes;
}

bool TcpClient::ClosedByPeer(int timeoutMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd p{fd_, POLLIN, 0};
        if (fd_ < 0) return true;
        if (poll(&p, 1, Remaining(deadline)) <= 0) return false;
        char buffer[4096];
        ssize_t count = recv(fd_, buffer, sizeof buffer, 0);
        if (count <= 0) return true;
    }
}

std::string XdrU32(std::uint32_t value) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i)
        out[static_cast<std::size_t>(i)] = static_cast<char>(value >> (24 - 8 * i));
    return out;
}

std::string XdrOpaque(const std::string& value) {
    return XdrU32(static_cast<std::uint32_t>(value.size())) + value +
           std::string((4 - value.size() % 4) % 4, '\0');
}

std::uint32_t ReadU32(const std::string& data, std::size_t& pos) {
    if (pos + 4 > data.size()) {
        pos = data.size() + 1;
        return 0xFFFFFFFF;
    }
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value = (value << 8) | static_cast<unsigned char>(data[pos + static_cast<std::size_t>(i)]);
    pos += 4;
    return value;
}

std::string ReadOpaque(const std::string& data, std::size_t& pos) {
    std::uint32_t length = ReadU32(data, pos);
    if (pos > data.size() || pos + length > data.size()) return {};
    std::string value = data.substr(pos, length);
    pos += (length + 3) & ~3u;
    return value;
}

namespace {

std::string CallMessage(std::uint32_t xid, std::uint32_t program, std::uint32_t version,
                        std::uint32_t procedure, const std::string& args) {
    return XdrU32(xid) + XdrU32(0) + XdrU32(2) + XdrU32(program) + XdrU32(version) + XdrU32(procedure) +
           XdrU32(0) + XdrU32(0) + XdrU32(0) + XdrU32(0) + args;
}

std::optional<std::string> AcceptedResults(const std::string& reply, std::uint32_t xid) {
    std::size_t pos = 0;
    if (ReadU32(reply, pos) != xid || ReadU32(reply, pos) != 1 || ReadU32(reply, pos) != 0)
        return std::nullopt;
    ReadU32(reply, pos);
    ReadOpaque(reply, pos);
    if (ReadU32(reply, pos) != 0 || pos > reply.size()) return std::nullopt;
    return reply.substr(pos);
}

} // namespace

std::uint32_t RpcClient::SendCall(std::uint32_t program, std::uint32_t version, std::uint32_t procedure,
                                  const std::string& args) {
    std::uint32_t xid = ++xid_;
    std::string message = CallMessage(xid, program, version, procedure, args);
    tcp_.Send(XdrU32(0x80000000u | static_cast<std::uint32_t>(message.size())) + message);
    return xid;
}

std::optional<std::string> RpcClient::ReceiveReply(std::uint32_t xid, int timeoutMs) {
    std::string reply;
    for (;;) {
        auto header = tcp_.ReadBytes(4, timeoutMs);
        if (!header) return std::nullopt;
        std::size_t pos = 0;
        std::uint32_t mark = ReadU32(*header, pos);
        auto fragment = tcp_.ReadBytes(mark & 0x7FFFFFFF, timeoutMs);
        if (!fragment) return std::nullopt;
        reply += *fragment;
        if (mark & 0x80000000u) break;
    }
    return AcceptedResults(reply, xid);
}

std::optional<std::string> RpcClient::Call(std::uint32_t program, std::uint32_t version,
                                           std::uint32_t procedure, const std::string& args, int timeoutMs) {
    if (!tcp_.Connected()) return std::nullopt;
    return ReceiveReply(SendCall(program, version, procedure, args), timeoutMs);
}

constexpr std::uint32_t CoreProgram = 0x0607AF;

std::uint32_t Vxi11Client::CreateLink(const std::string& device, std::uint32_t& link, bool lock) {
    auto results =
        rpc_.Call(CoreProgram, 1, 10, XdrU32(7) + XdrU32(lock ? 1 : 0) + XdrU32(0) + XdrOpaque(device));
    if (!results) return 0xFFFFFFFF;
    std::size_t pos = 0;
    std::uint32_t error = ReadU32(*results, pos);
    link = ReadU32(*results, pos);
    return error;
}

std::uint32_t Vxi11Client::Write(std::uint32_t link, const std::string& data, bool end) {
    auto results = rpc_.Call(CoreProgram, 1, 11,
                             XdrU32(link) + XdrU32(2000) + XdrU32(0) + XdrU32(end ? 8 : 0) + XdrOpaque(data));
    if (!results) return 0xFFFFFFFF;
    std::size_t pos = 0;
    return ReadU32(*results, pos);
}

Vxi11Read Vxi11Client::Read(std::uint32_t link, std::uint32_t requestSize, std::uint32_t ioTimeout,
                            int termChar) {
    Vxi11Read read;
    std::uint32_t flags = termChar >= 0 ? 0x80 : 0;
    auto results =
        rpc_.Call(CoreProgram, 1, 12,
                  XdrU32(link) + XdrU32(requestSize) + XdrU32(ioTimeout) + XdrU32(0) + XdrU32(flags) +
                      XdrU32(termChar >= 0 ? static_cast<std::uint32_t>(termChar) : 0),
                  static_cast<int>(ioTimeout) + 3000);
    if (!results) return read;
    std::size_t pos = 0;
    read.error = ReadU32(*results, pos);
    read.reason = ReadU32(*results, pos);
    read.data = ReadOpaque(*results, pos);
    return read;
}

std::uint32_t Vxi11Client::ReadStb(std::uint32_t link, std::uint32_t& stb) {
    auto results = rpc_.Call(CoreProgram, 1, 13, XdrU32(link) + XdrU32(0) + XdrU32(0) + XdrU32(2000));
    if (!results) return 0xFFFFFFFF;
    std::size_t pos = 0;
    std::uint32_t error = ReadU32(*results, pos);
    stb = ReadU32(*results, pos);
    return error;
}

std::uint32_t Vxi11Client::Generic(std::uint32_t procedure, std::uint32_t link) {
    auto results = rpc_.Call(CoreProgram, 1, procedure, XdrU32(link) + XdrU32(0) + XdrU32(0) + XdrU32(2000));
    if (!results) return 0xFFFFFFFF;
    std::size_t pos = 0;
    return ReadU32(*results, pos);
}

std::uint32_t Vxi11Client::DestroyLink(std::uint32_t link) {
    auto results = rpc_.Call(CoreProgram, 1, 23, XdrU32(link));
    if (!results) return 0xFFFFFFFF;
    std::size_t pos = 0;
    return ReadU32(*results, pos);
}

std::string Vxi11Client::Query(std::uint32_t link, const std::string& command) {
    if (Write(link, command + "\n") != 0) return "(write failed)";
    std::string answer;
    for (int i = 0; i < 100; ++i) {
        Vxi11Read read = Read(link);
        if (read.error != 0) return answer + "(read error " + std::to_string(read.error) + ")";
        answer += read.data;
        if (read.reason & 4) break;
    }
    return answer;
}

std::optional<std::uint32_t> PortmapGetPort(int portmapPort, bool udp, std::uint32_t program,
                                            std::uint32_t version) {
    std::string args = XdrU32(program) + XdrU32(version) + XdrU32(6) + XdrU32(0);
    if (!udp) {
        RpcClient client(portmapPort);
        auto results = client.Call(100000, 2, 3, args);
        if (!results) return std::nullopt;
        std::size_t pos = 0;
        return ReadU32(*results, pos);
    }
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(portmapPort));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string message = CallMessage(77, 100000, 2, 3, args);
    sendto(fd, message.data(), message.size(), 0, reinterpret_cast<sockaddr*>(&address), sizeof address);
    pollfd p{fd, POLLIN, 0};
    std::optional<std::uint32_t> port;
    if (poll(&p, 1, 3000) > 0) {
        char buffer[2048];
        ssize_t count = recv(fd, buffer, sizeof buffer, 0);
        if (count > 0) {
            auto results = AcceptedResults(std::string(buffer, static_cast<std::size_t>(count)), 77);
            std::size_t pos = 0;
            if (results) port = ReadU32(*results, pos);
        }
    }
    close(fd);
    return port;
}

} // namespace zep::instsim::test
