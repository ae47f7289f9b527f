// XDR encoding and the call/reply exchange of ONC RPC version 2 over a stream connection.
#include "instio/visa_builtin/OncRpc.h"

#include <cstring>

namespace zep {
namespace {

constexpr std::uint32_t LastFragment = 0x80000000u;
// Replies are small in VXI-11; a larger record means a broken peer, not data to buffer.
constexpr std::uint32_t MaximumRecord = 64u << 20;
constexpr std::uint32_t MsgCall = 0;
constexpr std::uint32_t MsgReply = 1;
constexpr std::uint32_t MsgAccepted = 0;
constexpr std::uint32_t AcceptSuccess = 0;

std::uint32_t ReadBigEndian(const char* bytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
}

RpcResult FromNet(NetResult result) {
    switch (result) {
    case NetResult::Ok:
        return RpcResult::Ok;
    case NetResult::Timeout:
        return RpcResult::Timeout;
    case NetResult::Refused:
        return RpcResult::Refused;
    default:
        return RpcResult::ConnectionLost;
    }
}

} // namespace

void XdrWriter::PutUint(std::uint32_t value) {
    const char bytes[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                           static_cast<char>(value >> 8), static_cast<char>(value)};
    bytes_.append(bytes, 4);
}

void XdrWriter::PutOpaque(std::string_view bytes) {
    PutUint(static_cast<std::uint32_t>(bytes.size()));
    bytes_.append(bytes);
    bytes_.append((4 - bytes.size() % 4) % 4, '\0');
}

bool XdrReader::GetUint(std::uint32_t& value) {
    if (failed_ || bytes_.size() - position_ < 4) {
        failed_ = true;
        return false;
    }
    value = ReadBigEndian(bytes_.data() + position_);
    position_ += 4;
    return true;
}

bool XdrReader::GetInt(std::int32_t& value) {
    std::uint32_t raw = 0;
    if (!GetUint(raw)) {
        return false;
    }
    value = static_cast<std::int32_t>(raw);
    return true;
}

bool XdrReader::GetOpaque(std::string& bytes, std::uint32_t maximum) {
    std::uint32_t length = 0;
    if (!GetUint(length)) {
        return false;
    }
    const std::size_t padded = (static_cast<std::size_t>(length) + 3) / 4 * 4;
    if (length > maximum || bytes_.size() - position_ < padded) {
        failed_ = true;
        return false;
    }
    bytes.assign(bytes_.data() + position_, length);
    position_ += padded;
    return true;
}

NetResult RpcClient::Connect(const std::string& host, std::uint16_t port, Deadline deadline) {
    pending_.clear();
    return connection_.Connect(host, port, deadline);
}

RpcResult RpcClient::ReceiveRecord(Deadline deadline, std::string& record) {
    record.clear();
    while (true) {
        while (pending_.size() < 4) {
            char buffer[8192];
            std::size_t received = 0;
            const NetResult result = connection_.ReceiveSome(buffer, sizeof buffer, deadline, received);
            if (result != NetResult::Ok) {
                return FromNet(result);
            }
            pending_.append(buffer, received);
        }
        const std::uint32_t header = ReadBigEndian(pending_.data());
        const std::uint32_t length = header & ~LastFragment;
        if (length > MaximumRecord || record.size() + length > MaximumRecord) {
            return RpcResult::ProtocolError;
        }
        while (pending_.size() < 4 + static_cast<std::size_t>(length)) {
            char buffer[65536];
            std::size_t received = 0;
            const NetResult result = connection_.ReceiveSome(buffer, sizeof buffer, deadline, received);
            if (result != NetResult::Ok) {
                return FromNet(result);
            }
            pending_.append(buffer, received);
        }
        record.append(pending_, 4, length);
        pending_.erase(0, 4 + static_cast<std::size_t>(length));
        if ((header & LastFragment) != 0) {
            return RpcResult::Ok;
        }
    }
}

RpcResult RpcClient::Call(std::uint32_t procedure, std::string_view arguments, Deadline deadline,
                          std::string& results) {
    if (!connection_.IsOpen()) {
        return RpcResult::ConnectionLost;
    }
    const std::uint32_t xid = nextXid_++;
    XdrWriter call;
    call.PutUint(0); // record mark, filled in below
    call.PutUint(xid);
    call.PutUint(MsgCall);
    call.PutUint(2);
    call.PutUint(program_);
    call.PutUint(version_);
    call.PutUint(procedure);
    for (int i = 0; i < 4; ++i) {
        call.PutUint(0); // AUTH_NONE credentials and verifier
    }
    std::string message = call.Bytes();
    message.append(arguments);
    const std::uint32_t mark = LastFragment | static_cast<std::uint32_t>(message.size() - 4);
    const char markBytes[4] = {static_cast<char>(mark >> 24), static_cast<char>(mark >> 16),
                               static_cast<char>(mark >> 8), static_cast<char>(mark)};
    std::memcpy(message.data(), markBytes, 4);
    const NetResult sent = connection_.SendAll(message.data(), message.size(), deadline);
    if (sent != NetResult::Ok) {
        // A half-sent record leaves the stream out of step; the link is lost either way.
        connection_.Close();
        return FromNet(sent);
    }
    while (true) {
        std::string record;
        const RpcResult received = ReceiveRecord(deadline, record);
        if (received != RpcResult::Ok) {
            if (received != RpcResult::Timeout) {
                connection_.Close();
            }
            return received;
        }
        XdrReader reader(record);
        std::uint32_t replyXid = 0;
        std::uint32_t type = 0;
        std::uint32_t replyStatus = 0;
        if (!reader.GetUint(replyXid) || !reader.GetUint(type)) {
            connection_.Close();
            return RpcResult::ProtocolError;
        }
        if (type != MsgReply || replyXid != xid) {
            continue; // the late reply to a call that already timed out
        }
        std::uint32_t flavor = 0;
        std::string verifier;
        std::uint32_t acceptStatus = 0;
        if (!reader.GetUint(replyStatus) || replyStatus != MsgAccepted || !reader.GetUint(flavor) ||
            !reader.GetOpaque(verifier, 400) || !reader.GetUint(acceptStatus) ||
            acceptStatus != AcceptSuccess) {
            return RpcResult::ProtocolError;
        }
        const std::size_t headerSize = 4 * 6 + (verifier.size() + 3) / 4 * 4;
        results.assign(record, headerSize, std::string::npos);
        return RpcResult::Ok;
    }
}

RpcResult PortmapperGetPort(const std::string& host, std::uint16_t portmapperPort, std::uint32_t program,
                            std::uint32_t version, Deadline deadline, std::uint16_t& port) {
    constexpr std::uint32_t PortmapperProgram = 100000;
    constexpr std::uint32_t PortmapperVersion = 2;
    constexpr std::uint32_t GetPortProcedure = 3;
    constexpr std::uint32_t ProtocolTcp = 6;
    port = 0;
    RpcClient portmapper(PortmapperProgram, PortmapperVersion);
    const NetResult connected = portmapper.Connect(host, portmapperPort, deadline);
    if (connected != NetResult::Ok) {
        return FromNet(connected);
    }
    XdrWriter arguments;
    arguments.PutUint(program);
    arguments.PutUint(version);
    arguments.PutUint(ProtocolTcp);
    arguments.PutUint(0);
    std::string results;
    const RpcResult called = portmapper.Call(GetPortProcedure, arguments.Bytes(), deadline, results);
    if (called != RpcResult::Ok) {
        return called;
    }
    XdrReader reader(results);
    std::uint32_t value = 0;
    if (!reader.GetUint(value) || value > 65535) {
        return RpcResult::ProtocolError;
    }
    port = static_cast<std::uint16_t>(value);
    return RpcResult::Ok;
}

} // namespace zep
