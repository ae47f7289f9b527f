// Chooses between the system VISA library and the built-in implementation.
#include "instio/VisaFactory.h"

#include "common/StringOp.h"
#include "instio/visa_builtin/BuiltinVisa.h"
#include "instio/visa_system/SystemVisa.h"

#include <charconv>
#include <cstdlib>

namespace zep {
namespace {

enum class VisaKind { Automatic, Builtin, LibraryPath };

VisaKind KindOf(std::string_view choice) {
    if (choice.empty() || EqualsIgnoreCase(choice, "auto")) {
        return VisaKind::Automatic;
    }
    if (EqualsIgnoreCase(choice, "builtin")) {
        return VisaKind::Builtin;
    }
    return VisaKind::LibraryPath;
}

// ZEP_VXI11_PORTMAPPER moves the portmapper look-up off port 111, for servers that cannot bind it.
BuiltinVisaOptions BuiltinOptionsFromEnvironment() {
    BuiltinVisaOptions options;
    if (const char* text = std::getenv("ZEP_VXI11_PORTMAPPER"); text != nullptr && *text != '\0') {
        unsigned port = 0;
        const std::string_view value(text);
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), port);
        if (error == std::errc() && end == value.data() + value.size() && port > 0 && port <= 65535) {
            options.portmapperPort = static_cast<std::uint16_t>(port);
        }
    }
    return options;
}

} // namespace

std::string VisaChoiceFromEnvironment(std::string_view option) {
    if (!option.empty()) {
        return std::string(option);
    }
    const char* fromEnvironment = std::getenv("ZEP_VISA");
    return fromEnvironment != nullptr ? fromEnvironment : "";
}

std::unique_ptr<Visa> MakeVisa(std::string_view choice, std::string& error) {
    error.clear();
    switch (KindOf(choice)) {
    case VisaKind::Builtin:
        return std::make_unique<BuiltinVisa>(BuiltinOptionsFromEnvironment());
    case VisaKind::LibraryPath:
        return SystemVisa::Load(std::string(choice), error);
    case VisaKind::Automatic: {
        std::string ignored;
        if (auto installed = SystemVisa::LoadInstalled(ignored)) {
            return installed;
        }
        return std::make_unique<BuiltinVisa>(BuiltinOptionsFromEnvironment());
    }
    }
    return nullptr;
}

} // namespace zep
