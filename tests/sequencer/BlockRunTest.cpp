// Block runs in simulation on the scripted host: the passes, loops and their statistics, every
// command kind, limits, refusals and the aborted path, checked in the report they write.
#include "sequencer/BlockRun.h"

#include "FakeHost.h"
#include "testdef/TestLoad.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace zep {
namespace {

namespace fs = std::filesystem;

class BlockRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        reportOptions.Time = false; // the simulated times vary with the random delays
        IEEEOptions simulation;
        simulation.Simulation = true;
        simulation.SimMaxTime = 10;
        ieee.SetOptions(simulation);
        run.SetOptions(RunOptions{true, {}});
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Loads the test case text as test T of a one-test set; every instrument counts as used.
    void Load(const std::string& testCase) {
        std::ofstream(dir_ / "S.ZEP_SET") << "G\n>T|The test\n";
        std::ofstream(dir_ / "T.ZEP_CASE") << testCase;
        ASSERT_TRUE(loader.OpenTestSet((dir_ / "S.ZEP_SET").string()));
        ASSERT_TRUE(loader.SelectTest(loader.TestListAt(0)[0]));
        ASSERT_TRUE(loader.Findings().empty()) << loader.Findings()[0].Message;
        for (auto& need : model.Instruments)
            need.Used = true;
    }
    std::string Report() const { return report.PlainText(); }

    fs::path dir_ = fs::temp_directory_path() / ("zep_blockrun_" + std::to_string(::getpid()));
    test::FakeHost host;
    ReportDocument report;
    ReportOptions reportOptions;
    ErrorNotifier notifier{host};
    bool blockError = false;
    ReportContext context{report, reportOptions, &notifier, 0, [this] { blockError = true; }};
    TestModel model;
    TestLoad loader{model};
    std::vector<AvailableInstrument> instruments;
    IEEE ieee{host, instruments, model, context, blockError};
    BlockRun run{host, model, instruments, context, notifier, ieee, blockError};
};

TEST_F(BlockRunTest, ASequentialBlockRunsEveryKindAndFilesTheAnswers) {
    Load("NEED|SMG|Gen\n"
         "BLOCK|Main|Main block\n"
         "Main|Comment|Level check\n"
         "Main|Gen|:POW -10\n"
         "Main|Gen|:READ? <Lvl>|Level|IsdBm|0.00\n"
         "Main|Calculator|Dev = Lvl + 10|Deviation|IsdB|0.00\n"
         "Main|Limit|abs(Dev) < 0.5|Level within tolerance\n"
         "Main|Limit|Dev > 1|Deviation above 1 dB\n"
         "Main|Wait|20\n");
    host.inputAnswers = {std::string("-9.8")};
    run.Go(0);
    EXPECT_EQ(model.Blocks[0].RunState, 2);
    EXPECT_FALSE(model.Blocks[0].ErrorFlag);
    ASSERT_EQ(host.inputs.size(), 1U);
    EXPECT_EQ(host.inputs[0].prompt, "Answer to :READ?"); // the answer variable is not sent
    EXPECT_EQ(Report(), "The test\n\n"
                        " - Main block started - \n\n"
                        "Level check\n"
                        "Level.....-9.80 dBm\n"
                        "Deviation.+200.00 mdB\n"
                        "Level within tolerancePASSED\n"
                        "Deviation above 1 dBFAILED\n\n"
                        " - Main block done -\n");
    const auto& lines = model.Commands;
    EXPECT_EQ(lines[2].Result.Value, "-9.8");
    EXPECT_EQ(lines[3].Result.Value, "0.1999999999999993"); // -9.8 + 10 in doubles, exactly
    for (const auto& line : lines) {
        EXPECT_EQ(line.Status, 2) << line.CommandText;
        EXPECT_EQ(line.ErrorText, "(OK)") << line.CommandText;
    }
    EXPECT_FLOAT_EQ(lines[6].LastTime, 20.0F);
    EXPECT_GE(host.Now(), std::chrono::milliseconds(20)); // the wait ran on the host's clock
}

TEST_F(BlockRunTest, LoopsCollectStatisticsAndLoopCountZeroRunsNothing) {
    Load("NEED|PWS|Sensor\n"
         "BLOCK|Loop|Loop block|PAR\n"
         "Loop|Sensor|:READ?|Power|IsdBm|0.00\n");
    model.Blocks[0].LoopCount = 3;
    host.inputAnswers = {std::string("-10.1"), std::string("-10.3"), std::string("-9.9")};
    run.Go(0);
    const std::string text = Report();
    EXPECT_NE(text.find("done (3 loops performed)"), std::string::npos) << text;
    EXPECT_NE(text.find(" -- STATISTICS -- "), std::string::npos) << text;
    EXPECT_EQ(run.Histories()[0].Values, (std::vector<std::string>{"-10.1", "-10.3", "-9.9"}));
    EXPECT_EQ(text.find("Power......"), std::string::npos); // no per-loop lines

    report.Clear();
    reportOptions.Time = true;
    model.Blocks[0].LoopCount = 0;
    run.Go(0);
    EXPECT_NE(Report().find("no complete loop was executed"), std::string::npos) << Report();
    EXPECT_EQ(host.inputs.size(), 3U);
}

