#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/history_plot.h"

namespace {

// The range, step and end labels that each set of values and lines gets
// within six ticks; worked out by hand from the median and its spread.
TEST(HistoryPlot, ValuesGetARangeOfNiceTicksThatAStepOfHoursCannotFlatten)
{
    const std::vector<double> tolerance = {0, 0.2, -0.2};
    const struct {
        std::vector<double> values, lines;
        double lo, hi, step;
        bool fMilliseconds;
        std::string first, last;
    } rows[] = {
        {{0.0012, -0.0008, 0.0003}, tolerance, -0.001, 0.0015, 0.0005, true, "-1.0", "1.5"},  // the tolerance far out
        {{0.05}, tolerance, 0, 0.05, 0.01, true, "0", "50"},                                  // one point, and zero
        {{0.0123, 0.0123, 0.0123}, {}, 0.0118, 0.0128, 0.0002, true, "11.8", "12.8"},         // all equal: a millisecond
        {{0.001, 0.002, 0.003, 3600}, tolerance, 0, 0.003, 0.001, true, "0", "3"},            // an hour among them
        {{0, 0, 3600, 3600}, {0}, 0, 4000, 1000, false, "0", "4000"},                         // half of them an hour off
        {{0.05, 0.12, 0.15, -0.03}, tolerance, -0.2, 0.2, 0.1, true, "-200", "200"},          // near the tolerance
        {{}, {0, 0.6}, 0, 0.6, 0.2, true, "0", "600"},                                        // none yet: the lines
        {{-2.5}, {}, -2.5005, -2.4995, 0.0005, false, "-2.5005", "-2.4995"},
    };
    for (const auto& row : rows) {
        ValueScale scale = ScaleValues(row.values.data(), (int)row.values.size(), row.lines.data(),
                                       (int)row.lines.size(), 6);
        SCOPED_TRACE(row.last);
        EXPECT_NEAR(scale.lo, row.lo, 1e-12);
        EXPECT_NEAR(scale.hi, row.hi, 1e-12);
        EXPECT_NEAR(scale.step, row.step, 1e-15);
        EXPECT_EQ(scale.fMilliseconds, row.fMilliseconds);
        char first[PLOT_LABEL_SIZE], last[PLOT_LABEL_SIZE];
        FormatTickLabel(first, scale, 0);
        FormatTickLabel(last, scale, TickCount(scale) - 1);
        EXPECT_EQ(first, row.first);
        EXPECT_EQ(last, row.last);
    }
}

const NtpTimestamp kBase = 0xEEC3DE3A80000000ull;  // 2026-12-09 14:03:38.5 UTC

// Ticks at whole steps of local time, labelled by what the step needs.
TEST(HistoryPlot, TimesGetTicksAtWholeStepsOfLocalTime)
{
    const struct {
        std::vector<int64_t> seconds;  // after the base
        int32_t bias_sec;
        int maxTicks;
        int32_t step_sec;
        int ticks;
        std::string first, last;
    } rows[] = {
        {{0}, 0, 7, 10, 6, "14:03:10", "14:04:00"},               // one point: a minute about it
        {{0, 999 * 60}, 9 * 3600, 8, 7200, 8, "12/10", "14:00"},  // a thousand polls, in Japan: midnight by date
        {{0, 7 * 86400}, 0, 8, 86400, 7, "12/10", "12/16"},       // a week
    };
    for (const auto& row : rows) {
        std::vector<NtpTimestamp> times;
        for (int64_t s : row.seconds) times.push_back(kBase + ((uint64_t)s << 32));
        TimeScale scale = ScaleTimes(times.data(), (int)times.size(), row.bias_sec, row.maxTicks);
        SCOPED_TRACE(row.last);
        EXPECT_EQ(scale.nStep_sec, row.step_sec);
        ASSERT_EQ(TimeTickCount(scale), row.ticks);
        char first[PLOT_LABEL_SIZE], last[PLOT_LABEL_SIZE];
        FormatTimeLabel(first, scale, 0);
        FormatTimeLabel(last, scale, row.ticks - 1);
        EXPECT_EQ(first, row.first);
        EXPECT_EQ(last, row.last);
    }
}

// Three replies a minute apart into two panes a hundred pixels high: the
// hour-long offset is drawn at the top edge, and the tolerance and the
// delay limit, far beyond milliseconds, are not drawn.
TEST(HistoryPlot, PointsMapToPixelsWithOutliersAtTheEdge)
{
    static ReplyHistory history;
    const uint64_t k1024th = 0x00400000;  // 2^-10 s, 0.9765625 ms: exact in 32.32 and in a double
    const HistoryPoint points[] = {
        {kBase, 0, k1024th, REPLY_WITHIN_TOLERANCE},
        {kBase + (60ull << 32), 2 * (int64_t)k1024th, 2 * k1024th, REPLY_CORRECTED},
        {kBase + (120ull << 32), 3600ll << 32, 3 * k1024th, REPLY_NOT_CORRECTED},
    };
    for (const HistoryPoint& point : points) AppendHistory(&history, point);
    PlotInput input = {&history, 0x33333333, 0x99999999, 0, {10, 0, 110, 101}, {10, 200, 110, 301}, 20, 40};
    static HistoryPlot plot;
    LayOutHistoryPlot(input, &plot);
    ASSERT_EQ(plot.nMarks, 3);
    // Offsets 0 .. 2 ms in steps of 0.5; delays 0 .. 3 ms in steps of 1.
    const PlotMark expected[] = {{10, 100, 267, PLOT_INSIDE, PLOT_INSIDE, REPLY_WITHIN_TOLERANCE},
                                 {60, 2, 235, PLOT_INSIDE, PLOT_INSIDE, REPLY_CORRECTED},
                                 {109, 0, 202, PLOT_ABOVE, PLOT_INSIDE, REPLY_NOT_CORRECTED}};
    for (int i = 0; i < 3; ++i) {
        const PlotMark& mark = plot.aMarks[i];
        EXPECT_EQ(std::vector<int>({mark.x, mark.yOffset, mark.yDelay, mark.nOffsetClip, mark.nDelayClip,
                                    mark.nOutcome}),
                  std::vector<int>({expected[i].x, expected[i].yOffset, expected[i].yDelay, expected[i].nOffsetClip,
                                    expected[i].nDelayClip, expected[i].nOutcome}))
            << i;
    }
    EXPECT_TRUE(plot.zeroOffset.fShown);
    EXPECT_EQ(plot.zeroOffset.y, 100);
    EXPECT_FALSE(plot.toleranceHigh.fShown || plot.toleranceLow.fShown || plot.delayLimit.fShown);
}

}  // namespace
