// Numeric definitions of the evaluator's functions: integer rules, trigonometric and hyperbolic
// forms, and the series and fractions behind erf, gamma, digamma, zeta and ei.
#include "expr/SpecialFunctions.h"

#include <array>
#include <cmath>

namespace zep::expr {

namespace {

bool Finite(double x) {
    return std::isfinite(x);
}

} // namespace

bool ToInt32(double x, int32_t& out) {
    if (!Finite(x)) return false;
    double r = std::floor(x);
    const double fraction = x - r;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(r, 2.0) != 0)) r += 1;
    if (r < -2147483648.0 || r > 2147483647.0) return false;
    out = static_cast<int32_t>(r);
    return true;
}

double IntegerRemainder(double a, double b) {
    int32_t x = 0, y = 0;
    if (!ToInt32(a, x) || !ToInt32(b, y) || y == 0) return Fault;
    // 64-bit so that -2147483648 % -1 is simply 0.
    return static_cast<double>(int64_t{x} % int64_t{y});
}

double IntegerQuotient(double a, double b) {
    int32_t x = 0, y = 0;
    if (!ToInt32(a, x) || !ToInt32(b, y) || y == 0) return Fault;
    const int64_t quotient = int64_t{x} / int64_t{y};
    if (quotient > 2147483647) return Fault; // -2147483648 \ -1 has no 32-bit result
    return static_cast<double>(quotient);
}

double Factorial(double a) {
    int32_t n = 0;
    if (!ToInt32(a, n) || n > 170) return Fault;
    double product = 1;
    for (int32_t i = 2; i <= n; ++i)
        product *= i;
    return product;
}

double Combinations(double a, double b) {
    const double n = std::floor(a);
    double k = std::floor(b);
    if (!Finite(n) || !Finite(k)) return Fault;
    if (k < 1 || k > n) k = 0;
    if (n == 0 || k == 0 || k == n) return 1;
    if (k > std::floor(n / 2)) k = n - k;
    if (n > 2147483647.0) return Fault; // the product below is kept in 32 bits
    const int64_t top = static_cast<int64_t>(n);
    const int64_t count = static_cast<int64_t>(k);
    int64_t c = top;
    for (int64_t i = 2; i <= count; ++i) {
        const int64_t product = (top + 1 - i) * c;
        if (product > 2147483647) return Fault;
        c = product / i;
    }
    return static_cast<double>(c);
}

double GreatestCommonDivisor(double a, double b) {
    int32_t x = 0, y = 0;
    if (!ToInt32(a, x) || !ToInt32(b, y)) return Fault;
    int64_t dividend = x, divisor = y;
    if (divisor == 0) return static_cast<double>(dividend);
    while (true) {
        const int64_t remainder = dividend % divisor;
        dividend = divisor;
        if (remainder == 0) break;
        divisor = remainder;
    }
    // gcd(-2147483648; -2147483648) and gcd(-2147483648; 0) are the only results outside 32 bits
    // of a sign-following gcd; both stay representable as doubles, so no fault is needed.
    return static_cast<double>(dividend);
}

double LeastCommonMultiple(double a, double b) {
    const double divisor = GreatestCommonDivisor(a, b);
    return a * b / divisor;
}

double RoundDecimals(double a, double b) {
    int32_t digits = 0;
    if (!ToInt32(b, digits) || digits < -32768 || digits > 32767) return Fault;
    const double scale = std::pow(10.0, digits);
    const double y = a * scale;
    double r = std::floor(y);
    if (y - r > 0.5) r += 1;
    return r / scale;
}

double ArcCos(double a) {
    if (a == 1) return 0;
    if (a == -1) return Pi15;
    return std::atan(-a / std::sqrt(1 - a * a)) + 2 * std::atan(1.0);
}

double ArcSin(double a) {
    if (std::fabs(a) == 1) return (a > 0 ? 1 : -1) * Pi15 / 2;
    return std::atan(a / std::sqrt(1 - a * a));
}

