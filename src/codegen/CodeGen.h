// The code generator: command lines of the loaded test case as program source for another
// environment, and the command list as a text table.
#pragma once

#include "codegen/CodeStyle.h"
#include "testdef/TestModel.h"

#include <optional>
#include <string>
#include <vector>

namespace zep {

// Rows of the command list view; row 1 shows command line 0, row 0 is the caption row.
struct RowSelection {
    int First = 1;
    int Last = 1;
};

// The comment column: the smallest 10k + 5 (k at least 1) above the longest wrapped command.
size_t CommentColumnWidth(size_t longestWrapped);

// The text the code generator puts on the clipboard: for every command line (of the selected rows
// only, when given) its wrapped command padded to the comment column and the comment, lines
// joined by CR LF, the whole cleaned with StripText. Command kinds give comment lines only.
std::string GenerateCode(const TestModel& model, const CodeStyle& style,
                         const std::optional<RowSelection>& selectedRows = std::nullopt);

// A grid as text: every row from the caption row on, cells followed by "|" (the last one of a row
// by CR LF instead); padded fills each cell with blanks to the widest text of its column.
using TextGrid = std::vector<std::vector<std::string>>;
std::string GridToText(const TextGrid& grid, bool padded);

} // namespace zep
