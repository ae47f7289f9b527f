// Main-window placement and the recent test sets.
#include "settings/MainFormSettings.h"

#include <algorithm>

namespace zep {

namespace {

constexpr int32_t NormalState = 0;
constexpr int32_t MaximisedState = 2;

} // namespace

MainWindowPlacement RestoreMainWindow(const MainWindowPlacement& stored,
                                      const MainWindowPlacement& designed) {
    MainWindowPlacement window = designed;
    // Minimised (and any state the window does not know) starts normal.
    window.WindowState = stored.WindowState == MaximisedState ? MaximisedState : NormalState;
    if (window.WindowState == MaximisedState) return window;
    window.Left = std::max(stored.Left, 0);
    window.Top = std::max(stored.Top, 0);
    if (stored.Width < 4000) window.Width = 12645;
    if (stored.Height < 1000) window.Height = 8145;
    return window;
}

RecentList ReadRecentList(const IniDocument& file) {
    RecentList list;
    for (size_t i = 0; i < RecentCount; ++i)
        list[i] = file.Get(RecentSection, std::to_string(i)).value_or("");
    return list;
}

RecentList UpdateRecentList(const RecentList& list, std::string_view path) {
    if (path.empty() || std::find(list.begin(), list.end(), path) != list.end()) return list;
    // Every entry moves, empty ones too: moving only the filled ones would leave an entry twice
    // in a list with gaps.
    RecentList updated;
    updated[0] = std::string(path);
    for (size_t i = 0; i + 1 < RecentCount; ++i)
        updated[i + 1] = list[i];
    return updated;
}

void WriteRecentList(IniDocument& file, const RecentList& before, const RecentList& after) {
    for (size_t i = RecentCount; i-- > 0;)
        if (before[i] != after[i]) file.Set(RecentSection, std::to_string(i), after[i]);
}

RecentMenu BuildRecentMenu(const RecentList& list) {
    RecentMenu menu;
    for (size_t i = 0; i < RecentCount; ++i) {
        menu.Visible[i] = !list[i].empty();
        menu.Captions[i] = list[i];
        menu.SeparatorVisible = menu.SeparatorVisible || menu.Visible[i];
    }
    return menu;
}

RecentMenu RefreshRecent(const std::filesystem::path& settingsFile, std::string_view path,
                         std::string* error) {
    IniFile file = ReadIniFile(settingsFile);
    const RecentList before = ReadRecentList(file.Document);
    const RecentList after = UpdateRecentList(before, path);
    std::string problem = file.Error;
    if (after != before) {
        WriteRecentList(file.Document, before, after);
        problem = WriteIniFile(file);
    }
    if (error) *error = problem;
    return BuildRecentMenu(after);
}

} // namespace zep
