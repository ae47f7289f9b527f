// Decoding user files and writing files atomically.
#include "common/TextFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace zep {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

fs::path FreshDirectory(const std::string& name) {
    const fs::path dir =
        fs::temp_directory_path() / ("zep_textfile_" + name + "_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

TEST(TextFile, DecodesUtf8AsIsAndOtherwiseWindows1252) {
    EXPECT_EQ(DecodeUserText("Pegel \xC2\xB5V"), "Pegel \xC2\xB5V");
    EXPECT_EQ(DecodeUserText("\xEF\xBB\xBFNEED"), "NEED");
    EXPECT_EQ(DecodeUserText("Pegel \xB5V \x80 \x93x\x94"),
              "Pegel \xC2\xB5V \xE2\x82\xAC \xE2\x80\x9Cx\xE2\x80\x9D");
    EXPECT_EQ(DecodeUserText("\x81"), "\xC2\x81");
    // Overlong and surrogate forms are not UTF-8, so they are read as single bytes.
    EXPECT_EQ(DecodeUserText("\xC0\xAF"), "\xC3\x80\xC2\xAF");
    EXPECT_EQ(DecodeUserText("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xE2\x82\xAC");
}

TEST(TextFile, SplitsAtEveryLineEndStyle) {
    EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\r\n\r\nb\r\n"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(SplitLines("x\0y\n"s), (std::vector<std::string>{"x\0y"s}));
    EXPECT_TRUE(SplitLines("").empty());
}

TEST(TextFile, ReadsLongLinesAndNulBytesWhole) {
    const fs::path dir = FreshDirectory("long");
    const std::string longLine(1 << 20, 'x');
    WriteBytes(dir / "f.txt", longLine + "\r\nA\0B\r\n"s);
    const auto lines = ReadUserTextLines(dir / "f.txt");
    ASSERT_TRUE(lines);
    ASSERT_EQ(lines->size(), 2U);
    EXPECT_EQ((*lines)[0].size(), longLine.size());
    EXPECT_EQ((*lines)[1], "A\0B"s);
    EXPECT_FALSE(ReadUserTextLines(dir / "missing.txt"));
    EXPECT_FALSE(ReadUserTextLines(dir)); // a folder is not a file
}

TEST(TextFile, AtomicWriteReplacesAndLeavesNoTemporaryFile) {
    const fs::path dir = FreshDirectory("atomic");
    WriteBytes(dir / "report.txt", "old");
    EXPECT_EQ(WriteFileAtomically(dir / "report.txt", "new content"), "");
    EXPECT_EQ(*ReadFileBytes(dir / "report.txt"), "new content");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

    fs::permissions(dir / "report.txt",
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(WriteFileAtomically(dir / "report.txt", "again"), "");
    EXPECT_EQ(fs::status(dir / "report.txt").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    const std::string error = WriteFileAtomically(dir / "no" / "such" / "dir.txt", "x");
    EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
}

TEST(TextFile, AtomicWriteFollowsLinksAndWritesThroughDevicesAndFifos) {
    const fs::path dir = FreshDirectory("special");
    WriteBytes(dir / "target.txt", "old");
    fs::create_symlink("target.txt", dir / "link.txt");
    EXPECT_EQ(WriteFileAtomically(dir / "link.txt", "through the link"), "");
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir / "link.txt")));
    EXPECT_EQ(*ReadFileBytes(dir / "target.txt"), "through the link");

    // A dangling link gets its target made.
    fs::create_symlink("new.txt", dir / "dangling.txt");
    EXPECT_EQ(WriteFileAtomically(dir / "dangling.txt", "made"), "");
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir / "dangling.txt")));
    EXPECT_EQ(*ReadFileBytes(dir / "new.txt"), "made");

    fs::create_symlink("loop2", dir / "loop1");
    fs::create_symlink("loop1", dir / "loop2");
    EXPECT_NE(WriteFileAtomically(dir / "loop1", "x").find("symbolic links"), std::string::npos);

    fs::create_directory(dir / "folder");
    const std::string error = WriteFileAtomically(dir / "folder", "x");
    EXPECT_NE(error.find("is a directory"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_directory(dir / "folder"));

    // A FIFO with a reader stays a FIFO and the reader gets the bytes. The reader is opened first and
    // does not block, so a write that replaced the FIFO would fail here instead of hanging.
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    const int reader = ::open((dir / "pipe").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(WriteFileAtomically(dir / "pipe", "to the reader"), "");
    char received[64] = {};
    EXPECT_EQ(::read(reader, received, sizeof received), 13);
    ::close(reader);
    EXPECT_STREQ(received, "to the reader");
    EXPECT_TRUE(fs::is_fifo(dir / "pipe"));

    if (::geteuid() != 0) GTEST_SKIP() << "making a device node needs root";
    ASSERT_EQ(::mknod((dir / "null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)), 0);
    EXPECT_EQ(WriteFileAtomically(dir / "null", "discarded"), "");
    EXPECT_TRUE(fs::is_character_file(dir / "null"));
    ASSERT_EQ(::mknod((dir / "full").c_str(), S_IFCHR | 0666, ::makedev(1, 7)), 0);
    const std::string full = WriteFileAtomically(dir / "full", "no room");
    EXPECT_NE(full.find("No space left"), std::string::npos) << full;
    EXPECT_TRUE(fs::is_character_file(dir / "full"));
}

TEST(TextFile, FindsNamesWrittenOnCaseInsensitiveSystems) {
    const fs::path dir = FreshDirectory("case");
    fs::create_directories(dir / "Common");
    WriteBytes(dir / "MyTest.ZEP_CASE", "");
    WriteBytes(dir / "Common" / "Setup.ZEP_CASE", "");
    EXPECT_EQ(FindPathIgnoringCase(dir, "mytest.zep_case"), dir / "MyTest.ZEP_CASE");
    EXPECT_EQ(FindPathIgnoringCase(dir, "common\\setup.ZEP_CASE"), dir / "Common" / "Setup.ZEP_CASE");
    EXPECT_EQ(FindPathIgnoringCase(dir, "MyTest.ZEP_CASE"), dir / "MyTest.ZEP_CASE");
    EXPECT_FALSE(FindPathIgnoringCase(dir, "common")); // a folder is no test-case file
    EXPECT_FALSE(FindPathIgnoringCase(dir, "other"));
    EXPECT_FALSE(FindPathIgnoringCase(dir, ""));
}

} // namespace
} // namespace zep
