// VISA without vendor software: TCPIP SOCKET resources over a plain TCP connection and TCPIP INSTR
// resources over VXI-11. Everything else answers as a library that cannot find the resource.
#pragma once

#include "instio/Visa.h"

#include <map>
#include <memory>
#include <set>

namespace zep {

class BuiltinSession;

struct BuiltinVisaOptions {
    // Where VXI-11 hosts are asked for their core channel port.
    std::uint16_t portmapperPort = 111;
    // Time allowed to reach a host in viOpen (its own time-out argument only concerns locks).
    std::uint32_t connectTimeoutMs = 2000;
};

class BuiltinVisa final : public Visa {
  public:
    explicit BuiltinVisa(BuiltinVisaOptions options = {});
    ~BuiltinVisa() override;

    std::string Description() const override { return "builtin"; }

    ViStatus viOpenDefaultRM(ViSession& resourceManager) override;
    ViStatus viOpen(ViSession resourceManager, std::string_view resource, ViAccessMode accessMode,
                    ViUInt32 openTimeout, ViSession& session) override;
    ViStatus viClose(ViSession sessionOrFindList) override;
    ViStatus viSetAttribute(ViSession session, ViAttr attribute, ViAttrState value) override;
    ViStatus viGetAttribute(ViSession session, ViAttr attribute, ViAttrState& value) override;
    ViStatus viWrite(ViSession session, const void* data, ViUInt32 count, ViUInt32& written) override;
    ViStatus viRead(ViSession session, void* buffer, ViUInt32 count, ViUInt32& read) override;
    ViStatus viBufRead(ViSession session, void* buffer, ViUInt32 count, ViUInt32& read) override;
    ViStatus viReadToFile(ViSession session, std::string_view fileName, ViUInt32 count,
                          ViUInt32& read) override;
    ViStatus viWriteFromFile(ViSession session, std::string_view fileName, ViUInt32 count,
                             ViUInt32& written) override;
    ViStatus viReadSTB(ViSession session, ViUInt16& statusByte) override;
    ViStatus viClear(ViSession session) override;
    ViStatus viGpibSendIFC(ViSession session) override;
    ViStatus viGpibControlREN(ViSession session, ViUInt16 mode) override;
    ViStatus viFindRsrc(ViSession resourceManager, std::string_view expression, ViFindList& findList,
                        ViUInt32& matchCount, std::string& firstDescriptor) override;
    ViStatus viFindNext(ViFindList findList, std::string& descriptor) override;
    ViStatus viParseRsrc(ViSession resourceManager, std::string_view resource, ViUInt16& interfaceType,
                         ViUInt16& interfaceNumber) override;

  private:
    BuiltinSession* Find(ViSession session);
    bool IsResourceManager(ViSession session) const { return resourceManagers_.contains(session); }

    BuiltinVisaOptions options_;
    std::set<ViSession> resourceManagers_;
    std::map<ViSession, std::unique_ptr<BuiltinSession>> sessions_;
    ViSession nextSession_ = 1;
};

} // namespace zep
