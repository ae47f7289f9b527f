// Test-set files: groups, test lists with headings, set variables, the message file, selection.
#include "LoaderFixture.h"

#include "common/TextFile.h"

namespace zep {
namespace {

using Strings = std::vector<std::string>;
using TestSetTest = LoaderFixture;

std::string Keys(const std::vector<TestEntry>& entries) {
    std::string out;
    for (const auto& e : entries)
        out += e.Key + "@" + std::to_string(e.Level) + (e.Heading ? "H " : " ");
    return out;
}

TEST_F(TestSetTest, ReadsGroupsSetVariablesAndMessageFile) {
    Write("Bench.ZEP_SET", "// comment\r\n"
                           "VARIABLE|Freq|f|IsHz|0.0|1GHz\r\n"
                           "variable|Low\r\n"
                           "MsgFile| Notes.rtf \r\n"
                           "Group A\r\n"
                           ">T1|first\r\n"
                           "\r\n"
                           "  Group B  \r\n");
    ASSERT_TRUE(loader.OpenTestSet(JoinPath(Dir(), "Bench.ZEP_SET")));
    EXPECT_EQ(model.Groups, (Strings{"Group A", "Group B"}));
    ASSERT_EQ(model.SetVariables.size(), 2U);
    EXPECT_EQ(model.SetVariables[0].Result.Value, "1GHz");
    EXPECT_EQ(model.SetVariables[1].Name, "Low");
    EXPECT_EQ(model.MessageFilePath, JoinPath(Dir(), "Notes.rtf"));
    EXPECT_EQ(model.TestSetFileName, "Bench.ZEP_SET");
    EXPECT_TRUE(loader.Findings().empty());
}

TEST_F(TestSetTest, MissingTestSetLoadsNothingAndReportsNothing) {
    EXPECT_FALSE(loader.OpenTestSet(JoinPath(Dir(), "Nope.ZEP_SET")));
    EXPECT_TRUE(model.Groups.empty());
    EXPECT_TRUE(loader.Findings().empty());
}

TEST_F(TestSetTest, TestListHasLevelsAndNumberedHeadings) {
    Write("S.ZEP_SET", "Power\n"
                       ">Setup\n"
                       ">>Level|Level test\n"
                       ">>>Deep | deep one \n"
                       ">>Setup again\n"
                       "\n"
                       ">Last|last\n"
                       "// a comment ends the list\n"
                       ">Hidden|not listed\n"
                       "Other\n"
                       ">O1|o\n");
    ASSERT_TRUE(loader.OpenTestSet(JoinPath(Dir(), "S.ZEP_SET")));
    const auto power = loader.TestList("Power");
    EXPECT_EQ(Keys(power), "BASE_000@0H Level@1 Deep@2 BASE_001@1H Last@0 ");
    EXPECT_EQ(power[2].Text, "deep one");
    EXPECT_EQ(power[0].Text, "Setup");
    EXPECT_EQ(Keys(loader.TestList("Other")), "O1@0 ");
    EXPECT_TRUE(loader.TestList("Nobody").empty());
}

TEST_F(TestSetTest, GroupLineMustMatchTheWholeName) {
    Write("S.ZEP_SET", "Power Sweep\n>Sweep|s\nPower\n>Single|p\n");
    ASSERT_TRUE(loader.OpenTestSet(JoinPath(Dir(), "S.ZEP_SET")));
    EXPECT_EQ(Keys(loader.TestList("Power")), "Single@0 ");
    EXPECT_EQ(Keys(loader.TestList("Power Sweep")), "Sweep@0 ");
}

TEST_F(TestSetTest, GroupsOfOneNameEachListTheirOwnTests) {
    Write("S.ZEP_SET", "G\n>A|first\nOther\n>O|o\nG\n>B|second\n>>C|third\n");
    ASSERT_TRUE(loader.OpenTestSet(JoinPath(Dir(), "S.ZEP_SET")));
    ASSERT_EQ(model.Groups, (Strings{"G", "Other", "G"}));
    EXPECT_EQ(Keys(loader.TestListAt(0)), "A@0 ");
    EXPECT_EQ(Keys(loader.TestListAt(2)), "B@0 C@1 ");
    EXPECT_EQ(loader.TestListAt(2)[1].Line, 7U);
    EXPECT_EQ(Keys(loader.TestList("G")), "A@0 "); // by name: the first group of that name
    EXPECT_TRUE(loader.TestListAt(3).empty());
}

} // namespace
} // namespace zep
