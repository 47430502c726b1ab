#include "history/history_plot.h"

#include <math.h>
#include <stdio.h>

#include <algorithm>

namespace {

const double kMillisecond = 0.001;
const double kOutlierSpreads = 100;
const double kLeastSpread = 0.01;  // so that anything within a second of the median is drawn to scale
const double kMargin = 0.05;       // of the range either side: no line or mark on the frame
const double kSlack = 1e-9;  // steps' multiples computed in floating point land a hair off

int ClampTicks(int nMaxTicks)
{
    return std::min(std::max(nMaxTicks, 2), (int)PLOT_MAX_TICKS);
}

double MedianOfSorted(const double* sorted, int n)
{
    return n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
}

double NtpSeconds(int64_t value)
{
    return (double)value / 4294967296.0;
}

double UnsignedSeconds(uint64_t value)
{
    return (double)value / 4294967296.0;
}

// The range widened to take a value, unless the value lies beyond reach.
void TakeWithin(ValueScale* scale, double value, double reachLo, double reachHi)
{
    if (value < reachLo || value > reachHi) return;
    scale->lo = std::min(scale->lo, value);
    scale->hi = std::max(scale->hi, value);
}

// The median, and the reach of a hundred spreads either side of it.
double ReachOfBulk(const double* values, int n, double* pReachLo, double* pReachHi)
{
    double sorted[REPLY_HISTORY_SIZE], deviations[REPLY_HISTORY_SIZE];
    std::copy(values, values + n, sorted);
    std::sort(sorted, sorted + n);
    double median = MedianOfSorted(sorted, n);
    for (int i = 0; i < n; ++i) deviations[i] = fabs(sorted[i] - median);
    std::sort(deviations, deviations + n);
    double spread = std::max(MedianOfSorted(deviations, n), kLeastSpread);
    *pReachLo = median - kOutlierSpreads * spread;
    *pReachHi = median + kOutlierSpreads * spread;
    return median;
}

// The least step of 1, 2 or 5 times a power of ten that covers lo .. hi in
// at most nMaxTicks ticks; lo and hi are moved out to whole steps.
void ChooseStep(ValueScale* scale, int nMaxTicks)
{
    double raw = (scale->hi - scale->lo) / (nMaxTicks - 1);
    double power = pow(10, floor(log10(raw)));
    const double kMultiples[] = {1, 2, 5};
    for (int i = 0;; ++i) {
        double step = kMultiples[i % 3] * power * pow(10, i / 3);
        double kLo = floor(scale->lo / step + kSlack), kHi = ceil(scale->hi / step - kSlack);
        if (kHi - kLo <= nMaxTicks - 1) {
            scale->step = step;
            scale->lo = kLo * step;
            scale->hi = kHi * step;
            return;
        }
    }
}

const int32_t kTimeSteps_sec[] = {1,    2,    5,     10,    15,    30,    60,    120,    300,    600,
                                  900,  1800, 3600,  7200,  10800, 21600, 43200, 86400, 172800, 604800};

double LocalSeconds(const TimeScale& scale, double t)
{
    return (double)(scale.qwBase >> 32) + (double)(uint32_t)scale.qwBase / 4294967296.0 + t + scale.nLocalBias_sec;
}

double FirstTickStep(const TimeScale& scale)
{
    return ceil(LocalSeconds(scale, scale.lo) / scale.nStep_sec - kSlack);
}

PlotClip ClipOf(const ValueScale& scale, double value)
{
    double slack = scale.step * kSlack;
    if (value > scale.hi + slack) return PLOT_ABOVE;
    return value < scale.lo - slack ? PLOT_BELOW : PLOT_INSIDE;
}

PlotLine LineAt(const ValueScale& scale, double value, const PlotRect& pane)
{
    PlotLine line = {ClipOf(scale, value) == PLOT_INSIDE, ValueToPixel(scale, value, pane)};
    return line;
}

int MaxTicksOf(int nPixels, int nGap)
{
    return nGap > 0 ? nPixels / nGap + 1 : 2;
}

}  // namespace

ValueScale ScaleValues(const double* values, int n, const double* lines, int nLines, int nMaxTicks)
{
    ValueScale scale = {0, 0, 0, false};
    double reachLo = -HUGE_VAL, reachHi = HUGE_VAL;
    if (n > 0) scale.lo = scale.hi = ReachOfBulk(values, n, &reachLo, &reachHi);
    if (n == 0 && nLines > 0) scale.lo = scale.hi = lines[0];
    for (int i = 0; i < n; ++i) TakeWithin(&scale, values[i], reachLo, reachHi);
    for (int i = 0; i < nLines; ++i) TakeWithin(&scale, lines[i], reachLo, reachHi);
    if (scale.hi - scale.lo < kMillisecond) {
        double middle = (scale.lo + scale.hi) / 2;
        scale.lo = middle - kMillisecond / 2;
        scale.hi = middle + kMillisecond / 2;
    }
    double margin = (scale.hi - scale.lo) * kMargin;
    scale.lo = scale.lo >= 0 ? std::max(scale.lo - margin, 0.0) : scale.lo - margin;  // delays stay above zero
    scale.hi += margin;
    ChooseStep(&scale, ClampTicks(nMaxTicks));
    scale.fMilliseconds = std::max(fabs(scale.lo), fabs(scale.hi)) < 1 - kSlack;
    return scale;
}

int TickCount(const ValueScale& scale)
{
    return (int)lround((scale.hi - scale.lo) / scale.step) + 1;
}

double TickValue(const ValueScale& scale, int k)
{
    return scale.lo + k * scale.step;
}

