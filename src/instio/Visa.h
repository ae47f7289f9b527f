// The VISA calls ZEP uses, with the standard's types, status codes and attribute numbers, behind one
// interface so the layers above never know whether they talk to the system library, the built-in
// LAN implementation or a test double.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace zep {

using ViStatus = std::int32_t;
using ViSession = std::uint32_t;
using ViFindList = std::uint32_t;
using ViUInt32 = std::uint32_t;
using ViUInt16 = std::uint16_t;
using ViInt16 = std::int16_t;
using ViAttr = std::uint32_t;
// 64 bits wide where pointers are, as the standard's 64-bit binding declares it.
using ViAttrState = std::conditional_t<sizeof(void*) == 8, std::uint64_t, std::uint32_t>;
using ViAccessMode = std::uint32_t;
using ViUInt8 = std::uint8_t;

inline constexpr ViSession VI_NULL = 0;
inline constexpr std::size_t VI_FIND_BUFLEN = 256;

// Completion and warning codes.
inline constexpr ViStatus VI_SUCCESS = 0;
inline constexpr ViStatus VI_SUCCESS_TERM_CHAR = 0x3FFF0005;
inline constexpr ViStatus VI_SUCCESS_MAX_CNT = 0x3FFF0006;
inline constexpr ViStatus VI_SUCCESS_DEV_NPRESENT = 0x3FFF007D;
inline constexpr ViStatus VI_WARN_NULL_OBJECT = 0x3FFF0082;
inline constexpr ViStatus VI_WARN_NSUP_ATTR_STATE = 0x3FFF0084;

// Error codes (negative as 32-bit signed values).
inline constexpr ViStatus VisaError(std::uint32_t code) {
    return static_cast<ViStatus>(code);
}
inline constexpr ViStatus VI_ERROR_SYSTEM_ERROR = VisaError(0xBFFF0000);
inline constexpr ViStatus VI_ERROR_INV_OBJECT = VisaError(0xBFFF000E);
inline constexpr ViStatus VI_ERROR_RSRC_LOCKED = VisaError(0xBFFF000F);
inline constexpr ViStatus VI_ERROR_INV_EXPR = VisaError(0xBFFF0010);
inline constexpr ViStatus VI_ERROR_RSRC_NFOUND = VisaError(0xBFFF0011);
inline constexpr ViStatus VI_ERROR_INV_RSRC_NAME = VisaError(0xBFFF0012);
inline constexpr ViStatus VI_ERROR_INV_ACC_MODE = VisaError(0xBFFF0013);
inline constexpr ViStatus VI_ERROR_TMO = VisaError(0xBFFF0015);
inline constexpr ViStatus VI_ERROR_CLOSING_FAILED = VisaError(0xBFFF0016);
inline constexpr ViStatus VI_ERROR_NSUP_ATTR = VisaError(0xBFFF001D);
inline constexpr ViStatus VI_ERROR_NSUP_ATTR_STATE = VisaError(0xBFFF001E);
inline constexpr ViStatus VI_ERROR_ATTR_READONLY = VisaError(0xBFFF001F);
inline constexpr ViStatus VI_ERROR_ABORT = VisaError(0xBFFF0030);
inline constexpr ViStatus VI_ERROR_RAW_WR_PROT_VIOL = VisaError(0xBFFF0034);
inline constexpr ViStatus VI_ERROR_RAW_RD_PROT_VIOL = VisaError(0xBFFF0035);
inline constexpr ViStatus VI_ERROR_OUTP_PROT_VIOL = VisaError(0xBFFF0036);
inline constexpr ViStatus VI_ERROR_INP_PROT_VIOL = VisaError(0xBFFF0037);
inline constexpr ViStatus VI_ERROR_ALLOC = VisaError(0xBFFF003C);
inline constexpr ViStatus VI_ERROR_IO = VisaError(0xBFFF003E);
inline constexpr ViStatus VI_ERROR_NLISTENERS = VisaError(0xBFFF005F);
inline constexpr ViStatus VI_ERROR_NSUP_OPER = VisaError(0xBFFF0067);
inline constexpr ViStatus VI_ERROR_INV_PARAMETER = VisaError(0xBFFF0078);
inline constexpr ViStatus VI_ERROR_INV_MODE = VisaError(0xBFFF0091);
inline constexpr ViStatus VI_ERROR_LIBRARY_NFOUND = VisaError(0xBFFF009E);
inline constexpr ViStatus VI_ERROR_FILE_ACCESS = VisaError(0xBFFF00A1);
inline constexpr ViStatus VI_ERROR_FILE_IO = VisaError(0xBFFF00A2);
inline constexpr ViStatus VI_ERROR_CONN_LOST = VisaError(0xBFFF00A6);

// The standard's name of a status ("VI_ERROR_CONN_LOST") and its code ("0xBFFF00A6"), for messages.
std::string VisaStatusText(ViStatus status);

