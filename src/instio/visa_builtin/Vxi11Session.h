// TCPIP INSTR resources over VXI-11: a link to a LAN device through its core channel.
#pragma once

#include "instio/visa_builtin/BuiltinSession.h"
#include "instio/visa_builtin/Vxi11Client.h"

namespace zep {

class Vxi11Session final : public BuiltinSession {
  public:
    using BuiltinSession::BuiltinSession;

    // VI_EXCLUSIVE_LOCK asks for the device lock with the link.
    ViStatus Open(const BuiltinVisaOptions& options, ViAccessMode accessMode) override;
    void Close() override;

    ViStatus Write(const char* data, ViUInt32 count, ViUInt32& written) override;
    ViStatus Read(char* buffer, ViUInt32 count, ViUInt32& read) override;
    // device_readstb: the device's own status byte, without a message on the bus.
    ViStatus ReadSTB(ViUInt16& statusByte) override;
    ViStatus Clear() override;
    ViStatus ControlREN(ViUInt16 mode) override;

  private:
    Vxi11Client vxi11_;
};

} // namespace zep
