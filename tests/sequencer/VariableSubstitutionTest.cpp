// Inline equations in command texts, answer variables and the variable tables, over a model with
// variables in all three tables and real files in a temporary test directory.
#include "sequencer/VariableSubstitution.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace zep {
namespace {

class VariableSubstitutionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        directory_ = std::filesystem::temp_directory_path() /
                     ("zep_sequencer_" + std::string(info->name()) + "_" + std::to_string(::getpid()));
        std::filesystem::remove_all(directory_);
        std::filesystem::create_directories(directory_);
        model.TestDirectory = directory_.string();

        Add(model.CaseVariables, "Start", "100");
        Add(model.CaseVariables, "a", "3");
        Add(model.CaseVariables, "b", "7");
        Add(model.CaseVariables, "Level", "1;2;3");
        Add(model.CaseVariables, "Name", "abc");
        Add(model.CaseVariables, "Pct", "%a%", ResultKind::String);
        Add(model.CaseVariables, "Dur", "10s");
        Add(model.CaseVariables, "Share", "5%");
        Add(model.CaseVariables, "Half", ".5");
        Add(model.CaseVariables, "NegHalf", "-.5");
        Add(model.CaseVariables, "Mixed", "1,2;3,4");
        Add(model.CaseVariables, "Tie", "1,2;3");
        Add(model.CaseVariables, "Colon", "a:b:c");
        Add(model.CaseVariables, "Dup", "first");
        Add(model.CaseVariables, "Dup", "second");
        Add(model.CaseVariables, "Shadow", "case");
        Add(model.SetVariables, "Shadow", "set");
        Add(model.SetVariables, "SetOnly", "42");
        Add(model.RunVariables, "Shadow", "run");
        Add(model.RunVariables, "Stale", "stale");
        model.RunVariables.back().Result.RawValue = "4;5;6";
    }
    void TearDown() override { std::filesystem::remove_all(directory_); }

    static void Add(std::vector<VariableDef>& table, const std::string& name, const std::string& value,
                    int32_t kind = ResultKind::Number) {
        VariableDef variable;
        variable.Name = name;
        variable.Result.Kind = kind;
        variable.Result.Value = value;
        variable.Result.RawValue = value;
        table.push_back(variable);
    }

    std::string Write(const std::string& name, const std::string& bytes) {
        const auto path = directory_ / name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }

    struct Substituted {
        std::string Text;
        std::string ErrorText;
        std::string ErrorDetail;
        bool IsFile = false;
    };
    Substituted Substitute(const std::string& command) {
        CommandLine line(0, 0, command, "");
        Substituted out;
        out.Text = SubstituteEquations(model, line, out.IsFile);
        out.ErrorText = line.ErrorText;
        out.ErrorDetail = line.ErrorDetail;
        return out;
    }

    TestModel model;
    std::filesystem::path directory_;
};

