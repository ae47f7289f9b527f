// Loopback test servers; every wait is bounded so a failing test cannot hang.
#include "LoopbackServers.h"

#include "RpcClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace zep::test {
namespace {

// The servers speak XDR through the test support's own encoding, not the one under test, so a
// fault in the product's XDR cannot hide behind the same fault here.
class XdrWriter {
  public:
    void PutUint(std::uint32_t value) { bytes_ += XdrU32(value); }
    void PutOpaque(const std::string& value) { bytes_ += XdrOpaque(value); }
    const std::string& Bytes() const { return bytes_; }

  private:
    std::string bytes_;
};

class XdrReader {
  public:
    explicit XdrReader(const std::string& data) : data_(data) {}
    bool GetUint(std::uint32_t& value) {
        value = ReadU32(data_, pos_);
        return pos_ <= data_.size();
    }
    bool GetOpaque(std::string& value, std::size_t maxLength) {
        std::size_t at = pos_;
        const std::uint32_t length = ReadU32(data_, at);
        if (at > data_.size() || length > maxLength || at + length > data_.size()) return false;
        value = ReadOpaque(data_, pos_);
        return true;
    }

  private:
    const std::string& data_;
    std::size_t pos_ = 0;
};

int Listen(std::uint16_t& port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(s, 8);
    socklen_t length = sizeof address;
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return s;
}

// Waits up to 50 ms for a readable socket, so the loops notice the stop flag.
bool Readable(int s) {
    pollfd entry{s, POLLIN, 0};
    return ::poll(&entry, 1, 50) > 0;
}

int AcceptNoDelay(int listener, bool& noDelay) {
    const int client = ::accept(listener, nullptr, nullptr);
    if (client < 0) {
        return client;
    }
    int on = 1;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    int value = 0;
    socklen_t length = sizeof value;
    getsockopt(client, IPPROTO_TCP, TCP_NODELAY, &value, &length);
    noDelay = value != 0;
    return client;
}

void SendAll(int s, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const auto n = ::send(s, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return;
        }
        sent += static_cast<std::size_t>(n);
    }
}

// Reads one RPC record; false at end of stream or when stopping.
bool ReadRecord(int s, std::string& pending, std::string& record, const std::atomic<bool>& stop) {
    record.clear();
    while (true) {
        while (pending.size() >= 4) {
            const auto* b = reinterpret_cast<const unsigned char*>(pending.data());
            const std::uint32_t header = (std::uint32_t{b[0]} << 24) | (b[1] << 16) | (b[2] << 8) | b[3];
            const std::uint32_t length = header & 0x7FFFFFFF;
            if (pending.size() < 4 + length) {
                break;
            }
            record.append(pending, 4, length);
            pending.erase(0, 4 + length);
            if (header & 0x80000000u) {
                return true;
            }
        }
        if (stop) {
            return false;
        }
        if (!Readable(s)) {
            continue;
        }
        char buffer[65536];
        const auto n = ::recv(s, buffer, sizeof buffer, 0);
        if (n <= 0) {
            return false;
        }
        pending.append(buffer, static_cast<std::size_t>(n));
    }
}

void SendReply(int s, std::uint32_t xid, const std::string& results) {
    XdrWriter reply;
    reply.PutUint(0);
    reply.PutUint(xid);
    reply.PutUint(1); // REPLY
    reply.PutUint(0); // MSG_ACCEPTED
    reply.PutUint(0); // AUTH_NONE verifier
    reply.PutUint(0);
    reply.PutUint(0); // SUCCESS
    std::string bytes = reply.Bytes() + results;
    const std::uint32_t mark = 0x80000000u | static_cast<std::uint32_t>(bytes.size() - 4);
    bytes[0] = static_cast<char>(mark >> 24);
    bytes[1] = static_cast<char>(mark >> 16);
    bytes[2] = static_cast<char>(mark >> 8);
    bytes[3] = static_cast<char>(mark);
    SendAll(s, bytes);
}

