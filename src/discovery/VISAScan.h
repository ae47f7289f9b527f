// The instrument scan: every VISA server of the device cache, every resource pattern on each, every
// match probed with "*IDN?" (and "*OPT?" for the maker's instruments); the outcome is the device
// table, one record per probed resource in probing order.
#pragma once

#include "common/Signal.h"
#include "discovery/DeviceCache.h"
#include "host/Host.h"
#include "instio/AvailableInstrument.h"
#include "instio/Visa.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zep {

struct DeviceRecord {
    std::string VISAResString; // as opened, after the "LAN" rewrite; may carry "visa://server/"
    std::string DeviceTyp;     // "Device", "DeviceUnknown" (another maker's); "NoDevice": no instrument
    std::string DeviceGroup;
    std::string SerialNumber;
    std::string FirmwareVersion;
    std::string DeviceInfo; // display text
    std::string IDAnswer;   // "*IDN?" answer after StripText
    std::string OptionList; // "*OPT?" answer after StripText
    bool OptionQuery = false;
};

// The device table: element i describes the i-th probed resource; a scan starts it afresh with one
// empty element.
using DeviceTable = std::vector<DeviceRecord>;

// The maker's word in an identification answer, compared upper-cased.
inline constexpr std::string_view MakerWord = "VELTM";
// Instruments of the power-sensor family whose answers hold this are not asked for options.
inline constexpr std::string_view NoOptionQueryFamily = "PWS-Z";

class VISAScan {
  public:
    // The probe talks to visa directly, with its own resource manager and sessions, and writes
    // nothing to the call log. The table is shared by every scan of the program.
    VISAScan(Visa& visa, Host& host, DeviceTable& table);

    // Runs one scan over the servers and patterns of the cache at keyPath, each probe reading with
    // timeoutMs. resetIfNoIdn is not consulted.
    void Scan(const DeviceCache& cache, std::string_view keyPath, int32_t timeoutMs,
              bool resetIfNoIdn = false);

    // Accessors by device index; an index outside the table is the caller's error (empty text).
    std::string IDAnswer(size_t index) const;
    std::string VISAResString(size_t index) const;
    std::string OptionList(size_t index) const;
    std::string DeviceTyp(size_t index) const;
    size_t DeviceCount() const { return table_.size(); }

    Signal<> ScanStarting;
    Signal<std::string_view> Exploring;
    Signal<std::string_view> ExploreResult;

  private:
    void ProbeResource(ViSession resourceManager, const std::string& resource, size_t index,
                       int32_t timeoutMs);
    std::vector<std::string> FindResources(ViSession resourceManager, const std::string& expression);
    const DeviceRecord* At(size_t index) const { return index < table_.size() ? &table_[index] : nullptr; }

    Visa& visa_;
    Host& host_;
    DeviceTable& table_;
};

// The scan window's lines for a scan's events, through the host's scan view: "SCANNING...",
// "checking " + text, " >> " + text. Listens while it lives.
class ScanWindowLines {
  public:
    ScanWindowLines(VISAScan& scan, HostView& view);

  private:
    Subscription starting_;
    Subscription exploring_;
    Subscription result_;
};

// The list of available instruments from the device table: one entry per record whose type is not
// "NoDevice" (identification, options, resource; session -1, reached through VISA, free for
// assignment).
std::vector<AvailableInstrument> InstrumentsFromDeviceTable(const DeviceTable& table);

} // namespace zep
