// The settings record against the settings file: encodings, defaults, the key table, files
// written by hand on Windows and by this program, and where the file is found.
#include "settings/Settings.h"

#include "common/TextFile.h"
#include "settings/MainFormSettings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace zep {
namespace {

namespace fs = std::filesystem;

const fs::path Fixtures = fs::path(ZEP_FIXTURES_DIR) / "settings";
constexpr const char* AppFolder = "/opt/zep";

std::string ReadBytes(const fs::path& path) {
    return ReadFileBytes(path).value_or("");
}

std::string WithoutCarriageReturns(std::string text) {
    std::erase(text, '\r');
    return text;
}

IniDocument FileWith(const std::string& section, const std::string& key, const std::string& value) {
    return IniDocument::Parse("[" + section + "]\r\n" + key + "=" + value + "\r\n");
}

TEST(SettingValues, FlagsReadTrueOnlyForOneTrueAndWahr) {
    const std::pair<const char*, bool> cases[] = {
        {"1", true},   {"true", true}, {"True", true}, {"TRUE", true}, {"wahr", true}, {"WAHR", true},
        {"-1", false}, {"yes", false}, {"0", false},   {"", false},    {"on", false},  {"1.0", false},
        {"2", false},  {"t", false},   {" 1 ", true}, // the reader removes the blanks
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(ReadSetting(FileWith("TestEnv", "Simulation", text), "TestEnv", "Simulation", !expected),
                  expected)
            << "[" << text << "]";
}

TEST(SettingValues, NumbersReadTheirLeadingNumberAndClampToTheirType) {
    const std::tuple<const char*, int16_t, int32_t, float> cases[] = {
        {"12", 12, 12, 12.0F},
        {"12 params", 12, 12, 12.0F},
        {"abc", 0, 0, 0.0F},
        {"", 0, 0, 0.0F},
        {"2.5", 2, 2, 2.5F}, // integers round half to even
        {"3.5", 4, 4, 3.5F},
        {"-7.5", -8, -8, -7.5F},
        {"1e3", 1000, 1000, 1000.0F},
        {"&HFF00", 32767, 65280, 65280.0F},
        {"70000", 32767, 70000, 70000.0F},
        {"-40000", -32768, -40000, -40000.0F},
        {"4294967295", 32767, 2147483647, 4294967295.0F},
        {"1e300", 32767, 2147483647, 3.40282347e38F},
    };
    for (const auto& [text, asInt16, asInt32, asFloat] : cases) {
        const IniDocument file = FileWith("S", "k", text);
        EXPECT_EQ(ReadSetting(file, "S", "k", int16_t{99}), asInt16) << text;
        EXPECT_EQ(ReadSetting(file, "S", "k", int32_t{99}), asInt32) << text;
        EXPECT_EQ(ReadSetting(file, "S", "k", 99.0F), asFloat) << text;
    }
}

TEST(SettingValues, WritesFlagsAsDigitsAndNumbersWithoutNeedlessDecimals) {
    EXPECT_EQ(SettingText(true), "1");
    EXPECT_EQ(SettingText(false), "0");
    EXPECT_EQ(SettingText(100.0F), "100");
    EXPECT_EQ(SettingText(2.5F), "2.5");
    EXPECT_EQ(SettingText(0.1F), "0.1");
    EXPECT_EQ(SettingText(-0.25F), "-0.25");
    EXPECT_EQ(SettingText(int16_t{-32768}), "-32768");
    EXPECT_EQ(SettingText(int32_t{12643536}), "12643536");
    // Every float written reads back as the same float.
    for (const float value : {0.1F, 1.0F / 3.0F, 123456.789F, 1e-7F, 3.0e38F}) {
        IniDocument file;
        WriteSetting(file, "S", "k", value);
        EXPECT_EQ(ReadSetting(IniDocument::Parse(file.Serialize()), "S", "k", 0.0F), value);
    }
}

TEST(SettingValues, MissingKeysGiveTheirDefaults) {
    const IniDocument empty;
    EXPECT_TRUE(ReadSetting(empty, "TestEnv", "MSGRemote", true));
    EXPECT_FALSE(ReadSetting(empty, "TestEnv", "MSGRemote", false));
    EXPECT_EQ(ReadSetting(empty, "TestEnv", "NumOfParams", int16_t{8}), 8);
    EXPECT_EQ(ReadSetting(empty, "TestEnv", "SimMaxTime", 100.0F), 100.0F);
    EXPECT_EQ(ReadSetting(empty, "TestEnv", "HelpFile", "help.chm"), "help.chm");
    EXPECT_EQ(ReadSettingText(empty, "TestEnv", "HelpFile", "help.chm   "), "help.chm");
}

TEST(ExchangeSetting, AppliesEachMode) {
    IniDocument file = FileWith("TestEnv", "NumOfParams", "12");
    int16_t value = 3;
    ExchangeSetting(file, "TestEnv", "NumOfParams", value, ExchangeMode::Read, int16_t{8});
    EXPECT_EQ(value, 12);
    ExchangeSetting(file, "TestEnv", "NumOfParams", value, ExchangeMode::SetDefault, int16_t{8});
    EXPECT_EQ(value, 8);
    ExchangeSetting(file, "TestEnv", "NumOfParams", value, ExchangeMode::Write, int16_t{0});
    EXPECT_EQ(file.Get("TestEnv", "NumOfParams"), "8");
}

TEST(SettingsFile, DefaultsResolveTheApplicationFolder) {
    const Settings defaults = DefaultSettings(AppFolder);
    EXPECT_EQ(defaults.TestFolder, AppFolder);
    EXPECT_EQ(defaults.ErrorFile, JoinPath(AppFolder, "ERROR.TXT"));
    EXPECT_EQ(defaults.VISALogFile, JoinPath(AppFolder, "VISALog.TXT"));
    EXPECT_EQ(LoadSettings(IniDocument(), AppFolder), defaults);
    EXPECT_EQ(defaults.SimMaxTime, 100.0F);
    EXPECT_EQ(defaults.Colors.MainColor, 0xC0ECD0);
}

TEST(SettingsFile, WritesEveryKeyInItsSectionAndOrder) {
    IniDocument file;
    SaveSettings(file, DefaultSettings(AppFolder));
    const std::string expected =
        std::string("[MainForm]\nLeft=0\nTop=0\nWidth=11715\nHeight=11415\nWindowState=0\n") +
        "[VISA]\nDeviceRegEntry=SOFTWARE\\Veltmark\\VISADeviceCache\n" +
        "[TestEnv]\nOnlyOneInstance=1\nCheckForChanges=1\nAutoIEEE=0\nToggleSRE=0\n"
        "ClearOnFirstCase=1\nClearOnNewCase=1\nNumFormatUseDefault=1\nNumFormatDefault=#0.000\n"
        "CurrentCase=1\nStopOnBlockError=0\nIEEEDisp=0\nSimulation=0\nSimMaxTime=100\n"
        "StepByStep=0\nTestFolder=/opt/zep\nTestSet=\nHelpFile=help.chm\nMSGRemote=1\n"
        "TestCaseEditor=NOTEPAD.EXE\nRTFScaling=0\nRTFScalingFactor=400\nNumOfParams=8\n"
        "[TextEnv]\nCurrentGroup=0\n"
        "[CodeStyle]\nCopyCommand=1\nCopyComment=1\nCommentPre='\nPreFix0=ibwrt(Inst0,'\n"
        "PostFix0=')\nPreFix1=ibwrt(Inst1,'\nPostFix1=')\n"
        "[Reporting]\nTestName=1\nBlockState=1\nTime=1\nTimeDetailed=0\nResults=1\nErrors=0\n"
        "LimitResult=1\nOutputForLoop=0\n"
        "[Statistics]\nShowMax=1\nShowMin=1\nShowMean=1\nShowMedian=0\nShowStdDev=1\n"
        "[ErrorEnv]\nErrorFile=/opt/zep/ERROR.TXT\nVISALog=0\nVISALogFile=/opt/zep/VISALog.TXT\n"
        "[Colors]\nMainColor=12643536\nResultColor=15793151\nTestSelColor=14740463\n"
        "TestListBackColor=16777215\n";
    EXPECT_EQ(WithoutCarriageReturns(file.Serialize()), expected);
}

TEST(SettingsFile, TheGroupIndexIsReadOnlyFromTextEnv) {
    EXPECT_EQ(LoadSettings(FileWith("TestEnv", "CurrentGroup", "3"), AppFolder).CurrentGroup, 0);
    EXPECT_EQ(LoadSettings(FileWith("TextEnv", "CurrentGroup", "3"), AppFolder).CurrentGroup, 3);
    Settings settings = DefaultSettings(AppFolder);
    settings.CurrentGroup = 2;
    IniDocument file;
    SaveSettings(file, settings);
    EXPECT_EQ(file.Get("TextEnv", "CurrentGroup"), "2");
    EXPECT_EQ(file.Get("TestEnv", "CurrentGroup"), std::nullopt);
}

TEST(SettingsFile, ResetColorsRestoresOnlyTheColours) {
    Settings settings = DefaultSettings(AppFolder);
    settings.Colors = {1, 2, 3, 4};
    settings.Simulation = true;
    ResetColors(settings);
    EXPECT_EQ(settings.Colors, ColorSettings{});
    EXPECT_TRUE(settings.Simulation);
}

// The hand-written file of a Windows installation: CR LF, mixed-case keys, quotes, comments,
// Windows-1252 text, extra and duplicate sections.
Settings WindowsStyleExpected() {
    Settings s = DefaultSettings(AppFolder);
    s.MainWindow = {2, 1200, -300, 3000, 9000};
    s.DeviceRegEntry = "SOFTWARE\\Lab\\VISA Cache";
    s.OnlyOneInstance = false;
    s.CheckForChanges = true;
    s.AutoIEEE = true;                 // "wahr"
    s.ToggleSRE = false;               // "-1"
    s.Report.ClearOnFirstCase = false; // "yes"
    s.Report.ClearOnNewCase = false;
    s.Report.Format.NumFormatDefault = "##0.00"; // quotes removed
    s.CurrentGroup = 4;                          // from TextEnv; the CurrentGroup=5 in TestEnv is not read
    s.CurrentCase = 3;
    s.Report.StopOnBlockError = true;
    s.StepByStep = true;  // the first of two keys
    s.Simulation = false; // only the first TestEnv section counts
    s.SimMaxTime = 2.5F;
    s.TestFolder = "C:\\Tests\\Pr\xC3\xBC"
                   "fplatz 3";
    s.TestSet = "Demo.ZEP_SET";
    s.TestCaseEditor = "  C:\\Program Files\\Editor\\ed.exe  ";
    s.Report.RTFScalingFactor = 32767; // 70000 does not fit
    s.NumOfParams = 12;
    s.HelpFile = "help.chm"; // a line without "=" is no value
    s.Code.CopyComment = false;
    s.Code.CommentPre = "//";
    s.Code.PreFix[0] = "viWrite(gen, \"";
    s.Code.PostFix[0] = "\")";
    s.Code.PreFix[1] = "ibwrt(Inst1,'";
    s.Report.TimeDetailed = true;
    s.Colors.MainColor = 255;
    s.Colors.ResultColor = 0xFF00;
    s.Colors.TestSelColor = 0;
    return s;
}

TEST(SettingsFile, ReadsAHandWrittenWindowsFileAsWindowsDid) {
    std::string error = "unset";
    EXPECT_EQ(LoadSettings(Fixtures / "windows_style.ini", AppFolder, &error), WindowsStyleExpected());
    EXPECT_EQ(error, "");
    const RecentList recent = ReadRecentList(ReadIniFile(Fixtures / "windows_style.ini").Document);
    EXPECT_EQ(recent[0], "C:\\Tests\\Demo.ZEP_SET");
    EXPECT_EQ(recent[1], "C:\\Tests\\Old.ZEP_SET");
    EXPECT_EQ(recent[2], "");
}

TEST(SettingsFile, SavingKeepsWhatItDoesNotOwn) {
    IniDocument file = ReadIniFile(Fixtures / "windows_style.ini").Document;
    Settings settings = WindowsStyleExpected();
    settings.Simulation = true;
    settings.SimMaxTime = 100.0F;
    settings.TestSet = "Other.ZEP_SET";
    SaveSettings(file, settings);
    // The expected file was checked line by line: comments, UnknownKey, the line without "=",
    // [OtherTool], RECENT and the second [TestEnv] are untouched; unchanged values keep their
    // quotes and spelling; changed and missing keys are written in this program's form; the file
    // stays CR LF and Windows-1252.
    EXPECT_EQ(file.Serialize(), ReadBytes(Fixtures / "windows_style.saved.ini"));
    EXPECT_EQ(LoadSettings(IniDocument::Parse(file.Serialize()), AppFolder), settings);
}

// Settings with a value of its own in every key, as this program wrote them.
Settings ProgramWrittenExpected() {
    Settings s = DefaultSettings("/srv/zep");
    s.MainWindow = {0, 480, 360, 14000, 9600};
    s.DeviceRegEntry = "SOFTWARE\\Station7\\Cache";
    s.OnlyOneInstance = false;
    s.CheckForChanges = false;
    s.AutoIEEE = true;
    s.ToggleSRE = true;
    s.Report.ClearOnFirstCase = false;
    s.Report.ClearOnNewCase = false;
    s.Report.Format.NumFormatUseDefault = false;
    s.Report.Format.NumFormatDefault = "0.00E+00";
    s.CurrentGroup = 2;
    s.CurrentCase = 7;
    s.Report.StopOnBlockError = true;
    s.IEEEDisp = true;
    s.Simulation = true;
    s.SimMaxTime = 2.5F;
    s.StepByStep = true;
    s.TestFolder = "/home/lab/tests";
    s.TestSet = "Station7.ZEP_SET";
    s.HelpFile = "zep.html";
    s.MSGRemote = false;
    s.TestCaseEditor = " vi ";
    s.Report.RTFScaling = true;
    s.Report.RTFScalingFactor = 350;
    s.NumOfParams = 12;
    s.Code = {false, false, "#", {"'quoted'", "write(1, \"", "", "", "", ""}, {")", "\")", "", "", "", ""}};
    s.Report.TestName = false;
    s.Report.BlockState = false;
    s.Report.Time = false;
    s.Report.TimeDetailed = true;
    s.Report.Results = false;
    s.Report.Errors = true;
    s.Report.LimitResult = false;
    s.Report.OutputForLoop = true;
    s.Report.ShowMax = false;
    s.Report.ShowMin = false;
    s.Report.ShowMean = false;
    s.Report.ShowMedian = true;
    s.Report.ShowStdDev = false;
    s.ErrorFile = "/var/log/zep/ERROR.TXT";
    s.VISALog = true;
    s.VISALogFile = "/var/log/zep/visa.log";
    s.Colors = {1, 2, 3, 4};
    return s;
}

TEST(SettingsFile, AFileWrittenByThisProgramReadsBackExactly) {
    EXPECT_EQ(LoadSettings(Fixtures / "program_written.ini", "/srv/zep"), ProgramWrittenExpected());
    IniDocument file;
    SaveSettings(file, ProgramWrittenExpected());
    EXPECT_EQ(WithoutCarriageReturns(file.Serialize()),
              WithoutCarriageReturns(ReadBytes(Fixtures / "program_written.ini")));
}

TEST(SettingsFile, MissingGarbledAndUnreadableFilesGiveDefaults) {
    const fs::path folder = fs::temp_directory_path() / "zep_settings_defaults";
    fs::remove_all(folder);
    fs::create_directories(folder / "ZEP_INIT.INI"); // a folder in place of the file
    const Settings defaults = DefaultSettings(AppFolder);
    std::string error;
    EXPECT_EQ(LoadSettings(folder / "missing.ini", AppFolder, &error), defaults);
    EXPECT_EQ(error, "");
    EXPECT_EQ(LoadSettings(folder / "ZEP_INIT.INI", AppFolder, &error), defaults);
    EXPECT_NE(error, "");
    EXPECT_NE(SaveSettings(folder / "ZEP_INIT.INI", defaults), "");

    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 7919) % 256);
    std::ofstream(folder / "garbled.ini", std::ios::binary) << garbage;
    EXPECT_EQ(LoadSettings(folder / "garbled.ini", AppFolder, &error), defaults);
    fs::remove_all(folder);
}

