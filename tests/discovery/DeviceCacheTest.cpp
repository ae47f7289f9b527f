// The device cache file: defaults, files written by hand on Windows, files that are no cache, other
// writers of the same file, and where the file is found.
#include "discovery/DeviceCache.h"

#include "common/TextFile.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace zep {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view Key = "SOFTWARE\\Veltmark\\VISADeviceCache";

class DeviceCacheFile : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ =
            fs::temp_directory_path() / ("zep_devcache_" + std::to_string(::getpid()) + "_" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        path_ = folder_ / "VISADeviceCache.ini";
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(folder_, fs::perms::all, ec);
        fs::remove_all(folder_, ec);
    }
    void Write(const fs::path& path, std::string_view bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    std::string Bytes(const fs::path& path) { return ReadFileBytes(path).value_or("<missing>"); }

    fs::path folder_;
    fs::path path_;
};

TEST_F(DeviceCacheFile, AFreshCacheGetsItsDefaultsInANewFolder) {
    const fs::path path = folder_ / "new" / "cache.ini";
    auto cache = OpenFileDeviceCache(path);
    EnsureCacheDefaults(*cache, Key);
    auto reread = OpenFileDeviceCache(path);
    EXPECT_EQ(reread->ReadValue(Key, "DEVICE1"), "GPIB0::?*::INSTR");
    EXPECT_EQ(reread->ReadValue(Key, "SERVER1"), "localhost");
    EXPECT_EQ(Bytes(path),
              "[SOFTWARE\\Veltmark\\VISADeviceCache]\nDEVICE1=GPIB0::?*::INSTR\nSERVER1=localhost\n");
}

TEST_F(DeviceCacheFile, DefaultsLeaveValuesThatAreSetAlone) {
    // A value of blanks counts as empty; set values and their spelling stay byte for byte.
    const std::string file = "[SOFTWARE\\Veltmark\\VISADeviceCache]\r\nDEVICE1 = TCPIP::10.0.0.9::INSTR\r\n"
                             "SERVER1=   \r\n";
    Write(path_, file);
    auto cache = OpenFileDeviceCache(path_);
    EnsureCacheDefaults(*cache, Key);
    EXPECT_EQ(Bytes(path_), "[SOFTWARE\\Veltmark\\VISADeviceCache]\r\nDEVICE1 = TCPIP::10.0.0.9::INSTR\r\n"
                            "SERVER1=   localhost\r\n");

    const std::string complete = Bytes(path_);
    EnsureCacheDefaults(*cache, Key);
    EXPECT_EQ(Bytes(path_), complete);
}

TEST_F(DeviceCacheFile, AFileWrittenOnWindowsReadsBackAndKeepsAllButTheChangedValue) {
    const std::string file = "; VISA device cache, edited by hand\r\n"
                             "[Other]\r\nDEVICE1=not this one\r\n\r\n"
                             "[software\\veltmark\\VisaDeviceCache]\r\n"
                             "Device1 = GPIB0::?*::INSTR\r\n"
                             "; the lab's analyser\r\n"
                             "device2=TCPIP::192.168.1.20::INSTR\r\n"
                             "DEVICE4=GPIB0::7::INSTR\r\n"
                             "server1=\"lab7\"\r\n"
                             "[Tail]\r\nx=1\r\n";
    Write(path_, file);
    auto cache = OpenFileDeviceCache(path_);
    EXPECT_EQ(ReadNumberedValues(*cache, Key, "DEVICE"),
              (std::vector<std::string>{"GPIB0::?*::INSTR", "TCPIP::192.168.1.20::INSTR"}));
    EXPECT_EQ(ReadNumberedValues(*cache, Key, "SERVER"), std::vector<std::string>{"lab7"});
    EXPECT_EQ(cache->ReadValue(Key, "DEVICE3"), "");
    EXPECT_EQ(cache->Problem(), "");

    ASSERT_TRUE(cache->WriteValue(Key, "SERVER1", "lab8"));
    std::string expected = file;
    expected.replace(expected.find("\"lab7\""), 6, "lab8");
    EXPECT_EQ(Bytes(path_), expected);

    ASSERT_TRUE(cache->DeleteValue(Key, "DEVICE2"));
    expected.erase(expected.find("device2="), std::string("device2=TCPIP::192.168.1.20::INSTR\r\n").size());
    EXPECT_EQ(Bytes(path_), expected);
    EXPECT_TRUE(cache->DeleteValue(Key, "DEVICE2")) << "a missing value is no error";
    EXPECT_EQ(Bytes(path_), expected);

    // A new value goes after the section's last key, with the file's own line end.
    ASSERT_TRUE(cache->WriteValue(Key, "DEVICE2", "VMIB::10.0.0.1::INSTR"));
    expected.insert(expected.find("[Tail]"), "DEVICE2=VMIB::10.0.0.1::INSTR\r\n");
    EXPECT_EQ(Bytes(path_), expected);
    EXPECT_EQ(ReadNumberedValues(*cache, Key, "DEVICE").size(), 2U)
        << "DEVICE2 now follows DEVICE4 in the file";
    EXPECT_EQ(cache->ReadValue(Key, "DEVICE4"), "GPIB0::7::INSTR");
}

