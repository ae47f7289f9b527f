// Runs a shell command line as a child process and collects its exit status, standard output and error.
#pragma once

#include "ChildProcess.h"

#include <fstream>
#include <sstream>
#include <string>

namespace zep::test {

struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs commandLine through the shell in directory (empty: the current one).
inline ProcessResult RunProcess(const std::string& commandLine, const std::string& directory = {}) {
    zep::test::ChildOptions options;
    options.directory = directory;
    zep::test::ChildResult child = zep::test::RunChild({"/bin/sh", "-c", commandLine}, options, 100000);
    return ProcessResult{child.exitCode, child.out, child.err};
}

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace zep::test
