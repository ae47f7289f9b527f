// ONC RPC services of the server: the VXI-11 core and abort channels and the portmapper (v2, v3, v4).
#include "Server.h"

#include "Rpc.h"
#include "common/StringOp.h"

#include <ctime>
#include <iostream>

namespace zep::instsim {

namespace {

constexpr std::uint32_t PortmapProgram = 100000;
constexpr std::uint32_t CoreProgram = 0x0607AF;
constexpr std::uint32_t AbortProgram = 0x0607B0;
constexpr std::uint32_t MaxRecvSize = 1024 * 1024;
constexpr std::uint32_t IpProtoTcp = 6, IpProtoUdp = 17;

enum DeviceError : std::uint32_t {
    NoError = 0,
    SyntaxError = 1,
    DeviceNotAccessible = 3,
    InvalidLinkIdentifier = 4,
    ParameterError = 5,
    ChannelNotEstablished = 6,
    OperationNotSupported = 8,
    OutOfResources = 9,
    DeviceLockedByAnotherLink = 11,
    NoLockHeldByThisLink = 12,
    IoTimeout = 15,
    Abort = 23,
};

enum ReadReason : std::uint32_t { ReasonRequestCount = 1, ReasonTermChar = 2, ReasonEnd = 4 };
constexpr std::uint32_t FlagTermCharSet = 0x80, FlagEnd = 0x08;

std::string ErrorOnly(std::uint32_t error) {
    XdrWriter writer;
    writer.U32(error);
    return writer.Data();
}

void Log(const std::string& line) {
    std::cerr << "zep-instsim: " << line << '\n';
}

} // namespace

void Server::AbortParkedRead(std::uint32_t link) {
    for (auto& [id, connection] : connections_) {
        if (!connection.parked || connection.parked->link != link) continue;
        XdrWriter result;
        result.U32(Abort);
        result.U32(0);
        result.Opaque({});
        QueueRecord(connection, RpcAcceptedReply(connection.parked->xid, AcceptStat::Success, result.Data()));
        connection.parked.reset();
        HandleRpcInput(id, connection, Now());
    }
}

int Server::ResolveDevice(const std::string& name) const {
    std::string lower = ToLowerAscii(name);
    if (lower.rfind("inst", 0) == 0 && lower.size() > 4 && lower.size() <= 7) {
        bool digits = true;
        for (std::size_t i = 4; i < lower.size(); ++i)
            digits = digits && std::isdigit(static_cast<unsigned char>(lower[i]));
        if (digits) {
            std::size_t index = std::stoul(lower.substr(4));
            if (index < devices_.size()) return static_cast<int>(index);
        }
    }
    for (std::size_t i = 0; i < devices_.size(); ++i)
        if (EqualsIgnoreCase(devices_[i]->Name(), name)) return static_cast<int>(i);
    return -1;
}

void Server::DestroyLink(std::uint32_t id) {
    auto it = links_.find(id);
    if (it == links_.end()) return;
    auto lock = locks_.find(it->second.device);
    if (lock != locks_.end() && lock->second == id) locks_.erase(lock);
    links_.erase(it);
}

std::optional<std::string> Server::Dispatch(int id, Connection* connection, std::string_view message,
                                            SimTime now, bool udp) {
    RpcCall call;
    std::string where = connection ? connection->peer : std::string("UDP client");
    switch (ParseRpcCall(message, call)) {
    case RpcParse::Ok:
        break;
    case RpcParse::BadRpcVersion:
        return RpcVersionMismatchReply(call.xid);
    case RpcParse::NotACall:
    case RpcParse::Malformed:
        Log(where + ": malformed RPC message of " + std::to_string(message.size()) + " bytes");
        if (connection) Drop(*connection, "malformed RPC message");
        return std::nullopt;
    }
    if (call.program == PortmapProgram) {
        if (call.version < 2 || call.version > 4)
            return RpcAcceptedReply(call.xid, AcceptStat::ProgMismatch, {}, 2, 4);
        if (udp && call.version == 2 && call.procedure == 5)
            return std::nullopt; // CALLIT: silent when unserved
        return PortmapCall(call.xid, call.version, call.procedure, call.args);
    }
    if (udp || !connection) return RpcAcceptedReply(call.xid, AcceptStat::ProgUnavail);
    if (call.program == CoreProgram || call.program == AbortProgram) {
        if (call.version != 1) return RpcAcceptedReply(call.xid, AcceptStat::ProgMismatch, {}, 1, 1);
        if (call.program == AbortProgram) {
            if (call.procedure == 0) return RpcAcceptedReply(call.xid, AcceptStat::Success);
            if (call.procedure != 1) return RpcAcceptedReply(call.xid, AcceptStat::ProcUnavail);
            XdrReader reader(call.args);
            std::uint32_t link = 0;
            if (!reader.U32(link)) return RpcAcceptedReply(call.xid, AcceptStat::GarbageArgs);
            if (!links_.count(link))
                return RpcAcceptedReply(call.xid, AcceptStat::Success, ErrorOnly(InvalidLinkIdentifier));
            AbortParkedRead(link);
            return RpcAcceptedReply(call.xid, AcceptStat::Success, ErrorOnly(NoError));
        }
        return CoreCall(id, *connection, call.xid, call.procedure, call.args, now);
    }
    return RpcAcceptedReply(call.xid, AcceptStat::ProgUnavail);
}

std::string Server::PortmapCall(std::uint32_t xid, std::uint32_t version, std::uint32_t procedure,
                                std::string_view args) {
    struct Mapping {
        std::uint32_t program, version, protocol;
        int port;
    };
    std::vector<Mapping> mappings;
    for (std::uint32_t v = 2; v <= 4; ++v) {
        mappings.push_back({PortmapProgram, v, IpProtoTcp, portmapPort_});
        if (portmapUdp_) mappings.push_back({PortmapProgram, v, IpProtoUdp, portmapPort_});
    }
    mappings.push_back({CoreProgram, 1, IpProtoTcp, corePort_});
    mappings.push_back({AbortProgram, 1, IpProtoTcp, corePort_});

    XdrReader reader(args);
    XdrWriter result;
    if (procedure == 0) return RpcAcceptedReply(xid, AcceptStat::Success);
    if (procedure == 1 || procedure == 2) { // SET, UNSET: this portmapper serves only its own programs
        result.U32(0);
        return RpcAcceptedReply(xid, AcceptStat::Success, result.Data());
    }
    if (version == 2 && procedure == 3) {
        std::uint32_t program = 0, programVersion = 0, protocol = 0, port = 0;
        if (!reader.U32(program) || !reader.U32(programVersion) || !reader.U32(protocol) || !reader.U32(port))
            return RpcAcceptedReply(xid, AcceptStat::GarbageArgs);
        std::uint32_t found = 0;
        for (const Mapping& m : mappings)
            if (m.program == program && m.version == programVersion && m.protocol == protocol)
                found = static_cast<std::uint32_t>(m.port);
        result.U32(found);
        return RpcAcceptedReply(xid, AcceptStat::Success, result.Data());
    }
    if (version == 2 && procedure == 4) {
        for (const Mapping& m : mappings) {
            result.U32(1);
            result.U32(m.program);
            result.U32(m.version);
            result.U32(m.protocol);
            result.U32(static_cast<std::uint32_t>(m.port));
        }
        result.U32(0);
        return RpcAcceptedReply(xid, AcceptStat::Success, result.Data());
    }
    if (version >= 3 && (procedure == 3 || (version == 4 && procedure == 9))) { // GETADDR, GETVERSADDR
        std::uint32_t program = 0, programVersion = 0;
        std::string netid, address, owner;
        if (!reader.U32(program) || !reader.U32(programVersion) || !reader.Opaque(netid, 64) ||
            !reader.Opaque(address, 256) || !reader.Opaque(owner, 256))
            return RpcAcceptedReply(xid, AcceptStat::GarbageArgs);
        bool v6 = options_.host.find(':') != std::string::npos;
        std::uint32_t protocol = netid.rfind("udp", 0) == 0 ? IpProtoUdp : IpProtoTcp;
        std::string universal;
        bool familyFits = netid.empty() ||
                          (v6 ? netid.find('6') != std::string::npos : netid.find('6') == std::string::npos);
        for (const Mapping& m : mappings) {
            bool versionFits = m.version == programVersion || (procedure == 3 && programVersion == 0);
            if (familyFits && m.program == program && versionFits && m.protocol == protocol)
                universal =
                    options_.host + "." + std::to_string(m.port >> 8) + "." + std::to_string(m.port & 0xFF);
        }
        result.Opaque(universal);
        return RpcAcceptedReply(xid, AcceptStat::Success, result.Data());
    }
    if (version >= 3 && procedure == 4) { // DUMP
        result.U32(0);
        return RpcAcceptedReply(xid, AcceptStat::Success, result.Data());
    }
    if (version >= 3 && procedure == 6) { // GETTIME
        result.U32(static_cast<std::uint32_t>(std::time(nullptr)));
        return RpcAcceptedReply(xid, AcceptStat::Success, result.Data());
    }
    return RpcAcceptedReply(xid, AcceptStat::ProcUnavail);
}

std::optional<std::string> Server::TryRead(const ParkedRead& read, SimTime now, bool parkIfPending) {
    XdrWriter result;
    auto it = links_.find(read.link);
    if (it == links_.end()) {
        result.U32(InvalidLinkIdentifier);
        result.U32(0);
        result.Opaque({});
        return RpcAcceptedReply(read.xid, AcceptStat::Success, result.Data());
    }
    Session& session = *it->second.session;
    if (session.OutputReady(now)) {
        bool end = false;
        std::string data = session.TakeOutput(now, read.requestSize, read.termChar, end);
        if (options_.trace) {
            auto owner = connections_.find(it->second.connection);
            Trace(session.Dev(), owner != connections_.end() ? owner->second.peer : "?", "->", data);
        }
        std::uint32_t reason = 0;
        if (end) reason |= ReasonEnd;
        if (read.termChar >= 0 && !data.empty() && static_cast<unsigned char>(data.back()) == read.termChar)
            reason |= ReasonTermChar;
        if (data.size() == read.requestSize) reason |= ReasonRequestCount;
        result.U32(NoError);
        result.U32(reason);
        result.Opaque(data);
        return RpcAcceptedReply(read.xid, AcceptStat::Success, result.Data());
    }
    bool pending = session.AnswerPending();
    if (parkIfPending && pending && now < read.deadline) return std::nullopt;
    if (!pending) session.QueryUnterminated();
    result.U32(IoTimeout);
    result.U32(0);
    result.Opaque({});
    return RpcAcceptedReply(read.xid, AcceptStat::Success, result.Data());
}

std::optional<std::string> Server::CoreCall(int id, Connection& connection, std::uint32_t xid,
                                            std::uint32_t procedure, std::string_view args, SimTime now) {
    XdrReader reader(args);
    auto garbage = [&] {
        Log(connection.peer + ": VXI-11 procedure " + std::to_string(procedure) +
            " with malformed arguments");
        return RpcAcceptedReply(xid, AcceptStat::GarbageArgs);
    };
    auto reply = [&](const std::string& results) {
        return RpcAcceptedReply(xid, AcceptStat::Success, results);
    };
    if (procedure == 0) return reply({});

    if (procedure == 10) { // create_link
        std::int32_t clientId = 0;
        std::uint32_t lockDevice = 0, lockTimeout = 0;
        std::string name;
        if (!reader.I32(clientId) || !reader.U32(lockDevice) || !reader.U32(lockTimeout) ||
            !reader.Opaque(name, 256))
            return garbage();
        XdrWriter result;
        int device = ResolveDevice(name);
        std::uint32_t error = NoError;
        if (device < 0)
            error = DeviceNotAccessible;
        else if (links_.size() >= options_.maxLinks)
            error = OutOfResources;
        else if (lockDevice && locks_.count(static_cast<std::size_t>(device)))
            error = DeviceLockedByAnotherLink;
        std::uint32_t link = 0;
        if (error == NoError) {
            link = nextLink_++;
            Link entry;
            entry.device = static_cast<std::size_t>(device);
            entry.connection = id;
            entry.session = std::make_unique<Session>(*devices_[entry.device], nextSession_++, true);
            links_.emplace(link, std::move(entry));
            connection.links.push_back(link);
            if (lockDevice) locks_[static_cast<std::size_t>(device)] = link;
        } else if (error == OutOfResources) {
            Log(connection.peer + ": create_link for device \"" + name + "\" refused (out of resources): " +
                std::to_string(links_.size()) + " links are open, the most --max-links allows");
        } else {
            Log(connection.peer + ": create_link for device \"" + name + "\" refused with error " +
                std::to_string(error));
        }
        result.U32(error);
        result.U32(link);
        result.U32(static_cast<std::uint32_t>(corePort_));
        result.U32(MaxRecvSize);
        return reply(result.Data());
    }

    if (procedure == 25) return reply(ErrorOnly(OperationNotSupported)); // service requests are polled
    if (procedure == 26) return reply(ErrorOnly(ChannelNotEstablished));
    std::uint32_t linkId = 0;
    if (!reader.U32(linkId)) return garbage();
    auto linkIt = links_.find(linkId);
    bool ownLink = linkIt != links_.end() && linkIt->second.connection == id;
    auto lockedByOther = [&] {
        auto lock = locks_.find(linkIt->second.device);
        return lock != locks_.end() && lock->second != linkId;
    };

    switch (procedure) {
    case 11: { // device_write
        std::uint32_t ioTimeout = 0, lockTimeout = 0, flags = 0;
        std::string data;
        if (!reader.U32(ioTimeout) || !reader.U32(lockTimeout) || !reader.U32(flags) ||
            !reader.Opaque(data, MaxRecvSize))
            return garbage();
        XdrWriter result;
        if (!ownLink) {
            result.U32(InvalidLinkIdentifier);
            result.U32(0);
            return reply(result.Data());
        }
        if (lockedByOther()) {
            result.U32(DeviceLockedByAnotherLink);
            result.U32(0);
            return reply(result.Data());
        }
        Link& link = linkIt->second;
        link.input += data;
        std::size_t start = 0;
        bool keep = true;
        for (;;) {
            std::size_t end = link.input.find('\n', start);
            bool last = end == std::string::npos;
            if (last && !((flags & FlagEnd) && start < link.input.size())) break;
            if (last) end = link.input.size();
            std::string_view message(link.input.data() + start, end - start);
            if (!message.empty() && message.back() == '\r') message.remove_suffix(1);
            start = std::min(end + 1, link.input.size());
            if (options_.trace) Trace(link.session->Dev(), connection.peer, "<-", message);
            if (!link.session->Receive(message, now)) {
                keep = false;
                break;
            }
            if (last) break;
        }
        if (!keep) {
            std::string why = "fault drop-after: connection closed after " +
                              std::to_string(link.session->MessagesReceived()) + " messages";
            Drop(connection, why); // destroys the link
            return std::nullopt;
        }
        link.input.erase(0, start);
        if (link.input.size() > 16 * 1024 * 1024) {
            Drop(connection, "more than 16 MiB written without a terminator");
            return std::nullopt;
        }
        result.U32(NoError);
        result.U32(static_cast<std::uint32_t>(data.size()));
        return reply(result.Data());
    }
    case 12: { // device_read
        std::uint32_t requestSize = 0, ioTimeout = 0, lockTimeout = 0, flags = 0, termChar = 0;
        if (!reader.U32(requestSize) || !reader.U32(ioTimeout) || !reader.U32(lockTimeout) ||
            !reader.U32(flags) || !reader.U32(termChar))
            return garbage();
        XdrWriter result;
        if (!ownLink || lockedByOther()) {
            result.U32(!ownLink ? InvalidLinkIdentifier : DeviceLockedByAnotherLink);
            result.U32(0);
            result.Opaque({});
            return reply(result.Data());
        }
        ParkedRead read;
        read.xid = xid;
        read.link = linkId;
        read.requestSize = requestSize;
        read.flags = flags;
        read.termChar = (flags & FlagTermCharSet) ? static_cast<int>(termChar & 0xFF) : -1;
        read.deadline = now + ioTimeout;
        std::optional<std::string> answer = TryRead(read, now, true);
        if (!answer) connection.parked = read;
        return answer;
    }
    case 13:   // device_readstb
    case 14:   // device_trigger
    case 15:   // device_clear
    case 16:   // device_remote
    case 17: { // device_local
        std::uint32_t flags = 0, lockTimeout = 0, ioTimeout = 0;
        if (!reader.U32(flags) || !reader.U32(lockTimeout) || !reader.U32(ioTimeout)) return garbage();
        XdrWriter result;
        std::uint32_t error = !ownLink          ? InvalidLinkIdentifier
                              : lockedByOther() ? DeviceLockedByAnotherLink
                                                : NoError;
        result.U32(error);
        if (procedure == 13) result.U32(error == NoError ? linkIt->second.session->SerialPoll(now) : 0);
        if (procedure == 15 && error == NoError) {
            linkIt->second.session->DeviceClear();
            linkIt->second.input.clear();
        }
        return reply(result.Data());
    }
    case 18: { // device_lock
        std::uint32_t flags = 0, lockTimeout = 0;
        if (!reader.U32(flags) || !reader.U32(lockTimeout)) return garbage();
        std::uint32_t error = !ownLink          ? InvalidLinkIdentifier
                              : lockedByOther() ? DeviceLockedByAnotherLink
                                                : NoError;
        if (error == NoError) locks_[linkIt->second.device] = linkId;
        return reply(ErrorOnly(error));
    }
    case 19: { // device_unlock
        std::uint32_t error = NoError;
        if (!ownLink)
            error = InvalidLinkIdentifier;
        else if (!locks_.count(linkIt->second.device) || locks_[linkIt->second.device] != linkId)
            error = NoLockHeldByThisLink;
        else
            locks_.erase(linkIt->second.device);
        return reply(ErrorOnly(error));
    }
    case 20: { // device_enable_srq
        std::uint32_t enable = 0;
        std::string handle;
        if (!reader.U32(enable) || !reader.Opaque(handle, 40)) return garbage();
        return reply(ErrorOnly(ownLink ? NoError : InvalidLinkIdentifier));
    }
    case 22: { // device_docmd: no bus-specific commands on a LAN instrument
        XdrWriter result;
        result.U32(ownLink ? OperationNotSupported : InvalidLinkIdentifier);
        result.Opaque({});
        return reply(result.Data());
    }
    case 23: { // destroy_link
        std::uint32_t error = ownLink ? NoError : InvalidLinkIdentifier;
        if (ownLink) {
            DestroyLink(linkId);
            std::erase(connection.links, linkId);
        }
        return reply(ErrorOnly(error));
    }
    default:
        return RpcAcceptedReply(xid, AcceptStat::ProcUnavail);
    }
}

} // namespace zep::instsim
