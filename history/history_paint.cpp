#include "history/history_paint.h"

#include <stdio.h>

#include "history/history_plot.h"

namespace {

// The pens and brushes of one painting, made once for its thousands of marks.
enum Ink { INK_GRID, INK_FRAME, INK_TOLERANCE, INK_LIMIT, INK_KEPT, INK_CORRECTED, INK_REFUSED, INK_COUNT };

const struct {
    COLORREF colour;
    int style;
} kInks[INK_COUNT] = {
    {RGB(225, 225, 225), PS_SOLID}, {RGB(128, 128, 128), PS_SOLID}, {RGB(230, 140, 0), PS_DASH},
    {RGB(210, 0, 0), PS_DASH},      {RGB(0, 90, 200), PS_SOLID},    {RGB(0, 150, 0), PS_SOLID},
    {RGB(210, 0, 0), PS_SOLID},
};

HPEN pens[INK_COUNT];
HBRUSH brushes[INK_COUNT];

void MakeInks()
{
    for (int i = 0; i < INK_COUNT; ++i) {
        pens[i] = CreatePen(kInks[i].style, 1, kInks[i].colour);
        brushes[i] = CreateSolidBrush(kInks[i].colour);
    }
}

void DeleteInks()
{
    for (int i = 0; i < INK_COUNT; ++i) {
        DeleteObject(pens[i]);
        DeleteObject(brushes[i]);
    }
}

// The sizes that follow the font, and so the system's DPI.
struct Metrics {
    int nLine;   // a line of text
    int nMark;   // a mark's half width
    int nLabel;  // the widest value label
};

Metrics MeasureFont(HDC hdc)
{
    TEXTMETRICA tm;
    GetTextMetricsA(hdc, &tm);
    SIZE label;
    GetTextExtentPoint32A(hdc, "-0000.00", 8, &label);
    int nLine = tm.tmHeight;
    Metrics m = {nLine, nLine / 4 > 2 ? nLine / 4 : 2, label.cx};
    return m;
}

void TextAt(HDC hdc, int x, int y, const char* text, UINT align)
{
    SetTextAlign(hdc, align);
    TextOutA(hdc, x, y, text, lstrlenA(text));
}

void Line(HDC hdc, int x0, int y0, int x1, int y1, Ink ink)
{
    SelectObject(hdc, pens[ink]);
    MoveToEx(hdc, x0, y0, NULL);
    LineTo(hdc, x1, y1);
}

void HorizontalLine(HDC hdc, const PlotRect& pane, const PlotLine& line, Ink ink)
{
    if (line.fShown) Line(hdc, pane.left, line.y, pane.right, line.y, ink);
}

void FillShape(HDC hdc, const POINT* points, int n, Ink ink)
{
    SelectObject(hdc, pens[ink]);
    SelectObject(hdc, brushes[ink]);
    Polygon(hdc, points, n);
}

// A square when left alone, a diamond when corrected, a cross when refused; a
// triangle pointing off the pane when the value lies outside its scale.
void DrawMark(HDC hdc, int x, int y, PlotClip clip, ReplyOutcome outcome, int r)
{
    Ink ink = outcome == REPLY_WITHIN_TOLERANCE ? INK_KEPT : outcome == REPLY_CORRECTED ? INK_CORRECTED : INK_REFUSED;
    if (clip != PLOT_INSIDE) {
        int tip = clip == PLOT_ABOVE ? y - r : y + r, base = clip == PLOT_ABOVE ? y + r : y - r;
        POINT triangle[] = {{x, tip}, {x - r, base}, {x + r, base}};
        FillShape(hdc, triangle, 3, ink);
    } else if (outcome == REPLY_WITHIN_TOLERANCE) {
        POINT square[] = {{x - r + 1, y - r + 1}, {x + r - 1, y - r + 1}, {x + r - 1, y + r - 1}, {x - r + 1, y + r - 1}};
        FillShape(hdc, square, 4, ink);
    } else if (outcome == REPLY_CORRECTED) {
        POINT diamond[] = {{x, y - r - 1}, {x + r + 1, y}, {x, y + r + 1}, {x - r - 1, y}};
        FillShape(hdc, diamond, 4, ink);
    } else {
        for (int dx = 0; dx < 2; ++dx) {  // two pixels wide: a refusal must not be missed
            Line(hdc, x - r + dx, y - r, x + r + 1 + dx, y + r + 1, ink);
            Line(hdc, x - r + dx, y + r, x + r + 1 + dx, y - r - 1, ink);
        }
    }
}

void DrawValueAxis(HDC hdc, const PlotRect& pane, const ValueScale& scale, const Metrics& m)
{
    for (int k = 0; k < TickCount(scale); ++k) {
        int y = ValueToPixel(scale, TickValue(scale, k), pane);
        Line(hdc, pane.left, y, pane.right, y, INK_GRID);
        char label[PLOT_LABEL_SIZE];
        FormatTickLabel(label, scale, k);
        TextAt(hdc, pane.left - 4, y - m.nLine / 2, label, TA_RIGHT | TA_TOP);
    }
}

void DrawTimeAxis(HDC hdc, const TimeScale& time, const PlotRect& top, const PlotRect& bottom)
{
    for (int k = 0; k < TimeTickCount(time); ++k) {
        int x = TimeToPixel(time, TimeTickValue(time, k), top);
        Line(hdc, x, top.top, x, top.bottom, INK_GRID);
        Line(hdc, x, bottom.top, x, bottom.bottom, INK_GRID);
        char label[PLOT_LABEL_SIZE];
        FormatTimeLabel(label, time, k);
        TextAt(hdc, x, bottom.bottom + 2, label, TA_CENTER | TA_TOP);
    }
}

void DrawFrame(HDC hdc, const PlotRect& pane, int r)
{
    SelectObject(hdc, pens[INK_FRAME]);
    SelectObject(hdc, GetStockObject(NULL_BRUSH));
    Rectangle(hdc, pane.left - r - 1, pane.top - r - 1, pane.right + r + 1, pane.bottom + r + 1);
}

// "オフセット (ミリ秒)  許容 ±200ミリ秒" and the like, above a pane.
void DrawHeading(HDC hdc, const PlotRect& pane, int nLine, const char* name, const ValueScale& scale,
                 const char* threshold, int nThreshold_ms)
{
    char text[96];
    snprintf(text, sizeof text, "%s (%s)    %s%dミリ秒", name, scale.fMilliseconds ? "ミリ秒" : "秒", threshold,
             nThreshold_ms);
    TextAt(hdc, pane.left, pane.top - nLine - nLine / 2, text, TA_LEFT | TA_TOP);
}

void DrawLegend(HDC hdc, const PlotRect& pane, const Metrics& m)
{
    const struct {
        ReplyOutcome outcome;
        const char* text;
    } entries[] = {{REPLY_WITHIN_TOLERANCE, "許容内"}, {REPLY_CORRECTED, "修正"}, {REPLY_TOO_SLOW, "拒否"}};
    int x = pane.right, y = pane.top - m.nLine - m.nLine / 2;
    for (int i = 2; i >= 0; --i) {
        SIZE size;
        GetTextExtentPoint32A(hdc, entries[i].text, lstrlenA(entries[i].text), &size);
        x -= size.cx;
        TextAt(hdc, x, y, entries[i].text, TA_LEFT | TA_TOP);
        x -= m.nMark + 4;
        DrawMark(hdc, x, y + m.nLine / 2, PLOT_INSIDE, entries[i].outcome, m.nMark);
        x -= m.nMark + m.nLine;
    }
}

void DrawPane(HDC hdc, const PlotRect& pane, const ValueScale& scale, const Metrics& m)
{
    DrawFrame(hdc, pane, m.nMark);
    DrawValueAxis(hdc, pane, scale, m);
}

// The replies left alone first, so that the rarer corrections and refusals
// stay on top of them.
void DrawMarks(HDC hdc, const HistoryPlot& plot, int r)
{
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < plot.nMarks; ++i) {
            const PlotMark& mark = plot.aMarks[i];
            if ((mark.nOutcome != REPLY_WITHIN_TOLERANCE) != (pass == 1)) continue;
            DrawMark(hdc, mark.x, mark.yOffset, mark.nOffsetClip, mark.nOutcome, r);
            DrawMark(hdc, mark.x, mark.yDelay, mark.nDelayClip, mark.nOutcome, r);
        }
    }
}

