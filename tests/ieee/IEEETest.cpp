// The command layer call by call against the recording VISA, and simulation on the scripted host's
// virtual clock.
#include "ieee/IEEE.h"

#include "FakeHost.h"
#include "instio/visa_record/RecordingVisa.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zep {
namespace {

using namespace std::chrono_literals;

constexpr const char* Resource = "TCPIP::gen::5025::SOCKET";

class IEEETest : public ::testing::Test {
  protected:
    RecordingVisa visa;
    VISAWrap wrap{visa};
    test::FakeHost host;
    ReportDocument report;
    ReportOptions reportOptions;
    ErrorNotifier notifier{host};
    bool blockError = false;
    ReportContext context{report, reportOptions, &notifier, 8, [this] { blockError = true; }};
    TestModel model;
    std::vector<AvailableInstrument> instruments;
    IEEE ieee{host, instruments, model, context, blockError};
    RecordingVisa::Instrument* gen = nullptr;

    void SetUp() override {
        InstrumentNeed need;
        need.Name = "Gen";
        need.ErrorQuery = "SYST:ERR";
        need.ClearCommand = "*CLS";
        model.Instruments.push_back(need);
        model.Blocks.push_back(BlockDef{"Main", "Main"});
        model.Commands.emplace_back(0, 0, "FREQ 1e9", "");
        AvailableInstrument entry;
        entry.Resource = Resource;
        entry.Session = -1;
        entry.InterfaceKind = 1;
        instruments.push_back(entry);
        gen = &visa.AddInstrument(Resource);
        ieee.SetWrap(&wrap);
    }

