// XDR encoding and ONC RPC call/reply messages (record marking is done by the connection).
// Written apart from the product's RPC client and the tests' on purpose: each checks the others.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zep::instsim {

class XdrReader {
  public:
    explicit XdrReader(std::string_view data) : data_(data) {}
    bool U32(std::uint32_t& value);
    bool I32(std::int32_t& value);
    bool Opaque(std::string& value, std::uint32_t maxLength); // variable-length opaque or string
    bool Skip(std::size_t bytes);
    std::string_view Rest() const { return data_.substr(pos_); }
    bool AtEnd() const { return pos_ == data_.size(); }

  private:
    std::string_view data_;
    std::size_t pos_ = 0;
};

class XdrWriter {
  public:
    void U32(std::uint32_t value);
    void I32(std::int32_t value) { U32(static_cast<std::uint32_t>(value)); }
    void Opaque(std::string_view value);
    const std::string& Data() const { return data_; }

  private:
    std::string data_;
};

struct RpcCall {
    std::uint32_t xid = 0;
    std::uint32_t program = 0;
    std::uint32_t version = 0;
    std::uint32_t procedure = 0;
    std::string_view args; // the call's arguments, after credentials and verifier
};

enum class RpcParse { Ok, NotACall, BadRpcVersion, Malformed };

// Parses the header of a call message. A reply or garbage gives NotACall/Malformed; an RPC version
// other than 2 gives BadRpcVersion (xid is set so the caller can deny it).
RpcParse ParseRpcCall(std::string_view message, RpcCall& call);

enum class AcceptStat : std::uint32_t {
    Success = 0,
    ProgUnavail = 1,
    ProgMismatch = 2,
    ProcUnavail = 3,
    GarbageArgs = 4
};

// An accepted reply: results follow for Success; low/high versions for ProgMismatch.
std::string RpcAcceptedReply(std::uint32_t xid, AcceptStat stat, std::string_view results = {},
                             std::uint32_t low = 0, std::uint32_t high = 0);
std::string RpcVersionMismatchReply(std::uint32_t xid);

} // namespace zep::instsim
