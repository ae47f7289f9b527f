// Runs a program as a child process and collects its exit status, standard output and error.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace zep::testing {

struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs commandLine through the shell in directory (empty: the current one).
inline ProcessResult RunProcess(const std::string& commandLine, const std::string& directory = {}) {
    const auto errFile = std::filesystem::temp_directory_path() / ("zep_err_" + std::to_string(::getpid()));
    std::string shell = directory.empty() ? std::string() : "cd " + ShellQuote(directory) + " && ";
    shell += commandLine + " 2>" + ShellQuote(errFile.string());
    ProcessResult result;
    FILE* pipe = ::popen(shell.c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, n);
    const int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream errStream(errFile, std::ios::binary);
    std::stringstream errText;
    errText << errStream.rdbuf();
    result.err = errText.str();
    std::filesystem::remove(errFile);
    return result;
}

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace zep::testing
