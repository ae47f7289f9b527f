// Loading a generated test case of 100,000 command lines, against reading the same file line by
// line with no parsing at all, measured in the same run; an include bomb against a flat case of as
// many lines as the include cap lets through; and test sets of 1,000 and 10,000 groups, whose ratio
// shows that reading a set and all its test lists is linear. Prints the ratios at the end.
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
        // Twenty files each including the next one twice: a million includes without the cap.
        for (int i = 0; i < 20; ++i) {
            std::ofstream level(d / ("Bomb" + std::to_string(i) + ".ZEP_CASE"), std::ios::binary);
            if (i == 0) level << "BLOCK|Main\r\n";
            if (i < 19)
                level << "MAKRO|Bomb" << i + 1 << "\r\nMAKRO|Bomb" << i + 1 << "\r\n";
            else
                level << "Main|Comment|leaf\r\n";
        }
        std::ofstream flat(d / "Flat.ZEP_CASE", std::ios::binary);
        flat << "BLOCK|Main\r\n";
        for (size_t i = 0; i < zep::MaxIncludesPerLoad; ++i)
            flat << "Main|Comment|leaf\r\n";
        for (int groups : {1000, 10000}) {
            std::ofstream set(d / ("Groups" + std::to_string(groups) + ".ZEP_SET"), std::ios::binary);
            for (int g = 0; g < groups; ++g)
                set << "Group " << g << "\r\n>Head\r\n>>T" << g << "|test " << g << "\r\n>>U" << g
                    << "|other\r\n";
        }
        return d;
    }();
    return dir;
}

void LoadCaseNamed(benchmark::State& state, const char* name) {
    zep::TestModel model;
    zep::TestLoad loader(model);
    model.TestDirectory = Directory().string();
    for (auto _ : state) {
        loader.LoadTestCase(name);
        benchmark::DoNotOptimize(model.Commands.data());
    }
}

void LoadIncludeBomb(benchmark::State& state) {
    LoadCaseNamed(state, "Bomb0");
}
void LoadFlatCapSizedCase(benchmark::State& state) {
    LoadCaseNamed(state, "Flat");
}

// What list, check and dump do first: the set and the test list of every group.
void ReadTestSetAndLists(benchmark::State& state) {
    const auto path = (Directory() / ("Groups" + std::to_string(state.range(0)) + ".ZEP_SET")).string();
    for (auto _ : state) {
        zep::TestModel model;
        zep::TestLoad loader(model);
        loader.OpenTestSet(path);
        size_t entries = 0;
        for (size_t g = 0; g < model.Groups.size(); ++g)
            entries += loader.TestListAt(g).size();
        if (entries != static_cast<size_t>(3 * state.range(0))) state.SkipWithError("entries lost");
        benchmark::DoNotOptimize(entries);
    }
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
BENCHMARK(LoadFlatCapSizedCase)->Unit(benchmark::kMillisecond);
BENCHMARK(LoadIncludeBomb)->Unit(benchmark::kMillisecond);
BENCHMARK(ReadTestSetAndLists)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// Collects the mean real time per benchmark so the ratio can be printed after the table.

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    zep::bench::RatioReporter reporter(
        {{"LoadTestCase", "ReadLinesOnly", "(goal: under 5)"},
         {"LoadIncludeBomb", "LoadFlatCapSizedCase", "(goal: under 3)"},
         {"ReadTestSetAndLists/10000", "ReadTestSetAndLists/1000", "(linear: about 10, goal under 15)"}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::filesystem::remove_all(Directory());
    return 0;
}
