// Runs a program as a child process for tests and benchmarks: arguments, environment, working folder,
// standard input, an open-file limit; standard output and error collected while it runs; every wait
// bounded.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace zep::test {

struct ChildOptions {
    std::vector<std::string> environment; // NAME=VALUE entries set on top of this process's environment
    std::string directory;                // working folder; empty: this process's
    std::string input;                    // written to standard input, which is then closed
    long openFileLimit = -1;              // RLIMIT_NOFILE of the child when not negative
    int cpu = -1;                         // pins the child to that processor when not negative
};

struct ChildResult {
    int exitCode = -1; // -1 when a signal ended it or it had to be killed
    int signal = 0;    // the signal that ended it, 0 when it exited
    bool timedOut = false;
    std::string out;
    std::string err;
};

class ChildProcess {
  public:
    using OutputTest = std::function<bool(const std::string& output)>;

    ChildProcess() = default;
    ~ChildProcess(); // kills a child still running
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts arguments[0] (a path, or a name looked up in PATH). False with Error() set when it cannot
    // be started, including when exec fails in the child.
    bool Start(const std::vector<std::string>& arguments, const ChildOptions& options = {});
    const std::string& Error() const { return error_; }
    pid_t Pid() const { return pid_; }

    // Output so far, including what the pipes hold now.
    std::string Stdout();
    std::string Stderr();
    // Waits up to timeoutMs until the test holds for the output so far; false when it does not by then
    // (or the stream ended without it).
    bool WaitForStdout(const OutputTest& test, int timeoutMs) const;
    bool WaitForStderr(const OutputTest& test, int timeoutMs) const;

    bool Running();
    // Waits up to timeoutMs for the child to end; false when it still runs.
    bool Wait(int timeoutMs);
    void Signal(int signal) const;
    // SIGTERM, SIGKILL when it has not ended after graceMs; collects the rest of its output.
    void Stop(int graceMs = 5000);

    bool Ended() const { return ended_; }
    int ExitCode() const { return exitCode_; } // -1 unless it ended by exit
    int TermSignal() const { return signal_; } // 0 unless a signal ended it

  private:
    bool WaitFor(const std::string& stream, const bool& closed, const OutputTest& test, int timeoutMs) const;
    void Drain(int in, std::string input, int wake);
    void ReadAvailable(); // with mutex_ held
    void Reap(int status);
    void FinishDraining();

    pid_t pid_ = -1;
    bool ended_ = false;
    int exitCode_ = -1;
    int signal_ = 0;
    std::string error_;
    int wakeRead_ = -1; // a byte on it ends the drain thread when a grandchild keeps the pipes open
    int wakeWrite_ = -1;
    std::thread drain_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    int outFd_ = -1; // read with mutex_ held; closed by the drain thread
    int errFd_ = -1;
    std::string out_;
    std::string err_;
    bool outClosed_ = false;
    bool errClosed_ = false;
};

// Runs the program to its end, killing it after timeoutMs.
ChildResult RunChild(const std::vector<std::string>& arguments, const ChildOptions& options = {},
                     int timeoutMs = 60000);

} // namespace zep::test
