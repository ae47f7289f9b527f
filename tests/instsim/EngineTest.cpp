// The SCPI / IEEE 488.2 engine driven directly, with the clock in the test's hands.
#include "Definition.h"
#include "Instrument.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace zep::instsim {
namespace {

const char* const BenchDefinition = "IDN|Veltmark,SMG,100245/003,2.10\n"
                                    "OPT|B1,B22\n"
                                    "RESET|30\n"
                                    "PARAM|[:SOURce]:FREQuency[:CW]|1000000000|5\n"
                                    "PARAM|[:SOURce]:POWer[:LEVel][:IMMediate][:AMPLitude]|-30 -130..20\n"
                                    "PARAM|:OUTPut[:STATe]|0\n"
                                    "COMMAND|:INITiate[:IMMediate]|100\n"
                                    "COMMAND|:CALibration[:ALL]|0|211,\"Calibration source missing\"\n"
                                    "QUERY|:READ?|number -10 0|40\n"
                                    "QUERY|:TRACe[:DATA]?|list 1,2.5,-3\n"
                                    "QUERY|:DATA:BLOCk?|block 3\n"
                                    "QUERY|:DATA:TEXT?|blocktext AB;C\n"
                                    "QUERY|:SYSTem:NAME?|text Bench generator\n";

InstrumentDefinition Parse(const std::string& text) {
    LoadResult result = ParseDefinition(text, "test.ZEP_INST");
    EXPECT_EQ(result.error, "");
    return result.instruments.empty() ? InstrumentDefinition{} : result.instruments.front();
}

// One device with one session; Send() runs a message and returns the answer ready at that time.
struct Bench {
    explicit Bench(const std::string& text = BenchDefinition)
        : device(Parse(text), 1), session(device, 1, true) {}

    std::string Send(const std::string& message, SimTime at = 0) {
        session.Receive(message, at);
        return Read(at);
    }
    std::string Read(SimTime at) {
        Tick(at);
        std::string answer;
        bool end = false;
        while (session.OutputReady(at))
            answer += session.TakeOutput(at, SIZE_MAX, -1, end);
        return answer;
    }
    void Tick(SimTime at) {
        device.Advance(at);
        session.Advance(at);
    }