// The tolerance either side of zero and the delay limit, where they fall
// within their scales, and the panes' headings, which name them whatever.
void DrawThresholds(HDC hdc, const PlotRect& top, const PlotRect& bottom, const HistoryPlot& plot,
                    const HistoryView& view, const Metrics& m)
{
    HorizontalLine(hdc, top, plot.zeroOffset, INK_FRAME);
    HorizontalLine(hdc, top, plot.toleranceHigh, INK_TOLERANCE);
    HorizontalLine(hdc, top, plot.toleranceLow, INK_TOLERANCE);
    HorizontalLine(hdc, bottom, plot.delayLimit, INK_LIMIT);
    DrawHeading(hdc, top, m.nLine, "オフセット", plot.offset, "許容 ±", view.nTolerance_ms);
    DrawHeading(hdc, bottom, m.nLine, "遅延", plot.delay, "上限 ", view.nDelayLimit_ms);
    DrawLegend(hdc, top, m);
}

// The two panes share the width; the offsets take three fifths of the height.
void PlacePanes(const RECT& rc, const Metrics& m, PlotRect* top, PlotRect* bottom)
{
    int left = rc.left + m.nLabel + m.nLine, right = rc.right - m.nLine;
    int first = rc.top + 2 * m.nLine + m.nMark, last = rc.bottom - 2 * m.nLine - m.nMark;
    int split = first + (last - first - 2 * m.nLine) * 3 / 5;
    *top = PlotRect{left, first, right, split};
    *bottom = PlotRect{left, split + 2 * m.nLine + 2 * m.nMark, right, last};
}

