// The scan and the probe, call by call against the recording VISA, and the available-instruments
// list made from the device table.
#include "discovery/VISAScan.h"

#include "FakeHost.h"
#include "instio/visa_record/RecordingVisa.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace zep {
namespace {

constexpr std::string_view Key = "SOFTWARE\\Veltmark\\VISADeviceCache";

// The cache interface over a map: the scan's own reading of the values is what is tested here.
class MapCache : public DeviceCache {
  public:
    std::map<std::string, std::string> values;
    std::string ReadValue(std::string_view keyPath, std::string_view name) const override {
        const auto found = values.find(std::string(keyPath) + "|" + std::string(name));
        return found == values.end() ? std::string() : found->second;
    }
    bool WriteValue(std::string_view keyPath, std::string_view name, std::string_view text) override {
        values[std::string(keyPath) + "|" + std::string(name)] = text;
        return true;
    }
    bool DeleteValue(std::string_view keyPath, std::string_view name) override {
        values.erase(std::string(keyPath) + "|" + std::string(name));
        return true;
    }
};

class VISAScanTest : public ::testing::Test {
  protected:
    RecordingVisa visa;
    test::FakeHost host;
    DeviceTable table;
    VISAScan scan{visa, host, table};
    MapCache cache;
    ScanWindowLines lines{scan, host};

