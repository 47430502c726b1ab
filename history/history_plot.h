// The history window's picture as numbers: from the judged replies to the
// pixel of each mark, and to the ticks and labels of the offset, delay and
// time axes. Pure; the window only draws what this lays out.
#pragma once

#include <stdint.h>

#include "history/reply_history.h"

enum { PLOT_MAX_TICKS = 16, PLOT_LABEL_SIZE = 24 };

// A range of values in seconds with its ticks, a whole number of steps
// apart. Values outside lo .. hi are drawn at the pane's edge.
struct ValueScale {
    double lo, hi, step;
    bool fMilliseconds;  // labelled in milliseconds: every tick is under a second
};

// The range that shows values[0 .. n) and the lines (a tolerance, a limit,
// zero) within nMaxTicks ticks of 1, 2 or 5 times a power of ten. Values
// more than 100 spreads from the median (the median absolute deviation, at
// least 10 ms: so never within a second) are left outside, so that a step
// of hours does not flatten the rest; a line that far out is left out too.
// A range under a millisecond is widened to one about its middle; then a
// twentieth is added either side, but not below zero when nothing is. n at
// most REPLY_HISTORY_SIZE.
ValueScale ScaleValues(const double* values, int n, const double* lines, int nLines, int nMaxTicks);

// Tick k of a scale, k = 0 .. TickCount - 1, and its label in the scale's
// unit with as many decimals as the step needs ("-0.5", "200", "3600").
int TickCount(const ValueScale& scale);
double TickValue(const ValueScale& scale, int k);
void FormatTickLabel(char (&label)[PLOT_LABEL_SIZE], const ValueScale& scale, int k);

// A span of time, in seconds since the first point, and its ticks at whole
// steps of local time (1 s .. 1 week) that fall inside it.
struct TimeScale {
    NtpTimestamp qwBase;   // the first point's time: 0 on the axis
    double lo, hi;         // the span: at least a minute
    int32_t nStep_sec;
    int32_t nLocalBias_sec;  // local time minus UTC
};

// The span of times[0 .. n), widened to the minute up to the newest when
// shorter, with the least step that gives at most nMaxTicks ticks.
TimeScale ScaleTimes(const NtpTimestamp* times, int n, int32_t nLocalBias_sec, int nMaxTicks);

// The ticks of a time scale: the first at or after lo, then one a step.
// Labels "hh:mm:ss" under a minute's step, "hh:mm" under a day's, "MM/DD"
// at a local midnight or with a step of days.
int TimeTickCount(const TimeScale& scale);
double TimeTickValue(const TimeScale& scale, int k);
void FormatTimeLabel(char (&label)[PLOT_LABEL_SIZE], const TimeScale& scale, int k);

// Pixels; right and bottom are outside.
struct PlotRect {
    int left, top, right, bottom;
};

enum PlotClip : int8_t { PLOT_INSIDE, PLOT_ABOVE, PLOT_BELOW };

struct PlotMark {
    int x, yOffset, yDelay;
    PlotClip nOffsetClip, nDelayClip;  // outside the scale: drawn at that edge
    ReplyOutcome nOutcome;
};

// A horizontal line at a value, when the value is inside its pane.
struct PlotLine {
    bool fShown;
    int y;
};

struct HistoryPlot {
    TimeScale time;
    ValueScale offset, delay;
    PlotLine toleranceHigh, toleranceLow, zeroOffset, delayLimit;
    int nMarks;
    PlotMark aMarks[REPLY_HISTORY_SIZE];  // oldest first
};

struct PlotInput {
    const ReplyHistory* history;
    uint64_t qwTolerance;     // 32.32: offsets up to it either way are left alone
    uint64_t qwDelayLimit;    // 32.32: loop delays above it are refused
    int32_t nLocalBias_sec;   // local time minus UTC
    PlotRect offsetPane, delayPane;  // one above the other, as wide
    int nTickGap;             // the least pixels between two value ticks
    int nTimeLabelWidth;      // the least pixels between two time ticks
};

// Scales the offsets with zero and the tolerance either way, the delays
// with zero and the limit, and the times to the panes' width, and maps
// every point and line to its pixels: later times to the right, larger
// values up.
void LayOutHistoryPlot(const PlotInput& input, HistoryPlot* plot);

// The pixel of a value or a time, with right or bottom the edge it must stay off.
int ValueToPixel(const ValueScale& scale, double value, const PlotRect& pane);
int TimeToPixel(const TimeScale& scale, double t, const PlotRect& pane);
