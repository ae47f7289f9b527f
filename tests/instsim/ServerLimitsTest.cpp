// zep-instsim under clients that misbehave: ones that read nothing, half-close, exhaust descriptors or
// open more connections and links than it serves.
#include "InstsimClient.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

namespace zep::test {
namespace {

constexpr std::size_t BigBlock = 16777216;
const std::string BigAnswerHeader = "#8" + std::to_string(BigBlock);

std::vector<std::string> Args(std::vector<std::string> extra) {
    std::vector<std::string> args = {"--max-seconds", "60", "--portmap-port", "0"};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

std::string BigBlockInstrument() {
    std::string path = testing::TempDir() + "/bigblock.ZEP_INST";
    std::ofstream(path) << "IDN|ZEP,BIG,1,1\nQUERY|:BIG?|block " << BigBlock << "\n";
    return path;
}

// What the simulator may hold at its peak: a few answers of 16 MiB, where queuing every answer
// took gigabytes. AddressSanitizer's shadow memory and quarantine add a few hundred MiB to that.
#if defined(__SANITIZE_ADDRESS__)
constexpr long MemoryBoundMiB = 1024;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr long MemoryBoundMiB = 1024;
#else
constexpr long MemoryBoundMiB = 256;
#endif
#else
constexpr long MemoryBoundMiB = 256;
#endif

// Peak resident memory of the process in MiB, from /proc.
long PeakResidentMiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6)) / 1024;
    return -1;
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

TEST(InstsimLimits, ClientThatReadsNothingGetsNoAnswersMadeUntilItReads) {
    InstsimProcess server(Args({"--config", BigBlockInstrument()}), 2);
    ASSERT_TRUE(server.Ready());
    TcpClient hog(server.RawPort(0));
    std::string flood;
    for (int i = 0; i < 100; ++i)
        flood += ":BIG?\n"; // 1.6 GB of answers if all were made
    ASSERT_TRUE(hog.Send(flood));
    TcpClient other(server.RawPort(0));
    other.Send("*IDN?\n");
    EXPECT_EQ(other.ReadLine(10000), "ZEP,BIG,1,1\n") << "the other client is served meanwhile";
    EXPECT_LT(PeakResidentMiB(server.Process().Pid()), MemoryBoundMiB);

    // Reading resumes the answers, more of them than were made before the output filled.
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(hog.ReadBytes(BigAnswerHeader.size(), 10000), BigAnswerHeader) << "answer " << i;
        auto rest = hog.ReadBytes(BigBlock + 1, 10000);
        ASSERT_TRUE(rest) << "answer " << i;
        EXPECT_EQ(rest->back(), '\n');
    }
    EXPECT_LT(PeakResidentMiB(server.Process().Pid()), MemoryBoundMiB);
}

TEST(InstsimLimits, OneLineOfQueriesCannotMakeAnAnswerWithoutBound) {
    InstsimProcess server(Args({"--config", BigBlockInstrument()}), 2);
    TcpClient client(server.RawPort(0));
    client.Send(":BIG?;:BIG?;:BIG?;:BIG?\n");
    std::string block = BigAnswerHeader + std::string(BigBlock, '\0');
    auto answer = client.ReadBytes(2 * block.size() + 2, 10000);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->substr(block.size(), 1 + BigAnswerHeader.size()), ";" + BigAnswerHeader);
    EXPECT_EQ(answer->back(), '\n') << "two blocks fit, the others are refused";
    client.Send("SYST:ERR?;SYST:ERR?;SYST:ERR?\n");
    EXPECT_EQ(client.ReadLine(), "-223,\"Too much data\";-223,\"Too much data\";0,\"No error\"\n");
}

TEST(InstsimLimits, HalfClosedClientGetsItsAnswersThenTheClose) {
    struct Case {
        std::vector<std::string> args;
        std::string sent;
        std::string answers;
    };
    const Case cases[] = {
        {{}, "*IDN?\n", "ZEP,INSTSIM,000000,0.1\n"},
        {{}, "*IDN?\n*OPC?\n:DATA", "ZEP,INSTSIM,000000,0.1\n1\n"},  // the unterminated tail is dropped
        {{"--stall", "300"}, "*IDN?\n", "ZEP,INSTSIM,000000,0.1\n"}, // answer made after the close
    };
    for (const Case& c : cases) {
        InstsimProcess server(Args(c.args), 2);
        TcpClient client(server.RawPort(0));
        client.Send(c.sent);
        client.ShutdownSending();
        std::string received;
        while (auto line = client.ReadLine(5000))
            received += *line;
        EXPECT_EQ(received, c.answers) << c.sent;
        EXPECT_TRUE(client.ClosedByPeer()) << c.sent;
    }
}

