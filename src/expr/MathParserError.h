// The one exception type that leaves the expression evaluator: a numbered error with its description.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace zep {

// Raised by Eval (parse or evaluation failure) and by Eval1 (too many variables, evaluation failure).
constexpr int32_t MathParserEvalError = 1001;
constexpr int32_t MathParserEval1Error = 1002;

class MathParserError : public std::runtime_error {
  public:
    MathParserError(int32_t number, const std::string& description)
        : std::runtime_error(description), number_(number), description_(description) {}

    int32_t Number() const { return number_; }
    std::string_view Source() const { return "MathParser"; }
    // The whole text, also where an equation's odd bytes (a NUL) would cut what() short.
    const std::string& Description() const { return description_; }

  private:
    int32_t number_;
    std::string description_;
};

} // namespace zep
