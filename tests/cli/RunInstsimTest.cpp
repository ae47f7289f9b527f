// zep-cli run end to end: the example test set against zep-instsim serving the example bench,
// through the built-in VISA over loopback; the reports match the reviewed texts with the timing
// figures masked.
#include "ChildProcess.h"
#include "InstsimProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <unistd.h>

namespace zep {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Execution times vary from run to run; everything else is exact.
std::string MaskTimes(const std::string& report) {
    static const std::regex seconds(": [0-9]+\\.[0-9]{3} s\n");
    return std::regex_replace(report, seconds, ": X s\n");
}

// A device cache listing every raw-socket resource the simulator serves, on this computer.
void WriteDeviceCache(const fs::path& path, const test::InstsimProcess& simulator) {
    std::ofstream cache(path);
    cache << "[SOFTWARE\\Veltmark\\VISADeviceCache]\n";
    int n = 0;
    for (const auto& [resource, identification] : simulator.Resources())
        if (resource.ends_with("::SOCKET")) cache << "DEVICE" << ++n << "=" << resource << "\n";
    cache << "SERVER1=localhost\n";
}

struct Case {
    const char* test;
    std::vector<std::string> extra;
};

class RunInstsim : public ::testing::TestWithParam<Case> {};

TEST_P(RunInstsim, TheExampleTestRunsAsReviewed) {
    const fs::path dir = fs::temp_directory_path() / ("zep_runinst_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    test::InstsimProcess simulator; // a fresh bench for every test: its noise starts the same
    ASSERT_TRUE(simulator.Start(
        ZEP_INSTSIM_PATH, {"--config", ZEP_EXAMPLES_DIR "/instsim/RFBench.ZEP_BENCH", "--portmap-port", "0"},
        60))
        << simulator.Error();
    WriteDeviceCache(dir / "cache.ini", simulator);
    std::ofstream(dir / "ZEP_INIT.INI") << "";

    std::vector<std::string> command{ZEP_CLI_PATH,
                                     "run",
                                     ZEP_EXAMPLES_DIR "/rfbench/RFBench.ZEP_SET",
                                     "--test",
                                     GetParam().test,
                                     "--all",
                                     "--registry",
                                     (dir / "cache.ini").string(),
                                     "--visa",
                                     "builtin",
                                     "--report",
                                     (dir / "report.html").string()};
    command.insert(command.end(), GetParam().extra.begin(), GetParam().extra.end());
    test::ChildOptions options;
    options.environment = {"ZEP_SETTINGS=" + (dir / "ZEP_INIT.INI").string()};
    const test::ChildResult run = test::RunChild(command, options, 60000);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(MaskTimes(run.out),
              ReadFile(fs::path(ZEP_FIXTURES_DIR) / "run" / (std::string(GetParam().test) + ".txt")));
    EXPECT_NE(ReadFile(dir / "report.html").find("<html"), std::string::npos);
    fs::remove_all(dir);
}

// Every command kind, an instrument error and a failing inline equation, a missing option and the
// aborted path, against the simulator's generator.
TEST(RunInstsimKinds, KindsErrorsRefusalAndAbort) {
    const fs::path dir = fs::temp_directory_path() / ("zep_runkinds_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::copy(fs::path(ZEP_FIXTURES_DIR) / "run" / "kinds", dir, fs::copy_options::recursive);
    test::InstsimProcess simulator;
    ASSERT_TRUE(simulator.Start(
        ZEP_INSTSIM_PATH, {"--config", ZEP_EXAMPLES_DIR "/instsim/SMG.ZEP_INST", "--portmap-port", "0"}, 60))
        << simulator.Error();
    std::ofstream(dir / "cache.ini") << "[SOFTWARE\\Veltmark\\VISADeviceCache]\nDEVICE1="
                                     << simulator.ResourceOfClass("SOCKET") << "\nSERVER1=localhost\n";
    std::ofstream(dir / "none.ini") << "";
    std::ofstream(dir / "stop.ini") << "[TestEnv]\nStopOnBlockError=1\n";
    auto run = [&](const std::string& test, const std::string& settings) {
        test::ChildOptions options;
        options.environment = {"ZEP_SETTINGS=" + (dir / settings).string()};
        return test::RunChild({ZEP_CLI_PATH, "run", (dir / "Kinds.ZEP_SET").string(), "--test", test, "--all",
                               "--registry", (dir / "cache.ini").string(), "--visa", "builtin"},
                              options, 60000);
    };
    const auto kinds = run("Kinds", "none.ini");
    EXPECT_EQ(kinds.exitCode, 1); // a FAILED limit and two failed lines
    EXPECT_EQ(MaskTimes(kinds.out), ReadFile(dir / "expected_Kinds.txt"));
    EXPECT_EQ(ReadFile(dir / "stored.txt"), "1000000000\n"); // Store appended the answer variable

    const auto refused = run("NoOption", "none.ini");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err,
              "[ERROR] Option B99 missing for Gen (SMG)!\nMissing instruments, sequence is not executed!\n");

    const auto missing = run("NoInstrument", "none.ini");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err,
              "[ERROR] SA (FSA) was not found!\nMissing instruments, sequence is not executed!\n");

    const auto aborted = run("Aborted", "stop.ini");
    EXPECT_EQ(aborted.exitCode, 1);
    EXPECT_EQ(MaskTimes(aborted.out), ReadFile(dir / "expected_Aborted.txt"));
    EXPECT_EQ(aborted.out.find("not reached"), std::string::npos);
    fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Examples, RunInstsim,
                         ::testing::Values(Case{"GeneratorLevel", {"--loops", "3"}},
                                           Case{"AnalyserLevel", {}}, Case{"Harmonics", {}},
                                           Case{"PowerSweep", {}}, Case{"Identify", {}}),
                         [](const auto& param) { return std::string(param.param.test); });

// A whole remote session over the real socket: zep-cli serve with the built-in VISA against the
// example bench in zep-instsim, driven by zep-remote.
TEST(ServeInstsim, ARemoteSessionAgainstTheSimulatedBench) {
    const fs::path dir = fs::temp_directory_path() / ("zep_serveinst_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    test::InstsimProcess simulator;
    ASSERT_TRUE(simulator.Start(
        ZEP_INSTSIM_PATH, {"--config", ZEP_EXAMPLES_DIR "/instsim/RFBench.ZEP_BENCH", "--portmap-port", "0"},
        60))
        << simulator.Error();
    WriteDeviceCache(dir / "cache.ini", simulator);
    std::ofstream(dir / "ZEP_INIT.INI") << "";
    const std::string socket = (dir / "remote.sock").string();

    test::ChildProcess serve;
    test::ChildOptions options;
    options.environment = {"ZEP_SETTINGS=" + (dir / "ZEP_INIT.INI").string()};
    ASSERT_TRUE(serve.Start({ZEP_CLI_PATH, "serve", ZEP_EXAMPLES_DIR "/rfbench/RFBench.ZEP_SET", "--socket",
                             socket, "--registry", (dir / "cache.ini").string(), "--visa", "builtin"},
                            options));
    ASSERT_TRUE(serve.WaitForStderr(
        [](const std::string& err) { return err.find("listening on") != std::string::npos; }, 20000))
        << serve.Stderr();
    const std::string remote = (fs::path(ZEP_CLI_PATH).parent_path() / "zep-remote").string();
    const test::ChildResult session = test::RunChild(
        {remote, "--socket", socket, "--timeout", "60",
         "MSGTARGET::", "CONNECT::", "SELGROUP::Transmitter path", "SELTEST::Generator level*", "VERBOSE::ON",
         "EXECUTE::Prepare bench", "EXECUTE::Measure level", "GETVARRAW::Sensor", "GETVARRAW::Nope",
         "EXECUTE::No such block", "GETREPORT::", "RELEASE::"},
        {}, 120000);
    EXPECT_EQ(session.exitCode, 0) << session.err;
    const std::string& out = session.out;
    EXPECT_NE(out.find("SELTEST::STARTED\nSELTEST::OK\nSELTEST::FINISHED\n"), std::string::npos) << out;
    EXPECT_NE(out.find("EXECUTE::STARTED\nEXECUTE::Measure level::STARTED\n"), std::string::npos);
    // Every report text of the run is echoed, in order.
    const size_t started = out.find("EXECUTION::VERBOSE:: - Measure level started - ");
    const size_t sensor = out.find("EXECUTION::VERBOSE::Sensor level.", started);
    const size_t done = out.find("EXECUTION::VERBOSE:: - Measure level done -", sensor);
    EXPECT_TRUE(started != std::string::npos && sensor != std::string::npos && done != std::string::npos)
        << out;
    EXPECT_NE(out.find("GETVARRAW::STARTED\nGETVARRAW::VARRAW::-10."), std::string::npos) << out;
    EXPECT_NE(out.find("GETVARRAW::ERROR::Variable Nope not found\n"), std::string::npos);
    EXPECT_NE(
        out.find("EXECUTE::STARTED\nEXECUTE::ERROR:Unknown test block\nEXECUTE::ERROR::Test step not found\n"
                 "EXECUTE::No such block::FINISHED\nEXECUTE::FINISHED\n"),
        std::string::npos);
    EXPECT_NE(out.find("GETREPORT::REPORT::{\\rtf1"), std::string::npos);
    EXPECT_NE(out.find("RELEASE::STARTED\nRELEASE::OK\nRELEASE::FINISHED\n"), std::string::npos);
    serve.Signal(SIGTERM);
    EXPECT_TRUE(serve.Wait(20000));
    fs::remove_all(dir);
}

} // namespace
} // namespace zep
