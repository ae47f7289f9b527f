// The code generator and the grid-to-text copy.
#include "codegen/CodeGen.h"

#include "common/StringOp.h"
#include "common/Utf8.h"

#include <algorithm>

namespace zep {

namespace {

// Lengths count characters, as the single-byte texts of the clipboard do.
size_t TextLength(std::string_view text) {
    return utf8::Length(text);
}

std::string Wrapped(const CommandLine& line, const CodeStyle& style) {
    // Indices without an entry (above 5) are treated like the empty entries.
    const auto index = static_cast<size_t>(line.InstrumentIndex);
    if (index >= CodeStyleEntries) return line.CommandText;
    return style.PreFix[index] + line.CommandText + style.PostFix[index];
}

} // namespace

size_t CommentColumnWidth(size_t longestWrapped) {
    // (L - 5) / 10 truncated toward zero: every L below 15 lands on 15.
    const long tens = (static_cast<long>(longestWrapped) - 5) / 10;
    return static_cast<size_t>((tens + 1) * 10 + 5);
}

std::string GenerateCode(const TestModel& model, const CodeStyle& style,
                         const std::optional<RowSelection>& selectedRows) {
    const long count = static_cast<long>(model.Commands.size());
    long first = 0;
    long last = count - 1;
    if (selectedRows) {
        first = std::max<long>(selectedRows->First - 1, 0);
        last = std::min<long>(selectedRows->Last - 1, count - 1);
    }

    std::vector<std::string> wrapped(model.Commands.size());
    size_t longest = 0;
    for (long i = first; i <= last; ++i) {
        const CommandLine& line = model.Commands[static_cast<size_t>(i)];
        if (line.InstrumentIndex < 0 || !style.CopyCommand) continue;
        wrapped[static_cast<size_t>(i)] = Wrapped(line, style);
        longest = std::max(longest, TextLength(wrapped[static_cast<size_t>(i)]));
    }
    const size_t width = CommentColumnWidth(longest);

    std::string code;
    for (long i = first; i <= last; ++i) {
        const CommandLine& line = model.Commands[static_cast<size_t>(i)];
        if (style.CopyCommand && line.InstrumentIndex >= 0) {
            const std::string& text = wrapped[static_cast<size_t>(i)];
            code += text;
            code.append(width - std::min(width, TextLength(text)), ' ');
        }
        if (style.CopyComment) code += style.CommentPre + line.Label;
        code += "\r\n";
    }
    return StripText(code);
}

std::string GridToText(const TextGrid& grid, bool padded) {
    size_t columns = 0;
    for (const auto& row : grid)
        columns = std::max(columns, row.size());
    std::vector<size_t> widths(columns, 0);
    if (padded)
        for (const auto& row : grid)
            for (size_t c = 0; c < row.size(); ++c)
                widths[c] = std::max(widths[c], TextLength(row[c]));

    std::string text;
    for (const auto& row : grid) {
        for (size_t c = 0; c < columns; ++c) {
            const std::string cell = c < row.size() ? row[c] : std::string();
            text += cell;
            if (padded) text.append(widths[c] - TextLength(cell), ' ');
            text += c + 1 < columns ? "|" : "\r\n";
        }
        if (columns == 0) text += "\r\n";
    }
    return text;
}

} // namespace zep