// Attributes.
inline constexpr ViAttr VI_ATTR_RSRC_NAME = 0xBFFF0002;
inline constexpr ViAttr VI_ATTR_SEND_END_EN = 0x3FFF0016;
inline constexpr ViAttr VI_ATTR_TERMCHAR = 0x3FFF0018;
inline constexpr ViAttr VI_ATTR_TMO_VALUE = 0x3FFF001A;
inline constexpr ViAttr VI_ATTR_SUPPRESS_END_EN = 0x3FFF0036;
inline constexpr ViAttr VI_ATTR_TERMCHAR_EN = 0x3FFF0038;
inline constexpr ViAttr VI_ATTR_INTF_TYPE = 0x3FFF0171;
inline constexpr ViAttr VI_ATTR_INTF_NUM = 0x3FFF0176;
inline constexpr ViAttr VI_ATTR_TCPIP_ADDR = 0xBFFF0195;
inline constexpr ViAttr VI_ATTR_TCPIP_HOSTNAME = 0xBFFF0196;
inline constexpr ViAttr VI_ATTR_TCPIP_PORT = 0x3FFF0197;
inline constexpr ViAttr VI_ATTR_TCPIP_DEVICE_NAME = 0xBFFF0199;
inline constexpr ViAttr VI_ATTR_TCPIP_NODELAY = 0x3FFF019A;

inline constexpr ViUInt32 VI_TMO_IMMEDIATE = 0;
inline constexpr ViUInt32 VI_TMO_INFINITE = 0xFFFFFFFF;

inline constexpr ViAccessMode VI_NO_LOCK = 0;
inline constexpr ViAccessMode VI_EXCLUSIVE_LOCK = 1;
inline constexpr ViAccessMode VI_LOAD_CONFIG = 4;

// Interface types (VI_ATTR_INTF_TYPE, viParseRsrc).
inline constexpr ViUInt16 VI_INTF_GPIB = 1;
inline constexpr ViUInt16 VI_INTF_VXI = 2;
inline constexpr ViUInt16 VI_INTF_GPIB_VXI = 3;
inline constexpr ViUInt16 VI_INTF_ASRL = 4;
inline constexpr ViUInt16 VI_INTF_PXI = 5;
inline constexpr ViUInt16 VI_INTF_TCPIP = 6;
inline constexpr ViUInt16 VI_INTF_USB = 7;

// Modes of viGpibControlREN.
inline constexpr ViUInt16 VI_GPIB_REN_DEASSERT = 0;
inline constexpr ViUInt16 VI_GPIB_REN_ASSERT = 1;
inline constexpr ViUInt16 VI_GPIB_REN_DEASSERT_GTL = 2;
inline constexpr ViUInt16 VI_GPIB_REN_ASSERT_ADDRESS = 3;
inline constexpr ViUInt16 VI_GPIB_REN_ASSERT_LLO = 4;
inline constexpr ViUInt16 VI_GPIB_REN_ASSERT_ADDRESS_LLO = 5;
inline constexpr ViUInt16 VI_GPIB_REN_ADDRESS_GTL = 6;

// The VISA operations, one virtual per library entry point, in the standard's argument order. Out
// parameters are references; descriptors are returned as strings of at most VI_FIND_BUFLEN - 1
// characters, as the library would fill its 256-character buffers.
class Visa {
  public:
    virtual ~Visa() = default;

    // What this implementation is, for messages and support information ("builtin", a path, ...).
    virtual std::string Description() const = 0;

    virtual ViStatus viOpenDefaultRM(ViSession& resourceManager) = 0;
    virtual ViStatus viOpen(ViSession resourceManager, std::string_view resource, ViAccessMode accessMode,
                            ViUInt32 openTimeout, ViSession& session) = 0;
    virtual ViStatus viClose(ViSession sessionOrFindList) = 0;
    virtual ViStatus viSetAttribute(ViSession session, ViAttr attribute, ViAttrState value) = 0;
    virtual ViStatus viGetAttribute(ViSession session, ViAttr attribute, ViAttrState& value) = 0;
    virtual ViStatus viWrite(ViSession session, const void* data, ViUInt32 count, ViUInt32& written) = 0;
    virtual ViStatus viRead(ViSession session, void* buffer, ViUInt32 count, ViUInt32& read) = 0;
    virtual ViStatus viBufRead(ViSession session, void* buffer, ViUInt32 count, ViUInt32& read) = 0;
    virtual ViStatus viReadToFile(ViSession session, std::string_view fileName, ViUInt32 count,
                                  ViUInt32& read) = 0;
    virtual ViStatus viWriteFromFile(ViSession session, std::string_view fileName, ViUInt32 count,
                                     ViUInt32& written) = 0;
    // The built-in implementation has no status byte line on a raw socket: there it writes "*STB?"
    // and takes the next line as the status byte; over VXI-11 it uses device_readstb.
    virtual ViStatus viReadSTB(ViSession session, ViUInt16& statusByte) = 0;
    virtual ViStatus viClear(ViSession session) = 0;
    virtual ViStatus viGpibSendIFC(ViSession session) = 0;
    virtual ViStatus viGpibControlREN(ViSession session, ViUInt16 mode) = 0;
    virtual ViStatus viFindRsrc(ViSession resourceManager, std::string_view expression, ViFindList& findList,
                                ViUInt32& matchCount, std::string& firstDescriptor) = 0;
    virtual ViStatus viFindNext(ViFindList findList, std::string& descriptor) = 0;
    virtual ViStatus viParseRsrc(ViSession resourceManager, std::string_view resource,
                                 ViUInt16& interfaceType, ViUInt16& interfaceNumber) = 0;
};

} // namespace zep
