// The built-in implementation over raw sockets, against a loopback SCPI server.
#include "LoopbackServers.h"

#include "instio/VISAWrap.h"
#include "instio/visa_builtin/BuiltinVisa.h"
#include "instio/visa_builtin/TcpConnection.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

namespace zep {
namespace {

using test::SocketServer;
using namespace std::chrono_literals;

std::string SocketResource(std::uint16_t port) {
    return "TCPIP::127.0.0.1::" + std::to_string(port) + "::SOCKET";
}

long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class BuiltinSocketTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(visa.viOpenDefaultRM(manager), VI_SUCCESS);
        ASSERT_EQ(visa.viOpen(manager, SocketResource(server.Port()), VI_NO_LOCK, 0, session), VI_SUCCESS);
        ASSERT_NE(session, VI_NULL);
    }
    ViStatus Write(std::string_view text) {
        ViUInt32 written = 0;
        const ViStatus status =
            visa.viWrite(session, text.data(), static_cast<ViUInt32>(text.size()), written);
        EXPECT_EQ(written, status == VI_SUCCESS ? text.size() : 0u);
        return status;
    }
    std::pair<ViStatus, std::string> Read(ViUInt32 count = 256) {
        std::string buffer(count, '\0');
        ViUInt32 read = 0;
        const ViStatus status = visa.viRead(session, buffer.data(), count, read);
        buffer.resize(read);
        return {status, buffer};
    }

    SocketServer server;
    BuiltinVisa visa;
    ViSession manager = VI_NULL;
    ViSession session = VI_NULL;
};

TEST_F(BuiltinSocketTest, QueryEndsAtTheLineFeed) {
    ASSERT_EQ(Write("*IDN?\n"), VI_SUCCESS);
    EXPECT_EQ(Read(), std::make_pair(VI_SUCCESS_TERM_CHAR, std::string("ZEP,LOOPBACK,0,1.0\n")));
    ASSERT_EQ(Write("*OPC?\n"), VI_SUCCESS);
    EXPECT_EQ(Read(), std::make_pair(VI_SUCCESS_TERM_CHAR, std::string("1\n")));
}

TEST_F(BuiltinSocketTest, ShortBufferReadsTheRestNextTime) {
    ASSERT_EQ(Write("*IDN?\n"), VI_SUCCESS);
    EXPECT_EQ(Read(4), std::make_pair(VI_SUCCESS_MAX_CNT, std::string("ZEP,")));
    EXPECT_EQ(Read(), std::make_pair(VI_SUCCESS_TERM_CHAR, std::string("LOOPBACK,0,1.0\n")));
}

TEST_F(BuiltinSocketTest, StatusByteIsAskedWithStbQuery) {
    ViUInt16 statusByte = 0;
    EXPECT_EQ(visa.viReadSTB(session, statusByte), VI_SUCCESS);
    EXPECT_EQ(statusByte, 16);
    EXPECT_EQ(server.Lines(), std::vector<std::string>{"*STB?"});
}

TEST_F(BuiltinSocketTest, StatusByteLineEndsAtTheLineFeedWhateverTheTermCharSettings) {
    ASSERT_EQ(visa.viSetAttribute(session, VI_ATTR_TERMCHAR_EN, 0), VI_SUCCESS);
    ASSERT_EQ(visa.viSetAttribute(session, VI_ATTR_TERMCHAR, 'X'), VI_SUCCESS);
    ASSERT_EQ(visa.viSetAttribute(session, VI_ATTR_TMO_VALUE, 1000), VI_SUCCESS);
    ViUInt16 statusByte = 0;
    EXPECT_EQ(visa.viReadSTB(session, statusByte), VI_SUCCESS);
    EXPECT_EQ(statusByte, 16);
    ViAttrState value = 99;
    EXPECT_EQ(visa.viGetAttribute(session, VI_ATTR_TERMCHAR_EN, value), VI_SUCCESS);
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(visa.viGetAttribute(session, VI_ATTR_TERMCHAR, value), VI_SUCCESS);
    EXPECT_EQ(value, static_cast<ViAttrState>('X'));
}

