// The numeric definitions behind the evaluator's functions. Every function returns NaN for an
// arithmetic fault (no real result, overflow, division by zero, integer out of range), so the
// evaluator needs one finiteness test per operation.
#pragma once

#include <cstdint>
#include <limits>

namespace zep::expr {

// The evaluator's pi: the double nearest to the fifteen-digit value, used by every function.
constexpr double Pi15 = 3.14159265358979;
constexpr double Fault = std::numeric_limits<double>::quiet_NaN();

// Rounds to the nearest 32-bit signed integer, an exact half to the even neighbour; false when the
// rounded value is outside the 32-bit range (or x is not finite).
bool ToInt32(double x, int32_t& out);

double IntegerRemainder(double a, double b); // "%" and "mod"
double IntegerQuotient(double a, double b);  // "\"
double Factorial(double a);
double Combinations(double a, double b);
double GreatestCommonDivisor(double a, double b);
double LeastCommonMultiple(double a, double b);
double RoundDecimals(double a, double b);
double ArcCos(double a);
double ArcSin(double a);
double HypCos(double a);
double HypSin(double a);
double HypTan(double a);
double AreaCos(double a);
double AreaSin(double a);
double AreaTan(double a);
double Erf(double x);
double Gamma(double x);
double GammaLn(double x);
double Digamma(double x);
double Beta(double a, double b);
double Zeta(double s);
double Ei(double x);

// a times the next value in [0, 1) of the process-wide generator, which starts from the same seed in
// every process so its sequence repeats from one start to the next.
double Random(double a);

} // namespace zep::expr
