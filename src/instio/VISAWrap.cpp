// VISA access layer: each operation, its log lines and the last-transfer values.
#include "instio/VISAWrap.h"

#include "common/TextFile.h"
#include "common/Utf8.h"

#include <array>
#include <fstream>

namespace zep {
namespace {

// Log numbers are 32-bit signed, as the sessions and statuses are stored.
std::string Signed(std::uint32_t value) {
    return std::to_string(static_cast<std::int32_t>(value));
}
std::string Signed(std::int32_t value) {
    return std::to_string(value);
}

std::string StatusLine(ViStatus status) {
    return "< Status: " + Signed(status);
}

// One logged VISA call: the "before" line, the call, the "after" line built from its status. The lines
// are built only when the log is active, which it is not in normal runs.
template <typename Before, typename Call, typename After>
ViStatus LoggedCall(VISAWrap& wrap, Before before, Call call, After after) {
    if (wrap.LogActive()) {
        wrap.LogVisaCall(before());
    }
    const ViStatus status = call();
    if (wrap.LogActive()) {
        wrap.LogVisaCall(after(status));
    }
    return status;
}

constexpr std::array<ViUInt32, 18> TimeoutTable{
    VI_TMO_INFINITE, 1, 1, 1, 1, 1, 3, 10, 30, 100, 300, 1000, 3000, 10000, 30000, 100000, 300000, 1000000};

} // namespace

std::string ToInstrumentBytes(std::string_view text) {
    bool ascii = true;
    for (const char c : text) {
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    }
    if (ascii || !utf8::IsValid(text)) {
        return std::string(text);
    }
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        uint32_t codePoint = 0;
        i += utf8::DecodeAt(text, i, codePoint); // the text is valid UTF-8: never 0
        bytes += utf8::ToWindows1252(codePoint).value_or('?');
    }
    return bytes;
}

void VISAWrap::ConfigureLog(bool debugMode, bool visaLog, std::filesystem::path logFile) {
    logActive_ = debugMode && visaLog;
    logFile_ = std::move(logFile);
}

void VISAWrap::LogVisaCall(std::string_view line) {
    if (!logActive_) {
        return;
    }
    std::ofstream file(logFile_, std::ios::binary | std::ios::app);
    file.write(line.data(), static_cast<std::streamsize>(line.size()));
    file.write("\r\n", 2);
}

void VISAWrap::OpenSession(std::string_view resource, ViSession& session, ViUInt32 timeoutMs) {
    const auto handleLine = [&](ViStatus status) {
        return "< Handle: " + Signed(session) + " (Status: " + Signed(status) + ")";
    };
    ViSession manager = VI_NULL;
    LoggedCall(
        *this, [] { return std::string("> viOpenDefaultRM"); },
        [&] { return visa_.viOpenDefaultRM(manager); },
        [&](ViStatus status) {
            return "< MasterSession: " + Signed(manager) + " (Status: " + Signed(status) + ")";
        });
    session = VI_NULL;
    LoggedCall(
        *this, [&] { return "> viOpen(" + Signed(manager) + "," + std::string(resource) + ",0,0)"; },
        [&] { return visa_.viOpen(manager, resource, VI_NO_LOCK, 0, session); }, handleLine);
    LoggedCall(
        *this,
        [&] {
            return "> viSetAttribute(" + Signed(session) + ",VI_ATTR_TMO_VALUE," + Signed(timeoutMs) + ")";
        },
        [&] { return visa_.viSetAttribute(session, VI_ATTR_TMO_VALUE, timeoutMs); }, handleLine);
}

ViStatus VISAWrap::WriteText(ViSession session, std::string_view text) {
    std::string bytes = ToInstrumentBytes(text);
    if (bytes.empty() || bytes.back() != '\n') {
        bytes += '\n';
    }
    const auto count = static_cast<ViUInt32>(bytes.size());
    ViUInt32 written = 0;
    lastStatus_ = LoggedCall(
        *this, [&] { return "> viWrite(" + Signed(session) + ",\"" + bytes + "\"," + Signed(count) + ")"; },
        [&] { return visa_.viWrite(session, bytes.data(), count, written); },
        [&](ViStatus status) {
            return "< Byte written: " + Signed(written) + " (Status: " + Signed(status) + ")";
        });
    lastCount_ = written;
    return lastStatus_;
}

