// The loopback server: one poll() loop serving raw sockets, the VXI-11 core and abort channels and a
// portmapper, for several simulated instruments at once.
#pragma once

#include "Definition.h"
#include "Instrument.h"

#include <csignal>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zep::instsim {

struct ServerOptions {
    std::string host = "127.0.0.1";
    int basePort = 0;     // raw sockets at basePort + i, the VXI-11 channel after them; 0: ports the OS gives
    int portmapPort = -1; // -1: 111 when it can be bound, else one the OS gives; 0: one the OS gives
    bool raw = true;
    bool vxi11 = true;
    std::uint32_t seed = 1;
    bool trace = false;               // log every message received and every answer sent on standard error
    std::size_t maxConnections = 128; // open at once, over all listeners; more are refused
    std::size_t maxLinks = 128;       // VXI-11 links at once; create_link beyond answers out of resources
};

class Server {
  public:
    Server(std::vector<InstrumentDefinition> instruments, ServerOptions options);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds every listener; on failure returns false with a message.
    bool Start(std::string& error);
    // One line per served resource: the VISA resource string, a tab, the *IDN? answer.
    std::vector<std::string> ResourceLines() const;
    int PortmapPort() const { return portmapPort_; }
    int CorePort() const { return corePort_; }

    // Serves until *stop becomes non-zero or runSeconds have passed (0: no limit).
    void Run(double runSeconds, const volatile std::sig_atomic_t* stop);

  private:
    struct ParkedRead {
        std::uint32_t xid = 0;
        std::uint32_t link = 0;
        std::uint32_t requestSize = 0;
        std::uint32_t flags = 0;
        int termChar = -1;
        SimTime deadline = 0;
    };
    struct Connection {
        int fd = -1;
        bool rpc = false;
        std::string peer;
        std::string in;
        std::string out;
        bool dead = false;
        bool inputClosed = false;  // the client shut down its sending side: answer, flush, close
        bool inputWaiting = false; // complete input left unhandled while the output was full
        SimTime lingerUntil = Never;
        std::unique_ptr<Session> session; // raw socket
        std::size_t instrument = 0;
        std::string record;               // RPC: fragments of the record being assembled
        std::vector<std::uint32_t> links; // RPC: links created on this connection
        std::optional<ParkedRead> parked;
    };
    struct Link {
        std::size_t device = 0;
        int connection = 0;
        std::unique_ptr<Session> session;
        std::string input; // bytes of a message not yet terminated
    };
    enum class ListenerKind { Raw, Rpc, PortmapUdp };
    struct Listener {
        int fd = -1;
        ListenerKind kind = ListenerKind::Raw;
        std::size_t instrument = 0;
        int port = 0;
    };

    SimTime Now() const;
    std::string HostForResource() const;
    bool Listen(int port, bool udp, int& fd, int& boundPort, std::string& error);
    void Accept(const Listener& listener);
    void ReadConnection(int id, Connection& connection, SimTime now);
    void WriteConnection(Connection& connection);
    void Drop(Connection& connection, const std::string& why);
    void Service(SimTime now);
    SimTime NextEvent(SimTime now) const;
    bool OutputFull(const Connection& connection) const;
    bool Reading(const Connection& connection) const; // input is taken from the socket now
    bool Finished(const Connection& connection) const;
    void ClosedByClient(Connection& connection, SimTime now);
    void HandleInput(int id, Connection& connection, SimTime now);
    void HandleRawInput(Connection& connection, SimTime now);
    void HandleRpcInput(int id, Connection& connection, SimTime now);
    void ServeUdp(const Listener& listener);

    // RPC dispatch. Returns the reply, or nothing when the call was parked or the connection dropped.
    std::optional<std::string> Dispatch(int id, Connection* connection, std::string_view message, SimTime now,
                                        bool udp);
    std::optional<std::string> CoreCall(int id, Connection& connection, std::uint32_t xid,
                                        std::uint32_t procedure, std::string_view args, SimTime now);
    std::string PortmapCall(std::uint32_t xid, std::uint32_t version, std::uint32_t procedure,
                            std::string_view args);
    std::optional<std::string> TryRead(const ParkedRead& read, SimTime now, bool parkIfPending);
    void DestroyLink(std::uint32_t id);
    void Trace(const Device& device, const std::string& peer, const char* direction,
               std::string_view bytes) const;
    void AbortParkedRead(std::uint32_t link); // device_abort from the abort channel
    static void QueueRecord(Connection& connection, const std::string& reply); // with record marking
    int ResolveDevice(const std::string& name) const;

    std::vector<std::unique_ptr<Device>> devices_;
    ServerOptions options_;
    std::vector<Listener> listeners_;
    std::map<int, Connection> connections_;
    std::map<std::uint32_t, Link> links_;
    std::map<std::size_t, std::uint32_t> locks_; // device -> link holding its lock
    std::vector<int> rawPorts_;
    int corePort_ = 0;
    int portmapPort_ = 0;
    bool portmapUdp_ = false;
    bool atDescriptorLimit_ = false; // accept failed for want of descriptors: listeners rest
    bool descriptorLimitLogged_ = false;
    int nextConnection_ = 1;
    std::uint32_t nextLink_ = 1;
    int nextSession_ = 1;
    std::int64_t startNs_ = 0;
};

} // namespace zep::instsim
