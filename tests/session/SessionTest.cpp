// The session: selecting a test clears the report as the settings say and writes what loading found.
#include "session/Session.h"

#include "FakeHost.h"

#include "common/TextFile.h"
#include "report/ReportLines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <unistd.h>

namespace zep {
namespace {

namespace fs = std::filesystem;

class SessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        directory_ =
            fs::temp_directory_path() /
            ("zep_session_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
             "_" + std::to_string(::getpid()));
        fs::remove_all(directory_);
        fs::create_directories(directory_);
    }
    void TearDown() override { fs::remove_all(directory_); }

    void Write(const std::string& name, const std::string& content) {
        std::ofstream(directory_ / name, std::ios::binary) << content;
    }
    std::string Path(const std::string& name) const { return (directory_ / name).string(); }

    test::FakeHost host_;

  private:
    fs::path directory_;
};

TEST_F(SessionTest, SelectingAHeadingDoesNothingAndATestLoadsIt) {
    Session session(host_);
    Write("S.ZEP_SET", "G\n>Head\n>BASEBAND|runs despite its name\n");
    Write("BASEBAND.ZEP_CASE", "BLOCK|Main\nMain|Comment|c\n");
    ASSERT_TRUE(session.OpenTestSet(Path("S.ZEP_SET")));
    const auto list = session.Loader().TestListAt(0);
    ASSERT_EQ(list.size(), 2U);
    session.Report().AddResult("old report line", true);
    EXPECT_FALSE(session.SelectTest(list[0]));
    EXPECT_FALSE(session.Report().Empty());
    EXPECT_TRUE(session.Model().SelectedTestKey.empty());

    EXPECT_TRUE(session.SelectTest(list[1]));
    EXPECT_EQ(session.Model().SelectedTestKey, "BASEBAND");
    EXPECT_EQ(session.Model().SelectedTestText, "runs despite its name");
    EXPECT_EQ(session.Model().Commands.size(), 1U);
    EXPECT_TRUE(session.Report().Empty()); // cleared on selecting a new test
}

TEST_F(SessionTest, SelectingKeepsTheReportWhenClearingIsOffAndAddsTheParserErrors) {
    Settings settings;
    settings.Report.ClearOnNewCase = false;
    Session session(host_, settings);
    Write("S.ZEP_SET", "G\n>T|t\n");
    Write("T.ZEP_CASE", "BLOCK|Main\njunk\n");
    ASSERT_TRUE(session.OpenTestSet(Path("S.ZEP_SET")));
    session.Report().AddResult("kept", true);
    EXPECT_TRUE(session.SelectTest(session.Loader().TestListAt(0)[0]));
    EXPECT_EQ(session.Report().PlainText(), "kept\nParser error\n  junk is not a valid command line.\n");
    ASSERT_EQ(session.Loader().Findings().size(), 1U);
    EXPECT_EQ(session.Loader().Findings()[0].File, Path("T.ZEP_CASE"));
    EXPECT_EQ(session.Loader().Findings()[0].Line, 2U);
}

TEST_F(SessionTest, AMissingTestCaseIsFoundAtItsTestSetLine) {
    Session session(host_);
    Write("S.ZEP_SET", "G\n\n>Gone|not there\n");
    ASSERT_TRUE(session.OpenTestSet(Path("S.ZEP_SET")));
    EXPECT_FALSE(session.SelectTest(session.EntryForKey("Gone")));
    ASSERT_EQ(session.Loader().Findings().size(), 1U);
    EXPECT_EQ(session.Loader().Findings()[0].File, Path("S.ZEP_SET"));
    EXPECT_EQ(session.Loader().Findings()[0].Line, 3U);
    // A key listed nowhere has no test-set line: the finding names the file tried.
    EXPECT_FALSE(session.SelectTest(session.EntryForKey("Nowhere")));
    EXPECT_EQ(session.Loader().Findings()[0].File, JoinPath(session.Model().TestDirectory, "Nowhere"));
    EXPECT_EQ(session.Loader().Findings()[0].Line, 0U);
}

TEST_F(SessionTest, TheLoaderTakesTheDefaultFormatFromTheSettings) {
    Settings settings;
    settings.Report.Format.NumFormatDefault = "0.0";
    Session session(host_, settings);
    EXPECT_EQ(session.Loader().Options().DefaultNumberFormat, "0.0");
    settings.Report.Format.NumFormatDefault = "0.00E+00";
    session.SetSettings(settings);
    EXPECT_EQ(session.Loader().Options().DefaultNumberFormat, "0.00E+00");
}

TEST_F(SessionTest, ErrorsGoToTheControllerWhileOneIsConnected) {
    Session session(host_);
    session.Notifier().ReportError("Disk full", true);
    ASSERT_EQ(host_.boxes.size(), 1U);
    EXPECT_EQ(host_.boxes[0].title, "ERROR");

    std::vector<std::string> sent;
    session.Remote().Send = [&](std::string_view message) { sent.emplace_back(message); };
    session.Notifier().ReportError("Disk full", true); // sent only once a controller named itself
    EXPECT_EQ(host_.boxes.size(), 2U);
    EXPECT_TRUE(sent.empty());
    session.Remote().Connected = true;
    EXPECT_EQ(session.Notifier().NotifyUser("Disk full", MsgStyle::Critical, "ERROR"), MsgAnswer::None);
    EXPECT_EQ(host_.boxes.size(), 2U);
    EXPECT_EQ(sent, std::vector<std::string>{"EXECUTION::ERROR::Disk full"});
}

