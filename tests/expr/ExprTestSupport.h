// Helpers shared by the evaluator tests: the outcome of one equation as one text.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace zep::test {

// One row of a case table: the equation, the expected outcome, and variable values ("x=3;y=-2").
struct Row {
    std::string_view input;
    std::string_view expected;
    std::string_view vars = {};
};

// The value of the equation as 15-digit text; "parse: " + message when StoreExpression fails;
// "eval: " + message when Eval raises (which must then be error 1001 from "MathParser").
std::string Outcome(std::string_view input, std::string_view vars = {});

// The same through EvalByTable, the slot-by-slot walk of the expression table.
std::string OutcomeByTable(std::string_view input, std::string_view vars = {});

// Checks every row through Eval and through EvalByTable.
void ExpectRows(std::initializer_list<Row> rows);

} // namespace zep::test
