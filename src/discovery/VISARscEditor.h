// The VISA resource editor without its window: the server and resource lists of the device cache,
// their selection, and what the editor's buttons do to them. A window shows the lists and calls
// these operations; boxes go through the host.
#pragma once

#include "discovery/DeviceCache.h"
#include "host/Host.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace zep {

// The kinds of new resource entry, in the order the editor's pop-up list offers them.
enum class ResourceKind { GpibBus, GpibInstrument, TcpipVxi11, TcpipVmib, TcpipSocket, FreeEntry };

constexpr std::array<std::string_view, 6> ResourceKindNames = {
    "GPIB bus",      "GPIB instrument", "TCP/IP instrument (VXI11)", "TCP/IP instrument (VMIB)",
    "TCP/IP socket", "free entry"};

// Numbers 1 to EditorMaxEntries of "DEVICE" and "SERVER" are what the editor shows and clears.
constexpr int EditorMaxEntries = 100;

class VISARscEditor {
  public:
    VISARscEditor(Host& host, DeviceCache& cache) : host_(host), cache_(cache) {}

    // Remembers the key path for OK and loads both lists: entry n - 1 is value n, a number
    // without a value leaves an empty entry; a list stays empty when none of its values is set.
    void UpdateList(std::string_view cacheKey);

    const std::string& CacheKey() const { return cacheKey_; }
    const std::vector<std::string>& DevList() const { return devices_.entries; }
    const std::vector<std::string>& ServerList() const { return servers_.entries; }

    // The selected entry, -1 for none. Selecting outside the list selects nothing.
    int DevSelected() const { return devices_.selected; }
    int ServerSelected() const { return servers_.selected; }
    void SelectDevice(int index) { devices_.Select(index); }
    void SelectServer(int index) { servers_.Select(index); }

    // Each returns whether its list changed (the window then repaints it).
    bool AddDevice(ResourceKind kind);
    bool AddServer();
    bool DeleteDevice();
    bool DeleteServer();
    bool RenameDevice();
    bool RenameServer();

    // Stores both lists under the remembered key: entry i as number i + 1, empty entries leaving
    // their numbers unused, and the numbers up to EditorMaxEntries that no entry holds deleted.
    // When the cache cannot be written it says so in a message box and returns false, so the
    // window stays open with the lists as they are.
    bool OK();

  private:
    struct EntryList {
        std::vector<std::string> entries;
        int selected = -1;

        void Select(int index);
        // Appends an entry, first dropping a list's only entry when that one is empty.
        void Append(std::string entry);
        // Removes the selected entry; selection: none.
        void RemoveSelected();
    };

    bool Delete(EntryList& list, bool askForLocalhost);
    bool Rename(EntryList& list, std::string_view prompt, std::string_view title);
    // The answer of an input box; a cancelled box answers empty.
    std::string Ask(std::string_view prompt, std::string_view title, std::string_view defaultAnswer);
    void Load(EntryList& list, std::string_view prefix) const;
    bool Store(const EntryList& list, std::string_view prefix);

    Host& host_;
    DeviceCache& cache_;
    std::string cacheKey_;
    EntryList devices_;
    EntryList servers_;
};

} // namespace zep
