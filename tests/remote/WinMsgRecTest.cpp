// The remote-control protocol over a session in simulation, on the scripted host: framing, every
// command's replies word for word, the verbose echo and the error routing while connected.
#include "remote/WinMsgRec.h"

#include "FakeHost.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace zep {
namespace {

namespace fs = std::filesystem;

class WinMsgRecTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        std::ofstream(dir_ / "S.ZEP_SET")
            << "VARIABLE|Freq|carrier|IsHz|0|1000000000\n"
               "Receivers\n>Rx|Receiver test\n"
               "Transmitters\n>Tx|Power sweep of the transmitter\n>Tx2|Power check\n";
        std::ofstream(dir_ / "Tx.ZEP_CASE") << "NEED|SMG|Gen\nBLOCK|Main|Sweep\nMain|Comment|sweeping\n"
                                               "Main|Gen|:POW -10\n";
        std::ofstream(dir_ / "Tx2.ZEP_CASE") << "NEED|SMG|Gen\nNEED|FSA|SA\nBLOCK|Main|Check\nMain|SA|*RST\n";
        Settings settings;
        settings.Simulation = true;
        settings.SimMaxTime = 2;
        settings.Report.Time = false;
        session_ = std::make_unique<Session>(host_, settings);
        ASSERT_TRUE(session_->OpenTestSet((dir_ / "S.ZEP_SET").string()));
        session_->PrepareRun(nullptr);
        remote_ = std::make_unique<WinMsgRec>(*session_, [this](std::uint64_t peer, std::string_view text) {
            sent_.push_back(std::to_string(peer) + " " + std::string(text));
        });
        remote_->Hook();
    }
    void TearDown() override { fs::remove_all(dir_); }

    // The replies to one command, without the peer prefix when it is the peer 7.
    std::vector<std::string> Send(const std::string& text) {
        sent_.clear();
        remote_->ProcessRemoteCommand(text);
        std::vector<std::string> replies;
        for (const auto& line : sent_)
            replies.push_back(line.rfind("7 ", 0) == 0 ? line.substr(2) : line);
        return replies;
    }
    using Lines = std::vector<std::string>;

    fs::path dir_ = fs::temp_directory_path() / ("zep_remote_" + std::to_string(::getpid()));
    test::FakeHost host_;
    std::unique_ptr<Session> session_;
    std::unique_ptr<WinMsgRec> remote_;
    std::vector<std::string> sent_;
};

TEST_F(WinMsgRecTest, FramingTargetsAndUnknownCommands) {
    EXPECT_EQ(Send("CONNECT::"),
              (Lines{"0 CONNECT::STARTED", "0 CONNECT::OK", "0 CONNECT::FINISHED"})); // no peer yet
    EXPECT_TRUE(remote_->Connected());
    EXPECT_EQ(Send("MSGTARGET::7"), Lines{"MSGTARGET::FINISHED"});
    EXPECT_EQ(Send("MSGTARGET::"), Lines{"MSGTARGET::FINISHED"}); // empty: the peer stays
    EXPECT_EQ(Send("MSGTARGET::window"), Lines{"MSGTARGET::FINISHED"});
    EXPECT_EQ(remote_->Peer(), 7U);
    EXPECT_TRUE(Send("CONNECT").empty()); // no "::": ignored without a reply
    EXPECT_EQ(Send("FOO::x"), (Lines{"FOO::STARTED", "FOO::ERROR::Command unknown", "FOO::FINISHED"}));
    EXPECT_EQ(Send("connect::"),
              (Lines{"connect::STARTED", "connect::ERROR::Command unknown", "connect::FINISHED"}));
    EXPECT_EQ(Send("  RELEASE::\r\n"), (Lines{"RELEASE::STARTED", "RELEASE::OK", "RELEASE::FINISHED"}));
    EXPECT_FALSE(remote_->Connected());
    EXPECT_EQ(Send("VERBOSE::on"), (Lines{"VERBOSE::STARTED", "VERBOSE::ON", "VERBOSE::FINISHED"}));
    EXPECT_EQ(Send("VERBOSE::yes"), (Lines{"VERBOSE::STARTED", "VERBOSE::OFF", "VERBOSE::FINISHED"}));
    EXPECT_EQ(Send("VERBOSE::"), (Lines{"VERBOSE::STARTED", "VERBOSE::FINISHED"}));
    EXPECT_EQ(host_.viewLog, (Lines{"Indicator remote colours on", "Indicator remote colours off"}));
}

