// What the main window takes from the settings file: its restored placement and the list of
// recently loaded test sets with the menu built from it.
#pragma once

#include "settings/IniFile.h"
#include "settings/Settings.h"

#include <array>
#include <filesystem>
#include <string>
#include <string_view>

namespace zep {

// The placement the main window takes at start: a minimised state becomes normal; in the normal
// state negative edges become 0, a stored width below 4000 gives 12645 and a stored height below
// 1000 gives 8145, other sizes leave the designed size. A maximised window keeps its designed
// placement. `designed` is the window as it was built, before anything is restored.
MainWindowPlacement RestoreMainWindow(const MainWindowPlacement& stored, const MainWindowPlacement& designed);

constexpr size_t RecentCount = 10;
constexpr std::string_view RecentSection = "RECENT";

// Keys 0 to 9 of section RECENT, 0 the newest; empty entries are unused.
using RecentList = std::array<std::string, RecentCount>;

RecentList ReadRecentList(const IniDocument& file);

// The list after loading path: unchanged when path is empty or already listed (a listed path
// keeps its place); otherwise path first and every entry one place down, the tenth dropped.
RecentList UpdateRecentList(const RecentList& list, std::string_view path);

// Writes the entries that differ between the two lists.
void WriteRecentList(IniDocument& file, const RecentList& before, const RecentList& after);

// The recent-files menu: entry i visible with its path as caption when list[i] is not empty, and
// the separator above the entries visible when any is.
struct RecentMenu {
    std::array<bool, RecentCount> Visible{};
    std::array<std::string, RecentCount> Captions;
    bool SeparatorVisible = false;
};
RecentMenu BuildRecentMenu(const RecentList& list);

// Updates the list in the settings file with path (when not empty) and returns the menu. The file
// is written at once, so the list survives a crash; a write problem goes to *error.
RecentMenu RefreshRecent(const std::filesystem::path& settingsFile, std::string_view path,
                         std::string* error = nullptr);

} // namespace zep
