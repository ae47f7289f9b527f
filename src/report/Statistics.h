// Loop statistics: the numbers of a line's value history and the statistics table of the report.
// The same numbers feed the report, the command detail and the advanced statistics window.
#pragma once

#include "report/ReportLines.h"

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zep {

// One record per ordinary line, one per marker for a marker sum.
struct StatisticsRecord {
    double Maximum = 0;
    double Minimum = 0;
    double Mean = 0;
    double StdDev = 0;
    double Median = 0;
};

// A value history of the single element "---" holds no value yet.
inline constexpr std::string_view NoValueYet = "---";

// History of a line's raw answers and durations over the passes of a loop run.
struct LineHistory {
    std::vector<std::string> Values{std::string(NoValueYet)};
    std::vector<double> Times{-1.0};
};

void ResetHistory(LineHistory& history);
// The first value replaces the "---" placeholder; later ones are appended.
void AppendHistory(LineHistory& history, std::string_view value);
bool HasValues(std::span<const std::string> values);

// The numbers. Empty input gives 0. The standard deviation is the sample deviation (divided by
// n - 1; 0 for a single value); the median of an even count is the mean of the two middle values.
double Maximum(std::span<const double> values);
double Minimum(std::span<const double> values);
double Mean(std::span<const double> values);
double StandardDeviation(std::span<const double> values);
double Median(std::span<const double> values);
std::vector<double> SortAscending(std::span<const double> values);
StatisticsRecord ComputeRecord(std::span<const double> values);

// Counts in 9 intervals of equal width from the minimum to the maximum (the last interval includes
// the maximum); values all equal fall into the first.
struct Histogram {
    std::array<int, 9> Counts{};
    double Lowest = 0;
    double Width = 0;
};
Histogram ComputeHistogram(std::span<const double> values);

// Percentile of sorted values with the rank position n * p / 100: a fractional rank takes the value
// at the next whole rank, a whole rank k the mean of the values of ranks k and k + 1 (so 50 gives
// the median).
double Percentil(std::span<const double> sorted, double percent);

// The series of one line: the leading number of every history element.
std::vector<double> HistorySeries(std::span<const std::string> values);
// The series per marker of a marker sum, split by the separator of the first element.
std::vector<std::vector<double>> MarkerSeries(std::span<const std::string> values);

inline constexpr std::string_view AcpStatisticsMessage = "ACP table statistics are not yet implemented!";

// The records of one line by its result kind; an ACP table gets none and its message.
std::vector<StatisticsRecord> ComputeStatistics(ReportContext& context, const CommandLine& line,
                                                std::span<const std::string> values);

// Text in a field of 10: centred (left blanks rounded half to even) or right-aligned; longer text
// unchanged.
std::string CentreField(std::string_view text);
std::string RightField(std::string_view text);

std::string StatisticsHeading(const ReportOptions& options, size_t labelWidth);
std::string StatisticsRule(std::string_view heading);

// "|" + right(unit) + per enabled column "|" + right(value) + "|".
std::string FormatStatisticsLine(const StatisticsRecord& record, int32_t kind, std::string_view unit,
                                 bool scale, std::string_view format, const ReportOptions& options);

// The statistics lines of one line (none for an ACP table, which gets its message).
void WriteStatistics(ReportContext& context, const CommandLine& line,
                     std::span<const StatisticsRecord> records);

// A line of the block with its value history, for the statistics section.
struct StatisticsLine {
    const CommandLine* Line;
    std::span<const std::string> Values;
};

// The statistics section at a block's end (Results): for loop runs " -- STATISTICS -- ", the
// heading, the rule and the lines; always an empty line. Returns the records per line.
std::vector<std::vector<StatisticsRecord>>
WriteStatisticsSection(ReportContext& context, std::span<const StatisticsLine> lines, int loopCount);

// The command detail window's statistics message, or its notice without statistics.
inline constexpr std::string_view NeedTwoMeasurements = "Please run at least 2 measurements for statistics";
std::string StatisticsDetailText(const StatisticsRecord& record, std::string_view decimalSymbol = ".");

// One row of the advanced statistics window: 19 cell texts and the histogram cells' grey levels.
struct AdvancedStatisticsRow {
    std::array<std::string, 19> Cells;
    std::array<int, 9> Grey{};       // background grey level of histogram cell i (column 3 + i)
    std::array<bool, 9> WhiteText{}; // text colour of that cell
};
AdvancedStatisticsRow ComputeAdvancedRow(std::string_view name, std::span<const double> values,
                                         std::string_view decimalSymbol = ".");

} // namespace zep
