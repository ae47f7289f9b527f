// Sockets and the poll() loop: listeners, raw-socket connections, RPC record marking, timers.
#include "Server.h"

#include "Rpc.h"
#include "common/StringOp.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zep::instsim {

namespace {

constexpr std::size_t MaxMessageBytes = 16 * 1024 * 1024; // a command line or RPC record
// Past this much output not yet sent, a connection's input rests until the client reads: answers of a
// client that reads nothing are not produced, so memory stays bounded and the others are served.
constexpr std::size_t OutputPauseBytes = 4 * 1024 * 1024;
constexpr SimTime HalfClosedLingerMs = 10000; // a client that shut down its sending side waits this long

std::int64_t MonotonicNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void SetNonBlocking(int fd) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL, 0) | O_NONBLOCK);
}

std::string PeerName(const sockaddr_storage& address) {
    char host[NI_MAXHOST] = "?", port[NI_MAXSERV] = "?";
    getnameinfo(reinterpret_cast<const sockaddr*>(&address), sizeof address, host, sizeof host, port,
                sizeof port, NI_NUMERICHOST | NI_NUMERICSERV);
    return std::string(host) + ":" + port;
}

void Log(const std::string& line) {
    std::cerr << "zep-instsim: " << line << '\n';
}

} // namespace

Server::Server(std::vector<InstrumentDefinition> instruments, ServerOptions options)
    : options_(std::move(options)) {
    for (std::size_t i = 0; i < instruments.size(); ++i) {
        if (instruments[i].name.empty()) instruments[i].name = "inst" + std::to_string(i);
        devices_.push_back(std::make_unique<Device>(std::move(instruments[i]),
                                                    options_.seed + static_cast<std::uint32_t>(i)));
    }
    for (auto& device : devices_) {
        device->SetPeers([this](std::string_view name) -> const Device* {
            for (const auto& peer : devices_)
                if (EqualsIgnoreCase(peer->Name(), name)) return peer.get();
            return nullptr;
        });
        for (const CommandDef& command : device->Definition().commands) {
            if (command.answer.kind != AnswerSpec::Kind::Measure) continue;
            const std::string& wanted = command.answer.sourceName;
            bool served = false;
            for (const auto& peer : devices_)
                served = served || (EqualsIgnoreCase(peer->Name(), wanted) && peer->Definition().signal);
            if (!served)
                Log(device->Definition().source + ":" + std::to_string(command.line) + ": " +
                    command.header.text + " measures \"" + wanted +
                    "\", which is not served or has no SOURCE line: it reads the noise floor");
        }
    }
    startNs_ = MonotonicNs();
}

Server::~Server() {
    for (auto& [id, connection] : connections_)
        close(connection.fd);
    for (const Listener& listener : listeners_)
        close(listener.fd);
}

SimTime Server::Now() const {
    return (MonotonicNs() - startNs_) / 1000000;
}

std::string Server::HostForResource() const {
    if (options_.host.find(':') != std::string::npos) return "[" + options_.host + "]";
    return options_.host;
}

bool Server::Listen(int port, bool udp, int& fd, int& boundPort, std::string& error) {
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    hints.ai_socktype = udp ? SOCK_DGRAM : SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(options_.host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found) {
        error = "\"" + options_.host + "\" is not a numeric IPv4 or IPv6 address";
        return false;
    }
    fd = socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, 0);
    int on = 1;
    if (fd >= 0) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    bool ok = fd >= 0 && bind(fd, found->ai_addr, found->ai_addrlen) == 0 && (udp || listen(fd, 64) == 0);
    freeaddrinfo(found);
    if (!ok) {
        error = "cannot listen on " + options_.host + " port " + std::to_string(port) + ": " +
                std::strerror(errno);
        if (fd >= 0) close(fd);
        fd = -1;
        return false;
    }
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    boundPort = ntohs(address.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                                                    : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
    SetNonBlocking(fd);
    return true;
}

