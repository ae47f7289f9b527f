// Inline equations, answer variables and the variable tables.
#include "sequencer/VariableSubstitution.h"

#include "common/StringOp.h"
#include "common/TextFile.h"
#include "expr/MathParser.h"
#include "report/ValueFormat.h"

#include <array>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <map>
#include <optional>
#include <vector>

namespace zep {

namespace {

constexpr std::string_view CrLf = "\r\n";

bool IsNumberAsWritten(std::string_view text) {
    if (IsPlainNumber(text)) return true;
    const std::string_view trimmed = TrimBlanksView(text);
    if (StartsWith(trimmed, ".")) return IsPlainNumber("0" + std::string(trimmed));
    if (StartsWith(trimmed, "-.")) return IsPlainNumber("-0" + std::string(trimmed.substr(1)));
    return false;
}

// The value of a text that passes the number test, read from the form that passed it (as written,
// without "s", then also without "%"), so that 10s gives 10 and 5% gives 5.
std::optional<double> NumberValue(std::string_view text) {
    std::string rest(text);
    for (const char removed : {'\0', 's', '%'}) {
        if (removed != '\0') std::erase(rest, removed);
        if (IsNumberAsWritten(rest)) return LeadingNumber(rest);
    }
    return std::nullopt;
}

const std::vector<VariableDef>& TableOf(const TestModel& model, int source) {
    switch (source) {
    case FromRunVariables:
        return model.RunVariables;
    case FromCaseVariables:
        return model.CaseVariables;
    default:
        return model.SetVariables;
    }
}

// The element index of a reference: the number after the first "[" with every "]" removed; -1
// when the reference has no brackets or the number is not a usable index.
double ElementIndex(std::string_view afterBracket) {
    std::string digits(afterBracket);
    std::erase(digits, ']');
    return LeadingNumber(digits);
}

void SelectElement(ResultSpec& spec, double index) {
    if (!(index >= 0)) return;
    const auto parts = SplitValue(spec.RawValue, DetectListSeparator(spec.RawValue));
    if (index >= static_cast<double>(parts.size())) return;
    spec.Value = parts[static_cast<size_t>(index)];
}

// The file a file variable names: as written, else below the test directory (letter case ignored,
// "\" accepted as separator, for test sets written on Windows).
std::optional<std::filesystem::path> LocateFile(const TestModel& model, const std::string& name) {
    std::error_code ec;
    if (!name.empty() && std::filesystem::is_regular_file(name, ec)) return std::filesystem::path(name);
    return FindPathIgnoringCase(model.TestDirectory, name);
}

std::string BinaryBlock(const std::string& bytes) {
    const std::string count = std::to_string(bytes.size());
    std::string block = "#" + std::to_string(count.size()) + count;
    block += bytes;
    return block;
}

struct Evaluation {
    std::string Value;
    std::string ErrorText;
    bool IsFile = false;
};

} // namespace

std::string CommandNumberText(double value) {
    if (value == 0) return "0"; // also for -0
    std::array<char, 64> buffer{};
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    if (ec != std::errc()) return "0";
    std::string text(buffer.data(), end);
    for (char& c : text)
        if (c == 'e') c = 'E';
    return text;
}

bool FindVariable(const TestModel& model, std::string_view reference, ResultSpec& spec, int& source) {
    const std::string cleaned = StripText(reference);
    std::string_view name = cleaned;
    double index = -1;
    const size_t open = cleaned.find('[');
    if (open != std::string::npos && cleaned.find(']') != std::string::npos) {
        name = std::string_view(cleaned).substr(0, open);
        index = ElementIndex(std::string_view(cleaned).substr(open + 1));
    }
    for (const int table : {FromRunVariables, FromCaseVariables, FromSetVariables}) {
        for (const VariableDef& variable : TableOf(model, table)) {
            if (variable.Name != name) continue;
            spec = variable.Result;
            source = table;
            SelectElement(spec, index);
            return true;
        }
    }
    return false;
}

int32_t FindVariableKind(const TestModel& model, std::string_view name) {
    ResultSpec spec;
    int source = 0;
    return FindVariable(model, name, spec, source) ? spec.Kind : ResultKind::NoResult;
}

void SetRunVariable(TestModel& model, std::string_view name, const ResultSpec& spec) {
    bool stored = false;
    for (VariableDef& variable : model.RunVariables) {
        if (variable.Name != name) continue;
        variable.Result = spec;
        stored = true;
    }
    if (!stored) model.RunVariables.push_back(VariableDef{std::string(name), spec});
}

std::string EvaluateEquation(const TestModel& model, std::string_view equation, std::string& errorText,
                             bool& isFile) {
    errorText.clear();
    isFile = false;
    MathParser parser;
    if (!parser.StoreExpression(equation)) {
        errorText = "Parser could not process the equation " + std::string(CrLf) + std::string(equation) +
                    std::string(CrLf) + "(" + parser.ErrorDescription() + ")";
        return {};
    }

    bool missing = false;
    bool isText = false;
    std::optional<ResultSpec> fileVariable;
    std::string value;
    for (int32_t i = 1; i <= parser.VarTop(); ++i) {
        const std::string& name = parser.VarName(i);
        ResultSpec spec;
        int source = 0;
        if (!FindVariable(model, name, spec, source)) {
            errorText += "variable <" + name + "> not defined" + std::string(CrLf);
            missing = true;
            continue;
        }
        if (spec.Kind == ResultKind::RawFile || spec.Kind == ResultKind::BinFile) {
            // The variable itself names the file; for an equation that is just the variable this
            // is the lookup of the whole equation text.
            fileVariable = spec;
            continue;
        }
        if (const auto number = NumberValue(spec.Value)) {
            parser.VarValue(i, *number);
        } else {
            value = spec.Value;
            isText = true;
        }
    }

    if (!missing && !isText && !fileVariable) {
        try {
            return CommandNumberText(parser.Eval());
        } catch (const MathParserError& error) {
            errorText = error.Description();
            return {};
        }
    }

    if (fileVariable) {
        const std::string fileName = StripText(fileVariable->Value);
        const auto path = LocateFile(model, fileName);
        const auto bytes = path ? ReadFileBytes(*path) : std::nullopt;
        if (!bytes) {
            const std::string shownPath = path ? path->string() : JoinPath(model.TestDirectory, fileName);
            errorText += "missing file <" + shownPath + ">";
            return value;
        }
        isFile = true;
        return fileVariable->Kind == ResultKind::BinFile ? BinaryBlock(*bytes) : *bytes;
    }
    return value;
}

std::string SubstituteEquations(const TestModel& model, CommandLine& line, bool& isFile) {
    isFile = false;
    const std::string& text = line.CommandText;
    std::vector<size_t> marks;
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '%') marks.push_back(i);

