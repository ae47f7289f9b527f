// Session table of the built-in implementation; each VISA call goes to the session's protocol class.
#include "instio/visa_builtin/BuiltinVisa.h"

#include "common/StringOp.h"
#include "instio/VisaResource.h"
#include "instio/visa_builtin/BuiltinSession.h"
#include "instio/visa_builtin/SocketSession.h"
#include "instio/visa_builtin/Vxi11Session.h"

#include <fstream>

namespace zep {
namespace {

// The protocol class that serves a TCPIP resource, nullptr when none is built in.
std::unique_ptr<BuiltinSession> MakeSession(ViSession resourceManager, VisaResource resource) {
    if (resource.resourceClass == "SOCKET") {
        return std::make_unique<SocketSession>(resourceManager, std::move(resource));
    }
    // HiSLIP needs its own protocol, which is not built in.
    if (ToLowerAscii(resource.lanDevice).starts_with("hislip")) {
        return nullptr;
    }
    return std::make_unique<Vxi11Session>(resourceManager, std::move(resource));
}

} // namespace

BuiltinVisa::BuiltinVisa(BuiltinVisaOptions options) : options_(options) {}

BuiltinVisa::~BuiltinVisa() {
    for (auto& [handle, session] : sessions_) {
        session->Close();
    }
}

BuiltinSession* BuiltinVisa::Find(ViSession session) {
    const auto found = sessions_.find(session);
    return found == sessions_.end() ? nullptr : found->second.get();
}

ViStatus BuiltinVisa::viOpenDefaultRM(ViSession& resourceManager) {
    resourceManager = nextSession_++;
    resourceManagers_.insert(resourceManager);
    return VI_SUCCESS;
}

ViStatus BuiltinVisa::viOpen(ViSession resourceManager, std::string_view resource, ViAccessMode accessMode,
                             ViUInt32 /*openTimeout*/, ViSession& session) {
    session = VI_NULL;
    if (!IsResourceManager(resourceManager)) {
        return VI_ERROR_INV_OBJECT;
    }
    if ((accessMode & ~(VI_EXCLUSIVE_LOCK | VI_LOAD_CONFIG)) != 0) {
        return VI_ERROR_INV_ACC_MODE;
    }
    auto parsed = ParseVisaResource(resource);
    if (!parsed) {
        return VI_ERROR_INV_RSRC_NAME;
    }
    // Remote VISA servers, GPIB, USB, serial, PXI, VXI and the maker's VMIB need vendor software.
    if (!parsed->remoteServer.empty() || parsed->interface != VisaInterface::Tcpip) {
        return VI_ERROR_RSRC_NFOUND;
    }
    auto opened = MakeSession(resourceManager, std::move(*parsed));
    if (opened == nullptr) {
        return VI_ERROR_RSRC_NFOUND;
    }
    const ViStatus status = opened->Open(options_, accessMode);
    if (status < 0) {
        return status;
    }
    session = nextSession_++;
    sessions_.emplace(session, std::move(opened));
    return status;
}

ViStatus BuiltinVisa::viClose(ViSession handle) {
    if (handle == VI_NULL) {
        return VI_WARN_NULL_OBJECT;
    }
    if (IsResourceManager(handle)) {
        // Closing a resource manager closes everything opened through it.
        for (auto it = sessions_.begin(); it != sessions_.end();) {
            if (it->second->ResourceManager() == handle) {
                it->second->Close();
                it = sessions_.erase(it);
            } else {
                ++it;
            }
        }
        resourceManagers_.erase(handle);
        return VI_SUCCESS;
    }
    BuiltinSession* session = Find(handle);
    if (session == nullptr) {
        return VI_ERROR_INV_OBJECT;
    }
    session->Close();
    sessions_.erase(handle);
    return VI_SUCCESS;
}

ViStatus BuiltinVisa::viSetAttribute(ViSession handle, ViAttr attribute, ViAttrState value) {
    BuiltinSession* session = Find(handle);
    if (session == nullptr) {
        return IsResourceManager(handle) ? VI_ERROR_NSUP_ATTR : VI_ERROR_INV_OBJECT;
    }
    return session->SetAttribute(attribute, value);
}

ViStatus BuiltinVisa::viGetAttribute(ViSession handle, ViAttr attribute, ViAttrState& value) {
    const BuiltinSession* session = Find(handle);
    if (session == nullptr) {
        return IsResourceManager(handle) ? VI_ERROR_NSUP_ATTR : VI_ERROR_INV_OBJECT;
    }
    return session->GetAttribute(attribute, value);
}

ViStatus BuiltinVisa::viWrite(ViSession handle, const void* data, ViUInt32 count, ViUInt32& written) {
    written = 0;
    BuiltinSession* session = Find(handle);
    if (session == nullptr) {
        return VI_ERROR_INV_OBJECT;
    }
    if (data == nullptr && count > 0) {
        return VI_ERROR_INV_PARAMETER;
    }
    return session->Write(static_cast<const char*>(data), count, written);
}

ViStatus BuiltinVisa::viRead(ViSession handle, void* buffer, ViUInt32 count, ViUInt32& read) {
    read = 0;
    BuiltinSession* session = Find(handle);
    if (session == nullptr) {
        return VI_ERROR_INV_OBJECT;
    }
    if (buffer == nullptr && count > 0) {
        return VI_ERROR_INV_PARAMETER;
    }
    if (count == 0) {
        return VI_SUCCESS_MAX_CNT;
    }
    return session->Read(static_cast<char*>(buffer), count, read);
}

ViStatus BuiltinVisa::viBufRead(ViSession session, void* buffer, ViUInt32 count, ViUInt32& read) {
    // There is no formatted I/O buffer in front of the connection, so this is a plain read.
    return viRead(session, buffer, count, read);
}

ViStatus BuiltinVisa::viReadToFile(ViSession session, std::string_view fileName, ViUInt32 count,
                                   ViUInt32& read) {
    read = 0;
    if (Find(session) == nullptr) {
        return VI_ERROR_INV_OBJECT;
    }
    std::ofstream file(std::string(fileName), std::ios::binary | std::ios::trunc);
    if (!file) {
        return VI_ERROR_FILE_ACCESS;
    }
    std::string data(count, '\0');
    const ViStatus status = viRead(session, data.data(), count, read);
    file.write(data.data(), read);
    file.close();
    return file ? status : VI_ERROR_FILE_IO;
}

ViStatus BuiltinVisa::viWriteFromFile(ViSession session, std::string_view fileName, ViUInt32 count,
                                      ViUInt32& written) {
    written = 0;
    if (Find(session) == nullptr) {
        return VI_ERROR_INV_OBJECT;
    }
    std::ifstream file(std::string(fileName), std::ios::binary);
    if (!file) {
        return VI_ERROR_FILE_ACCESS;
    }
    std::string data(count, '\0');
    file.read(data.data(), count);
    data.resize(static_cast<std::size_t>(file.gcount()));
    if (file.bad()) {
        return VI_ERROR_FILE_IO;
    }
    return viWrite(session, data.data(), static_cast<ViUInt32>(data.size()), written);
}

ViStatus BuiltinVisa::viReadSTB(ViSession handle, ViUInt16& statusByte) {
    statusByte = 0;
    BuiltinSession* session = Find(handle);
    return session == nullptr ? VI_ERROR_INV_OBJECT : session->ReadSTB(statusByte);
}

ViStatus BuiltinVisa::viClear(ViSession handle) {
    BuiltinSession* session = Find(handle);
    return session == nullptr ? VI_ERROR_INV_OBJECT : session->Clear();
}

ViStatus BuiltinVisa::viGpibSendIFC(ViSession handle) {
    return Find(handle) == nullptr ? VI_ERROR_INV_OBJECT : VI_ERROR_NSUP_OPER;
}

ViStatus BuiltinVisa::viGpibControlREN(ViSession handle, ViUInt16 mode) {
    BuiltinSession* session = Find(handle);
    if (session == nullptr) {
        return VI_ERROR_INV_OBJECT;
    }
    if (mode > VI_GPIB_REN_ADDRESS_GTL) {
        return VI_ERROR_INV_MODE;
    }
    return session->ControlREN(mode);
}

ViStatus BuiltinVisa::viFindRsrc(ViSession resourceManager, std::string_view expression, ViFindList& findList,
                                 ViUInt32& matchCount, std::string& firstDescriptor) {
    findList = VI_NULL;
    matchCount = 0;
    firstDescriptor.clear();
    if (!IsResourceManager(resourceManager)) {
        return VI_ERROR_INV_OBJECT;
    }
    if (expression.empty()) {
        return VI_ERROR_INV_EXPR;
    }
    // Nothing is configured and LAN instruments are not discovered, so no expression matches; the
    // scan then probes complete resource strings as they are written.
    return VI_ERROR_RSRC_NFOUND;
}

ViStatus BuiltinVisa::viFindNext(ViFindList /*findList*/, std::string& descriptor) {
    descriptor.clear();
    return VI_ERROR_INV_OBJECT;
}

ViStatus BuiltinVisa::viParseRsrc(ViSession resourceManager, std::string_view resource,
                                  ViUInt16& interfaceType, ViUInt16& interfaceNumber) {
    interfaceType = 0;
    interfaceNumber = 0;
    if (!IsResourceManager(resourceManager)) {
        return VI_ERROR_INV_OBJECT;
    }
    const auto parsed = ParseVisaResource(resource);
    if (!parsed) {
        return VI_ERROR_INV_RSRC_NAME;
    }
    if (!parsed->remoteServer.empty() || parsed->interface == VisaInterface::Vmib) {
        return VI_ERROR_RSRC_NFOUND;
    }
    interfaceType = InterfaceTypeNumber(parsed->interface);
    interfaceNumber = parsed->board;
    return VI_SUCCESS;
}

} // namespace zep