void FormatTickLabel(char (&label)[PLOT_LABEL_SIZE], const ValueScale& scale, int k)
{
    double unit = scale.fMilliseconds ? kMillisecond : 1;
    double step = scale.step / unit, value = TickValue(scale, k) / unit;
    int decimals = std::max(0, (int)-floor(log10(step) + kSlack));
    if (fabs(value) < step / 2) value = 0;  // no "-0"
    snprintf(label, PLOT_LABEL_SIZE, "%.*f", decimals, value);
}

TimeScale ScaleTimes(const NtpTimestamp* times, int n, int32_t nLocalBias_sec, int nMaxTicks)
{
    TimeScale scale = {n > 0 ? times[0] : 0, 0, 0, kTimeSteps_sec[0], nLocalBias_sec};
    for (int i = 1; i < n; ++i) {
        double t = NtpSeconds((int64_t)(times[i] - scale.qwBase));
        scale.lo = std::min(scale.lo, t);
        scale.hi = std::max(scale.hi, t);
    }
    if (scale.hi - scale.lo < 60) scale.lo = scale.hi - 60;  // the newest at the right, as later ones will be
    nMaxTicks = ClampTicks(nMaxTicks);
    for (int32_t step : kTimeSteps_sec) {
        scale.nStep_sec = step;
        if (TimeTickCount(scale) <= nMaxTicks) break;
    }
    return scale;
}

int TimeTickCount(const TimeScale& scale)
{
    double last = floor(LocalSeconds(scale, scale.hi) / scale.nStep_sec + kSlack);
    return (int)(last - FirstTickStep(scale)) + 1;
}

double TimeTickValue(const TimeScale& scale, int k)
{
    double local = (FirstTickStep(scale) + k) * scale.nStep_sec;
    return scale.lo + (local - LocalSeconds(scale, scale.lo));
}

void FormatTimeLabel(char (&label)[PLOT_LABEL_SIZE], const TimeScale& scale, int k)
{
    int64_t local = ((int64_t)FirstTickStep(scale) + k) * scale.nStep_sec;
    SYSTEMTIME st = NtpToSystemTime((NtpTimestamp)local << 32);
    if (local % 86400 == 0 || scale.nStep_sec >= 86400) {
        snprintf(label, PLOT_LABEL_SIZE, "%02u/%02u", st.wMonth, st.wDay);
    } else if (scale.nStep_sec < 60) {
        snprintf(label, PLOT_LABEL_SIZE, "%02u:%02u:%02u", st.wHour, st.wMinute, st.wSecond);
    } else {
        snprintf(label, PLOT_LABEL_SIZE, "%02u:%02u", st.wHour, st.wMinute);
    }
}

int ValueToPixel(const ValueScale& scale, double value, const PlotRect& pane)
{
    double clamped = std::min(std::max(value, scale.lo), scale.hi);
    int height = pane.bottom - pane.top - 1;
    return pane.bottom - 1 - (int)lround((clamped - scale.lo) / (scale.hi - scale.lo) * height);
}

int TimeToPixel(const TimeScale& scale, double t, const PlotRect& pane)
{
    int width = pane.right - pane.left - 1;
    return pane.left + (int)lround((t - scale.lo) / (scale.hi - scale.lo) * width);
}

void LayOutHistoryPlot(const PlotInput& input, HistoryPlot* plot)
{
    const ReplyHistory& history = *input.history;
    int n = history.nCount;
    double offsets[REPLY_HISTORY_SIZE], delays[REPLY_HISTORY_SIZE];
    NtpTimestamp times[REPLY_HISTORY_SIZE];
    for (int i = 0; i < n; ++i) {
        const HistoryPoint& point = HistoryAt(history, i);
        offsets[i] = NtpSeconds(point.llOffset);
        delays[i] = UnsignedSeconds(point.qwLoopDelay);
        times[i] = point.qwArrival + (uint64_t)point.llOffset;  // the true time: a clock may have read 2000
    }
    double tolerance = UnsignedSeconds(input.qwTolerance);
    double limit = UnsignedSeconds(input.qwDelayLimit);
    const double offsetLines[] = {0, tolerance, -tolerance}, delayLines[] = {0, limit};
    const PlotRect& top = input.offsetPane;
    const PlotRect& bottom = input.delayPane;
    plot->offset = ScaleValues(offsets, n, offsetLines, 3, MaxTicksOf(top.bottom - top.top, input.nTickGap));
    plot->delay = ScaleValues(delays, n, delayLines, 2, MaxTicksOf(bottom.bottom - bottom.top, input.nTickGap));
    plot->time = ScaleTimes(times, n, input.nLocalBias_sec, MaxTicksOf(top.right - top.left, input.nTimeLabelWidth));
    plot->toleranceHigh = LineAt(plot->offset, tolerance, top);
    plot->toleranceLow = LineAt(plot->offset, -tolerance, top);
    plot->zeroOffset = LineAt(plot->offset, 0, top);
    plot->delayLimit = LineAt(plot->delay, limit, bottom);
    plot->nMarks = n;
    for (int i = 0; i < n; ++i) {
        PlotMark& mark = plot->aMarks[i];
        mark.x = TimeToPixel(plot->time, NtpSeconds((int64_t)(times[i] - plot->time.qwBase)), top);
        mark.yOffset = ValueToPixel(plot->offset, offsets[i], top);
        mark.yDelay = ValueToPixel(plot->delay, delays[i], bottom);
        mark.nOffsetClip = ClipOf(plot->offset, offsets[i]);
        mark.nDelayClip = ClipOf(plot->delay, delays[i]);
        mark.nOutcome = HistoryAt(history, i).nOutcome;
    }
}
