// Session table and the VISA operations of the built-in implementation.
#include "instio/visa_builtin/BuiltinVisa.h"

#include "common/StringOp.h"
#include "instio/VisaResource.h"
#include "instio/visa_builtin/TcpConnection.h"
#include "instio/visa_builtin/Vxi11Client.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>

namespace zep {
namespace {

// VISA's default I/O time-out of a new session.
constexpr ViUInt32 DefaultTimeoutMs = 2000;
// How long past the device's own I/O time-out a VXI-11 reply is waited for.
constexpr ViUInt32 RpcGraceMs = 250;
constexpr std::size_t SocketChunk = 65536;

Deadline RpcDeadline(ViUInt32 timeoutMs) {
    if (timeoutMs == VI_TMO_INFINITE) {
        return std::nullopt;
    }
    return *DeadlineAfter(timeoutMs) + std::chrono::milliseconds(RpcGraceMs);
}

// Milliseconds left before the deadline, for the device's io_timeout.
ViUInt32 RemainingMs(const Deadline& deadline) {
    if (!deadline) {
        return VI_TMO_INFINITE;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<ViUInt32>(std::min<long long>(left, 0xFFFFFFFEll));
}

ViStatus FromVxi11(Vxi11Error error) {
    switch (error) {
    case Vxi11Error::None:
        return VI_SUCCESS;
    case Vxi11Error::IoTimeout:
    case Vxi11Error::RpcTimeout:
        return VI_ERROR_TMO;
    case Vxi11Error::DeviceLocked:
    case Vxi11Error::NoLockHeld:
        return VI_ERROR_RSRC_LOCKED;
    case Vxi11Error::Abort:
        return VI_ERROR_ABORT;
    case Vxi11Error::OperationNotSupported:
        return VI_ERROR_NSUP_OPER;
    case Vxi11Error::InvalidLink:
    case Vxi11Error::ConnectionLost:
        return VI_ERROR_CONN_LOST;
    default:
        return VI_ERROR_IO;
    }
}

} // namespace

struct BuiltinVisa::Session {
    enum class Kind { ResourceManager, Socket, Vxi11 };
    Kind kind = Kind::ResourceManager;
    ViSession resourceManager = VI_NULL;
    VisaResource resource;
    ViUInt32 timeoutMs = DefaultTimeoutMs;
    bool termCharEnabled = false;
    char termChar = '\n';
    bool sendEnd = true;
    bool suppressEnd = false;
    TcpConnection socket;
    std::string received; // socket bytes read ahead of the caller
    Vxi11Client vxi11;
};

BuiltinVisa::BuiltinVisa(BuiltinVisaOptions options) : options_(options) {}

BuiltinVisa::~BuiltinVisa() {
    for (auto& [handle, session] : sessions_) {
        CloseSession(*session);
    }
}

BuiltinVisa::Session* BuiltinVisa::Find(ViSession session) {
    const auto found = sessions_.find(session);
    return found == sessions_.end() ? nullptr : found->second.get();
}

BuiltinVisa::Session* BuiltinVisa::FindInstrument(ViSession session) {
    Session* found = Find(session);
    return found != nullptr && found->kind != Session::Kind::ResourceManager ? found : nullptr;
}

ViStatus BuiltinVisa::viOpenDefaultRM(ViSession& resourceManager) {
    auto session = std::make_unique<Session>();
    resourceManager = nextSession_++;
    sessions_.emplace(resourceManager, std::move(session));
    return VI_SUCCESS;
}

ViStatus BuiltinVisa::viOpen(ViSession resourceManager, std::string_view resource, ViAccessMode accessMode,
                             ViUInt32 /*openTimeout*/, ViSession& session) {
    session = VI_NULL;
    const Session* manager = Find(resourceManager);
    if (manager == nullptr || manager->kind != Session::Kind::ResourceManager) {
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
    auto opened = std::make_unique<Session>();
    opened->resourceManager = resourceManager;
    opened->resource = std::move(*parsed);
    ViStatus status = VI_SUCCESS;
    if (opened->resource.resourceClass == "SOCKET") {
        opened->kind = Session::Kind::Socket;
        // Instruments end their answers with a line feed; reads stop there.
        opened->termCharEnabled = true;
        status = OpenSocket(*opened);
    } else {
        opened->kind = Session::Kind::Vxi11;
        status = OpenVxi11(*opened, accessMode);
    }
    if (status < 0) {
        return status;
    }
    session = nextSession_++;
    sessions_.emplace(session, std::move(opened));
    return status;
}

ViStatus BuiltinVisa::OpenSocket(Session& session) {
    const NetResult result = session.socket.Connect(session.resource.host, session.resource.port,
                                                    DeadlineAfter(options_.connectTimeoutMs));
    return result == NetResult::Ok ? VI_SUCCESS : VI_ERROR_RSRC_NFOUND;
}

ViStatus BuiltinVisa::OpenVxi11(Session& session, ViAccessMode accessMode) {
    const std::string device = ToLowerAscii(session.resource.lanDevice);
    // HiSLIP needs its own protocol, which is not built in.
    if (device.rfind("hislip", 0) == 0) {
        return VI_ERROR_RSRC_NFOUND;
    }
    const bool lock = (accessMode & VI_EXCLUSIVE_LOCK) != 0;
    const Vxi11Error error = session.vxi11.Open(session.resource.host, options_.portmapperPort,
                                                session.resource.lanDevice, lock, 0,
                                                DeadlineAfter(options_.connectTimeoutMs));
    if (error == Vxi11Error::None) {
        return VI_SUCCESS;
    }
    return error == Vxi11Error::DeviceLocked ? VI_ERROR_RSRC_LOCKED : VI_ERROR_RSRC_NFOUND;
}

void BuiltinVisa::CloseSession(Session& session) {
    if (session.kind == Session::Kind::Vxi11) {
        session.vxi11.Close(DeadlineAfter(std::min<ViUInt32>(session.timeoutMs, 1000)));
    }
    session.socket.Close();
}

ViStatus BuiltinVisa::viClose(ViSession handle) {
    if (handle == VI_NULL) {
        return VI_WARN_NULL_OBJECT;
    }
    Session* session = Find(handle);
    if (session == nullptr) {
        return VI_ERROR_INV_OBJECT;
    }
    if (session->kind == Session::Kind::ResourceManager) {
        // Closing a resource manager closes everything opened through it.
        for (auto it = sessions_.begin(); it != sessions_.end();) {
            if (it->second->kind != Session::Kind::ResourceManager && it->second->resourceManager == handle) {
                CloseSession(*it->second);
                it = sessions_.erase(it);
            } else {
                ++it;
            }
        }
    } else {
        CloseSession(*session);
    }
    sessions_.erase(handle);
    return VI_SUCCESS;
}

ViStatus BuiltinVisa::viSetAttribute(ViSession handle, ViAttr attribute, ViAttrState value) {
    Session* session = FindInstrument(handle);
    if (session == nullptr) {
        return Find(handle) != nullptr ? VI_ERROR_NSUP_ATTR : VI_ERROR_INV_OBJECT;
    }
    switch (attribute) {
    case VI_ATTR_TMO_VALUE:
        if (value > 0xFFFFFFFFu) {
            return VI_ERROR_NSUP_ATTR_STATE;
        }
        session->timeoutMs = static_cast<ViUInt32>(value);
        return VI_SUCCESS;
    case VI_ATTR_TERMCHAR:
        if (value > 0xFF) {
            return VI_ERROR_NSUP_ATTR_STATE;
        }
        session->termChar = static_cast<char>(value);
        return VI_SUCCESS;
    case VI_ATTR_TERMCHAR_EN:
    case VI_ATTR_SEND_END_EN:
    case VI_ATTR_SUPPRESS_END_EN:
        if (value > 1) {
            return VI_ERROR_NSUP_ATTR_STATE;
        }
        (attribute == VI_ATTR_TERMCHAR_EN  ? session->termCharEnabled
         : attribute == VI_ATTR_SEND_END_EN ? session->sendEnd
                                            : session->suppressEnd) = value == 1;
        return VI_SUCCESS;
    case VI_ATTR_TCPIP_NODELAY:
        // Nagle's algorithm stays off: it costs tens of milliseconds per command and query.
        return value == 1 ? VI_SUCCESS : VI_WARN_NSUP_ATTR_STATE;
    case VI_ATTR_INTF_TYPE:
    case VI_ATTR_INTF_NUM:
    case VI_ATTR_TCPIP_PORT:
        return VI_ERROR_ATTR_READONLY;
    default:
        return VI_ERROR_NSUP_ATTR;
    }
}

ViStatus BuiltinVisa::viGetAttribute(ViSession handle, ViAttr attribute, ViAttrState& value) {
    Session* session = FindInstrument(handle);
    if (session == nullptr) {
        return Find(handle) != nullptr ? VI_ERROR_NSUP_ATTR : VI_ERROR_INV_OBJECT;
    }
    switch (attribute) {
    case VI_ATTR_TMO_VALUE:
        value = session->timeoutMs;
        return VI_SUCCESS;
    case VI_ATTR_TERMCHAR:
        value = static_cast<unsigned char>(session->termChar);
        return VI_SUCCESS;
    case VI_ATTR_TERMCHAR_EN:
        value = session->termCharEnabled ? 1 : 0;
        return VI_SUCCESS;
    case VI_ATTR_SEND_END_EN:
        value = session->sendEnd ? 1 : 0;
        return VI_SUCCESS;
    case VI_ATTR_SUPPRESS_END_EN:
        value = session->suppressEnd ? 1 : 0;
        return VI_SUCCESS;
    case VI_ATTR_TCPIP_NODELAY:
        value = 1;
        return VI_SUCCESS;
    case VI_ATTR_INTF_TYPE:
        value = VI_INTF_TCPIP;
        return VI_SUCCESS;
    case VI_ATTR_INTF_NUM:
        value = session->resource.board;
        return VI_SUCCESS;
    case VI_ATTR_TCPIP_PORT:
        if (session->kind != Session::Kind::Socket) {
            return VI_ERROR_NSUP_ATTR;
        }
        value = session->resource.port;
        return VI_SUCCESS;
    default:
        return VI_ERROR_NSUP_ATTR;
    }
}

ViStatus BuiltinVisa::viWrite(ViSession handle, const void* data, ViUInt32 count, ViUInt32& written) {
    written = 0;
    Session* session = FindInstrument(handle);
    if (session == nullptr) {
        return VI_ERROR_INV_OBJECT;
    }
    if (data == nullptr && count > 0) {
        return VI_ERROR_INV_PARAMETER;
    }
    if (session->kind == Session::Kind::Socket) {
        const NetResult result = session->socket.SendAll(data, count, DeadlineAfter(session->timeoutMs));
        if (result == NetResult::Ok) {
            written = count;
            return VI_SUCCESS;
        }
        return result == NetResult::Timeout ? VI_ERROR_TMO : VI_ERROR_CONN_LOST;
    }
    const Vxi11Error error =
        session->vxi11.Write(std::string_view(static_cast<const char*>(data), count), session->sendEnd,
                             session->timeoutMs, RpcDeadline(session->timeoutMs), written);
    return FromVxi11(error);
}

ViStatus BuiltinVisa::ReadSocket(Session& session, char* buffer, ViUInt32 count, ViUInt32& read) {
    const Deadline deadline = DeadlineAfter(session.timeoutMs);
    while (true) {
        // Hand out what has arrived, up to the term character or the count.
        const std::size_t wanted = count - read;
        std::size_t take = std::min(wanted, session.received.size());
        bool sawTermChar = false;
        if (session.termCharEnabled && take > 0) {
            const void* term = std::memchr(session.received.data(), session.termChar, take);
            if (term != nullptr) {
                take = static_cast<std::size_t>(static_cast<const char*>(term) - session.received.data()) + 1;
                sawTermChar = true;
            }
        }
        std::memcpy(buffer + read, session.received.data(), take);
        session.received.erase(0, take);
        read += static_cast<ViUInt32>(take);
        if (sawTermChar) {
            return VI_SUCCESS_TERM_CHAR;
        }
        if (read == count) {
            return VI_SUCCESS_MAX_CNT;
        }
        char chunk[SocketChunk];
        std::size_t received = 0;
        const NetResult result = session.socket.ReceiveSome(chunk, sizeof chunk, deadline, received);
        if (result == NetResult::Timeout) {
            return VI_ERROR_TMO;
        }
        if (result != NetResult::Ok) {
            return VI_ERROR_CONN_LOST;
        }
        session.received.append(chunk, received);
    }
}

ViStatus BuiltinVisa::ReadVxi11(Session& session, char* buffer, ViUInt32 count, ViUInt32& read) {
    const Deadline deadline = DeadlineAfter(session.timeoutMs);
    while (true) {
        const ViUInt32 ioTimeout = RemainingMs(deadline);
        Vxi11ReadResult result;
        session.vxi11.Read(count - read, session.termCharEnabled, session.termChar, ioTimeout,
                           RpcDeadline(ioTimeout), result);
        std::memcpy(buffer + read, result.data.data(), result.data.size());
        read += static_cast<ViUInt32>(result.data.size());
        if (result.error != Vxi11Error::None) {
            return FromVxi11(result.error);
        }
        if ((result.reason & Vxi11Client::ReasonEnd) != 0 && !session.suppressEnd) {
            return VI_SUCCESS;
        }
        if ((result.reason & Vxi11Client::ReasonTermChar) != 0) {
            return VI_SUCCESS_TERM_CHAR;
        }
        if (read >= count) {
            return VI_SUCCESS_MAX_CNT;
        }
        if (deadline && Clock::now() >= *deadline) {
            return VI_ERROR_TMO;
        }
    }
}

ViStatus BuiltinVisa::viRead(ViSession handle, void* buffer, ViUInt32 count, ViUInt32& read) {
    read = 0;
    Session* session = FindInstrument(handle);
    if (session == nullptr) {
        return VI_ERROR_INV_OBJECT;
    }
    if (buffer == nullptr && count > 0) {
        return VI_ERROR_INV_PARAMETER;
    }
    if (count == 0) {
        return VI_SUCCESS_MAX_CNT;
    }
    char* bytes = static_cast<char*>(buffer);
    return session->kind == Session::Kind::Socket ? ReadSocket(*session, bytes, count, read)
                                                  : ReadVxi11(*session, bytes, count, read);
}

ViStatus BuiltinVisa::viBufRead(ViSession session, void* buffer, ViUInt32 count, ViUInt32& read) {
    // There is no formatted I/O buffer in front of the connection, so this is a plain read.
    return viRead(session, buffer, count, read);
}

ViStatus BuiltinVisa::viReadToFile(ViSession session, std::string_view fileName, ViUInt32 count,
                                   ViUInt32& read) {
    read = 0;
    if (FindInstrument(session) == nullptr) {
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
    if (FindInstrument(session) == nullptr) {
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
    Session* session = FindInstrument(handle);
    if (session == nullptr) {
        return VI_ERROR_INV_OBJECT;
    }
    if (session->kind == Session::Kind::Vxi11) {
        std::uint8_t value = 0;
        const Vxi11Error error =
            session->vxi11.ReadStatusByte(session->timeoutMs, RpcDeadline(session->timeoutMs), value);
        statusByte = value;
        return FromVxi11(error);
    }
    // A raw socket has no status byte line: ask the instrument as IEEE 488.2 lets one.
    static constexpr char Query[] = "*STB?\n";
    ViUInt32 written = 0;
    const ViStatus sent = viWrite(handle, Query, sizeof Query - 1, written);
    if (sent < 0) {
        return sent;
    }
    const bool termCharEnabled = session->termCharEnabled;
    const char termChar = session->termChar;
    session->termCharEnabled = true;
    session->termChar = '\n';
    char answer[64];
    ViUInt32 read = 0;
    const ViStatus status = ReadSocket(*session, answer, sizeof answer, read);
    session->termCharEnabled = termCharEnabled;
    session->termChar = termChar;
    if (status < 0) {
        return status;
    }
    std::string_view text(answer, read);
    while (!text.empty() && (text.front() == ' ' || text.front() == '+')) {
        text.remove_prefix(1);
    }
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || value > 255 || end == text.data()) {
        return VI_ERROR_IO;
    }
    statusByte = static_cast<ViUInt16>(value);
    return VI_SUCCESS;
}

ViStatus BuiltinVisa::viClear(ViSession handle) {
    Session* session = FindInstrument(handle);
    if (session == nullptr) {
        return VI_ERROR_INV_OBJECT;
    }
    if (session->kind == Session::Kind::Vxi11) {
        return FromVxi11(session->vxi11.Clear(session->timeoutMs, RpcDeadline(session->timeoutMs)));
    }
    // A raw socket carries no device-clear message: drop the answers that were not read yet.
    session->received.clear();
    session->socket.DiscardPending();
    return session->socket.IsOpen() ? VI_SUCCESS : VI_ERROR_CONN_LOST;
}

ViStatus BuiltinVisa::viGpibSendIFC(ViSession handle) {
    return FindInstrument(handle) == nullptr ? VI_ERROR_INV_OBJECT : VI_ERROR_NSUP_OPER;
}

ViStatus BuiltinVisa::viGpibControlREN(ViSession handle, ViUInt16 mode) {
    Session* session = FindInstrument(handle);
    if (session == nullptr) {
        return VI_ERROR_INV_OBJECT;
    }
    if (mode > VI_GPIB_REN_ADDRESS_GTL) {
        return VI_ERROR_INV_MODE;
    }
    if (session->kind != Session::Kind::Vxi11) {
        return VI_ERROR_NSUP_OPER;
    }
    const bool local =
        mode == VI_GPIB_REN_DEASSERT || mode == VI_GPIB_REN_DEASSERT_GTL || mode == VI_GPIB_REN_ADDRESS_GTL;
    const Deadline deadline = RpcDeadline(session->timeoutMs);
    return FromVxi11(local ? session->vxi11.Local(session->timeoutMs, deadline)
                           : session->vxi11.Remote(session->timeoutMs, deadline));
}

ViStatus BuiltinVisa::viFindRsrc(ViSession resourceManager, std::string_view expression, ViFindList& findList,
                                 ViUInt32& matchCount, std::string& firstDescriptor) {
    findList = VI_NULL;
    matchCount = 0;
    firstDescriptor.clear();
    const Session* manager = Find(resourceManager);
    if (manager == nullptr || manager->kind != Session::Kind::ResourceManager) {
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

ViStatus BuiltinVisa::viParseRsrc(ViSession resourceManager, std::string_view resource, ViUInt16& interfaceType,
                                  ViUInt16& interfaceNumber) {
    interfaceType = 0;
    interfaceNumber = 0;
    const Session* manager = Find(resourceManager);
    if (manager == nullptr || manager->kind != Session::Kind::ResourceManager) {
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
