// One entry of the list of instruments that runs can use: where it answers, what it said, and the
// state the command layer keeps for it.
#pragma once

#include "instio/Visa.h"

#include <cstdint>
#include <string>

namespace zep {

struct AvailableInstrument {
    std::string Identification; // the cleaned "*IDN?" answer (scan) or the need's type (simulation)
    std::string Options;        // the cleaned "*OPT?" answer (scan) or the need's options joined with ","
    ViSession Session = 0;      // -1 after the scan, 0 in simulation, else the open session
    std::string Resource;       // the VISA resource string
    int32_t InterfaceKind = 0;  // 1: reached through VISA
    bool Opened = false;
    bool Busy = false;
    bool FreeForAssignment = true; // the pre-run check may assign it to a need
    bool ManualAssignment = false;
    int16_t RestoreTimeoutCode = -1;
    int16_t ErrorCount = 0;
    int16_t NeedIndex = 0;
    bool NoStatusCommands = false;
};

} // namespace zep