// The doctor's words across the top, wrapped to the width; the client area
// left below them.
RECT DrawDoctor(HDC hdc, const RECT& rcClient, const char* szDoctor, const Metrics& m)
{
    if (szDoctor == NULL || szDoctor[0] == '\0') return rcClient;
    RECT rcText = {rcClient.left + m.nLine, rcClient.top + m.nLine / 2, rcClient.right - m.nLine, rcClient.bottom};
    SetTextAlign(hdc, TA_LEFT | TA_TOP);
    const UINT kFormat = DT_LEFT | DT_WORDBREAK | DT_NOPREFIX;
    DrawTextA(hdc, szDoctor, -1, &rcText, kFormat | DT_CALCRECT);
    DrawTextA(hdc, szDoctor, -1, &rcText, kFormat);
    RECT rcRest = rcClient;
    rcRest.top = rcText.bottom;
    return rcRest;
}

}  // namespace

void PaintHistory(HDC hdc, const RECT& rcClient, const HistoryView& view, HistoryPlot* pPlot)
{
    HistoryPlot& plot = *pPlot;
    FillRect(hdc, &rcClient, (HBRUSH)GetStockObject(WHITE_BRUSH));
    SetBkMode(hdc, TRANSPARENT);
    SetTextColor(hdc, RGB(0, 0, 0));
    MakeInks();
    HGDIOBJ oldPen = SelectObject(hdc, pens[INK_FRAME]), oldBrush = SelectObject(hdc, brushes[INK_FRAME]);
    Metrics m = MeasureFont(hdc);
    PlotInput input = {view.history, view.qwTolerance, view.qwDelayLimit, view.nLocalBias_sec, {}, {}, 2 * m.nLine,
                       6 * m.nLine};
    PlacePanes(DrawDoctor(hdc, rcClient, view.szDoctor, m), m, &input.offsetPane, &input.delayPane);
    LayOutHistoryPlot(input, pPlot);
    const PlotRect &top = input.offsetPane, &bottom = input.delayPane;
    DrawPane(hdc, top, plot.offset, m);
    DrawPane(hdc, bottom, plot.delay, m);
    DrawTimeAxis(hdc, plot.time, top, bottom);
    DrawThresholds(hdc, top, bottom, plot, view, m);
    DrawMarks(hdc, plot, m.nMark);
    if (plot.nMarks == 0) {
        TextAt(hdc, (top.left + top.right) / 2, (top.top + top.bottom) / 2, "まだ応答がありません",
                 TA_CENTER | TA_BASELINE);
    }
    SelectObject(hdc, oldPen);
    SelectObject(hdc, oldBrush);
    DeleteInks();
}
