// VISA resource strings taken apart the way a VISA library reads them: interface words in any letter
// case, optional board numbers, optional resource class, and the "visa://server/" prefix.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zep {

enum class VisaInterface { Gpib, GpibVxi, Vxi, Asrl, Pxi, Tcpip, Usb, Vmib };

struct VisaResource {
    std::string remoteServer; // from "visa://server[:port]/", empty for this computer
    VisaInterface interface = VisaInterface::Tcpip;
    std::uint16_t board = 0;
    std::string resourceClass;       // upper case: INSTR, SOCKET, INTFC, RAW, ...
    std::vector<std::string> fields; // the address fields between interface and class
    // TCPIP only:
    std::string host;
    std::string lanDevice;  // INSTR: "inst0" when not given
    std::uint16_t port = 0; // SOCKET
};

// The parsed resource, or nullopt when the text is not a resource string.
std::optional<VisaResource> ParseVisaResource(std::string_view text);

// VISA's canonical form ("TCPIP0::host::inst0::INSTR"), used as the session's VI_ATTR_RSRC_NAME.
std::string CanonicalResourceName(const VisaResource& resource);

// The standard interface type number (VI_INTF_...), 0 for the maker's VMIB.
std::uint16_t InterfaceTypeNumber(VisaInterface interface);

} // namespace zep
