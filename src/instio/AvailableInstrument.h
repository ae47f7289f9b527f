// One entry of the list of instruments found on the bus: where it answers and what it said.
#pragma once

#include "instio/Visa.h"

#include <string>

namespace zep {

struct AvailableInstrument {
    std::string Resource;       // the VISA resource string
    std::string Identification; // the "*IDN?" answer
    std::string Options;        // the "*OPT?" answer
    ViSession Session = 0;      // open session, or 0
};

} // namespace zep