bool Server::Start(std::string& error) {
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* found = nullptr;
    if (getaddrinfo(options_.host.c_str(), nullptr, &hints, &found) != 0) {
        error = "\"" + options_.host + "\" is not a numeric IPv4 or IPv6 address";
        return false;
    }
    freeaddrinfo(found);
    for (std::size_t i = 0; i < devices_.size(); ++i) {
        const InstrumentDefinition& def = devices_[i]->Definition();
        int wanted = def.port != 0            ? def.port
                     : options_.basePort != 0 ? options_.basePort + static_cast<int>(i)
                                              : 0;
        int fd = -1, port = 0;
        if (options_.raw) {
            if (!Listen(wanted, false, fd, port, error)) {
                error = def.name + ": " + error;
                return false;
            }
            listeners_.push_back(Listener{fd, ListenerKind::Raw, i, port});
        }
        rawPorts_.push_back(port);
    }
    if (!options_.vxi11) return true;
    int fd = -1;
    int coreWanted = options_.basePort != 0 ? options_.basePort + static_cast<int>(devices_.size()) : 0;
    if (!Listen(coreWanted, false, fd, corePort_, error)) return false;
    listeners_.push_back(Listener{fd, ListenerKind::Rpc, 0, corePort_});

    std::string portmapError;
    bool bound = false;
    if (options_.portmapPort < 0) bound = Listen(111, false, fd, portmapPort_, portmapError);
    if (!bound &&
        !Listen(options_.portmapPort > 0 ? options_.portmapPort : 0, false, fd, portmapPort_, error))
        return false;
    listeners_.push_back(Listener{fd, ListenerKind::Rpc, 0, portmapPort_});
    int udpFd = -1, udpPort = 0;
    std::string udpError;
    if (Listen(portmapPort_, true, udpFd, udpPort, udpError)) {
        listeners_.push_back(Listener{udpFd, ListenerKind::PortmapUdp, 0, udpPort});
        portmapUdp_ = true;
    } else {
        Log("portmapper without UDP: " + udpError);
    }
    Log("portmapper on " + options_.host + " port " + std::to_string(portmapPort_) +
        (options_.portmapPort < 0 && portmapPort_ != 111
             ? " (port 111 is not available: " + portmapError + ")"
             : "") +
        ", VXI-11 core channel on port " + std::to_string(corePort_));
    return true;
}

std::vector<std::string> Server::ResourceLines() const {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < devices_.size(); ++i) {
        const std::string& idn = devices_[i]->Definition().idn;
        if (options_.raw)
            lines.push_back("TCPIP0::" + HostForResource() + "::" + std::to_string(rawPorts_[i]) +
                            "::SOCKET\t" + idn);
        if (options_.vxi11)
            lines.push_back("TCPIP0::" + HostForResource() + "::inst" + std::to_string(i) + "::INSTR\t" +
                            idn);
    }
    return lines;
}

void Server::Accept(const Listener& listener) {
    for (;;) {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        int fd = accept4(listener.fd, reinterpret_cast<sockaddr*>(&address), &length,
                         SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EMFILE || errno == ENFILE) {
                // The listener stays readable while the clients wait: polling it would spin. The
                // listeners rest until a connection closes.
                if (!descriptorLimitLogged_)
                    Log("cannot accept more connections with " + std::to_string(connections_.size()) +
                        " open: " + std::strerror(errno) + "; new clients wait until a connection closes");
                atDescriptorLimit_ = true;
                descriptorLimitLogged_ = true;
            } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                Log(std::string("accept failed: ") + std::strerror(errno));
            }
            return;
        }
        std::string peer = PeerName(address);
        if (connections_.size() >= options_.maxConnections) {
            Log(peer + ": connection refused: " + std::to_string(connections_.size()) +
                " connections are open, the most --max-connections allows");
            close(fd);
            continue;
        }
        int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        Connection connection;
        connection.fd = fd;
        connection.peer = std::move(peer);
        connection.rpc = listener.kind == ListenerKind::Rpc;
        if (!connection.rpc) {
            connection.instrument = listener.instrument;
            connection.session =
                std::make_unique<Session>(*devices_[listener.instrument], nextSession_++, false);
        }
        connections_.emplace(nextConnection_++, std::move(connection));
    }
}