struct CallHeader {
    std::uint32_t xid = 0;
    std::uint32_t program = 0;
    std::uint32_t procedure = 0;
};

bool ReadCallHeader(XdrReader& reader, CallHeader& header) {
    std::uint32_t type = 0, rpcVersion = 0, version = 0, flavor = 0;
    std::string opaque;
    return reader.GetUint(header.xid) && reader.GetUint(type) && reader.GetUint(rpcVersion) &&
           reader.GetUint(header.program) && reader.GetUint(version) && reader.GetUint(header.procedure) &&
           reader.GetUint(flavor) && reader.GetOpaque(opaque, 400) && reader.GetUint(flavor) &&
           reader.GetOpaque(opaque, 400);
}

} // namespace

std::string DefaultInstrumentAnswer(const std::string& line) {
    if (line == "*IDN?") {
        return "ZEP,LOOPBACK,0,1.0\n";
    }
    if (line == "*STB?") {
        return "16\n";
    }
    if (line == "*OPC?") {
        return "1\n";
    }
    if (line == "SYST:ERR?") {
        return "0,\"No error\"\n";
    }
    if (line == "BLOCK?") {
        return std::string("#210ab\ncd\nefg\n");
    }
    return {};
}

SocketServer::SocketServer(LineHandler handler) : handler_(std::move(handler)) {
    listener_ = Listen(port_);
    thread_ = std::thread([this] { Run(); });
}

SocketServer::~SocketServer() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
}

std::vector<std::string> SocketServer::Lines() {
    std::lock_guard lock(mutex_);
    return lines_;
}

void SocketServer::Run() {
    // One connection at a time, as a single-session instrument port.
    while (!stop_) {
        if (!Readable(listener_)) {
            continue;
        }
        bool noDelay = false;
        const int client = AcceptNoDelay(listener_, noDelay);
        if (client < 0) {
            continue;
        }
        serverNoDelay_ = serverNoDelay_ && noDelay;
        ++connections_;
        Serve(client);
        ::close(client);
    }
}

void SocketServer::Serve(int client) {
    std::string pending;
    while (!stop_) {
        if (!Readable(client)) {
            continue;
        }
        char buffer[4096];
        const auto n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) {
            return;
        }
        pending.append(buffer, static_cast<std::size_t>(n));
        std::size_t end = 0;
        while ((end = pending.find('\n')) != std::string::npos) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            {
                std::lock_guard lock(mutex_);
                lines_.push_back(line);
            }
            if (line == "DROP") {
                return;
            }
            const std::string answer = handler_(line);
            if (!answer.empty()) {
                SendAll(client, answer);
            }
        }
    }
}

Vxi11Server::Vxi11Server(LineHandler handler) : handler_(std::move(handler)) {
    portmapperListener_ = Listen(portmapperPort_);
    coreListener_ = Listen(corePort_);
    portmapperThread_ = std::thread([this] { RunPortmapper(); });
    coreThread_ = std::thread([this] { RunCore(); });
}

Vxi11Server::~Vxi11Server() {
    stop_ = true;
    portmapperThread_.join();
    coreThread_.join();
    ::close(portmapperListener_);
    ::close(coreListener_);
}

std::vector<std::uint32_t> Vxi11Server::Procedures() {
    std::lock_guard lock(mutex_);
    return procedures_;
}

std::vector<std::string> Vxi11Server::Messages() {
    std::lock_guard lock(mutex_);
    return messages_;
}

void Vxi11Server::RunPortmapper() {
    while (!stop_) {
        if (!Readable(portmapperListener_)) {
            continue;
        }
        bool noDelay = false;
        const int client = AcceptNoDelay(portmapperListener_, noDelay);
        if (client < 0) {
            continue;
        }
        std::string pending;
        std::string record;
        while (ReadRecord(client, pending, record, stop_)) {
            XdrReader reader(record);
            CallHeader header;
            std::uint32_t program = 0, version = 0, protocol = 0, port = 0;
            if (!ReadCallHeader(reader, header) || !reader.GetUint(program) || !reader.GetUint(version) ||
                !reader.GetUint(protocol) || !reader.GetUint(port)) {
                break;
            }
            XdrWriter results;
            results.PutUint(program == 0x0607AF && protocol == 6 ? corePort_ : 0);
            SendReply(client, header.xid, results.Bytes());
        }
        ::close(client);
    }
}

