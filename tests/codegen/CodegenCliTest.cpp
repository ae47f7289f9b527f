// zep-cli codegen, and the settings file feeding dump and check, run as real processes.
#include "common/TextFile.h"

#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

const std::string Cli = ZEP_CLI_PATH;
const std::string CodegenSet = std::string(ZEP_FIXTURES_DIR) + "/settings/codegen/codegen.ZEP_SET";

struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class CliRun : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("zep_codegen_cli_" +
                   std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    // Runs zep-cli with the arguments (already quoted for the shell) and the environment prefix.
    CliResult Execute(const std::string& arguments, const std::string& environment = "env -u ZEP_SETTINGS") {
        const zep::test::ChildResult child =
            zep::test::RunChild({"/bin/sh", "-c", environment + " '" + Cli + "' " + arguments}, {}, 60000);
        CliResult run;
        run.exitCode = child.exitCode;
        run.out = child.out;
        run.err = child.err;
        return run;
    }

    std::string WriteSettings(const std::string& name, const std::string& text) {
        const fs::path path = folder_ / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }

    fs::path folder_;
};

TEST_F(CliRun, PrintsTheGeneratedCodeWithTheDefaultStyle) {
    const CliResult run = Execute("codegen '" + CodegenSet + "' --test Basic --settings '" +
                                  (folder_ / "none.ini").string() + "'");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "ibwrt(Inst0,'*CLS')      'Clear\r\nibwrt(Inst0,'*IDN?')     'Identify\r\n");
}

TEST_F(CliRun, TakesTheCodeStyleFromTheSettingsFile) {
    const std::string settings =
        WriteSettings("style.ini", "[CodeStyle]\r\nCommentPre=# \r\nPreFix0=gen.write(\"\r\nPostFix0=\")\r\n"
                                   "PreFix1=ana.write(\"\r\nPostFix1=\")\r\n");
    const CliResult run =
        Execute("codegen '" + CodegenSet + "' --test Mixed --rows 3-5", "ZEP_SETTINGS='" + settings + "'");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    // Rows 3 to 5 are command lines 2 to 4: an instrument-1 command, an instrument-2 command
    // (no stored style: bare) and a Wait (comment only).
    // (The blank after "#" is removed by the reader, as the file functions do.)
    EXPECT_EQ(run.out, "ana.write(\"INIT:IMM\")    #Start\r\n"
                       "READ?                    #Power\r\n"
                       "#\r\n");
}

TEST_F(CliRun, CommentOnlyStyle) {
    const std::string settings = WriteSettings("comments.ini", "[CodeStyle]\nCopyCommand=0\n");
    const CliResult run = Execute("codegen '" + CodegenSet + "' --test Mixed --settings '" + settings + "'");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "'Set frequency\r\n'Sweep\r\n'Start\r\n'Power\r\n'\r\n'Marker\r\n");
}

TEST_F(CliRun, RefusesBadRowsUnknownTestsAndMissingOptions) {
    const std::string set = "'" + CodegenSet + "'";
    const std::pair<std::string, std::string> cases[] = {
        {"codegen " + set + " --test Mixed --rows 5-3", "--rows"},
        {"codegen " + set + " --test Mixed --rows 0-2", "--rows"},
        {"codegen " + set + " --test Mixed --rows x", "--rows"},
        {"codegen " + set + " --test Mixed --rows 2-9", "6 command lines"},
        {"codegen " + set + " --test Nope", "\"Nope\" not found"},
        {"codegen " + set + " --test BASE_000", "heading"},
        {"codegen " + set, "usage"},
        {"codegen '" + (folder_ / "missing.ZEP_SET").string() + "' --test Basic", "not found"},
    };
    for (const auto& [arguments, message] : cases) {
        const CliResult run = Execute(arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments;
        EXPECT_EQ(run.out, "") << arguments;
        EXPECT_NE(run.err.find(message), std::string::npos) << arguments << ": " << run.err;
    }
}

TEST_F(CliRun, DumpAndCheckTakeTheLoaderOptionsFromTheSettings) {
    const std::string settings = WriteSettings("format.ini", "[TestEnv]\nNumFormatDefault=0.0E+00\n");
    const std::string dump = "dump '" + CodegenSet + "' --test Basic";
    const CliResult withDefaults = Execute(dump + " --settings '" + (folder_ / "none.ini").string() + "'");
    EXPECT_NE(withDefaults.out.find("\"Format\": \"#0.000\""), std::string::npos) << withDefaults.out;
    const CliResult byOption = Execute(dump + " --settings '" + settings + "'");
    EXPECT_NE(byOption.out.find("\"Format\": \"0.0E+00\""), std::string::npos) << byOption.out;
    const CliResult byEnvironment = Execute(dump, "ZEP_SETTINGS='" + settings + "'");
    EXPECT_NE(byEnvironment.out.find("\"Format\": \"0.0E+00\""), std::string::npos) << byEnvironment.out;
    // A named file that is missing is reported, and the defaults are used.
    EXPECT_NE(withDefaults.err.find("none.ini"), std::string::npos);
    const CliResult check = Execute("check '" + CodegenSet + "' --settings '" + settings + "'");
    EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
}

} // namespace
