// zep-cli eval as a child process: output, error line and exit status.
#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs zep-cli with the arguments, collecting both output streams; the child gets 20 s at most.
CliRun RunCli(const std::vector<std::string>& args) {
    std::vector<std::string> arguments{ZEP_CLI_PATH};
    arguments.insert(arguments.end(), args.begin(), args.end());
    const zep::test::ChildResult child = zep::test::RunChild(arguments, {}, 20000);
    return CliRun{child.exitCode, child.out, child.err};
}

TEST(EvalCommand, PrintsTheValueWithFifteenDigits) {
    const struct {
        std::vector<std::string> args;
        std::string out;
    } rows[] = {
        {{"eval", "0.1+0.2"}, "0.3\n"},
        {{"eval", "1E+20"}, "1E+20\n"},
        {{"eval", "2^3^2"}, "64\n"},
        {{"eval", "-x^2", "--var", "x=3"}, "-9\n"},
        {{"eval", "--var", "x=-2", "--var=y=3", "|x|*|y|"}, "6\n"},
        {{"eval", "x+unset"}, "0\n"},
        {{"eval", "--eval1", "4", "2x+x"}, "12\n"},
        {{"eval", "10MHz/4"}, "2500000\n"},
        {{"eval", "--", "-2"}, "-2\n"},
    };
    for (const auto& row : rows) {
        const CliRun result = RunCli(row.args);
        EXPECT_EQ(result.status, 0) << row.args[1] << ": " << result.err;
        EXPECT_EQ(result.out, row.out) << row.args[1];
        EXPECT_EQ(result.err, "") << row.args[1];
    }
}

TEST(EvalCommand, EvaluatorErrorsAreTheOnlyErrorLineAndExitOne) {
    const struct {
        std::vector<std::string> args;
        std::string err;
    } rows[] = {
        {{"eval", "2(3)"}, "Function <2> unknown at pos 2\n"},
        {{"eval", "1/0"}, "Evaluation error <1 / 0> at pos:2\n"},
        {{"eval", "--eval1", "1", "x+y"}, "too many variables\n"},
        {{"eval", "(1+2"}, "Not enough closing brackets\n"},
    };
    for (const auto& row : rows) {
        const CliRun result = RunCli(row.args);
        EXPECT_EQ(result.status, 1) << row.args.back();
        EXPECT_EQ(result.out, "") << row.args.back();
        EXPECT_EQ(result.err, row.err) << row.args.back();
    }
}

TEST(EvalCommand, BadUsageExitsTwo) {
    const std::vector<std::vector<std::string>> rows = {
        {"eval"},
        {"eval", "1", "2"},
        {"eval", "--var", "x", "x"},
        {"eval", "--var", "x=abc", "x"},
        {"eval", "--eval1", "one", "x"},
        {"eval", "--bogus", "1"},
    };
    for (const auto& args : rows) {
        const CliRun result = RunCli(args);
        EXPECT_EQ(result.status, 2) << args.back();
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err, "");
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << "one line: " << result.err;
    }
}

TEST(EvalCommand, RandomSequenceRepeatsFromOneStartToTheNext) {
    const CliRun first = RunCli({"eval", "rnd(1)+rnd(1000)"});
    const CliRun second = RunCli({"eval", "rnd(1)+rnd(1000)"});
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(first.out, second.out);
    EXPECT_NE(first.out, "0\n");
}

} // namespace
