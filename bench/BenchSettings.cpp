// Reading and saving the settings file and generating code, each against a baseline measured in
// the same run: splitting the same bytes into lines, and joining the same command texts.
#include "codegen/CodeGen.h"
#include "common/TextFile.h"
#include "settings/Settings.h"

#include "RatioReporter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

// A full settings file as a Windows installation leaves it: every key, a recent list, comments
// and a section of another program.
const std::string& SettingsBytes() {
    static const std::string bytes = [] {
        zep::IniDocument file = zep::IniDocument::Parse("; station settings\r\n[OtherTool]\r\nx=1\r\n");
        zep::SaveSettings(file, zep::DefaultSettings("C:\\ZEP"));
        for (int i = 0; i < 10; ++i)
            file.Set("RECENT", std::to_string(i), "C:\\Tests\\Set" + std::to_string(i) + ".ZEP_SET");
        return file.Serialize();
    }();
    return bytes;
}

constexpr int kCommandLines = 10000;

const zep::TestModel& Model() {
    static const zep::TestModel model = [] {
        zep::TestModel m;
        for (int i = 0; i < kCommandLines; ++i) {
            zep::CommandLine line;
            line.InstrumentIndex = static_cast<int16_t>(i % 7 == 0 ? -zep::CommandKindCode::Comment : i % 3);
            line.CommandText = ":SENS:FREQ " + std::to_string(i) + "MHz;:READ?";
            line.Label = "Reading " + std::to_string(i);
            m.Commands.push_back(std::move(line));
        }
        return m;
    }();
    return model;
}

void SplitLinesOnly(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(zep::SplitLines(zep::DecodeUserText(SettingsBytes())));
}

void LoadAllSettings(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(zep::LoadSettings(zep::IniDocument::Parse(SettingsBytes()), "C:\\ZEP"));
}

void SaveAllSettings(benchmark::State& state) {
    zep::Settings settings = zep::DefaultSettings("C:\\ZEP");
    settings.Simulation = true; // one changed key, as after a typical session
    for (auto _ : state) {
        zep::IniDocument file = zep::IniDocument::Parse(SettingsBytes());
        zep::SaveSettings(file, settings);
        benchmark::DoNotOptimize(file.Serialize());
    }
}

void JoinCommandTexts(benchmark::State& state) {
    for (auto _ : state) {
        std::string text;
        for (const auto& line : Model().Commands)
            text += line.CommandText + " " + line.Label + "\r\n";
        benchmark::DoNotOptimize(text);
    }
    state.SetItemsProcessed(state.iterations() * kCommandLines);
}

void GenerateAllCode(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(zep::GenerateCode(Model(), zep::CodeStyle{}));
    state.SetItemsProcessed(state.iterations() * kCommandLines);
}

BENCHMARK(SplitLinesOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(LoadAllSettings)->Unit(benchmark::kMicrosecond);
BENCHMARK(SaveAllSettings)->Unit(benchmark::kMicrosecond);
BENCHMARK(JoinCommandTexts)->Unit(benchmark::kMillisecond);
BENCHMARK(GenerateAllCode)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    zep::bench::RatioReporter reporter({{"LoadAllSettings", "SplitLinesOnly", ""},
                                        {"SaveAllSettings", "SplitLinesOnly", ""},
                                        {"GenerateAllCode", "JoinCommandTexts", ""}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
