// Sockets with non-blocking I/O and poll(), so every call ends by its deadline.
#include "instio/visa_builtin/TcpConnection.h"

#include <algorithm>
#include <cerrno>
#include <string>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#pragma comment(lib, "ws2_32.lib")
#else
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace zep {
namespace {

#ifdef _WIN32
using NativeSocket = SOCKET;
int LastSocketError() {
    return WSAGetLastError();
}
bool WouldBlock(int error) {
    return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS;
}
void CloseNative(NativeSocket s) {
    closesocket(s);
}
int PollNative(pollfd* fds, int count, int timeout) {
    return WSAPoll(fds, static_cast<ULONG>(count), timeout);
}
constexpr int SendFlags = 0;
struct WinsockStartup {
    WinsockStartup() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
};
void EnsureStartup() {
    static WinsockStartup startup;
}
bool SetNonBlocking(NativeSocket s) {
    u_long on = 1;
    return ioctlsocket(s, FIONBIO, &on) == 0;
}
#else
using NativeSocket = int;
int LastSocketError() {
    return errno;
}
bool WouldBlock(int error) {
    return error == EWOULDBLOCK || error == EAGAIN || error == EINPROGRESS;
}
void CloseNative(NativeSocket s) {
    ::close(s);
}
int PollNative(pollfd* fds, int count, int timeout) {
    return ::poll(fds, static_cast<nfds_t>(count), timeout);
}
constexpr int SendFlags = MSG_NOSIGNAL | MSG_DONTWAIT;
void EnsureStartup() {}
bool SetNonBlocking(NativeSocket s) {
    const int flags = fcntl(s, F_GETFL, 0);
    return flags >= 0 && fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0;
}
bool SetBlocking(NativeSocket s) {
    const int flags = fcntl(s, F_GETFL, 0);
    return flags >= 0 && fcntl(s, F_SETFL, flags & ~O_NONBLOCK) == 0;
}
#endif

NativeSocket Native(std::intptr_t handle) {
    return static_cast<NativeSocket>(handle);
}

// Milliseconds left until the deadline for poll(): -1 waits without limit.
int PollTimeout(const Deadline& deadline) {
    if (!deadline) {
        return -1;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
    if (left <= 0) {
        return 0;
    }
    return left > 1000000 ? 1000000 : static_cast<int>(left);
}

bool Expired(const Deadline& deadline) {
    return deadline && Clock::now() >= *deadline;
}

// Waits until the socket is ready for events; false on time-out.
bool WaitFor(NativeSocket s, short events, const Deadline& deadline, short& revents) {
    while (true) {
        pollfd entry{};
        entry.fd = s;
        entry.events = events;
        const int ready = PollNative(&entry, 1, PollTimeout(deadline));
        if (ready > 0) {
            revents = entry.revents;
            return true;
        }
        if (ready == 0) {
            // poll() rounds to milliseconds; only give up once the deadline has really passed.
            if (Expired(deadline)) {
                return false;
            }
            continue;
        }
        if (LastSocketError() != EINTR) {
            revents = POLLERR;
            return true;
        }
    }
}

} // namespace

Deadline DeadlineAfter(std::uint32_t milliseconds) {
    if (milliseconds == 0xFFFFFFFFu) {
        return std::nullopt;
    }
    return Clock::now() + std::chrono::milliseconds(milliseconds);
}

TcpConnection::~TcpConnection() {
    Close();
}

void TcpConnection::Close() {
    if (socket_ != InvalidSocket) {
        CloseNative(Native(socket_));
        socket_ = InvalidSocket;
    }
}

NetResult TcpConnection::Connect(const std::string& host, std::uint16_t port, Deadline deadline) {
    EnsureStartup();
    Close();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* addresses = nullptr;
    const std::string service = std::to_string(port);
    const int resolved = getaddrinfo(host.c_str(), service.c_str(), &hints, &addresses);
    if (resolved != 0 || addresses == nullptr) {
        return NetResult::Error;
    }
    NetResult result = NetResult::Error;
    for (addrinfo* address = addresses; address != nullptr; address = address->ai_next) {
        NativeSocket s = ::socket(address->ai_family, address->ai_socktype, address->ai_protocol);
        if (s == static_cast<NativeSocket>(InvalidSocket)) {
            continue;
        }
        int on = 1;
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
        if (!SetNonBlocking(s)) {
            CloseNative(s);
            continue;
        }
        if (::connect(s, address->ai_addr, static_cast<int>(address->ai_addrlen)) != 0) {
            const int error = LastSocketError();
            if (!WouldBlock(error)) {
                result = NetResult::Refused;
                CloseNative(s);
                continue;
            }
            short revents = 0;
            if (!WaitFor(s, POLLOUT, deadline, revents)) {
                result = NetResult::Timeout;
                CloseNative(s);
                continue;
            }
            int socketError = 0;
            socklen_t length = sizeof socketError;
            getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&socketError), &length);
            if (socketError != 0) {
                result = NetResult::Refused;
                CloseNative(s);
                continue;
            }
        }
#ifndef _WIN32
        // Receives block with a socket time-out: one system call per answer instead of poll and
        // receive. Sends and discards pass MSG_DONTWAIT. (Windows leaves a socket whose receive
        // timed out unusable, so there every wait goes through poll.)
        SetBlocking(s);
#endif
        socket_ = static_cast<Handle>(s);
        receiveTimeoutMs_ = -1;
        result = NetResult::Ok;
        break;
    }
    freeaddrinfo(addresses);
    return result;
}

