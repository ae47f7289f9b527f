// zep-cli scan end to end: the built-in VISA over loopback against zep-instsim, with a device cache
// file naming two of the maker's instruments, one of another maker and a port where nothing listens.
#include "ChildProcess.h"
#include "InstsimProcess.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zep {
namespace {

namespace fs = std::filesystem;

// A loopback port that was free a moment ago and on which nothing listens now.
int DeadPort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(s);
    return ntohs(address.sin_port);
}

class ScanTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("zep_scan_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

TEST_F(ScanTest, FindsTheInstrumentsOfTheCacheOverLoopback) {
    const std::string examples = ZEP_EXAMPLES_DIR "/instsim/";
    const fs::path bench = dir_ / "Scan.ZEP_BENCH";
    std::ofstream(bench) << "INSTRUMENT|" << examples << "SMG.ZEP_INST\nINSTRUMENT|" << examples
                         << "FSA.ZEP_INST\nINSTRUMENT|" << examples << "DMM.ZEP_INST\n";
    test::InstsimProcess simulator;
    ASSERT_TRUE(simulator.Start(ZEP_INSTSIM_PATH, {"--config", bench.string()}, 60)) << simulator.Error();
    std::vector<std::string> sockets;
    for (const auto& [resource, identification] : simulator.Resources())
        if (resource.ends_with("::SOCKET")) sockets.push_back(resource);
    ASSERT_EQ(sockets.size(), 3U);
    const std::string dead = "TCPIP0::127.0.0.1::" + std::to_string(DeadPort()) + "::SOCKET";

    // Written as a Windows machine writes the key: CR LF, any letter case, a comment.
    const fs::path cache = dir_ / "cache.ini";
    std::ofstream(cache, std::ios::binary)
        << "; device cache\r\n[SOFTWARE\\Veltmark\\VISADeviceCache]\r\n"
        << "device1=" << sockets[0] << "\r\nDEVICE2=" << sockets[1] << "\r\nDevice3=" << sockets[2]
        << "\r\nDEVICE4=" << dead << "\r\nSERVER1=localhost\r\n";
    test::ChildOptions options;
    std::ofstream(dir_ / "ZEP_INIT.INI") << "";
    options.environment = {"ZEP_SETTINGS=" + (dir_ / "ZEP_INIT.INI").string()};
    const test::ChildResult scan = test::RunChild(
        {ZEP_CLI_PATH, "scan", "--registry", cache.string(), "--visa", "builtin"}, options, 60000);
    EXPECT_EQ(scan.exitCode, 0) << scan.err;
    EXPECT_EQ(scan.err, ""); // not a terminal: no progress line
    EXPECT_EQ(scan.out, "SCANNING...\n"
                        "checking " +
                            sockets[0] + "\nchecking " + sockets[0] +
                            "\n >> ----- (---)\n"
                            "checking " +
                            sockets[1] + "\nchecking " + sockets[1] +
                            "\n >> ----- (---)\n"
                            "checking " +
                            sockets[2] + "\nchecking " + sockets[2] +
                            "\n >> unknown device\n"
                            "checking " +
                            dead + "\nchecking " + dead +
                            "\n >> not found (output buffer empty)\n"
                            "0\t" +
                            sockets[0] +
                            "\tVeltmark,SMG,100245/003,2.10.4\tB1,B22\n"
                            "1\t" +
                            sockets[1] +
                            "\tVeltmark,FSA,101877/012,4.30.1\tB4,B25,K7\n"
                            "2\t" +
                            sockets[2] +
                            "\tOrvane Instruments,DM-4050,SN44120,3.2\t\n"
                            "3\t" +
                            dead + "\t\t\n");
    // The scan reads the cache and leaves it as it was: its values were all there.
    std::ifstream in(cache, std::ios::binary);
    const std::string after((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(after.substr(0, 40), "; device cache\r\n[SOFTWARE\\Veltmark\\VISAD");
}

} // namespace
} // namespace zep
