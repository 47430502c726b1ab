#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "history/history_plot.h"

namespace {

// The range, step and end labels that each set of values and lines gets
// within six ticks; worked out by hand from the median and its spread,
// with a twentieth of the range added either side.
TEST(HistoryPlot, ValuesGetARangeOfNiceTicksThatAStepOfHoursCannotFlatten)
{
    const std::vector<double> tolerance = {0, 0.2, -0.2};
    const struct {
        std::vector<double> values, lines;
        double lo, hi, step;
        bool fMilliseconds;
        std::string first, last;
    } rows[] = {
        {{0.0012, -0.0008, 0.0003}, {0}, -0.001, 0.0015, 0.0005, true, "-1.0", "1.5"},
        {{0.05}, {0}, 0, 0.06, 0.02, true, "0", "60"},                                  // one point, and zero
        {{0.0123, 0.0123, 0.0123}, {}, 0.0115, 0.013, 0.0005, true, "11.5", "13.0"},    // all equal: a millisecond
        {{0.001, 0.002, 0.003, 3600}, {0}, 0, 0.004, 0.001, true, "0", "4"},            // an hour among them
        {{0.001, 0.002, 0.003, 0.4}, {0}, 0, 0.5, 0.1, true, "0", "500"},               // a step within a second
        {{0, 0, 3600, 3600}, {0}, 0, 4000, 1000, false, "0", "4000"},                   // half of them an hour off
        {{0.05, 0.12, 0.15, -0.03}, tolerance, -0.4, 0.4, 0.2, true, "-400", "400"},    // the tolerance too
        {{0.05, 0.06, 3600}, tolerance, -0.4, 0.4, 0.2, true, "-400", "400"},           // and an hour beyond it
        {{}, {0, 0.6}, 0, 0.8, 0.2, true, "0", "800"},                                  // none yet: the lines
        {{-2.5}, {}, -2.501, -2.499, 0.0005, false, "-2.5010", "-2.4990"},
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
        {{0}, 0, 7, 10, 6, "14:02:40", "14:03:30"},               // one point: the minute up to it
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
// hour-long offset is drawn at the top edge, the tolerance is drawn, and a
// delay limit of two seconds, beyond the reach of milliseconds, is not.
TEST(HistoryPlot, PointsMapToPixelsWithOutliersAtTheEdge)
{
    static ReplyHistory history;
    const uint64_t k1024th = 0x00400000;  // 2^-10 s, 0.9765625 ms: exact in 32.32 and in a double
    const HistoryPoint points[] = {
        {kBase, 0, k1024th, REPLY_WITHIN_TOLERANCE},
        {kBase + (60ull << 32), 2 * (int64_t)k1024th, 2 * k1024th, REPLY_CORRECTED},
        {kBase - (3480ull << 32), 3600ll << 32, 3 * k1024th, REPLY_NOT_CORRECTED},  // plotted at its true time
    };
    for (const HistoryPoint& point : points) AppendHistory(&history, point);
    PlotInput input = {&history, 0x33333333, 2ull << 32, 0, {10, 0, 110, 101}, {10, 200, 110, 301}, 20, 40};
    static HistoryPlot plot;
    LayOutHistoryPlot(input, &plot);
    ASSERT_EQ(plot.nMarks, 3);
    // Offsets -400 .. 400 ms in steps of 200; delays 0 .. 4 ms in steps of 1.
    const PlotMark expected[] = {{10, 50, 276, PLOT_INSIDE, PLOT_INSIDE, REPLY_WITHIN_TOLERANCE},
                                 {60, 50, 251, PLOT_INSIDE, PLOT_INSIDE, REPLY_CORRECTED},
                                 {109, 0, 227, PLOT_ABOVE, PLOT_INSIDE, REPLY_NOT_CORRECTED}};
    for (int i = 0; i < 3; ++i) {
        const PlotMark& mark = plot.aMarks[i];
        EXPECT_EQ(std::vector<int>({mark.x, mark.yOffset, mark.yDelay, mark.nOffsetClip, mark.nDelayClip,
                                    mark.nOutcome}),
                  std::vector<int>({expected[i].x, expected[i].yOffset, expected[i].yDelay, expected[i].nOffsetClip,
                                    expected[i].nDelayClip, expected[i].nOutcome}))
            << i;
    }
    const PlotLine lines[] = {plot.zeroOffset, plot.toleranceHigh, plot.toleranceLow, plot.delayLimit};
    const PlotLine expectedLines[] = {{true, 50}, {true, 25}, {true, 75}, {false, 0}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(lines[i].fShown, expectedLines[i].fShown) << i;
        EXPECT_EQ(lines[i].fShown ? lines[i].y : 0, expectedLines[i].y) << i;
    }
}

}  // namespace
