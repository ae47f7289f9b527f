// The INI document: reading as the private-profile functions read, writing without disturbing
// what the program does not own, and the file on disk.
#include "settings/IniFile.h"
#include "common/Utf8.h"

#include "common/TextFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

namespace zep {
namespace {

namespace fs = std::filesystem;

struct GetCase {
    const char* file;
    const char* section;
    const char* key;
    std::optional<std::string> expected;
};

TEST(IniDocumentGet, ReadsAsThePrivateProfileFunctions) {
    const GetCase cases[] = {
        {"[TestEnv]\nSimulation=1\n", "TestEnv", "Simulation", "1"},
        {"[testenv]\nSIMULATION=1\n", "TestEnv", "Simulation", "1"},
        {"[ TestEnv ]\n  Simulation  =  on  \n", "TestEnv", "Simulation", "on"},
        {"[A]\nk=\"a b\"\n", "A", "k", "a b"},
        {"[A]\nk=' padded '\n", "A", "k", " padded "},
        {"[A]\nk=\"mixed'\n", "A", "k", "\"mixed'"},
        {"[A]\nk='\n", "A", "k", "'"},
        {"[A]\nk=\"\"\n", "A", "k", ""},
        {"[A]\nk=\n", "A", "k", ""},
        {"[A]\nk\n", "A", "k", std::nullopt},             // a line without "=" is no key
        {"[A]\n;k=1\n", "A", "k", std::nullopt},          // comment
        {"k=1\n[A]\n", "A", "k", std::nullopt},           // before any section
        {"[A]\nk=first\nK=second\n", "A", "k", "first"},  // first key wins
        {"[A]\nx=1\n[a]\nk=2\n", "A", "k", std::nullopt}, // only the first section of a name counts
        {"[A]\nk=1\n[B]\n", "B", "k", std::nullopt},
        {"[A]\r\nk=crlf\r\n", "A", "k", "crlf"},
        {"[A]\rk=cr\r", "A", "k", "cr"},
        {"[A] ; note\nk=1\n", "A", "k", "1"},
        {"[A]\nk=a=b\n", "A", "k", "a=b"},
        {"[A]\nk=1", "A", "k", "1"}, // no final line end
        {"", "A", "k", std::nullopt},
    };
    for (const auto& c : cases) {
        const IniDocument document = IniDocument::Parse(c.file);
        EXPECT_EQ(document.Get(c.section, c.key), c.expected) << c.file;
    }
}

TEST(IniDocumentGet, CutsValuesAtTheReadBufferSize) {
    const std::string longValue(800, 'x');
    const IniDocument document =
        IniDocument::Parse("[A]\nk=" + longValue + "\nu=" + std::string(760, '\xE4') + "\n");
    EXPECT_EQ(document.Get("A", "k"), std::string(MaxSettingLength, 'x'));
    // Characters, not bytes: a Windows-1252 file decodes to two-byte UTF-8 characters.
    const auto umlauts = document.Get("A", "u");
    ASSERT_TRUE(umlauts);
    EXPECT_EQ(utf8::Length(*umlauts), MaxSettingLength);
}

TEST(IniDocumentGet, DecodesWindows1252AndUtf16Files) {
    EXPECT_EQ(IniDocument::Parse("[A]\nk=Pr\xFC"
                                 "fung\n")
                  .Get("A", "k"),
              "Pr\xC3\xBC"
              "fung");
    EXPECT_EQ(IniDocument::Parse("\xEF\xBB\xBF[A]\nk=v\n").Get("A", "k"), "v");
    const std::string utf16 = std::string("\xFF\xFE", 2) + utf8::ToUtf16("[A]\r\nk=\xC3\xBC\r\n", false);
    const IniDocument document = IniDocument::Parse(utf16);
    EXPECT_EQ(document.Encoding(), IniEncoding::Utf16LE);
    EXPECT_EQ(document.Get("A", "k"), "\xC3\xBC");
}

TEST(IniDocumentSerialize, UnchangedFilesWriteBackByteForByte) {
    const std::string files[] = {
        "; comment\r\n[A]\r\n  k = v \r\n\r\n[B]\r\nx\r\n",
        "[A]\nk=Pr\xFC"
        "fung\n\x81\x8D\x8F\x90\x9D\n", // Windows-1252, unassigned bytes included
        "\xEF\xBB\xBF[A]\nk=v",
        "mixed\r\nline\nends\r",
        std::string("\xFF\xFE[\0A\0]\0\r\0\n\0", 12),
    };
    for (const auto& bytes : files)
        EXPECT_EQ(IniDocument::Parse(bytes).Serialize(), bytes);
}

TEST(IniDocumentSet, ChangesOnlyTheKeyItWrites) {
    IniDocument document =
        IniDocument::Parse("; head\r\n[A]\r\nOther = 1\r\nKey = old\r\n\r\n; about B\r\n[B]\r\nx=2\r\n");
    document.Set("a", "KEY", "new");
    document.Set("A", "Added", "3");
    document.Set("C", "k", "4");
    EXPECT_EQ(document.Serialize(), "; head\r\n[A]\r\nOther = 1\r\nKey = new\r\nAdded=3\r\n\r\n; about B\r\n"
                                    "[B]\r\nx=2\r\n[C]\r\nk=4\r\n");
    EXPECT_TRUE(document.Modified());
}

TEST(IniDocumentSet, KeepsTheLineOfAnUnchangedValue) {
    const std::string bytes = "[A]\r\nk = 'quoted'\r\n";
    IniDocument document = IniDocument::Parse(bytes);
    document.Set("A", "k", "quoted");
    EXPECT_EQ(document.Serialize(), bytes);
    EXPECT_FALSE(document.Modified());
}

TEST(IniDocumentSet, ValuesReadBackExactly) {
    const std::string values[] = {"plain",      " leading", "trailing ", "'single'",
                                  "\"double\"", "''",       "'",         "\"",
                                  "",           "a=b;c",    "[x]",       "\xC3\xBC\xE2\x82\xAC"};
    for (const auto& value : values) {
        IniDocument document;
        document.Set("A", "k", value);
        const IniDocument reread = IniDocument::Parse(document.Serialize());
        EXPECT_EQ(reread.Get("A", "k"), value) << "[" << value << "]";
    }
}

TEST(IniDocumentSet, LineBreaksAndNulCannotStartNewKeys) {
    IniDocument document;
    document.Set("A", "k", "one\r\n[B]\nx=1");
    document.Set("A", "n", std::string("before\0after", 12));
    const IniDocument reread = IniDocument::Parse(document.Serialize());
    EXPECT_EQ(reread.Get("A", "k"), "one  [B] x=1");
    EXPECT_EQ(reread.Get("B", "x"), std::nullopt);
    EXPECT_EQ(reread.Get("A", "n"), "before");
}

TEST(IniDocumentSet, AddsALineEndToAnUnterminatedLastLine) {
    IniDocument document = IniDocument::Parse("[A]\r\nk=1");
    document.Set("B", "k", "2");
    EXPECT_EQ(document.Serialize(), "[A]\r\nk=1\r\n[B]\r\nk=2\r\n");
}

TEST(IniDocumentSet, KeepsTheFileEncoding) {
    IniDocument latin = IniDocument::Parse("[A]\r\nk=Pr\xFC"
                                           "fung\r\n");
    latin.Set("A", "n", "\xC3\xA4"); // ä exists in Windows-1252
    EXPECT_EQ(latin.Serialize(), "[A]\r\nk=Pr\xFC"
                                 "fung\r\nn=\xE4\r\n");
    // A character Windows-1252 lacks turns the file into UTF-8 rather than losing it.
    latin.Set("A", "o", "\xCE\xA9");
    EXPECT_EQ(latin.Serialize(), "[A]\r\nk=Pr\xC3\xBC"
                                 "fung\r\nn=\xC3\xA4\r\no=\xCE\xA9\r\n");

    // Replacing the only byte that is not UTF-8 would leave bytes that read back as UTF-8
    // ("\xC3\xA4" is "Ã¤" in Windows-1252 but "ä" in UTF-8): the file becomes UTF-8 instead.
    IniDocument ambiguous = IniDocument::Parse("[A]\r\nk=\xC3\xA4\r\nn=\xFC\r\n");
    ambiguous.Set("A", "n", "u");
    EXPECT_EQ(IniDocument::Parse(ambiguous.Serialize()).Get("A", "k"), "\xC3\x83\xC2\xA4");

    IniDocument wide = IniDocument::Parse(std::string("\xFF\xFE", 2) + utf8::ToUtf16("[A]\r\n", false));
    wide.Set("A", "k", "\xC3\xBC");
    EXPECT_EQ(wide.Serialize(), std::string("\xFF\xFE", 2) + utf8::ToUtf16("[A]\r\nk=\xC3\xBC\r\n", false));
}

class IniFileOnDisk : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("zep_ini_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }
    fs::path folder_;
};

TEST_F(IniFileOnDisk, CreatesTheFileAndItsFolderOnFirstWrite) {
    IniFile file = ReadIniFile(folder_ / "new" / "ZEP_INIT.INI");
    EXPECT_EQ(file.FileState, IniFile::State::Missing);
    file.Document.Set("A", "k", "1");
    ASSERT_EQ(WriteIniFile(file), "");
    const IniFile reread = ReadIniFile(folder_ / "new" / "ZEP_INIT.INI");
    EXPECT_EQ(reread.FileState, IniFile::State::Loaded);
    EXPECT_EQ(reread.Document.Get("A", "k"), "1");
    // Nothing but the file itself is left behind (no temporary files).
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_ / "new"), fs::directory_iterator()), 1);
}