void Vxi11Server::RunCore() {
    while (!stop_) {
        if (!Readable(coreListener_)) {
            continue;
        }
        bool noDelay = false;
        const int client = AcceptNoDelay(coreListener_, noDelay);
        if (client >= 0) {
            ServeCore(client);
            ::close(client);
        }
    }
}

void Vxi11Server::ServeCore(int client) {
    std::string pending;
    std::string record;
    std::string message;
    std::string output;
    while (ReadRecord(client, pending, record, stop_)) {
        XdrReader reader(record);
        CallHeader header;
        if (!ReadCallHeader(reader, header)) {
            return;
        }
        {
            std::lock_guard lock(mutex_);
            procedures_.push_back(header.procedure);
        }
        XdrWriter results;
        switch (header.procedure) {
        case 10: { // create_link
            std::uint32_t clientId = 0, lock = 0, lockTimeout = 0;
            std::string device;
            reader.GetUint(clientId);
            reader.GetUint(lock);
            reader.GetUint(lockTimeout);
            reader.GetOpaque(device, 256);
            results.PutUint(device == "inst0" ? 0 : 3);
            results.PutUint(1);
            results.PutUint(0);
            results.PutUint(1024); // the least VXI-11 allows, so long writes are split
            break;
        }
        case 11: { // device_write
            std::uint32_t link = 0, ioTimeout = 0, lockTimeout = 0, flags = 0;
            std::string data;
            reader.GetUint(link);
            reader.GetUint(ioTimeout);
            reader.GetUint(lockTimeout);
            reader.GetUint(flags);
            reader.GetOpaque(data, 1 << 20);
            message += data;
            if (flags & 8) {
                std::string line = message;
                while (!line.empty() && line.back() == '\n') {
                    line.pop_back();
                }
                {
                    std::lock_guard lock(mutex_);
                    messages_.push_back(line);
                }
                output += handler_(line);
                message.clear();
            }
            results.PutUint(0);
            results.PutUint(static_cast<std::uint32_t>(data.size()));
            break;
        }
        case 12: { // device_read
            std::uint32_t link = 0, requestSize = 0, ioTimeout = 0;
            reader.GetUint(link);
            reader.GetUint(requestSize);
            reader.GetUint(ioTimeout);
            if (output.empty() || readDelayMs > 0) {
                // Nothing to send: wait out the client's io_timeout (or the forced delay).
                const int waitMs = readDelayMs > 0 ? readDelayMs.load() : static_cast<int>(ioTimeout);
                std::this_thread::sleep_for(std::chrono::milliseconds(std::min(waitMs, 3000)));
            }
            if (output.empty()) {
                results.PutUint(15);
                results.PutUint(0);
                results.PutOpaque("");
                break;
            }
            const std::string chunk = output.substr(0, requestSize);
            output.erase(0, chunk.size());
            results.PutUint(0);
            results.PutUint(output.empty() ? 4 : 1);
            results.PutOpaque(chunk);
            break;
        }
        case 13: // device_readstb
            results.PutUint(0);
            results.PutUint(statusByte);
            break;
        case 15: // device_clear
            ++clears;
            output.clear();
            results.PutUint(0);
            break;
        case 16: // device_remote
        case 17: // device_local
            results.PutUint(0);
            break;
        case 23: // destroy_link
            results.PutUint(0);
            SendReply(client, header.xid, results.Bytes());
            return;
        default:
            results.PutUint(8);
            break;
        }
        SendReply(client, header.xid, results.Bytes());
    }
}

} // namespace zep::test
