// fork/exec with pipes; one thread per child drains its output so a chatty child never blocks on a full
// pipe, whatever the test reads.
#include "ChildProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zep::test {

namespace {

using Clock = std::chrono::steady_clock;

void CloseFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

// This environment with the NAME=VALUE overrides applied.
std::vector<std::string> ChildEnvironment(const std::vector<std::string>& overrides) {
    std::vector<std::string> result;
    for (char** entry = environ; *entry; ++entry) {
        std::string text = *entry;
        std::string name = text.substr(0, text.find('='));
        bool replaced = false;
        for (const std::string& o : overrides)
            replaced = replaced || o.substr(0, o.find('=')) == name;
        if (!replaced) result.push_back(std::move(text));
    }
    result.insert(result.end(), overrides.begin(), overrides.end());
    return result;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Tells the parent which step failed, through the pipe that closes on exec.
[[noreturn]] void FailInChild(int report, int step) {
    int code[2] = {step, errno};
    ssize_t ignored = write(report, code, sizeof code);
    (void)ignored;
    _exit(127);
}

// In the child between fork and exec only async-signal-safe calls: everything is prepared before.
[[noreturn]] void ExecChild(const ChildOptions& options, int in, int out, int err, int report, char** argv,
                            char** envp) {
    if (dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) FailInChild(report, 1);
    signal(SIGPIPE, SIG_DFL); // an ignored SIGPIPE would outlive exec
    if (!options.directory.empty() && chdir(options.directory.c_str()) != 0) FailInChild(report, 2);
    if (options.openFileLimit >= 0) {
        rlimit limit{static_cast<rlim_t>(options.openFileLimit), static_cast<rlim_t>(options.openFileLimit)};
        if (setrlimit(RLIMIT_NOFILE, &limit) != 0) FailInChild(report, 3);
    }
    if (options.cpu >= 0) {
        cpu_set_t set;
        CPU_ZERO(&set);
        CPU_SET(options.cpu, &set);
        sched_setaffinity(0, sizeof set, &set); // a hint: a missing processor is no reason to fail
    }
    execvpe(argv[0], argv, envp);
    FailInChild(report, 4);
}

const char* StepName(int step) {
    switch (step) {
    case 1:
        return "cannot connect the standard streams";
    case 2:
        return "cannot change to the working folder";
    case 3:
        return "cannot set the open-file limit";
    default:
        return "cannot run";
    }
}

} // namespace

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !ended_) Stop(0);
    FinishDraining();
}

bool ChildProcess::Start(const std::vector<std::string>& arguments, const ChildOptions& options) {
    if (pid_ > 0 || arguments.empty()) {
        error_ = arguments.empty() ? "no program to start" : "a child is already running";
        return false;
    }
    int in[2], out[2], err[2], report[2], wake[2];
    int* pipes[] = {in, out, err, report, wake};
    for (int* p : pipes) {
        if (pipe2(p, O_CLOEXEC) != 0) {
            error_ = std::string("cannot create a pipe: ") + std::strerror(errno);
            return false;
        }
    }
    std::vector<std::string> argvTexts = arguments;
    std::vector<std::string> envTexts = ChildEnvironment(options.environment);
    std::vector<char*> argv = Pointers(argvTexts);
    std::vector<char*> envp = Pointers(envTexts);

    pid_ = fork();
    if (pid_ == 0) ExecChild(options, in[0], out[1], err[1], report[1], argv.data(), envp.data());
    for (int fd : {in[0], out[1], err[1], report[1]})
        close(fd);
    if (pid_ < 0) {
        error_ = std::string("cannot fork: ") + std::strerror(errno);
        for (int fd : {in[1], out[0], err[0], report[0], wake[0], wake[1]})
            close(fd);
        return false;
    }
    // The report pipe closes on exec; a message on it says which step failed.
    int code[2] = {0, 0};
    ssize_t got;
    do {
        got = read(report[0], code, sizeof code);
    } while (got < 0 && errno == EINTR);
    close(report[0]);
    wakeRead_ = wake[0];
    wakeWrite_ = wake[1];
    outFd_ = out[0];
    errFd_ = err[0];
    fcntl(outFd_, F_SETFL, O_NONBLOCK);
    fcntl(errFd_, F_SETFL, O_NONBLOCK);
    drain_ = std::thread([this, i = in[1], input = options.input, w = wake[0]] { Drain(i, input, w); });
    if (got == static_cast<ssize_t>(sizeof code)) {
        error_ = std::string(StepName(code[0])) + " " + arguments[0] + ": " + std::strerror(code[1]);
        Wait(5000);
        return false;
    }
    return true;
}

