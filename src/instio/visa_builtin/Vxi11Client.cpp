// VXI-11 core procedures encoded by hand: create_link, device_write, device_read, device_readstb,
// device_clear, device_remote, device_local and destroy_link.
#include "instio/visa_builtin/Vxi11Client.h"

#include <algorithm>

namespace zep {
namespace {

constexpr std::uint32_t CreateLink = 10;
constexpr std::uint32_t DeviceWrite = 11;
constexpr std::uint32_t DeviceRead = 12;
constexpr std::uint32_t DeviceReadStb = 13;
constexpr std::uint32_t DeviceClear = 15;
constexpr std::uint32_t DeviceRemote = 16;
constexpr std::uint32_t DeviceLocal = 17;
constexpr std::uint32_t DestroyLink = 23;

constexpr std::uint32_t FlagEnd = 8;
constexpr std::uint32_t FlagTermCharSet = 128;

// Devices accept at least this much per write even when they announce less.
constexpr std::uint32_t MinimumWriteChunk = 1024;
constexpr std::uint32_t MaximumReadChunk = 1u << 20;

Vxi11Error FromRpc(RpcResult result) {
    switch (result) {
    case RpcResult::Ok:
        return Vxi11Error::None;
    case RpcResult::Timeout:
        return Vxi11Error::RpcTimeout;
    case RpcResult::ProtocolError:
        return Vxi11Error::Protocol;
    default:
        return Vxi11Error::ConnectionLost;
    }
}

Vxi11Error ReadError(XdrReader& reader) {
    std::int32_t error = 0;
    if (!reader.GetInt(error)) {
        return Vxi11Error::Protocol;
    }
    return static_cast<Vxi11Error>(error);
}

} // namespace

Vxi11Error Vxi11Client::Exchange(std::uint32_t procedure, const XdrWriter& arguments, Deadline deadline,
                                 std::string& results) {
    return FromRpc(rpc_.Call(procedure, arguments.Bytes(), deadline, results));
}

Vxi11Error Vxi11Client::Open(const std::string& host, std::uint16_t portmapperPort, const std::string& device,
                             bool lockDevice, std::uint32_t lockTimeout, Deadline deadline) {
    std::uint16_t port = 0;
    const RpcResult lookup =
        PortmapperGetPort(host, portmapperPort, CoreProgram, CoreVersion, deadline, port);
    if (lookup != RpcResult::Ok) {
        return FromRpc(lookup);
    }
    if (port == 0) {
        return Vxi11Error::ChannelNotEstablished;
    }
    if (rpc_.Connect(host, port, deadline) != NetResult::Ok) {
        return Vxi11Error::ConnectionLost;
    }
    XdrWriter arguments;
    arguments.PutInt(0x5A4550); // client id, only echoed in interrupts
    arguments.PutBool(lockDevice);
    arguments.PutUint(lockTimeout);
    arguments.PutOpaque(device);
    std::string results;
    const Vxi11Error called = Exchange(CreateLink, arguments, deadline, results);
    if (called != Vxi11Error::None) {
        rpc_.Close();
        return called;
    }
    XdrReader reader(results);
    const Vxi11Error error = ReadError(reader);
    std::uint32_t link = 0;
    std::uint32_t abortPort = 0;
    std::uint32_t maxReceive = 0;
    if (!reader.GetUint(link) || !reader.GetUint(abortPort) || !reader.GetUint(maxReceive)) {
        rpc_.Close();
        return Vxi11Error::Protocol;
    }
    if (error != Vxi11Error::None) {
        rpc_.Close();
        return error;
    }
    link_ = static_cast<std::int32_t>(link);
    linked_ = true;
    maxReceiveSize_ = maxReceive;
    return Vxi11Error::None;
}

Vxi11Error Vxi11Client::Write(std::string_view data, bool end, std::uint32_t ioTimeout, Deadline deadline,
                              std::uint32_t& written) {
    written = 0;
    const std::uint32_t chunkSize = std::max(maxReceiveSize_, MinimumWriteChunk);
    do {
        const std::string_view chunk = data.substr(0, chunkSize);
        const bool last = chunk.size() == data.size();
        XdrWriter arguments;
        arguments.PutInt(link_);
        arguments.PutUint(ioTimeout);
        arguments.PutUint(ioTimeout);
        arguments.PutUint(last && end ? FlagEnd : 0);
        arguments.PutOpaque(chunk);
        std::string results;
        const Vxi11Error called = Exchange(DeviceWrite, arguments, deadline, results);
        if (called != Vxi11Error::None) {
            return called;
        }
        XdrReader reader(results);
        const Vxi11Error error = ReadError(reader);
        std::uint32_t size = 0;
        if (!reader.GetUint(size)) {
            return Vxi11Error::Protocol;
        }
        size = std::min<std::uint32_t>(size, static_cast<std::uint32_t>(chunk.size()));
        written += size;
        data.remove_prefix(size);
        if (error != Vxi11Error::None) {
            return error;
        }
        if (size == 0 && !chunk.empty()) {
            return Vxi11Error::Io;
        }
    } while (!data.empty());
    return Vxi11Error::None;
}

Vxi11Error Vxi11Client::Read(std::uint32_t requestSize, bool useTermChar, char termChar,
                             std::uint32_t ioTimeout, Deadline deadline, Vxi11ReadResult& result) {
    result = {};
    XdrWriter arguments;
    arguments.PutInt(link_);
    arguments.PutUint(std::min(requestSize, MaximumReadChunk));
    arguments.PutUint(ioTimeout);
    arguments.PutUint(ioTimeout);
    arguments.PutUint(useTermChar ? FlagTermCharSet : 0);
    arguments.PutUint(static_cast<unsigned char>(termChar));
    std::string results;
    const Vxi11Error called = Exchange(DeviceRead, arguments, deadline, results);
    if (called != Vxi11Error::None) {
        result.error = called;
        return called;
    }
    XdrReader reader(results);
    result.error = ReadError(reader);
    std::int32_t reason = 0;
    if (!reader.GetInt(reason) || !reader.GetOpaque(result.data, MaximumReadChunk)) {
        result.error = Vxi11Error::Protocol;
        return result.error;
    }
    if (result.data.size() > requestSize) {
        result.data.resize(requestSize); // a device that sends more than asked breaks the protocol
        result.error = Vxi11Error::Protocol;
    }
    result.reason = static_cast<std::uint32_t>(reason);
    return result.error;
}

Vxi11Error Vxi11Client::ReadStatusByte(std::uint32_t ioTimeout, Deadline deadline, std::uint8_t& statusByte) {
    XdrWriter arguments;
    arguments.PutInt(link_);
    arguments.PutUint(0);
    arguments.PutUint(ioTimeout);
    arguments.PutUint(ioTimeout);
    std::string results;
    const Vxi11Error called = Exchange(DeviceReadStb, arguments, deadline, results);
    if (called != Vxi11Error::None) {
        return called;
    }
    XdrReader reader(results);
    const Vxi11Error error = ReadError(reader);
    std::uint32_t value = 0;
    if (!reader.GetUint(value)) {
        return Vxi11Error::Protocol;
    }
    statusByte = static_cast<std::uint8_t>(value);
    return error;
}

Vxi11Error Vxi11Client::Generic(std::uint32_t procedure, std::uint32_t ioTimeout, Deadline deadline) {
    XdrWriter arguments;
    arguments.PutInt(link_);
    arguments.PutUint(0);
    arguments.PutUint(ioTimeout);
    arguments.PutUint(ioTimeout);
    std::string results;
    const Vxi11Error called = Exchange(procedure, arguments, deadline, results);
    if (called != Vxi11Error::None) {
        return called;
    }
    XdrReader reader(results);
    return ReadError(reader);
}

Vxi11Error Vxi11Client::Clear(std::uint32_t ioTimeout, Deadline deadline) {
    return Generic(DeviceClear, ioTimeout, deadline);
}

Vxi11Error Vxi11Client::Remote(std::uint32_t ioTimeout, Deadline deadline) {
    return Generic(DeviceRemote, ioTimeout, deadline);
}

Vxi11Error Vxi11Client::Local(std::uint32_t ioTimeout, Deadline deadline) {
    return Generic(DeviceLocal, ioTimeout, deadline);
}

void Vxi11Client::Close(Deadline deadline) {
    if (linked_ && rpc_.IsOpen()) {
        XdrWriter arguments;
        arguments.PutInt(link_);
        std::string results;
        Exchange(DestroyLink, arguments, deadline, results);
    }
    linked_ = false;
    rpc_.Close();
}

} // namespace zep
