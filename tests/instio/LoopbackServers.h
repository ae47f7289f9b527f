// Small loopback servers for the built-in VISA tests: a line-based SCPI socket server and a VXI-11
// server with its own portmapper, both on 127.0.0.1 with ephemeral ports and bounded lifetimes.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zep::test {

// Answers a command line (without its line feed); an empty answer sends nothing. Runs on the
// server thread.
using LineHandler = std::function<std::string(const std::string& line)>;

// The answers the tests' instrument gives: *IDN?, *STB?, *OPC?, SYST:ERR? and a few fault commands
// (NOANSWER sends nothing, DROP closes the connection, BLOCK? sends a definite-length block holding
// a line feed).
std::string DefaultInstrumentAnswer(const std::string& line);

class SocketServer {
  public:
    explicit SocketServer(LineHandler handler = DefaultInstrumentAnswer);
    ~SocketServer();
    std::uint16_t Port() const { return port_; }
    // Every line received, in order, across connections.
    std::vector<std::string> Lines();
    // Whether every accepted connection had Nagle's algorithm off on the server side.
    bool ServerNoDelay() const { return serverNoDelay_; }
    int Connections() const { return connections_; }

  private:
    void Run();
    void Serve(int client);

    LineHandler handler_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> serverNoDelay_{true};
    std::atomic<int> connections_{0};
    std::mutex mutex_;
    std::vector<std::string> lines_;
    std::thread thread_;
};

// A VXI-11 device ("inst0") with a portmapper. Writes are collected until END and answered through
// the handler; device_read returns the answer with END. A device error code can be forced.
class Vxi11Server {
  public:
    explicit Vxi11Server(LineHandler handler = DefaultInstrumentAnswer);
    ~Vxi11Server();
    std::uint16_t PortmapperPort() const { return portmapperPort_; }
    // Every procedure number the core channel received, in order.
    std::vector<std::uint32_t> Procedures();
    std::vector<std::string> Messages();
    std::atomic<std::uint8_t> statusByte{0x10};
    // When set, device_read waits this long before answering (to exercise time-outs).
    std::atomic<int> readDelayMs{0};
    std::atomic<int> clears{0};

  private:
    void RunPortmapper();
    void RunCore();
    void ServeCore(int client);

    LineHandler handler_;
    int portmapperListener_ = -1;
    int coreListener_ = -1;
    std::uint16_t portmapperPort_ = 0;
    std::uint16_t corePort_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::uint32_t> procedures_;
    std::vector<std::string> messages_;
    std::thread portmapperThread_;
    std::thread coreThread_;
};

} // namespace zep::test
