// The built-in VISA implementation against the bundled simulator, over a raw socket and over VXI-11:
// identification, operation complete, status byte, error queue and device clear.
#include "InstsimProcess.h"

#include "instio/VISAWrap.h"
#include "instio/visa_builtin/BuiltinVisa.h"

#include "common/StringOp.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace zep {
namespace {

struct Transport {
    const char* name;
    const char* resourceClass;
};

class InstsimInterop : public ::testing::TestWithParam<Transport> {
  protected:
    void SetUp() override {
        // An ephemeral portmapper port, so tests running side by side never compete for port 111.
        ASSERT_TRUE(simulator.Start(ZEP_INSTSIM_PATH, {"--portmap-port", "0"}, 60)) << simulator.Error();
        resource = simulator.ResourceOfClass(GetParam().resourceClass);
        ASSERT_FALSE(resource.empty())
            << "the simulator serves no " << GetParam().resourceClass << " resource";
        BuiltinVisaOptions options;
        options.portmapperPort = simulator.PortmapperPort();
        ASSERT_NE(options.portmapperPort, 0) << "the simulator did not report its portmapper port";
        visa = std::make_unique<BuiltinVisa>(options);
        wrap = std::make_unique<VISAWrap>(*visa);
        wrap->OpenSession(resource, session, 2000);
        ASSERT_NE(session, VI_NULL) << resource;
    }
    std::string Query(std::string_view command) {
        std::string buffer(1000, ' ');
        wrap->QueryText(session, command, buffer);
        EXPECT_GE(wrap->LastStatus(), 0) << command;
        return VISAWrap::StripLineEnds(buffer.substr(0, wrap->LastCount()));
    }

    test::InstsimProcess simulator;
    std::string resource;
    std::unique_ptr<BuiltinVisa> visa;
    std::unique_ptr<VISAWrap> wrap;
    ViSession session = VI_NULL;
};

TEST_P(InstsimInterop, IdentifiesAsTheSimulatorAnnounced) {
    std::string announced;
    for (const auto& [name, idn] : simulator.Resources()) {
        if (name == resource) {
            announced = idn;
        }
    }
    EXPECT_EQ(Query("*IDN?"), announced);
    EXPECT_EQ(Query("*OPC?"), "1");
}

TEST_P(InstsimInterop, CompletedOperationRequestsServiceInTheStatusByte) {
    wrap->WriteText(session, "*CLS");
    wrap->WriteText(session, "*ESE 1");
    wrap->WriteText(session, "*SRE 32");
    ViUInt16 statusByte = 0xFF;
    EXPECT_EQ(wrap->ReadStatusByte(session, statusByte), VI_SUCCESS);
    EXPECT_EQ(statusByte & 0x20, 0);
    wrap->WriteText(session, "*RST;*OPC");
    statusByte = 0;
    for (int i = 0; i < 200 && (statusByte & 0x40) == 0; ++i) {
        EXPECT_EQ(wrap->ReadStatusByte(session, statusByte), VI_SUCCESS);
    }
    EXPECT_EQ(statusByte & 0x60, 0x60) << "event summary and service request bits";
    EXPECT_EQ(Query("*ESR?"), "1");
}

TEST_P(InstsimInterop, ErrorQueueReportsAnUnknownCommandThenEmpties) {
    EXPECT_EQ(LeadingNumber(Query("SYST:ERR?")), 0);
    wrap->WriteText(session, "NO:SUCH:COMMAND 5");
    const std::string first = Query("SYST:ERR?");
    EXPECT_LT(LeadingNumber(first), 0) << first;
    EXPECT_NE(first.find(','), std::string::npos) << first;
    EXPECT_EQ(LeadingNumber(Query("SYST:ERR?")), 0);
}

TEST_P(InstsimInterop, ClearLeavesTheSessionUsable) {
    wrap->WriteText(session, "*IDN?");
    // A raw socket has no clear message: only an answer that has arrived can be dropped.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(wrap->ClearDevice(session), VI_SUCCESS);
    EXPECT_EQ(Query("*OPC?"), "1");
    visa->viSetAttribute(session, VI_ATTR_TMO_VALUE, 200);
    std::string buffer(100, ' ');
    wrap->ReadText(session, buffer);
    EXPECT_EQ(wrap->LastStatus(), VI_ERROR_TMO) << "nothing is left over after the clear";
    EXPECT_EQ(wrap->LastCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Transports, InstsimInterop,
                         ::testing::Values(Transport{"Socket", "SOCKET"}, Transport{"Vxi11", "INSTR"}),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

} // namespace
} // namespace zep
