#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/Measure.h"

namespace shoebox::bench {
namespace {

TEST(InTurn, EachPairSwapsWhichGoesFirst)
{
    std::string order;
    inTurn(
        4, [&](int round) { order += "A" + std::to_string(round) + " "; },
        [&](int round) { order += "B" + std::to_string(round) + " "; });
    EXPECT_EQ(order, "A0 B0 B1 A1 A2 B2 B3 A3 ");
}

TEST(ReportLine, ShowsBothSpreadsAndTheRatioOfTheirCentres)
{
    struct Case {
        const char* what;
        std::vector<double> app, baseline;
        Statistic statistic;
        std::string line;
        double ratio;
    };
    const std::vector<double> twenty = {20, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19};
    const Case cases[] = {
        {"medians",
         {90.2, 77.1, 81.0},
         {69.0, 75.0, 66.3},
         Statistic::Median,
         "f: median 81.0 ms (min 77.1, max 90.2) | baseline: median 69.0 ms (min 66.3, max 75.0) | ratio: 1.17",
         81.0 / 69.0},
        {"95th percentiles",
         twenty,
         {2, 2, 4, 4},
         Statistic::P95,
         "f: p95 19.0 ms (min 1.00, max 20.0) | baseline: p95 4.00 ms (min 2.00, max 4.00) | ratio: 4.75",
         4.75},
        {"failed rounds left out and counted",
         {NAN, 30, 10, 20},
         {10, 10, NAN},
         Statistic::Median,
         "f: median 20.0 ms (min 10.0, max 30.0) [1 of 4 failed] | baseline: median 10.0 ms (min 10.0, max 10.0) "
         "[1 of 3 failed] | ratio: 2.00",
         2.0},
        {"no round finished", {NAN, NAN}, {1, 2}, Statistic::Median, "f: n/a (measurement failed)", NAN},
        {"baseline of nothing",
         {3, 3},
         {0, 0},
         Statistic::Median,
         "f: median 3.00 ms (min 3.00, max 3.00) | baseline: median 0.00 ms (min 0.00, max 0.00) | ratio: n/a "
         "(baseline is 0)",
         NAN},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        double ratio = 0;
        EXPECT_EQ(Report::line("f", "ms", c.app, c.baseline, c.statistic, &ratio), c.line);
        if (std::isnan(c.ratio))
            EXPECT_TRUE(std::isnan(ratio));
        else
            EXPECT_DOUBLE_EQ(ratio, c.ratio);
    }
}

TEST(ReportSummary, ListsEachFiguresRatiosAcrossRepeats)
{
    char* text = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    {
        Report report(out);
        for (double a : {12.0, 10.0, 11.0}) {
            report.figure("x_ms", "ms", {a}, {10});
            report.figure("y_mb", "MB", {a * 2}, {10});
        }
        const long before = std::ftell(out);
        report.summary();
        std::fflush(out);
        EXPECT_EQ(std::string(text + before),
                  "x_ms: ratio median 1.10 (min 1.00, max 1.20) over 3 repeats: 1.20 1.00 1.10\n"
                  "y_mb: ratio median 2.20 (min 2.00, max 2.40) over 3 repeats: 2.40 2.00 2.20\n");
    }
    std::fclose(out);
    std::free(text);
}

} // namespace
} // namespace shoebox::bench
