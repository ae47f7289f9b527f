// MathParser: turns one line of arithmetic (2*x+sin(y), 10MHz/4) into a flat, priority-ordered
// table of operations once, then evaluates it as often as needed with new variable values.
#pragma once

#include "expr/MathParserError.h"

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace zep {

// One argument slot of an expression-table entry.
struct ExprSlot {
    int32_t Idx = 0;  // index into the variable table, 0 when the slot holds no variable
    std::string Name; // variable name or empty
    double Value = 0;
};

// One operator or function of the expression, as the scan, the ordering and the linking leave it.
struct ExprEntry {
    int32_t Id = 0;  // operation number, -1 for a name outside the table
    std::string Fun; // the operator or function as written
    ExprSlot Arg[2]; // first and second argument slot
    int32_t ArgTop = 0;
    int32_t ArgOf = 0;  // entry receiving this entry's result, 0 for the root
    int32_t ArgIdx = 0; // slot (1 or 2) of ArgOf that receives it
    double Value = 0;   // result after evaluation
    int32_t PriLvl = 0; // 10 x bracket depth + operator rank
    int32_t PosInExpr = 0;
    int32_t PriIdx = 0; // the k-th entry's PriIdx names the entry evaluated k-th
};

class MathParser {
  public:
    static constexpr int32_t MaxEntries = 100;
    static constexpr int32_t MaxVars = 100;

    // Trims blanks, keeps and parses the text; false with the reason in ErrorDescription.
    bool StoreExpression(std::string_view text);
    const std::string& Expression() const { return expression_; }
    int32_t VarTop() const { return static_cast<int32_t>(varNames_.size()); }
    // Variables in order of first appearance, 1 to VarTop; empty text above VarTop.
    const std::string& VarName(int32_t i) const;
    double VarValue(int32_t i) const { return InVarRange(i) ? varValues_[static_cast<size_t>(i - 1)] : 0.0; }
    void VarValue(int32_t i, double value) {
        if (InVarRange(i)) varValues_[static_cast<size_t>(i - 1)] = value;
    }
    const std::string& ErrorDescription() const { return errorDescription_; }

    // Evaluates with the values set through VarValue; raises MathParserError 1001.
    double Eval();
    // Evaluates an expression of at most one variable with x for it; raises MathParserError 1002.
    double Eval1(double x);
    // The zeta function of the library, offered directly; raises 1001 where it has no value.
    static double Zeta_(double s);
    // Diagnostic walk over the expression table; writes the table to out when one is given.
    void ET_Dump(std::ostream* out = nullptr) const;

    // The expression table of the last parse (entry 0 unused), with the values of the last evaluation.
    std::vector<ExprEntry> Table() const;
    // Evaluates by walking the expression table slot by slot rather than the compiled program: a
    // cross-check of the compiler for tests and fuzzing. Same results and errors as Eval.
    double EvalByTable();

  private:
    // One operation of the compiled program: cells[out] = op(cells[a], cells[b]). The code is the
    // operation times 4 plus two flags saying that argument a (1) or b (2) is the result of the step
    // just before, which then comes from a register instead of a round trip through memory.
    struct Step {
        uint16_t code;
        uint8_t entry; // expression-table entry, for error messages
        uint16_t a;
        uint16_t b;
        uint16_t out;
    };
    static constexpr uint16_t PreviousA = 1;
    static constexpr uint16_t PreviousB = 2;

    bool InVarRange(int32_t i) const { return i >= 1 && i <= VarTop(); }
    bool Fail(std::string message);
    bool Parse();
    bool NewEntry(std::string fun, int32_t argTop, int32_t priLvl, int32_t pos);
    bool PlaceToken(const std::string& token, ExprSlot& slot);
    void Order();
    void Link();
    void Compile();
    const Step* Run(double* cells) const;
    const Step* RunChecked(double* cells) const;
    std::string EvaluationMessage(int32_t entry, double a, double b) const;
    [[noreturn]] void Raise(int32_t number, int32_t entry, double a, double b);
    [[noreturn]] void RaiseNotStored(int32_t number) const;

    std::string expression_;
    std::string errorDescription_;
    bool stored_ = false;
    std::vector<ExprEntry> table_; // entry 0 is the all-zero left boundary
    std::vector<std::string> varNames_;
    std::vector<double> varValues_;

    // Compiled form: cells hold the variables (0 to VarTop-1), every entry's result and the constants.
    std::vector<Step> steps_;
    std::vector<double> cells_;
    std::vector<uint16_t> slotCells_; // per entry: source cell of slot 1 and slot 2
    uint16_t rootCell_ = 0;
};

} // namespace zep
