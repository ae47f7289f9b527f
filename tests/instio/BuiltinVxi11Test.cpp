// The built-in implementation over VXI-11, against a loopback device with its own portmapper.
#include "LoopbackServers.h"

#include "instio/visa_builtin/BuiltinVisa.h"
#include "instio/visa_builtin/TcpConnection.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace zep {
namespace {

using test::Vxi11Server;

constexpr std::uint32_t CreateLink = 10, DeviceWrite = 11, DeviceReadStb = 13, DeviceClear = 15,
                        DeviceLocal = 17, DestroyLink = 23;

class BuiltinVxi11Test : public ::testing::Test {
  protected:
    BuiltinVxi11Test() : visa(Options()) {}
    BuiltinVisaOptions Options() {
        BuiltinVisaOptions options;
        options.portmapperPort = server.PortmapperPort();
        return options;
    }
    void SetUp() override {
        ASSERT_EQ(visa.viOpenDefaultRM(manager), VI_SUCCESS);
        ASSERT_EQ(visa.viOpen(manager, "tcpip0::127.0.0.1::inst0::instr", VI_NO_LOCK, 0, session),
                  VI_SUCCESS);
    }
    ViStatus Write(std::string_view text) {
        ViUInt32 written = 0;
        const ViStatus status =
            visa.viWrite(session, text.data(), static_cast<ViUInt32>(text.size()), written);
        EXPECT_EQ(written, status == VI_SUCCESS ? text.size() : written);
        return status;
    }
    std::pair<ViStatus, std::string> Read(ViUInt32 count = 256) {
        std::string buffer(count, '\0');
        ViUInt32 read = 0;
        const ViStatus status = visa.viRead(session, buffer.data(), count, read);
        buffer.resize(read);
        return {status, buffer};
    }

