// Child process handling for the simulator: fork/exec, pipes read with poll(), bounded waits.
#include "InstsimProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <regex>

namespace zep::test {
namespace {

using Clock = std::chrono::steady_clock;

// Reads what the pipe offers within waitMs; false at end of stream.
bool ReadSome(int fd, std::string& into, int waitMs) {
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, waitMs) <= 0) {
        return true;
    }
    char buffer[4096];
    const auto n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) {
        return false;
    }
    into.append(buffer, static_cast<std::size_t>(n));
    return true;
}

} // namespace

InstsimProcess::~InstsimProcess() { Stop(); }

bool InstsimProcess::Start(const std::string& program, std::vector<std::string> arguments, int maxSeconds,
                           int cpu) {
    int out[2];
    if (::pipe(out) != 0) {
        error_ = "cannot create a pipe";
        return false;
    }
    // Standard error goes to a file: a pipe nobody drains would stall a chatty simulator.
    char errorPath[] = "/tmp/zep-instsim-stderr-XXXXXX";
    const int errorFile = ::mkstemp(errorPath);
    if (errorFile < 0) {
        error_ = "cannot create a file for standard error";
        return false;
    }
    ::unlink(errorPath);
    arguments.insert(arguments.begin(), {program, "--max-seconds", std::to_string(maxSeconds)});
    pid_ = ::fork();
    if (pid_ == 0) {
        if (cpu >= 0) {
            cpu_set_t set;
            CPU_ZERO(&set);
            CPU_SET(cpu, &set);
            sched_setaffinity(0, sizeof set, &set);
        }
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(errorFile, STDERR_FILENO);
        ::close(out[0]);
        std::vector<char*> argv;
        for (auto& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        _exit(127);
    }
    ::close(out[1]);
    stdoutPipe_ = out[0];
    stderrPipe_ = errorFile;
    if (pid_ < 0) {
        error_ = "cannot start " + program;
        return false;
    }

    std::string output;
    std::string diagnostics;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    bool ready = false;
    auto lastOutput = Clock::now();
    while (Clock::now() < deadline) {
        const std::size_t before = output.size();
        if (!ReadSome(stdoutPipe_, output, 50)) {
            break;
        }
        if (output.size() != before) {
            lastOutput = Clock::now();
        }
        ready = output.rfind("READY\n", 0) == 0;
        // The resource lines follow READY at once; a pause means they are all there.
        if (ready && output.back() == '\n' && Clock::now() - lastOutput > std::chrono::milliseconds(200)) {
            break;
        }
    }
    char buffer[4096];
    ssize_t n = 0;
    for (off_t offset = 0; (n = ::pread(stderrPipe_, buffer, sizeof buffer, offset)) > 0; offset += n) {
        diagnostics.append(buffer, static_cast<std::size_t>(n));
    }
    if (!ready) {
        error_ = "zep-instsim did not print READY; its output: " + output + diagnostics;
        return false;
    }
    std::size_t start = std::strlen("READY\n");
    while (start < output.size()) {
        const std::size_t end = output.find('\n', start);
        const std::string line = output.substr(start, end - start);
        start = end == std::string::npos ? output.size() : end + 1;
        const std::size_t tab = line.find('\t');
        if (tab != std::string::npos) {
            resources_.emplace_back(line.substr(0, tab), line.substr(tab + 1));
        }
    }
    std::smatch match;
    if (std::regex_search(diagnostics, match, std::regex("portmapper on \\S+ port (\\d+)"))) {
        portmapperPort_ = static_cast<std::uint16_t>(std::stoi(match[1]));
    }
    return true;
}

std::string InstsimProcess::ResourceOfClass(const std::string& resourceClass) const {
    for (const auto& [resource, idn] : resources_) {
        if (resource.size() >= resourceClass.size() &&
            resource.compare(resource.size() - resourceClass.size(), resourceClass.size(), resourceClass) == 0) {
            return resource;
        }
    }
    return {};
}

void InstsimProcess::Stop() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        for (int i = 0; i < 200 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i) {
            ::usleep(10000);
        }
        if (::waitpid(pid_, &status, WNOHANG) == 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
        }
        pid_ = -1;
    }
    for (int* fd : {&stdoutPipe_, &stderrPipe_}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
}

} // namespace zep::test
