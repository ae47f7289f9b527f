// A stand-in for a vendor VISA library, exporting the standard C entry points. It records each call
// and answers like one instrument at "TCPIP::fake.example::INSTR"; tests read the record through
// FakeVisa_TakeLog. Built once complete and once without viReadSTB.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

using ViStatus = std::int32_t;
using ViSession = std::uint32_t;
using ViUInt32 = std::uint32_t;
using ViUInt16 = std::uint16_t;
using ViAttrState = std::conditional_t<sizeof(void*) == 8, std::uint64_t, std::uint32_t>;

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr ViStatus Success = 0;
constexpr ViStatus TermChar = 0x3FFF0005;
constexpr ViStatus InvObject = static_cast<ViStatus>(0xBFFF000E);
constexpr ViStatus NotFound = static_cast<ViStatus>(0xBFFF0011);
constexpr ViStatus Timeout = static_cast<ViStatus>(0xBFFF0015);
constexpr ViSession Manager = 7;
constexpr ViSession Instrument = 8;
constexpr ViSession FindList = 9;

std::string callLog;
std::string taken;
std::string pendingAnswer;
ViUInt32 timeoutValue = 2000;
int findNext = 0;

void Log(const std::string& line) {
    callLog += line + "\n";
}

} // namespace

FAKE_EXPORT const char* FakeVisa_TakeLog() {
    taken = callLog;
    callLog.clear();
    return taken.c_str();
}

FAKE_EXPORT ViStatus viOpenDefaultRM(ViSession* session) {
    Log("viOpenDefaultRM");
    *session = Manager;
    return Success;
}

FAKE_EXPORT ViStatus viOpen(ViSession manager, const char* name, ViUInt32 mode, ViUInt32 timeout,
                            ViSession* session) {
    Log("viOpen " + std::to_string(manager) + " " + name + " " + std::to_string(mode) + " " +
        std::to_string(timeout));
    if (manager != Manager) {
        *session = 0;
        return InvObject;
    }
    if (std::strcmp(name, "TCPIP::fake.example::INSTR") != 0) {
        *session = 0;
        return NotFound;
    }
    *session = Instrument;
    return Success;
}

FAKE_EXPORT ViStatus viClose(ViSession session) {
    Log("viClose " + std::to_string(session));
    return Success;
}

FAKE_EXPORT ViStatus viSetAttribute(ViSession session, ViUInt32 attribute, ViAttrState value) {
    char text[64];
    std::snprintf(text, sizeof text, "viSetAttribute %u 0x%08X %llu", session, attribute,
                  static_cast<unsigned long long>(value));
    Log(text);
    if (attribute == 0x3FFF001A) {
        timeoutValue = static_cast<ViUInt32>(value);
    }
    return session == Instrument ? Success : InvObject;
}

FAKE_EXPORT ViStatus viGetAttribute(ViSession session, ViUInt32 attribute, void* value) {
    Log("viGetAttribute " + std::to_string(session));
    if (attribute != 0x3FFF001A) {
        return static_cast<ViStatus>(0xBFFF001D);
    }
    // The time-out is a 32-bit attribute: only four bytes are written.
    std::memcpy(value, &timeoutValue, sizeof timeoutValue);
    return Success;
}

FAKE_EXPORT ViStatus viWrite(ViSession session, const unsigned char* data, ViUInt32 count,
                             ViUInt32* written) {
    const std::string bytes(reinterpret_cast<const char*>(data), count);
    Log("viWrite " + std::to_string(session) + " " + bytes);
    if (session != Instrument) {
        *written = 0;
        return InvObject;
    }
    if (bytes == "*IDN?\n") {
        pendingAnswer = "FAKE,VISA-LIBRARY,0,1.0\n";
    }
    *written = count;
    return Success;
}

FAKE_EXPORT ViStatus viRead(ViSession session, unsigned char* buffer, ViUInt32 count, ViUInt32* read) {
    Log("viRead " + std::to_string(session) + " " + std::to_string(count));
    if (pendingAnswer.empty()) {
        *read = 0;
        return Timeout;
    }
    const std::size_t take = pendingAnswer.size() < count ? pendingAnswer.size() : count;
    std::memcpy(buffer, pendingAnswer.data(), take);
    pendingAnswer.erase(0, take);
    *read = static_cast<ViUInt32>(take);
    return TermChar;
}

#ifndef FAKE_VISA_WITHOUT_READSTB
FAKE_EXPORT ViStatus viReadSTB(ViSession session, ViUInt16* status) {
    Log("viReadSTB " + std::to_string(session));
    *status = 0x50;
    return Success;
}
#endif

FAKE_EXPORT ViStatus viClear(ViSession session) {
    Log("viClear " + std::to_string(session));
    return Success;
}

FAKE_EXPORT ViStatus viGpibSendIFC(ViSession session) {
    Log("viGpibSendIFC " + std::to_string(session));
    return session == 0 ? InvObject : Success;
}

FAKE_EXPORT ViStatus viGpibControlREN(ViSession session, ViUInt16 mode) {
    Log("viGpibControlREN " + std::to_string(session) + " " + std::to_string(mode));
    return Success;
}

FAKE_EXPORT ViStatus viFindRsrc(ViSession manager, const char* expression, ViSession* list, ViUInt32* count,
                                char* descriptor) {
    Log(std::string("viFindRsrc ") + std::to_string(manager) + " " + expression);
    if (std::strcmp(expression, "?*::INSTR") != 0) {
        *list = 0;
        *count = 0;
        descriptor[0] = '\0';
        return NotFound;
    }
    *list = FindList;
    *count = 2;
    std::strcpy(descriptor, "TCPIP::fake.example::INSTR");
    findNext = 1;
    return Success;
}

FAKE_EXPORT ViStatus viFindNext(ViSession list, char* descriptor) {
    Log("viFindNext " + std::to_string(list));
    if (list != FindList || findNext != 1) {
        descriptor[0] = '\0';
        return NotFound;
    }
    ++findNext;
    std::strcpy(descriptor, "GPIB0::5::INSTR");
    return Success;
}
