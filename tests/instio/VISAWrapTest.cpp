// The access layer over the recording double: call sequences, last status and count, and the call
// log byte for byte.
#include "instio/VISAWrap.h"
#include "instio/visa_record/RecordingVisa.h"

#include "common/TextFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace zep {
namespace {

namespace fs = std::filesystem;

constexpr const char* Resource = "TCPIP::10.0.0.5::INSTR";

class VISAWrapTest : public ::testing::Test {
  protected:
    void SetUp() override {
        logFile = fs::path(::testing::TempDir()) /
                  (std::string("VISALog_") + ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                   ".TXT");
        fs::remove(logFile);
        wrap.ConfigureLog(true, true, logFile);
        instrument = &visa.AddInstrument(Resource);
    }
    std::string Log() { return ReadFileBytes(logFile).value_or("<no log file>"); }
    ViSession Open() {
        ViSession session = VI_NULL;
        wrap.OpenSession(Resource, session, 2000);
        fs::remove(logFile);
        visa.ClearCalls();
        return session;
    }

    RecordingVisa visa;
    VISAWrap wrap{visa};
    RecordingVisa::Instrument* instrument = nullptr;
    fs::path logFile;
};

TEST_F(VISAWrapTest, OpenSessionLogsItsThreeCalls) {
    ViSession session = VI_NULL;
    wrap.OpenSession(Resource, session, 2000);
    EXPECT_EQ(session, 2u);
    EXPECT_EQ(Log(), "> viOpenDefaultRM\r\n"
                     "< MasterSession: 1 (Status: 0)\r\n"
                     "> viOpen(1,TCPIP::10.0.0.5::INSTR,0,0)\r\n"
                     "< Handle: 2 (Status: 0)\r\n"
                     "> viSetAttribute(2,VI_ATTR_TMO_VALUE,2000)\r\n"
                     "< Handle: 2 (Status: 0)\r\n");
    EXPECT_EQ(instrument->timeoutMs, 2000u);
}

TEST_F(VISAWrapTest, FailedOpenShowsOnlyInTheLog) {
    ViSession session = 99;
    wrap.OpenSession("GPIB0::9::INSTR", session, 2000);
    EXPECT_EQ(session, VI_NULL);
    EXPECT_EQ(Log(), "> viOpenDefaultRM\r\n"
                     "< MasterSession: 1 (Status: 0)\r\n"
                     "> viOpen(1,GPIB0::9::INSTR,0,0)\r\n"
                     "< Handle: 0 (Status: -1073807343)\r\n"
                     "> viSetAttribute(0,VI_ATTR_TMO_VALUE,2000)\r\n"
                     "< Handle: 0 (Status: -1073807346)\r\n");
}

TEST_F(VISAWrapTest, WriteAppendsOneLineFeedAndLogsItInsideTheQuotes) {
    const ViSession session = Open();
    wrap.WriteText(session, "*IDN?");
    wrap.WriteText(session, "*RST\n");
    EXPECT_EQ(instrument->written, "*IDN?\n*RST\n");
    EXPECT_EQ(wrap.LastCount(), 5u);
    EXPECT_EQ(wrap.LastStatus(), VI_SUCCESS);
    EXPECT_EQ(Log(), "> viWrite(2,\"*IDN?\n\",6)\r\n"
                     "< Byte written: 6 (Status: 0)\r\n"
                     "> viWrite(2,\"*RST\n\",5)\r\n"
                     "< Byte written: 5 (Status: 0)\r\n");
}

TEST_F(VISAWrapTest, FailedWriteKeepsItsStatusAndZeroCount) {
    const ViSession session = Open();
    instrument->writeStatus = VI_ERROR_NLISTENERS;
    wrap.WriteText(session, "*IDN?");
    EXPECT_EQ(wrap.LastStatus(), VI_ERROR_NLISTENERS);
    EXPECT_EQ(wrap.LastCount(), 0u);
    EXPECT_EQ(Log(), "> viWrite(2,\"*IDN?\n\",6)\r\n"
                     "< Byte written: 0 (Status: -1073807265)\r\n");
}

TEST_F(VISAWrapTest, ReadFillsTheBufferFrontAndLogsTheWholeBuffer) {
    const ViSession session = Open();
    instrument->reads.push_back("ZEP,1\n");
    std::string buffer(20, ' ');
    wrap.ReadText(session, buffer);
    EXPECT_EQ(buffer, "ZEP,1\n" + std::string(14, ' '));
    EXPECT_EQ(wrap.LastCount(), 6u);
    EXPECT_EQ(Log(), "> viRead(2), Buffer Len:20\r\n"
                     "< Buffer Contents: ZEP,1\n" +
                         std::string(14, ' ') + " (Status: 0)\r\n");
}

TEST_F(VISAWrapTest, ReadOfHundredBlanksKeepsTheUnfilledTail) {
    const ViSession session = Open();
    instrument->reads.push_back("0123456789");
    std::string buffer(100, ' ');
    wrap.ReadText(session, buffer);
    EXPECT_EQ(buffer.substr(0, 10), "0123456789");
    EXPECT_EQ(buffer.substr(10), std::string(90, ' '));
    EXPECT_EQ(buffer.substr(0, wrap.LastCount()), "0123456789");
}

TEST_F(VISAWrapTest, QueryWritesThenReads) {
    const ViSession session = Open();
    instrument->responder = [](std::string_view written) {
        return written == "*IDN?\n" ? std::string("ZEP,SIM,1,2\n") : std::string();
    };
    std::string buffer(100, ' ');
    wrap.QueryText(session, "*IDN?", buffer);
    EXPECT_EQ(VISAWrap::StripLineEnds(buffer.substr(0, wrap.LastCount())), "ZEP,SIM,1,2");
    EXPECT_EQ(visa.Calls(), (std::vector<std::string>{"viWrite(2,\"*IDN?\\n\",6) -> 0",
                                                      "viRead(2,100) = \"ZEP,SIM,1,2\\n\" -> 0"}));
}

TEST_F(VISAWrapTest, ClearAndInterfaceClearAreLogged) {
    const ViSession session = Open();
    wrap.ClearDevice(session);
    wrap.SendInterfaceClear(VI_NULL);
    EXPECT_EQ(Log(), "> viClear(2)\r\n"
                     "< Status: 0\r\n"
                     "> viGpibSendIFC(0)\r\n"
                     "< Status: -1073807346\r\n");
}

TEST_F(VISAWrapTest, StatusByteTimeoutAndGoToLocalAreNotLoggedExceptTheWrite) {
    const ViSession session = Open();
    instrument->statusBytes = {0, 0x60};
    ViUInt16 stb = 1;
    wrap.ReadStatusByte(session, stb);
    EXPECT_EQ(stb, 0);
    wrap.ReadStatusByte(session, stb);
    EXPECT_EQ(stb, 0x60);
    wrap.SetTimeoutCode(session, 13);
    wrap.GoToLocal(session);
    EXPECT_EQ(visa.Calls(), (std::vector<std::string>{
                                "viReadSTB(2) = 0 -> 0",
                                "viReadSTB(2) = 96 -> 0",
                                "viSetAttribute(2,VI_ATTR_TMO_VALUE,10000) -> 0",
                                "viWrite(2,\"*GTL\\n\",5) -> 0",
                                "viGpibControlREN(2,2) -> 0",
                            }));
    EXPECT_EQ(Log(), "> viWrite(2,\"*GTL\n\",5)\r\n"
                     "< Byte written: 5 (Status: 0)\r\n");
}

TEST(VISAWrapTimeout, CodeTable) {
    const std::pair<int, ViUInt32> table[] = {
        {0, 0xFFFFFFFF}, {1, 1},     {5, 1},     {6, 3},      {7, 10},     {8, 30},      {9, 100},
        {10, 300},       {11, 1000}, {12, 3000}, {13, 10000}, {14, 30000}, {15, 100000}, {16, 300000},
        {17, 1000000},   {18, 18},   {25, 25},   {-1, 0},     {-32768, 0},
    };
    for (const auto& [code, ms] : table) {
        EXPECT_EQ(VISAWrap::TimeoutCodeMilliseconds(code), ms) << "code " << code;
    }
}

TEST_F(VISAWrapTest, PlaceholdersAndBlockHooksWriteOnlyLogLines) {
    wrap.IbConfig(0, 1, 2);
    wrap.IbOnl(0, 1);
    wrap.BeforeBlock(false, true);
    wrap.AfterBlock(false, true);
    wrap.BeforeBlock(true, true);
    wrap.AfterBlock(true, true);
    wrap.BeforeBlock(false, false);
    EXPECT_EQ(Log(), "VISA - NOT IMPLEMENTED (ibconfig)\r\n"
                     "VISA - NOT IMPLEMENTED (ibonl)\r\n"
                     "VISA - NOT IMPLEMENTED (ibsre)\r\n"
                     "> viGpibSendIFC(0)\r\n"
                     "< Status: -1073807346\r\n"
                     "VISA - NOT IMPLEMENTED (ibsre)\r\n");
    EXPECT_EQ(visa.Calls(), (std::vector<std::string>{"viGpibSendIFC(0) -> -1073807346"}));
}

TEST_F(VISAWrapTest, InactiveLogWritesNothing) {
    for (const auto& [debug, visaLog] :
         {std::pair{false, true}, std::pair{true, false}, std::pair{false, false}}) {
        wrap.ConfigureLog(debug, visaLog, logFile);
        ViSession session = VI_NULL;
        wrap.OpenSession(Resource, session, 2000);
        wrap.WriteText(session, "*IDN?");
        wrap.ClearDevice(session);
        wrap.IbSre(0, 1);
        wrap.LogVisaCall("line");
        EXPECT_FALSE(fs::exists(logFile));
    }
}

TEST_F(VISAWrapTest, LogAppendsToAnExistingFile) {
    { std::ofstream(logFile, std::ios::binary) << "earlier\r\n"; }
    wrap.LogVisaCall("next");
    EXPECT_EQ(Log(), "earlier\r\nnext\r\n");
}

TEST_F(VISAWrapTest, DefiniteBlockIsReadWholeThroughLineFeeds) {
    const ViSession session = Open();
    // As a term-character read hands it out: the data hold line feeds.
    instrument->reads = {"#210ab\n", "cd\nefg\n", "\n"};
    EXPECT_EQ(wrap.ReadDefiniteBlock(session), "ab\ncd\nefg\n");
    EXPECT_GE(wrap.LastStatus(), 0);
    EXPECT_EQ(wrap.LastCount(), 10u);
    EXPECT_EQ(visa.Calls()[0], "viRead(2,2) = \"#2\" -> 1073676294");
    EXPECT_FALSE(fs::exists(logFile));
}

TEST_F(VISAWrapTest, BrokenBlockHeaderIsAnError) {
    const ViSession session = Open();
    for (const char* answer : {"12345\n", "#x12\n", "#2a5hello"}) {
        instrument->reads = {answer};
        EXPECT_EQ(wrap.ReadDefiniteBlock(session), "") << answer;
        EXPECT_LT(wrap.LastStatus(), 0) << answer;
    }
    instrument->reads.clear();
    EXPECT_EQ(wrap.ReadDefiniteBlock(session), "");
    EXPECT_EQ(wrap.LastStatus(), VI_ERROR_TMO);
}

TEST(VISAWrapText, StripLineEnds) {
    EXPECT_EQ(VISAWrap::StripLineEnds("1.5\r\n"), "1.5");
    EXPECT_EQ(VISAWrap::StripLineEnds("a\n\r\n\r"), "a");
    EXPECT_EQ(VISAWrap::StripLineEnds("a \n"), "a ");
    EXPECT_EQ(VISAWrap::StripLineEnds("\r\n"), "");
    EXPECT_EQ(VISAWrap::StripLineEnds("a\nb"), "a\nb");
}

TEST(VISAWrapText, InstrumentBytesAreSingleByte) {
    EXPECT_EQ(ToInstrumentBytes("FREQ 1MHz"), "FREQ 1MHz");
    EXPECT_EQ(ToInstrumentBytes("\xC2\xB5V"), "\xB5V");   // micro sign
    EXPECT_EQ(ToInstrumentBytes("\xE2\x82\xAC"), "\x80"); // euro sign
    EXPECT_EQ(ToInstrumentBytes("\xE4\xB8\xAD"), "?");    // not in the code page
    EXPECT_EQ(ToInstrumentBytes("\xB5V"), "\xB5V");       // already single-byte
}

} // namespace
} // namespace zep
