// zep-instsim as a child process: READY and the resource lines, the RPC ports from its log.
#include "InstsimClient.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <regex>

namespace zep::test {

namespace {

std::vector<std::string> CommandLine(const std::vector<std::string>& args) {
    std::vector<std::string> command = {ZEP_INSTSIM_PATH};
    command.insert(command.end(), args.begin(), args.end());
    return command;
}

} // namespace

InstsimProcess::InstsimProcess(std::vector<std::string> args, std::size_t resourceLines,
                               const zep::test::ChildOptions& options) {
    if (!child_.Start(CommandLine(args), options)) {
        ADD_FAILURE() << child_.Error();
        return;
    }
    child_.WaitForStdout(
        [&](const std::string& text) {
            return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) >= resourceLines + 1;
        },
        10000);
    std::string text = child_.Stdout();
    if (text.rfind("READY\n", 0) != 0) return;
    std::size_t pos = 6;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        resources_.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    // The ports of the RPC services are logged on standard error, before READY.
    bool vxi11 = std::any_of(resources_.begin(), resources_.end(),
                             [](const std::string& r) { return r.find("::INSTR") != std::string::npos; });
    std::regex ports("portmapper on \\S+ port (\\d+).*core channel on port (\\d+)");
    std::smatch match;
    if (vxi11)
        child_.WaitForStderr([&](const std::string& log) { return std::regex_search(log, ports); }, 1000);
    std::string log = child_.Stderr();
    if (std::regex_search(log, match, ports)) {
        portmapPort_ = std::stoi(match[1]);
        corePort_ = std::stoi(match[2]);
    }
    ready_ = true;
}

InstsimProcess::~InstsimProcess() {
    if (child_.Pid() <= 0) return;
    child_.Stop(10000);
    // SIGTERM ends the server cleanly; anything else is a crash or a sanitizer report.
    if (child_.ExitCode() != 0)
        ADD_FAILURE() << "zep-instsim did not end cleanly (exit " << child_.ExitCode() << ", signal "
                      << child_.TermSignal() << "):\n"
                      << child_.Stderr();
}

int InstsimProcess::RawPort(std::size_t instrument) const {
    std::size_t seen = 0;
    for (const std::string& line : resources_) {
        if (line.find("::SOCKET\t") == std::string::npos) continue;
        if (seen++ == instrument) {
            std::size_t end = line.find("::SOCKET");
            std::size_t start = line.rfind("::", end - 1);
            return std::stoi(line.substr(start + 2, end - start - 2));
        }
    }
    return 0;
}

std::string InstsimProcess::Stderr() {
    return child_.Stderr();
}

bool InstsimProcess::Running() {
    return child_.Running();
}

RunResult RunInstsim(const std::vector<std::string>& args) {
    zep::test::ChildResult child = zep::test::RunChild(CommandLine(args), {}, 20000);
    return RunResult{child.exitCode, child.out, child.err};
}

} // namespace zep::test