void Server::Drop(Connection& connection, const std::string& why) {
    if (connection.dead) return;
    if (!why.empty()) Log(connection.peer + ": " + why + "; connection dropped");
    connection.dead = true;
    for (std::uint32_t link : connection.links)
        DestroyLink(link);
    connection.links.clear();
}

bool Server::OutputFull(const Connection& connection) const {
    std::size_t pending = connection.out.size();
    if (connection.session) pending += connection.session->BufferedBytes();
    return pending >= OutputPauseBytes;
}

bool Server::Reading(const Connection& connection) const {
    return !connection.inputClosed && !connection.inputWaiting && !OutputFull(connection);
}

bool Server::Finished(const Connection& connection) const {
    return connection.inputClosed && !connection.inputWaiting && !connection.parked &&
           connection.out.empty() && !(connection.session && connection.session->AnswerPending());
}

void Server::ClosedByClient(Connection& connection, SimTime now) {
    // Often only the sending side (shutdown after the last query): the answers still go out.
    connection.inputClosed = true;
    connection.lingerUntil = now + HalfClosedLingerMs;
    if (!connection.parked && (!connection.in.empty() || !connection.record.empty()))
        Log(connection.peer + ": client closed the connection in the middle of a message; the " +
            std::to_string(connection.in.size() + connection.record.size()) + " bytes of it are discarded");
    if (!connection.parked) connection.in.clear();
    connection.record.clear();
}

void Server::HandleInput(int id, Connection& connection, SimTime now) {
    connection.inputWaiting = false;
    if (connection.rpc)
        HandleRpcInput(id, connection, now);
    else
        HandleRawInput(connection, now);
}

void Server::ReadConnection(int id, Connection& connection, SimTime now) {
    char buffer[65536];
    // A bounded number of reads per wake-up, so a client that floods cannot starve the others.
    for (int round = 0; round < 16 && Reading(connection); ++round) {
        ssize_t count = recv(connection.fd, buffer, sizeof buffer, 0);
        if (count > 0) {
            connection.in.append(buffer, static_cast<std::size_t>(count));
            HandleInput(id, connection, now);
            if (connection.dead) return;
            // Input left for later is whole messages; only what remains after handling them all can be
            // an overlong one.
            if (!connection.inputWaiting && connection.in.size() > MaxMessageBytes + 8) {
                Drop(connection,
                     "more than " + std::to_string(MaxMessageBytes) + " bytes without a terminator");
                return;
            }
            continue;
        }
        if (count == 0) {
            ClosedByClient(connection, now);
            return;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) return;
        if (errno == EINTR) continue;
        Drop(connection, std::string("client vanished: ") + std::strerror(errno));
        return;
    }
}

void Server::HandleRawInput(Connection& connection, SimTime now) {
    std::size_t start = 0;
    for (;;) {
        std::size_t end = connection.in.find('\n', start);
        if (end == std::string::npos) break;
        std::string_view message(connection.in.data() + start, end - start);
        if (!message.empty() && message.back() == '\r') message.remove_suffix(1);
        if (OutputFull(connection)) {
            connection.inputWaiting = true;
            break;
        }
        start = end + 1;
        if (options_.trace) Trace(connection.session->Dev(), connection.peer, "<-", message);
        if (!connection.session->Receive(message, now)) {
            Log(connection.peer + ": fault drop-after: connection closed after " +
                std::to_string(connection.session->MessagesReceived()) + " messages");
            connection.dead = true;
            return;
        }
    }
    connection.in.erase(0, start);
}

