// Test clients for the instrument protocols: a raw-socket client, ONC RPC over TCP with record marking,
// VXI-11 core-channel calls and a portmapper query. Their XDR is written here on purpose, apart from
// the implementations under test.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zep::test {

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
    void ShutdownSending(); // half-close: the server sees the end of input and may still answer
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

// An RPC call message (AUTH_NONE) and an accepted SUCCESS reply, without record marking.
std::string RpcCallMessage(std::uint32_t xid, std::uint32_t program, std::uint32_t version,
                           std::uint32_t procedure, const std::string& args);
std::string RpcSuccessReply(std::uint32_t xid, const std::string& results);
// The results of an accepted SUCCESS reply to xid; nothing for any other reply.
std::optional<std::string> RpcAcceptedResults(const std::string& reply, std::uint32_t xid);
// One record of a single last fragment.
std::string RecordMarked(const std::string& message);

} // namespace zep::test