TEST_F(VariableSubstitutionTest, ReplacesEquationsBetweenPercentPairs) {
    struct Case {
        const char* command;
        const char* sent;
    };
    const Case cases[] = {
        {"FREQ %Start+10%", "FREQ 110"},
        {"%a%,%a%", "3,3"},
        {"NO EQUATION", "NO EQUATION"},
        {"VOLT 5%", "VOLT 5%"},   // a single "%" is text
        {"A %a% B %", "A 3 B %"}, // so is an unpaired last one
        {"%%", "0"},              // an empty equation is 0
        {"%b%b%a%b%", "7b3b%"},   // text between two pairs is not a third pair
        {"%Pct% %a%", "%a% 3"},   // a value is not searched for equations again
        {"%Level[1]%", "2"},      // element index
        {"%Level[5]%", "1;2;3"},  // outside the list: the whole value
        {"%Name%", "abc"},        // a text is taken as it is
        {"%Name*2%", "abc"},      // even inside arithmetic
        {"%Dur*2%", "20"},        // 10s, 5%, .5 and -.5 are numbers
        {"%Share*2%", "10"},
        {"%Half*2%", "1"},
        {"%NegHalf*2%", "-1"},
        {"SOUR:FREQ %10MHz/4%;POW %-22.5%", "SOUR:FREQ 2500000;POW -22.5"},
        {"%1E20*10%", "1E+21"},
        {"%0.1+0.2%", "0.30000000000000004"},
        {"%SetOnly%", "42"},
        {"%Shadow%", "run"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        const Substituted out = Substitute(c.command);
        EXPECT_EQ(out.Text, c.sent);
        EXPECT_EQ(out.ErrorText, "(OK)");
        EXPECT_EQ(out.ErrorDetail, "");
        EXPECT_FALSE(out.IsFile);
    }
}

TEST_F(VariableSubstitutionTest, FailedEquationsMakeAParsErrorWithEveryMessageAfterATab) {
    struct Case {
        const char* command;
        const char* sent;
        const char* detail;
    };
    const Case cases[] = {
        {"X %Nope*2%", "X ", "\tvariable <Nope> not defined\r\n"},
        {"%Nope*Gone%", "", "\tvariable <Nope> not defined\r\nvariable <Gone> not defined\r\n"},
        {"%2**3%", "", "\tParser could not process the equation \r\n2**3\r\n(missing argument)"},
        {"%1/0%", "", "\tEvaluation error <1 / 0> at pos:2"},
        // The other equations of the line are still substituted; a repeated one reports once.
        {"%Nope% %a% %2**3% %Nope%", " 3  ",
         "\tvariable <Nope> not defined\r\n\tParser could not process the equation \r\n2**3\r\n(missing "
         "argument)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        const Substituted out = Substitute(c.command);
        EXPECT_EQ(out.Text, c.sent);
        EXPECT_EQ(out.ErrorText, "PARS ERROR");
        EXPECT_EQ(out.ErrorDetail, c.detail);
    }
}

TEST_F(VariableSubstitutionTest, ASuccessfulSubstitutionClearsTheLastError) {
    CommandLine line(0, 0, "%Nope%", "");
    bool isFile = true;
    SubstituteEquations(model, line, isFile);
    ASSERT_EQ(line.ErrorText, "PARS ERROR");
    EXPECT_FALSE(isFile);
    line.CommandText = "%a%";
    EXPECT_EQ(SubstituteEquations(model, line, isFile), "3");
    EXPECT_EQ(line.ErrorText, "(OK)");
    EXPECT_EQ(line.ErrorDetail, "");
}

TEST_F(VariableSubstitutionTest, NumbersForCommandsAreShortestRoundTripTextWithAPoint) {
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {
        {110, "110"},
        {-22.5, "-22.5"},
        {-0.0, "0"},
        {1e21, "1E+21"},
        {1e-7, "1E-07"},
        {0.25, "0.25"},
        {1.0 / 3, "0.3333333333333333"},
        {123456789012, "123456789012"},
        {-1.5e-300, "-1.5E-300"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CommandNumberText(c.value), c.text) << c.text;
        EXPECT_EQ(std::stod(CommandNumberText(c.value)), c.value) << c.text;
    }
}

TEST_F(VariableSubstitutionTest, FindsVariablesInRunThenCaseThenSetTables) {
    struct Case {
        const char* reference;
        bool found;
        const char* value;
        int source;
    };
    const Case cases[] = {
        {"Start", true, "100", FromCaseVariables},
        {" Start\r\n", true, "100", FromCaseVariables},
        {"start", false, "", 0}, // names are case-sensitive
        {"Shadow", true, "run", FromRunVariables},
        {"SetOnly", true, "42", FromSetVariables},
        {"Dup", true, "first", FromCaseVariables},
        {"Level[0]", true, "1", FromCaseVariables},
        {"Level[2]", true, "3", FromCaseVariables},
        {"Level[3]", true, "1;2;3", FromCaseVariables},
        {"Level[-1]", true, "1;2;3", FromCaseVariables},
        {"Level[1]]", true, "2", FromCaseVariables},
        {"Mixed[1]", true, "2;3", FromCaseVariables}, // "," splits into the most parts
        {"Tie[0]", true, "1,2;3", FromCaseVariables}, // no strict winner: one element
        {"Tie[1]", true, "1,2;3", FromCaseVariables},
        {"Colon[2]", true, "c", FromCaseVariables},
        {"Stale", true, "stale", FromRunVariables},
        {"Stale[2]", true, "6", FromRunVariables}, // elements come from the raw value
        {"Nope[1]", false, "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reference);
        ResultSpec spec;
        int source = -1;
        ASSERT_EQ(FindVariable(model, c.reference, spec, source), c.found);
        if (!c.found) continue;
        EXPECT_EQ(spec.Value, c.value);
        EXPECT_EQ(source, c.source);
    }
}

TEST_F(VariableSubstitutionTest, FindVariableKindUsesTheSameSearch) {
    Add(model.SetVariables, "Trace", "t.bin", ResultKind::BinFile);
    Add(model.CaseVariables, "Label", "x", ResultKind::String);
    EXPECT_EQ(FindVariableKind(model, "Trace"), ResultKind::BinFile);
    EXPECT_EQ(FindVariableKind(model, "Label"), ResultKind::String);
    EXPECT_EQ(FindVariableKind(model, "Level[1]"), ResultKind::Number);
    EXPECT_EQ(FindVariableKind(model, "Nope"), ResultKind::NoResult);
}

TEST_F(VariableSubstitutionTest, RunVariablesAreUpdatedInPlaceOrAppendedAndHideCaseVariables) {
    ResultSpec spec;
    spec.Kind = ResultKind::List;
    spec.RawValue = "7;8;9";
    spec.Value = "7;8;9";
    spec.Format = "0.0";
    spec.ValueText = "3 values";
    spec.NoStatistics = true;
    SetRunVariable(model, "Start", spec);
    ASSERT_EQ(model.RunVariables.size(), 3U);
    EXPECT_EQ(model.RunVariables.back().Name, "Start");
    EXPECT_EQ(model.RunVariables.back().Result, spec);
    EXPECT_EQ(Substitute("FREQ %Start[1]%").Text, "FREQ 8");

    Add(model.RunVariables, "Start", "old");
    spec.Value = spec.RawValue = "5";
    SetRunVariable(model, "Start", spec);
    ASSERT_EQ(model.RunVariables.size(), 4U);
    EXPECT_EQ(model.RunVariables[2].Result, spec);
    EXPECT_EQ(model.RunVariables[3].Result, spec);
    EXPECT_EQ(model.CaseVariables[0].Result.Value, "100");
}

class AnswerVariableSubstitutionTest : public VariableSubstitutionTest {
  protected:
    ReportDocument report;
    ReportOptions options;
    bool blockError = false;
    ReportContext context{report, options, nullptr, 8, [this] { blockError = true; }};
};

TEST_F(AnswerVariableSubstitutionTest, TakesTheFirstBracketedNameOutOfTheCommand) {
    struct Case {
        const char* text;
        const char* rest;
        const char* name;
    };
    const Case cases[] = {
        {"MEAS? <Power>", "MEAS?", "Power"},
        {"MEAS? < Power >", "MEAS?", "Power"},
        {"  <v>  READ?  ", "READ?", "v"},
        {"A <x> B <y>", "AB <y>", "x"}, // no blank is put between the parts
        {"READ? <>", "READ?", ""},
        {"NO ANSWER VARIABLE", "NO ANSWER VARIABLE", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string name = "previous";
        EXPECT_EQ(ExtractAnswerVariable(c.text, name, context), c.rest);
        EXPECT_EQ(name, c.name);
    }
    EXPECT_TRUE(report.Empty());
}

TEST_F(AnswerVariableSubstitutionTest, AnOpenBracketWithoutCloseIsAParserError) {
    options.StopOnBlockError = true;
    std::string name = "previous";
    EXPECT_EQ(ExtractAnswerVariable("MEAS? <Power", name, context), "");
    EXPECT_EQ(name, "");
    EXPECT_EQ(report.PlainLines(),
              (std::vector<std::string>{"Parser error", "  variable open with <, but no close ...",
                                        "  MEAS? <Power"}));
    EXPECT_TRUE(blockError);
}

TEST_F(AnswerVariableSubstitutionTest, AnAnswerStoredUnderItsNameFeedsLaterEquations) {
    std::string name;
    const std::string sent = ExtractAnswerVariable("MEAS? <P>", name, context);
    ASSERT_EQ(sent, "MEAS?");
    ResultSpec answer;
    answer.Kind = ResultKind::Number;
    answer.RawValue = answer.Value = "-12.5";
    SetRunVariable(model, name, answer);
    EXPECT_EQ(Substitute("POW %P+2.5%").Text, "POW -10");
}

TEST_F(VariableSubstitutionTest, FileVariablesYieldTheFileContent) {
    std::string content(1234, 'x');
    content[0] = '\0';
    content.replace(10, 3, "%a%"); // file bytes are never taken for equations
    content.back() = '\n';
    Write("trace.bin", content);
    Write("Sub/Data.RAW", std::string("raw\0bytes", 9));
    const std::string absolute = Write("abs.bin", "12");
    Add(model.CaseVariables, "Trace", "trace.bin", ResultKind::BinFile);
    Add(model.CaseVariables, "Raw", " sub\\data.raw\r\n", ResultKind::RawFile);
    Add(model.CaseVariables, "Abs", absolute, ResultKind::BinFile);
    Add(model.SetVariables, "Empty", "empty.bin", ResultKind::BinFile);
    Write("empty.bin", "");

    struct Case {
        const char* command;
        std::string sent;
    };
    const Case cases[] = {
        {"MMEM:DATA 'x',%Trace%", "MMEM:DATA 'x',#41234" + content},
        {"%Trace%", "#41234" + content},
        {"%Raw% %a%", std::string("raw\0bytes", 9) + " 3"},
        {"%Abs%", "#1212"},
        {"%Empty%", "#10"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        const Substituted out = Substitute(c.command);
        EXPECT_EQ(out.Text, c.sent);
        EXPECT_EQ(out.ErrorText, "(OK)");
        EXPECT_TRUE(out.IsFile);
    }
}

TEST_F(VariableSubstitutionTest, AMissingFileIsNamedWithItsPathInTheTestDirectory) {
    Add(model.CaseVariables, "Trace", "none.bin", ResultKind::BinFile);
    std::filesystem::create_directories(directory_ / "folder.bin");
    Add(model.CaseVariables, "Folder", "folder.bin", ResultKind::RawFile);
    const Substituted out = Substitute("DATA %Trace%;%Folder%;%a%");
    EXPECT_EQ(out.Text, "DATA ;;3");
    EXPECT_EQ(out.ErrorText, "PARS ERROR");
    EXPECT_EQ(out.ErrorDetail, "\tmissing file <" + (directory_ / "none.bin").string() + ">" +
                                   "\tmissing file <" + (directory_ / "folder.bin").string() + ">");
    EXPECT_FALSE(out.IsFile);
}

} // namespace
} // namespace zep
