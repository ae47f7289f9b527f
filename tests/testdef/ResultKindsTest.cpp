// Result-kind parsing and the command-kind vocabulary.
#include "testdef/ResultKinds.h"

#include <gtest/gtest.h>

namespace zep {
namespace {

TEST(ResultKinds, ParsesKeywordsSuffixesAndBrackets) {
    struct Case {
        const char* text;
        int32_t kind;
        const char *argument, *listName;
        bool noScaling, noStatistics;
    } cases[] = {
        {"NoResult", ResultKind::NoResult, "", "", false, false},
        {"IsV", ResultKind::Number, "V", "", false, false},
        {"Is", ResultKind::Number, "", "", false, false},
        {"dBm", ResultKind::Number, "m", "", false, false}, // not starting with "Is": still a number
        {"IsString__S", ResultKind::String, "", "", false, true},
        {"Isdbm__BS", ResultKind::Number, "dbm", "", true, true},
        {"IsV__bs", ResultKind::Number, "V", "", false, false}, // suffix letters are case-sensitive
        {"IsBinFile[trace.bin]", ResultKind::BinFile, "trace.bin", "", false, false},
        {"IsV[x]", ResultKind::Number, "V", "", false, false}, // numbers drop the bracket argument
        {"IsListMarkers", ResultKind::List, "", "Markers", false, false},
        {"IsList", ResultKind::List, "", "", false, false},
        {"islist", ResultKind::Number, "list", "", false, false},
        {"  IsACPTab  ", ResultKind::ACPTab, "", "", false, false},
        {"IsMSUM__B[m]", ResultKind::MSUM, "m", "", true, false},
        {"IsBoolean0_OK", ResultKind::Boolean0_OK, "", "", false, false},
        {"IsValueTable", ResultKind::ValueTable, "", "", false, false},
        {"IsRawFile[raw.dat]__S", ResultKind::RawFile, "raw.dat", "", false, false},
        {"IsString[a]b]", ResultKind::String, "a", "", false, false},
        {"IsString]x[", ResultKind::Number, "String]x", "", false, false}, // keyword ends at the "["
        {"", ResultKind::Number, "", "", false, false},
        {"x", ResultKind::Number, "", "", false, false},
    };
    for (const auto& c : cases) {
        const ResultSpec spec = ParseResultSpec(c.text);
        EXPECT_EQ(spec.Kind, c.kind) << c.text;
        EXPECT_EQ(spec.Argument, c.argument) << c.text;
        EXPECT_EQ(spec.ListName, c.listName) << c.text;
        EXPECT_EQ(spec.NoScaling, c.noScaling) << c.text;
        EXPECT_EQ(spec.NoStatistics, c.noStatistics) << c.text;
        EXPECT_TRUE(spec.Text.empty() && spec.Value.empty() && spec.Format.empty()) << c.text;
    }
}

TEST(ResultKinds, CommandKindsInCodeOrder) {
    const auto& kinds = StandardCommandKinds();
    ASSERT_EQ(kinds.size(), 9U);
    EXPECT_EQ(kinds[CommandKindCode::Limit - 1].Keyword, "Limit");
    EXPECT_EQ(kinds[CommandKindCode::Limit - 1].DisplayName, "Limit Eval");
    EXPECT_EQ(kinds[CommandKindCode::DOSCommand - 1].DisplayName, "DOS command");
    EXPECT_EQ(kinds[CommandKindCode::Store - 1].DisplayName, "store value");
}

} // namespace
} // namespace zep