    void Patterns(std::vector<std::string> patterns, std::vector<std::string> servers = {"localhost"}) {
        for (size_t i = 0; i < patterns.size(); ++i)
            cache.WriteValue(Key, "DEVICE" + std::to_string(i + 1), patterns[i]);
        for (size_t i = 0; i < servers.size(); ++i)
            cache.WriteValue(Key, "SERVER" + std::to_string(i + 1), servers[i]);
    }
    // An instrument that answers each query with the given text.
    void Answering(const std::string& resource, std::map<std::string, std::string> answers) {
        visa.AddInstrument(resource).responder = [answers](std::string_view written) {
            const auto found = answers.find(std::string(written));
            return found == answers.end() ? std::string() : found->second;
        };
    }
    void Run() { scan.Scan(cache, Key, 1000); }
    std::vector<std::string> ScanLines() const {
        std::vector<std::string> shown;
        for (const auto& line : host.viewLog)
            if (line.rfind("ScanLine ", 0) == 0) shown.push_back(line.substr(9));
        return shown;
    }
};

TEST_F(VISAScanTest, AMakersInstrumentIsOpenedOnceAndAskedForItsOptions) {
    Patterns({"TCPIP::10.0.0.7::INSTR"});
    Answering("TCPIP::10.0.0.7::INSTR",
              {{"*IDN?\n", "Veltmark,SMG,100123,1.4 \r\n"}, {"*OPT?\n", "B1,B22\n"}});
    Run();
    EXPECT_EQ(visa.Calls(), (std::vector<std::string>{
                                "viOpenDefaultRM() = 1 -> 0",
                                "viFindRsrc(1,\"TCPIP::10.0.0.7::INSTR\") -> -1073807343",
                                "viOpen(1,\"TCPIP::10.0.0.7::INSTR\",0,0) = 2 -> 0",
                                "viSetAttribute(2,VI_ATTR_TMO_VALUE,1000) -> 0",
                                "viWrite(2,\"*IDN?\\n\",6) -> 0",
                                "viRead(2,1000) = \"Veltmark,SMG,100123,1.4 \\r\\n\" -> 0",
                                "viWrite(2,\"*OPT?\\n\",6) -> 0",
                                "viRead(2,4000) = \"B1,B22\\n\" -> 0",
                                "viGpibControlREN(2,2) -> 0",
                                "viClose(2) -> 0",
                                "viClose(1) -> 0",
                            }));
    ASSERT_EQ(scan.DeviceCount(), 1U);
    EXPECT_EQ(scan.IDAnswer(0), "Veltmark,SMG,100123,1.4 "); // the blank before the line end stays
    EXPECT_EQ(scan.OptionList(0), "B1,B22");
    EXPECT_EQ(scan.DeviceTyp(0), "Device");
    EXPECT_EQ(scan.VISAResString(0), "TCPIP::10.0.0.7::INSTR");
    EXPECT_EQ(table[0].DeviceInfo, "----- (---)");
    EXPECT_EQ(ScanLines(), (std::vector<std::string>{"SCANNING...", "checking TCPIP::10.0.0.7::INSTR",
                                                     "checking TCPIP::10.0.0.7::INSTR", " >> ----- (---)"}));
    EXPECT_EQ(host.viewLog.front(), "ClearScanLines");
}

TEST_F(VISAScanTest, ALanResourceIsTriedAsVxi11ThenAsTheMakersSocketProtocol) {
    Patterns({"LAN::lab-gen::INSTR"});
    Answering("VMIB::lab-gen::INSTR", {{"*IDN?\n", "VELTMARK,PWS-Z91,7,2.0\n"}});
    Run();
    EXPECT_EQ(std::vector<std::string>(visa.Calls().begin() + 2, visa.Calls().end()),
              (std::vector<std::string>{
                  "viOpen(1,\"TCPIP::lab-gen::INSTR\",0,0) -> -1073807343",
                  "viOpen(1,\"VMIB::lab-gen::INSTR\",0,0) = 2 -> 0",
                  "viSetAttribute(2,VI_ATTR_TMO_VALUE,1000) -> 0",
                  "viWrite(2,\"*IDN?\\n\",6) -> 0",
                  "viRead(2,1000) = \"VELTMARK,PWS-Z91,7,2.0\\n\" -> 0",
                  "viGpibControlREN(2,2) -> 0", // a PWS-Z answer: no option query
                  "viClose(2) -> 0",
                  "viClose(1) -> 0",
              }));
    EXPECT_EQ(scan.VISAResString(0), "VMIB::lab-gen::INSTR");
    EXPECT_EQ(scan.OptionList(0), "");
    EXPECT_EQ(scan.DeviceTyp(0), "Device");
}

TEST_F(VISAScanTest, NoListenersEmptyAnswersAndOtherMakers) {
    Patterns({"GPIB0::?*::INSTR"});
    visa.SetFindResult("GPIB0::?*::INSTR", {"GPIB0::3::INSTR", "GPIB0::5::INSTR", "GPIB0::9::INSTR"});
    visa.AddInstrument("GPIB0::3::INSTR").writeStatus = VI_ERROR_NLISTENERS;
    Answering("GPIB0::5::INSTR", {{"*IDN?\n", "\r\n"}});
    Answering("GPIB0::9::INSTR", {{"*IDN?\n", "Orvane Instruments,DM-4050,SN44120,3.2\n"}});
    Run();
    const std::vector<std::string> noListeners(visa.Calls().begin() + 2, visa.Calls().begin() + 8);
    EXPECT_EQ(noListeners, (std::vector<std::string>{"viFindNext(2) = \"GPIB0::5::INSTR\" -> 0",
                                                     "viFindNext(2) = \"GPIB0::9::INSTR\" -> 0",
                                                     "viOpen(1,\"GPIB0::3::INSTR\",0,0) = 3 -> 0",
                                                     "viSetAttribute(3,VI_ATTR_TMO_VALUE,1000) -> 0",
                                                     "viWrite(3,\"*IDN?\\n\",6) -> -1073807265",
                                                     "viGpibControlREN(3,2) -> 0"}));
    ASSERT_EQ(scan.DeviceCount(), 3U);
    EXPECT_EQ(scan.DeviceTyp(0), "Device");
    EXPECT_EQ(scan.IDAnswer(0), "");
    EXPECT_EQ(scan.IDAnswer(1), "");
    EXPECT_EQ(scan.DeviceTyp(2), "DeviceUnknown");
    EXPECT_EQ(scan.IDAnswer(2), "Orvane Instruments,DM-4050,SN44120,3.2");
    EXPECT_EQ(ScanLines(),
              (std::vector<std::string>{"SCANNING...", "checking GPIB0::?*::INSTR",
                                        "checking GPIB0::3::INSTR", // no listeners: no result line
                                        "checking GPIB0::5::INSTR", " >> not found (output buffer empty)",
                                        "checking GPIB0::9::INSTR", " >> unknown device"}));
    const auto instruments = InstrumentsFromDeviceTable(table);
    ASSERT_EQ(instruments.size(), 3U); // "Device" answering or not, and "DeviceUnknown"
    EXPECT_EQ(instruments[2].Identification, "Orvane Instruments,DM-4050,SN44120,3.2");
    EXPECT_EQ(instruments[2].Resource, "GPIB0::9::INSTR");
    EXPECT_EQ(instruments[2].Session, -1);
    EXPECT_EQ(instruments[2].InterfaceKind, 1);
    EXPECT_TRUE(instruments[2].FreeForAssignment);
}

TEST_F(VISAScanTest, ServersAndPatternsAreWalkedInOrderWithTheRemotePrefix) {
    Patterns({"GPIB0::?*::INSTR", "TCPIP::gen::INSTR"}, {"localhost", "lab7"});
    visa.SetFindResult("visa://lab7/GPIB0::?*::INSTR", {"visa://lab7/GPIB0::4::INSTR"});
    Run();
    std::vector<std::string> exploring;
    for (const auto& line : ScanLines())
        if (line.rfind("checking ", 0) == 0) exploring.push_back(line.substr(9));
    EXPECT_EQ(exploring, (std::vector<std::string>{"GPIB0::?*::INSTR", "GPIB0::?*::INSTR",
                                                   "TCPIP::gen::INSTR", "TCPIP::gen::INSTR",
                                                   "GPIB0::?*::INSTR", "visa://lab7/GPIB0::4::INSTR",
                                                   "TCPIP::gen::INSTR", "visa://lab7/TCPIP::gen::INSTR"}));
    ASSERT_EQ(scan.DeviceCount(), 4U);
    EXPECT_EQ(scan.VISAResString(2), "visa://lab7/GPIB0::4::INSTR");
    EXPECT_EQ(scan.VISAResString(3), "visa://lab7/TCPIP::gen::INSTR");
}

TEST_F(VISAScanTest, AScanThatProbesNothingLeavesOneEmptyRecord) {
    Patterns({}, {"localhost"});
    DeviceRecord old;
    old.VISAResString = "old";
    old.DeviceTyp = "Device";
    table.assign(3, old);
    Run();
    EXPECT_EQ(visa.Calls(), (std::vector<std::string>{"viOpenDefaultRM() = 1 -> 0", "viClose(1) -> 0"}));
    ASSERT_EQ(scan.DeviceCount(), 1U);
    EXPECT_EQ(scan.DeviceTyp(0), "");
    EXPECT_EQ(scan.IDAnswer(5), ""); // outside the table
    const auto instruments = InstrumentsFromDeviceTable(table);
    ASSERT_EQ(instruments.size(), 1U);
    EXPECT_EQ(instruments[0].Identification, "");
    EXPECT_EQ(ScanLines(), std::vector<std::string>{"SCANNING..."});
}

TEST(DeviceTable, OnlyNoDeviceRecordsAreLeftOut) {
    DeviceTable table(2);
    table[0].DeviceTyp = "NoDevice";
    table[1].DeviceTyp = "NoDevice";
    const auto none = InstrumentsFromDeviceTable(table);
    ASSERT_EQ(none.size(), 2U);
    EXPECT_EQ(none[0].Identification, "---");
    table[1].DeviceTyp = "Device";
    table[1].OptionList = "K7";
    const auto one = InstrumentsFromDeviceTable(table);
    ASSERT_EQ(one.size(), 1U);
    EXPECT_EQ(one[0].Options, "K7");
}

} // namespace
} // namespace zep
