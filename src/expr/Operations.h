// Operation numbers of expression-table entries, their names and their arithmetic.
#pragma once

#include "expr/SpecialFunctions.h"

#include <cmath>
#include <cstdint>
#include <string_view>

namespace zep::expr {

// Operation numbers as stored in an entry's Id (10 is not used, -1 is a name outside the table).
enum OpId : int32_t {
    OpUnknown = -1,
    OpAdd = 0,
    OpSub = 1,
    OpMul = 2,
    OpDiv = 3,
    OpRem = 4,
    OpIntDiv = 5,
    OpPow = 6,
    OpAbs = 7,
    OpAtn = 8,
    OpCos = 9,
    OpSin = 11,
    OpExp = 12,
    OpFix = 13,
    OpInt = 14,
    OpLn = 15,
    OpLog = 16,
    OpRnd = 17,
    OpSgn = 18,
    OpSqr = 19,
    OpTan = 20,
    OpAcos = 21,
    OpAsin = 22,
    OpCosh = 23,
    OpSinh = 24,
    OpTanh = 25,
    OpAcosh = 26,
    OpAsinh = 27,
    OpAtanh = 28,
    OpMod = 29,
    OpFact = 30,
    OpComb = 31,
    OpMin = 32,
    OpMax = 33,
    OpGcd = 34,
    OpLcm = 35,
    OpGt = 36,
    OpGe = 37,
    OpLt = 38,
    OpLe = 39,
    OpEq = 40,
    OpNe = 41,
    OpAnd = 42,
    OpOr = 43,
    OpNot = 44,
    OpXor = 45,
    OpErf = 46,
    OpGamma = 47,
    OpGammaLn = 48,
    OpDigamma = 49,
    OpBeta = 50,
    OpZeta = 51,
    OpEi = 52,
    OpCsc = 53,
    OpSec = 54,
    OpCot = 55,
    OpAcsc = 56,
    OpAsec = 57,
    OpAcot = 58,
    OpCsch = 59,
    OpSech = 60,
    OpCoth = 61,
    OpAcsch = 62,
    OpAsech = 63,
    OpAcoth = 64,
    OpCbr = 65,
    OpRoot = 66,
    OpDec = 67,
    OpRad = 68,
    OpDeg = 69,
    OpRound = 70,
};

// Operation codes of the compiled program: the Ids above, plus forms the compiler chooses itself.
constexpr uint8_t CodeSquare =
    71; // "^" with the constant exponent 2: the same value as pow, without the call
constexpr uint8_t CodeUnknown = 72; // Id -1: always an evaluation fault

// Id of a name (looked up in lower case), or -1.
int32_t OperationId(std::string_view name);

// Names that may stand before "(": one-argument and two-argument functions (case-insensitive).
bool IsOneArgFunction(std::string_view name);
bool IsTwoArgFunction(std::string_view name);

// Whether an operation depends only on its arguments (so a constant one may be computed once).
inline bool IsPure(uint8_t code) {
    return code != OpRnd && code != CodeUnknown;
}

inline double Reciprocal(double x) {
    return x == 0 || !std::isfinite(x) ? Fault : 1 / x;
}
inline double Truth(bool condition) {
    return condition ? 1.0 : 0.0;
}

// The value of one operation; a fault gives a non-finite value. Always inlined so that a call with a
// constant code folds to the one operation.
[[gnu::always_inline]] inline double ApplyOperation(uint8_t code, double a, double b) {
    switch (code) {
    case OpAdd:
        return a + b;
    case OpSub:
        return a - b;
    case OpMul:
        return a * b;
    case OpDiv:
        return a / b;
    case OpRem:
        return IntegerRemainder(a, b);
    case OpIntDiv:
        return IntegerQuotient(a, b);
    case OpPow:
        return std::pow(a, b);
    case CodeSquare:
        return a * a;
    case OpAbs:
        return std::fabs(a);
    case OpAtn:
        return std::atan(a);
    case OpCos:
        return std::cos(a);
    case OpSin:
        return std::sin(a);
    case OpExp:
        return std::exp(a);
    case OpFix:
        return std::trunc(a);
    case OpInt:
        return std::floor(a);
    case OpLn:
        return std::log(a);
    case OpLog:
        return std::log(a) / std::log(10.0);
    case OpRnd:
        return Random(a);
    case OpSgn:
        return a > 0 ? 1.0 : (a < 0 ? -1.0 : 0.0);
    case OpSqr:
        return std::sqrt(a);
    case OpTan:
        return std::tan(a);
    case OpAcos:
        return ArcCos(a);
    case OpAsin:
        return ArcSin(a);
    case OpCosh:
        return HypCos(a);
    case OpSinh:
        return HypSin(a);
    case OpTanh:
        return HypTan(a);
    case OpAcosh:
        return AreaCos(a);
    case OpAsinh:
        return AreaSin(a);
    case OpAtanh:
        return AreaTan(a);
    case OpMod:
        return IntegerRemainder(a, b);
    case OpFact:
        return Factorial(a);
    case OpComb:
        return Combinations(a, b);
    case OpMin:
        return a >= b ? b : a;
    case OpMax:
        return a <= b ? b : a;
    case OpGcd:
        return GreatestCommonDivisor(a, b);
    case OpLcm:
        return LeastCommonMultiple(a, b);
    case OpGt:
        return Truth(a > b);
    case OpGe:
        return Truth(a >= b);
    case OpLt:
        return Truth(a < b);
    case OpLe:
        return Truth(a <= b);
    case OpEq:
        return Truth(a == b);
    case OpNe:
        return Truth(a != b);
    case OpAnd:
        return Truth(a != 0 && b != 0);
    case OpOr:
        return Truth(a != 0 || b != 0);
    case OpNot:
        return Truth(a == 0);
    case OpXor:
        return Truth((a != 0) != (b != 0));
    case OpErf:
        return Erf(a);
    case OpGamma:
        return Gamma(a);
    case OpGammaLn:
        return GammaLn(a);
    case OpDigamma:
        return Digamma(a);
    case OpBeta:
        return Beta(a, b);
    case OpZeta:
        return Zeta(a);
    case OpEi:
        return Ei(a);
    case OpCsc:
        return Reciprocal(std::sin(a));
    case OpSec:
        return Reciprocal(std::cos(a));
    case OpCot:
        return Reciprocal(std::tan(a));
    case OpAcsc:
        return ArcSin(Reciprocal(a));
    case OpAsec:
        return ArcCos(Reciprocal(a));
    case OpAcot:
        return Pi15 / 2 - std::atan(a);
    case OpCsch:
        return Reciprocal(HypSin(a));
    case OpSech:
        return Reciprocal(HypCos(a));
    case OpCoth:
        return Reciprocal(HypTan(a));
    case OpAcsch:
        return AreaSin(Reciprocal(a));
    case OpAsech:
        return AreaCos(Reciprocal(a));
    case OpAcoth:
        return AreaTan(Reciprocal(a));
    case OpCbr:
        return std::pow(a, 1.0 / 3.0);
    case OpRoot:
        return b == 0 ? Fault : std::pow(a, 1 / b);
    case OpDec:
        return a - std::trunc(a);
    case OpRad:
        return a * Pi15 / 180;
    case OpDeg:
        return a * 180 / Pi15;
    case OpRound:
        return RoundDecimals(a, b);
    default:
        return Fault;
    }
}

} // namespace zep::expr
