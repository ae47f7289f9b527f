// Helpers shared by the evaluator tests.
#include "ExprTestSupport.h"

#include "expr/MathParser.h"
#include "expr/NumberText.h"

#include <gtest/gtest.h>

#include <charconv>

namespace zep::test {

namespace {

void SetVars(MathParser& parser, std::string_view vars) {
    while (!vars.empty()) {
        const size_t end = vars.find(';');
        const std::string_view assignment = vars.substr(0, end);
        vars = end == std::string_view::npos ? std::string_view{} : vars.substr(end + 1);
        const size_t eq = assignment.find('=');
        ASSERT_NE(eq, std::string_view::npos) << assignment;
        const std::string name(assignment.substr(0, eq));
        const std::string_view text = assignment.substr(eq + 1);
        double value = 0;
        ASSERT_EQ(std::from_chars(text.data(), text.data() + text.size(), value).ec, std::errc{})
            << assignment;
        bool found = false;
        for (int32_t i = 1; i <= parser.VarTop(); ++i)
            if (parser.VarName(i) == name) {
                parser.VarValue(i, value);
                found = true;
            }
        ASSERT_TRUE(found) << "no variable " << name << " in " << parser.Expression();
    }
}

template <typename Evaluate>
std::string OutcomeWith(std::string_view input, std::string_view vars, Evaluate eval) {
    MathParser parser;
    if (!parser.StoreExpression(input)) return "parse: " + parser.ErrorDescription();
    SetVars(parser, vars);
    try {
        return FormatNumber15(eval(parser));
    } catch (const MathParserError& error) {
        EXPECT_EQ(error.Number(), 1001) << input;
        EXPECT_EQ(error.Source(), "MathParser") << input;
        EXPECT_EQ(error.Description(), parser.ErrorDescription()) << input;
        return "eval: " + error.Description();
    }
}

} // namespace

std::string Outcome(std::string_view input, std::string_view vars) {
    return OutcomeWith(input, vars, [](MathParser& p) { return p.Eval(); });
}

std::string OutcomeByTable(std::string_view input, std::string_view vars) {
    return OutcomeWith(input, vars, [](MathParser& p) { return p.EvalByTable(); });
}

void ExpectRows(std::initializer_list<Row> rows) {
    for (const Row& row : rows) {
        EXPECT_EQ(Outcome(row.input, row.vars), row.expected)
            << "equation: " << row.input << "  vars: " << row.vars;
        EXPECT_EQ(OutcomeByTable(row.input, row.vars), row.expected) << "by table: " << row.input;
    }
}

} // namespace zep::test
