// The settings record, its defaults, its exchange with the settings file and the file's location.
#include "settings/Settings.h"

#include "common/TextFile.h"

#include <cstdlib>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <pwd.h>
#include <unistd.h>
#endif

namespace zep {

namespace {

// Applies one exchange mode to key after key.
class Exchanger {
  public:
    Exchanger(IniDocument& file, ExchangeMode mode) : file_(file), mode_(mode) {}

    template <typename T>
    void operator()(std::string_view section, std::string_view key, T& variable, const T& defaultValue) {
        ExchangeSetting(file_, section, key, variable, mode_, defaultValue);
    }

  private:
    IniDocument& file_;
    ExchangeMode mode_;
};

constexpr std::string_view MainFormSection = "MainForm";
constexpr std::string_view VisaSection = "VISA";

} // namespace

Settings DefaultSettings(std::string_view appFolder) {
    Settings settings;
    settings.TestFolder = std::string(appFolder);
    settings.ErrorFile = JoinPath(appFolder, "ERROR.TXT");
    settings.VISALogFile = JoinPath(appFolder, "VISALog.TXT");
    return settings;
}

void ExchangeAllSettings(IniDocument& file, Settings& s, ExchangeMode mode, const Settings& d) {
    Exchanger x(file, mode);
    x("TestEnv", "OnlyOneInstance", s.OnlyOneInstance, d.OnlyOneInstance);
    x("TestEnv", "CheckForChanges", s.CheckForChanges, d.CheckForChanges);
    x("TestEnv", "AutoIEEE", s.AutoIEEE, d.AutoIEEE);
    x("TestEnv", "ToggleSRE", s.ToggleSRE, d.ToggleSRE);
    x("TestEnv", "ClearOnFirstCase", s.Report.ClearOnFirstCase, d.Report.ClearOnFirstCase);
    x("TestEnv", "ClearOnNewCase", s.Report.ClearOnNewCase, d.Report.ClearOnNewCase);
    x("TestEnv", "NumFormatUseDefault", s.Report.Format.NumFormatUseDefault,
      d.Report.Format.NumFormatUseDefault);
    x("TestEnv", "NumFormatDefault", s.Report.Format.NumFormatDefault, d.Report.Format.NumFormatDefault);
    // Files of every installation keep the group index in "TextEnv"; the name stays for them.
    x("TextEnv", "CurrentGroup", s.CurrentGroup, d.CurrentGroup);
    x("TestEnv", "CurrentCase", s.CurrentCase, d.CurrentCase);
    x("TestEnv", "StopOnBlockError", s.Report.StopOnBlockError, d.Report.StopOnBlockError);
    x("TestEnv", "IEEEDisp", s.IEEEDisp, d.IEEEDisp);
    x("TestEnv", "Simulation", s.Simulation, d.Simulation);
    x("TestEnv", "SimMaxTime", s.SimMaxTime, d.SimMaxTime);
    x("TestEnv", "StepByStep", s.StepByStep, d.StepByStep);
    x("TestEnv", "TestFolder", s.TestFolder, d.TestFolder);
    x("TestEnv", "TestSet", s.TestSet, d.TestSet);
    x("TestEnv", "HelpFile", s.HelpFile, d.HelpFile);
    x("TestEnv", "MSGRemote", s.MSGRemote, d.MSGRemote);
    x("TestEnv", "TestCaseEditor", s.TestCaseEditor, d.TestCaseEditor);
    x("TestEnv", "RTFScaling", s.Report.RTFScaling, d.Report.RTFScaling);
    x("TestEnv", "RTFScalingFactor", s.Report.RTFScalingFactor, d.Report.RTFScalingFactor);
    x("TestEnv", "NumOfParams", s.NumOfParams, d.NumOfParams);

    x("CodeStyle", "CopyCommand", s.Code.CopyCommand, d.Code.CopyCommand);
    x("CodeStyle", "CopyComment", s.Code.CopyComment, d.Code.CopyComment);
    x("CodeStyle", "CommentPre", s.Code.CommentPre, d.Code.CommentPre);
    x("CodeStyle", "PreFix0", s.Code.PreFix[0], d.Code.PreFix[0]);
    x("CodeStyle", "PostFix0", s.Code.PostFix[0], d.Code.PostFix[0]);
    x("CodeStyle", "PreFix1", s.Code.PreFix[1], d.Code.PreFix[1]);
    x("CodeStyle", "PostFix1", s.Code.PostFix[1], d.Code.PostFix[1]);

    x("Reporting", "TestName", s.Report.TestName, d.Report.TestName);
    x("Reporting", "BlockState", s.Report.BlockState, d.Report.BlockState);
    x("Reporting", "Time", s.Report.Time, d.Report.Time);
    x("Reporting", "TimeDetailed", s.Report.TimeDetailed, d.Report.TimeDetailed);
    x("Reporting", "Results", s.Report.Results, d.Report.Results);
    x("Reporting", "Errors", s.Report.Errors, d.Report.Errors);
    x("Reporting", "LimitResult", s.Report.LimitResult, d.Report.LimitResult);
    x("Reporting", "OutputForLoop", s.Report.OutputForLoop, d.Report.OutputForLoop);

    x("Statistics", "ShowMax", s.Report.ShowMax, d.Report.ShowMax);
    x("Statistics", "ShowMin", s.Report.ShowMin, d.Report.ShowMin);
    x("Statistics", "ShowMean", s.Report.ShowMean, d.Report.ShowMean);
    x("Statistics", "ShowMedian", s.Report.ShowMedian, d.Report.ShowMedian);
    x("Statistics", "ShowStdDev", s.Report.ShowStdDev, d.Report.ShowStdDev);

    x("ErrorEnv", "ErrorFile", s.ErrorFile, d.ErrorFile);
    x("ErrorEnv", "VISALog", s.VISALog, d.VISALog);
    x("ErrorEnv", "VISALogFile", s.VISALogFile, d.VISALogFile);

    x("Colors", "MainColor", s.Colors.MainColor, d.Colors.MainColor);
    x("Colors", "ResultColor", s.Colors.ResultColor, d.Colors.ResultColor);
    x("Colors", "TestSelColor", s.Colors.TestSelColor, d.Colors.TestSelColor);
    x("Colors", "TestListBackColor", s.Colors.TestListBackColor, d.Colors.TestListBackColor);
}

Settings LoadSettings(const IniDocument& file, std::string_view appFolder) {
    const Settings defaults = DefaultSettings(appFolder);
    Settings settings = defaults;
    MainWindowPlacement& window = settings.MainWindow;
    window.WindowState = ReadSetting(file, MainFormSection, "WindowState", defaults.MainWindow.WindowState);
    window.Left = ReadSetting(file, MainFormSection, "Left", defaults.MainWindow.Left);
    window.Top = ReadSetting(file, MainFormSection, "Top", defaults.MainWindow.Top);
    window.Width = ReadSetting(file, MainFormSection, "Width", defaults.MainWindow.Width);
    window.Height = ReadSetting(file, MainFormSection, "Height", defaults.MainWindow.Height);
    settings.DeviceRegEntry = ReadSetting(file, VisaSection, "DeviceRegEntry", defaults.DeviceRegEntry);
    IniDocument readOnly = file; // reading never changes it; the exchange takes one signature for all modes
    ExchangeAllSettings(readOnly, settings, ExchangeMode::Read, defaults);
    return settings;
}

void SaveSettings(IniDocument& file, const Settings& settings) {
    const MainWindowPlacement& window = settings.MainWindow;
    WriteSetting(file, MainFormSection, "Left", window.Left);
    WriteSetting(file, MainFormSection, "Top", window.Top);
    WriteSetting(file, MainFormSection, "Width", window.Width);
    WriteSetting(file, MainFormSection, "Height", window.Height);
    WriteSetting(file, MainFormSection, "WindowState", window.WindowState);
    WriteSetting(file, VisaSection, "DeviceRegEntry", settings.DeviceRegEntry);
    Settings copy = settings; // writing reads the variables only; defaults are not consulted
    ExchangeAllSettings(file, copy, ExchangeMode::Write, settings);
}

Settings LoadSettings(const std::filesystem::path& path, std::string_view appFolder, std::string* error) {
    const IniFile file = ReadIniFile(path);
    if (error) *error = file.Error;
    return LoadSettings(file.Document, appFolder);
}

std::string SaveSettings(const std::filesystem::path& path, const Settings& settings) {
    IniFile file = ReadIniFile(path);
    SaveSettings(file.Document, settings);
    return WriteIniFile(file);
}

void ResetColors(Settings& settings) {
    IniDocument unused;
    const Settings defaults;
    ExchangeSetting(unused, "Colors", "MainColor", settings.Colors.MainColor, ExchangeMode::SetDefault,
                    defaults.Colors.MainColor);
    ExchangeSetting(unused, "Colors", "ResultColor", settings.Colors.ResultColor, ExchangeMode::SetDefault,
                    defaults.Colors.ResultColor);
    ExchangeSetting(unused, "Colors", "TestSelColor", settings.Colors.TestSelColor, ExchangeMode::SetDefault,
                    defaults.Colors.TestSelColor);
    ExchangeSetting(unused, "Colors", "TestListBackColor", settings.Colors.TestListBackColor,
                    ExchangeMode::SetDefault, defaults.Colors.TestListBackColor);
}

std::filesystem::path ExecutableFolder() {
    namespace fs = std::filesystem;
    std::error_code ec;
#ifdef _WIN32
    wchar_t buffer[32768];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(std::size(buffer)));
    if (length > 0 && length < std::size(buffer)) return fs::path(std::wstring(buffer, length)).parent_path();
#else
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec && !self.empty()) return self.parent_path();
#endif
    const fs::path current = fs::current_path(ec);
    return ec ? fs::path(".") : current;
}