void Server::HandleRpcInput(int id, Connection& connection, SimTime now) {
    while (!connection.dead && !connection.parked) {
        if (connection.in.size() < 4) return;
        const auto* p = reinterpret_cast<const unsigned char*>(connection.in.data());
        std::uint32_t header =
            (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
        std::size_t length = header & 0x7FFFFFFF;
        if (connection.record.size() + length > MaxMessageBytes) {
            Drop(connection, "RPC record longer than " + std::to_string(MaxMessageBytes) + " bytes");
            return;
        }
        if (connection.in.size() < 4 + length) return;
        if (OutputFull(connection)) {
            connection.inputWaiting = true;
            return;
        }
        connection.record.append(connection.in, 4, length);
        connection.in.erase(0, 4 + length);
        if ((header & 0x80000000u) == 0) continue;
        std::string record = std::move(connection.record);
        connection.record.clear();
        std::optional<std::string> reply = Dispatch(id, &connection, record, now, false);
        if (connection.dead) return;
        if (reply) QueueRecord(connection, *reply);
    }
}

void Server::Trace(const Device& device, const std::string& peer, const char* direction,
                   std::string_view bytes) const {
    std::string shown;
    for (std::size_t i = 0; i < bytes.size() && shown.size() < 200; ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c < 0x7F) {
            shown += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            shown += escaped;
        }
    }
    if (shown.size() >= 200) shown += "... (" + std::to_string(bytes.size()) + " bytes)";
    Log(device.Name() + " " + peer + " " + direction + " " + shown);
}

void Server::QueueRecord(Connection& connection, const std::string& reply) {
    std::uint32_t mark = 0x80000000u | static_cast<std::uint32_t>(reply.size());
    char bytes[4] = {static_cast<char>(mark >> 24), static_cast<char>(mark >> 16),
                     static_cast<char>(mark >> 8), static_cast<char>(mark)};
    connection.out.append(bytes, 4);
    connection.out += reply;
}

void Server::ServeUdp(const Listener& listener) {
    for (;;) {
        char buffer[9000];
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        ssize_t count =
            recvfrom(listener.fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&address), &length);
        if (count < 0) return;
        std::optional<std::string> reply =
            Dispatch(0, nullptr, std::string_view(buffer, static_cast<std::size_t>(count)), Now(), true);
        if (reply)
            sendto(listener.fd, reply->data(), reply->size(), 0, reinterpret_cast<sockaddr*>(&address),
                   length);
    }
}

void Server::WriteConnection(Connection& connection) {
    while (!connection.out.empty()) {
        ssize_t count = send(connection.fd, connection.out.data(), connection.out.size(), MSG_NOSIGNAL);
        if (count > 0) {
            connection.out.erase(0, static_cast<std::size_t>(count));
            continue;
        }
        if (count < 0 && errno == EINTR) continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        Drop(connection, std::string("client vanished: ") + std::strerror(errno));
        return;
    }
}

void Server::Service(SimTime now) {
    for (auto& device : devices_)
        device->Advance(now);
    for (auto& [id, link] : links_)
        link.session->Advance(now);
    for (auto& [id, connection] : connections_) {
        if (connection.dead) continue;
        if (connection.inputWaiting && !OutputFull(connection)) {
            HandleInput(id, connection, now); // the client read enough: go on with what it sent
            if (connection.dead) continue;
        }
        if (connection.session) {
            connection.session->Advance(now);
            bool end = false;
            while (connection.session->OutputReady(now)) {
                std::string answer = connection.session->TakeOutput(now, SIZE_MAX, -1, end);
                if (options_.trace) Trace(connection.session->Dev(), connection.peer, "->", answer);
                connection.out += answer;
            }
        }
        if (connection.parked) {
            ParkedRead read = *connection.parked;
            std::optional<std::string> reply = TryRead(read, now, true);
            if (reply) {
                connection.parked.reset();
                QueueRecord(connection, *reply);
                HandleRpcInput(id, connection, now); // calls that came in while the read waited
            }
        }
        if (connection.inputClosed && now >= connection.lingerUntil && !Finished(connection))
            Drop(connection, "client shut down its sending side; answers still not sent after " +
                                 std::to_string(HalfClosedLingerMs / 1000) + " s");
    }
}

