// The SOCKET session: writes and reads on the TCP stream, the term character found in what arrived.
#include "instio/visa_builtin/SocketSession.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace zep {
namespace {

constexpr std::size_t SocketChunk = 65536;

} // namespace

SocketSession::SocketSession(ViSession resourceManager, VisaResource resource)
    : BuiltinSession(resourceManager, std::move(resource)) {
    // Instruments end their answers with a line feed; reads stop there.
    termCharEnabled_ = true;
}

ViStatus SocketSession::Open(const BuiltinVisaOptions& options, ViAccessMode /*accessMode*/) {
    const NetResult result =
        socket_.Connect(Resource().host, Resource().port, DeadlineAfter(options.connectTimeoutMs));
    return result == NetResult::Ok ? VI_SUCCESS : VI_ERROR_RSRC_NFOUND;
}

void SocketSession::Close() {
    socket_.Close();
}

ViStatus SocketSession::GetAttribute(ViAttr attribute, ViAttrState& value) const {
    if (attribute == VI_ATTR_TCPIP_PORT) {
        value = Resource().port;
        return VI_SUCCESS;
    }
    return BuiltinSession::GetAttribute(attribute, value);
}

ViStatus SocketSession::Write(const char* data, ViUInt32 count, ViUInt32& written) {
    const NetResult result = socket_.SendAll(data, count, DeadlineAfter(timeoutMs_));
    if (result == NetResult::Ok) {
        written = count;
        return VI_SUCCESS;
    }
    return result == NetResult::Timeout ? VI_ERROR_TMO : VI_ERROR_CONN_LOST;
}

ViStatus SocketSession::Read(char* buffer, ViUInt32 count, ViUInt32& read) {
    return ReadUntil(termCharEnabled_, termChar_, buffer, count, read);
}

ViStatus SocketSession::ReadUntil(bool termCharEnabled, char termChar, char* buffer, ViUInt32 count,
                                  ViUInt32& read) {
    const Deadline deadline = DeadlineAfter(timeoutMs_);
    while (true) {
        // Hand out what has arrived, up to the term character or the count.
        const std::size_t wanted = count - read;
        std::size_t take = std::min(wanted, received_.size());
        bool sawTermChar = false;
        if (termCharEnabled && take > 0) {
            const void* term = std::memchr(received_.data(), termChar, take);
            if (term != nullptr) {
                take = static_cast<std::size_t>(static_cast<const char*>(term) - received_.data()) + 1;
                sawTermChar = true;
            }
        }
        std::memcpy(buffer + read, received_.data(), take);
        received_.erase(0, take);
        read += static_cast<ViUInt32>(take);
        if (sawTermChar) {
            return VI_SUCCESS_TERM_CHAR;
        }
        if (read == count) {
            return VI_SUCCESS_MAX_CNT;
        }
        char chunk[SocketChunk];
        std::size_t received = 0;
        const NetResult result = socket_.ReceiveSome(chunk, sizeof chunk, deadline, received);
        if (result == NetResult::Timeout) {
            return VI_ERROR_TMO;
        }
        if (result != NetResult::Ok) {
            return VI_ERROR_CONN_LOST;
        }
        received_.append(chunk, received);
    }
}

ViStatus SocketSession::ReadSTB(ViUInt16& statusByte) {
    static constexpr char Query[] = "*STB?\n";
    // Bytes that came unasked (a late answer after a read time-out) would be taken for the status
    // byte: they go first.
    received_.clear();
    socket_.DiscardPending();
    ViUInt32 written = 0;
    const ViStatus sent = Write(Query, sizeof Query - 1, written);
    if (sent < 0) {
        return sent;
    }
    char answer[64];
    ViUInt32 read = 0;
    const ViStatus status = ReadUntil(true, '\n', answer, sizeof answer, read);
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

ViStatus SocketSession::Clear() {
    received_.clear();
    socket_.DiscardPending();
    return socket_.IsOpen() ? VI_SUCCESS : VI_ERROR_CONN_LOST;
}

ViStatus SocketSession::ControlREN(ViUInt16 /*mode*/) {
    return VI_ERROR_NSUP_OPER;
}

} // namespace zep
