// Fuzzes the test-case loader: the input becomes up to three test-case files (split at "\n====\n")
// that may include each other, and a test set listing them; loading must never crash or hang.
#include "report/ReportDocument.h"
#include "report/ReportLines.h"
#include "testdef/TestLoad.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

const std::filesystem::path& Directory() {
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / ("zep_fuzz_loader_" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir;
}

void WriteFile(const std::string& name, std::string_view bytes) {
    std::ofstream(Directory() / name, std::ios::binary | std::ios::trunc).write(bytes.data(), bytes.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const char* names[] = {"Main.ZEP_CASE", "Inc.ZEP_CASE", "sub.ZEP_CASE"};
    for (const char* name : names) {
        const size_t cut = input.find("\n====\n");
        WriteFile(name, input.substr(0, cut));
        input = cut == std::string_view::npos ? std::string_view() : input.substr(cut + 6);
    }
    // The same bytes also serve as a test set, so its grammar gets the same treatment.
    WriteFile("Set.ZEP_SET", std::string_view(reinterpret_cast<const char*>(data), size));

    zep::TestModel model;
    zep::TestLoad loader(model);
    loader.OpenTestSet((Directory() / "Set.ZEP_SET").string());
    for (size_t g = 0; g < model.Groups.size(); ++g)
        for (const auto& entry : loader.TestListAt(g))
            (void)loader.SelectTest(entry);
    loader.LoadTestCase("Main");
    loader.LoadTestCase("MAIN");
    for (const auto& line : model.Commands) {
        (void)loader.InstrumentName(line.InstrumentIndex);
        if (line.BlockIndex < 0 || static_cast<size_t>(line.BlockIndex) >= model.Blocks.size())
            __builtin_trap();
        if (line.InstrumentIndex >= 0 &&
            static_cast<size_t>(line.InstrumentIndex) >= model.Instruments.size())
            __builtin_trap();
    }
    zep::ReportDocument report;
    zep::ShowParserErrors(report, loader.Findings());
    (void)report.PlainLines();
    return 0;
}