SimTime Server::NextEvent(SimTime now) const {
    SimTime next = Never;
    for (const auto& device : devices_)
        next = std::min(next, device->NextEvent());
    for (const auto& [id, link] : links_)
        next = std::min(next, link.session->NextEvent(now));
    for (const auto& [id, connection] : connections_) {
        if (connection.session) next = std::min(next, connection.session->NextEvent(now));
        if (connection.parked) next = std::min(next, connection.parked->deadline);
        if (connection.inputClosed) next = std::min(next, connection.lingerUntil);
    }
    return next;
}

void Server::Run(double runSeconds, const volatile std::sig_atomic_t* stop) {
    SimTime end = runSeconds > 0 ? Now() + static_cast<SimTime>(runSeconds * 1000) : Never;
    std::vector<pollfd> fds;
    std::vector<int> owners; // connection id per entry, or -(listener index + 1)
    while (!(stop && *stop)) {
        SimTime now = Now();
        if (now >= end) break;
        Service(now);
        for (auto& [id, connection] : connections_) {
            if (!connection.dead && !connection.out.empty()) WriteConnection(connection);
            if (!connection.dead && Finished(connection)) connection.dead = true; // answered and flushed
        }
        for (auto it = connections_.begin(); it != connections_.end();) {
            if (it->second.dead) {
                for (std::uint32_t link : it->second.links)
                    DestroyLink(link);
                close(it->second.fd);
                it = connections_.erase(it);
                atDescriptorLimit_ = false; // a descriptor is free again
            } else {
                ++it;
            }
        }
        fds.clear();
        owners.clear();
        for (std::size_t i = 0; i < listeners_.size(); ++i) {
            if (atDescriptorLimit_ && listeners_[i].kind != ListenerKind::PortmapUdp) continue;
            fds.push_back(pollfd{listeners_[i].fd, POLLIN, 0});
            owners.push_back(-static_cast<int>(i) - 1);
        }
        for (const auto& [id, connection] : connections_) {
            short events = Reading(connection) ? POLLIN : 0;
            if (!connection.out.empty()) events |= POLLOUT;
            fds.push_back(pollfd{connection.fd, events, 0});
            owners.push_back(id);
        }
        SimTime next = std::min(end, NextEvent(now));
        int timeout = next == Never ? 1000 : static_cast<int>(std::clamp<SimTime>(next - now, 0, 1000));
        int ready = poll(fds.data(), fds.size(), timeout);
        if (ready < 0) {
            if (errno == EINTR) continue;
            Log(std::string("poll failed: ") + std::strerror(errno));
            break;
        }
        now = Now();
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].revents == 0) continue;
            if (owners[i] < 0) {
                const Listener& listener = listeners_[static_cast<std::size_t>(-owners[i] - 1)];
                if (listener.kind == ListenerKind::PortmapUdp)
                    ServeUdp(listener);
                else
                    Accept(listener);
                continue;
            }
            auto it = connections_.find(owners[i]);
            if (it == connections_.end() || it->second.dead) continue;
            bool gone = fds[i].revents & (POLLHUP | POLLERR);
            if ((fds[i].revents & POLLIN) || (gone && Reading(it->second)))
                ReadConnection(it->first, it->second, now);
            else if (gone)
                Drop(it->second, "client vanished"); // nothing to read: reported on every poll otherwise
            if (!it->second.dead && (fds[i].revents & POLLOUT)) WriteConnection(it->second);
        }
    }
}

} // namespace zep::instsim
