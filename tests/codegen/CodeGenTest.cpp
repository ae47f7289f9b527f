// The code generator on loaded and hand-built test models, and the grid-to-text copy.
#include "codegen/CodeGen.h"

#include "testdef/TestLoad.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace zep {
namespace {

const std::string CodegenSet = std::string(ZEP_FIXTURES_DIR) + "/settings/codegen/codegen.ZEP_SET";

CommandLine Line(int16_t instrument, std::string command, std::string label) {
    CommandLine line;
    line.InstrumentIndex = instrument;
    line.CommandText = std::move(command);
    line.Label = std::move(label);
    return line;
}

TestModel ModelOf(std::vector<CommandLine> lines) {
    TestModel model;
    model.Commands = std::move(lines);
    return model;
}

TEST(CommentColumnWidth, IsTheSmallestTenKPlusFiveAboveTheLongestCommand) {
    const std::pair<size_t, size_t> cases[] = {{0, 15},  {4, 15},  {5, 15},  {14, 15}, {15, 25},
                                               {19, 25}, {20, 25}, {24, 25}, {25, 35}, {104, 105}};
    for (const auto& [longest, width] : cases)
        EXPECT_EQ(CommentColumnWidth(longest), width) << longest;
}

TEST(GenerateCode, DefaultStyleStartsCommentsInColumn26) {
    TestModel model;
    TestLoad loader(model);
    ASSERT_TRUE(loader.OpenTestSet(CodegenSet));
    TestEntry entry;
    entry.Key = "Basic";
    ASSERT_TRUE(loader.SelectTest(entry));
    EXPECT_EQ(GenerateCode(model, CodeStyle{}), "ibwrt(Inst0,'*CLS')      'Clear\r\n"
                                                "ibwrt(Inst0,'*IDN?')     'Identify");
    EXPECT_EQ(GenerateCode(model, CodeStyle{}).find("'Clear"), 25U);
}

TEST(GenerateCode, CommandKindsAndUnknownInstrumentsGiveCommentLines) {
    const TestModel model =
        ModelOf({Line(0, "FREQ 1GHz", "Set"), Line(-CommandKindCode::Comment, "text", "Note"),
                 Line(UnknownIndex, "LOST", "Lost"), Line(1, "INIT", "Start")});
    // The longest wrapped command has 24 characters, so comments start in column 26.
    EXPECT_EQ(GenerateCode(model, CodeStyle{}), "ibwrt(Inst0,'FREQ 1GHz') 'Set\r\n"
                                                "'Note\r\n"
                                                "'Lost\r\n"
                                                "ibwrt(Inst1,'INIT')      'Start");
}

TEST(GenerateCode, InstrumentsWithoutAStoredStyleGetTheBareCommand) {
    const TestModel model = ModelOf({Line(2, "READ?", "Power"), Line(7, "*RST", "Reset")});
    EXPECT_EQ(GenerateCode(model, CodeStyle{}), "READ?          'Power\r\n*RST           'Reset");
}

TEST(GenerateCode, WithoutCommandsEveryLineIsCommentAndLabel) {
    CodeStyle style;
    style.CopyCommand = false;
    style.CommentPre = "// ";
    const TestModel model =
        ModelOf({Line(0, "*CLS", "Clear"), Line(1, "*IDN?", ""), Line(0, "*OPC?", "Done")});
    EXPECT_EQ(GenerateCode(model, style), "// Clear\r\n// \r\n// Done");
}

TEST(GenerateCode, WithoutCommentsOnlyPaddedCommandsRemain) {
    CodeStyle style;
    style.CopyComment = false;
    const TestModel model = ModelOf({Line(0, "*CLS", "Clear"), Line(-CommandKindCode::Wait, "100", "Pause"),
                                     Line(0, "*IDN?", "Identify")});
    // Every line keeps its padding: the final clean removes blanks before line ends, so blanks
    // in front of the last CR LF stay.
    EXPECT_EQ(GenerateCode(model, style), "ibwrt(Inst0,'*CLS')      \r\n\r\nibwrt(Inst0,'*IDN?')     ");
    style.CopyCommand = false;
    EXPECT_EQ(GenerateCode(model, style), "");
}

TEST(GenerateCode, SelectedRowsAreCommandLinesOneLower) {
    std::vector<CommandLine> lines;
    for (int i = 0; i < 8; ++i)
        lines.push_back(Line(0, "CMD" + std::to_string(i), "L" + std::to_string(i)));
    const TestModel model = ModelOf(lines);
    CodeStyle style;
    style.CopyCommand = false;
    EXPECT_EQ(GenerateCode(model, style, RowSelection{3, 5}), "'L2\r\n'L3\r\n'L4");
    EXPECT_EQ(GenerateCode(model, style, RowSelection{8, 20}), "'L7");
    EXPECT_EQ(GenerateCode(model, style, RowSelection{0, 1}), "'L0"); // the caption row holds no line
    EXPECT_EQ(GenerateCode(ModelOf({}), style), "");
    // The comment column follows the selected lines only.
    style.CopyCommand = true;
    lines[0].CommandText = std::string(40, 'X');
    EXPECT_EQ(GenerateCode(ModelOf(lines), style, RowSelection{2, 2}), "ibwrt(Inst0,'CMD1')      'L1");
}

TEST(GenerateCode, PaddingCountsCharactersNotBytes) {
    const TestModel model = ModelOf({Line(2, "\xC2\xB5W", "micro"), Line(2, "mW", "milli")});
    EXPECT_EQ(GenerateCode(model, CodeStyle{}), "\xC2\xB5W             'micro\r\nmW             'milli");
}

TEST(GridToText, PadsColumnsToTheirWidestCellOnRequest) {
    const TextGrid grid = {{"Nr", "Command", "Result"}, {"1", "*IDN?", "ZEP,SIM"}, {"12", "*CLS", ""}};
    EXPECT_EQ(GridToText(grid, false), "Nr|Command|Result\r\n1|*IDN?|ZEP,SIM\r\n12|*CLS|\r\n");
    EXPECT_EQ(GridToText(grid, true), "Nr|Command|Result \r\n1 |*IDN?  |ZEP,SIM\r\n12|*CLS   |       \r\n");
    EXPECT_EQ(GridToText({{"a"}, {"b", "c"}}, true), "a| \r\nb|c\r\n"); // a short row gets empty cells
    EXPECT_EQ(GridToText({}, true), "");
}

} // namespace
} // namespace zep
