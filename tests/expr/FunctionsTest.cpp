// The function library: integer rules, rounding, combinatorics, logic, trigonometric, hyperbolic and
// special functions, and their arithmetic faults.
#include "ExprTestSupport.h"

#include "expr/MathParser.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace zep::test {
namespace {

constexpr double TruePi = 3.141592653589793;

struct NearRow {
    std::string_view input;
    double expected;
    double relativeTolerance;
};

void ExpectNear(std::initializer_list<NearRow> rows) {
    for (const NearRow& row : rows) {
        MathParser parser;
        ASSERT_TRUE(parser.StoreExpression(row.input)) << row.input << ": " << parser.ErrorDescription();
        double value = 0;
        try {
            value = parser.Eval();
        } catch (const MathParserError& error) {
            ADD_FAILURE() << row.input << ": " << error.Description();
            continue;
        }
        const double tolerance = row.relativeTolerance * std::max(1.0, std::fabs(row.expected));
        EXPECT_NEAR(value, row.expected, tolerance) << row.input;
    }
}

TEST(Functions, IntegerRulesRoundHalvesToEven) {
    ExpectRows({
        {"7%3", "1"},
        {"-7%3", "-1"},
        {"7%(-3)", "1"},
        {"7%-3", "eval: Evaluation error <7 % 0> at pos:2"}, // (7%0)-3
        {"7\\2", "3"},
        {"-7\\2", "-3"},
        {"2.5%2", "0"},
        {"3.5%2", "0"},
        {"2.5\\1", "2"},
        {"3.5\\1", "4"},
        {"mod(7;3)", "1"},
        {"MOD(-7;3)", "-1"},
        {"2147483647%2", "1"},
        {"(-2147483648)\\(-1)", "eval: Evaluation error <-2147483648 \\ -1> at pos:14"},
        {"7%0", "eval: Evaluation error <7 % 0> at pos:2"},
        {"7\\0.4", "eval: Evaluation error <7 \\ 0.4> at pos:2"},
        {"mod(1E10;3)", "eval: Evaluation error <mod(10000000000 ,3)> at pos:9"},
    });
}

TEST(Functions, RoundToDecimalsTakesHalvesDown) {
    ExpectRows({
        {"round(2.5;0)", "2"},
        {"round(-2.5;0)", "-3"},
        {"round(1.2345;2)", "1.23"},
        {"round(2.567;1)", "2.6"},
        {"round(1234;-2)", "1200"},
        {"round(2.6;0)", "3"},
        {"round(2.567;1.5)", "2.57"}, // 1.5 decimals round to 2
        {"round(1;40000)", "eval: Evaluation error <round(1 ,40000)> at pos:8"},
    });
}

TEST(Functions, FactorialAndCombinations) {
    ExpectRows({
        {"fact(0)", "1"},
        {"fact(-3)", "1"},
        {"0!", "1"},
        {"fact(2.5)", "2"},
        {"fact(3.5)", "24"},
        {"fact(10)", "3628800"},
        {"fact(170)", "7.25741561530799E+306"},
        {"fact(171)", "eval: Evaluation error <fact(171)> at pos:5"},
        {"fact(1E10)", "eval: Evaluation error <fact(10000000000)> at pos:5"},
        {"comb(5;2)", "10"},
        {"comb(5;7)", "1"},
        {"comb(5;0)", "1"},
        {"comb(5;5)", "1"},
        {"comb(5;1)", "5"},
        {"comb(6;4)", "15"},
        {"comb(5.9;2.9)", "10"},
        {"comb(20;10)", "184756"},
        {"comb(0;3)", "1"},
        {"comb(-4;2)", "1"},
        // The running product is kept in 32 bits.
        {"comb(30;15)", "eval: Evaluation error <comb(30 ,15)> at pos:8"},
    });
}

TEST(Functions, DivisorsAndMultiples) {
    ExpectRows({
        {"gcd(12;18)", "6"},
        {"mcd(12;18)", "6"},
        {"gcd(4;-6)", "-2"},
        {"gcd(5;0)", "5"},
        {"gcd(0;5)", "5"},
        {"gcd(12.4;18.6)", "1"}, // 12 and 19
        {"lcm(4;6)", "12"},
        {"mcm(4;6)", "12"},
        {"lcm(2.5;3)", "7.5"},
        {"lcm(0;5)", "0"},
        {"lcm(0;0)", "eval: Evaluation error <lcm(0 ,0)> at pos:6"},
        {"gcd(3E9;2)", "eval: Evaluation error <gcd(3000000000 ,2)> at pos:8"},
    });
}

TEST(Functions, MinMaxAndLogic) {
    ExpectRows({
        {"max(2;5)", "5"},
        {"max(5;2)", "5"},
        {"min(2;5)", "2"},
        {"min(-1;-1)", "-1"},
        {"and(1;0)", "0"},
        {"and(2;-3)", "1"},
        {"or(0;0)", "0"},
        {"or(0;-1)", "1"},
        {"not(0)", "1"},
        {"not(5)", "0"},
        {"xor(1;0)", "1"},
        {"xor(0;2)", "1"},
        {"xor(1;1)", "0"},
        {"xor(0;0)", "0"},
        {"and(3>2;2>1)", "1"},
    });
}

TEST(Functions, TruncationSignAndFraction) {
    ExpectRows({
        {"int(-2.5)", "-3"},
        {"int(2.5)", "2"},
        {"fix(-2.5)", "-2"},
        {"dec(-2.5)", "-0.5"},
        {"dec(2.75)", "0.75"},
        {"sgn(-3)", "-1"},
        {"sgn(0)", "0"},
        {"sgn(0.1)", "1"},
        {"abs(-3)", "3"},
    });
}

TEST(Functions, TrigonometricFormsUseTheFifteenDigitPi) {
    ExpectRows({
        {"acos(1)", "0"},
        {"acos(-1)", "3.14159265358979"},
        {"asin(1)", "1.5707963267949"},
        {"asin(-1)", "-1.5707963267949"},
        {"rad(180)", "3.14159265358979"},
        {"deg(pi)", "180"},
        {"acot(0)", "1.5707963267949"},
        {"asin(2)", "eval: Evaluation error <asin(2)> at pos:5"},
        {"acos(-1.5)", "eval: Evaluation error <acos(-1.5)> at pos:5"},
        {"csc(0)", "eval: Evaluation error <csc(0)> at pos:4"},
        {"cot(0)", "eval: Evaluation error <cot(0)> at pos:4"},
        {"acsc(0)", "eval: Evaluation error <acsc(0)> at pos:5"},
    });
    ExpectNear({
        {"sin(1)", std::sin(1.0), 1e-15},
        {"cos(1)", std::cos(1.0), 1e-15},
        {"tan(1)", std::tan(1.0), 1e-15},
        {"atn(1)", std::atan(1.0), 1e-15},
        {"acos(0.5)", std::acos(0.5), 1e-14},
        {"asin(0.5)", std::asin(0.5), 1e-14},
        {"csc(1)", 1 / std::sin(1.0), 1e-15},
        {"sec(1)", 1 / std::cos(1.0), 1e-15},
        {"cot(1)", 1 / std::tan(1.0), 1e-15},
        {"acsc(2)", std::asin(0.5), 1e-14},
        {"asec(2)", std::acos(0.5), 1e-14},
        {"acot(1)", std::atan(1.0), 1e-14},
    });
}

TEST(Functions, HyperbolicForms) {
    ExpectRows({
        {"cosh(0)", "1"},
        {"sinh(0)", "0"},
        {"tanh(0)", "0"},
        {"tanh(800)", "1"},
        {"tanh(-800)", "-1"},
        {"coth(800)", "1"},
        {"acosh(1)", "0"},
        {"asinh(0)", "0"},
        {"sech(0)", "1"},
        {"cosh(800)", "eval: Evaluation error <cosh(800)> at pos:5"},
        {"sech(800)", "eval: Evaluation error <sech(800)> at pos:5"},
        {"csch(0)", "eval: Evaluation error <csch(0)> at pos:5"},
        {"coth(0)", "eval: Evaluation error <coth(0)> at pos:5"},
        {"acosh(0.5)", "eval: Evaluation error <acosh(0.5)> at pos:6"},
        {"atanh(1)", "eval: Evaluation error <atanh(1)> at pos:6"},
        {"acoth(0)", "eval: Evaluation error <acoth(0)> at pos:6"},
    });
    ExpectNear({
        {"cosh(1)", std::cosh(1.0), 1e-15},
        {"sinh(1)", std::sinh(1.0), 1e-15},
        {"tanh(0.5)", std::tanh(0.5), 1e-15},
        {"acosh(2)", std::acosh(2.0), 1e-15},
        {"asinh(2)", std::asinh(2.0), 1e-15},
        {"asinh(-2)", std::asinh(-2.0), 1e-15},
        {"asinh(-1E8)", std::asinh(-1e8), 1e-15},
        {"atanh(0.5)", std::atanh(0.5), 1e-15},
        {"csch(1)", 1 / std::sinh(1.0), 1e-15},
        {"sech(1)", 1 / std::cosh(1.0), 1e-15},
        {"coth(1)", 1 / std::tanh(1.0), 1e-15},
        {"acsch(2)", std::asinh(0.5), 1e-15},
        {"asech(0.5)", std::acosh(2.0), 1e-15},
        {"acoth(2)", std::atanh(0.5), 1e-15},
    });
}

TEST(Functions, PowersRootsAndLogarithms) {
    ExpectRows({
        {"sqr(16)", "4"},
        {"cbr(8)", "2"},
        {"root(16;4)", "2"},
        {"exp(0)", "1"},
        {"exp(1)", "2.71828182845905"},
        {"ln(exp(2))", "2"},
        {"log(100)", "2"},
        {"log(1000)", "3"},
        {"2^10", "1024"},
        {"0^0", "1"},
        {"(-2)^3", "-8"},
        {"sqr(-1)", "eval: Evaluation error <sqr(-1)> at pos:4"},
        {"cbr(-8)", "eval: Evaluation error <cbr(-8)> at pos:4"},
        {"root(2;0)", "eval: Evaluation error <root(2 ,0)> at pos:7"},
        {"ln(-1)", "eval: Evaluation error <ln(-1)> at pos:3"},
        {"log(0)", "eval: Evaluation error <log(0)> at pos:4"},
        {"exp(1000)", "eval: Evaluation error <exp(1000)> at pos:4"},
        {"10^400", "eval: Evaluation error <10 ^ 400> at pos:3"},
    });
}

TEST(Functions, ErrorFunction) {
    ExpectRows({
        {"erf(0)", "0"},
        {"erf(10)", "1"},
        {"erf(-30)", "-1"},
    });
    ExpectNear({
        {"erf(0.5)", std::erf(0.5), 1e-15},
        {"erf(1)", std::erf(1.0), 1e-15},
        {"erf(-1)", std::erf(-1.0), 1e-15},
        {"erf(2)", std::erf(2.0), 1e-15},
        {"erf(2.0001)", std::erf(2.0001), 1e-15},
        {"erf(3)", std::erf(3.0), 1e-15},
        {"erf(-3)", std::erf(-3.0), 1e-15},
        {"erf(-12)", -1.0, 1e-15},
    });
}

TEST(Functions, GammaFamilyByLanczos) {
    ExpectRows({
        // The fifteen-digit coefficients give 24 within a few parts in 1E15.
        {"gamma(5)", "23.9999999999999"},
        {"gamma(0)", "eval: Evaluation error <gamma(0)> at pos:6"},
        {"gamma(-0.5)", "eval: Evaluation error <gamma(-0.5)> at pos:6"},
        {"gamma(172)", "eval: Evaluation error <gamma(172)> at pos:6"},
        {"gammaln(-0.5)", "eval: Evaluation error <gammaln(-0.5)> at pos:8"},
    });
    ExpectNear({
        {"gamma(0.5)", std::tgamma(0.5), 1e-14},
        {"gamma(1)", 1, 1e-14},
        {"gamma(10)", 362880, 1e-14},
        {"gamma(2.5)", std::tgamma(2.5), 1e-14},
        {"gamma(171.5)", 9.483367566824795e307, 1e-12},
        {"gammaln(10)", std::lgamma(10.0), 1e-14},
        {"gammaln(1000)", std::lgamma(1000.0), 1e-13},
        {"gammaln(0.1)", std::lgamma(0.1), 1e-14},
        {"beta(2;3)", 1.0 / 12, 1e-14},
        {"beta(0.5;0.5)", TruePi, 1e-13},
    });
}

TEST(Functions, DigammaZetaAndExponentialIntegral) {
    ExpectRows({
        {"zeta(0)", "-0.5"},
        {"zeta(1)", "eval: Evaluation error <zeta(1)> at pos:5"},
        {"digamma(0)", "eval: Evaluation error <digamma(0)> at pos:8"},
        {"digamma(-8)", "eval: Evaluation error <digamma(-8)> at pos:8"},
        {"ei(0)", "0"},
        {"ei(-1)", "0"},
    });
    ExpectNear({
        {"digamma(1)", -0.5772156649015329, 1e-14},
        {"digamma(0.5)", -1.9635100260214235, 1e-14},
        {"digamma(10)", 2.251752589066721, 1e-14},
        {"digamma(100)", 4.600161852738087, 1e-14},
        {"digamma(-0.5)", 0.03648997397857652, 1e-13},
        {"zeta(2)", TruePi * TruePi / 6, 1e-14},
        {"zeta(3)", 1.2020569031595942, 1e-14},
        {"zeta(0.5)", -1.4603545088095868, 1e-13},
        {"zeta(-1)", -1.0 / 12, 1e-14},
        {"zeta(40)", 1.0000000000009095, 1e-14},
        {"ei(1)", 1.8951178163559368, 1e-14},
        {"ei(0.001)", -6.329539364025038, 1e-14},
        {"ei(10)", 2492.2289762418777, 1e-14},
        {"ei(34)", 17698037244116.2685, 1e-14},
        {"ei(34.6)", 31670928831104.527, 1e-14},
        {"ei(40)", 6.0397182636112415e15, 1e-13},
        {"ei(1E-31)", std::log(1e-31) + 0.577215664901532, 1e-15},
    });
}

TEST(Functions, RandomValuesStayInRangeAndVary) {
    MathParser parser;
    ASSERT_TRUE(parser.StoreExpression("rnd(10)"));
    std::set<double> seen;
    for (int i = 0; i < 100; ++i) {
        const double value = parser.Eval();
        EXPECT_GE(value, 0);
        EXPECT_LT(value, 10);
        seen.insert(value);
    }
    EXPECT_GT(seen.size(), 90u);
    ASSERT_TRUE(parser.StoreExpression("rnd(0)"));
    EXPECT_EQ(parser.Eval(), 0);
}

} // namespace
} // namespace zep::test