double HypCos(double a) {
    return (std::exp(a) + std::exp(-a)) / 2;
}
double HypSin(double a) {
    return (std::exp(a) - std::exp(-a)) / 2;
}

double HypTan(double a) {
    // Beyond 22 the quotient is exactly +-1 in double precision, where e^a would overflow later.
    if (a > 22) return 1;
    if (a < -22) return -1;
    return (std::exp(a) - std::exp(-a)) / (std::exp(a) + std::exp(-a));
}

double AreaCos(double a) {
    return std::log(a + std::sqrt(a * a - 1));
}

double AreaSin(double a) {
    // Odd symmetry: the direct form cancels to ln(0) for large negative arguments.
    if (a < 0) return -AreaSin(-a);
    return std::log(a + std::sqrt(a * a + 1));
}

double AreaTan(double a) {
    return std::log((1 + a) / (1 - a)) / 2;
}

namespace {

double ErfSeries(double x) {
    const double x2 = 2 * x * x;
    double term = 1;
    double sum = 1;
    for (int divisor = 3; divisor <= 401; divisor += 2) {
        term = term * x2 / divisor;
        sum += term;
        if (term < 1e-15) break;
    }
    return 2 * x * std::exp(-x * x) / std::sqrt(Pi15) * sum;
}

// erfc(x) = 2 e^(-x^2) / (sqrt(pi) (2x + F)), F = 1/(x + 2/(2x + 3/(x + 4/(2x + ...)))).
double ErfcFraction(double x) {
    double aPrev = 1, a = 0; // numerators of the convergents (A(-1), A(0))
    double bPrev = 0, b = 1; // denominators
    double previous = 0;
    double value = 0;
    for (int n = 1; n <= 400; ++n) {
        const double partialDenominator = (n % 2 == 1) ? x : 2 * x;
        const double partialNumerator = n;
        const double aNext = partialDenominator * a + partialNumerator * aPrev;
        const double bNext = partialDenominator * b + partialNumerator * bPrev;
        aPrev = a, a = aNext;
        bPrev = b, b = bNext;
        // Rescale by a power of two: exact, so the convergents are unchanged.
        if (std::fabs(b) > 0x1p500) {
            a *= 0x1p-500, aPrev *= 0x1p-500, b *= 0x1p-500, bPrev *= 0x1p-500;
        }
        value = a / b;
        if (n > 1 && std::fabs(value - previous) < 1e-15) break;
        previous = value;
    }
    return 2 * std::exp(-x * x) / (std::sqrt(Pi15) * (2 * x + value));
}

} // namespace

double Erf(double x) {
    if (!Finite(x)) return Fault;
    // Odd symmetry below -2: the series alone loses convergence for large negative arguments.
    if (x < -2) return -Erf(-x);
    if (x <= 2) return ErfSeries(x);
    return 1 - ErfcFraction(x);
}

namespace {

constexpr double LanczosG = 4.7421875;
constexpr std::array<double, 15> LanczosCoefficients = {
    0.999999999999997,   57.1562356658629,     -59.5979603554755,   14.1360979747417,
    -0.49191381609762,   3.39946499848119e-5,  4.65236289270486e-5, -9.83744753048796e-5,
    1.58088703224912e-4, -2.10264441724105e-4, 2.17439618115213e-4, -1.64318106536764e-4,
    8.44182239838528e-5, -2.61908384015814e-5, 3.68991826595316e-6,
};

// Gamma as a decimal mantissa and exponent, so that large values do not overflow.
bool GammaParts(double x, double& mantissa, double& exponent) {
    if (!Finite(x)) return false;
    const double z = x - 1;
    double a = LanczosCoefficients[0];
    for (int k = 1; k <= 14; ++k) {
        if (z + k == 0) return false;
        a += LanczosCoefficients[k] / (z + k);
    }
    const double s = a * std::sqrt(6.28318530717959) / std::exp(LanczosG);
    const double e = (z + 0.5) * std::log((z + LanczosG + 0.5) / std::exp(1.0)) / std::log(10.0);
    if (!Finite(e)) return false;
    exponent = std::floor(e);
    mantissa = std::pow(10.0, e - exponent) * s;
    const double shift = std::floor(std::log(mantissa) / std::log(10.0));
    if (!Finite(shift)) return false;
    mantissa = mantissa * std::pow(10.0, -shift);
    exponent = exponent + shift;
    return Finite(mantissa) && Finite(exponent);
}

} // namespace