void ChildProcess::ReadAvailable() {
    for (int k = 0; k < 2; ++k) {
        bool& closed = k == 0 ? outClosed_ : errClosed_;
        while (!closed) {
            char buffer[65536];
            ssize_t count = read(k == 0 ? outFd_ : errFd_, buffer, sizeof buffer);
            if (count < 0 && errno == EINTR) continue;
            if (count < 0 && errno == EAGAIN) break;
            if (count > 0)
                (k == 0 ? out_ : err_).append(buffer, static_cast<std::size_t>(count));
            else
                closed = true; // the drain thread closes the descriptor
        }
    }
}

void ChildProcess::Drain(int in, std::string input, int wake) {
    // A child that ends before reading all its input must give EPIPE here, not a SIGPIPE ending the test.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
    fcntl(in, F_SETFL, O_NONBLOCK);
    std::size_t written = 0;
    if (input.empty()) CloseFd(in);
    for (;;) {
        pollfd fds[4] = {{-1, POLLIN, 0}, {-1, POLLIN, 0}, {in, POLLOUT, 0}, {wake, POLLIN, 0}};
        {
            std::lock_guard lock(mutex_);
            if (outClosed_ && errClosed_) break;
            fds[0].fd = outClosed_ ? -1 : outFd_;
            fds[1].fd = errClosed_ ? -1 : errFd_;
        }
        if (poll(fds, 4, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[3].revents) break;
        if (fds[2].revents) {
            ssize_t count = write(in, input.data() + written, input.size() - written);
            if (count > 0) written += static_cast<std::size_t>(count);
            if ((count < 0 && errno != EAGAIN && errno != EINTR) || written == input.size()) CloseFd(in);
        }
        if (fds[0].revents || fds[1].revents) {
            std::lock_guard lock(mutex_);
            ReadAvailable();
            changed_.notify_all();
        }
    }
    CloseFd(in);
    std::lock_guard lock(mutex_);
    outClosed_ = errClosed_ = true;
    CloseFd(outFd_);
    CloseFd(errFd_);
    changed_.notify_all();
}

void ChildProcess::FinishDraining() {
    if (!drain_.joinable()) return;
    // Output still in the pipes is collected; a grandchild holding them open must not hold us too.
    {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(2), [&] { return outClosed_ && errClosed_; });
    }
    char byte = 0;
    ssize_t ignored = write(wakeWrite_, &byte, 1);
    (void)ignored;
    drain_.join();
    CloseFd(wakeWrite_);
    CloseFd(wakeRead_);
}

// What the pipes hold is read at once: a line the child wrote before answering a request is there.
std::string ChildProcess::Stdout() {
    std::lock_guard lock(mutex_);
    ReadAvailable();
    return out_;
}

std::string ChildProcess::Stderr() {
    std::lock_guard lock(mutex_);
    ReadAvailable();
    return err_;
}

bool ChildProcess::WaitFor(const std::string& stream, const bool& closed, const OutputTest& test,
                           int timeoutMs) const {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return test(stream) || closed; });
    return test(stream);
}

bool ChildProcess::WaitForStdout(const OutputTest& test, int timeoutMs) const {
    return WaitFor(out_, outClosed_, test, timeoutMs);
}

bool ChildProcess::WaitForStderr(const OutputTest& test, int timeoutMs) const {
    return WaitFor(err_, errClosed_, test, timeoutMs);
}

void ChildProcess::Reap(int status) {
    ended_ = true;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    signal_ = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
}

bool ChildProcess::Running() {
    if (pid_ <= 0 || ended_) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) Reap(status);
    return !ended_;
}

bool ChildProcess::Wait(int timeoutMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Running()) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void ChildProcess::Signal(int signal) const {
    if (pid_ > 0 && !ended_) kill(pid_, signal);
}

void ChildProcess::Stop(int graceMs) {
    if (pid_ <= 0) return;
    Signal(SIGTERM);
    if (!Wait(graceMs)) {
        Signal(SIGKILL);
        int status = 0;
        if (waitpid(pid_, &status, 0) == pid_) Reap(status);
    }
    FinishDraining();
}

ChildResult RunChild(const std::vector<std::string>& arguments, const ChildOptions& options, int timeoutMs) {
    ChildResult result;
    ChildProcess child;
    if (!child.Start(arguments, options)) {
        result.err = child.Error();
        return result;
    }
    if (!child.Wait(timeoutMs)) {
        result.timedOut = true;
        child.Stop(0);
    }
    child.Stop(0); // collects the rest of the output
    result.exitCode = child.ExitCode();
    result.signal = child.TermSignal();
    result.out = child.Stdout();
    result.err = child.Stderr();
    return result;
}

} // namespace zep::test