TEST_F(BuiltinSocketTest, ReadWithoutAnswerTimesOut) {
    ASSERT_EQ(visa.viSetAttribute(session, VI_ATTR_TMO_VALUE, 150), VI_SUCCESS);
    ViAttrState timeout = 0;
    ASSERT_EQ(visa.viGetAttribute(session, VI_ATTR_TMO_VALUE, timeout), VI_SUCCESS);
    EXPECT_EQ(timeout, 150u);
    ASSERT_EQ(Write("NOANSWER\n"), VI_SUCCESS);
    const auto start = Clock::now();
    EXPECT_EQ(Read(), std::make_pair(VI_ERROR_TMO, std::string()));
    EXPECT_GE(MillisecondsSince(start), 140);
    EXPECT_LT(MillisecondsSince(start), 2000);
}

TEST_F(BuiltinSocketTest, WithoutTermCharAReadRunsToCountOrTimeOut) {
    ASSERT_EQ(visa.viSetAttribute(session, VI_ATTR_TERMCHAR_EN, 0), VI_SUCCESS);
    ASSERT_EQ(visa.viSetAttribute(session, VI_ATTR_TMO_VALUE, 200), VI_SUCCESS);
    ASSERT_EQ(Write("*OPC?\n*OPC?\n"), VI_SUCCESS);
    EXPECT_EQ(Read(4), std::make_pair(VI_SUCCESS_MAX_CNT, std::string("1\n1\n")));
    ASSERT_EQ(Write("*OPC?\n"), VI_SUCCESS);
    EXPECT_EQ(Read(10), std::make_pair(VI_ERROR_TMO, std::string("1\n")));
}

TEST_F(BuiltinSocketTest, ClearDropsAnswersNotRead) {
    ASSERT_EQ(Write("*IDN?\n"), VI_SUCCESS);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(visa.viClear(session), VI_SUCCESS);
    ASSERT_EQ(Write("*OPC?\n"), VI_SUCCESS);
    EXPECT_EQ(Read(), std::make_pair(VI_SUCCESS_TERM_CHAR, std::string("1\n")));
}

TEST_F(BuiltinSocketTest, DroppedConnectionIsReportedNotHung) {
    ASSERT_EQ(Write("DROP\n"), VI_SUCCESS);
    EXPECT_EQ(Read().first, VI_ERROR_CONN_LOST);
    std::this_thread::sleep_for(20ms);
    // A write into a closed connection fails without killing the process (no SIGPIPE).
    ViStatus status = VI_SUCCESS;
    for (int i = 0; i < 5 && status == VI_SUCCESS; ++i) {
        status = Write("*IDN?\n");
    }
    EXPECT_EQ(status, VI_ERROR_CONN_LOST);
}