TEST_F(DeviceCacheFile, ReadingStopsAtTheFirstEmptyNumber) {
    Write(path_, "[SOFTWARE\\Veltmark\\VISADeviceCache]\nDEVICE1=a\nDEVICE2=\nDEVICE3=c\nSERVER2=x\n");
    auto cache = OpenFileDeviceCache(path_);
    EXPECT_EQ(ReadNumberedValues(*cache, Key, "DEVICE"), std::vector<std::string>{"a"});
    EXPECT_TRUE(ReadNumberedValues(*cache, Key, "SERVER").empty());
}

TEST_F(DeviceCacheFile, FilesThatAreNoCacheReadEmptyAndAreNeverReplaced) {
    const std::string section = "[SOFTWARE\\Veltmark\\VISADeviceCache]\nDEVICE1=GPIB0::?*::INSTR\n";
    struct Case {
        const char* what;
        std::string bytes;
        const char* problem; // part of the reason given
    };
    const Case cases[] = {
        {"NUL bytes", section + std::string("SERVER1=lo\0calhost\n", 19), "NUL"},
        {"binary",
         std::string("\x7F"
                     "ELF\x02\x01\x01\0\0\0",
                     10) +
             section,
         "NUL"},
        {"huge", section + std::string(2 * 1024 * 1024, ';'), "too large"},
    };
    for (const auto& c : cases) {
        Write(path_, c.bytes);
        auto cache = OpenFileDeviceCache(path_);
        EXPECT_EQ(cache->ReadValue(Key, "DEVICE1"), "") << c.what;
        EXPECT_NE(cache->Problem().find(c.problem), std::string::npos) << c.what << ": " << cache->Problem();
        EXPECT_NE(cache->Problem().find(path_.string()), std::string::npos) << c.what;
        EnsureCacheDefaults(*cache, Key);
        EXPECT_FALSE(cache->WriteValue(Key, "SERVER1", "localhost")) << c.what;
        EXPECT_FALSE(cache->DeleteValue(Key, "DEVICE1")) << c.what;
        EXPECT_NE(cache->Problem().find("not written"), std::string::npos) << c.what;
        EXPECT_EQ(Bytes(path_), c.bytes) << c.what;
    }

    // Text that is no INI file at all reads empty, and a write keeps every byte of it.
    const std::string prose = "Some notes\r\nwithout = sections\r\n";
    Write(path_, prose);
    auto cache = OpenFileDeviceCache(path_);
    EXPECT_EQ(cache->ReadValue(Key, "without"), "");
    ASSERT_TRUE(cache->WriteValue(Key, "SERVER1", "localhost"));
    EXPECT_EQ(Bytes(path_), prose + "[SOFTWARE\\Veltmark\\VISADeviceCache]\r\nSERVER1=localhost\r\n");

    auto missing = OpenFileDeviceCache(folder_ / "missing.ini");
    EXPECT_EQ(missing->ReadValue(Key, "DEVICE1"), "");
    EXPECT_EQ(missing->Problem(), "");
    EXPECT_TRUE(missing->DeleteValue(Key, "DEVICE1"));
    EXPECT_FALSE(fs::exists(folder_ / "missing.ini")) << "deleting from a missing file creates nothing";
}

TEST_F(DeviceCacheFile, AWriteThatFailsIsToldAndLeavesNoValueBehind) {
    Write(folder_ / "plain", "a file where the folder should be");
    auto cache = OpenFileDeviceCache(folder_ / "plain" / "cache.ini");
    EXPECT_FALSE(cache->WriteValue(Key, "DEVICE1", "GPIB0::?*::INSTR"));
    EXPECT_NE(cache->Problem().find((folder_ / "plain").string()), std::string::npos) << cache->Problem();
    EXPECT_EQ(cache->ReadValue(Key, "DEVICE1"), "");
    EXPECT_EQ(Bytes(folder_ / "plain"), "a file where the folder should be");

    // Names the file cannot hold are refused rather than written as something else.
    auto good = OpenFileDeviceCache(path_);
    EXPECT_FALSE(good->WriteValue("A]B", "DEVICE1", "x"));
    EXPECT_FALSE(good->WriteValue(Key, "DEVICE1=x\nSERVER1", "y"));
    EXPECT_FALSE(good->WriteValue(Key, ";DEVICE1", "y"));
    EXPECT_NE(good->Problem().find("invalid device cache value name"), std::string::npos);
    EXPECT_FALSE(fs::exists(path_));
}

