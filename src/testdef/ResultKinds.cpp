// The vocabularies of command kinds and result kinds.
#include "testdef/ResultKinds.h"

#include "common/StringOp.h"

namespace zep {

const std::vector<CommandKind>& StandardCommandKinds() {
    static const std::vector<CommandKind> kinds = {
        {"Comment", "Comment"},        {"Message", "Message"},  {"Calculator", "Calculator"},
        {"Limit", "Limit Eval"},       {"Wait", "Wait"},        {"ProcessCall", "Process Call"},
        {"DOSCommand", "DOS command"}, {"Shell", "shell call"}, {"Store", "store value"},
    };
    return kinds;
}

ResultSpec ParseResultSpec(std::string_view text) {
    ResultSpec spec;
    ParseResultSpecInto(text, spec);
    return spec;
}

void ParseResultSpecInto(std::string_view text, ResultSpec& spec) {
    std::string_view keyword = text;
    std::string_view argument;
    if (text.find(']') != std::string_view::npos && text.find('[') != std::string_view::npos) {
        const size_t open = text.find('[');
        keyword = text.substr(0, open);
        const size_t close = text.find(']', open + 1);
        // A "]" only before the "[" leaves the argument running to the end of the text.
        argument = text.substr(open + 1,
                               close == std::string_view::npos ? std::string_view::npos : close - open - 1);
    }
    const size_t suffixAt = keyword.find("__");
    if (suffixAt != std::string_view::npos) {
        const std::string_view suffix = keyword.substr(suffixAt + 2);
        spec.NoScaling = suffix.find('B') != std::string_view::npos;
        spec.NoStatistics = suffix.find('S') != std::string_view::npos;
        keyword = keyword.substr(0, suffixAt);
    }
    const std::string_view word = StripView(keyword);
    struct Exact {
        std::string_view keyword;
        int32_t kind;
    };
    static constexpr Exact exact[] = {
        {"NoResult", ResultKind::NoResult}, {"IsACPTab", ResultKind::ACPTab},
        {"IsMSUM", ResultKind::MSUM},       {"IsBoolean0_OK", ResultKind::Boolean0_OK},
        {"IsString", ResultKind::String},   {"IsValueTable", ResultKind::ValueTable},
        {"IsBinFile", ResultKind::BinFile}, {"IsRawFile", ResultKind::RawFile},
    };
    for (const auto& entry : exact) {
        if (word == entry.keyword) {
            spec.Kind = entry.kind;
            spec.Argument = std::string(argument);
            return;
        }
    }
    if (StartsWith(word, "IsList")) {
        spec.Kind = ResultKind::List;
        spec.ListName = std::string(word.substr(6));
        spec.Argument = std::string(argument);
        return;
    }
    spec.Kind = ResultKind::Number;
    if (word.size() > 2) spec.Argument = std::string(word.substr(2));
}

} // namespace zep
