// zep-cli run in simulation: the report on standard output, typed answers from standard input,
// the exit status, and the JUnit and JSON files read back by independent readers.
#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <csignal>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace zep {
namespace {

namespace fs = std::filesystem;

class RunSimulation : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        std::ofstream(dir_ / "ZEP_INIT.INI") << "";
        std::ofstream(dir_ / "S.ZEP_SET") << "Bench\n>Level|Level check\n";
        std::ofstream(dir_ / "Level.ZEP_CASE") << "NEED|SMG|Gen\n"
                                                  "BLOCK|Main|Main block\n"
                                                  "BLOCK|Loop|Loop block\n"
                                                  "Main|Comment|Level check\n"
                                                  "Main|Gen|:READ? <Lvl>|Level|IsdBm|0.00\n"
                                                  "Main|Limit|abs(Lvl + 10) < 0.5|Level within tolerance\n"
                                                  "Loop|Gen|:READ?|Loop level|IsdBm|0.00\n";
    }
    void TearDown() override { fs::remove_all(dir_); }

    test::ChildResult Run(std::vector<std::string> args, const std::string& input) {
        std::vector<std::string> command{ZEP_CLI_PATH, "run",   (dir_ / "S.ZEP_SET").string(),
                                         "--test",     "Level", "--simulate"};
        command.insert(command.end(), args.begin(), args.end());
        test::ChildOptions options;
        options.environment = {"ZEP_SETTINGS=" + (dir_ / "ZEP_INIT.INI").string()};
        options.input = input;
        return test::RunChild(command, options, 60000);
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    fs::path dir_ = fs::temp_directory_path() / ("zep_runsim_" + std::to_string(::getpid()));
};

TEST_F(RunSimulation, PrintsTheReportAndFailsOnAFailedLimit) {
    const auto passed = Run({"--block", "Main block"}, "-9.8\n");
    EXPECT_EQ(passed.exitCode, 0) << passed.err;
    EXPECT_NE(passed.out.find("Level.-9.80 dBm\nLevel within tolerancePASSED\n"), std::string::npos)
        << passed.out;
    EXPECT_EQ(passed.out.rfind("Level check\n\n", 0), 0U) << passed.out; // the report, nothing else

    const auto failed = Run({"--block", "Main block"}, "-3\n");
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_NE(failed.out.find("Level within toleranceFAILED"), std::string::npos) << failed.out;

    // End of input answers as a cancelled box: an empty answer.
    const auto cancelled = Run({"--block", "Main block"}, "");
    EXPECT_EQ(cancelled.exitCode, 1);

    EXPECT_EQ(Run({"--block", "Nope"}, "").exitCode, 2);
    EXPECT_EQ(Run({}, "").exitCode, 2); // neither --block nor --all
    EXPECT_EQ(Run({"--all", "--loops", "x"}, "").exitCode, 2);
}

TEST_F(RunSimulation, JUnitAndJsonResultsReadBack) {
    const auto run = Run({"--all", "--loops", "3", "--junit", Path("r.xml"), "--json", Path("r.json"),
                          "--report", Path("r.rtf"), "--report", Path("r.txt")},
                         "-3\n-3\n-3\n-10.1\n-10.3\n-9.9\n");
    EXPECT_EQ(run.exitCode, 1) << run.err;
    const std::string reader = R"(
import json, sys, junitparser
xml = junitparser.JUnitXml.fromfile(sys.argv[1])
suite = next(iter(xml))
cases = list(suite)
print(suite.tests, suite.failures, suite.errors, [c.name for c in cases],
      [type(r).__name__ for c in cases for r in c.result])
doc = json.load(open(sys.argv[2]))
print([b["caption"] for b in doc["blocks"]], [b["state"] for b in doc["blocks"]],
      [l["value"] for l in doc["blocks"][1]["lines"]], [l["verdict"] for l in doc["blocks"][0]["lines"]],
      [(s["label"], s["count"], round(s["mean"], 3)) for s in doc["blocks"][1]["statistics"]])
)";
    const auto read =
        test::RunChild({"/usr/bin/python3", "-c", reader, Path("r.xml"), Path("r.json")}, {}, 60000);
    ASSERT_EQ(read.exitCode, 0) << read.err;
    EXPECT_EQ(read.out, "2 1 0 ['Main block', 'Loop block'] ['Failure']\n"
                        "['Main block', 'Loop block'] ['done', 'done'] ['-9.9'] ['ok', 'ok', 'FAILED'] "
                        "[('Loop level', 3, -10.1)]\n");
    std::ifstream text(Path("r.txt"));
    const std::string stored((std::istreambuf_iterator<char>(text)), std::istreambuf_iterator<char>());
    EXPECT_EQ(stored, run.out);
    EXPECT_TRUE(fs::file_size(Path("r.rtf")) > 0);
}

TEST_F(RunSimulation, CtrlCStopsARunAndTheReportIsStillWritten) {
    std::ofstream(dir_ / "Level.ZEP_CASE") << "BLOCK|Main|Main block\n"
                                              "Main|Comment|before the wait\n"
                                              "Main|Wait|600000\n"
                                              "Main|Comment|after the wait\n";
    test::ChildProcess child;
    test::ChildOptions options;
    options.environment = {"ZEP_SETTINGS=" + (dir_ / "ZEP_INIT.INI").string()};
    ASSERT_TRUE(child.Start({ZEP_CLI_PATH, "run", Path("S.ZEP_SET"), "--test", "Level", "--all", "--simulate",
                             "--report", Path("stopped.txt")},
                            options))
        << child.Error();
    ::usleep(300000); // the run is in its ten-minute wait by now
    child.Signal(SIGINT);
    ASSERT_TRUE(child.Wait(20000)) << "the run did not stop";
    const std::string out = child.Stdout();
    EXPECT_NE(out.find("before the wait"), std::string::npos) << out;
    EXPECT_EQ(out.find("after the wait"), std::string::npos) << out;
    EXPECT_NE(out.find(" - Main block aborted - "), std::string::npos) << out;
    EXPECT_TRUE(fs::exists(Path("stopped.txt")));
    EXPECT_EQ(child.ExitCode(), 1);
}

} // namespace
} // namespace zep
