// TCPIP SOCKET resources: instrument messages over a plain TCP connection, lines ending in a line feed.
#pragma once

#include "instio/visa_builtin/BuiltinSession.h"
#include "instio/visa_builtin/TcpConnection.h"

#include <string>

namespace zep {

class SocketSession final : public BuiltinSession {
  public:
    SocketSession(ViSession resourceManager, VisaResource resource);

    ViStatus Open(const BuiltinVisaOptions& options, ViAccessMode accessMode) override;
    void Close() override;

    ViStatus GetAttribute(ViAttr attribute, ViAttrState& value) const override;

    ViStatus Write(const char* data, ViUInt32 count, ViUInt32& written) override;
    ViStatus Read(char* buffer, ViUInt32 count, ViUInt32& read) override;
    // A raw socket has no status byte line: writes "*STB?" and takes the next line, up to a line
    // feed whatever the term character settings, as the decimal status byte.
    ViStatus ReadSTB(ViUInt16& statusByte) override;
    // A raw socket carries no device-clear message: drops the answers that were not read yet.
    ViStatus Clear() override;
    ViStatus ControlREN(ViUInt16 mode) override;

  private:
    ViStatus ReadUntil(bool termCharEnabled, char termChar, char* buffer, ViUInt32 count, ViUInt32& read);

    TcpConnection socket_;
    std::string received_; // bytes read ahead of the caller
};

} // namespace zep