    // Sends line 0 as the sequencer does: running, then the command.
    void Send(bool longTimeout = false) {
        model.Commands[0].Status = 1;
        ieee.SendCommand(0, model.Commands[0].CommandText, 0, longTimeout);
    }
    std::vector<std::string> CallsFrom(size_t first) const {
        return std::vector<std::string>(visa.Calls().begin() + static_cast<long>(first), visa.Calls().end());
    }
    // Answers the error queue from a list, then "0,\"No error\"".
    void ErrorQueue(std::vector<std::string> answers) {
        gen->responder = [answers, next = size_t{0}](std::string_view written) mutable {
            if (written != "SYST:ERR?\n") return std::string(written == "*ESR?\n" ? "1\n" : "");
            return next < answers.size() ? answers[next++] + "\n" : std::string("0,\"No error\"\n");
        };
    }
};

TEST_F(IEEETest, InitPreparesTheStatusReportingAndACommandWaitsForItsServiceRequest) {
    ieee.InitInstrument(0);
    EXPECT_TRUE(instruments[0].Opened);
    EXPECT_EQ(visa.Calls(), (std::vector<std::string>{
                                "viOpenDefaultRM() = 1 -> 0",
                                "viOpen(1,\"TCPIP::gen::5025::SOCKET\",0,0) = 2 -> 0",
                                "viSetAttribute(2,VI_ATTR_TMO_VALUE,2000) -> 0",
                                "viClear(2) -> 0",
                                "viWrite(2,\"*CLS\\n\",5) -> 0",
                                "viWrite(2,\"*ESE 1\\n\",7) -> 0",
                                "viWrite(2,\"*SRE 32\\n\",8) -> 0",
                            }));
    const size_t sent = visa.Calls().size();
    gen->statusBytes = {0, 0, 0, 96}; // completion on the fourth read
    ErrorQueue({});
    Send();
    EXPECT_EQ(CallsFrom(sent), (std::vector<std::string>{
                                   "viWrite(2,\"*CLS\\n\",5) -> 0",
                                   "viWrite(2,\"FREQ 1e9;*OPC\\n\",14) -> 0",
                                   "viSetAttribute(2,VI_ATTR_TMO_VALUE,300) -> 0",
                                   "viReadSTB(2) = 0 -> 0",
                                   "viReadSTB(2) = 0 -> 0",
                                   "viReadSTB(2) = 0 -> 0",
                                   "viReadSTB(2) = 96 -> 0",
                                   "viSetAttribute(2,VI_ATTR_TMO_VALUE,2000) -> 0",
                                   "viReadSTB(2) = 96 -> 0",
                                   "viWrite(2,\"SYST:ERR?\\n\",10) -> 0",
                                   "viRead(2,200) = \"0,\\\"No error\\\"\\n\" -> 0",
                               }));
    const CommandLine& line = model.Commands[0];
    EXPECT_EQ(line.Status, 2);
    EXPECT_EQ(line.ErrorText, "(OK)");
    EXPECT_EQ(line.ErrorDetail, "0,\"No error\"");
    EXPECT_FLOAT_EQ(line.LastTime, 2.0F); // two 1 ms pauses on the virtual clock
    EXPECT_EQ(line.TimeHistory, std::vector<double>{2.0});
    EXPECT_FALSE(instruments[0].Busy);
    EXPECT_TRUE(report.Empty());
}

TEST_F(IEEETest, ErrorQueueAnswersClassifyTheLine) {
    const struct {
        std::vector<std::string> answers;
        std::string text;
        std::string detail;
    } rows[] = {
        {{"-222,\"Data out of range\"", "-113,\"Undefined header\""},
         "SCPI ERROR",
         "-222,\"Data out of range\"\r\n-113,\"Undefined header\""},
        {{"211,\"Calibration source missing\""}, "INST ERROR", "211,\"Calibration source missing\""},
        // An answer without a comma counts with the number before it.
        {{"-100,\"Command error\"", "garbled"}, "SCPI ERROR", "-100,\"Command error\"\r\ngarbled"},
    };
    ieee.InitInstrument(0);
    for (const auto& row : rows) {
        gen->statusBytes = {96};
        ErrorQueue(row.answers);
        model.Blocks[0].ErrorFlag = false;
        Send();
        EXPECT_EQ(model.Commands[0].ErrorText, row.text);
        EXPECT_EQ(model.Commands[0].ErrorDetail, row.detail);
        EXPECT_TRUE(model.Blocks[0].ErrorFlag);
    }
    EXPECT_EQ(instruments[0].ErrorCount, 3);
    EXPECT_EQ(report.PlainLines()[0], "ERROR");
    EXPECT_EQ(report.PlainLines()[1], "  Instrument : Gen");
}

TEST_F(IEEETest, NoOpcWritesTheCommandAloneAndFinishesAfterTheWrite) {
    model.NoOpc = true;
    model.Instruments[0].ErrorQuery = "-";
    ieee.InitInstrument(0);
    const size_t sent = visa.Calls().size();
    Send();
    EXPECT_EQ(CallsFrom(sent), (std::vector<std::string>{
                                   "viWrite(2,\"*CLS\\n\",5) -> 0",
                                   "viWrite(2,\"FREQ 1e9\\n\",9) -> 0",
                                   "viReadSTB(2) = 0 -> 0",
                               }));
    EXPECT_EQ(model.Commands[0].Status, 2);
    EXPECT_EQ(model.Commands[0].ErrorText, "(OK)");
    EXPECT_EQ(model.Commands[0].ErrorDetail, "error polling is switched off");
}

TEST_F(IEEETest, WithoutAClearCommandTheEventRegisterIsReadAfterEachCompletion) {
    model.Instruments[0].ClearCommand = "";
    ieee.InitInstrument(0);
    gen->statusBytes = {96};
    ErrorQueue({});
    const size_t sent = visa.Calls().size();
    Send();
    const auto calls = CallsFrom(sent);
    EXPECT_EQ(calls.front(), "viWrite(2,\"FREQ 1e9;*OPC\\n\",14) -> 0");
    EXPECT_EQ(calls[calls.size() - 2], "viWrite(2,\"*ESR?\\n\",6) -> 0");
    EXPECT_EQ(calls.back(), "viRead(2,2) = \"1\\n\" -> 0");
}

TEST_F(IEEETest, ALongTimeoutHoldsForTheCommandAndCode13FollowsIt) {
    ieee.InitInstrument(0);
    gen->statusBytes = {96};
    ErrorQueue({});
    const size_t sent = visa.Calls().size();
    Send(true);
    const auto calls = CallsFrom(sent);
    EXPECT_EQ(calls[0], "viSetAttribute(2,VI_ATTR_TMO_VALUE,100000) -> 0");
    EXPECT_NE(std::find(calls.begin(), calls.end(), "viSetAttribute(2,VI_ATTR_TMO_VALUE,10000) -> 0"),
              calls.end());
    EXPECT_EQ(instruments[0].RestoreTimeoutCode, -1);
}

TEST_F(IEEETest, TheStopButtonEndsAWaitForAnInstrumentThatNeverCompletes) {
    ieee.InitInstrument(0);
    gen->statusBytes = {0}; // never completes
    ErrorQueue({});
    host.StartTimer(5s, [this] { blockError = true; });
    Send();
    EXPECT_EQ(model.Commands[0].Status, 2);
    EXPECT_GE(host.Now(), 5s);
    EXPECT_LT(host.Now(), 5s + 20ms); // within one 10 ms poll of the press
}

TEST_F(IEEETest, SimulationCompletesFromATimerAndAnswersFromInputBoxes) {
    IEEEOptions options;
    options.Simulation = true;
    options.SimMaxTime = 100;
    ieee.SetOptions(options);
    ieee.SetWrap(nullptr);
    ieee.InitInstrument(0);
    EXPECT_TRUE(instruments[0].Opened);
    for (const double r : {0.0, 0.999999, 0.5, 0.005}) {
        ieee.SetRandom([r] { return r; });
        Send();
        EXPECT_TRUE(instruments[0].Busy); // returns at once; the timer finishes the line
        const HostTime sent = host.Now();
        while (instruments[0].Busy)
            host.ProcessEvents();
        const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(host.Now() - sent).count();
        EXPECT_GE(waited, 1);
        EXPECT_LE(waited, 101);
        EXPECT_EQ(model.Commands[0].Status, 2);
        EXPECT_EQ(model.Commands[0].ErrorText, "(OK)");
        EXPECT_EQ(model.Commands[0].ErrorDetail, "(simulation only)");
    }
    EXPECT_EQ(model.Commands[0].TimeHistory, (std::vector<double>{1, 101, 51, 2}));
    EXPECT_TRUE(visa.Calls().empty());

    host.inputAnswers = {std::string("-12.5"), std::nullopt};
    EXPECT_EQ(ieee.QueryCommand(0, "POW?").Answer, "-12.5");
    EXPECT_EQ(ieee.QueryCommand(0, "POW?").Answer, ""); // cancelled
    ASSERT_EQ(host.inputs.size(), 2U);
    EXPECT_EQ(host.inputs[0].prompt, "Answer to POW?");
    EXPECT_EQ(host.inputs[0].title, "INPUT");
}

TEST_F(IEEETest, EveryEntryOfTheListIsServed) {
    for (int i = 1; i < 8; ++i) {
        InstrumentNeed need = model.Instruments[0];
        need.Name = "Inst" + std::to_string(i);
        model.Instruments.push_back(need);
        model.Commands.emplace_back(0, static_cast<int16_t>(i), "INIT", "");
        AvailableInstrument entry = instruments[0];
        entry.Resource = "TCPIP::inst" + std::to_string(i) + "::INSTR";
        entry.NeedIndex = static_cast<int16_t>(i);
        instruments.push_back(entry);
        visa.AddInstrument(entry.Resource).statusBytes = {96};
    }
    gen->statusBytes = {96};
    for (size_t i = 0; i < instruments.size(); ++i) {
        ieee.InitInstrument(i);
        model.Commands[i].Status = 1;
        ieee.SendCommand(i, "INIT", static_cast<int32_t>(i), false);
        EXPECT_EQ(model.Commands[i].Status, 2) << "instrument " << i;
    }
}

} // namespace
} // namespace zep
