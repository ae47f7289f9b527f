// Socket clients for tests: every wait is bounded by the caller's time-out.
#include "RpcClient.h"

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zep::test {

namespace {

using Clock = std::chrono::steady_clock;

int Remaining(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

} // namespace

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

void TcpClient::ShutdownSending() {
    if (fd_ >= 0) shutdown(fd_, SHUT_WR);
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

std::string RpcCallMessage(std::uint32_t xid, std::uint32_t program, std::uint32_t version,
                           std::uint32_t procedure, const std::string& args) {
    return XdrU32(xid) + XdrU32(0) + XdrU32(2) + XdrU32(program) + XdrU32(version) + XdrU32(procedure) +
           XdrU32(0) + XdrU32(0) + XdrU32(0) + XdrU32(0) + args;
}

std::string RpcSuccessReply(std::uint32_t xid, const std::string& results) {
    return XdrU32(xid) + XdrU32(1) + XdrU32(0) + XdrU32(0) + XdrU32(0) + XdrU32(0) + results;
}

std::optional<std::string> RpcAcceptedResults(const std::string& reply, std::uint32_t xid) {
    std::size_t pos = 0;
    if (ReadU32(reply, pos) != xid || ReadU32(reply, pos) != 1 || ReadU32(reply, pos) != 0)
        return std::nullopt;
    ReadU32(reply, pos);
    ReadOpaque(reply, pos);
    if (ReadU32(reply, pos) != 0 || pos > reply.size()) return std::nullopt;
    return reply.substr(pos);
}

std::string RecordMarked(const std::string& message) {
    return XdrU32(0x80000000u | static_cast<std::uint32_t>(message.size())) + message;
}

std::uint32_t RpcClient::SendCall(std::uint32_t program, std::uint32_t version, std::uint32_t procedure,
                                  const std::string& args) {
    std::uint32_t xid = ++xid_;
    tcp_.Send(RecordMarked(RpcCallMessage(xid, program, version, procedure, args)));
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
    return RpcAcceptedResults(reply, xid);
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
    std::string message = RpcCallMessage(77, 100000, 2, 3, args);
    sendto(fd, message.data(), message.size(), 0, reinterpret_cast<sockaddr*>(&address), sizeof address);
    pollfd p{fd, POLLIN, 0};
    std::optional<std::uint32_t> port;
    if (poll(&p, 1, 3000) > 0) {
        char buffer[2048];
        ssize_t count = recv(fd, buffer, sizeof buffer, 0);
        if (count > 0) {
            auto results = RpcAcceptedResults(std::string(buffer, static_cast<std::size_t>(count)), 77);
            std::size_t pos = 0;
            if (results) port = ReadU32(*results, pos);
        }
    }
    close(fd);
    return port;
}

} // namespace zep::test
