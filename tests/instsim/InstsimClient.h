// Test helpers: zep-instsim as a child process, and the shared protocol clients.
#pragma once

#include "ChildProcess.h"
#include "RpcClient.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zep::test {

// Starts zep-instsim with the arguments and waits for READY and its resource lines.
class InstsimProcess {
  public:
    // options.openFileLimit and the like go to the child.
    explicit InstsimProcess(std::vector<std::string> args, std::size_t resourceLines,
                            const zep::test::ChildOptions& options = {});
    ~InstsimProcess();
    bool Ready() const { return ready_; }
    const std::vector<std::string>& Resources() const { return resources_; }
    int RawPort(std::size_t instrument) const; // from the SOCKET line of that instrument
    int PortmapPort() const { return portmapPort_; }
    int CorePort() const { return corePort_; }
    std::string Stderr(); // what it logged so far
    bool Running();
    zep::test::ChildProcess& Process() { return child_; }

  private:
    zep::test::ChildProcess child_;
    bool ready_ = false;
    std::vector<std::string> resources_;
    int portmapPort_ = 0;
    int corePort_ = 0;
};

// Exit status and output of a zep-instsim run that ends by itself.
struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};
RunResult RunInstsim(const std::vector<std::string>& args);

} // namespace zep::test
