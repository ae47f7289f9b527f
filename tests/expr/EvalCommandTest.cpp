// zep-cli eval as a child process: output, error line and exit status.
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

struct ChildResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs zep-cli with the arguments, collecting both output streams; the child gets 20 s at most.
ChildResult RunCli(const std::vector<std::string>& args) {
    int outPipe[2], errPipe[2];
    EXPECT_EQ(pipe(outPipe), 0);
    EXPECT_EQ(pipe(errPipe), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        close(outPipe[0]), close(outPipe[1]), close(errPipe[0]), close(errPipe[1]);
        std::vector<char*> argv;
        std::string program = ZEP_CLI_PATH;
        argv.push_back(program.data());
        std::vector<std::string> copies = args;
        for (auto& arg : copies)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        alarm(20);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    ChildResult result;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int open = 2;
    while (open > 0 && poll(fds, 2, 20000) > 0) {
        for (auto& fd : fds) {
            if (fd.fd < 0 || !(fd.revents & (POLLIN | POLLHUP))) continue;
            char buffer[4096];
            const ssize_t n = read(fd.fd, buffer, sizeof buffer);
            if (n <= 0) {
                close(fd.fd);
                fd.fd = -1;
                --open;
            } else {
                (fd.fd == outPipe[0] ? result.out : result.err).append(buffer, static_cast<size_t>(n));
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
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
        const ChildResult result = RunCli(row.args);
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
        const ChildResult result = RunCli(row.args);
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
        const ChildResult result = RunCli(args);
        EXPECT_EQ(result.status, 2) << args.back();
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err, "");
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << "one line: " << result.err;
    }
}

TEST(EvalCommand, RandomSequenceRepeatsFromOneStartToTheNext) {
    const ChildResult first = RunCli({"eval", "rnd(1)+rnd(1000)"});
    const ChildResult second = RunCli({"eval", "rnd(1)+rnd(1000)"});
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(first.out, second.out);
    EXPECT_NE(first.out, "0\n");
}

} // namespace
