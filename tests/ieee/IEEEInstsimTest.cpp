// The command layer against the bundled simulator over loopback, with the built-in VISA on a raw
// socket and over VXI-11: operation complete, error queue, block queries, a dropped link, and seven
// instruments at once.
#include "InstsimProcess.h"
#include "cli/TerminalHost.h"
#include "ieee/IEEE.h"
#include "instio/visa_builtin/BuiltinVisa.h"

#include "FakeHost.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace zep {
namespace {

namespace fs = std::filesystem;

struct Transport {
    const char* name;
    const char* resourceClass;
};

class IEEEInstsim : public ::testing::TestWithParam<Transport> {
  protected:
    // Serves count instruments of the test definition, one need and one entry per instrument.
    void Start(std::vector<std::string> extra = {}, size_t count = 1) {
        fs::create_directories(dir_);
        const fs::path definition = dir_ / "TST.ZEP_INST";
        std::ofstream(definition) << "IDN|Veltmark,TST,1,1\n"
                                     "COMMAND|:SLOW|300\n"
                                     "COMMAND|:FAST|0\n"
                                     "COMMAND|:BAD|0|-222,\"Data out of range\"\n"
                                     "COMMAND|:CALibrate|0|211,\"Calibration source missing\"\n"
                                     "QUERY|:TRACe?|block 40|0\n";
        const fs::path bench = dir_ / "TST.ZEP_BENCH";
        {
            std::ofstream out(bench);
            for (size_t i = 0; i < count; ++i)
                out << "INSTRUMENT|" << definition.string() << "\n";
        }
        std::vector<std::string> args{"--portmap-port", "0", "--config", bench.string()};
        args.insert(args.end(), extra.begin(), extra.end());
        ASSERT_TRUE(simulator.Start(ZEP_INSTSIM_PATH, args, 60)) << simulator.Error();
        std::vector<std::string> resources;
        for (const auto& [resource, identification] : simulator.Resources())
            if (resource.ends_with(std::string("::") + GetParam().resourceClass))
                resources.push_back(resource);
        ASSERT_EQ(resources.size(), count);
        BuiltinVisaOptions options;
        options.portmapperPort = simulator.PortmapperPort();
        visa = std::make_unique<BuiltinVisa>(options);
        wrap = std::make_unique<VISAWrap>(*visa);
        model.Blocks.push_back(BlockDef{"Main", "Main"});
        for (size_t i = 0; i < count; ++i) {
            InstrumentNeed need;
            need.Name = "Inst" + std::to_string(i);
            need.ErrorQuery = "SYST:ERR";
            need.ClearCommand = "*CLS";
            model.Instruments.push_back(need);
            AvailableInstrument entry;
            entry.Resource = resources[i];
            entry.Session = -1;
            entry.NeedIndex = static_cast<int16_t>(i);
            instruments.push_back(entry);
        }
        ieee.SetWrap(wrap.get());
        for (size_t i = 0; i < count; ++i)
            ieee.InitInstrument(i);
    }
    // Runs command text on instrument i as line n of the test case.
    CommandLine& Run(size_t i, const std::string& text, bool longTimeout = false) {
        model.Commands.emplace_back(0, static_cast<int16_t>(i), text, "");
        const auto line = static_cast<int32_t>(model.Commands.size() - 1);
        model.Commands.back().Status = 1;
        ieee.SendCommand(i, text, line, longTimeout);
        return model.Commands.back();
    }

    test::InstsimProcess simulator;
    std::unique_ptr<BuiltinVisa> visa;
    std::unique_ptr<VISAWrap> wrap;
    std::FILE* quiet = std::tmpfile();
    cli::TerminalHost host{quiet, quiet, quiet}; // real time, nothing shown
    test::FakeHost boxes;
    ReportDocument report;
    ReportOptions reportOptions;
    ErrorNotifier notifier{boxes};
    bool blockError = false;
    ReportContext context{report, reportOptions, &notifier, 8, [this] { blockError = true; }};
    TestModel model;
    std::vector<AvailableInstrument> instruments;
    IEEE ieee{host, instruments, model, context, blockError};