ViStatus VISAWrap::ReadText(ViSession session, std::string& buffer) {
    const auto length = static_cast<ViUInt32>(buffer.size());
    ViUInt32 read = 0;
    lastStatus_ = LoggedCall(
        *this, [&] { return "> viRead(" + Signed(session) + "), Buffer Len:" + Signed(length); },
        [&] { return visa_.viRead(session, buffer.data(), length, read); },
        [&](ViStatus status) {
            return "< Buffer Contents: " + buffer + " (Status: " + Signed(status) + ")";
        });
    lastCount_ = read;
    return lastStatus_;
}

ViStatus VISAWrap::QueryText(ViSession session, std::string_view command, std::string& buffer) {
    WriteText(session, command);
    return ReadText(session, buffer);
}

std::string VISAWrap::ReadDefiniteBlock(ViSession session) {
    // Reads exactly count bytes, going on after term characters: block data are binary.
    auto readExactly = [&](std::size_t count, std::string& into) {
        lastCount_ = 0;
        while (into.size() < count) {
            const std::size_t chunk = std::min<std::size_t>(count - into.size(), 1 << 16);
            const std::size_t start = into.size();
            into.resize(start + chunk);
            ViUInt32 read = 0;
            lastStatus_ = visa_.viRead(session, into.data() + start, static_cast<ViUInt32>(chunk), read);
            into.resize(start + read);
            lastCount_ = read;
            if (lastStatus_ < 0 || read == 0) {
                return false;
            }
        }
        return true;
    };
    std::string header;
    if (!readExactly(2, header)) {
        return {};
    }
    if (header[0] != '#' || header[1] < '1' || header[1] > '9') {
        lastStatus_ = VI_ERROR_IO; // not a definite-length block header
        return {};
    }
    std::string lengthText;
    if (!readExactly(static_cast<std::size_t>(header[1] - '0'), lengthText)) {
        return {};
    }
    std::size_t length = 0;
    for (const char digit : lengthText) {
        if (digit < '0' || digit > '9') {
            lastStatus_ = VI_ERROR_IO;
            return {};
        }
        length = length * 10 + static_cast<std::size_t>(digit - '0');
    }
    std::string data;
    readExactly(length, data);
    lastCount_ = static_cast<ViUInt32>(data.size());
    return data;
}

ViStatus VISAWrap::ReadStatusByte(ViSession session, ViUInt16& statusByte) {
    statusByte = 0;
    return visa_.viReadSTB(session, statusByte);
}

ViStatus VISAWrap::ClearDevice(ViSession session) {
    return LoggedCall(
        *this, [&] { return "> viClear(" + Signed(session) + ")"; }, [&] { return visa_.viClear(session); },
        StatusLine);
}

ViStatus VISAWrap::SendInterfaceClear(ViSession session) {
    return LoggedCall(
        *this, [&] { return "> viGpibSendIFC(" + Signed(session) + ")"; },
        [&] { return visa_.viGpibSendIFC(session); }, StatusLine);
}

void VISAWrap::GoToLocal(ViSession session) {
    WriteText(session, "*GTL");
    visa_.viGpibControlREN(session, VI_GPIB_REN_DEASSERT_GTL);
}

ViUInt32 VISAWrap::TimeoutCodeMilliseconds(int code) {
    if (code < 0) {
        return VI_TMO_IMMEDIATE;
    }
    if (code < static_cast<int>(TimeoutTable.size())) {
        return TimeoutTable[static_cast<std::size_t>(code)];
    }
    return static_cast<ViUInt32>(code);
}

ViStatus VISAWrap::SetTimeoutCode(ViSession session, int code) {
    return visa_.viSetAttribute(session, VI_ATTR_TMO_VALUE, TimeoutCodeMilliseconds(code));
}

void VISAWrap::IbConfig(int, int, int) {
    LogVisaCall("VISA - NOT IMPLEMENTED (ibconfig)");
}

void VISAWrap::IbSre(int, int) {
    LogVisaCall("VISA - NOT IMPLEMENTED (ibsre)");
}

void VISAWrap::IbOnl(int, int) {
    LogVisaCall("VISA - NOT IMPLEMENTED (ibonl)");
}

void VISAWrap::BeforeBlock(bool simulation, bool toggleSRE) {
    if (!simulation && toggleSRE) {
        IbSre(0, 1);
    }
}

void VISAWrap::AfterBlock(bool simulation, bool toggleSRE) {
    if (simulation) {
        return;
    }
    // Board 0 of the older numbering; VISA rejects it as a session and the status is only logged.
    SendInterfaceClear(VI_NULL);
    if (toggleSRE) {
        IbSre(0, 0);
    }
}

std::string VISAWrap::StripLineEnds(std::string_view text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

} // namespace zep