std::filesystem::path UserConfigFolder() {
    namespace fs = std::filesystem;
#ifdef _WIN32
    if (const char* appData = std::getenv("APPDATA"); appData && *appData) return fs::path(appData) / "ZEP";
#else
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/')
        return fs::path(config) / "zep";
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        if (const passwd* entry = getpwuid(getuid())) home = entry->pw_dir;
    }
    if (home && *home) return fs::path(home) / ".config" / "zep";
#endif
    std::error_code ec;
    const fs::path current = fs::current_path(ec);
    return ec ? fs::path(".") : current;
}

bool FolderIsWritable(const std::filesystem::path& folder) {
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) return false;
#ifdef _WIN32
    return _waccess(folder.c_str(), 2) == 0;
#else
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
#endif
}

std::filesystem::path ApplicationFolder() {
    const std::filesystem::path executable = ExecutableFolder();
    return FolderIsWritable(executable) ? executable : UserConfigFolder();
}

std::filesystem::path ResolveSettingsPath(const std::optional<std::string>& option,
                                          const char* environmentValue,
                                          const std::filesystem::path& applicationFolder) {
    if (option && !option->empty()) return *option;
    if (environmentValue && *environmentValue) return environmentValue;
    return applicationFolder / std::string(SettingsFileName);
}

std::filesystem::path ResolveSettingsPath(const std::optional<std::string>& option) {
    if (option && !option->empty()) return *option;
    const char* environment = std::getenv("ZEP_SETTINGS");
    if (environment && *environment) return environment;
    return ApplicationFolder() / std::string(SettingsFileName);
}

} // namespace zep
