// Command-line parsing shared by the zep-cli sub-commands.
#include "cli/CliArgs.h"

#include "cli/TerminalHost.h"

#include <algorithm>
#include <cstdio>

namespace zep::cli {

std::string CliArgs::Parse(const std::vector<std::string>& args, const std::vector<std::string>& valueOptions,
                           const std::vector<std::string>& flagOptions,
                           const std::vector<std::string>& repeatableOptions) {
    auto known = [](const std::vector<std::string>& list, const std::string& name) {
        return std::find(list.begin(), list.end(), name) != list.end();
    };
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
            if (arg == "--")
                optionsEnded = true;
            else
                positionals_.push_back(arg);
            continue;
        }
        std::string name = arg.substr(2);
        std::optional<std::string> inlineValue;
        if (const size_t eq = name.find('='); eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        if (known(flagOptions, name) && !inlineValue) {
            if (flags_.count(name) && !known(repeatableOptions, name))
                return "option --" + name + " given twice";
            flags_[name] = true;
        } else if (known(valueOptions, name)) {
            if (!inlineValue && i + 1 >= args.size()) return "option --" + name + " needs a value";
            const std::string value = inlineValue ? *inlineValue : args[++i];
            // An empty value is a slip of the caller (an unset shell variable), never a name.
            if (value.empty()) return "option --" + name + " needs a value, not an empty text";
            auto& list = values_[name];
            if (!list.empty() && !known(repeatableOptions, name)) return "option --" + name + " given twice";
            list.push_back(value);
        } else {
            return "unknown option " + arg;
        }
    }
    return {};
}

std::optional<std::string> CliArgs::Value(const std::string& name) const {
    const auto it = values_.find(name);
    if (it == values_.end() || it->second.empty()) return std::nullopt;
    return it->second.back();
}

std::vector<std::string> CliArgs::Values(const std::string& name) const {
    const auto it = values_.find(name);
    return it == values_.end() ? std::vector<std::string>{} : it->second;
}

void PrintError(const std::string& message) {
    std::fprintf(stderr, "zep-cli: %s\n", ForStream(stderr, message).c_str());
    std::fflush(stderr);
}

} // namespace zep::cli
