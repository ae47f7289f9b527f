// Name tables of the evaluator: operation numbers and the names allowed before "(".
#include "expr/Operations.h"

#include "common/StringOp.h"

#include <array>
#include <utility>

namespace zep::expr {

namespace {

using NamedId = std::pair<std::string_view, int32_t>;

constexpr std::array OperationNames = {
    NamedId{"+", OpAdd},       NamedId{"-", OpSub},           NamedId{"*", OpMul},
    NamedId{"/", OpDiv},       NamedId{"%", OpRem},           NamedId{"\\", OpIntDiv},
    NamedId{"^", OpPow},       NamedId{"abs", OpAbs},         NamedId{"atn", OpAtn},
    NamedId{"cos", OpCos},     NamedId{"sin", OpSin},         NamedId{"exp", OpExp},
    NamedId{"fix", OpFix},     NamedId{"int", OpInt},         NamedId{"ln", OpLn},
    NamedId{"log", OpLog},     NamedId{"rnd", OpRnd},         NamedId{"sgn", OpSgn},
    NamedId{"sqr", OpSqr},     NamedId{"tan", OpTan},         NamedId{"acos", OpAcos},
    NamedId{"asin", OpAsin},   NamedId{"cosh", OpCosh},       NamedId{"sinh", OpSinh},
    NamedId{"tanh", OpTanh},   NamedId{"acosh", OpAcosh},     NamedId{"asinh", OpAsinh},
    NamedId{"atanh", OpAtanh}, NamedId{"mod", OpMod},         NamedId{"fact", OpFact},
    NamedId{"!", OpFact},      NamedId{"comb", OpComb},       NamedId{"min", OpMin},
    NamedId{"max", OpMax},     NamedId{"mcd", OpGcd},         NamedId{"gcd", OpGcd},
    NamedId{"mcm", OpLcm},     NamedId{"lcm", OpLcm},         NamedId{">", OpGt},
    NamedId{">=", OpGe},       NamedId{"=>", OpGe},           NamedId{"<", OpLt},
    NamedId{"<=", OpLe},       NamedId{"=<", OpLe},           NamedId{"=", OpEq},
    NamedId{"<>", OpNe},       NamedId{"and", OpAnd},         NamedId{"or", OpOr},
    NamedId{"not", OpNot},     NamedId{"xor", OpXor},         NamedId{"erf", OpErf},
    NamedId{"gamma", OpGamma}, NamedId{"gammaln", OpGammaLn}, NamedId{"digamma", OpDigamma},
    NamedId{"beta", OpBeta},   NamedId{"zeta", OpZeta},       NamedId{"ei", OpEi},
    NamedId{"csc", OpCsc},     NamedId{"sec", OpSec},         NamedId{"cot", OpCot},
    NamedId{"acsc", OpAcsc},   NamedId{"asec", OpAsec},       NamedId{"acot", OpAcot},
    NamedId{"csch", OpCsch},   NamedId{"sech", OpSech},       NamedId{"coth", OpCoth},
    NamedId{"acsch", OpAcsch}, NamedId{"asech", OpAsech},     NamedId{"acoth", OpAcoth},
    NamedId{"cbr", OpCbr},     NamedId{"root", OpRoot},       NamedId{"dec", OpDec},
    NamedId{"rad", OpRad},     NamedId{"deg", OpDeg},         NamedId{"round", OpRound},
};

constexpr std::array<std::string_view, 45> OneArgFunctions = {
    "Abs",     "Atn",   "Cos",   "Exp",   "Fix",   "Int",   "Ln",   "Log",   "Rnd",
    "Sgn",     "Sin",   "Sqr",   "Cbr",   "Tan",   "Acos",  "Asin", "Cosh",  "Sinh",
    "Tanh",    "Acosh", "Asinh", "Atanh", "Fact",  "Not",   "Erf",  "Gamma", "Gammaln",
    "Digamma", "Zeta",  "Ei",    "csc",   "sec",   "cot",   "acsc", "asec",  "acot",
    "csch",    "sech",  "coth",  "acsch", "asech", "acoth", "Dec",  "Rad",   "Deg",
};

constexpr std::array<std::string_view, 14> TwoArgFunctions = {
    "Comb", "Max", "Min", "Mcm", "Mcd", "Lcm", "Gcd", "Mod", "And", "Or", "Xor", "Beta", "Root", "Round",
};

template <size_t N> bool ContainsName(const std::array<std::string_view, N>& names, std::string_view name) {
    for (const auto& candidate : names)
        if (EqualsIgnoreCase(candidate, name)) return true;
    return false;
}

} // namespace

int32_t OperationId(std::string_view name) {
    const std::string lower = ToLowerAscii(name);
    for (const auto& [candidate, id] : OperationNames)
        if (candidate == lower) return id;
    return OpUnknown;
}

bool IsOneArgFunction(std::string_view name) {
    return ContainsName(OneArgFunctions, name);
}
bool IsTwoArgFunction(std::string_view name) {
    return ContainsName(TwoArgFunctions, name);
}

} // namespace zep::expr