double Gamma(double x) {
    double mantissa = 0, exponent = 0;
    if (!GammaParts(x, mantissa, exponent)) return Fault;
    return mantissa * std::pow(10.0, exponent);
}

double GammaLn(double x) {
    double mantissa = 0, exponent = 0;
    if (!GammaParts(x, mantissa, exponent)) return Fault;
    return std::log(mantissa) + exponent * std::log(10.0);
}

double Beta(double a, double b) {
    return std::exp(GammaLn(a) + GammaLn(b) - GammaLn(a + b));
}

double Digamma(double x) {
    if (!Finite(x)) return Fault;
    static constexpr std::array<double, 11> Bernoulli = {
        1.0 / 6, -1.0 / 30,     1.0 / 42,      -1.0 / 30,       5.0 / 66,       -691.0 / 2730,
        7.0 / 6, -3617.0 / 510, 43867.0 / 798, -174611.0 / 330, 854513.0 / 138,
    };
    const bool shifted = x <= 8;
    const double z = shifted ? x + 7 : x - 1;
    double series = 0;
    for (int k = 1; k <= 11; ++k)
        series += Bernoulli[k - 1] / (k * std::pow(z, 2 * k));
    double psi = std::log(z) + (1 / z - series) / 2;
    if (shifted) {
        for (int k = 0; k <= 7; ++k) {
            if (x + k == 0) return Fault;
            psi -= 1 / (x + k);
        }
    }
    return psi;
}

double Zeta(double s) {
    if (!Finite(s)) return Fault;
    const double factor = 1 - std::pow(2.0, 1 - s);
    if (factor == 0) return Fault;
    double sum = 0;
    double weight = 0.5; // 2^-(n+1)
    for (int n = 0; n < 1000; ++n) {
        double inner = 0;
        double binomial = 1;
        for (int k = 0; k <= n; ++k) {
            if (k > 0) binomial = binomial * (n - k + 1) / k;
            const double power = std::pow(k + 1.0, -s);
            inner += (k % 2 == 0 ? binomial : -binomial) * power;
        }
        const double term = weight * inner;
        if (!Finite(term)) return Fault;
        sum += term;
        if (std::fabs(term) < 1e-16) break;
        weight /= 2;
    }
    return sum / factor;
}

double Ei(double x) {
    constexpr double Euler = 0.577215664901532;
    if (!Finite(x)) return Fault;
    if (x <= 0) return 0;
    if (x < 1e-30) return std::log(x) + Euler;
    if (x <= -std::log(1e-15)) {
        double sum = 0;
        double power = 1; // x^k / k!
        for (int k = 1; k <= 100; ++k) {
            power *= x / k;
            const double term = power / k;
            sum += term;
            if (term < 1e-15 * sum) break;
        }
        return Euler + std::log(x) + sum;
    }
    double sum = 0;
    double term = 1;
    for (int k = 1; k <= 100; ++k) {
        const double previous = term;
        term *= k / x;
        if (term < 1e-15) break;
        if (term < previous) {
            sum += term;
        } else {
            sum -= previous;
            break;
        }
    }
    return std::exp(x) / x * (1 + sum);
}

namespace {

// A 32-bit linear congruential generator; 24 of its bits make a single-precision value in [0, 1).
uint32_t RandomState = 0x2545F491u;

} // namespace

double Random(double a) {
    RandomState = RandomState * 1664525u + 1013904223u;
    const float r = static_cast<float>(RandomState >> 8) * (1.0f / 16777216.0f);
    return a * r;
}

} // namespace zep::expr
