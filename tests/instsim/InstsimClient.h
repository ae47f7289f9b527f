// Test helpers: a zep-instsim child process, a raw-socket client and a small ONC RPC / VXI-11 client.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zep::instsim::test {

// Starts zep-instsim with the arguments and waits for READY and its resource lines.
class InstsimProcess {
  public:
    explicit InstsimProcess(std::vector<std::string> args, std::size_t resourceLines);
    ~InstsimProcess();
    bool Ready() const { return ready_; }
    const std::vector<std::string>& Resources() const { return resources_; }
    int RawPort(std::size_t instrument) const; // from the SOCKET line of that instrument
    int PortmapPort() const { return portmapPort_; }
    int CorePort() const { return corePort_; }
    std::string Stderr(); // what it logged so far
    bool Running();

  private:
    int pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    bool ready_ = false;
    std::vector<std::string> resources_;
    std::string stderr_;
    int portmapPort_ = 0;
    int corePort_ = 0;
};

// Exit status and output of a zep-instsim run that ends by itself.
struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};
RunResult RunInstsim(const std::vector<std::string>& args);

class TcpClient {
  public:
    explicit TcpClient(int port);
    ~TcpClient();
    bool Connected() const { return fd_ >= 0; }
    bool Send(const std::string& bytes);
    // Reads until a line feed; nothing after timeoutMs or when the server closed the connection.
    std::optional<std::string> ReadLine(int timeoutMs = 3000);
    std::optional<std::string> ReadBytes(std::size_t count, int timeoutMs = 3000);
    bool ClosedByPeer(int timeoutMs = 3000); // true when the server ends the connection
    void Close();

  private:
    bool Fill(int timeoutMs);
    int fd_ = -1;
    std::string buffer_;
};

// ONC RPC over TCP with record marking.
class RpcClient {
  public:
    explicit RpcClient(int port) : tcp_(port) {}
    bool Connected() const { return tcp_.Connected(); }
    // Calls and returns the results after an accepted SUCCESS reply; nothing on any other reply.
    std::optional<std::string> Call(std::uint32_t program, std::uint32_t version, std::uint32_t procedure,
                                    const std::string& args, int timeoutMs = 3000);
    // The two halves of Call, for a call whose reply comes later.
    std::uint32_t SendCall(std::uint32_t program, std::uint32_t version, std::uint32_t procedure,
                           const std::string& args);
    std::optional<std::string> ReceiveReply(std::uint32_t xid, int timeoutMs = 3000);
    TcpClient& Tcp() { return tcp_; }

  private:
    TcpClient tcp_;
    std::uint32_t xid_ = 0x1000;
};

std::string XdrU32(std::uint32_t value);
std::string XdrOpaque(const std::string& value);
std::uint32_t ReadU32(const std::string& data, std::size_t& pos);
std::string ReadOpaque(const std::string& data, std::size_t& pos);

struct Vxi11Read {
    std::uint32_t error = 0xFFFFFFFF;
    std::uint32_t reason = 0;
    std::string data;
};

class Vxi11Client {
  public:
    explicit Vxi11Client(int corePort) : rpc_(corePort) {}
    bool Connected() const { return rpc_.Connected(); }
    // Returns the error code; link receives the link id.
    std::uint32_t CreateLink(const std::string& device, std::uint32_t& link, bool lock = false);
    std::uint32_t Write(std::uint32_t link, const std::string& data, bool end = true);
    Vxi11Read Read(std::uint32_t link, std::uint32_t requestSize = 100000, std::uint32_t ioTimeout = 2000,
                   int termChar = -1);
    std::uint32_t ReadStb(std::uint32_t link, std::uint32_t& stb);
    std::uint32_t Generic(std::uint32_t procedure, std::uint32_t link); // clear, remote, local, trigger
    std::uint32_t DestroyLink(std::uint32_t link);
    std::string Query(std::uint32_t link, const std::string& command); // write with "\n", read to END
    RpcClient& Rpc() { return rpc_; }

  private:
    RpcClient rpc_;
};

// Portmapper GETPORT (version 2) over TCP or UDP; 0 when unregistered, nothing on failure.
std::optional<std::uint32_t> PortmapGetPort(int portmapPort, bool udp, std::uint32_t program,
                                            std::uint32_t version);

} // namespace zep::instsim::test