TEST_F(BuiltinSocketTest, GpibOperationsAreNotSupportedOnSockets) {
    EXPECT_EQ(visa.viGpibSendIFC(session), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(visa.viGpibControlREN(session, VI_GPIB_REN_DEASSERT_GTL), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(visa.viGpibSendIFC(VI_NULL), VI_ERROR_INV_OBJECT);
}

TEST_F(BuiltinSocketTest, ClosingTheManagerClosesItsSessions) {
    EXPECT_EQ(visa.viClose(manager), VI_SUCCESS);
    EXPECT_EQ(Write("*IDN?\n"), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(visa.viClose(session), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(visa.viClose(VI_NULL), VI_WARN_NULL_OBJECT);
}

TEST_F(BuiltinSocketTest, ManagersAreNotInstrumentsAndCloseOnlyTheirOwnSessions) {
    ViSession other = VI_NULL;
    ASSERT_EQ(visa.viOpenDefaultRM(other), VI_SUCCESS);
    ViAttrState value = 0;
    EXPECT_EQ(visa.viGetAttribute(other, VI_ATTR_TMO_VALUE, value), VI_ERROR_NSUP_ATTR);
    EXPECT_EQ(visa.viSetAttribute(other, VI_ATTR_TMO_VALUE, 1), VI_ERROR_NSUP_ATTR);
    ViUInt32 written = 0;
    EXPECT_EQ(visa.viWrite(other, "*IDN?\n", 6, written), VI_ERROR_INV_OBJECT);
    ViUInt16 statusByte = 0;
    EXPECT_EQ(visa.viReadSTB(other, statusByte), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(visa.viClear(other), VI_ERROR_INV_OBJECT);
    ViSession opened = 99;
    EXPECT_EQ(visa.viOpen(session, SocketResource(server.Port()), VI_NO_LOCK, 0, opened),
              VI_ERROR_INV_OBJECT);
    EXPECT_EQ(opened, VI_NULL);
    EXPECT_EQ(visa.viClose(other), VI_SUCCESS);
    EXPECT_EQ(visa.viClose(other), VI_ERROR_INV_OBJECT);
    ASSERT_EQ(Write("*IDN?\n"), VI_SUCCESS);
    EXPECT_EQ(Read(), std::make_pair(VI_SUCCESS_TERM_CHAR, std::string("ZEP,LOOPBACK,0,1.0\n")));
}

TEST_F(BuiltinSocketTest, AttributesCheckTheirValues) {
    ViAttrState value = 0;
    EXPECT_EQ(visa.viGetAttribute(session, VI_ATTR_TERMCHAR_EN, value), VI_SUCCESS);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(visa.viGetAttribute(session, VI_ATTR_INTF_TYPE, value), VI_SUCCESS);
    EXPECT_EQ(value, VI_INTF_TCPIP);
    EXPECT_EQ(visa.viGetAttribute(session, VI_ATTR_TCPIP_PORT, value), VI_SUCCESS);
    EXPECT_EQ(value, server.Port());
    EXPECT_EQ(visa.viSetAttribute(session, VI_ATTR_TERMCHAR, 0x1FF), VI_ERROR_NSUP_ATTR_STATE);
    EXPECT_EQ(visa.viSetAttribute(session, VI_ATTR_TCPIP_PORT, 1), VI_ERROR_ATTR_READONLY);
    EXPECT_EQ(visa.viSetAttribute(session, 0x3FFF0999, 1), VI_ERROR_NSUP_ATTR);
    EXPECT_EQ(visa.viSetAttribute(4711, VI_ATTR_TMO_VALUE, 1), VI_ERROR_INV_OBJECT);
}

TEST_F(BuiltinSocketTest, FileTransfersGoThroughTheSession) {
    const std::string folder = ::testing::TempDir();
    const std::string command = folder + "/zep_builtin_command.txt";
    const std::string answer = folder + "/zep_builtin_answer.txt";
    { std::ofstream(command, std::ios::binary) << "*IDN?\n"; }
    ViUInt32 count = 0;
    EXPECT_EQ(visa.viWriteFromFile(session, command, 100, count), VI_SUCCESS);
    EXPECT_EQ(count, 6u);
    EXPECT_EQ(visa.viReadToFile(session, answer, 100, count), VI_SUCCESS_TERM_CHAR);
    std::ifstream file(answer, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "ZEP,LOOPBACK,0,1.0\n");
    EXPECT_EQ(visa.viWriteFromFile(session, folder + "/no/such/file", 100, count), VI_ERROR_FILE_ACCESS);
}

TEST_F(BuiltinSocketTest, BothEndsSwitchNagleOff) {
    ASSERT_EQ(Write("*OPC?\n"), VI_SUCCESS);
    EXPECT_EQ(Read().first, VI_SUCCESS_TERM_CHAR);
    EXPECT_TRUE(server.ServerNoDelay());
    TcpConnection connection;
    ASSERT_EQ(connection.Connect("127.0.0.1", server.Port(), DeadlineAfter(1000)), NetResult::Ok);
    EXPECT_TRUE(connection.NoDelay());
}

TEST_F(BuiltinSocketTest, AccessLayerRunsOverTheSocket) {
    VISAWrap wrap(visa);
    ViSession wrapped = VI_NULL;
    wrap.OpenSession(SocketResource(server.Port()), wrapped, 2000);
    std::string buffer(1000, ' ');
    // The server serves one connection at a time: the first session's connection is closed first.
    visa.viClose(session);
    wrap.QueryText(wrapped, "*IDN?", buffer);
    EXPECT_EQ(VISAWrap::StripLineEnds(buffer.substr(0, wrap.LastCount())), "ZEP,LOOPBACK,0,1.0");
    EXPECT_EQ(wrap.LastStatus(), VI_SUCCESS_TERM_CHAR);
    wrap.WriteText(wrapped, "BLOCK?");
    EXPECT_EQ(wrap.ReadDefiniteBlock(wrapped), "ab\ncd\nefg\n");
}

TEST(BuiltinVisaOpen, ResourcesItCannotServeAreNotFound) {
    BuiltinVisa visa;
    ViSession manager = VI_NULL;
    ASSERT_EQ(visa.viOpenDefaultRM(manager), VI_SUCCESS);
    const std::pair<const char*, ViStatus> cases[] = {
        {"GPIB0::20::INSTR", VI_ERROR_RSRC_NFOUND},
        {"GPIB0::INTFC", VI_ERROR_RSRC_NFOUND},
        {"USB0::0x1234::0x5678::SN1::INSTR", VI_ERROR_RSRC_NFOUND},
        {"VMIB::127.0.0.1::INSTR", VI_ERROR_RSRC_NFOUND},
        {"ASRL1::INSTR", VI_ERROR_RSRC_NFOUND},
        {"visa://lab7/TCPIP::127.0.0.1::5025::SOCKET", VI_ERROR_RSRC_NFOUND},
        {"TCPIP::127.0.0.1::hislip0::INSTR", VI_ERROR_RSRC_NFOUND},
        {"LAN::127.0.0.1::INSTR", VI_ERROR_INV_RSRC_NAME},
        {"GPIB0::?*::INSTR", VI_ERROR_INV_RSRC_NAME},
        {"no resource", VI_ERROR_INV_RSRC_NAME},
    };
    for (const auto& [resource, expected] : cases) {
        ViSession session = 99;
        EXPECT_EQ(visa.viOpen(manager, resource, VI_NO_LOCK, 0, session), expected) << resource;
        EXPECT_EQ(session, VI_NULL) << resource;
    }
    ViSession session = VI_NULL;
    EXPECT_EQ(visa.viOpen(manager, "TCPIP::127.0.0.1::1::SOCKET", 0x80, 0, session), VI_ERROR_INV_ACC_MODE);
    EXPECT_EQ(visa.viOpen(4711, "TCPIP::127.0.0.1::1::SOCKET", 0, 0, session), VI_ERROR_INV_OBJECT);
}

TEST(BuiltinVisaOpen, ClosedPortFailsAtOnce) {
    std::uint16_t port = 0;
    {
        SocketServer server;
        port = server.Port();
    }
    BuiltinVisa visa;
    ViSession manager = VI_NULL;
    visa.viOpenDefaultRM(manager);
    ViSession session = 99;
    const auto start = Clock::now();
    EXPECT_EQ(visa.viOpen(manager, SocketResource(port), VI_NO_LOCK, 0, session), VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(session, VI_NULL);
    EXPECT_LT(MillisecondsSince(start), 1000);
}

TEST(BuiltinVisaOpen, HostThatDoesNotAnswerTimesOut) {
    // A listener whose queue is full drops new connection requests, like a host that is not there.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::listen(listener, 0);
    socklen_t length = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    const std::uint16_t port = ntohs(address.sin_port);
    std::vector<TcpConnection> fillers(4);
    for (auto& filler : fillers) {
        filler.Connect("127.0.0.1", port, DeadlineAfter(100));
    }
    BuiltinVisaOptions options;
    options.connectTimeoutMs = 300;
    BuiltinVisa visa(options);
    ViSession manager = VI_NULL;
    visa.viOpenDefaultRM(manager);
    ViSession session = 99;
    const auto start = Clock::now();
    EXPECT_EQ(visa.viOpen(manager, SocketResource(port), VI_NO_LOCK, 0, session), VI_ERROR_RSRC_NFOUND);
    EXPECT_LT(MillisecondsSince(start), 1500);
    ::close(listener);
}

TEST(BuiltinVisaFind, FindsNothingAndParsesLikeALibrary) {
    BuiltinVisa visa;
    ViSession manager = VI_NULL;
    visa.viOpenDefaultRM(manager);
    ViFindList list = 99;
    ViUInt32 count = 99;
    std::string first = "x";
    EXPECT_EQ(visa.viFindRsrc(manager, "GPIB0::?*::INSTR", list, count, first), VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(list, VI_NULL);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(first, "");
    EXPECT_EQ(visa.viFindRsrc(manager, "", list, count, first), VI_ERROR_INV_EXPR);
    EXPECT_EQ(visa.viFindRsrc(4711, "?*", list, count, first), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(visa.viFindNext(list, first), VI_ERROR_INV_OBJECT);

    ViUInt16 type = 0;
    ViUInt16 number = 0;
    EXPECT_EQ(visa.viParseRsrc(manager, "tcpip3::h::5025::socket", type, number), VI_SUCCESS);
    EXPECT_EQ(type, VI_INTF_TCPIP);
    EXPECT_EQ(number, 3);
    EXPECT_EQ(visa.viParseRsrc(manager, "GPIB1::5::INSTR", type, number), VI_SUCCESS);
    EXPECT_EQ(type, VI_INTF_GPIB);
    EXPECT_EQ(number, 1);
    EXPECT_EQ(visa.viParseRsrc(manager, "VMIB::h::INSTR", type, number), VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(visa.viParseRsrc(manager, "nonsense", type, number), VI_ERROR_INV_RSRC_NAME);
}

} // namespace
} // namespace zep
