// Draws the history window's picture onto a device context: the offset
// pane above, the loop delay pane below, their axes, the tolerance and the
// delay limit as dashed lines, and a mark a judged reply (a square when left
// alone, a diamond when corrected, a cross when refused), with a legend;
// above them, what the clock doctor finds, in words.
#pragma once

#include <windows.h>

#include "history/history_plot.h"
#include "history/reply_history.h"

// What the picture shows besides the replies: the settings' thresholds.
struct HistoryView {
    const ReplyHistory* history;
    uint64_t qwTolerance, qwDelayLimit;      // 32.32
    int32_t nTolerance_ms, nDelayLimit_ms;   // as the settings show them
    int32_t nLocalBias_sec;                  // local time minus UTC
    const char* szDoctor;                    // what the clock doctor finds, lines apart by CR LF
};

// Paints the whole of rcClient on hdc with the font selected into it; plot
// receives where each mark and line went.
void PaintHistory(HDC hdc, const RECT& rcClient, const HistoryView& view, HistoryPlot* plot);
