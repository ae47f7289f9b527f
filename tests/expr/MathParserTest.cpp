// MathParser: the scan and its character rules, ordering and linking, errors and the calling protocol.
#include "ExprTestSupport.h"

#include "expr/MathParser.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

namespace zep::test {
namespace {

constexpr double TruePi = 3.141592653589793;

TEST(MathParserScan, BlanksJoinDigitsAndAreTrimmed) {
    ExpectRows({
        {"1 2", "12"},
        {"  1 + 2  ", "3"},
        {"1 2 . 5", "12.5"},
    });
}

TEST(MathParserScan, EmptyAndLoneOperandsGoThroughAnImplicitPlus) {
    ExpectRows({
        {"", "0"},
        {"()", "0"},
        {"5", "5"},
        {"x", "-4", "x=-4"},
        {"2+", "2"},
        {"+2", "2"},
        {"-2", "-2"},
    });
}

TEST(MathParserScan, BracketsOfBothKindsRaiseThePriority) {
    ExpectRows({
        {"(1+2)*3", "9"},
        {"{1+2}*3", "9"},
        {"(1+2}*3", "9"},
        {"((1+2)*(3+4))^2", "441"},
        {"2*(3+(4-1)*2)", "18"},
        // A closing bracket does not end the operand: the digits after it join it.
        {"(2)3", "23"},
    });
}

TEST(MathParserScan, EqualPrioritiesEvaluateLeftToRight) {
    ExpectRows({
        {"1+2*3", "7"},
        {"2^3^2", "64"},
        {"8/2/2", "2"},
        {"7-2-1", "4"},
        {"2*3^2", "18"},
        {"1-2*3+4", "-1"},
        {"2*3+4*5", "26"},
        {"100/10*2", "20"},
        {"2^2*3", "12"},
    });
}

TEST(MathParserScan, SignAfterAnOperatorSubtractsFromZero) {
    ExpectRows({
        {"2*-3", "-3"},
        {"-x^2", "-9", "x=3"},
        {"2^-1", "0"},                                         // (2^0)-1
        {"10/-2", "eval: Evaluation error <10 / 0> at pos:3"}, // (10/0)-2
        {"-(1+2)", "-3"},
        {"3--2", "1"}, // (3-0)-2
        {"3+-2", "1"},
    });
}

TEST(MathParserScan, ExponentSignsAndNamesEndingInE) {
    ExpectRows({
        {"1E-3", "0.001"},
        {"1e+3", "1000"},
        {"2.5E+2*2", "500"},
        {"time-1", "7", "time-1=7"},
        {"Rate+1", "3", "Rate+1=3"},
    });
}

TEST(MathParserScan, NumbersBeyondTheDoubleRange) {
    ExpectRows({
        {"1E308", "1E+308"},
        {"1E-999", "0"},
        {"0.0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
         "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
         "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
         "0000000000000000000000000000000000000000000001",
         "0"},
        // Too large for a double: said as such, not taken for a bad name.
        {"1E999", "parse: number out of range: 1E999"},
        {"2*1e309", "parse: number out of range: 1e309"},
        {"1e308", "1E+308"},
    });
}

TEST(MathParserScan, ImpliedMultiplicationBeforeXYZ) {
    ExpectRows({
        {"2x", "8", "x=4"},
        {"2 x", "8", "x=4"},
        {"3y+1", "7", "y=2"},
        {"4Z", "-8", "Z=-2"},
        {"2x^2", "32", "x=4"}, // 2*(x^2)
        {"x2y", "12", "x2=2;y=6"},
        {"0.5x", "2", "x=4"},
    });
}

TEST(MathParserScan, FactorialKeepsItsOperandForWhatFollows) {
    ExpectRows({
        {"3!", "6"},
        {"0!", "1"},
        {"3!+1", "7"},
        {"3!*2", "12"},
        {"2^3!", "64"},
        {"(1+2)!", "6"},
        {"x!", "24", "x=4"},
    });
}

TEST(MathParserScan, ComparisonsOfOneAndTwoCharacters) {
    ExpectRows({
        {"3<=4", "1"},
        {"3=<4", "1"},
        {"4>=4", "1"},
        {"4=>5", "0"},
        {"3<>4", "1"},
        {"3<>3", "0"},
        {"3=3", "1"},
        {"3<4", "1"},
        {"3>4", "0"},
        {"1+2=3", "1"},
        {"2*3>5", "1"},
        {"3< =4", "parse: missing argument"},
        {"3==3", "eval: Evaluation error <3 == 3> at pos:3"},
        {"3><4", "eval: Evaluation error <3 >< 4> at pos:3"},
    });
}

TEST(MathParserScan, BarsAreAbsoluteValues) {
    ExpectRows({
        {"|x|*|y|", "6", "x=-2;y=3"},
        {"|-3|", "3"},
        {"2*|1-4|", "6"},
        {"|x-|y||", "4", "x=1;y=-5"},
        {"|x||y|", "parse: syntax error at pos:4"},
        {"|x", "parse: abs symbols |.| mismatch"},
        {"abs(-2)", "2"},
    });
}

TEST(MathParserScan, TwoArgumentFunctionsTakeTheirNameAtTheSemicolon) {
    ExpectRows({
        {"max(2;5)", "5"},
        {"MAX(2;5)", "5"},
        {"max(4)", "4"},
        {"2*max(1;3)", "6"},
        {"max(1+2;3)", "3"},
        {"max(2;5)-min(2;5)", "3"},
        {"max(1;2;3)", "parse: syntax error at pos:8"},
        {"max(min(1;2);3)", "parse: syntax error at pos:13"},
        {"1;2", "parse: syntax error at pos:2"},
    });
}

TEST(MathParserScan, FunctionsBindBeforeTheOperatorsAroundThem) {
    ExpectRows({
        {"2*x+sin(y)", "6", "x=3;y=0"},
        {"sin(0)+cos(0)*2", "2"},
        {"sqr(x*x+y*y)", "5", "x=3;y=4"},
        {"sqr(sqr(16))", "2"},
        {"2^sqr(9)", "8"},
        {"sqr(9)^2", "9"},
        {"-sqr(4)", "-2"},
        {"Sin(0)", "0"},
    });
}

TEST(MathParserScan, PiAndCaseSensitiveVariables) {
    ExpectRows({
        {"pi", "3.14159265358979"},
        {"PI", "3.14159265358979"},
        {"Pi*2", "6.28318530717958"},
        {"A+a", "3", "A=1;a=2"},
        {"A+a+A", "4", "A=1;a=2"},
    });
}

TEST(MathParserErrors, ParseErrorTexts) {
    ExpectRows({
        {"|x", "parse: abs symbols |.| mismatch"},
        {"2(3)", "parse: Function <2> unknown at pos 2"},
        {"1+foo(2)", "parse: Function <foo> unknown at pos 6"},
        {"(1+2))", "parse: Too many closing brackets at pos 6"},
        {")", "parse: Too many closing brackets at pos 1"},
        {"1;2", "parse: syntax error at pos:2"},
        {"2**3", "parse: missing argument"},
        {"*3", "parse: missing argument"},
        {"1.2.3", "parse: variable name must start with a letter: 1.2.3"},
        {"_a+1", "parse: variable name must start with a letter: _a"},
        {"(1+2", "parse: Not enough closing brackets"},
        {"sin(1", "parse: Not enough closing brackets"},
    });
}

TEST(MathParserErrors, EvaluationErrorTextsNameTheEntryAndItsArguments) {
    ExpectRows({
        {"1/0", "eval: Evaluation error <1 / 0> at pos:2"},
        {"1/x", "eval: Evaluation error <1 / 0> at pos:2", "x=0"},
        {"0.1/x", "eval: Evaluation error <0.1 / 0> at pos:4", "x=0"},
        {"ln(0)", "eval: Evaluation error <ln(0)> at pos:3"},
        {"LN(0)", "eval: Evaluation error <LN(0)> at pos:3"},
        {"2+ln(-0.5)", "eval: Evaluation error <ln(-0.5)> at pos:5"},
        {"round(1;100000)", "eval: Evaluation error <round(1 ,100000)> at pos:8"},
        {"7%0", "eval: Evaluation error <7 % 0> at pos:2"},
        {"171!", "eval: Evaluation error <!(171)> at pos:4"},
        {"|x|/0", "eval: Evaluation error <5 / 0> at pos:4", "x=-5"},
        {"1E308*10", "eval: Evaluation error <1E+308 * 10> at pos:6"},
        {"0^(-1)", "eval: Evaluation error <0 ^ -1> at pos:2"},
        {"(-8)^(1/3)", "eval: Evaluation error <-8 ^ 0.333333333333333> at pos:5"},
        {"2147483648%2", "eval: Evaluation error <2147483648 % 2> at pos:11"},
        // The first fault in evaluation order is reported, not the leftmost.
        {"ln(0)+1/0", "eval: Evaluation error <ln(0)> at pos:3"},
        {"1/0+sqr(-1)", "eval: Evaluation error <sqr(-1)> at pos:8"},
    });
}

TEST(MathParserErrors, EvalRaisesParseErrorsAs1001) {
    MathParser parser;
    EXPECT_FALSE(parser.StoreExpression("2(3)"));
    try {
        parser.Eval();
        FAIL() << "Eval after a failed parse must raise";
    } catch (const MathParserError& error) {
        EXPECT_EQ(error.Number(), MathParserEvalError);
        EXPECT_EQ(error.Source(), "MathParser");
        EXPECT_EQ(error.Description(), "Function <2> unknown at pos 2");
    }
}

TEST(MathParserErrors, DescriptionKeepsEveryByteOfTheEquation) {
    MathParser parser;
    const std::string text("1\0+2", 4);
    EXPECT_FALSE(parser.StoreExpression(text));
    EXPECT_EQ(parser.ErrorDescription(), "variable name must start with a letter: " + std::string("1\0", 2));
    try {
        parser.Eval();
        FAIL();
    } catch (const MathParserError& error) {
        EXPECT_EQ(error.Description(), parser.ErrorDescription());
    }
}

TEST(MathParserErrors, Eval1RaisesAs1002) {
    MathParser parser;
    ASSERT_TRUE(parser.StoreExpression("x+y"));
    try {
        parser.Eval1(1);
        FAIL() << "two variables";
    } catch (const MathParserError& error) {
        EXPECT_EQ(error.Number(), MathParserEval1Error);
        EXPECT_EQ(error.Source(), "MathParser");
        EXPECT_EQ(error.Description(), "too many variables");
        EXPECT_EQ(parser.ErrorDescription(), "too many variables");
    }
    ASSERT_TRUE(parser.StoreExpression("1/x"));
    try {
        parser.Eval1(0);
        FAIL() << "division by zero";
    } catch (const MathParserError& error) {
        EXPECT_EQ(error.Number(), MathParserEval1Error);
        EXPECT_EQ(error.Description(), "Evaluation error <1 / 0> at pos:2");
    }
    ASSERT_FALSE(parser.StoreExpression("(x"));
    EXPECT_THROW(parser.Eval1(1), MathParserError);
}

TEST(MathParserErrors, NonFiniteVariableValuesAreEvaluationErrors) {
    MathParser parser;
    ASSERT_TRUE(parser.StoreExpression("x>1"));
    parser.VarValue(1, std::numeric_limits<double>::quiet_NaN());
    try {
        parser.Eval();
        FAIL() << "NaN must not pass";
    } catch (const MathParserError& error) {
        EXPECT_EQ(error.Description(), "Evaluation error <NAN > 1> at pos:2");
    }
    ASSERT_TRUE(parser.StoreExpression("sin(x)"));
    EXPECT_THROW(parser.Eval1(std::numeric_limits<double>::infinity()), MathParserError);
    EXPECT_EQ(parser.ErrorDescription(), "Evaluation error <sin(INF)> at pos:4");
}

TEST(MathParserErrors, UnknownUnitTextStaysBehindAfterASuccessfulParse) {
    MathParser parser;
    ASSERT_TRUE(parser.StoreExpression("1E-3"));
    EXPECT_EQ(parser.ErrorDescription(), "unknown unit of measure: E-3");
    ASSERT_TRUE(parser.StoreExpression("1+1"));
    EXPECT_EQ(parser.ErrorDescription(), "");
}

TEST(MathParserCapacity, HundredEntriesAndHundredVariables) {
    std::string hundred = "1";
    for (int i = 0; i < 100; ++i)
        hundred += "+1";
    EXPECT_EQ(Outcome(hundred), "101");
    EXPECT_EQ(Outcome(hundred + "+1"), "parse: too many operations (at most 100) at pos 202");
    EXPECT_EQ(Outcome("sin(" + hundred + ")"), "parse: too many operations (at most 100) at pos 204");
}

TEST(MathParserCapacity, TooManyVars) {
    // 100 distinct variables fit (with 99 operators); the 101st fails.
    std::string vars = "v1";
    for (int i = 2; i <= 100; ++i)
        vars += "+v" + std::to_string(i);
    MathParser parser;
    ASSERT_TRUE(parser.StoreExpression(vars)) << parser.ErrorDescription();
    EXPECT_EQ(parser.VarTop(), 100);
    for (int32_t i = 1; i <= 100; ++i)
        parser.VarValue(i, i);
    EXPECT_EQ(parser.Eval(), 5050);

    // 101 names need only 100 operators, so the variable table overflows first.
    EXPECT_FALSE(parser.StoreExpression(vars + "+v101"));
    EXPECT_EQ(parser.ErrorDescription(), "too many Vars");
}

TEST(MathParserProtocol, VariablesInOrderOfFirstAppearance) {
    MathParser parser;
    ASSERT_TRUE(parser.StoreExpression("  b*a+b-c  "));
    EXPECT_EQ(parser.Expression(), "b*a+b-c");
    ASSERT_EQ(parser.VarTop(), 3);
    EXPECT_EQ(parser.VarName(1), "b");
    EXPECT_EQ(parser.VarName(2), "a");
    EXPECT_EQ(parser.VarName(3), "c");
    EXPECT_EQ(parser.VarName(4), "");
    EXPECT_EQ(parser.VarName(0), "");
    parser.VarValue(1, 2);
    parser.VarValue(2, 3);
    parser.VarValue(3, 1);
    parser.VarValue(4, 99); // ignored
    EXPECT_EQ(parser.VarValue(4), 0);
    EXPECT_EQ(parser.Eval(), 7);
    // Repeated evaluation with new values, no new parse.
    parser.VarValue(3, 10);
    EXPECT_EQ(parser.Eval(), -2);
    EXPECT_EQ(parser.VarValue(3), 10);
    // A new expression resets the variable table.
    ASSERT_TRUE(parser.StoreExpression("z"));
    EXPECT_EQ(parser.VarTop(), 1);
    EXPECT_EQ(parser.VarValue(1), 0);
}

TEST(MathParserProtocol, Eval1PutsXIntoEveryVariableSlot) {
    MathParser parser;
    ASSERT_TRUE(parser.StoreExpression("x*x+x"));
    EXPECT_EQ(parser.Eval1(3), 12);
    EXPECT_EQ(parser.Eval1(-1), 0);
    EXPECT_EQ(parser.VarValue(1), 0) << "Eval1 does not change the variable table";
    parser.VarValue(1, 2);
    EXPECT_EQ(parser.Eval(), 6);
    ASSERT_TRUE(parser.StoreExpression("2+3"));
    EXPECT_EQ(parser.Eval1(100), 5);
}

TEST(MathParserProtocol, EvalBeforeAnyExpressionFails) {
    MathParser parser;
    EXPECT_THROW(parser.Eval(), MathParserError);
}

TEST(MathParserProtocol, ZetaIsOfferedDirectly) {
    EXPECT_NEAR(MathParser::Zeta_(2), TruePi * TruePi / 6, 1e-13);
    MathParser parser;
    EXPECT_NEAR(parser.Zeta_(4), std::pow(TruePi, 4) / 90, 1e-13);
    EXPECT_THROW(MathParser::Zeta_(1), MathParserError);
}

TEST(MathParserTable, OrderAndLinksOfOnePlusTwoTimesThree) {
    MathParser parser;
    ASSERT_TRUE(parser.StoreExpression("1+2*3"));
    const auto table = parser.Table();
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[1].Fun, "+");
    EXPECT_EQ(table[1].PriLvl, 2);
    EXPECT_EQ(table[2].Fun, "*");
    EXPECT_EQ(table[2].PriLvl, 3);
    EXPECT_EQ(table[1].PriIdx, 2); // "*" first
    EXPECT_EQ(table[2].PriIdx, 1);
    EXPECT_EQ(table[2].ArgOf, 1);
    EXPECT_EQ(table[2].ArgIdx, 2);
    EXPECT_EQ(table[1].ArgOf, 0);
    EXPECT_EQ(table[1].Arg[0].Value, 1);
    EXPECT_EQ(table[2].Arg[0].Value, 2);
    EXPECT_EQ(table[2].Arg[1].Value, 3);
}

TEST(MathParserTable, ImpliedMultiplicationAndFunctionEntries) {
    MathParser parser;
    ASSERT_TRUE(parser.StoreExpression("2x+sin(y)"));
    const auto table = parser.Table();
    ASSERT_EQ(table.size(), 4u);
    EXPECT_EQ(table[1].Fun, "*");
    EXPECT_EQ(table[1].PosInExpr, 2);
    EXPECT_EQ(table[1].Arg[1].Name, "x");
    EXPECT_EQ(table[3].Fun, "sin");
    EXPECT_EQ(table[3].Id, 11);
    EXPECT_EQ(table[3].ArgTop, 1);
    EXPECT_EQ(table[3].PriLvl, 10);
    EXPECT_EQ(table[3].PosInExpr, 7);
    EXPECT_EQ(table[3].ArgOf, 2);
    EXPECT_EQ(table[3].ArgIdx, 2);
    // The slot receiving sin's result lost its variable reference to y.
    EXPECT_EQ(table[2].Arg[1].Idx, 0);
    EXPECT_EQ(table[2].Arg[1].Name, "");
    EXPECT_EQ(table[3].Arg[0].Name, "y");
}

TEST(MathParserTable, DumpWritesTheDiagnosticColumns) {
    MathParser parser;
    ASSERT_TRUE(parser.StoreExpression("1+2"));
    parser.ET_Dump(); // no stream: no effect
    std::ostringstream out;
    parser.ET_Dump(&out);
    EXPECT_EQ(out.str().substr(0, 12), "Id\tFun\tArgTo");
    EXPECT_NE(out.str().find("\n0\t+\t2\t0\t\t1\t0\t\t2\t0\t0\t"), std::string::npos) << out.str();
}

} // namespace
} // namespace zep::test
