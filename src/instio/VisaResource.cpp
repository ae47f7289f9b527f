// Resource string parsing shared by the built-in implementation and its find and parse calls.
#include "instio/VisaResource.h"

#include "common/StringOp.h"

#include <array>
#include <charconv>

namespace zep {
namespace {

struct InterfaceWord {
    std::string_view word;
    VisaInterface interface;
};

// Longer words first so "GPIB-VXI" is not read as "GPIB" followed by "-VXI".
constexpr std::array<InterfaceWord, 8> InterfaceWords{{
    {"GPIB-VXI", VisaInterface::GpibVxi},
    {"GPIB", VisaInterface::Gpib},
    {"VXI", VisaInterface::Vxi},
    {"ASRL", VisaInterface::Asrl},
    {"PXI", VisaInterface::Pxi},
    {"TCPIP", VisaInterface::Tcpip},
    {"USB", VisaInterface::Usb},
    {"VMIB", VisaInterface::Vmib},
}};

constexpr std::array<std::string_view, 7> ClassWords{"INSTR",     "SOCKET", "INTFC", "SERVANT",
                                                     "BACKPLANE", "MEMACC", "RAW"};

std::optional<unsigned> ParseUnsigned(std::string_view text, unsigned maximum) {
    if (text.empty() || text.size() > 10) {
        return std::nullopt;
    }
    unsigned value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value > maximum) {
        return std::nullopt;
    }
    return value;
}

// Splits at "::"; a field that starts with "[" runs to the matching "]" so IPv6 hosts survive.
std::optional<std::vector<std::string>> SplitFields(std::string_view text) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
        std::size_t searchFrom = start;
        if (start < text.size() && text[start] == '[') {
            const std::size_t close = text.find(']', start);
            if (close == std::string_view::npos) {
                return std::nullopt;
            }
            searchFrom = close;
        }
        const std::size_t separator = text.find("::", searchFrom);
        if (separator == std::string_view::npos) {
            fields.emplace_back(text.substr(start));
            return fields;
        }
        fields.emplace_back(text.substr(start, separator - start));
        start = separator + 2;
    }
}

bool IsClassWord(std::string_view text) {
    const std::string upper = ToUpperAscii(text);
    for (std::string_view word : ClassWords) {
        if (upper == word) {
            return true;
        }
    }
    return false;
}

bool CheckTcpip(VisaResource& resource) {
    const auto& fields = resource.fields;
    if (fields.empty() || fields[0].empty()) {
        return false;
    }
    resource.host = fields[0];
    if (resource.host.size() > 2 && resource.host.front() == '[' && resource.host.back() == ']') {
        resource.host = resource.host.substr(1, resource.host.size() - 2);
    }
    if (resource.resourceClass == "SOCKET") {
        if (fields.size() != 2) {
            return false;
        }
        const auto port = ParseUnsigned(fields[1], 65535);
        if (!port || *port == 0) {
            return false;
        }
        resource.port = static_cast<std::uint16_t>(*port);
        return true;
    }
    if (resource.resourceClass == "INSTR") {
        if (fields.size() > 2 || (fields.size() == 2 && fields[1].empty())) {
            return false;
        }
        resource.lanDevice = fields.size() == 2 ? fields[1] : "inst0";
        return true;
    }
    return false;
}

bool CheckGpib(const VisaResource& resource) {
    const auto& fields = resource.fields;
    if (resource.resourceClass == "INTFC" || resource.resourceClass == "SERVANT") {
        return fields.empty();
    }
    if (resource.resourceClass != "INSTR" || fields.empty() || fields.size() > 2) {
        return false;
    }
    if (!ParseUnsigned(fields[0], 30)) {
        return false;
    }
    return fields.size() == 1 || ParseUnsigned(fields[1], 126).has_value();
}