TEST_F(BlockRunTest, SuppressedAndUncontrolledLinesAreSkippedWithoutHoldingOthersBack) {
    Load("NEED|SMG|Gen\nNEED|FSA|SA\n"
         "BLOCK|Main|Main\n"
         "Main|Gen|:OUTP ON\n"
         "Main|SA|:INIT\n"
         "Main|Gen|:OUTP OFF\n");
    model.Instruments[1].Used = false;
    model.Commands[0].Status = -1;
    run.Go(0);
    EXPECT_EQ(model.Commands[0].Result.ValueText, "SUPRESS");
    EXPECT_EQ(model.Commands[1].Result.ValueText, "NO CONTROL");
    EXPECT_EQ(model.Commands[2].Status, 2);
    EXPECT_EQ(model.Blocks[0].RunState, 2);
}

TEST_F(BlockRunTest, MissingInstrumentsAndOptionsRefuseTheRun) {
    Load("NEED|SMG+B99|Gen\nNEED|FSA|SA\n"
         "BLOCK|Main|Main\nMain|Gen|*RST\n");
    // Not simulating: the scan found a generator without the option and no analyser.
    run.SetOptions(RunOptions{false, [this] {
                                  instruments.assign(1, AvailableInstrument{});
                                  instruments[0].Identification = "Veltmark,SMG,1,1";
                                  instruments[0].Options = "B1,B22";
                              }});
    ieee.SetOptions({});
    run.Go(0);
    ASSERT_EQ(host.boxes.size(), 1U);
    EXPECT_EQ(host.boxes[0].text, "Option B99 missing for Gen (SMG)!\r\nSA (FSA) was not found!\r\n"
                                  "Missing instruments, sequence is not executed!");
    EXPECT_TRUE(report.Empty());
    EXPECT_NE(model.Blocks[0].RunState, 2);

    for (auto& need : model.Instruments)
        need.Used = false; // two instruments, none in use
    run.Go(0);
    EXPECT_EQ(host.boxes.back().text, "No instrument selected for operation!");
}

TEST_F(BlockRunTest, AFailingLineWithStopOnBlockErrorAbortsTheBlock) {
    Load("NEED|SMG|Gen\n"
         "BLOCK|Main|Main\n"
         "Main|Gen|:POW %1/%\n"
         "Main|Gen|:OUTP ON\n");
    reportOptions.StopOnBlockError = true;
    model.Blocks[0].LoopCount = 5;
    run.Go(0);
    EXPECT_EQ(model.Blocks[0].RunState, 3);
    EXPECT_TRUE(model.Blocks[0].ErrorFlag);
    EXPECT_EQ(model.Commands[0].ErrorText, "PARS ERROR");
    EXPECT_EQ(model.Commands[1].Status, 0); // not started once the flag was set
    EXPECT_NE(Report().find(" - Main aborted - "), std::string::npos) << Report();
}

TEST_F(BlockRunTest, ShellCommandsStoreAndMessages) {
    Load("VARIABLE|Note|a note|IsString||hello world\n"
         "BLOCK|Main|Main\n"
         "Main|DOSCommand|printf 'one\\r\\ntwo\\n'\n"
         "Main|Store|Note = notes.txt\n"
         "Main|Store|Note = notes.txt\n"
         "Main|Message|Bench ready\n");
    run.Go(0);
    EXPECT_EQ(model.Commands[0].Result.Value, "one\ntwo");
    std::ifstream in(dir_ / "notes.txt");
    const std::string notes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(notes, "hello world\nhello world\n");
    ASSERT_EQ(host.boxes.size(), 1U);
    EXPECT_EQ(host.boxes[0].text, "Bench ready");
    EXPECT_EQ(host.boxes[0].title, "The test");
    EXPECT_EQ(host.boxes[0].style, MsgStyle::Information);
    for (const auto& entry : fs::directory_iterator(fs::temp_directory_path()))
        EXPECT_NE(entry.path().filename().string().rfind("MyShell", 0), 0U)
            << "left behind: " << entry.path();
}

TEST_F(BlockRunTest, StoppingTheRunEndsAShellCommandThatWouldNotEnd) {
    Load("BLOCK|Main|Main\nMain|DOSCommand|sleep 600\nMain|Comment|after\n");
    host.StartTimer(std::chrono::milliseconds(50), [this] { blockError = true; }); // the stop button
    run.Go(0);
    EXPECT_EQ(model.Blocks[0].RunState, 3);
    EXPECT_EQ(model.Commands[1].Status, 0);
    EXPECT_GE(host.Now(), std::chrono::milliseconds(50));
}

TEST(LikeMatch, WildcardsAsTheCheckUsesThem) {
    EXPECT_TRUE(LikeMatch("Veltmark,SMG,100245/003,2.10.4", "*SMG*"));
    EXPECT_FALSE(LikeMatch("Veltmark,SMG,1,1", "*smg*")); // letter case counts
    EXPECT_TRUE(LikeMatch("B1,B22", "*B2?*"));
    EXPECT_TRUE(LikeMatch("FSA7", "FSA#"));
    EXPECT_TRUE(LikeMatch("FSB", "FS[A-C]"));
    EXPECT_FALSE(LikeMatch("FSB", "FS[!A-C]"));
    EXPECT_TRUE(LikeMatch("", "**"));
    // Thousands of stars against a name that fails only at its end: no backtracking blow-up.
    std::string stars;
    for (int i = 0; i < 5000; ++i)
        stars += "*a";
    EXPECT_FALSE(LikeMatch(std::string(300, 'a') + "b", stars + "c"));
    EXPECT_TRUE(LikeMatch(std::string(6000, 'a'), stars));
}

} // namespace
} // namespace zep
