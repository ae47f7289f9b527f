// A problem the loader found in a test file, with where it was found.
#pragma once

#include <cstddef>
#include <string>

namespace zep {

struct LoadFinding {
    std::string Message;
    std::string Detail; // a second line (the offending line, the path tried), or empty
    std::string File;   // the file holding the bad line: an include's own file for a line inside it
    size_t Line = 0;    // 1-based; 0 when the finding is about the file as a whole

    bool operator==(const LoadFinding&) const = default;
};

} // namespace zep
