// Loop statistics: the numbers and the report table.
#include "report/Statistics.h"
#include "FakeHost.h"
#include "report/ValueFormat.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zep {
namespace {

TEST(Statistics, Numbers) {
    const std::vector<double> values = {4, 1, 3, 2};
    const StatisticsRecord r = ComputeRecord(values);
    EXPECT_EQ(r.Maximum, 4);
    EXPECT_EQ(r.Minimum, 1);
    EXPECT_EQ(r.Mean, 2.5);
    EXPECT_EQ(r.Median, 2.5);
    EXPECT_NEAR(r.StdDev, std::sqrt(5.0 / 3.0), 1e-12); // sample deviation
    EXPECT_EQ(Median(std::vector<double>{5, 1, 3}), 3);
    EXPECT_EQ(StandardDeviation(std::vector<double>{7}), 0);
    EXPECT_EQ(SortAscending(values), (std::vector<double>{1, 2, 3, 4}));
    const StatisticsRecord empty = ComputeRecord({});
    EXPECT_EQ(empty.Maximum, 0);
    EXPECT_EQ(empty.Median, 0);
}

TEST(Statistics, PercentilTakesRanksFromOne) {
    std::vector<double> sorted;
    for (int i = 1; i <= 10; ++i)
        sorted.push_back(i);
    EXPECT_EQ(Percentil(sorted, 5), 1);    // rank 0.5 -> first value
    EXPECT_EQ(Percentil(sorted, 95), 10);  // rank 9.5 -> tenth value
    EXPECT_EQ(Percentil(sorted, 50), 5.5); // whole rank 5: mean of fifth and sixth, the median
    EXPECT_EQ(Percentil(sorted, 20), 2.5);
    EXPECT_EQ(Percentil(sorted, 100), 10);
    EXPECT_EQ(Percentil(sorted, 0), 1);
    EXPECT_EQ(Percentil(std::vector<double>{3}, 95), 3);
    EXPECT_EQ(Percentil({}, 50), 0);
    const std::vector<double> odd = {1, 2, 3, 4, 5};
    EXPECT_EQ(Percentil(odd, 50), Median(odd));
}

TEST(Statistics, HistogramOfNineIntervals) {
    std::vector<double> values;
    for (int i = 0; i <= 9; ++i)
        values.push_back(i);
    const Histogram h = ComputeHistogram(values);
    EXPECT_EQ(h.Counts, (std::array<int, 9>{1, 1, 1, 1, 1, 1, 1, 1, 2}));
    EXPECT_EQ(h.Lowest, 0);
    EXPECT_EQ(h.Width, 1);
    EXPECT_EQ(ComputeHistogram(std::vector<double>{2, 2, 2}).Counts[0], 3);
    const double nan = std::nan("");
    EXPECT_EQ(ComputeHistogram(std::vector<double>{nan, 1, HUGE_VAL}).Counts[0] +
                  ComputeHistogram(std::vector<double>{nan, 1, HUGE_VAL}).Counts[8],
              3);
}

TEST(Statistics, Fields) {
    EXPECT_EQ(CentreField("MAX"), "    MAX   ");
    EXPECT_EQ(CentreField("MEDIAN"), "  MEDIAN  ");
    EXPECT_EQ(CentreField("UNIT"), "   UNIT   ");
    EXPECT_EQ(CentreField("STDDEV"), "  STDDEV  ");
    EXPECT_EQ(CentreField("VALUE"), "  VALUE   ");   // 2.5 rounds to 2
    EXPECT_EQ(CentreField("X"), "    X     ");       // 4.5 rounds to 4
    EXPECT_EQ(CentreField("SEVENCH"), "  SEVENCH "); // 1.5 rounds to 2
    EXPECT_EQ(CentreField("0123456789AB"), "0123456789AB");
    EXPECT_EQ(RightField("dB"), "        dB");
    EXPECT_EQ(RightField("\xC2\xB5V"), "        \xC2\xB5V");
    EXPECT_EQ(RightField("-1234567.000"), "-1234567.000");
}

TEST(Statistics, HeadingAndLineShareColumnBoundaries) {
    ReportOptions options;
    options.ShowMax = options.ShowMin = options.ShowMean = options.ShowStdDev = false;
    options.ShowMedian = true;
    const std::string heading = StatisticsHeading(options, 8);
    EXPECT_EQ(heading, "VALUE   |   UNIT   |  MEDIAN  |");
    EXPECT_EQ(StatisticsRule(heading), std::string(heading.size(), '-'));
    const std::string line =
        PadLabel("Level", ' ', 8) +
        FormatStatisticsLine(StatisticsRecord{1, 2, 3, 4, 5}, ResultKind::MSUM, "dBm", false, {}, options);
    EXPECT_EQ(line, "Level   |       dBm|    +5.000|");
    for (size_t i = 0; i < heading.size(); ++i)
        EXPECT_EQ(heading[i] == '|', line[i] == '|') << i;

    const ReportOptions all;
    EXPECT_EQ(StatisticsHeading(all, 6), "VALUE |   UNIT   |    MAX   |    MIN   |   MEAN   |  STDDEV  |");
}

class StatisticsSectionTest : public ::testing::Test {
  protected:
    ReportDocument report;
    ReportOptions options;
    test::FakeHost host;
    ErrorNotifier notifier{host};
    ReportContext context{report, options, &notifier, 8, {}};

