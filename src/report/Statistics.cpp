// Loop statistics.
#include "report/Statistics.h"

#include "common/StringOp.h"
#include "common/Utf8.h"
#include "report/ValueFormat.h"

#include <algorithm>
#include <cmath>

namespace zep {

void ResetHistory(LineHistory& history) {
    history.Values.assign(1, std::string(NoValueYet));
    history.Times.assign(1, -1.0);
}

void AppendHistory(LineHistory& history, std::string_view value) {
    if (!HasValues(history.Values))
        history.Values.assign(1, std::string(value));
    else
        history.Values.emplace_back(value);
}

bool HasValues(std::span<const std::string> values) {
    return !values.empty() && !(values.size() == 1 && values[0] == NoValueYet);
}

double Maximum(std::span<const double> values) {
    if (values.empty()) return 0;
    return *std::max_element(values.begin(), values.end());
}

double Minimum(std::span<const double> values) {
    if (values.empty()) return 0;
    return *std::min_element(values.begin(), values.end());
}

double Mean(std::span<const double> values) {
    if (values.empty()) return 0;
    double sum = 0;
    for (const double v : values)
        sum += v;
    return sum / static_cast<double>(values.size());
}

double StandardDeviation(std::span<const double> values) {
    if (values.size() < 2) return 0;
    const double mean = Mean(values);
    double squares = 0;
    for (const double v : values)
        squares += (v - mean) * (v - mean);
    return std::sqrt(squares / static_cast<double>(values.size() - 1));
}

std::vector<double> SortAscending(std::span<const double> values) {
    std::vector<double> sorted(values.begin(), values.end());
    // NaN would break the ordering; it goes last.
    std::sort(sorted.begin(), sorted.end(), [](double a, double b) {
        if (std::isnan(a)) return false;
        if (std::isnan(b)) return true;
        return a < b;
    });
    return sorted;
}

double Median(std::span<const double> values) {
    if (values.empty()) return 0;
    const auto sorted = SortAscending(values);
    const size_t n = sorted.size();
    return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
}

StatisticsRecord ComputeRecord(std::span<const double> values) {
    return StatisticsRecord{Maximum(values), Minimum(values), Mean(values), StandardDeviation(values),
                            Median(values)};
}

Histogram ComputeHistogram(std::span<const double> values) {
    Histogram h;
    if (values.empty()) return h;
    h.Lowest = Minimum(values);
    const double range = Maximum(values) - h.Lowest;
    h.Width = range / 9;
    for (const double v : values) {
        size_t index = 0;
        if (std::isfinite(range) && range > 0) {
            const double position = (v - h.Lowest) / h.Width;
            if (position >= 9)
                index = 8;
            else if (position > 0)
                index = static_cast<size_t>(position);
        }
        ++h.Counts[index];
    }
    return h;
}

double Percentil(std::span<const double> sorted, double percent) {
    const size_t n = sorted.size();
    if (n == 0) return 0;
    const double position = static_cast<double>(n) / 100 * percent;
    if (!(position > 0)) return sorted.front();
    if (position >= static_cast<double>(n)) return sorted.back();
    const double whole = std::floor(position);
    const auto rank = static_cast<size_t>(whole);
    if (position != whole) return sorted[rank]; // rank floor + 1, counted from 1
    return (sorted[rank - 1] + sorted[std::min(rank, n - 1)]) / 2;
}

std::vector<double> HistorySeries(std::span<const std::string> values) {
    std::vector<double> series;
    series.reserve(values.size());
    for (const auto& v : values)
        series.push_back(LeadingNumber(v));
    return series;
}

std::vector<std::vector<double>> MarkerSeries(std::span<const std::string> values) {
    if (values.empty()) return {};
    const char separator = DetectListSeparator(values[0]);
    const size_t markers = SplitValue(values[0], separator).size();
    std::vector<std::vector<double>> series(markers);
    for (const auto& v : values) {
        const auto parts = SplitValue(v, separator);
        for (size_t m = 0; m < markers; ++m)
            series[m].push_back(m < parts.size() ? LeadingNumber(parts[m]) : 0.0);
    }
    return series;
}

namespace {

void ShowAcpMessage(ReportContext& context) {
    if (context.Notifier)
        context.Notifier->NotifyUser(AcpStatisticsMessage, MsgStyle::Information, "ACP table");
}

// Left blanks of a centred field: (10 - length) / 2, halves to the even integer.
size_t CentreLeft(size_t length) {
    const size_t free = 10 - length;
    const size_t half = free / 2;
    if (free % 2 == 0) return half;
    return half % 2 == 0 ? half : half + 1;
}

} // namespace

std::vector<StatisticsRecord> ComputeStatistics(ReportContext& context, const CommandLine& line,
                                                std::span<const std::string> values) {
    if (line.Result.Kind == ResultKind::ACPTab) {
        ShowAcpMessage(context);
        return {};
    }
    std::vector<StatisticsRecord> records;
    if (line.Result.Kind == ResultKind::MSUM) {
        for (const auto& series : MarkerSeries(values))
            records.push_back(ComputeRecord(series));
        return records;
    }
    records.push_back(ComputeRecord(HistorySeries(values)));
    return records;
}

std::string CentreField(std::string_view text) {
    const size_t length = utf8::Length(text);
    if (length >= 10) return std::string(text);
    const size_t left = CentreLeft(length);
    return std::string(left, ' ') + std::string(text) + std::string(10 - length - left, ' ');
}

std::string RightField(std::string_view text) {
    const size_t length = utf8::Length(text);
    if (length >= 10) return std::string(text);
    return std::string(10 - length, ' ') + std::string(text);
}

namespace {

struct Column {
    std::string_view name;
    bool ReportOptions::*enabled;
    double StatisticsRecord::*value;
};

constexpr Column kColumns[] = {
    {"MAX", &ReportOptions::ShowMax, &StatisticsRecord::Maximum},
    {"MIN", &ReportOptions::ShowMin, &StatisticsRecord::Minimum},
    {"MEAN", &ReportOptions::ShowMean, &StatisticsRecord::Mean},
    {"MEDIAN", &ReportOptions::ShowMedian, &StatisticsRecord::Median},
    {"STDDEV", &ReportOptions::ShowStdDev, &StatisticsRecord::StdDev},
};

} // namespace

std::string StatisticsHeading(const ReportOptions& options, size_t labelWidth) {
    std::string heading = PadLabel("VALUE", ' ', labelWidth) + "|" + CentreField("UNIT");
    for (const auto& column : kColumns)
        if (options.*column.enabled) heading += "|" + CentreField(column.name);
    return heading + "|";
}

std::string StatisticsRule(std::string_view heading) {
    return std::string(utf8::Length(heading), '-');
}

std::string FormatStatisticsLine(const StatisticsRecord& record, int32_t kind, std::string_view unit,
                                 bool scale, std::string_view format, const ReportOptions& options) {
    std::string line = "|" + RightField(unit);
    for (const auto& column : kColumns)
        if (options.*column.enabled)
            line +=
                "|" + RightField(AntFormat(record.*column.value, kind, "", scale, options.Format, format));
    return line + "|";
}

void WriteStatistics(ReportContext& context, const CommandLine& line,
                     std::span<const StatisticsRecord> records) {
    ReportDocument& report = context.Report;
    const ResultSpec& result = line.Result;
    if (result.Kind == ResultKind::ACPTab) {
        ShowAcpMessage(context);
        return;
    }
    if (result.Kind == ResultKind::MSUM) {
        report.AddResult(PadLabel(line.Label, ' ', context.LabelWidth) + "|", true);
        for (size_t i = 0; i < records.size(); ++i) {
            report.AddResult(PadLabel("Marker " + FormatNumber(static_cast<double>(i + 1), "000"), ' ',
                                      context.LabelWidth),
                             false);
            report.AddResult(FormatStatisticsLine(records[i], ResultKind::MSUM, result.Argument, false,
                                                  result.Format, context.Options),
                             true);
        }
        return;
    }
    if (records.empty()) return;
    report.AddResult(PadLabel(line.Label, ' ', context.LabelWidth), false);
    report.AddResult(FormatStatisticsLine(records[0], ResultKind::MSUM, result.Argument, false, result.Format,
                                          context.Options),
                     true);
}

std::vector<std::vector<StatisticsRecord>>
WriteStatisticsSection(ReportContext& context, std::span<const StatisticsLine> lines, int loopCount) {
    std::vector<std::vector<StatisticsRecord>> all;
    if (!context.Options.Results) return all;
    ReportDocument& report = context.Report;
    if (loopCount >= 2) {
        report.AddResult(" -- STATISTICS -- ", true, true);
        const std::string heading = StatisticsHeading(context.Options, context.LabelWidth);
        report.AddResult(heading, true);
        report.AddResult(StatisticsRule(heading), true, true);
        for (const auto& entry : lines) {
            all.push_back(ComputeStatistics(context, *entry.Line, entry.Values));
            if (HasValues(entry.Values) && !entry.Line->Result.NoStatistics)
                WriteStatistics(context, *entry.Line, all.back());
        }
    }
    report.AddResult("", true);
    return all;
}

std::string StatisticsDetailText(const StatisticsRecord& record, std::string_view decimalSymbol) {
    auto number = [&](double v) { return FormatNumber(v, "0.000", decimalSymbol); };
    return "MAXIMUM\t" + number(record.Maximum) + "\r\nMINIMUM\t\t" + number(record.Minimum) +
           "\r\nMEAN\t\t" + number(record.Mean) + "\r\nSTD DEV\t\t" + number(record.StdDev) +
           "\r\nMEDIAN\t\t" + number(record.Median);
}

AdvancedStatisticsRow ComputeAdvancedRow(std::string_view name, std::span<const double> values,
                                         std::string_view decimalSymbol) {
    AdvancedStatisticsRow row;
    auto number = [&](double v) { return FormatNumber(v, "0.0", decimalSymbol); };
    const StatisticsRecord r = ComputeRecord(values);
    const auto sorted = SortAscending(values);
    row.Cells[0] = std::string(name);
    row.Cells[1] = number(r.Mean);
    row.Cells[2] = number(r.Minimum);
    row.Cells[12] = number(r.Maximum);
    row.Cells[13] = number(Percentil(sorted, 5));
    row.Cells[14] = number(r.Median);
    row.Cells[15] = number(Percentil(sorted, 95));
    row.Cells[16] = number(r.StdDev);
    row.Cells[17] = number(r.Mean - 2 * r.StdDev);
    row.Cells[18] = number(r.Mean + 2 * r.StdDev);
    const Histogram h = ComputeHistogram(values);
    const int smallest = *std::min_element(h.Counts.begin(), h.Counts.end());
    const int largest = *std::max_element(h.Counts.begin(), h.Counts.end());
    for (size_t i = 0; i < 9; ++i) {
        row.Cells[3 + i] = std::to_string(h.Counts[i]);
        const int grey =
            largest > 0 ? static_cast<int>(std::lround(255.0 - 255.0 * (h.Counts[i] - smallest) / largest))
                        : 255;
        row.Grey[i] = grey;
        row.WhiteText[i] = grey < 128;
    }
    return row;
}

} // namespace zep
