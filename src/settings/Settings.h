// The user settings of ZEP: one record, its defaults, and its exchange with ZEP_INIT.INI.
#pragma once

#include "codegen/CodeStyle.h"
#include "report/ReportOptions.h"
#include "settings/INIIO.h"
#include "settings/IniFile.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace zep {

constexpr std::string_view SettingsFileName = "ZEP_INIT.INI";

// Window colours as 0x00BBGGRR (section Colors).
struct ColorSettings {
    int32_t MainColor = 12643536;         // 0xC0ECD0, a light green
    int32_t ResultColor = 15793151;       // 0xF0FBFF
    int32_t TestSelColor = 14740463;      // 0xE0EBEF
    int32_t TestListBackColor = 16777215; // white

    bool operator==(const ColorSettings&) const = default;
};

// The main window as stored (section MainForm): state 0 normal, 1 minimised, 2 maximised;
// positions and sizes in twips.
struct MainWindowPlacement {
    int32_t WindowState = 0;
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Width = 11715;
    int32_t Height = 11415;

    bool operator==(const MainWindowPlacement&) const = default;
};

// Every setting of the program. The program owns one of these and hands it to whoever needs it.
struct Settings {
    MainWindowPlacement MainWindow;
    std::string DeviceRegEntry = "SOFTWARE\\Veltmark\\VISADeviceCache";

    bool OnlyOneInstance = true; // kept in the file; nothing else consults it
    bool CheckForChanges = true;
    bool AutoIEEE = false;
    bool ToggleSRE = false;
    int16_t CurrentGroup = 0; // the one key of the test environment in section TextEnv
    int16_t CurrentCase = 1;
    bool IEEEDisp = false;
    bool Simulation = false;
    float SimMaxTime = 100.0F;
    bool StepByStep = false;
    std::string TestFolder; // default: the application folder
    std::string TestSet;
    std::string HelpFile = "help.chm";
    bool MSGRemote = true;
    std::string TestCaseEditor = "NOTEPAD.EXE";
    int16_t NumOfParams = 8;

    CodeStyle Code;
    // Report items, statistics columns, number formats and when the report is cleared: the
    // report's own record, so each of these keys has this one field and its one default.
    ReportOptions Report;

    std::string ErrorFile; // default: application folder + ERROR.TXT; nothing else consults it
    bool VISALog = false;
    std::string VISALogFile; // default: application folder + VISALog.TXT

    ColorSettings Colors;

    bool operator==(const Settings&) const = default;
};

// The defaults, with the application-folder paths resolved against appFolder.
Settings DefaultSettings(std::string_view appFolder);

// Exchanges every key from OnlyOneInstance to TestListBackColor, in the file's order, with
// ExchangeSetting; defaults come from `defaults`.
void ExchangeAllSettings(IniDocument& file, Settings& settings, ExchangeMode mode, const Settings& defaults);

// Reads the main-window keys, DeviceRegEntry and all other settings; missing keys give defaults.
Settings LoadSettings(const IniDocument& file, std::string_view appFolder);

// Writes Left, Top, Width, Height and WindowState of settings.MainWindow (the caller sets them to
// the window as it is), then DeviceRegEntry, then all other settings.
void SaveSettings(IniDocument& file, const Settings& settings);

// The same on the file on disk. A missing, unreadable or garbled file loads as defaults (its
// problem, if any, in *error). Saving re-reads the file first, so keys written meanwhile by others
// (the recent list) and everything the program does not own survive; returns empty on success,
// else the reason the file could not be written.
Settings LoadSettings(const std::filesystem::path& path, std::string_view appFolder,
                      std::string* error = nullptr);
std::string SaveSettings(const std::filesystem::path& path, const Settings& settings);

// Sets the four colours back to their defaults.
void ResetColors(Settings& settings);

// Where the settings live. The application folder is the executable's folder when it is
// writable, else the user's configuration folder (ZEP below XDG_CONFIG_HOME or ~/.config, or
// below APPDATA on Windows).
std::filesystem::path ExecutableFolder();
std::filesystem::path UserConfigFolder();
bool FolderIsWritable(const std::filesystem::path& folder);
std::filesystem::path ApplicationFolder();

// The settings file: the --settings option when given, else ZEP_SETTINGS when set and not
// empty, else ZEP_INIT.INI in the application folder.
std::filesystem::path ResolveSettingsPath(const std::optional<std::string>& option);
// The same rule with every input given, for callers that know them (and tests).
std::filesystem::path ResolveSettingsPath(const std::optional<std::string>& option,
                                          const char* environmentValue,
                                          const std::filesystem::path& applicationFolder);

} // namespace zep