TEST_F(IniFileOnDisk, NeverReplacesAFileItCouldNotRead) {
    const fs::path path = folder_ / "ZEP_INIT.INI";
    fs::create_directory(path); // a folder where the file should be: exists, cannot be read
    IniFile file = ReadIniFile(path);
    EXPECT_EQ(file.FileState, IniFile::State::Unreadable);
    EXPECT_NE(file.Error.find("ZEP_INIT.INI"), std::string::npos);
    file.Document.Set("A", "k", "1");
    EXPECT_NE(WriteIniFile(file), "");
    EXPECT_TRUE(fs::is_directory(path));
}

TEST_F(IniFileOnDisk, ALinkedFileStaysLinked) {
    const fs::path shared = folder_ / "shared.ini";
    const fs::path link = folder_ / "ZEP_INIT.INI";
    std::ofstream(shared, std::ios::binary) << "[A]\nk=1\n";
    fs::create_symlink(shared, link);
    IniFile file = ReadIniFile(link);
    file.Document.Set("A", "k", "2");
    ASSERT_EQ(WriteIniFile(file), "");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadIniFile(shared).Document.Get("A", "k"), "2");
}

TEST_F(IniFileOnDisk, AnUnchangedFileIsNotRewritten) {
    const fs::path path = folder_ / "ZEP_INIT.INI";
    std::ofstream(path, std::ios::binary) << "[A]\nk=1\n";
    const auto stamp = fs::last_write_time(path);
    IniFile file = ReadIniFile(path);
    file.Document.Set("A", "k", "1");
    fs::permissions(folder_,
                    fs::perms::owner_read | fs::perms::owner_exec); // a rewrite would fail (unless root)
    EXPECT_EQ(WriteIniFile(file), "");
    fs::permissions(folder_, fs::perms::owner_all);
    EXPECT_EQ(fs::last_write_time(path), stamp);
}

} // namespace
} // namespace zep