TEST_F(WinMsgRecTest, SelectionByGroupPatternAndFile) {
    Send("MSGTARGET::7");
    EXPECT_EQ(Send("SELGROUP::"),
              (Lines{"SELGROUP::STARTED", "SELGROUP::ERROR::No group passed", "SELGROUP::FINISHED"}));
    EXPECT_EQ(Send("SELGROUP::Nope"),
              (Lines{"SELGROUP::STARTED", "SELGROUP::ERROR::Unknown group", "SELGROUP::FINISHED"}));
    EXPECT_EQ(Send("SELTEST::Power*"),
              (Lines{"SELTEST::STARTED", "SELTEST::ERROR::Test not found", "SELTEST::FINISHED"}));
    EXPECT_EQ(Send("SELGROUP::Transmitters"),
              (Lines{"SELGROUP::STARTED", "SELGROUP::OK", "SELGROUP::FINISHED"}));
    EXPECT_EQ(Send("SELTEST::Power*"), (Lines{"SELTEST::STARTED", "SELTEST::OK", "SELTEST::FINISHED"}));
    EXPECT_EQ(session_->Model().SelectedTestKey, "Tx"); // the first match
    EXPECT_EQ(Send("SELTEST::"),
              (Lines{"SELTEST::STARTED", "SELTEST::ERROR::No test name passed", "SELTEST::FINISHED"}));
    EXPECT_EQ(Send("SELTESTFILE::Tx2"),
              (Lines{"SELTESTFILE::STARTED", "SELTESTFILE::OK", "SELTESTFILE::FINISHED"}));
    EXPECT_EQ(session_->Model().SelectedTestKey, "Tx2");
    EXPECT_EQ(
        Send("SELTESTFILE::tx2"),
        (Lines{"SELTESTFILE::STARTED", "SELTESTFILE::ERROR::Test file not found", "SELTESTFILE::FINISHED"}));
    EXPECT_EQ(Send("GETVARRAW::Freq"), (Lines{"GETVARRAW::STARTED", "GETVARRAW::VARRAW::1000000000",
                                              "GETVARRAW::DONE", "GETVARRAW::FINISHED"}));
    EXPECT_EQ(
        Send("GETVARRAW::Nope"),
        (Lines{"GETVARRAW::STARTED", "GETVARRAW::ERROR::Variable Nope not found", "GETVARRAW::FINISHED"}));
}

TEST_F(WinMsgRecTest, ExecuteRunsTheBlockWithTheEchoAndErrorsGoToThePeer) {
    Send("MSGTARGET::7");
    Send("CONNECT::");
    Send("VERBOSE::ON");
    Send("SELGROUP::Transmitters");
    Send("SELTESTFILE::Tx");
    const Lines run = Send("EXECUTE::Sweep");
    ASSERT_GE(run.size(), 6U);
    EXPECT_EQ(run[0], "EXECUTE::STARTED");
    EXPECT_EQ(run[1], "EXECUTE::Sweep::STARTED");
    EXPECT_NE(std::find(run.begin(), run.end(), "EXECUTION::VERBOSE::sweeping"), run.end());
    // Once per matching button, once more, then the command's own.
    EXPECT_EQ(Lines(run.end() - 3, run.end()),
              (Lines{"EXECUTE::Sweep::FINISHED", "EXECUTE::Sweep::FINISHED", "EXECUTE::FINISHED"}));
    EXPECT_EQ(run[run.size() - 4], "EXECUTION::VERBOSE:: - Sweep done -");
    EXPECT_EQ(session_->Model().Blocks[0].RunState, 2);

    EXPECT_EQ(Send("EXECUTE::Nope"),
              (Lines{"EXECUTE::STARTED", "EXECUTE::ERROR:Unknown test block",
                     "EXECUTE::ERROR::Test step not found", "EXECUTE::Nope::FINISHED", "EXECUTE::FINISHED"}));
    EXPECT_EQ(Send("EXECUTE::"),
              (Lines{"EXECUTE::STARTED", "EXECUTE::ERROR:No test block name passed",
                     "EXECUTE::ERROR::Test step not found", "EXECUTE::::FINISHED", "EXECUTE::FINISHED"}));
    const Lines report = Send("GETREPORT::");
    ASSERT_EQ(report.size(), 4U);
    EXPECT_EQ(report[1].rfind("GETREPORT::REPORT::{\\rtf1", 0), 0U);
    EXPECT_EQ(report[2], "GETREPORT::DONE");

    // A refused run while connected: the error reaches the peer, not a message box.
    Send("VERBOSE::OFF");
    Send("SELTESTFILE::Tx2");
    const Lines refused = Send("EXECUTE::Check");
    EXPECT_TRUE(host_.boxes.empty());
    EXPECT_NE(
        std::find(refused.begin(), refused.end(), "EXECUTION::ERROR::No instrument selected for operation!"),
        refused.end())
        << ::testing::PrintToString(refused);
}

} // namespace
} // namespace zep
