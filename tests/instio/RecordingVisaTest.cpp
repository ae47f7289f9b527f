// The recording double keeps the promises other tests build on: scripted answers, status byte
// sequences, find lists and exact call lines.
#include "instio/visa_record/RecordingVisa.h"

#include <gtest/gtest.h>

namespace zep {
namespace {

TEST(RecordingVisa, ScriptsAnInstrumentAndRecordsEveryCall) {
    RecordingVisa visa;
    auto& instrument = visa.AddInstrument("GPIB0::20::INSTR");
    instrument.statusBytes = {0, 0, 0x60};
    visa.SetFindResult("GPIB0::?*::INSTR", {"GPIB0::20::INSTR", "GPIB0::22::INSTR"});
    visa.AddInstrument("GPIB0::22::INSTR").writeStatus = VI_ERROR_NLISTENERS;

    ViSession manager = VI_NULL, session = VI_NULL;
    visa.viOpenDefaultRM(manager);
    ViFindList list = VI_NULL;
    ViUInt32 count = 0;
    std::string descriptor;
    EXPECT_EQ(visa.viFindRsrc(manager, "GPIB0::?*::INSTR", list, count, descriptor), VI_SUCCESS);
    EXPECT_EQ(visa.viFindNext(list, descriptor), VI_SUCCESS);
    EXPECT_EQ(descriptor, "GPIB0::22::INSTR");
    EXPECT_EQ(visa.viOpen(manager, "GPIB0::22::INSTR", 0, 0, session), VI_SUCCESS);
    ViUInt32 written = 0;
    EXPECT_EQ(visa.viWrite(session, "*IDN?", 5, written), VI_ERROR_NLISTENERS);
    ViUInt16 stb = 0;
    EXPECT_EQ(visa.viOpen(manager, "GPIB0::20::INSTR", 0, 0, session), VI_SUCCESS);
    for (int i = 0; i < 4; ++i) {
        visa.viReadSTB(session, stb);
    }
    EXPECT_EQ(stb, 0x60);
    EXPECT_EQ(visa.viOpen(manager, "GPIB0::9::INSTR", 0, 0, session), VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(visa.Calls(), (std::vector<std::string>{
                                "viOpenDefaultRM() = 1 -> 0",
                                "viFindRsrc(1,\"GPIB0::?*::INSTR\") = 2,2,\"GPIB0::20::INSTR\" -> 0",
                                "viFindNext(2) = \"GPIB0::22::INSTR\" -> 0",
                                "viOpen(1,\"GPIB0::22::INSTR\",0,0) = 3 -> 0",
                                "viWrite(3,\"*IDN?\",5) -> -1073807265",
                                "viOpen(1,\"GPIB0::20::INSTR\",0,0) = 4 -> 0",
                                "viReadSTB(4) = 0 -> 0",
                                "viReadSTB(4) = 0 -> 0",
                                "viReadSTB(4) = 96 -> 0",
                                "viReadSTB(4) = 96 -> 0",
                                "viOpen(1,\"GPIB0::9::INSTR\",0,0) -> -1073807343",
                            }));
}

} // namespace
} // namespace zep