TEST_F(SessionTest, ErrorEntriesRaiseTheBlockErrorOnlyWhenTheSettingsSaySo) {
    Settings settings;
    Session session(host_, settings);
    ReportContext& context = session.Context();
    ShowParserError(context, "Unknown Block X in command");
    EXPECT_FALSE(session.BlockError());
    settings.Report.StopOnBlockError = true;
    session.SetSettings(settings);
    ShowParserError(context, "Unknown Block X in command");
    EXPECT_TRUE(session.BlockError());
    EXPECT_EQ(session.Report().PlainLines().size(), 4U); // two entries of two lines
}

} // namespace
} // namespace zep

namespace zep {
namespace {

// The block buttons over a session in simulation, on the scripted host.
class BlockButtonsTest : public SessionTest {
  protected:
    void SetUp() override {
        SessionTest::SetUp();
        settings_.Simulation = true;
        settings_.SimMaxTime = 5;
        settings_.Report.Time = true;
        Write("S.ZEP_SET", "G\n>T|The test\n");
        Write("T.ZEP_CASE",
              "NEED|SMG|Gen\nBLOCK|Main|Main\nBLOCK|Second|Second\nMain|Gen|:INIT\nSecond|Comment|second\n");
    }
    Session& Open() {
        session_ = std::make_unique<Session>(host_, settings_);
        EXPECT_TRUE(session_->OpenTestSet(Path("S.ZEP_SET")));
        EXPECT_TRUE(session_->SelectTest(session_->Loader().TestListAt(0)[0]));
        for (auto& need : session_->Model().Instruments)
            need.Used = true;
        session_->PrepareRun(nullptr);
        return *session_;
    }
    Settings settings_;
    std::unique_ptr<Session> session_;
};

TEST_F(BlockButtonsTest, ShiftAsksForTheLoopCountAndABadAnswerRunsNoLoop) {
    Session& session = Open();
    host_.inputAnswers = {std::string("3"), std::string("many")};
    session.ExecuteBlock(0, true);
    EXPECT_EQ(session.Model().Blocks[0].LoopCount, 3);
    EXPECT_NE(session.Report().PlainText().find("done (3 loops performed)"), std::string::npos);
    ASSERT_EQ(host_.inputs.size(), 1U);
    EXPECT_EQ(host_.inputs[0].prompt, "Number of loops to run: ");
    EXPECT_EQ(host_.inputs[0].title, "Loops to run");
    EXPECT_EQ(host_.inputs[0].defaultAnswer, "1");
    session.ExecuteBlock(0, true);
    EXPECT_EQ(session.Model().Blocks[0].LoopCount, 0);
    EXPECT_NE(session.Report().PlainText().find("no complete loop was executed"), std::string::npos);
    EXPECT_EQ(BlockStatus(session.Model().Blocks[0]).Text, "OK");
    EXPECT_TRUE(session.BlocksEnabled());
}

TEST_F(BlockButtonsTest, AChangedTestCaseIsReloadedOnlyWhenTheAnswerIsYes) {
    Session& session = Open();
    // Rewritten with a different size, so the stamp certainly changes.
    Write("T.ZEP_CASE", "NEED|SMG|Gen\nBLOCK|Main|Main\nMain|Comment|changed on disk, a longer line\n");
    host_.answers = {MsgAnswer::No};
    session.ExecuteBlock(0, false);
    ASSERT_EQ(host_.boxes.size(), 1U);
    EXPECT_EQ(host_.boxes[0].text, "Testcase file was changed. Reload?");
    EXPECT_EQ(host_.boxes[0].title, "RELOAD?");
    EXPECT_EQ(session.Model().Blocks.size(), 2U); // ran from the model in memory
    host_.answers = {MsgAnswer::Yes};
    session.ExecuteBlock(0, false);
    EXPECT_EQ(session.Model().Blocks.size(), 1U);
    EXPECT_NE(session.Report().PlainText().find("changed on disk"), std::string::npos);
}

TEST_F(BlockButtonsTest, RunAllRunsEveryBlockAndStepModeCanBeLeftWhileWaiting) {
    Session& session = Open();
    session.Runner().StepMode = true;
    // The button's own round of events comes first; then the run waits for Next, and the user
    // switches step mode off instead.
    host_.events.push_back([] {});
    host_.events.push_back([&] { session.Runner().StepMode = false; });
    session.RunAllBlocks();
    EXPECT_EQ(session.Model().Blocks[0].RunState, 2) << (host_.boxes.empty() ? "" : host_.boxes[0].text);
    EXPECT_EQ(session.Model().Blocks[1].RunState, 2);
    EXPECT_NE(session.Report().PlainText().find("second"), std::string::npos);
    const auto next = std::count_if(host_.viewLog.begin(), host_.viewLog.end(),
                                    [](const std::string& line) { return line.rfind("NextStep ", 0) == 0; });
    EXPECT_EQ(next, 2); // shown once and closed once: no further stops
}

} // namespace
} // namespace zep
