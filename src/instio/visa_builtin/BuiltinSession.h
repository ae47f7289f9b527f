// One opened instrument of the built-in implementation: the attributes every protocol keeps alike and
// the VISA operations each protocol carries out its own way.
#pragma once

#include "instio/Visa.h"
#include "instio/VisaResource.h"
#include "instio/visa_builtin/BuiltinVisa.h"

#include <utility>

namespace zep {

class BuiltinSession {
  public:
    BuiltinSession(ViSession resourceManager, VisaResource resource)
        : resourceManager_(resourceManager), resource_(std::move(resource)) {}
    virtual ~BuiltinSession() = default;
    BuiltinSession(const BuiltinSession&) = delete;
    BuiltinSession& operator=(const BuiltinSession&) = delete;

    ViSession ResourceManager() const { return resourceManager_; }

    // Reaches the instrument; a negative status leaves the session unusable.
    virtual ViStatus Open(const BuiltinVisaOptions& options, ViAccessMode accessMode) = 0;
    virtual void Close() = 0;

    virtual ViStatus SetAttribute(ViAttr attribute, ViAttrState value);
    virtual ViStatus GetAttribute(ViAttr attribute, ViAttrState& value) const;

    // The buffers are valid for count bytes; count is above 0 for Read.
    virtual ViStatus Write(const char* data, ViUInt32 count, ViUInt32& written) = 0;
    virtual ViStatus Read(char* buffer, ViUInt32 count, ViUInt32& read) = 0;
    virtual ViStatus ReadSTB(ViUInt16& statusByte) = 0;
    virtual ViStatus Clear() = 0;
    // The mode is one of the VI_GPIB_REN_ values.
    virtual ViStatus ControlREN(ViUInt16 mode) = 0;

  protected:
    // VISA's default I/O time-out of a new session.
    static constexpr ViUInt32 DefaultTimeoutMs = 2000;

    const VisaResource& Resource() const { return resource_; }

    ViUInt32 timeoutMs_ = DefaultTimeoutMs;
    bool termCharEnabled_ = false;
    char termChar_ = '\n';
    bool sendEnd_ = true;
    bool suppressEnd_ = false;

  private:
    ViSession resourceManager_;
    VisaResource resource_;
};

} // namespace zep