TEST(InstsimLimits, AtTheDescriptorLimitItWaitsLogsOnceAndServesAgain) {
    zep::test::ChildOptions options;
    options.openFileLimit = 16;
    InstsimProcess server(Args({"--no-vxi11"}), 1, options);
    ASSERT_TRUE(server.Ready());
    std::vector<std::unique_ptr<TcpClient>> clients;
    for (int i = 0; i < 20; ++i) // beyond the limit: the last ones wait in the listen queue
        clients.push_back(std::make_unique<TcpClient>(server.RawPort(0)));
    const std::string line = "cannot accept more connections";
    ASSERT_TRUE(server.Process().WaitForStderr(
        [&](const std::string& log) { return log.find(line) != std::string::npos; }, 10000))
        << server.Stderr();
    clients.front()->Send("*IDN?\n");
    EXPECT_EQ(clients.front()->ReadLine(), "ZEP,INSTSIM,000000,0.1\n") << "accepted clients are served";

    clients.erase(clients.begin(), clients.begin() + 10);
    clients.back()->Send("*IDN?\n");
    EXPECT_EQ(clients.back()->ReadLine(10000), "ZEP,INSTSIM,000000,0.1\n") << "a waiting client is accepted";
    std::string log = server.Stderr();
    EXPECT_EQ(Count(log, line), 1u) << log.substr(0, 2000);
    EXPECT_EQ(Count(log, "accept failed"), 0u);
}

TEST(InstsimLimits, ConnectionsBeyondTheCapAreRefusedWithALogLine) {
    InstsimProcess server(Args({"--no-vxi11", "--max-connections", "3"}), 1);
    std::vector<std::unique_ptr<TcpClient>> clients;
    for (int i = 0; i < 3; ++i) {
        clients.push_back(std::make_unique<TcpClient>(server.RawPort(0)));
        clients.back()->Send("*OPC?\n");
        ASSERT_EQ(clients.back()->ReadLine(), "1\n");
    }
    TcpClient refused(server.RawPort(0));
    EXPECT_TRUE(refused.ClosedByPeer());
    EXPECT_NE(
        server.Stderr().find("connection refused: 3 connections are open, the most --max-connections allows"),
        std::string::npos)
        << server.Stderr();
    clients.pop_back();
    bool served = false;
    for (int attempt = 0; attempt < 50 && !served; ++attempt) { // the server notices the close first
        TcpClient again(server.RawPort(0));
        again.Send("*OPC?\n");
        served = again.ReadLine(2000) == "1\n";
    }
    EXPECT_TRUE(served);
}

TEST(InstsimLimits, LinksBeyondTheCapAnswerOutOfResources) {
    InstsimProcess server(Args({"--no-raw", "--max-links", "2"}), 1);
    Vxi11Client client(server.CorePort());
    std::uint32_t first = 0, second = 0, third = 0;
    ASSERT_EQ(client.CreateLink("inst0", first), 0u);
    ASSERT_EQ(client.CreateLink("inst0", second), 0u);
    EXPECT_EQ(client.CreateLink("inst0", third), 9u) << "out of resources";
    EXPECT_NE(server.Stderr().find("2 links are open, the most --max-links allows"), std::string::npos)
        << server.Stderr();
    EXPECT_EQ(client.Query(second, "*IDN?"), "ZEP,INSTSIM,000000,0.1\n") << "the open links go on";
    ASSERT_EQ(client.DestroyLink(first), 0u);
    EXPECT_EQ(client.CreateLink("inst0", third), 0u);
}

TEST(InstsimLimits, CapOptionsNeedAPositiveNumber) {
    for (const char* option : {"--max-connections", "--max-links"}) {
        RunResult result = RunInstsim({option, "0"});
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_EQ(result.err,
                  "zep-instsim: " + std::string(option) + " needs a number from 1 to 65536 (see --help)\n");
    }
}

} // namespace
} // namespace zep::test
