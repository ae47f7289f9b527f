// zep-cli serve and zep-remote over a real local socket: a remote session end to end, the socket
// file a dead executor left behind, a live executor on the same path, and no executor at all.
#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace zep {
namespace {

namespace fs = std::filesystem;

const std::string Remote = fs::path(ZEP_CLI_PATH).parent_path() / "zep-remote";

class Serve : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        std::ofstream(dir_ / "ZEP_INIT.INI") << "";
        std::ofstream(dir_ / "S.ZEP_SET") << "VARIABLE|Span|span|IsHz|0|250\nBench\n>Level|Level check\n";
        std::ofstream(dir_ / "Level.ZEP_CASE") << "BLOCK|Main|Main block\nMain|Comment|hello\n";
    }
    void TearDown() override {
        server_.Stop();
        fs::remove_all(dir_);
    }
    bool StartServer(test::ChildProcess& server) {
        test::ChildOptions options;
        options.environment = {"ZEP_SETTINGS=" + (dir_ / "ZEP_INIT.INI").string()};
        if (!server.Start(
                {ZEP_CLI_PATH, "serve", (dir_ / "S.ZEP_SET").string(), "--simulate", "--socket", socket_},
                options))
            return false;
        return server.WaitForStderr(
            [](const std::string& err) { return err.find("listening on") != std::string::npos; }, 20000);
    }
    test::ChildResult Ask(std::vector<std::string> commands) {
        std::vector<std::string> command{Remote, "--socket", socket_, "--timeout", "30"};
        command.insert(command.end(), commands.begin(), commands.end());
        return test::RunChild(command, {}, 60000);
    }

    fs::path dir_ = fs::temp_directory_path() / ("zep_serve_" + std::to_string(::getpid()));
    std::string socket_ = (dir_ / "remote.sock").string();
    test::ChildProcess server_;
};

TEST_F(Serve, ARemoteSessionSelectsRunsAndFetches) {
    ASSERT_TRUE(StartServer(server_)) << server_.Stderr();
    struct stat info {};
    ASSERT_EQ(::stat(socket_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600U); // user-only
    const auto session = Ask({"SELGROUP::Bench", "SELTESTFILE::Level", "CONNECT::", "VERBOSE::ON",
                              "EXECUTE::Main block", "GETVARRAW::Span", "NOSUCH::"});
    EXPECT_EQ(session.exitCode, 0) << session.err;
    EXPECT_EQ(
        session.out.rfind("MSGTARGET::FINISHED\nSELGROUP::STARTED\nSELGROUP::OK\nSELGROUP::FINISHED\n", 0),
        0U)
        << session.out;
    EXPECT_NE(session.out.find("EXECUTE::STARTED\nEXECUTE::Main block::STARTED\n"), std::string::npos);
    EXPECT_NE(session.out.find("EXECUTION::VERBOSE::hello\n"), std::string::npos) << session.out;
    EXPECT_NE(
        session.out.find("EXECUTE::Main block::FINISHED\nEXECUTE::Main block::FINISHED\nEXECUTE::FINISHED\n"),
        std::string::npos);
    EXPECT_NE(session.out.find("GETVARRAW::VARRAW::250\nGETVARRAW::DONE\n"), std::string::npos);
    EXPECT_NE(session.out.find("NOSUCH::ERROR::Command unknown\nNOSUCH::FINISHED\n"), std::string::npos);

    // A second executor on the same path is refused, naming it; the first keeps serving.
    test::ChildProcess second;
    ASSERT_TRUE(second.Start({ZEP_CLI_PATH, "serve", "--simulate", "--socket", socket_}));
    ASSERT_TRUE(second.Wait(20000));
    EXPECT_EQ(second.ExitCode(), 2);
    EXPECT_NE(second.Stderr().find(socket_), std::string::npos);
    EXPECT_EQ(Ask({"RELEASE::"}).exitCode, 0);

    server_.Signal(SIGTERM);
    ASSERT_TRUE(server_.Wait(20000));
    EXPECT_EQ(server_.ExitCode(), 0);
    EXPECT_FALSE(fs::exists(socket_));
}

TEST_F(Serve, ThePythonClientRunsABlockAndFetchesAVariable) {
    ASSERT_TRUE(StartServer(server_)) << server_.Stderr();
    const std::string client = ZEP_EXAMPLES_DIR "/zep_remote_client.py";
    const auto run = test::RunChild(
        {"python3", client, "--socket", socket_, "Bench", "Level", "Main block", "Span"}, {}, 60000);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("hello\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Span = 250\n"), std::string::npos) << run.out;
    // Importable as a module too.
    const auto imported = test::RunChild({"python3", "-c",
                                          "import sys; sys.path.insert(0, '" ZEP_EXAMPLES_DIR
                                          "'); import zep_remote_client as z; e = z.Executor('" +
                                              socket_ + "'); print(e.variable('Span')); e.close()"},
                                         {}, 60000);
    EXPECT_EQ(imported.out, "250\n") << imported.err;
}

TEST_F(Serve, ASocketLeftByADeadExecutorIsReplacedAndNoExecutorMeansExitTwo) {
    EXPECT_EQ(Ask({"CONNECT::"}).exitCode, 2);
    // What a killed executor leaves: a socket file nobody listens on.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socket_.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    ASSERT_TRUE(fs::exists(socket_));
    ASSERT_TRUE(StartServer(server_)) << server_.Stderr();
    const auto reply = Ask({"CONNECT::"});
    EXPECT_EQ(reply.exitCode, 0);
    EXPECT_EQ(reply.out, "MSGTARGET::FINISHED\nCONNECT::STARTED\nCONNECT::OK\nCONNECT::FINISHED\n");
}

} // namespace
} // namespace zep
