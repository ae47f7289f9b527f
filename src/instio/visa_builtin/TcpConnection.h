// A TCP client connection with deadlines on every operation and Nagle's algorithm switched off, the
// transport under the built-in SOCKET and VXI-11 sessions.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace zep {

using Clock = std::chrono::steady_clock;
// No value: wait without limit.
using Deadline = std::optional<Clock::time_point>;

// The deadline a VISA time-out value in milliseconds gives, 0xFFFFFFFF meaning no limit.
Deadline DeadlineAfter(std::uint32_t milliseconds);

enum class NetResult { Ok, Timeout, Closed, Refused, Error };

class TcpConnection {
  public:
    TcpConnection() = default;
    ~TcpConnection();
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    // Resolves host (name, IPv4 or IPv6 address) and connects to the first address that answers.
    NetResult Connect(const std::string& host, std::uint16_t port, Deadline deadline);
    NetResult SendAll(const void* data, std::size_t size, Deadline deadline);
    // Waits for at least one byte (or end of stream) and returns what is there, up to capacity.
    NetResult ReceiveSome(void* buffer, std::size_t capacity, Deadline deadline, std::size_t& received);
    // Discards whatever has already arrived, without waiting.
    void DiscardPending();

    bool IsOpen() const { return socket_ != InvalidSocket; }
    // Whether Nagle's algorithm is off on this end (it is switched off on connect).
    bool NoDelay() const;
    void Close();

  private:
    using Handle = std::intptr_t;
    static constexpr Handle InvalidSocket = -1;
    Handle socket_ = InvalidSocket;
    long long receiveTimeoutMs_ = -1; // the receive time-out set on the socket, 0 none, -1 unknown
};

} // namespace zep
