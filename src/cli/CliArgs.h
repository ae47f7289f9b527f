// Command-line parsing shared by the zep-cli sub-commands.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zep::cli {

// Exit statuses of every program.
constexpr int ExitOk = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

// Options of one sub-command: "--name VALUE" options, "--flag" switches and positionals.
class CliArgs {
  public:
    // valueOptions and flagOptions name the accepted options without their leading "--".
    // Only repeatableOptions may be given more than once. Returns an error text for an unknown option,
    // a missing or empty value or a repeated single option, else empty.
    std::string Parse(const std::vector<std::string>& args, const std::vector<std::string>& valueOptions,
                      const std::vector<std::string>& flagOptions,
                      const std::vector<std::string>& repeatableOptions = {});

    std::optional<std::string> Value(const std::string& name) const;
    std::vector<std::string> Values(const std::string& name) const;
    const std::vector<std::string>& Positionals() const { return positionals_; }
    bool Flag(const std::string& name) const { return flags_.count(name) > 0; }

  private:
    std::map<std::string, std::vector<std::string>> values_;
    std::map<std::string, bool> flags_;
    std::vector<std::string> positionals_;
};

// Writes "zep-cli: " + message as one line on standard error.
void PrintError(const std::string& message);

} // namespace zep::cli
