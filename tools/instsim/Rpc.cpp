// XDR primitives and the ONC RPC message header (version 2, AUTH_NONE replies).
#include "Rpc.h"

namespace zep::instsim {

bool XdrReader::U32(std::uint32_t& value) {
    if (data_.size() - pos_ < 4) return false;
    const auto* p = reinterpret_cast<const unsigned char*>(data_.data() + pos_);
    value = (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
    pos_ += 4;
    return true;
}

bool XdrReader::I32(std::int32_t& value) {
    std::uint32_t raw = 0;
    if (!U32(raw)) return false;
    value = static_cast<std::int32_t>(raw);
    return true;
}

bool XdrReader::Opaque(std::string& value, std::uint32_t maxLength) {
    std::uint32_t length = 0;
    if (!U32(length) || length > maxLength) return false;
    std::size_t padded = (static_cast<std::size_t>(length) + 3) & ~std::size_t{3};
    if (data_.size() - pos_ < padded) return false;
    value.assign(data_.substr(pos_, length));
    pos_ += padded;
    return true;
}

bool XdrReader::Skip(std::size_t bytes) {
    if (data_.size() - pos_ < bytes) return false;
    pos_ += bytes;
    return true;
}

void XdrWriter::U32(std::uint32_t value) {
    data_ += static_cast<char>(value >> 24);
    data_ += static_cast<char>(value >> 16);
    data_ += static_cast<char>(value >> 8);
    data_ += static_cast<char>(value);
}

void XdrWriter::Opaque(std::string_view value) {
    U32(static_cast<std::uint32_t>(value.size()));
    data_.append(value);
    data_.append((4 - value.size() % 4) % 4, '\0');
}

RpcParse ParseRpcCall(std::string_view message, RpcCall& call) {
    XdrReader reader(message);
    std::uint32_t type = 0, rpcVersion = 0;
    if (!reader.U32(call.xid) || !reader.U32(type)) return RpcParse::Malformed;
    if (type != 0) return RpcParse::NotACall;
    if (!reader.U32(rpcVersion)) return RpcParse::Malformed;
    if (rpcVersion != 2) return RpcParse::BadRpcVersion;
    if (!reader.U32(call.program) || !reader.U32(call.version) || !reader.U32(call.procedure))
        return RpcParse::Malformed;
    for (int i = 0; i < 2;
         ++i) { // credentials, then verifier: flavor and an opaque body of at most 400 bytes
        std::uint32_t flavor = 0;
        std::string body;
        if (!reader.U32(flavor) || !reader.Opaque(body, 400)) return RpcParse::Malformed;
    }
    call.args = reader.Rest();
    return RpcParse::Ok;
}

std::string RpcAcceptedReply(std::uint32_t xid, AcceptStat stat, std::string_view results, std::uint32_t low,
                             std::uint32_t high) {
    XdrWriter writer;
    writer.U32(xid);
    writer.U32(1); // REPLY
    writer.U32(0); // MSG_ACCEPTED
    writer.U32(0); // verifier AUTH_NONE
    writer.U32(0);
    writer.U32(static_cast<std::uint32_t>(stat));
    std::string reply = writer.Data();
    if (stat == AcceptStat::Success) {
        reply.append(results);
    } else if (stat == AcceptStat::ProgMismatch) {
        XdrWriter versions;
        versions.U32(low);
        versions.U32(high);
        reply += versions.Data();
    }
    return reply;
}

std::string RpcVersionMismatchReply(std::uint32_t xid) {
    XdrWriter writer;
    writer.U32(xid);
    writer.U32(1); // REPLY
    writer.U32(1); // MSG_DENIED
    writer.U32(0); // RPC_MISMATCH
    writer.U32(2);
    writer.U32(2);
    return writer.Data();
}

} // namespace zep::instsim
