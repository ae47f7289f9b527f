// zep-cli: runs ZEP's core from the command line, one sub-command per call.
#include "cli/CliArgs.h"
#include "cli/CliCommands.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

void PrintHelp(FILE* out) {
    std::fprintf(out, "usage: zep-cli SUBCOMMAND [ARGUMENTS]\n\nsub-commands:\n");
    for (const auto& command : zep::cli::SubCommands())
        std::fprintf(out, "  zep-cli %.*s\n", static_cast<int>(command.usage.size()), command.usage.data());
    std::fprintf(out, "\nzep-cli SUBCOMMAND --help shows the same line for one sub-command.\n"
                      "Exit status: 0 success, 1 what ran failed, 2 could not run.\n");
}

// A full disk or a closed descriptor must not pass for success: the output is checked once at the end.
int FinishOutput(int status) {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
    zep::cli::PrintError(std::string("cannot write standard output: ") + std::strerror(errno));
    return zep::cli::ExitUsage;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintHelp(stderr);
        return zep::cli::ExitUsage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintHelp(stdout);
        return FinishOutput(zep::cli::ExitOk);
    }
    zep::cli::Args args(argv + 2, argv + argc);
    for (const auto& command : zep::cli::SubCommands()) {
        if (command.name != name) continue;
        for (const auto& arg : args) {
            if (arg == "--help" || arg == "-h") {
                std::printf("usage: zep-cli %.*s\n", static_cast<int>(command.usage.size()),
                            command.usage.data());
                return FinishOutput(zep::cli::ExitOk);
            }
        }
        return FinishOutput(command.run(args));
    }
    zep::cli::PrintError("unknown sub-command \"" + name + "\" (zep-cli --help lists them)");
    return zep::cli::ExitUsage;
}
