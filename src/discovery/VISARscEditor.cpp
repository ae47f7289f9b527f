// The VISA resource editor's lists and operations.
#include "discovery/VISARscEditor.h"

#include "common/StringOp.h"

#include <utility>

namespace zep {

namespace {

constexpr std::string_view ResourceTitle = "RESOURCE";
constexpr std::string_view ServerTitle = "SERVER";
constexpr std::string_view HostPrompt = "TCPIP address or computer name of the instrument:";

} // namespace

void VISARscEditor::EntryList::Select(int index) {
    selected = index >= 0 && index < static_cast<int>(entries.size()) ? index : -1;
}

void VISARscEditor::EntryList::Append(std::string entry) {
    if (entries.size() == 1 && entries.front().empty()) {
        entries.clear();
        selected = -1;
    }
    entries.push_back(std::move(entry));
}

void VISARscEditor::EntryList::RemoveSelected() {
    entries.erase(entries.begin() + selected);
    selected = -1;
}

void VISARscEditor::Load(EntryList& list, std::string_view prefix) const {
    list = EntryList{};
    for (int n = 1; n <= EditorMaxEntries; ++n) {
        std::string value = TrimBlanks(cache_.ReadValue(cacheKey_, std::string(prefix) + std::to_string(n)));
        if (value.empty()) continue;
        list.entries.resize(static_cast<size_t>(n)); // numbers skipped over stay empty entries
        list.entries.back() = std::move(value);
    }
}

void VISARscEditor::UpdateList(std::string_view cacheKey) {
    cacheKey_ = cacheKey;
    Load(devices_, "DEVICE");
    Load(servers_, "SERVER");
}

std::string VISARscEditor::Ask(std::string_view prompt, std::string_view title,
                               std::string_view defaultAnswer) {
    return host_.InputBox(prompt, title, defaultAnswer).value_or(std::string());
}

bool VISARscEditor::AddDevice(ResourceKind kind) {
    std::string entry;
    switch (kind) {
    case ResourceKind::GpibBus:
        entry = "GPIB0::?*::INSTR";
        break;
    case ResourceKind::GpibInstrument:
        entry = "GPIB0::" + Ask("GPIB address:", ResourceTitle, "20") + "::INSTR";
        break;
    case ResourceKind::TcpipVxi11:
        entry = "TCPIP::" + Ask(HostPrompt, ResourceTitle, "") + "::INSTR";
        break;
    case ResourceKind::TcpipVmib:
        entry = "VMIB::" + Ask(HostPrompt, ResourceTitle, "") + "::INSTR";
        break;
    case ResourceKind::TcpipSocket: {
        const std::string host = Ask(HostPrompt, ResourceTitle, "localhost");
        const std::string port = Ask("PORT:", ResourceTitle, "");
        entry = "TCPIP::" + host + "::" + port + "::SOCKET";
        break;
    }
    case ResourceKind::FreeEntry:
        entry = Ask("Resource:", ResourceTitle, "");
        break;
    default:
        return false;
    }
    if (TrimBlanks(entry).empty()) return false;
    devices_.Append(std::move(entry));
    return true;
}

bool VISARscEditor::AddServer() {
    std::string answer = Ask("Server name:", ServerTitle, "localhost");
    if (TrimBlanks(answer).empty()) return false;
    servers_.Append(std::move(answer));
    return true;
}

bool VISARscEditor::Delete(EntryList& list, bool askForLocalhost) {
    if (list.selected < 0) return false;
    // Only the exact text: a differently written name is some other entry to this question.
    if (askForLocalhost && list.entries[static_cast<size_t>(list.selected)] == "localhost" &&
        host_.MessageBox("By deleting localhost, instruments connected to the local PC\r\n"
                         "will NOT be scanned any more.\r\n\r\nDelete localhost?",
                         MsgStyle::YesNo | MsgStyle::Critical, "") != MsgAnswer::Yes)
        return false;
    list.RemoveSelected();
    list.Select(0);
    return true;
}

bool VISARscEditor::DeleteDevice() {
    return Delete(devices_, false);
}

bool VISARscEditor::DeleteServer() {
    return Delete(servers_, true);
}

bool VISARscEditor::Rename(EntryList& list, std::string_view prompt, std::string_view title) {
    if (list.selected < 0) return false;
    std::string answer = Ask(prompt, title, list.entries[static_cast<size_t>(list.selected)]);
    if (answer.empty()) return false;
    list.RemoveSelected();
    list.entries.push_back(std::move(answer));
    return true;
}

bool VISARscEditor::RenameDevice() {
    return Rename(devices_, "Resource descriptor:", ResourceTitle);
}

bool VISARscEditor::RenameServer() {
    return Rename(servers_, "New server name:", ServerTitle);
}

bool VISARscEditor::Store(const EntryList& list, std::string_view prefix) {
    const auto name = [&](size_t number) { return std::string(prefix) + std::to_string(number); };
    // Writing over a number in place instead of deleting every number first ends in the same
    // values, and leaves a file cache untouched when nothing changed.
    for (size_t number = 1; number <= static_cast<size_t>(EditorMaxEntries); ++number) {
        const bool held = number <= list.entries.size() && !TrimBlanks(list.entries[number - 1]).empty();
        const bool done = held ? cache_.WriteValue(cacheKey_, name(number), list.entries[number - 1])
                               : cache_.DeleteValue(cacheKey_, name(number));
        if (!done) return false;
    }
    for (size_t number = EditorMaxEntries + 1; number <= list.entries.size(); ++number) {
        const std::string& entry = list.entries[number - 1];
        if (!TrimBlanks(entry).empty() && !cache_.WriteValue(cacheKey_, name(number), entry)) return false;
    }
    return true;
}

bool VISARscEditor::OK() {
    if (Store(devices_, "DEVICE") && Store(servers_, "SERVER")) return true;
    const std::string problem = cache_.Problem();
    host_.MessageBox(problem.empty() ? "device cache not written" : problem,
                     MsgStyle::Ok | MsgStyle::Critical, "ERROR");
    return false;
}

} // namespace zep
