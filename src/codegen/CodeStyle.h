// How the code generator wraps command lines: the settings record holds one (section CodeStyle).
#pragma once

#include <array>
#include <cstddef>
#include <string>

namespace zep {

// Number of PreFix/PostFix entries of the code style; only the first two are stored.
constexpr size_t CodeStyleEntries = 6;

struct CodeStyle {
    bool CopyCommand = true;
    bool CopyComment = true;
    std::string CommentPre = "'";
    std::array<std::string, CodeStyleEntries> PreFix{"ibwrt(Inst0,'", "ibwrt(Inst1,'", "", "", "", ""};
    std::array<std::string, CodeStyleEntries> PostFix{"')", "')", "", "", "", ""};

    bool operator==(const CodeStyle&) const = default;
};

} // namespace zep