bool CheckOthers(const VisaResource& resource) {
    const auto& fields = resource.fields;
    for (const auto& field : fields) {
        if (field.empty()) {
            return false;
        }
    }
    switch (resource.interface) {
    case VisaInterface::Asrl:
        return resource.resourceClass == "INSTR" && fields.empty();
    case VisaInterface::Usb:
        return (resource.resourceClass == "INSTR" || resource.resourceClass == "RAW") && fields.size() >= 3 &&
               fields.size() <= 4;
    case VisaInterface::Vmib:
        return resource.resourceClass == "INSTR" && fields.size() == 1;
    case VisaInterface::Vxi:
    case VisaInterface::GpibVxi:
        if (resource.resourceClass == "INSTR") {
            return fields.size() == 1;
        }
        return fields.size() <= 1 && resource.resourceClass != "SOCKET" && resource.resourceClass != "RAW";
    case VisaInterface::Pxi:
        return (resource.resourceClass == "INSTR" && !fields.empty()) ||
               (resource.resourceClass == "MEMACC" && fields.empty());
    default:
        return false;
    }
}

} // namespace

std::optional<VisaResource> ParseVisaResource(std::string_view text) {
    std::string_view rest = text;
    while (!rest.empty() && rest.front() == ' ') {
        rest.remove_prefix(1);
    }
    while (!rest.empty() && rest.back() == ' ') {
        rest.remove_suffix(1);
    }
    VisaResource resource;
    if (rest.size() > 7 && EqualsIgnoreCase(rest.substr(0, 7), "visa://")) {
        rest.remove_prefix(7);
        const std::size_t slash = rest.find('/');
        if (slash == std::string_view::npos || slash == 0) {
            return std::nullopt;
        }
        resource.remoteServer = std::string(rest.substr(0, slash));
        rest.remove_prefix(slash + 1);
    }
    auto fields = SplitFields(rest);
    if (!fields || fields->empty()) {
        return std::nullopt;
    }
    const std::string head = ToUpperAscii((*fields)[0]);
    bool matched = false;
    for (const auto& candidate : InterfaceWords) {
        if (head.compare(0, candidate.word.size(), candidate.word) != 0) {
            continue;
        }
        const std::string_view boardText = std::string_view(head).substr(candidate.word.size());
        if (!boardText.empty()) {
            const auto board = ParseUnsigned(boardText, 65535);
            if (!board) {
                continue;
            }
            resource.board = static_cast<std::uint16_t>(*board);
        }
        resource.interface = candidate.interface;
        matched = true;
        break;
    }
    if (!matched) {
        return std::nullopt;
    }
    fields->erase(fields->begin());
    if (!fields->empty() && IsClassWord(fields->back())) {
        resource.resourceClass = ToUpperAscii(fields->back());
        fields->pop_back();
    } else {
        resource.resourceClass = "INSTR";
    }
    resource.fields = std::move(*fields);
    const bool valid = resource.interface == VisaInterface::Tcpip  ? CheckTcpip(resource)
                       : resource.interface == VisaInterface::Gpib ? CheckGpib(resource)
                                                                   : CheckOthers(resource);
    if (!valid) {
        return std::nullopt;
    }
    return resource;
}

std::string CanonicalResourceName(const VisaResource& resource) {
    std::string name;
    if (!resource.remoteServer.empty()) {
        name = "visa://" + resource.remoteServer + "/";
    }
    for (const auto& candidate : InterfaceWords) {
        if (candidate.interface == resource.interface) {
            name += candidate.word;
            break;
        }
    }
    name += std::to_string(resource.board);
    if (resource.interface == VisaInterface::Tcpip) {
        const bool ipv6 = resource.host.find(':') != std::string::npos;
        name += "::" + (ipv6 ? "[" + resource.host + "]" : resource.host);
        name += resource.resourceClass == "SOCKET" ? "::" + std::to_string(resource.port)
                                                   : "::" + resource.lanDevice;
    } else {
        for (const auto& field : resource.fields) {
            name += "::" + field;
        }
    }
    return name + "::" + resource.resourceClass;
}

std::uint16_t InterfaceTypeNumber(VisaInterface interface) {
    switch (interface) {
    case VisaInterface::Gpib:
        return 1;
    case VisaInterface::Vxi:
        return 2;
    case VisaInterface::GpibVxi:
        return 3;
    case VisaInterface::Asrl:
        return 4;
    case VisaInterface::Pxi:
        return 5;
    case VisaInterface::Tcpip:
        return 6;
    case VisaInterface::Usb:
        return 7;
    case VisaInterface::Vmib:
        return 0;
    }
    return 0;
}

} // namespace zep