TEST_F(DeviceCacheFile, WritesOfAnotherProgramAreSeenAndKept) {
    auto editor = OpenFileDeviceCache(path_);
    auto scanner = OpenFileDeviceCache(path_);
    EXPECT_EQ(scanner->ReadValue(Key, "DEVICE1"), "");
    ASSERT_TRUE(editor->WriteValue(Key, "DEVICE1", "GPIB0::?*::INSTR"));
    EXPECT_EQ(scanner->ReadValue(Key, "DEVICE1"), "GPIB0::?*::INSTR");
    ASSERT_TRUE(scanner->WriteValue(Key, "SERVER1", "lab7"));
    ASSERT_TRUE(editor->WriteValue(Key, "DEVICE2", "GPIB0::7::INSTR"));
    auto reread = OpenFileDeviceCache(path_);
    EXPECT_EQ(reread->ReadValue(Key, "SERVER1"), "lab7");
    EXPECT_EQ(ReadNumberedValues(*reread, Key, "DEVICE").size(), 2U);

    // Changed by hand to the same size: the rename into place still shows.
    const std::string text = Bytes(path_);
    std::string edited = text;
    edited.replace(edited.find("lab7"), 4, "lab9");
    Write(folder_ / "edit.tmp", edited);
    fs::rename(folder_ / "edit.tmp", path_);
    EXPECT_EQ(scanner->ReadValue(Key, "SERVER1"), "lab9");
}

TEST_F(DeviceCacheFile, TheOptionWinsOverTheEnvironmentWhichWinsOverTheDefault) {
    const fs::path machine = folder_ / "machine";
    const fs::path user = folder_ / "user";
    EXPECT_EQ(ResolveDeviceCachePath(std::string("/opt/a.ini"), "/env/b.ini", machine, user), "/opt/a.ini");
    EXPECT_EQ(ResolveDeviceCachePath(std::string(), "/env/b.ini", machine, user), "/env/b.ini");
    EXPECT_EQ(ResolveDeviceCachePath(std::nullopt, "", machine, user), machine / "VISADeviceCache.ini")
        << "a folder that can be created is the machine's";
    EXPECT_EQ(ResolveDeviceCachePath(std::nullopt, nullptr, machine, user), machine / "VISADeviceCache.ini");

    // Below a plain file no folder can ever be made, whoever asks.
    Write(folder_ / "plain", "x");
    EXPECT_EQ(ResolveDeviceCachePath(std::nullopt, nullptr, folder_ / "plain" / "zep", user),
              user / "VISADeviceCache.ini");

    // The program's own entry point reads the same option and environment.
    ASSERT_EQ(::setenv("ZEP_REGISTRY", (folder_ / "env.ini").c_str(), 1), 0);
    EXPECT_EQ(ResolveDeviceCachePath(std::nullopt), folder_ / "env.ini");
    EXPECT_EQ(ResolveDeviceCachePath(path_.string()), path_);
    auto cache = OpenDeviceCache(std::nullopt);
    EXPECT_TRUE(cache->WriteValue(Key, "SERVER1", "localhost"));
    ::unsetenv("ZEP_REGISTRY");
    EXPECT_NE(Bytes(folder_ / "env.ini").find("SERVER1=localhost"), std::string::npos);
}

// Runs resolve as an unprivileged user in a child process (root may write anywhere) and returns
// the path it chose, or empty when the child could not give up root.
std::string ResolveAsNobody(const fs::path& machine, const fs::path& user) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) return "pipe failed";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        std::string chosen;
        if (::geteuid() != 0 || (::setgid(65534) == 0 && ::setuid(65534) == 0))
            chosen = ResolveDeviceCachePath(std::nullopt, nullptr, machine, user).string();
        const ssize_t written = ::write(pipeEnds[1], chosen.data(), chosen.size());
        ::_exit(written == static_cast<ssize_t>(chosen.size()) ? 0 : 1);
    }
    ::close(pipeEnds[1]);
    std::string chosen;
    char buffer[512];
    for (ssize_t got; (got = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        chosen.append(buffer, static_cast<size_t>(got));
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return chosen;
}

TEST_F(DeviceCacheFile, AUserWhoCannotWriteTheMachineFolderGetsAFileOfTheirOwn) {
    const fs::path machine = folder_ / "machine";
    const fs::path open = folder_ / "open";
    const fs::path user = folder_ / "user";
    fs::create_directories(machine);
    fs::create_directories(open);
    // Others may enter the folders but write only the open one.
    fs::permissions(folder_, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec |
                                 fs::perms::group_read | fs::perms::others_read);
    fs::permissions(machine, fs::perms::owner_all | fs::perms::others_exec | fs::perms::others_read);
    fs::permissions(open, fs::perms::all);

    const std::string forMachine = ResolveAsNobody(machine, user);
    if (forMachine.empty()) GTEST_SKIP() << "cannot run as an unprivileged user here";
    EXPECT_EQ(forMachine, (user / "VISADeviceCache.ini").string());
    EXPECT_EQ(ResolveAsNobody(open, user), (open / "VISADeviceCache.ini").string());
    EXPECT_EQ(ResolveAsNobody(machine / "sub", user), (user / "VISADeviceCache.ini").string());

    // A list the administrator keeps there is read by everyone, though they cannot change it.
    Write(machine / "VISADeviceCache.ini", "[SOFTWARE\\Veltmark\\VISADeviceCache]\nSERVER1=lab7\n");
    EXPECT_EQ(ResolveAsNobody(machine, user), (machine / "VISADeviceCache.ini").string());
}

} // namespace
} // namespace zep
