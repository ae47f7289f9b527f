// zep-cli list, dump and check on the fixture test sets, compared with reviewed expected output.
#include "RunProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace zep {
namespace {

using zep::test::ReadWholeFile;
using zep::test::RunProcess;

const std::string kCli = ZEP_CLI_PATH;
const std::string kFixtures = ZEP_FIXTURES_DIR;

// Settings come from a file that does not exist, so the defaults hold whatever lies beside zep-cli.
const std::string kCliWithDefaults = "ZEP_SETTINGS=/nonexistent/ZEP_INIT.INI " + kCli;

test::ProcessResult Cli(const std::string& args) {
    return RunProcess(kCliWithDefaults + " " + args, kFixtures);
}

std::string Expected(const std::string& name) {
    return ReadWholeFile(kFixtures + "/testdef/expected/" + name);
}

// Text from a test set reaches a terminal with its control characters shown, and a pipe exactly.
TEST(Cli, ATerminalGetsNoRawControlBytesFromFiles) {
    if (RunProcess("command -v script >/dev/null").exitCode != 0) GTEST_SKIP() << "no script(1)";
    const auto dir = std::filesystem::temp_directory_path() / ("zep_cli_tty_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string set = (dir / "S.ZEP_SET").string();
    std::ofstream(set, std::ios::binary) << "G\n>T|turns \x1b[31mred\x1b]0;title\x07 \xfc\n";
    const std::string list = kCliWithDefaults + " list " + set;
    // script(1) gives the command a pseudo-terminal as its standard output.
    const auto onTerminal = RunProcess("script -qec " + test::ShellQuote(list) + " /dev/null");
    EXPECT_EQ(onTerminal.exitCode, 0) << onTerminal.err;
    EXPECT_NE(onTerminal.out.find("turns \\x1B[31mred\\x1B]0;title\\x07 \xc3\xbc"), std::string::npos)
        << onTerminal.out;
    EXPECT_EQ(onTerminal.out.find('\x1b'), std::string::npos);
    const auto piped = RunProcess(list);
    EXPECT_EQ(piped.out, "G\n  T\tturns \x1b[31mred\x1b]0;title\x07 \xc3\xbc\n");
    std::filesystem::remove_all(dir);
}

TEST(Cli, ListShowsGroupsAndIndentedEntries) {
    const auto result = Cli("list testdef/Edge.ZEP_SET");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, Expected("list.txt"));
    EXPECT_EQ(result.err, "");
}

TEST(Cli, DumpGivesTheLoadedModelOfEveryFixture) {
    for (const std::string key : {"Needs", "Kinds", "Scoping", "Errors", "Cycle", "SelfInclude", "mytest",
                                  "Cp1252", "Missing", "BASEBAND"}) {
        const auto result = Cli("dump testdef/Edge.ZEP_SET --test " + key);
        EXPECT_EQ(result.exitCode, 0) << key << result.err;
        EXPECT_EQ(result.out, Expected("dump_" + key + ".json")) << key;
    }
    const auto setOnly = Cli("dump testdef/Edge.ZEP_SET");
    EXPECT_EQ(setOnly.out, Expected("dump_set.json"));
    // A heading is not loaded, as a click on it does nothing.
    const auto heading = Cli("dump testdef/Edge.ZEP_SET --test BASE_000");
    EXPECT_NE(heading.out.find("\"testCase\": null"), std::string::npos);
}

TEST(Cli, CheckListsTheProblemsOfEveryTestAndFailsOnThem) {
    const auto all = Cli("check testdef/Edge.ZEP_SET");
    EXPECT_EQ(all.exitCode, 1);
    EXPECT_EQ(all.out, Expected("check.txt"));

    const auto clean = Cli("check testdef/Edge.ZEP_SET --test Needs");
    EXPECT_EQ(clean.exitCode, 0);
    EXPECT_EQ(clean.out, "");

    const auto one = Cli("check testdef/Edge.ZEP_SET --test SelfInclude");
    EXPECT_EQ(one.exitCode, 1);
    EXPECT_EQ(
        one.out.rfind(
            "== SelfInclude (testdef/SelfInclude.ZEP_CASE)\ntestdef/SelfInclude.ZEP_CASE:2: MAKRO include",
            0),
        0U)
        << one.out;
}

TEST(Cli, ExampleBenchLoadsWithoutProblems) {
    const auto result =
        RunProcess(kCliWithDefaults + " check " + std::string(ZEP_EXAMPLES_DIR) + "/rfbench/RFBench.ZEP_SET");
    EXPECT_EQ(result.exitCode, 0) << result.out;
}

TEST(Cli, UsageErrorsExitWithTwoAndOneLineOnStandardError) {
    struct Case {
        const char* args;
        const char* message;
    } cases[] = {
        {"", "usage"},
        {"frobnicate", "unknown sub-command \"frobnicate\""},
        {"list", "usage: zep-cli list TESTSETFILE"},
        {"list testdef/Nope.ZEP_SET", "test set \"testdef/Nope.ZEP_SET\" not found"},
        {"dump testdef/Edge.ZEP_SET --test", "option --test needs a value"},
        {"check testdef/Edge.ZEP_SET --report \"\"", "option --report needs a value, not an empty text"},
        {"dump testdef/Edge.ZEP_SET --test=", "option --test needs a value, not an empty text"},
        {"dump testdef/Edge.ZEP_SET --test Kinds --test Needs", "option --test given twice"},
        {"check testdef/Edge.ZEP_SET --settings a.ini --settings=b.ini", "option --settings given twice"},
        {"check testdef/Edge.ZEP_SET --bogus", "unknown option --bogus"},
        {"dump testdef", "test set \"testdef\" is a directory, not a file"},
    };
    for (const auto& c : cases) {
        const auto result = Cli(c.args);
        EXPECT_EQ(result.exitCode, 2) << c.args;
        EXPECT_EQ(result.out, "") << c.args;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << c.args << ": " << result.err;
    }
    EXPECT_EQ(Cli("--help").exitCode, 0);
    EXPECT_EQ(Cli("dump --help").exitCode, 0);
}

TEST(Cli, OutputThatCannotBeWrittenIsAnError) {
    // Standard output closed: nothing can be written, so the run is no success.
    for (const std::string args : {"dump testdef/Edge.ZEP_SET --test Kinds >&-",
                                   "list testdef/Edge.ZEP_SET >&-", "eval 1+1 >&-", "--help >&-"}) {
        const auto result = Cli(args);
        EXPECT_EQ(result.exitCode, 2) << args;
        const auto at = result.err.find("zep-cli: cannot write standard output: ");
        ASSERT_NE(at, std::string::npos) << args << result.err;
        EXPECT_EQ(std::count(result.err.begin() + at, result.err.end(), '\n'), 1) << args << result.err;
    }
}

TEST(Cli, ReportIntoAFolderIsRefused) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("zep_cli_report_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto result = Cli("check testdef/Edge.ZEP_SET --report " + dir.string());
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("is a directory"), std::string::npos) << result.err;
    EXPECT_TRUE(std::filesystem::is_directory(dir));
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace zep
