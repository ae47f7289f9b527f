// Restoring the main window and the list of recent test sets.
#include "settings/MainFormSettings.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace zep {
namespace {

namespace fs = std::filesystem;

TEST(RestoreMainWindow, FollowsTheStoredStateAndSizeThresholds) {
    const MainWindowPlacement designed{0, 100, 200, 11000, 9000};
    struct Case {
        MainWindowPlacement stored;
        MainWindowPlacement expected;
    };
    const Case cases[] = {
        {{0, 500, 600, 3000, 9000}, {0, 500, 600, 12645, 9000}}, // narrow: the fallback width
        {{0, 500, 600, 9000, 9000}, {0, 500, 600, 11000, 9000}}, // wide enough: the designed width
        {{0, 500, 600, 4000, 1000}, {0, 500, 600, 11000, 9000}}, // the thresholds themselves are wide enough
        {{0, 500, 600, 9000, 999}, {0, 500, 600, 11000, 8145}},  // low: the fallback height
        {{0, -120, -45, 9000, 9000}, {0, 0, 0, 11000, 9000}},    // off-screen edges come back
        {{1, 500, 600, 3000, 500}, {0, 500, 600, 12645, 8145}},  // minimised starts normal
        {{2, 500, 600, 3000, 500}, {2, 100, 200, 11000, 9000}},  // maximised keeps the designed placement
        {{7, 500, 600, 9000, 9000}, {0, 500, 600, 11000, 9000}}, // an unknown state starts normal
    };
    for (const auto& c : cases) {
        const MainWindowPlacement restored = RestoreMainWindow(c.stored, designed);
        EXPECT_EQ(restored, c.expected) << "state " << c.stored.WindowState << " width " << c.stored.Width
                                        << " height " << c.stored.Height << " left " << c.stored.Left;
    }
}

RecentList ListOf(std::initializer_list<const char*> paths) {
    RecentList list;
    size_t i = 0;
    for (const char* path : paths)
        list[i++] = path;
    return list;
}

TEST(RecentList, NewPathsGoFirstAndTheEleventhDropsTheOldest) {
    RecentList list;
    for (int i = 1; i <= 11; ++i)
        list = UpdateRecentList(list, "/t/set" + std::to_string(i));
    EXPECT_EQ(list[0], "/t/set11");
    EXPECT_EQ(list[9], "/t/set2"); // set1 dropped
    EXPECT_EQ(std::count(list.begin(), list.end(), "/t/set1"), 0);
}

TEST(RecentList, AListedPathKeepsItsPlaceAndEmptyChangesNothing) {
    const RecentList list = ListOf({"/a", "/b", "/c"});
    EXPECT_EQ(UpdateRecentList(list, "/b"), list);
    EXPECT_EQ(UpdateRecentList(list, ""), list);
    // Exact comparison: another spelling is another entry.
    EXPECT_EQ(UpdateRecentList(list, "/B")[0], "/B");
}

TEST(RecentList, AGapMovesDownInsteadOfDuplicatingAnEntry) {
    const RecentList list = ListOf({"/a", "", "/c"});
    EXPECT_EQ(UpdateRecentList(list, "/new"), ListOf({"/new", "/a", "", "/c"}));
}

TEST(RecentList, TheMenuShowsFilledEntriesAndTheSeparatorWithThem) {
    const RecentMenu none = BuildRecentMenu(RecentList{});
    EXPECT_FALSE(none.SeparatorVisible);
    EXPECT_EQ(std::count(none.Visible.begin(), none.Visible.end(), true), 0);
    const RecentMenu some = BuildRecentMenu(ListOf({"/a", "", "/c"}));
    EXPECT_TRUE(some.SeparatorVisible);
    EXPECT_TRUE(some.Visible[0]);
    EXPECT_FALSE(some.Visible[1]);
    EXPECT_TRUE(some.Visible[2]);
    EXPECT_EQ(some.Captions[2], "/c");
}

TEST(RecentList, RefreshRecentWritesTheFileAtOnce) {
    const fs::path folder = fs::temp_directory_path() / "zep_recent_test";
    fs::remove_all(folder);
    const fs::path path = folder / "ZEP_INIT.INI";
    std::string error = "unset";
    EXPECT_FALSE(RefreshRecent(path, "", &error).SeparatorVisible); // start-up: menu only, no file written
    EXPECT_FALSE(fs::exists(path));
    for (int i = 0; i < 11; ++i)
        RefreshRecent(path, "/t/set" + std::to_string(i), &error);
    EXPECT_EQ(error, "");
    const RecentMenu menu = RefreshRecent(path, "/t/set5", &error);
    EXPECT_EQ(menu.Captions[0], "/t/set10");
    EXPECT_EQ(menu.Captions[5], "/t/set5");
    EXPECT_EQ(menu.Captions[9], "/t/set1");
    const IniDocument file = ReadIniFile(path).Document;
    EXPECT_EQ(file.Get("RECENT", "0"), "/t/set10");
    EXPECT_EQ(file.Get("recent", "9"), "/t/set1");
    fs::remove_all(folder);
}

} // namespace
} // namespace zep
