// Loading a generated test case of 100,000 command lines, against reading the same file line by
// line with no parsing at all, measured in the same run. Prints the ratio at the end.
#include "testdef/TestLoad.h"

#include "RatioReporter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>

namespace {

constexpr int kLines = 100000;

const std::filesystem::path& Directory() {
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / ("zep_bench_load_" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        std::ofstream out(d / "Big.ZEP_CASE", std::ios::binary);
        out << "// generated test case\r\nNEED|SMG|Gen\r\nNEED|FSA+B25|SA\r\nNEED|PWS-Z|PWS||*RST\r\n"
               "VARIABLE|Tol|tolerance|IsdB|0.00|0.5\r\nBLOCK|Main|Main block\r\nBLOCK|Loop|Loop|PAR\r\n";
        const char* instruments[] = {"Gen", "SA", "PWS", "Calculator", "Limit"};
        for (int i = 0; i < kLines; ++i) {
            const char* instrument = instruments[i % 5];
            if (i % 50 == 0) out << "// section " << i << "\r\n";
            out << (i % 2 ? "Main" : "Loop") << '|' << instrument << "|:SENS:FREQ " << i
                << "MHz;:READ?|Reading " << i << "|IsdBm__S|##0.000\r\n";
        }
        return d;
    }();
    return dir;
}

void ReadLinesOnly(benchmark::State& state) {
    const auto path = Directory() / "Big.ZEP_CASE";
    for (auto _ : state) {
        std::ifstream in(path, std::ios::binary);
        std::string line;
        size_t count = 0;
        while (std::getline(in, line))
            count += line.size();
        benchmark::DoNotOptimize(count);
    }
    state.SetItemsProcessed(state.iterations() * kLines);
}

void LoadTestCase(benchmark::State& state) {
    zep::TestModel model;
    zep::TestLoad loader(model);
    model.TestDirectory = Directory().string();
    for (auto _ : state) {
        loader.LoadTestCase("Big");
        if (model.Commands.size() != static_cast<size_t>(kLines)) state.SkipWithError("lines lost");
        benchmark::DoNotOptimize(model.Commands.data());
    }
    state.SetItemsProcessed(state.iterations() * kLines);
}

BENCHMARK(ReadLinesOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(LoadTestCase)->Unit(benchmark::kMillisecond);

// Collects the mean real time per benchmark so the ratio can be printed after the table.

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    zep::bench::RatioReporter reporter({{"LoadTestCase", "ReadLinesOnly", "(goal: under 5)"}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::filesystem::remove_all(Directory());
    return 0;
}