    void TearDown() override {
        std::fclose(quiet);
        fs::remove_all(dir_);
    }
    fs::path dir_ = fs::temp_directory_path() / ("zep_ieee_" + std::to_string(::getpid()));
};

TEST_P(IEEEInstsim, ACommandIsWaitedForTimedAndItsErrorQueueRead) {
    Start();
    const CommandLine& slow = Run(0, ":SLOW");
    EXPECT_EQ(slow.Status, 2);
    EXPECT_EQ(slow.ErrorText, "(OK)");
    EXPECT_EQ(slow.ErrorDetail, "0,\"No error\"");
    EXPECT_GE(slow.LastTime, 290.0F); // the simulator's 300 ms, give or take its clock
    EXPECT_LT(slow.LastTime, 5000.0F);

    const struct {
        const char* command;
        const char* text;
        const char* detail;
    } rows[] = {
        {":BAD", "SCPI ERROR", "-222,\"Data out of range\""},
        {":CAL", "INST ERROR", "211,\"Calibration source missing\""},
        {":NOSUCH", "SCPI ERROR", "-113,\"Undefined header\""},
        {":FAST", "(OK)", "0,\"No error\""},
    };
    for (const auto& row : rows) {
        const CommandLine& line = Run(0, row.command);
        EXPECT_EQ(line.Status, 2) << row.command;
        EXPECT_EQ(line.ErrorText, row.text) << row.command;
        EXPECT_EQ(line.ErrorDetail, row.detail) << row.command;
    }
    EXPECT_EQ(instruments[0].ErrorCount, 3);
    EXPECT_NE(report.PlainText().find("  Command    : :NOSUCH"), std::string::npos);

    model.Instruments[0].ErrorQuery = "-";
    const CommandLine& unpolled = Run(0, ":BAD");
    EXPECT_EQ(unpolled.ErrorText, "(OK)");
    EXPECT_EQ(unpolled.ErrorDetail, "error polling is switched off");
}

TEST_P(IEEEInstsim, WithoutAClearCommandEverySecondWaitIsRealToo) {
    Start();
    model.Instruments[0].ClearCommand = "";
    EXPECT_GE(Run(0, ":SLOW").LastTime, 290.0F);
    EXPECT_GE(Run(0, ":SLOW").LastTime, 290.0F); // not ended at once by the first completion's bit
    EXPECT_EQ(model.Commands.back().ErrorText, "(OK)");
}

TEST_P(IEEEInstsim, NoOpcFinishesTheLineAfterTheWrite) {
    Start();
    model.NoOpc = true;
    const CommandLine& line = Run(0, ":FAST");
    EXPECT_EQ(line.Status, 2);
    EXPECT_EQ(line.ErrorText, "(OK)");
}

TEST_P(IEEEInstsim, ABlockQueryGivesItsDataWhole) {
    Start();
    const QueryResult block = ieee.QueryBlock(0, ":TRAC?");
    EXPECT_EQ(block.Answer.size(), 40U);
    const QueryResult idn = ieee.QueryCommand(0, "*IDN?");
    EXPECT_EQ(idn.Answer, "Veltmark,TST,1,1");
    EXPECT_GT(idn.Milliseconds, 0.0);
}

TEST_P(IEEEInstsim, ALinkDroppedMidCommandIsAVisaErrorNotAHang) {
    // Init writes three messages; the clear command and the command are the fourth and fifth, and
    // the link goes when the next message arrives.
    Start({"--drop-after", "5"});
    reportOptions.StopOnBlockError = true;
    const CommandLine& line = Run(0, ":SLOW");
    EXPECT_EQ(line.Status, 2);
    EXPECT_EQ(line.ErrorText, "VISA ERROR");
    EXPECT_NE(line.ErrorDetail.find(": VI_ERROR_CONN_LOST (0xBFFF00A6)"), std::string::npos)
        << line.ErrorDetail;
    EXPECT_TRUE(model.Blocks[0].ErrorFlag);
    EXPECT_TRUE(blockError); // StopOnBlockError
    EXPECT_EQ(report.PlainLines()[0], "ERROR");
}

TEST_P(IEEEInstsim, SevenInstrumentsInOneTestCase) {
    Start({}, 7);
    for (size_t i = 0; i < 7; ++i) {
        const CommandLine& line = Run(i, i % 2 ? ":FAST" : ":BAD");
        EXPECT_EQ(line.Status, 2) << i;
        EXPECT_EQ(line.ErrorText, i % 2 ? "(OK)" : "SCPI ERROR") << i << line.ErrorDetail;
    }
}

INSTANTIATE_TEST_SUITE_P(Transports, IEEEInstsim,
                         ::testing::Values(Transport{"Socket", "SOCKET"}, Transport{"Vxi11", "INSTR"}),
                         [](const auto& param) { return std::string(param.param.name); });

} // namespace
} // namespace zep