TEST(SettingsFile, SavingOnDiskKeepsWhatOthersWroteMeanwhile) {
    const fs::path folder = fs::temp_directory_path() / "zep_settings_meanwhile";
    fs::remove_all(folder);
    const fs::path path = folder / "ZEP_INIT.INI";
    Settings settings = LoadSettings(path, AppFolder); // start-up: no file yet
    RefreshRecent(path, "/tests/a.ZEP_SET");           // a test set loaded while running
    settings.Simulation = true;
    ASSERT_EQ(SaveSettings(path, settings), ""); // shutdown
    const IniFile file = ReadIniFile(path);
    EXPECT_EQ(ReadRecentList(file.Document)[0], "/tests/a.ZEP_SET");
    EXPECT_EQ(LoadSettings(file.Document, AppFolder), settings);
    fs::remove_all(folder);
}

TEST(SettingsFile, SingleKeysReadAndWriteTheFileOnDisk) {
    const fs::path folder = fs::temp_directory_path() / "zep_settings_single";
    fs::remove_all(folder);
    const fs::path path = folder / "ZEP_INIT.INI";
    EXPECT_EQ(ReadSetting(path, "TestEnv", "SimMaxTime", 100.0F), 100.0F);
    ASSERT_EQ(WriteSetting(path, "TestEnv", "SimMaxTime", 2.5F), "");
    ASSERT_EQ(WriteSetting(path, "TestEnv", "Simulation", true), "");
    EXPECT_EQ(ReadSetting(path, "testenv", "simmaxtime", 100.0F), 2.5F);
    EXPECT_TRUE(ReadSetting(path, "TestEnv", "Simulation", false));
    EXPECT_EQ(WithoutCarriageReturns(ReadBytes(path)), "[TestEnv]\nSimMaxTime=2.5\nSimulation=1\n");
    fs::remove_all(folder);
}

