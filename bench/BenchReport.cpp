// Appending report lines (label, value, colour) and then producing the RTF and the plain text,
// against appending to one std::string in the same run (a) the lines' text bytes and (b) every byte
// the report holds afterwards, ready made.
#include "report/RTFGen.h"
#include "report/ReportDocument.h"
#include "report/ValueFormat.h"

#include <benchmark/benchmark.h>

#include <ctime>
#include <string>
#include <vector>

namespace {

struct Lines {
    std::vector<std::string> labels;
    std::vector<std::string> values;
    std::vector<int32_t> colours;
    std::vector<std::string> rtfGroups; // the RTF both groups of a line add, ready made
};

Lines MakeLines(size_t count) {
    Lines lines;
    const int32_t colours[] = {zep::Colour::Black, zep::Colour::Red, zep::Colour::DarkGreen,
                               zep::Colour::Blue};
    for (size_t i = 0; i < count; ++i) {
        lines.labels.push_back(zep::PadLabel("Level " + std::to_string(i % 1000), '.', 24));
        lines.values.push_back(
            zep::FormatValue(static_cast<double>(i) * 0.0137, "dBm", "#0.000", false, true));
        lines.colours.push_back(colours[i % 4]);
        std::string rtf;
        zep::AppendRtfGroup(rtf, lines.labels.back(), false, false, false, false, zep::Colour::Black, 0, -1);
        zep::AppendRtfGroup(rtf, lines.values.back(), true, true, false, false, lines.colours.back(), 0, -1);
        lines.rtfGroups.push_back(std::move(rtf));
    }
    return lines;
}

// CPU time of this thread: the machines are shared, and wall time counts other processes' turns.
double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void BM_ReportAppendAndRender(benchmark::State& state) {
    const auto count = static_cast<size_t>(state.range(0));
    const Lines lines = MakeLines(count);
    double ours = 0;
    double textBaseline = 0;
    double bytesBaseline = 0;
    for (auto _ : state) {
        double start = ThreadSeconds();
        {
            zep::ReportDocument report;
            for (size_t i = 0; i < count; ++i) {
                report.AddResult(lines.labels[i], false);
                report.AddResult(lines.values[i], true, true, false, false, lines.colours[i]);
            }
            // The RTF document and the plain text, as copying and storing take them: both are kept
            // complete, so producing them copies nothing.
            const std::string_view rtf = report.RtfDocument();
            const std::string_view text = report.PlainText();
            benchmark::DoNotOptimize(rtf.data());
            benchmark::DoNotOptimize(text.data());
            benchmark::DoNotOptimize(rtf.size() + text.size());
        }
        const double elapsed = ThreadSeconds() - start;
        ours += elapsed;
        state.SetIterationTime(elapsed);

        // Baseline: the text bytes of the lines (label, value, line end) appended to one string.
        start = ThreadSeconds();
        {
            std::string all;
            for (size_t i = 0; i < count; ++i) {
                all += lines.labels[i];
                all += lines.values[i];
                all += '\n';
            }
            benchmark::DoNotOptimize(all.data());
        }
        textBaseline += ThreadSeconds() - start;

        // Baseline: every byte the report holds afterwards (the RTF groups and the plain text),
        // ready made, appended to one string.
        start = ThreadSeconds();
        {
            std::string all;
            for (size_t i = 0; i < count; ++i) {
                all += lines.rtfGroups[i];
                all += lines.labels[i];
                all += lines.values[i];
                all += '\n';
            }
            benchmark::DoNotOptimize(all.data());
        }
        bytesBaseline += ThreadSeconds() - start;
    }
    const auto iterations = static_cast<double>(state.iterations());
    state.counters["ours_ms"] = ours / iterations * 1000;
    state.counters["text_ms"] = textBaseline / iterations * 1000;
    state.counters["bytes_ms"] = bytesBaseline / iterations * 1000;
    state.counters["ratio_text"] = ours / textBaseline;
    state.counters["ratio_bytes"] = ours / bytesBaseline;
    state.counters["ns_per_line"] = ours / iterations / static_cast<double>(count) * 1e9;
}

BENCHMARK(BM_ReportAppendAndRender)->Arg(10000)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
