// zep-cli run end to end: the example test set against zep-instsim serving the example bench,
// through the built-in VISA over loopback; the reports match the reviewed texts with the timing
// figures masked.
#include "ChildProcess.h"
#include "InstsimProcess.h"

#include <gtest/gtest.h>

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
    std::ofstream cache(dir / "cache.ini");
    cache << "[SOFTWARE\\Veltmark\\VISADeviceCache]\n";
    int n = 0;
    for (const auto& [resource, identification] : simulator.Resources())
        if (resource.ends_with("::SOCKET")) cache << "DEVICE" << ++n << "=" << resource << "\n";
    cache << "SERVER1=localhost\n";
    cache.close();
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

INSTANTIATE_TEST_SUITE_P(Examples, RunInstsim,
                         ::testing::Values(Case{"GeneratorLevel", {"--loops", "3"}},
                                           Case{"AnalyserLevel", {}}, Case{"Harmonics", {}},
                                           Case{"PowerSweep", {}}, Case{"Identify", {}}),
                         [](const auto& param) { return std::string(param.param.test); });

} // namespace
} // namespace zep
