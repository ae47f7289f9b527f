// zep-cli eval: compiles one equation, gives its variables their values and prints the result.
#include "cli/CliArgs.h"
#include "cli/CliCommands.h"
#include "cli/TerminalHost.h"
#include "expr/MathParser.h"
#include "expr/NumberText.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zep::cli {

namespace {

constexpr const char* EvalUsage = "usage: zep-cli eval [--var NAME=VALUE]... [--eval1 X] EQUATION";

// A decimal number with optional sign, period and exponent, as a script writes it.
bool ReadValue(std::string_view text, double& value) {
    if (!text.empty() && text[0] == '+') text.remove_prefix(1);
    if (text.empty() || text[0] == '+') return false;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc{} && result.ptr == text.data() + text.size() && std::isfinite(value);
}

// Prints the evaluator's own text as the only line on standard error.
int EvaluationFailed(const std::string& description) {
    std::fprintf(stderr, "%s\n", ForStream(stderr, description).c_str());
    return ExitFailed;
}

} // namespace

int RunEval(const Args& args) {
    CliArgs parsed;
    if (auto error = parsed.Parse(args, {"var", "eval1"}, {}, {"var"}); !error.empty()) {
        PrintError(error + " (" + EvalUsage + ")");
        return ExitUsage;
    }
    if (parsed.Positionals().size() != 1) {
        PrintError(EvalUsage);
        return ExitUsage;
    }
    std::vector<std::pair<std::string, double>> values;
    for (const auto& assignment : parsed.Values("var")) {
        const size_t eq = assignment.find('=');
        double value = 0;
        if (eq == std::string::npos || eq == 0) {
            PrintError("--var needs NAME=VALUE, got \"" + assignment + "\"");
            return ExitUsage;
        }
        if (!ReadValue(std::string_view(assignment).substr(eq + 1), value)) {
            PrintError("--var " + assignment.substr(0, eq) + ": \"" + assignment.substr(eq + 1) +
                       "\" is not a number");
            return ExitUsage;
        }
        values.emplace_back(assignment.substr(0, eq), value);
    }
    std::optional<double> eval1;
    if (const auto x = parsed.Value("eval1")) {
        double value = 0;
        if (!ReadValue(*x, value)) {
            PrintError("--eval1: \"" + *x + "\" is not a number");
            return ExitUsage;
        }
        eval1 = value;
    }

    MathParser parser;
    if (!parser.StoreExpression(parsed.Positionals()[0])) return EvaluationFailed(parser.ErrorDescription());
    for (int32_t i = 1; i <= parser.VarTop(); ++i)
        for (const auto& [name, value] : values)
            if (name == parser.VarName(i)) parser.VarValue(i, value);
    try {
        const double result = eval1 ? parser.Eval1(*eval1) : parser.Eval();
        std::printf("%s\n", FormatNumber15(result).c_str());
        return ExitOk;
    } catch (const MathParserError& error) {
        return EvaluationFailed(error.Description());
    }
}

} // namespace zep::cli
