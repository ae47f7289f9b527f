// Runs zep-instsim as a child process for interoperability tests and benchmarks: starts it with a
// bounded lifetime, reads its READY and resource lines, and ends it again.
#pragma once

#include "ChildProcess.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zep::test {

class InstsimProcess {
  public:
    InstsimProcess() = default;
    ~InstsimProcess();
    InstsimProcess(const InstsimProcess&) = delete;
    InstsimProcess& operator=(const InstsimProcess&) = delete;

    // Starts the simulator with --max-seconds and the given arguments (cpu >= 0 pins it to that
    // processor) and waits up to 10 s for its resource lines. False with Error() set on failure.
    bool Start(const std::string& program, std::vector<std::string> arguments, int maxSeconds = 60,
               int cpu = -1);
    void Stop();

    // (resource, *IDN? answer) pairs as printed after READY.
    const std::vector<std::pair<std::string, std::string>>& Resources() const { return resources_; }
    // The first resource whose string ends with the class word (SOCKET or INSTR); empty if none.
    std::string ResourceOfClass(const std::string& resourceClass) const;
    // The portmapper port the simulator reported on standard error, 0 when it did not.
    std::uint16_t PortmapperPort() const { return portmapperPort_; }
    const std::string& Error() const { return error_; }
    // What the simulator logged on standard error so far.
    std::string Log() { return child_.Stderr(); }

  private:
    ChildProcess child_;
    std::vector<std::pair<std::string, std::string>> resources_;
    std::uint16_t portmapperPort_ = 0;
    std::string error_;
};

} // namespace zep::test