    // The result is assembled from the text between the pairs and the values, rather than by
    // replacing "%equation%" in a working copy: a value that holds "%" (a text or a file) and a
    // stretch of plain text between two pairs that reads like a third are then left alone.
    std::map<std::string, Evaluation, std::less<>> evaluated; // each distinct equation once
    std::string errors;
    std::string result;
    size_t copied = 0;
    for (size_t k = 0; k + 1 < marks.size(); k += 2) {
        const size_t open = marks[k];
        const size_t close = marks[k + 1];
        const std::string equation = text.substr(open + 1, close - open - 1);
        auto found = evaluated.find(equation);
        if (found == evaluated.end()) {
            Evaluation evaluation;
            evaluation.Value = EvaluateEquation(model, equation, evaluation.ErrorText, evaluation.IsFile);
            if (!evaluation.ErrorText.empty()) errors += "\t" + evaluation.ErrorText;
            if (evaluation.IsFile) isFile = true;
            found = evaluated.emplace(equation, std::move(evaluation)).first;
        }
        result.append(text, copied, open - copied);
        result += found->second.Value;
        copied = close + 1;
    }
    result.append(text, copied);

    if (errors.empty()) {
        line.ErrorText = "(OK)";
        line.ErrorDetail.clear();
    } else {
        line.ErrorText = "PARS ERROR";
        line.ErrorDetail = errors;
    }
    return result;
}

std::string ExtractAnswerVariable(std::string_view text, std::string& name, ReportContext& context) {
    name.clear();
    const size_t open = text.find('<');
    if (open == std::string_view::npos) return std::string(text);
    const size_t close = text.find('>', open + 1);
    if (close == std::string_view::npos) {
        ShowParserError(context, "variable open with <, but no close ...", text);
        return {};
    }
    // Blanks inside the brackets would make a name that no lookup (which strips) ever finds.
    name = StripText(text.substr(open + 1, close - open - 1));
    return StripText(text.substr(0, open)) + StripText(text.substr(close + 1));
}

} // namespace zep
