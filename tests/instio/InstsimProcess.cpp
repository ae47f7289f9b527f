// The simulator as a child process: READY, its resource lines, the portmapper port from its log.
#include "InstsimProcess.h"

#include <cstring>
#include <regex>

namespace zep::test {

InstsimProcess::~InstsimProcess() {
    Stop();
}

bool InstsimProcess::Start(const std::string& program, std::vector<std::string> arguments, int maxSeconds,
                           int cpu) {
    arguments.insert(arguments.begin(), {program, "--max-seconds", std::to_string(maxSeconds)});
    ChildOptions options;
    options.cpu = cpu;
    if (!child_.Start(arguments, options)) {
        error_ = child_.Error();
        return false;
    }
    const bool ready = child_.WaitForStdout(
        [](const std::string& output) { return output.rfind("READY\n", 0) == 0 && output.back() == '\n'; },
        10000);
    // The resource lines follow READY at once; a pause means they are all there.
    for (std::string output = child_.Stdout(); ready; output = child_.Stdout()) {
        const auto grown = [&](const std::string& now) { return now.size() != output.size(); };
        if (!child_.WaitForStdout(grown, 200) && output.back() == '\n') {
            break;
        }
    }
    const std::string output = child_.Stdout();
    const std::string diagnostics = child_.Stderr();
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
            resource.compare(resource.size() - resourceClass.size(), resourceClass.size(), resourceClass) ==
                0) {
            return resource;
        }
    }
    return {};
}

void InstsimProcess::Stop() {
    child_.Stop(2000);
}

} // namespace zep::test