    static CommandLine Line(std::string label, int32_t kind, std::string unit) {
        CommandLine line;
        line.Label = std::move(label);
        line.Result.Kind = kind;
        line.Result.Argument = std::move(unit);
        return line;
    }
};

TEST_F(StatisticsSectionTest, TableOfOrdinaryLinesAndMarkers) {
    CommandLine level = Line("Level", ResultKind::Number, "dBm");
    CommandLine peaks = Line("Peaks", ResultKind::MSUM, "Hz");
    CommandLine quiet = Line("Quiet", ResultKind::Number, "V");
    quiet.Result.NoStatistics = true;
    CommandLine notRun = Line("NotRun", ResultKind::Number, "V");
    LineHistory levelHistory, peakHistory, quietHistory, notRunHistory;
    for (const char* v : {"-10.5", "-10.25", "-11", "bad", "-9.75"})
        AppendHistory(levelHistory, v);
    for (const char* v : {"1;2;3", "2;3;4", "3;4;5", "4;5;6", "5;6;7"})
        AppendHistory(peakHistory, v);
    AppendHistory(quietHistory, "1");
    const StatisticsLine lines[] = {{&level, levelHistory.Values},
                                    {&peaks, peakHistory.Values},
                                    {&quiet, quietHistory.Values},
                                    {&notRun, notRunHistory.Values}};
    const auto records = WriteStatisticsSection(context, lines, 5);
    EXPECT_EQ(report.PlainText(), " -- STATISTICS -- \n"
                                  "VALUE   |   UNIT   |    MAX   |    MIN   |   MEAN   |  STDDEV  |\n"
                                  "----------------------------------------------------------------\n"
                                  "Level   |       dBm|    +0.000|   -11.000|    -8.300|    +4.662|\n"
                                  "Peaks   |\n"
                                  "Marker 001|        Hz|    +5.000|    +1.000|    +3.000|    +1.581|\n"
                                  "Marker 002|        Hz|    +6.000|    +2.000|    +4.000|    +1.581|\n"
                                  "Marker 003|        Hz|    +7.000|    +3.000|    +5.000|    +1.581|\n"
                                  "\n");
    ASSERT_EQ(records.size(), 4U);
    EXPECT_EQ(records[1].size(), 3U);
    EXPECT_EQ(records[1][2].Median, 5);
    // " -- STATISTICS -- " bold, the heading plain, the rule bold.
    const auto groups = report.Groups();
    EXPECT_TRUE(groups[0].bold);
    EXPECT_FALSE(groups[1].bold);
    EXPECT_TRUE(groups[2].bold);
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(StatisticsSectionTest, SinglePassAndResultsOff) {
    const CommandLine level = Line("Level", ResultKind::Number, "dBm");
    LineHistory history;
    AppendHistory(history, "1");
    const StatisticsLine lines[] = {{&level, history.Values}};
    WriteStatisticsSection(context, lines, 1);
    EXPECT_EQ(report.PlainText(), "\n");
    report.Clear();
    options.Results = false;
    WriteStatisticsSection(context, lines, 5);
    EXPECT_TRUE(report.Empty());
}

TEST_F(StatisticsSectionTest, AcpTablesGetTheMessageInstead) {
    const CommandLine acp = Line("ACP", ResultKind::ACPTab, "dB");
    LineHistory history;
    AppendHistory(history, "-10,-40,-41");
    AppendHistory(history, "-10,-40,-41");
    const StatisticsLine lines[] = {{&acp, history.Values}};
    const auto records = WriteStatisticsSection(context, lines, 2);
    EXPECT_TRUE(records[0].empty());
    EXPECT_EQ(report.PlainLines().size(), 4U); // title, heading, rule, empty line
    ASSERT_EQ(host.boxes.size(), 2U);          // computing and writing each tell the user
    EXPECT_EQ(host.boxes[0].text, "ACP table statistics are not yet implemented!");
    EXPECT_EQ(host.boxes[0].title, "ACP table");
    EXPECT_EQ(host.boxes[0].style, MsgStyle::Information);
    std::vector<std::string> remote;
    notifier.SetRemoteSink([&](std::string_view text) {
        remote.emplace_back(text);
        return true;
    });
    ComputeStatistics(context, acp, history.Values);
    EXPECT_EQ(host.boxes.size(), 2U);
    EXPECT_EQ(remote, std::vector<std::string>{"ACP table statistics are not yet implemented!"});
}

TEST(Statistics, HistoryPlaceholder) {
    LineHistory history;
    EXPECT_FALSE(HasValues(history.Values));
    AppendHistory(history, "1.5");
    EXPECT_EQ(history.Values, std::vector<std::string>{"1.5"});
    AppendHistory(history, "2");
    EXPECT_EQ(history.Values, (std::vector<std::string>{"1.5", "2"}));
    ResetHistory(history);
    EXPECT_EQ(history.Values, std::vector<std::string>{"---"});
    EXPECT_EQ(history.Times, std::vector<double>{-1});
}

TEST(Statistics, MarkerSeriesSplitByTheFirstValue) {
    const std::vector<std::string> values = {"1,2", "3", "5,6,7"};
    const auto series = MarkerSeries(values);
    ASSERT_EQ(series.size(), 2U);
    EXPECT_EQ(series[0], (std::vector<double>{1, 3, 5}));
    EXPECT_EQ(series[1], (std::vector<double>{2, 0, 6}));
}

TEST(Statistics, DetailTextAndAdvancedRow) {
    EXPECT_EQ(StatisticsDetailText(StatisticsRecord{4, 1, 2.5, 1.29099, 2.5}),
              "MAXIMUM\t4.000\r\nMINIMUM\t\t1.000\r\nMEAN\t\t2.500\r\nSTD DEV\t\t1.291\r\nMEDIAN\t\t2.500");
    std::vector<double> values;
    for (int i = 0; i <= 9; ++i)
        values.push_back(i);
    const AdvancedStatisticsRow row = ComputeAdvancedRow("Test", values);
    EXPECT_EQ(row.Cells[0], "Test");
    EXPECT_EQ(row.Cells[1], "4.5");
    EXPECT_EQ(row.Cells[2], "0.0");
    EXPECT_EQ(row.Cells[12], "9.0");
    EXPECT_EQ(row.Cells[13], "0.0"); // 5%: rank 0.5
    EXPECT_EQ(row.Cells[14], "4.5");
    EXPECT_EQ(row.Cells[15], "9.0");
    EXPECT_EQ(row.Cells[16], "3.0");
    EXPECT_EQ(row.Cells[17], "-1.6");
    EXPECT_EQ(row.Cells[18], "10.6");
    EXPECT_EQ(row.Cells[3], "1");
    EXPECT_EQ(row.Cells[11], "2");
    EXPECT_EQ(row.Grey[0], 255); // the smallest count
    EXPECT_FALSE(row.WhiteText[0]);
    EXPECT_EQ(row.Grey[8], 128); // 255 - 255 * (2 - 1) / 2
}

} // namespace
} // namespace zep
