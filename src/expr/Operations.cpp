// The evaluator's vocabulary: operation numbers, the names allowed before "(" and their arity.
#include "expr/Operations.h"

#include "common/StringOp.h"

namespace zep::expr {

namespace {

struct Word {
    std::string_view Name; // lower case; looked up ignoring case
    int32_t Id;
    int Arity; // 1 or 2 for a function called as NAME(...); 0 for a sign or an operator word
};

// One row per name: a new function costs one row here (and its arithmetic).
// clang-format off
constexpr Word Vocabulary[] = {
    // name      id         arity
    {"+",        OpAdd,     0},
    {"-",        OpSub,     0},
    {"*",        OpMul,     0},
    {"/",        OpDiv,     0},
    {"%",        OpRem,     0},
    {"\\",       OpIntDiv,  0},
    {"^",        OpPow,     0},
    {"abs",      OpAbs,     1},
    {"atn",      OpAtn,     1},
    {"cos",      OpCos,     1},
    {"sin",      OpSin,     1},
    {"exp",      OpExp,     1},
    {"fix",      OpFix,     1},
    {"int",      OpInt,     1},
    {"ln",       OpLn,      1},
    {"log",      OpLog,     1},
    {"rnd",      OpRnd,     1},
    {"sgn",      OpSgn,     1},
    {"sqr",      OpSqr,     1},
    {"tan",      OpTan,     1},
    {"acos",     OpAcos,    1},
    {"asin",     OpAsin,    1},
    {"cosh",     OpCosh,    1},
    {"sinh",     OpSinh,    1},
    {"tanh",     OpTanh,    1},
    {"acosh",    OpAcosh,   1},
    {"asinh",    OpAsinh,   1},
    {"atanh",    OpAtanh,   1},
    {"mod",      OpMod,     2},
    {"fact",     OpFact,    1},
    {"!",        OpFact,    0},
    {"comb",     OpComb,    2},
    {"min",      OpMin,     2},
    {"max",      OpMax,     2},
    {"mcd",      OpGcd,     2},
    {"gcd",      OpGcd,     2},
    {"mcm",      OpLcm,     2},
    {"lcm",      OpLcm,     2},
    {">",        OpGt,      0},
    {">=",       OpGe,      0},
    {"=>",       OpGe,      0},
    {"<",        OpLt,      0},
    {"<=",       OpLe,      0},
    {"=<",       OpLe,      0},
    {"=",        OpEq,      0},
    {"<>",       OpNe,      0},
    {"and",      OpAnd,     2},
    {"or",       OpOr,      2},
    {"not",      OpNot,     1},
    {"xor",      OpXor,     2},
    {"erf",      OpErf,     1},
    {"gamma",    OpGamma,   1},
    {"gammaln",  OpGammaLn, 1},
    {"digamma",  OpDigamma, 1},
    {"beta",     OpBeta,    2},
    {"zeta",     OpZeta,    1},
    {"ei",       OpEi,      1},
    {"csc",      OpCsc,     1},
    {"sec",      OpSec,     1},
    {"cot",      OpCot,     1},
    {"acsc",     OpAcsc,    1},
    {"asec",     OpAsec,    1},
    {"acot",     OpAcot,    1},
    {"csch",     OpCsch,    1},
    {"sech",     OpSech,    1},
    {"coth",     OpCoth,    1},
    {"acsch",    OpAcsch,   1},
    {"asech",    OpAsech,   1},
    {"acoth",    OpAcoth,   1},
    {"cbr",      OpCbr,     1},
    {"root",     OpRoot,    2},
    {"dec",      OpDec,     1},
    {"rad",      OpRad,     1},
    {"deg",      OpDeg,     1},
    {"round",    OpRound,   2},
};
// clang-format on

const Word* Find(std::string_view name) {
    for (const auto& word : Vocabulary)
        if (EqualsIgnoreCase(word.Name, name)) return &word;
    return nullptr;
}

} // namespace

int32_t OperationId(std::string_view name) {
    const Word* word = Find(name);
    return word ? word->Id : OpUnknown;
}

bool IsOneArgFunction(std::string_view name) {
    const Word* word = Find(name);
    return word && word->Arity == 1;
}
bool IsTwoArgFunction(std::string_view name) {
    const Word* word = Find(name);
    return word && word->Arity == 2;
}

} // namespace zep::expr