    Vxi11Server server;
    BuiltinVisa visa;
    ViSession manager = VI_NULL;
    ViSession session = VI_NULL;
};

TEST_F(BuiltinVxi11Test, QueryReadsUntilEnd) {
    ASSERT_EQ(Write("*IDN?\n"), VI_SUCCESS);
    EXPECT_EQ(Read(), std::make_pair(VI_SUCCESS, std::string("ZEP,LOOPBACK,0,1.0\n")));
    EXPECT_EQ(server.Messages(), std::vector<std::string>{"*IDN?"});
}

TEST_F(BuiltinVxi11Test, LongWritesAreSplitAtTheDeviceSizeWithEndOnTheLast) {
    const std::string text = "DATA " + std::string(2500, 'x');
    ASSERT_EQ(Write(text + "\n"), VI_SUCCESS);
    EXPECT_EQ(server.Messages(), std::vector<std::string>{text});
    const auto procedures = server.Procedures();
    EXPECT_EQ(std::count(procedures.begin(), procedures.end(), DeviceWrite), 3);
}

TEST_F(BuiltinVxi11Test, ShortReadReportsTheCount) {
    ASSERT_EQ(Write("*IDN?\n"), VI_SUCCESS);
    EXPECT_EQ(Read(3), std::make_pair(VI_SUCCESS_MAX_CNT, std::string("ZEP")));
    EXPECT_EQ(Read(), std::make_pair(VI_SUCCESS, std::string(",LOOPBACK,0,1.0\n")));
}

TEST_F(BuiltinVxi11Test, StatusByteClearAndLocalUseTheirProcedures) {
    server.statusByte = 0x60;
    ViUInt16 statusByte = 0;
    EXPECT_EQ(visa.viReadSTB(session, statusByte), VI_SUCCESS);
    EXPECT_EQ(statusByte, 0x60);
    EXPECT_EQ(visa.viClear(session), VI_SUCCESS);
    EXPECT_EQ(server.clears, 1);
    EXPECT_EQ(visa.viGpibControlREN(session, VI_GPIB_REN_DEASSERT_GTL), VI_SUCCESS);
    EXPECT_EQ(visa.viGpibControlREN(session, 9), VI_ERROR_INV_MODE);
    EXPECT_EQ(visa.viGpibSendIFC(session), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(visa.viClose(session), VI_SUCCESS);
    EXPECT_EQ(server.Procedures(),
              (std::vector<std::uint32_t>{CreateLink, DeviceReadStb, DeviceClear, DeviceLocal, DestroyLink}));
}

TEST_F(BuiltinVxi11Test, AttributesStartAsVisaDefaultsAndThePortIsForSocketsOnly) {
    ViAttrState value = 99;
    EXPECT_EQ(visa.viGetAttribute(session, VI_ATTR_TERMCHAR_EN, value), VI_SUCCESS);
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(visa.viGetAttribute(session, VI_ATTR_TMO_VALUE, value), VI_SUCCESS);
    EXPECT_EQ(value, 2000u);
    EXPECT_EQ(visa.viGetAttribute(session, VI_ATTR_TCPIP_PORT, value), VI_ERROR_NSUP_ATTR);
    EXPECT_EQ(visa.viSetAttribute(session, VI_ATTR_TCPIP_PORT, 1), VI_ERROR_ATTR_READONLY);
    EXPECT_EQ(visa.viSetAttribute(session, VI_ATTR_SEND_END_EN, 2), VI_ERROR_NSUP_ATTR_STATE);
    EXPECT_EQ(visa.viSetAttribute(session, VI_ATTR_SEND_END_EN, 0), VI_SUCCESS);
    EXPECT_EQ(visa.viGetAttribute(session, VI_ATTR_SEND_END_EN, value), VI_SUCCESS);
    EXPECT_EQ(value, 0u);
}

TEST_F(BuiltinVxi11Test, ReadWithoutAnswerTimesOut) {
    ASSERT_EQ(visa.viSetAttribute(session, VI_ATTR_TMO_VALUE, 100), VI_SUCCESS);
    const auto start = Clock::now();
    EXPECT_EQ(Read(), std::make_pair(VI_ERROR_TMO, std::string()));
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(), 2000);
}

TEST_F(BuiltinVxi11Test, LateReplyIsSkippedByTheNextCall) {
    // The device answers after the client gave up; the next call must not take that late reply.
    ASSERT_EQ(visa.viSetAttribute(session, VI_ATTR_TMO_VALUE, 50), VI_SUCCESS);
    server.readDelayMs = 600;
    ASSERT_EQ(Write("*IDN?\n"), VI_SUCCESS);
    EXPECT_EQ(Read().first, VI_ERROR_TMO);
    server.readDelayMs = 0;
    ASSERT_EQ(visa.viSetAttribute(session, VI_ATTR_TMO_VALUE, 2000), VI_SUCCESS);
    server.statusByte = 0x21;
    ViUInt16 statusByte = 0;
    EXPECT_EQ(visa.viReadSTB(session, statusByte), VI_SUCCESS);
    EXPECT_EQ(statusByte, 0x21);
}

TEST(BuiltinVxi11Open, UnknownDeviceOrMissingPortmapperIsNotFound) {
    Vxi11Server server;
    BuiltinVisaOptions options;
    options.portmapperPort = server.PortmapperPort();
    BuiltinVisa visa(options);
    ViSession manager = VI_NULL;
    visa.viOpenDefaultRM(manager);
    ViSession session = 99;
    EXPECT_EQ(visa.viOpen(manager, "TCPIP::127.0.0.1::inst9::INSTR", VI_NO_LOCK, 0, session),
              VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(session, VI_NULL);

    BuiltinVisaOptions nothingThere;
    {
        test::SocketServer closed;
        nothingThere.portmapperPort = closed.Port();
    }
    BuiltinVisa lonely(nothingThere);
    lonely.viOpenDefaultRM(manager);
    const auto start = Clock::now();
    EXPECT_EQ(lonely.viOpen(manager, "TCPIP::127.0.0.1::INSTR", VI_NO_LOCK, 0, session),
              VI_ERROR_RSRC_NFOUND);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(), 1000);
}

} // namespace
} // namespace zep
