// ONC RPC calls over one TCP connection (record marking, AUTH_NONE) with XDR encoding, as VXI-11
// and the portmapper speak it.
#pragma once

#include "instio/visa_builtin/TcpConnection.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zep {

class XdrWriter {
  public:
    void PutUint(std::uint32_t value);
    void PutInt(std::int32_t value) { PutUint(static_cast<std::uint32_t>(value)); }
    void PutBool(bool value) { PutUint(value ? 1 : 0); }
    // Variable-length opaque data or string: length, bytes, padding to four.
    void PutOpaque(std::string_view bytes);
    const std::string& Bytes() const { return bytes_; }

  private:
    std::string bytes_;
};

class XdrReader {
  public:
    explicit XdrReader(std::string_view bytes) : bytes_(bytes) {}
    // Each getter returns false (and stays failed) when the data run out.
    bool GetUint(std::uint32_t& value);
    bool GetInt(std::int32_t& value);
    bool GetOpaque(std::string& bytes, std::uint32_t maximum);

  private:
    std::string_view bytes_;
    std::size_t position_ = 0;
    bool failed_ = false;
};

enum class RpcResult { Ok, Timeout, ConnectionLost, Refused, ProtocolError };

class RpcClient {
  public:
    RpcClient(std::uint32_t program, std::uint32_t version) : program_(program), version_(version) {}

    NetResult Connect(const std::string& host, std::uint16_t port, Deadline deadline);
    bool IsOpen() const { return connection_.IsOpen(); }
    void Close() { connection_.Close(); }

    // Sends one call and waits for its reply; replies to earlier calls that timed out are skipped.
    RpcResult Call(std::uint32_t procedure, std::string_view arguments, Deadline deadline,
                   std::string& results);

  private:
    RpcResult ReceiveRecord(Deadline deadline, std::string& record);

    TcpConnection connection_;
    std::uint32_t program_;
    std::uint32_t version_;
    std::uint32_t nextXid_ = 0x5A450001;
    std::string pending_; // bytes received beyond the last record
};

// Asks the portmapper on host:portmapperPort for the TCP port of program/version; 0 when it has none.
RpcResult PortmapperGetPort(const std::string& host, std::uint16_t portmapperPort, std::uint32_t program,
                            std::uint32_t version, Deadline deadline, std::uint16_t& port);

} // namespace zep