    Device device;
    Session session;
};

TEST(InstsimHeaders, ShortLongOptionalAndCaseInsensitive) {
    struct Case {
        std::string message;
        std::string answer;
    } cases[] = {
        {":FREQ 2e9;:FREQ?", "2000000000\n"},
        {":SOURce:FREQuency:CW 3GHz;:FREQ:CW?", "3000000000\n"},
        {"source:frequency 5 MHz;:sour:freq?", "5000000\n"},
        {":POW -5;:SOUR:POW:LEV:IMM:AMPL?", "-5\n"},
        {":OUTP ON;:OUTPUT:STATE?", "1\n"},
        {"*idn?", "Veltmark,SMG,100245/003,2.10\n"},
        {":TRAC?;:TRACE:DATA?", "1,2.5,-3;1,2.5,-3\n"},
        {":SYST:NAME?", "Bench generator\n"},
        {"*GTL;*TRG;*TST?", "0\n"},
        {":DATA:BLOC?", std::string("#13\x00\x01\x02\n", 7)},
        {":DATA:TEXT?", "#14AB;C\n"},
    };
    for (const Case& c : cases) {
        Bench bench;
        EXPECT_EQ(bench.Send(c.message), c.answer) << c.message;
        EXPECT_EQ(bench.Send("SYST:ERR?"), "0,\"No error\"\n") << c.message;
    }
}

TEST(InstsimHeaders, RelativeHeadersFollowTheCurrentPath) {
    Bench bench;
    EXPECT_EQ(bench.Send(":SOUR:FREQ 7;POW -3;:SOUR:FREQ?;POW?"), "7;-3\n");
    // A new message starts again from the root.
    EXPECT_EQ(bench.Send("POW?"), "-3\n");
}

TEST(InstsimHeaders, UndefinedAndMalformedHeadersQueueErrors) {
    struct Case {
        const char* message;
        const char* error;
    } cases[] = {
        {":FREQUENC 1", "-113,\"Undefined header\""},
        {":FRE?", "-113,\"Undefined header\""},
        {"*XYZ", "-113,\"Undefined header\""},
        {":READ", "-113,\"Undefined header\""},  // query-only header used as a setting
        {":INIT?", "-113,\"Undefined header\""}, // command-only header used as a query
        {":FREQ", "-109,\"Missing parameter\""},
        {"*IDN? 5", "-108,\"Parameter not allowed\""},
        {"*ESE abc", "-104,\"Data type error\""},
        {"*SRE 256", "-222,\"Data out of range\""},
        {":FREQ::CW 1", "-102,\"Syntax error\""},
        {":CAL", "211,\"Calibration source missing\""},
        {":POW 25", "-222,\"Data out of range\""},
        {":POW high", "-104,\"Data type error\""},
    };
    for (const Case& c : cases) {
        Bench bench;
        bench.Send("*CLS");
        EXPECT_EQ(bench.Send(c.message), "") << c.message;
        EXPECT_EQ(bench.Send("SYSTem:ERRor:NEXT?"), std::string(c.error) + "\n") << c.message;
        EXPECT_EQ(bench.Send("SYST:ERR?"), "0,\"No error\"\n") << c.message;
    }
}

TEST(InstsimStatus, EventStatusBitsFollowTheErrorClass) {
    struct Case {
        const char* message;
        int esr;
    } cases[] = {{"FOO", 32}, {"*SRE 300", 16}, {":CAL", 8}, {"*OPC", 1}};
    for (const Case& c : cases) {
        Bench bench;
        bench.Send("*CLS");
        bench.Send(c.message);
        EXPECT_EQ(bench.Send("*ESR?"), std::to_string(c.esr) + "\n") << c.message;
        EXPECT_EQ(bench.Send("*ESR?"), "0\n") << "*ESR? clears the register after " << c.message;
    }
}

TEST(InstsimStatus, PowerOnBitIsSetUntilCleared) {
    Bench bench;
    EXPECT_EQ(bench.Send("*ESR?"), "128\n");
    EXPECT_EQ(bench.Send("*ESR?"), "0\n");
}

TEST(InstsimStatus, OpcWithEseAndSreRequestsServiceWhenTheOperationCompletes) {
    Bench bench;
    bench.Send("*CLS", 0);
    bench.Send("*ESE 1", 0);
    bench.Send("*SRE 32", 0);
    bench.Send(":INIT;*OPC", 10); // :INIT takes 100 ms
    bench.Tick(50);
    EXPECT_EQ(bench.session.SerialPoll(50), 0);
    bench.Tick(109);
    EXPECT_EQ(bench.session.SerialPoll(109), 0);
    bench.Tick(110);
    EXPECT_EQ(bench.session.SerialPoll(110), 32 | 64) << "ESB and RQS once the operation completed";
    EXPECT_EQ(bench.session.SerialPoll(111), 32) << "the serial poll clears RQS, not ESB";
    EXPECT_EQ(bench.Send("*STB?", 112), "96\n") << "*STB? reports MSS while the reason stays";
    bench.Send("*CLS", 113);
    EXPECT_EQ(bench.session.SerialPoll(113), 0);
}

TEST(InstsimStatus, ErrorQueueAndMessageAvailableBits) {
    Bench bench;
    bench.Send("*CLS;*SRE 4");
    bench.Send("FOO");
    EXPECT_EQ(bench.session.SerialPoll(0), 4 | 64);
    bench.session.Receive("*IDN?", 0);
    EXPECT_EQ(bench.session.StatusByte(0), 4 | 16 | 64) << "MAV while the answer waits";
    bench.Read(0);
    bench.Send("SYST:ERR?");
    EXPECT_EQ(bench.session.StatusByte(0), 0);
}

TEST(InstsimStatus, SreIgnoresBitSixAndEseSreQueriesAnswerTheirValues) {
    Bench bench;
    EXPECT_EQ(bench.Send("*ESE 61;*SRE 255;*ESE?;*SRE?"), "61;191\n");
}

TEST(InstsimErrorQueue, OverflowReplacesTheLastEntry) {
    Bench bench;
    for (int i = 0; i < 12; ++i)
        bench.Send("FOO");
    EXPECT_EQ(bench.Send("SYST:ERR:COUN?"), "10\n");
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(bench.Send("SYST:ERR?"), "-113,\"Undefined header\"\n");
    EXPECT_EQ(bench.Send("SYST:ERR?"), "-350,\"Queue overflow\"\n");
    EXPECT_EQ(bench.Send("SYST:ERR?"), "0,\"No error\"\n");
}

TEST(InstsimErrorQueue, ReadWithNothingToAnswerQueuesQueryUnterminated) {
    Bench bench;
    EXPECT_FALSE(bench.session.AnswerPending());
    bench.session.QueryUnterminated();
    EXPECT_EQ(bench.Send("SYST:ERR?"), "-420,\"Query UNTERMINATED\"\n");
}

TEST(InstsimErrorQueue, UnreadAnswerIsInterruptedByTheNextMessage) {
    Bench bench;
    bench.session.Receive("*IDN?", 0);
    EXPECT_EQ(bench.Send("SYST:ERR?"), "-410,\"Query INTERRUPTED\"\n");
    // A terminator left over by a short read is not an interrupted answer.
    bench.Send("*CLS");
    bench.session.Receive("*ESR?", 0);
    bool end = false;
    EXPECT_EQ(bench.session.TakeOutput(0, 1, -1, end), "0");
    EXPECT_FALSE(end);
    bench.session.Receive("*ESR?", 0);
    EXPECT_EQ(bench.Read(0), "0\n");
    EXPECT_EQ(bench.Send("SYST:ERR?"), "0,\"No error\"\n");
}

TEST(InstsimTiming, OpcQueryAnswersWhenAllOperationsHaveCompleted) {
    Bench bench;
    bench.session.Receive(":INIT;:FREQ 5;*OPC?", 0);
    EXPECT_EQ(bench.Read(99), "");
    EXPECT_TRUE(bench.session.AnswerPending());
    EXPECT_EQ(bench.session.NextEvent(99), 100);
    EXPECT_EQ(bench.Read(100), "1\n");
    EXPECT_EQ(bench.Send("*OPC?", 100), "1\n") << "nothing in progress: at once";
}

TEST(InstsimTiming, WaiHoldsBackTheFollowingUnitsAndMessages) {
    Bench bench;
    bench.session.Receive(":INIT;*WAI;:FREQ 9", 0);
    bench.session.Receive(":FREQ?", 1);
    EXPECT_EQ(bench.Read(50), "");
    EXPECT_EQ(bench.Read(100), "9\n");
}

TEST(InstsimTiming, QueryDurationAndResetTime) {
    Bench bench;
    bench.session.Receive(":READ?", 0);
    EXPECT_EQ(bench.Read(39), "");
    EXPECT_EQ(bench.Read(40), "-10\n");
    bench.session.Receive(":FREQ 5;*RST;*OPC?", 100);
    EXPECT_EQ(bench.Read(129), "");
    EXPECT_EQ(bench.Read(130), "1\n");
    EXPECT_EQ(bench.Send(":FREQ?", 130), "1000000000\n") << "*RST restores the default";
}

TEST(InstsimTiming, DeviceClearCancelsPendingOperationComplete) {
    Bench bench;
    bench.Send("*CLS;*ESE 1");
    bench.session.Receive(":INIT;*OPC;*OPC?", 0);
    bench.session.DeviceClear();
    bench.Tick(200);
    EXPECT_EQ(bench.Read(200), "");
    EXPECT_EQ(bench.Send("*ESR?", 200), "0\n");
}

TEST(InstsimFaults, DropAfterRefusesTheNextMessage) {
    Bench bench(std::string(BenchDefinition) + "FAULT|drop-after|2\n");
    EXPECT_TRUE(bench.session.Receive("*IDN?", 0));
    EXPECT_TRUE(bench.session.Receive("*IDN?", 0));
    EXPECT_FALSE(bench.session.Receive("*IDN?", 0));
}

TEST(InstsimFaults, StallDelaysOnlyTheNamedQuery) {
    Bench bench(std::string(BenchDefinition) + "FAULT|stall|500|:SYST:NAME?\n");
    EXPECT_EQ(bench.Send("*IDN?", 0), "Veltmark,SMG,100245/003,2.10\n");
    bench.session.Receive("SYST:NAME?", 0);
    EXPECT_EQ(bench.Read(499), "");
    EXPECT_EQ(bench.Read(500), "Bench generator\n");
}

TEST(InstsimFaults, GarbageReplacesAnswersButKeepsTheTerminator) {
    Bench bench(std::string(BenchDefinition) + "FAULT|garbage\n");
    std::string answer = bench.Send("*IDN?");
    ASSERT_GE(answer.size(), 9u);
    EXPECT_EQ(answer.back(), '\n');
    EXPECT_EQ(answer.find('\n'), answer.size() - 1);
    EXPECT_EQ(answer.find("Veltmark"), std::string::npos);
}

TEST(InstsimFaults, NeverCompleteLeavesOpcUnanswered) {
    Bench bench(std::string(BenchDefinition) + "FAULT|never-complete|:INIT\n");
    bench.Send("*CLS;*ESE 1;*SRE 32");
    bench.session.Receive(":FREQ 1;*OPC?", 0);
    EXPECT_EQ(bench.Read(5), "1\n") << "other commands still complete";
    bench.session.Receive(":INIT;*OPC", 0);
    bench.Tick(1000000);
    EXPECT_EQ(bench.session.SerialPoll(1000000), 0);
    bench.session.Receive("*OPC?", 1000000);
    EXPECT_EQ(bench.Read(5000000), "");
}

TEST(InstsimDefinition, RejectsBadLinesNamingFileAndLine) {
    struct Case {
        const char* text;
        const char* error;
    } cases[] = {
        {"OPT|B1\n", "test.ZEP_INST:0: the definition has no IDN line"},
        {"IDN|x\nPARAM|:FREQ[:CW|1\n", "test.ZEP_INST:2: '[' without ']' in header :FREQ[:CW"},
        {"IDN|x\nQUERY|:READ|number 1\n", "test.ZEP_INST:2: QUERY header must end with '?'"},
        {"IDN|x\nQUERY|:READ?|number abc\n", "test.ZEP_INST:2: \"abc\" is not a number"},
        {"IDN|x\nCOMMAND|:INIT|-5\n",
         "test.ZEP_INST:2: duration \"-5\" is not a number of milliseconds from 0 to 86400000"},
        {"IDN|x\nCOMMAND|:INIT|5|oops\n",
         "test.ZEP_INST:2: error \"oops\" is not of the form number,\"text\" (number not 0)"},
        {"IDN|x\nFAULT|explode\n",
         "test.ZEP_INST:2: unknown fault \"explode\" (drop-after, stall, garbage, never-complete)"},
        {"IDN|x\nCOMMAND|*RST\n",
         "test.ZEP_INST:2: common commands (*...) are built in and cannot be defined"},
        {"IDN|x\nWHAT|y\n", "test.ZEP_INST:2: unknown line kind \"WHAT\" (IDN, OPT, NAME, PORT, RESET, "
                            "PARAM, COMMAND, QUERY, SOURCE, "
                            "FAULT)"},
        {"IDN|x\nPARAM|:POW|0 5..1\n", "test.ZEP_INST:2: range \"5..1\" is not of the form low..high"},
        {"IDN|x\nPARAM|:POW|30 -10..10\n", "test.ZEP_INST:2: default \"30\" is not a number within -10..10"},
        {"IDN|x\nQUERY|:READ?|measure gen 0 0 FREQ\n",
         "test.ZEP_INST:2: \"FREQ\" names no PARAM defined above"},
        {"IDN|x\nPARAM|FREQ|1\nSOURCE|FREQ|POW|OUTP\n",
         "test.ZEP_INST:3: SOURCE|frequency|level|output[|2nd harmonic dBc|3rd harmonic dBc]: \"POW\" names "
         "no PARAM "
         "defined above"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseDefinition(c.text, "test.ZEP_INST").error, c.error) << c.text;
}

TEST(InstsimSignal, ReceiversMeasureTheSourceWhereTheyAreTuned) {
    Device generator(
        Parse(
            "IDN|gen\nNAME|gen\nPARAM|FREQ|1e9\nPARAM|POW|-10\nPARAM|OUTP|0\nSOURCE|FREQ|POW|OUTP|-42|-55\n"),
        1);
    Device analyser(Parse("IDN|sa\nPARAM|FREQ:CENT|1e9\nQUERY|MARK:Y?|measure gen -0.8 0 FREQ:CENT\n"
                          "QUERY|READ?|measure gen 0.5\nQUERY|OTHER?|measure nobody 0\n"),
                    2);
    auto peers = [&](std::string_view name) -> const Device* { return name == "gen" ? &generator : nullptr; };
    analyser.SetPeers(peers);
    Session gen(generator, 1, true), sa(analyser, 2, true);
    auto query = [](Session& session, const std::string& message) {
        session.Receive(message, 0);
        bool end = false;
        return session.TakeOutput(0, SIZE_MAX, -1, end);
    };
    struct Case {
        const char* generatorSetting;
        const char* analyserQuery;
        const char* answer;
    } cases[] = {
        {"OUTP OFF", "MARK:Y?", "-95\n"},
        {"OUTP ON", "MARK:Y?", "-10.8\n"},
        {"POW -20", "READ?", "-19.5\n"},
        {"POW 0", "FREQ:CENT 2GHz;MARK:Y?", "-42.8\n"},
        {"FREQ 1e9", "FREQ:CENT 3e9;MARK:Y?", "-55.8\n"},
        {"FREQ 1.1e9", "MARK:Y?", "-95\n"},
        {"FREQ 1.5e9", "MARK:Y?", "-42.8\n"},
        {"OUTP ON", "OTHER?", "-95\n"},
    };
    for (const Case& c : cases) {
        query(gen, c.generatorSetting);
        EXPECT_EQ(query(sa, c.analyserQuery), c.answer) << c.generatorSetting << " / " << c.analyserQuery;
    }
}

TEST(InstsimDefinition, ExampleBenchLoads) {
    LoadResult bench = LoadConfig(std::string(ZEP_EXAMPLES_DIR) + "/instsim/RFBench.ZEP_BENCH");
    ASSERT_EQ(bench.error, "");
    ASSERT_EQ(bench.instruments.size(), 4u);
    // The demo test set asks for SMG, FSA with option B25 and PWS-Z: the identities must carry them.
    EXPECT_NE(bench.instruments[0].idn.find("SMG"), std::string::npos);
    EXPECT_NE(bench.instruments[1].idn.find("FSA"), std::string::npos);
    EXPECT_NE(bench.instruments[1].opt.find("B25"), std::string::npos);
    EXPECT_NE(bench.instruments[2].idn.find("PWS-Z"), std::string::npos);
    EXPECT_EQ(bench.instruments[3].idn.find("VELTM"), std::string::npos);
}

} // namespace
} // namespace zep::instsim

