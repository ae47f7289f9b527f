// Fuzzes the evaluator on arbitrary text: StoreExpression, Eval and Eval1 never crash, never let a
// non-finite value out, raise only MathParserError with its numbers, and agree with the walk of
// the expression table.
#include "expr/MathParser.h"
#include "expr/NumberText.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

bool MentionsRandom(const std::string& text) {
    for (size_t i = 0; i + 3 <= text.size(); ++i)
        if ((text[i] | 0x20) == 'r' && (text[i + 1] | 0x20) == 'n' && (text[i + 2] | 0x20) == 'd')
            return true;
    return false;
}

struct Outcome {
    bool ok = false;
    double value = 0;
    std::string error;
};

template <typename Evaluate> Outcome Run(zep::MathParser& parser, int32_t number, Evaluate evaluate) {
    Outcome outcome;
    try {
        outcome.value = evaluate();
        outcome.ok = true;
        Check(std::isfinite(outcome.value), "result is finite");
    } catch (const zep::MathParserError& error) {
        Check(error.Number() == number, "error number");
        Check(error.Source() == "MathParser", "error source");
        Check(!error.Description().empty(), "error description");
        outcome.error = error.Description();
        Check(outcome.error == parser.ErrorDescription() || number == zep::MathParserEvalError,
              "description kept");
    }
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first bytes pick variable values; the rest is the equation.
    double values[4] = {3, -2, 0.5, 0};
    size_t offset = 0;
    if (size >= 2) {
        values[0] = static_cast<int8_t>(data[0]) / 4.0;
        values[1] = static_cast<int8_t>(data[1]) * 1.5;
        offset = 2;
    }
    const std::string text(reinterpret_cast<const char*>(data + offset), size - offset);
    zep::MathParser parser;
    const bool stored = parser.StoreExpression(text);
    if (!stored) Check(!parser.ErrorDescription().empty(), "parse error has a text");
    Check(parser.VarTop() >= 0 && parser.VarTop() <= zep::MathParser::MaxVars, "VarTop in range");
    for (int32_t i = 1; i <= parser.VarTop(); ++i) {
        Check(!parser.VarName(i).empty(), "variable name");
        parser.VarValue(i, values[(i - 1) % 4]);
    }
    const Outcome compiled = Run(parser, zep::MathParserEvalError, [&] { return parser.Eval(); });
    if (!stored) Check(!compiled.ok, "Eval after failed parse raises");
    if (stored && !MentionsRandom(text)) {
        const Outcome walked = Run(parser, zep::MathParserEvalError, [&] { return parser.EvalByTable(); });
        Check(compiled.ok == walked.ok, "compiled and table walk agree on failure");
        if (compiled.ok)
            Check(std::memcmp(&compiled.value, &walked.value, sizeof(double)) == 0, "same value");
        else
            Check(compiled.error == walked.error, "same error text");
    }
    Run(parser, zep::MathParserEval1Error, [&] { return parser.Eval1(values[0]); });
    if (compiled.ok) (void)zep::FormatNumber15(compiled.value);
    parser.ET_Dump();
    return 0;
}
