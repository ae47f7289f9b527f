// The VISA resource editor on a real cache file with a scripted host: loading with gaps, the six
// kinds of new resource, the localhost question, renaming, and what OK stores.
#include "discovery/VISARscEditor.h"

#include "FakeHost.h"
#include "common/TextFile.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace zep {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view Key = "SOFTWARE\\Veltmark\\VISADeviceCache";
using Entries = std::vector<std::string>;

class VISARscEditorLists : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ =
            fs::temp_directory_path() / ("zep_rsceditor_" + std::to_string(::getpid()) + "_" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        path_ = folder_ / "VISADeviceCache.ini";
        cache_ = OpenFileDeviceCache(path_);
        editor_ = std::make_unique<VISARscEditor>(host_, *cache_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    // A cache file holding the given lines in the key's section, then the editor loaded from it.
    void Load(std::string_view lines) {
        std::ofstream(path_, std::ios::binary) << "[" << Key << "]\n" << lines;
        editor_->UpdateList(Key);
    }
    std::string Value(std::string_view name) { return OpenFileDeviceCache(path_)->ReadValue(Key, name); }
    void Answer(std::initializer_list<std::optional<std::string>> answers) {
        host_.inputAnswers.assign(answers.begin(), answers.end());
    }

    fs::path folder_;
    fs::path path_;
    test::FakeHost host_;
    std::unique_ptr<DeviceCache> cache_;
    std::unique_ptr<VISARscEditor> editor_;
};

TEST_F(VISARscEditorLists, NumbersWithoutValuesStayEmptyEntriesAndOKWritesTheSameNumbers) {
    Load("DEVICE1=GPIB0::?*::INSTR\nDEVICE3=  TCPIP::10.0.0.7::INSTR  \nDEVICE2=   \n; the "
         "lab\nSERVER2=lab7\n");
    EXPECT_EQ(editor_->CacheKey(), Key);
    EXPECT_EQ(editor_->DevList(), (Entries{"GPIB0::?*::INSTR", "", "TCPIP::10.0.0.7::INSTR"}));
    EXPECT_EQ(editor_->ServerList(), (Entries{"", "lab7"}));
    EXPECT_EQ(editor_->DevSelected(), -1);

    ASSERT_TRUE(editor_->OK());
    EXPECT_EQ(Value("DEVICE1"), "GPIB0::?*::INSTR");
    EXPECT_EQ(Value("DEVICE3"), "TCPIP::10.0.0.7::INSTR");
    EXPECT_EQ(Value("SERVER2"), "lab7");
    const std::string stored = ReadFileBytes(path_).value_or("");
    EXPECT_EQ(stored.find("DEVICE2"), std::string::npos) << stored;
    EXPECT_EQ(stored.find("SERVER1"), std::string::npos) << stored;
    EXPECT_NE(stored.find("; the lab\n"), std::string::npos) << stored;
    // The scan reads up to the first gap only.
    EXPECT_EQ(ReadNumberedValues(*cache_, Key, "DEVICE"), Entries{"GPIB0::?*::INSTR"});
    EXPECT_TRUE(ReadNumberedValues(*cache_, Key, "SERVER").empty());

    // Nothing changed: OK leaves the file as it is.
    editor_->UpdateList(Key);
    ASSERT_TRUE(editor_->OK());
    EXPECT_EQ(ReadFileBytes(path_), stored);
}

TEST_F(VISARscEditorLists, ListsStayEmptyWhenNothingIsSet) {
    editor_->UpdateList(Key);
    EXPECT_TRUE(editor_->DevList().empty());
    EXPECT_TRUE(editor_->ServerList().empty());
    EXPECT_FALSE(fs::exists(path_));
    EXPECT_FALSE(editor_->DeleteDevice()) << "nothing selected";
    EXPECT_FALSE(editor_->RenameServer()) << "nothing selected";
    EXPECT_TRUE(host_.inputs.empty());
    ASSERT_TRUE(editor_->OK());
    EXPECT_FALSE(fs::exists(path_)) << "empty lists over a missing file change nothing";
}

TEST_F(VISARscEditorLists, EachKindAsksItsBoxesAndBuildsItsEntry) {
    struct Prompt {
        std::string prompt;
        std::string defaultAnswer;
    };
    struct Case {
        ResourceKind kind;
        std::vector<std::optional<std::string>> answers;
        std::vector<Prompt> prompts;
        std::optional<std::string> entry; // nothing: no entry added
    };
    const std::string host = "TCPIP address or computer name of the instrument:";
    const Case cases[] = {
        {ResourceKind::GpibBus, {}, {}, "GPIB0::?*::INSTR"},
        {ResourceKind::GpibInstrument, {"7"}, {{"GPIB address:", "20"}}, "GPIB0::7::INSTR"},
        {ResourceKind::GpibInstrument, {std::nullopt}, {{"GPIB address:", "20"}}, "GPIB0::::INSTR"},
        {ResourceKind::TcpipVxi11, {"10.0.0.5"}, {{host, ""}}, "TCPIP::10.0.0.5::INSTR"},
        {ResourceKind::TcpipVmib, {"sa-lab"}, {{host, ""}}, "VMIB::sa-lab::INSTR"},
        {ResourceKind::TcpipSocket,
         {"localhost", "5025"},
         {{host, "localhost"}, {"PORT:", ""}},
         "TCPIP::localhost::5025::SOCKET"},
        {ResourceKind::TcpipSocket,
         {std::nullopt, std::nullopt},
         {{host, "localhost"}, {"PORT:", ""}},
         "TCPIP::::::SOCKET"},
        {ResourceKind::FreeEntry, {" LAN::10.0.0.3::INSTR"}, {{"Resource:", ""}}, " LAN::10.0.0.3::INSTR"},
        {ResourceKind::FreeEntry, {std::nullopt}, {{"Resource:", ""}}, std::nullopt},
        {ResourceKind::FreeEntry, {"   "}, {{"Resource:", ""}}, std::nullopt},
    };
    for (const auto& c : cases) {
        const std::string what = std::string(ResourceKindNames[static_cast<size_t>(c.kind)]) + " answered " +
                                 (c.answers.empty() || !c.answers[0] ? "nothing" : *c.answers[0]);
        Load("DEVICE1=GPIB0::?*::INSTR\n");
        host_.inputs.clear();
        host_.inputAnswers.assign(c.answers.begin(), c.answers.end());
        EXPECT_EQ(editor_->AddDevice(c.kind), c.entry.has_value()) << what;
        Entries expected{"GPIB0::?*::INSTR"};
        if (c.entry) expected.push_back(*c.entry);
        EXPECT_EQ(editor_->DevList(), expected) << what;
        ASSERT_EQ(host_.inputs.size(), c.prompts.size()) << what;
        for (size_t i = 0; i < c.prompts.size(); ++i) {
            EXPECT_EQ(host_.inputs[i].prompt, c.prompts[i].prompt) << what;
            EXPECT_EQ(host_.inputs[i].title, "RESOURCE") << what;
            EXPECT_EQ(host_.inputs[i].defaultAnswer, c.prompts[i].defaultAnswer) << what;
        }
    }
    EXPECT_EQ(ResourceKindNames,
              (std::array<std::string_view, 6>{"GPIB bus", "GPIB instrument", "TCP/IP instrument (VXI11)",
                                               "TCP/IP instrument (VMIB)", "TCP/IP socket", "free entry"}));
}

TEST_F(VISARscEditorLists, AddingReplacesOnlyALoneEmptyEntry) {
    Load("DEVICE2=GPIB0::5::INSTR\nSERVER2=lab7\n");
    editor_->AddDevice(ResourceKind::GpibBus);
    EXPECT_EQ(editor_->DevList(), (Entries{"", "GPIB0::5::INSTR", "GPIB0::?*::INSTR"}));

    editor_->SelectServer(1);
    ASSERT_TRUE(editor_->DeleteServer());
    EXPECT_EQ(editor_->ServerList(), Entries{""});
    EXPECT_EQ(editor_->ServerSelected(), 0) << "the first remaining entry is selected";
    Answer({std::nullopt, "  ", "lab8 "});
    EXPECT_FALSE(editor_->AddServer()) << "cancelled";
    EXPECT_FALSE(editor_->AddServer()) << "blanks only";
    EXPECT_EQ(editor_->ServerList(), Entries{""});
    ASSERT_TRUE(editor_->AddServer());
    EXPECT_EQ(editor_->ServerList(), Entries{"lab8 "}) << "stored as typed";
    EXPECT_EQ(editor_->ServerSelected(), -1);
    ASSERT_EQ(host_.inputs.size(), 3U);
    EXPECT_EQ(host_.inputs[0].prompt, "Server name:");
    EXPECT_EQ(host_.inputs[0].title, "SERVER");
    EXPECT_EQ(host_.inputs[0].defaultAnswer, "localhost");
}

TEST_F(VISARscEditorLists, DeletingLocalhostAsksFirstAndNoKeepsIt) {
    Load("SERVER1=localhost\nSERVER2=LOCALHOST\nSERVER3=lab7\n");
    const std::string question = "By deleting localhost, instruments connected to the local PC\r\n"
                                 "will NOT be scanned any more.\r\n\r\nDelete localhost?";
    editor_->SelectServer(0);
    host_.answers = {MsgAnswer::No};
    EXPECT_FALSE(editor_->DeleteServer());
    EXPECT_EQ(editor_->ServerList(), (Entries{"localhost", "LOCALHOST", "lab7"}));
    ASSERT_EQ(host_.boxes.size(), 1U);
    EXPECT_EQ(host_.boxes[0].text, question);
    EXPECT_EQ(host_.boxes[0].style, MsgStyle::YesNo | MsgStyle::Critical);

    editor_->SelectServer(1);
    ASSERT_TRUE(editor_->DeleteServer());
    EXPECT_EQ(host_.boxes.size(), 1U) << "the question is for the exact text only";
    EXPECT_EQ(editor_->ServerList(), (Entries{"localhost", "lab7"}));
    EXPECT_EQ(editor_->ServerSelected(), 0);

    host_.answers = {MsgAnswer::Yes};
    ASSERT_TRUE(editor_->DeleteServer());
    EXPECT_EQ(editor_->ServerList(), Entries{"lab7"});

    // Resources named localhost are not servers: no question.
    Load("DEVICE1=localhost\n");
    editor_->SelectDevice(0);
    ASSERT_TRUE(editor_->DeleteDevice());
    EXPECT_EQ(host_.boxes.size(), 2U);
    EXPECT_TRUE(editor_->DevList().empty());
    EXPECT_EQ(editor_->DevSelected(), -1);
}

TEST_F(VISARscEditorLists, RenamingMovesTheEntryToTheLastNumber) {
    Load("DEVICE1=GPIB0::1::INSTR\nDEVICE2=GPIB0::2::INSTR\nDEVICE3=GPIB0::3::INSTR\nSERVER1=lab7\n");
    editor_->SelectDevice(0);
    Answer({"GPIB0::9::INSTR"});
    ASSERT_TRUE(editor_->RenameDevice());
    ASSERT_EQ(host_.inputs.size(), 1U);
    EXPECT_EQ(host_.inputs[0].prompt, "Resource descriptor:");
    EXPECT_EQ(host_.inputs[0].title, "RESOURCE");
    EXPECT_EQ(host_.inputs[0].defaultAnswer, "GPIB0::1::INSTR");
    EXPECT_EQ(editor_->DevList(), (Entries{"GPIB0::2::INSTR", "GPIB0::3::INSTR", "GPIB0::9::INSTR"}));

    // A cancelled box renames nothing.
    editor_->SelectServer(0);
    EXPECT_FALSE(editor_->RenameServer());
    EXPECT_EQ(host_.inputs[1].prompt, "New server name:");
    EXPECT_EQ(host_.inputs[1].title, "SERVER");
    EXPECT_EQ(host_.inputs[1].defaultAnswer, "lab7");
    EXPECT_EQ(editor_->ServerList(), Entries{"lab7"});

    ASSERT_TRUE(editor_->OK());
    EXPECT_EQ(Value("DEVICE1"), "GPIB0::2::INSTR");
    EXPECT_EQ(Value("DEVICE3"), "GPIB0::9::INSTR");
    EXPECT_EQ(Value("SERVER1"), "lab7");
}

TEST_F(VISARscEditorLists, EntriesBeyondTheHundredthAreWrittenButNeitherShownNorDeleted) {
    std::string lines;
    for (int n = 1; n <= 100; ++n)
        lines += "DEVICE" + std::to_string(n) + "=GPIB0::" + std::to_string(n) + "::INSTR\n";
    Load(lines);
    Answer({"TCPIP::10.0.0.101::INSTR"});
    ASSERT_TRUE(editor_->AddDevice(ResourceKind::FreeEntry));
    ASSERT_TRUE(editor_->OK());
    EXPECT_EQ(Value("DEVICE101"), "TCPIP::10.0.0.101::INSTR");

    editor_->UpdateList(Key);
    ASSERT_EQ(editor_->DevList().size(), 100U);
    editor_->SelectDevice(0);
    ASSERT_TRUE(editor_->DeleteDevice());
    ASSERT_TRUE(editor_->OK());
    EXPECT_EQ(Value("DEVICE1"), "GPIB0::2::INSTR");
    EXPECT_EQ(Value("DEVICE100"), "");
    EXPECT_EQ(Value("DEVICE101"), "TCPIP::10.0.0.101::INSTR");
}

TEST_F(VISARscEditorLists, OKThatCannotWriteSaysSoAndKeepsBothTheListsAndTheFile) {
    Load("DEVICE1=GPIB0::?*::INSTR\n");
    editor_->AddDevice(ResourceKind::GpibBus);
    // Meanwhile the file turned into something that is no cache; it must not be replaced.
    const std::string garbled("\0\0binary\0", 9);
    std::ofstream(path_, std::ios::binary) << garbled;
    EXPECT_FALSE(editor_->OK());
    ASSERT_EQ(host_.boxes.size(), 1U);
    EXPECT_NE(host_.boxes[0].text.find(path_.string()), std::string::npos) << host_.boxes[0].text;
    EXPECT_EQ(host_.boxes[0].style, MsgStyle::Ok | MsgStyle::Critical);
    EXPECT_EQ(ReadFileBytes(path_), garbled);
    EXPECT_EQ(editor_->DevList(), (Entries{"GPIB0::?*::INSTR", "GPIB0::?*::INSTR"}));
}

} // namespace
} // namespace zep