namespace zep::instsim {
namespace {

// Seeded random program messages built from pieces of real ones: the engine must stay consistent
// (answers terminated, the error queue bounded) whatever arrives.
TEST(InstsimRobustness, RandomProgramMessagesKeepTheEngineConsistent) {
    const char* const pieces[] = {"*IDN?",   "*OPC",  "*OPC?", "*WAI",  "*RST",      "*CLS",       "*ESE",
                                  "*SRE 32", "*STB?", ":FREQ", ":SOUR", "POW",       "?",          ";",
                                  ":",       "::",    " ",     "1e9",   "\"a;b\"",   "'x",         "#3",
                                  "#12ab",   "#9",    "[",     "]",     "SYST:ERR?", ":READ?",     ":INIT",
                                  "-",       "MHz",   "\t",    "\r",    "*",         "DATA:BLOC?", "TRAC?",
                                  ",",       "ON",    "\x01",  "\xff"};
    std::mt19937 random(7);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces) - 1), count(0, 12);
    Bench bench;
    SimTime now = 0;
    for (int i = 0; i < 20000; ++i) {
        std::string message;
        for (std::size_t n = count(random); n > 0; --n)
            message += pieces[pick(random)];
        bench.session.Receive(message, now);
        now += 7;
        std::string answer = bench.Read(now);
        if (!answer.empty()) {
            EXPECT_EQ(answer.back(), '\n') << message;
        }
        EXPECT_LE(bench.device.ErrorCount(), 10u);
        if (i % 1000 == 999) {
            bench.session.DeviceClear();
            bench.Send("*RST;*CLS", now);
            now += 100;
        }
    }
}

} // namespace
} // namespace zep::instsim
