// Probing VISA resources and scanning the device cache's servers and patterns.
#include "discovery/VISAScan.h"

#include "common/StringOp.h"

#include <algorithm>

namespace zep {

namespace {

constexpr std::string_view Localhost = "localhost";
constexpr ViUInt32 IdnBufferSize = 1000;
constexpr ViUInt32 OptBufferSize = 4000;

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// Writes one message; every message ends with exactly one line feed, which a raw-socket instrument
// waits for before it answers.
ViStatus WriteMessage(Visa& visa, ViSession session, std::string_view message) {
    std::string bytes(message);
    bytes += '\n';
    ViUInt32 written = 0;
    return visa.viWrite(session, bytes.data(), static_cast<ViUInt32>(bytes.size()), written);
}

// Reads up to size bytes and cleans them as every instrument answer is cleaned.
std::string ReadAnswer(Visa& visa, ViSession session, ViUInt32 size) {
    std::string buffer(size, ' ');
    ViUInt32 read = 0;
    visa.viRead(session, buffer.data(), size, read);
    buffer.resize(std::min(read, size));
    return StripText(buffer);
}

} // namespace

VISAScan::VISAScan(Visa& visa, Host& host, DeviceTable& table) : visa_(visa), host_(host), table_(table) {}

std::string VISAScan::IDAnswer(size_t index) const {
    return At(index) ? At(index)->IDAnswer : std::string();
}
std::string VISAScan::VISAResString(size_t index) const {
    return At(index) ? At(index)->VISAResString : std::string();
}
std::string VISAScan::OptionList(size_t index) const {
    return At(index) ? At(index)->OptionList : std::string();
}
std::string VISAScan::DeviceTyp(size_t index) const {
    return At(index) ? At(index)->DeviceTyp : std::string();
}

void VISAScan::Scan(const DeviceCache& cache, std::string_view keyPath, int32_t timeoutMs,
                    bool /*resetIfNoIdn*/) {
    const std::vector<std::string> patterns = ReadNumberedValues(cache, keyPath, "DEVICE");
    const std::vector<std::string> servers = ReadNumberedValues(cache, keyPath, "SERVER");
    ScanStarting.Emit();
    table_.assign(1, DeviceRecord{});
    long deviceIndex = -1;
    ViSession resourceManager = VI_NULL;
    visa_.viOpenDefaultRM(resourceManager);
    for (const auto& server : servers) {
        const std::string prefix = server == Localhost ? std::string() : "visa://" + server + "/";
        for (const auto& pattern : patterns) {
            Exploring.Emit(pattern);
            const std::vector<std::string> found = FindResources(resourceManager, prefix + pattern);
            for (size_t i = 0; i < found.size(); ++i) {
                Exploring.Emit(found[i]);
                host_.View().Progress("resource", static_cast<int>(i + 1), static_cast<int>(found.size()));
                ++deviceIndex;
                if (!table_[0].VISAResString.empty()) table_.emplace_back();
                ProbeResource(resourceManager, found[i], static_cast<size_t>(deviceIndex), timeoutMs);
            }
            host_.View().Progress("resource", 0, 0);
            host_.ProcessEvents();
        }
    }
    // The find lists go with the resource manager.
    visa_.viClose(resourceManager);
}

std::vector<std::string> VISAScan::FindResources(ViSession resourceManager, const std::string& expression) {
    ViFindList findList = VI_NULL;
    ViUInt32 count = 0;
    std::string descriptor;
    if (visa_.viFindRsrc(resourceManager, expression, findList, count, descriptor) < VI_SUCCESS || count == 0)
        return {expression}; // a complete resource string the library does not list is probed as it is
    std::vector<std::string> found{descriptor};
    for (ViUInt32 i = 1; i < count; ++i) {
        if (visa_.viFindNext(findList, descriptor) < VI_SUCCESS) break;
        found.push_back(descriptor);
    }
    return found;
}

void VISAScan::ProbeResource(ViSession resourceManager, const std::string& resource, size_t index,
                             int32_t timeoutMs) {
    // The scan grows the table before each probe; a record always exists here.
    table_[index].VISAResString = resource;
    table_[index].DeviceTyp = "Device";
    table_[index].DeviceInfo = "----- (---)";

    ViSession session = VI_NULL;
    if (resource.find("LAN") == std::string::npos) {
        visa_.viOpen(resourceManager, resource, VI_NO_LOCK, 0, session);
    } else {
        // Tried as a VXI-11 instrument first, then with the maker's socket protocol.
        table_[index].VISAResString = ReplaceAll(resource, "LAN", "TCPIP");
        visa_.viOpen(resourceManager, table_[index].VISAResString, VI_NO_LOCK, 0, session);
        if (session < 1) {
            session = VI_NULL;
            table_[index].VISAResString = ReplaceAll(table_[index].VISAResString, "TCPIP", "VMIB");
            visa_.viOpen(resourceManager, table_[index].VISAResString, VI_NO_LOCK, 0, session);
        }
    }
    visa_.viSetAttribute(session, VI_ATTR_TMO_VALUE, static_cast<ViAttrState>(timeoutMs));

    [&] {
        if (WriteMessage(visa_, session, "*IDN?") == VI_ERROR_NLISTENERS) return; // nobody at that address
        table_[index].IDAnswer = ReadAnswer(visa_, session, IdnBufferSize);
        if (table_[index].IDAnswer.empty()) {
            ExploreResult.Emit("not found (output buffer empty)");
            return;
        }
        const std::string answer = Upper(table_[index].IDAnswer);
        if (answer.find(MakerWord) == std::string::npos) {
            table_[index].DeviceTyp = "DeviceUnknown";
            ExploreResult.Emit("unknown device");
            return;
        }
        if (answer.find(NoOptionQueryFamily) == std::string::npos) {
            WriteMessage(visa_, session, "*OPT?");
            table_[index].OptionList = ReadAnswer(visa_, session, OptBufferSize);
        }
        host_.ProcessEvents();
        ExploreResult.Emit(table_[index].DeviceInfo);
    }();

    visa_.viGpibControlREN(session, VI_GPIB_REN_DEASSERT_GTL);
    visa_.viClose(session);
}

ScanWindowLines::ScanWindowLines(VISAScan& scan, HostView& view)
    : starting_(scan.ScanStarting.Subscribe([&view] {
          view.ClearScanLines();
          view.ScanLine("SCANNING...");
      })),
      exploring_(scan.Exploring.Subscribe(
          [&view](std::string_view text) { view.ScanLine("checking " + std::string(text)); })),
      result_(scan.ExploreResult.Subscribe(
          [&view](std::string_view text) { view.ScanLine(" >> " + std::string(text)); })) {}

std::vector<AvailableInstrument> InstrumentsFromDeviceTable(const DeviceTable& table) {
    std::vector<AvailableInstrument> instruments;
    for (const auto& record : table) {
        if (record.DeviceTyp == "NoDevice") continue;
        AvailableInstrument entry;
        entry.Identification = record.IDAnswer;
        entry.Options = record.OptionList;
        entry.Resource = record.VISAResString;
        entry.Session = -1;
        entry.InterfaceKind = 1;
        instruments.push_back(std::move(entry));
    }
    // Nothing accepted leaves the list as it was made: one entry per record, the first one "---".
    if (instruments.empty()) {
        instruments.resize(std::max<size_t>(table.size(), 1));
        instruments[0].Identification = "---";
    }
    return instruments;
}

} // namespace zep
