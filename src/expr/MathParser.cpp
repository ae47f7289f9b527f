// MathParser: the scan, chaining, ordering and linking that build the expression table, the compiled
// program derived from it, and evaluation.
#include "expr/MathParser.h"

#include "common/StringOp.h"
#include "expr/NumberText.h"
#include "expr/Operations.h"
#include "expr/Units.h"

#include <algorithm>
#include <cmath>
#include <ostream>

namespace zep {

namespace {

bool IsAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string Position(int32_t i) {
    return std::to_string(i);
}

uint8_t CodeOf(int32_t id) {
    return id >= 0 && id <= expr::OpRound ? static_cast<uint8_t>(id) : expr::CodeUnknown;
}

} // namespace

const std::string& MathParser::VarName(int32_t i) const {
    static const std::string empty;
    return InVarRange(i) ? varNames_[static_cast<size_t>(i - 1)] : empty;
}

bool MathParser::Fail(std::string message) {
    errorDescription_ = std::move(message);
    return false;
}

bool MathParser::StoreExpression(std::string_view text) {
    stored_ = false;
    table_.assign(1, ExprEntry{});
    varNames_.clear();
    varValues_.clear();
    steps_.clear();
    cells_.clear();
    slotCells_.clear();
    errorDescription_.clear();
    expression_ = TrimBlanks(text);
    if (!Parse()) return false;
    Compile();
    stored_ = true;
    return true;
}

bool MathParser::NewEntry(std::string fun, int32_t argTop, int32_t priLvl, int32_t pos) {
    if (static_cast<int32_t>(table_.size()) - 1 >= MaxEntries)
        return Fail("too many operations (at most " + std::to_string(MaxEntries) + ") at pos " +
                    Position(pos));
    ExprEntry entry;
    entry.Id = expr::OperationId(fun);
    entry.Fun = std::move(fun);
    entry.ArgTop = argTop;
    entry.PriLvl = priLvl;
    entry.PosInExpr = pos;
    table_.push_back(std::move(entry));
    return true;
}

bool MathParser::PlaceToken(const std::string& token, ExprSlot& slot) {
    if (token.empty()) return Fail("missing argument");
    slot = ExprSlot{};
    double value = 0;
    bool outOfRange = false;
    if (expr::ReadNumberWithUnit(token, value, errorDescription_, &outOfRange)) {
        slot.Value = value;
        return true;
    }
    if (EqualsIgnoreCase(token, "pi")) {
        slot.Value = expr::Pi15;
        return true;
    }
    if (expr::ReadPlainNumber(token, value, &outOfRange)) {
        slot.Value = value;
        return true;
    }
    // A number too large for a double is no variable name.
    if (outOfRange) return Fail("number out of range: " + token);
    if (!IsAsciiLetter(token[0])) return Fail("variable name must start with a letter: " + token);
    const auto found = std::find(varNames_.begin(), varNames_.end(), token);
    if (found == varNames_.end()) {
        if (VarTop() >= MaxVars) return Fail("too many Vars");
        varNames_.push_back(token);
        varValues_.push_back(0.0);
        slot.Idx = VarTop();
    } else {
        slot.Idx = static_cast<int32_t>(found - varNames_.begin()) + 1;
    }
    slot.Name = token;
    return true;
}

bool MathParser::Parse() {
    const std::string& text = expression_;
    if (std::count(text.begin(), text.end(), '|') % 2 != 0) return Fail("abs symbols |.| mismatch");

    int32_t level = 0;
    std::string token;      // the operand being collected
    std::string comparison; // comparison characters being collected
    std::string pendingTwoArg;
    std::string savedToken; // operand of "!", which also stays the left operand of what follows
    bool argPending = false;

    const int32_t length = static_cast<int32_t>(text.size());
    for (int32_t i = 1; i <= length; ++i) {
        const char c = text[static_cast<size_t>(i - 1)];
        bool handleAgain = false;
        do {
            handleAgain = false;
            switch (c) {
            case ' ':
                break;
            case '(':
            case '{':
                ++level;
                if (!token.empty()) {
                    if (expr::IsOneArgFunction(token)) {
                        if (!NewEntry(token, 1, 10 * level, i)) return false;
                    } else if (expr::IsTwoArgFunction(token)) {
                        pendingTwoArg = token;
                    } else {
                        return Fail("Function <" + token + "> unknown at pos " + Position(i));
                    }
                }
                token.clear();
                break;
            case ')':
            case '}':
                if (--level < 0) return Fail("Too many closing brackets at pos " + Position(i));
                break;
            case '+':
            case '-':
                if (!token.empty() && (token.back() == 'E' || token.back() == 'e')) {
                    token += c;
                    break;
                }
                if (!NewEntry(std::string(1, c), 2, 10 * level + 2, i)) return false;
                if (token.empty()) token = "0";
                argPending = true;
                break;
            case '*':
            case '/':
            case '%':
            case '\\':
                if (!NewEntry(std::string(1, c), 2, 10 * level + 3, i)) return false;
                argPending = true;
                break;
            case '^':
                if (!NewEntry("^", 2, 10 * level + 4, i)) return false;
                argPending = true;
                break;
            case '!':
                if (!NewEntry("!", 1, 10 * level + 9, i)) return false;
                savedToken = token;
                argPending = true;
                break;
            case ';':
                if (pendingTwoArg.empty()) return Fail("syntax error at pos:" + Position(i));
                if (!NewEntry(pendingTwoArg, 2, 10 * level, i)) return false;
                pendingTwoArg.clear();
                argPending = true;
                break;
            case '=':
            case '<':
            case '>': {
                if (comparison.empty()) {
                    if (!NewEntry("", 2, 0, i)) return false;
                    argPending = true;
                }
                comparison += c;
                ExprEntry& entry = table_.back();
                entry.Fun = comparison;
                entry.Id = expr::OperationId(comparison);
                entry.PriLvl = 10 * level + 1;
                entry.ArgTop = 2;
                entry.PosInExpr = i;
                break;
            }
            case 'x':
            case 'y':
            case 'z':
            case 'X':
            case 'Y':
            case 'Z':
                // A digit right before x, y or z means multiplication: 2x is 2*x.
                if (!token.empty() && IsAsciiDigit(token.back())) {
                    if (!NewEntry("*", 2, 10 * level + 3, i)) return false;
                    argPending = true;
                    handleAgain = true;
                } else {
                    token += c;
                }
                break;
            case '|':
                if (token.empty()) {
                    ++level;
                    if (!NewEntry("abs", 1, 10 * level, i)) return false;
                } else if (--level < 0) {
                    return Fail("syntax error at pos:" + Position(i));
                }
                break;
            default:
                token += c;
                break;
            }

            if (argPending) {
                if (!PlaceToken(token, table_.back().Arg[0])) return false;
                token.clear();
                argPending = false;
                if (table_.back().Fun == "!") token = savedToken;
            } else {
                comparison.clear();
            }
        } while (handleAgain);
    }

    if (level > 0) return Fail("Not enough closing brackets");
    if (table_.size() == 1 && !NewEntry("+", 2, 1, 1)) return false;

    const int32_t n = static_cast<int32_t>(table_.size()) - 1;
    for (int32_t i = 1; i <= n; ++i) {
        ExprEntry& entry = table_[static_cast<size_t>(i)];
        entry.Arg[entry.ArgTop - 1] = i < n ? table_[static_cast<size_t>(i + 1)].Arg[0] : ExprSlot{};
    }
    if (!token.empty()) {
        ExprEntry& last = table_.back();
        if (!PlaceToken(token, last.Arg[last.ArgTop - 1])) return false;
    }
    Order();
    Link();
    return true;
}

void MathParser::Order() {
    const size_t n = table_.size() - 1;
    std::vector<int32_t> priority(n + 1, 0);
    for (size_t k = 1; k <= n; ++k) {
        table_[k].PriIdx = static_cast<int32_t>(k);
        priority[k] = table_[k].PriLvl;
    }
    // Odd-even transposition sort, highest first; equal priorities never swap, so the leftmost of
    // them is evaluated first.
    auto pass = [&](size_t start) {
        bool swapped = false;
        for (size_t k = start; k + 1 <= n; k += 2) {
            if (priority[k] < priority[k + 1]) {
                std::swap(priority[k], priority[k + 1]);
                std::swap(table_[k].PriIdx, table_[k + 1].PriIdx);
                swapped = true;
            }
        }
        return swapped;
    };
    while (true) {
        pass(1);
        if (!pass(2)) break;
    }
}

void MathParser::Link() {
    const int32_t n = static_cast<int32_t>(table_.size()) - 1;
    auto at = [&](int32_t i) -> ExprEntry& { return table_[static_cast<size_t>(i)]; };
    for (int32_t k = 1; k <= n; ++k) {
        const int32_t j = at(k).PriIdx;
        int32_t p = 0;
        for (int32_t m = j - 1; m >= 1; --m)
            if (at(m).ArgOf == 0) {
                p = m;
                break;
            }
        int32_t q = 0;
        for (int32_t m = j + 1; m <= n; ++m)
            if (at(m).ArgOf == 0) {
                q = m;
                break;
            }
        if (p == 0 && q == 0) break;
        if (p != 0 && (q == 0 || at(p).PriLvl >= at(q).PriLvl)) {
            at(j).ArgOf = p;
            at(j).ArgIdx = at(p).ArgTop;
        } else {
            at(j).ArgOf = q;
            at(j).ArgIdx = 1;
        }
    }
    // A slot that receives a partial result must not be overwritten by a variable's value.
    for (int32_t j = 1; j <= n; ++j) {
        if (at(j).ArgOf <= 0) continue;
        ExprSlot& slot = at(at(j).ArgOf).Arg[at(j).ArgIdx - 1];
        slot.Idx = 0;
        slot.Name.clear();
    }
}

void MathParser::Compile() {
    const size_t n = table_.size() - 1;
    const size_t varCount = varNames_.size();
    auto resultCell = [&](size_t entry) { return static_cast<uint16_t>(varCount + entry - 1); };

    cells_.assign(varCount + n, 0.0);
    std::vector<bool> constant(varCount + n, false);
    auto addConstant = [&](double value) {
        cells_.push_back(value);
        constant.push_back(true);
        return static_cast<uint16_t>(cells_.size() - 1);
    };

    // The writer of a slot is the last entry, in evaluation order, that delivers its result there.
    std::vector<int32_t> writer(2 * (n + 1), 0);
    for (size_t k = 1; k <= n; ++k) {
        const ExprEntry& entry = table_[static_cast<size_t>(table_[k].PriIdx)];
        if (entry.ArgOf > 0)
            writer[2 * static_cast<size_t>(entry.ArgOf) + static_cast<size_t>(entry.ArgIdx - 1)] =
                table_[k].PriIdx;
    }
    slotCells_.assign(2 * (n + 1), 0);
    for (size_t j = 1; j <= n; ++j) {
        for (size_t s = 0; s < 2; ++s) {
            const ExprSlot& slot = table_[j].Arg[s];
            uint16_t cell = 0;
            if (const int32_t w = writer[2 * j + s]; w > 0)
                cell = resultCell(static_cast<size_t>(w));
            else if (slot.Idx > 0)
                cell = static_cast<uint16_t>(slot.Idx - 1);
            else
                cell = addConstant(slot.Value);
            slotCells_[2 * j + s] = cell;
        }
    }

    // Steps in evaluation order; those whose arguments are all constants are computed here once,
    // unless they fault (the fault then belongs to every evaluation).
    steps_.clear();
    for (size_t k = 1; k <= n; ++k) {
        const auto j = static_cast<size_t>(table_[k].PriIdx);
        const ExprEntry& entry = table_[j];
        Step step{CodeOf(entry.Id), static_cast<uint8_t>(j), slotCells_[2 * j], slotCells_[2 * j + 1],
                  resultCell(j)};
        if (step.code == expr::OpPow && constant[step.b] && cells_[step.b] == 2) step.code = expr::CodeSquare;
        const bool argumentsConstant = constant[step.a] && (entry.ArgTop == 1 || constant[step.b]);
        const auto op = static_cast<uint8_t>(step.code);
        if (argumentsConstant && expr::IsPure(op)) {
            const double value = expr::ApplyOperation(op, cells_[step.a], cells_[step.b]);
            if (std::isfinite(value)) {
                cells_[step.out] = value;
                constant[step.out] = true;
                continue;
            }
        }
        steps_.push_back(step);
    }
    rootCell_ = resultCell(static_cast<size_t>(table_[n].PriIdx));
    for (size_t k = 0; k < steps_.size(); ++k) {
        Step& step = steps_[k];
        uint16_t flags = 0;
        if (k > 0 && step.a == steps_[k - 1].out) flags |= PreviousA;
        if (k > 0 && step.b == steps_[k - 1].out) flags |= PreviousB;
        step.code = static_cast<uint16_t>(step.code * 4 + flags);
    }
}

const MathParser::Step* MathParser::Run(double* cells) const {
    double previous = 0; // result of the step before, kept in a register
    for (const Step& step : steps_) {
        double value;
        // The common operations get a case per argument source; the rest take them through the
        // flags and dispatch once more.
        switch (step.code) {
#define ZEP_STEP_CASES(op)                                                                                   \
    case (op)*4:                                                                                             \
        value = expr::ApplyOperation(op, cells[step.a], cells[step.b]);                                      \
        break;                                                                                               \
    case (op)*4 + PreviousA:                                                                                 \
        value = expr::ApplyOperation(op, previous, cells[step.b]);                                           \
        break;                                                                                               \
    case (op)*4 + PreviousB:                                                                                 \
        value = expr::ApplyOperation(op, cells[step.a], previous);                                           \
        break;                                                                                               \
    case (op)*4 + PreviousA + PreviousB:                                                                     \
        value = expr::ApplyOperation(op, previous, previous);                                                \
        break;
            ZEP_STEP_CASES(expr::OpAdd)
            ZEP_STEP_CASES(expr::OpSub)
            ZEP_STEP_CASES(expr::OpMul)
            ZEP_STEP_CASES(expr::OpDiv)
            ZEP_STEP_CASES(expr::CodeSquare)
            ZEP_STEP_CASES(expr::OpPow)
            ZEP_STEP_CASES(expr::OpSqr)
            ZEP_STEP_CASES(expr::OpAbs)
#undef ZEP_STEP_CASES
        default:
            value = expr::ApplyOperation(static_cast<uint8_t>(step.code >> 2),
                                         (step.code & PreviousA) ? previous : cells[step.a],
                                         (step.code & PreviousB) ? previous : cells[step.b]);
            break;
        }
        if (!std::isfinite(value)) [[unlikely]]
            return &step;
        cells[step.out] = value;
        previous = value;
    }
    return nullptr;
}

// For variable values that are not finite: such an argument is a fault of the entry that reads it.
const MathParser::Step* MathParser::RunChecked(double* cells) const {
    for (const Step& step : steps_) {
        const bool twoArgs = table_[step.entry].ArgTop == 2;
        if (!std::isfinite(cells[step.a]) || (twoArgs && !std::isfinite(cells[step.b]))) return &step;
        const double value =
            expr::ApplyOperation(static_cast<uint8_t>(step.code >> 2), cells[step.a], cells[step.b]);
        if (!std::isfinite(value)) return &step;
        cells[step.out] = value;
    }
    return nullptr;
}

std::string MathParser::EvaluationMessage(int32_t entryIndex, double a, double b) const {
    const ExprEntry& entry = table_[static_cast<size_t>(entryIndex)];
    std::string text = "Evaluation error <";
    if (entry.ArgTop == 1)
        text += entry.Fun + "(" + FormatNumber15(a) + ")";
    else if (expr::IsTwoArgFunction(entry.Fun))
        text += entry.Fun + "(" + FormatNumber15(a) + " ," + FormatNumber15(b) + ")";
    else
        text += FormatNumber15(a) + " " + entry.Fun + " " + FormatNumber15(b);
    return text + "> at pos:" + Position(entry.PosInExpr);
}

void MathParser::Raise(int32_t number, int32_t entry, double a, double b) {
    errorDescription_ = EvaluationMessage(entry, a, b);
    throw MathParserError(number, errorDescription_);
}

void MathParser::RaiseNotStored(int32_t number) const {
    throw MathParserError(number, errorDescription_.empty() ? "no expression stored" : errorDescription_);
}

double MathParser::Eval() {
    if (!stored_) RaiseNotStored(MathParserEvalError);
    double* cells = cells_.data();
    bool finite = true;
    for (size_t i = 0; i < varValues_.size(); ++i) {
        cells[i] = varValues_[i];
        finite = finite && std::isfinite(varValues_[i]);
    }
    if (const Step* failed = finite ? Run(cells) : RunChecked(cells)) [[unlikely]]
        Raise(MathParserEvalError, failed->entry, cells[failed->a], cells[failed->b]);
    return cells[rootCell_];
}

double MathParser::Eval1(double x) {
    if (VarTop() > 1) {
        errorDescription_ = "too many variables";
        throw MathParserError(MathParserEval1Error, errorDescription_);
    }
    if (!stored_) RaiseNotStored(MathParserEval1Error);
    double* cells = cells_.data();
    if (VarTop() == 1) cells[0] = x;
    const bool finite = VarTop() == 0 || std::isfinite(x);
    if (const Step* failed = finite ? Run(cells) : RunChecked(cells)) [[unlikely]]
        Raise(MathParserEval1Error, failed->entry, cells[failed->a], cells[failed->b]);
    return cells[rootCell_];
}

double MathParser::Zeta_(double s) {
    const double value = expr::Zeta(s);
    if (!std::isfinite(value))
        throw MathParserError(MathParserEvalError, "Evaluation error <zeta(" + FormatNumber15(s) + ")>");
    return value;
}

std::vector<ExprEntry> MathParser::Table() const {
    std::vector<ExprEntry> table = table_;
    if (!stored_) return table;
    for (size_t j = 1; j < table.size(); ++j) {
        table[j].Value = cells_[varNames_.size() + j - 1];
        for (size_t s = 0; s < 2; ++s)
            table[j].Arg[s].Value = cells_[slotCells_[2 * j + s]];
    }
    return table;
}

double MathParser::EvalByTable() {
    if (!stored_) RaiseNotStored(MathParserEvalError);
    const size_t n = table_.size() - 1;
    for (size_t j = 1; j <= n; ++j)
        for (ExprSlot& slot : table_[j].Arg)
            if (slot.Idx > 0) slot.Value = varValues_[static_cast<size_t>(slot.Idx - 1)];
    for (size_t k = 1; k <= n; ++k) {
        ExprEntry& entry = table_[static_cast<size_t>(table_[k].PriIdx)];
        const double a = entry.Arg[0].Value;
        const double b = entry.Arg[1].Value;
        const bool argsFinite = std::isfinite(a) && (entry.ArgTop == 1 || std::isfinite(b));
        const uint8_t code = entry.Id == expr::OpPow && b == 2 ? expr::CodeSquare : CodeOf(entry.Id);
        const double value = argsFinite ? expr::ApplyOperation(code, a, b) : expr::Fault;
        if (!std::isfinite(value)) Raise(MathParserEvalError, table_[k].PriIdx, a, b);
        entry.Value = value;
        if (entry.ArgOf == 0 || entry.ArgIdx == 0) return value;
        table_[static_cast<size_t>(entry.ArgOf)].Arg[entry.ArgIdx - 1].Value = value;
    }
    return 0;
}

void MathParser::ET_Dump(std::ostream* out) const {
    if (!out) return;
    const std::vector<ExprEntry> table = Table();
    *out << "Id\tFun\tArgTop\tA0 Idx\tArg0 Name\tArg0 Value\tA1 Idx\tArg1 Name\tArg1 Value\tArgOf\tArgIdx\t"
            "Value\tPriLvl\tPosInExpr\tPriIdx\n";
    for (size_t j = 1; j < table.size(); ++j) {
        const ExprEntry& e = table[j];
        *out << e.Id << '\t' << e.Fun << '\t' << e.ArgTop << '\t' << e.Arg[0].Idx << '\t' << e.Arg[0].Name
             << '\t' << FormatNumber15(e.Arg[0].Value) << '\t' << e.Arg[1].Idx << '\t' << e.Arg[1].Name
             << '\t' << FormatNumber15(e.Arg[1].Value) << '\t' << e.ArgOf << '\t' << e.ArgIdx << '\t'
             << FormatNumber15(e.Value) << '\t' << e.PriLvl << '\t' << e.PosInExpr << '\t' << e.PriIdx
             << '\n';
    }
}

} // namespace zep
