// zep-cli serve and zep-remote over a real local socket: a remote session end to end, the socket
// file a dead executor left behind, a live executor on the same path, and no executor at all.
#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace zep {
namespace {

namespace fs = std::filesystem;

const std::string Remote = fs::path(ZEP_CLI_PATH).parent_path() / "zep-remote";
constexpr const char* MarksElement = "30"; // Marks[2] of 10,20,30: elements count from 0

// A raw peer: frames written by hand, replies read with a bound.
class RawPeer {
  public:
    explicit RawPeer(const std::string& path) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        ok_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawPeer() { Close(); }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    bool Ok() const { return ok_; }
    void Raw(const std::string& bytes) { (void)!::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    static std::string Frame(std::uint32_t data, const std::string& payload) {
        std::string frame;
        for (std::uint32_t v : {data, static_cast<std::uint32_t>(payload.size())})
            for (int i = 0; i < 4; ++i)
                frame += static_cast<char>((v >> (8 * i)) & 0xFF);
        return frame + payload;
    }
    void Text(const std::string& text) { Raw(Frame(3, text + std::string(1, '\0'))); }
    // The texts of the frames up to and including one equal to last (dwData 0 greeting skipped).
    std::vector<std::string> Until(const std::string& last, int timeoutMs = 20000) {
        std::vector<std::string> texts;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < end) {
            while (in_.size() >= 8) {
                std::uint32_t data = 0, size = 0;
                for (int i = 3; i >= 0; --i)
                    data = (data << 8) | static_cast<unsigned char>(in_[static_cast<size_t>(i)]);
                for (int i = 7; i >= 4; --i)
                    size = (size << 8) | static_cast<unsigned char>(in_[static_cast<size_t>(i)]);
                if (in_.size() < 8 + size) break;
                std::string text = in_.substr(8, size ? size - 1 : 0);
                in_.erase(0, 8 + size);
                if (data == 0) {
                    handle_ = text;
                    continue;
                }
                texts.push_back(text);
                if (text == last) return texts;
            }
            pollfd wait{fd_, POLLIN, 0};
            if (::poll(&wait, 1, 100) <= 0) continue;
            char buffer[65536];
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            in_.append(buffer, static_cast<size_t>(n));
        }
        return texts;
    }
    std::string Handle() {
        if (handle_.empty()) Until("", 2000);
        return handle_;
    }

  private:
    int fd_ = -1;
    bool ok_ = false;
    std::string in_;
    std::string handle_;
};

class Serve : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        std::ofstream(dir_ / "ZEP_INIT.INI") << "";
        std::ofstream(dir_ / "S.ZEP_SET")
            << "VARIABLE|Span|span|IsHz|0|250\nVARIABLE|Marks|markers|IsList||10,20,30\n"
               "Bench\n>Level|Level check\n";
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
                              "EXECUTE::Main block", "GETVARRAW::Span", "GETVARRAW::Marks[2]", "NOSUCH::"});
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
    EXPECT_NE(session.out.find("GETVARRAW::VARRAW::" + std::string(MarksElement) + "\nGETVARRAW::DONE\n"),
              std::string::npos)
        << session.out;
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

TEST_F(Serve, BadFramesVanishingAndSilentPeersDoNotStopTheExecutor) {
    std::ofstream(dir_ / "Level.ZEP_CASE") << "BLOCK|Main|Main block\nMain|Comment|hello\nMain|Wait|2500\n"
                                              "Main|Comment|after the wait\n";
    ASSERT_TRUE(StartServer(server_)) << server_.Stderr();
    RawPeer good(socket_);
    ASSERT_TRUE(good.Ok());
    const std::string handle = good.Handle();
    EXPECT_FALSE(handle.empty());
    good.Text("MSGTARGET::" + handle);
    EXPECT_EQ(good.Until("MSGTARGET::FINISHED"), std::vector<std::string>{"MSGTARGET::FINISHED"});

    {
        RawPeer oversized(socket_); // announces 1 GB
        oversized.Raw(RawPeer::Frame(3, "").substr(0, 4) + std::string("\x00\x00\x00\x40", 4) + "FOO::");
        RawPeer truncated(socket_); // half a frame, then gone
        truncated.Raw(RawPeer::Frame(3, std::string("FOO::x") + '\0').substr(0, 9));
        RawPeer empty(socket_); // cbData 0 and a frame without its NUL, then a frame for another dwData
        const std::string emptyHandle = empty.Handle();
        empty.Text("MSGTARGET::" + emptyHandle);
        empty.Until("MSGTARGET::FINISHED");
        empty.Raw(RawPeer::Frame(3, ""));
        empty.Raw(RawPeer::Frame(7, std::string("FOO::ignored") + '\0'));
        empty.Raw(RawPeer::Frame(3, "BAR::kept"));
        EXPECT_EQ(empty.Until("BAR::FINISHED"),
                  (std::vector<std::string>{"BAR::STARTED", "BAR::ERROR::Command unknown", "BAR::FINISHED"}));
    }
    // A peer that starts a run and vanishes; one that never reads; the good one is still served,
    // and a selection while the block runs is refused.
    RawPeer vanishing(socket_);
    vanishing.Text("MSGTARGET::" + vanishing.Handle());
    vanishing.Text("SELGROUP::Bench");
    vanishing.Text("SELTESTFILE::Level");
    vanishing.Text("CONNECT::");
    vanishing.Text("VERBOSE::ON");
    vanishing.Until("VERBOSE::FINISHED");
    vanishing.Text("EXECUTE::Main block");
    vanishing.Until("EXECUTE::Main block::STARTED");
    RawPeer silent(socket_);
    silent.Text("MSGTARGET::" + silent.Handle());
    for (int i = 0; i < 200; ++i)
        silent.Text("GETREPORT::");
    ::usleep(200000); // let the executor take them; replies go to the peer named last
    good.Text("MSGTARGET::" + handle);
    good.Until("MSGTARGET::FINISHED");
    good.Text("SELTESTFILE::Level");
    EXPECT_EQ(good.Until("SELTESTFILE::FINISHED"),
              (std::vector<std::string>{"SELTESTFILE::STARTED", "SELTESTFILE::ERROR::A block is running",
                                        "SELTESTFILE::FINISHED"}));
    vanishing.Close();
    good.Text("GETVARRAW::Span");
    EXPECT_EQ(good.Until("GETVARRAW::FINISHED").back(), "GETVARRAW::FINISHED");
    // The run went on to its end: the report is complete.
    good.Text("GETREPORT::");
    const auto report = good.Until("GETREPORT::FINISHED");
    ASSERT_GE(report.size(), 2U);
    for (int i = 0; i < 100 && report[1].find("after the wait") == std::string::npos; ++i) {
        ::usleep(50000);
        good.Text("GETREPORT::");
        const auto again = good.Until("GETREPORT::FINISHED");
        if (again.size() >= 2 && again[1].find("after the wait") != std::string::npos) break;
        if (i == 99) ADD_FAILURE() << "the run did not end";
    }
    EXPECT_TRUE(server_.Running());
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