NetResult TcpConnection::SendAll(const void* data, std::size_t size, Deadline deadline) {
    if (!IsOpen()) {
        return NetResult::Closed;
    }
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const auto sent =
            ::send(Native(socket_), bytes, static_cast<int>(size > 1 << 30 ? 1 << 30 : size), SendFlags);
        if (sent > 0) {
            bytes += sent;
            size -= static_cast<std::size_t>(sent);
            continue;
        }
        const int error = LastSocketError();
        if (sent < 0 && (WouldBlock(error) || error == EINTR)) {
            short revents = 0;
            if (!WaitFor(Native(socket_), POLLOUT, deadline, revents)) {
                return NetResult::Timeout;
            }
            continue;
        }
        return NetResult::Closed;
    }
    return NetResult::Ok;
}

#ifdef _WIN32
NetResult TcpConnection::ReceiveSome(void* buffer, std::size_t capacity, Deadline deadline,
                                     std::size_t& received) {
    received = 0;
    if (!IsOpen()) {
        return NetResult::Closed;
    }
    while (true) {
        // Callers come here when the answer has not arrived yet, so wait first.
        short revents = 0;
        if (!WaitFor(Native(socket_), POLLIN, deadline, revents)) {
            return NetResult::Timeout;
        }
        const auto got = ::recv(Native(socket_), static_cast<char*>(buffer),
                                static_cast<int>(capacity > 1 << 30 ? 1 << 30 : capacity), 0);
        if (got > 0) {
            received = static_cast<std::size_t>(got);
            return NetResult::Ok;
        }
        if (got == 0) {
            return NetResult::Closed;
        }
        const int error = LastSocketError();
        if (!WouldBlock(error) && error != EINTR) {
            return NetResult::Closed;
        }
    }
}
#else
NetResult TcpConnection::ReceiveSome(void* buffer, std::size_t capacity, Deadline deadline,
                                     std::size_t& received) {
    received = 0;
    if (!IsOpen()) {
        return NetResult::Closed;
    }
    while (true) {
        const bool immediate = deadline && Clock::now() >= *deadline;
        if (!immediate) {
            // The socket time-out is only changed when it is off by more than a few milliseconds,
            // so a series of reads with the same session time-out sets it once.
            const long long wantMs =
                deadline
                    ? std::max<long long>(
                          1, std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count())
                    : 0;
            const bool close = receiveTimeoutMs_ >= 0 &&
                               (wantMs == 0 ? receiveTimeoutMs_ == 0
                                            : receiveTimeoutMs_ != 0 && receiveTimeoutMs_ >= wantMs &&
                                                  receiveTimeoutMs_ - wantMs <= 5);
            if (!close) {
                timeval limit{};
                limit.tv_sec = static_cast<time_t>(wantMs / 1000);
                limit.tv_usec = static_cast<suseconds_t>((wantMs % 1000) * 1000);
                setsockopt(Native(socket_), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
                receiveTimeoutMs_ = wantMs;
            }
        }
        const auto got = ::recv(Native(socket_), static_cast<char*>(buffer),
                                capacity > 1 << 30 ? 1 << 30 : capacity, immediate ? MSG_DONTWAIT : 0);
        if (got > 0) {
            received = static_cast<std::size_t>(got);
            return NetResult::Ok;
        }
        if (got == 0) {
            return NetResult::Closed;
        }
        const int error = LastSocketError();
        if (error == EINTR) {
            continue;
        }
        if (WouldBlock(error)) {
            if (immediate || (deadline && Clock::now() >= *deadline)) {
                return NetResult::Timeout;
            }
            continue; // woke a little early: wait out the rest
        }
        return NetResult::Closed;
    }
}
#endif

bool TcpConnection::NoDelay() const {
    if (!IsOpen()) {
        return false;
    }
    int value = 0;
    socklen_t length = sizeof value;
    getsockopt(Native(socket_), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<char*>(&value), &length);
    return value != 0;
}

void TcpConnection::DiscardPending() {
    char scratch[4096];
    std::size_t received = 0;
    while (IsOpen() && ReceiveSome(scratch, sizeof scratch, Clock::now(), received) == NetResult::Ok) {
    }
}

} // namespace zep
