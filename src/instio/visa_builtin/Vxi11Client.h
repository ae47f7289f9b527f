// The client side of the VXI-11 core channel: one link to one LAN device.
#pragma once

#include "instio/visa_builtin/OncRpc.h"

#include <cstdint>
#include <string>

namespace zep {

// Device_ErrorCode values of VXI-11, and local codes for what went wrong on the way.
enum class Vxi11Error : std::int32_t {
    None = 0,
    Syntax = 1,
    DeviceNotAccessible = 3,
    InvalidLink = 4,
    Parameter = 5,
    ChannelNotEstablished = 6,
    OperationNotSupported = 8,
    OutOfResources = 9,
    DeviceLocked = 11,
    NoLockHeld = 12,
    IoTimeout = 15,
    Io = 17,
    InvalidAddress = 21,
    Abort = 23,
    ChannelAlreadyEstablished = 29,
    // Not from the device:
    RpcTimeout = -1,
    ConnectionLost = -2,
    Protocol = -3,
};

struct Vxi11ReadResult {
    Vxi11Error error = Vxi11Error::None;
    std::uint32_t reason = 0; // bits: 1 request count reached, 2 term char seen, 4 END
    std::string data;
};

class Vxi11Client {
  public:
    static constexpr std::uint32_t CoreProgram = 0x0607AF;
    static constexpr std::uint32_t CoreVersion = 1;
    static constexpr std::uint32_t ReasonRequestCount = 1;
    static constexpr std::uint32_t ReasonTermChar = 2;
    static constexpr std::uint32_t ReasonEnd = 4;

    Vxi11Client() : rpc_(CoreProgram, CoreVersion) {}

    // Portmapper look-up, connection to the core channel and create_link.
    Vxi11Error Open(const std::string& host, std::uint16_t portmapperPort, const std::string& device,
                    bool lockDevice, std::uint32_t lockTimeout, Deadline deadline);
    Vxi11Error Write(std::string_view data, bool end, std::uint32_t ioTimeout, Deadline deadline,
                     std::uint32_t& written);
    Vxi11Error Read(std::uint32_t requestSize, bool useTermChar, char termChar, std::uint32_t ioTimeout,
                    Deadline deadline, Vxi11ReadResult& result);
    Vxi11Error ReadStatusByte(std::uint32_t ioTimeout, Deadline deadline, std::uint8_t& statusByte);
    Vxi11Error Clear(std::uint32_t ioTimeout, Deadline deadline);
    Vxi11Error Remote(std::uint32_t ioTimeout, Deadline deadline);
    Vxi11Error Local(std::uint32_t ioTimeout, Deadline deadline);
    // destroy_link, then the connection is closed.
    void Close(Deadline deadline);

  private:
    Vxi11Error Generic(std::uint32_t procedure, std::uint32_t ioTimeout, Deadline deadline);
    Vxi11Error Exchange(std::uint32_t procedure, const XdrWriter& arguments, Deadline deadline,
                        std::string& results);

    RpcClient rpc_;
    std::int32_t link_ = 0;
    bool linked_ = false;
    std::uint32_t maxReceiveSize_ = 0;
};

} // namespace zep