TEST(SettingsLocation, OptionBeforeEnvironmentBeforeTheApplicationFolder) {
    const fs::path app = "/opt/zep";
    EXPECT_EQ(ResolveSettingsPath(std::string("/tmp/a.ini"), "/tmp/b.ini", app), "/tmp/a.ini");
    EXPECT_EQ(ResolveSettingsPath(std::nullopt, "/tmp/b.ini", app), "/tmp/b.ini");
    EXPECT_EQ(ResolveSettingsPath(std::nullopt, "", app), app / "ZEP_INIT.INI");
    EXPECT_EQ(ResolveSettingsPath(std::nullopt, nullptr, app), app / "ZEP_INIT.INI");
}

TEST(SettingsLocation, TheApplicationFolderIsTheExecutablesWhenWritable) {
    const fs::path executable = ExecutableFolder();
    EXPECT_TRUE(fs::exists(executable / "settings_tests") || fs::exists(executable / "settings_tests.exe"));
    EXPECT_EQ(ApplicationFolder(), FolderIsWritable(executable) ? executable : UserConfigFolder());
    EXPECT_FALSE(FolderIsWritable("/nonexistent/zep/folder"));
    EXPECT_TRUE(FolderIsWritable(fs::temp_directory_path()));
}

} // namespace
} // namespace zep
