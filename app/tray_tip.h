// The tray icon's tip: the program's name and, under it, what a glance at
// the icon should tell: when the clock was last found right and by how much
// it was off, that it is not synchronised yet, or that it is offline. Pure;
// the tip fits the shell's 64 bytes in code page 932, cut on a character
// boundary.
#pragma once

#include <stdint.h>

enum { TRAY_TIP_SIZE = 64 };

typedef char TrayTipBuffer[TRAY_TIP_SIZE];

enum TipState {
    TIP_OFFLINE,
    TIP_UNSYNCHRONISED,  // online, and no reply has found the clock right (or set it) yet
    TIP_SYNCHRONISED,
};

// The local time of the last judged reply.
struct TipMoment {
    int nMonth, nDay, nHour, nMinute;
};

// "Tamarin Time", a line break, then "オフライン", "未同期", or "最終同期
// MM/DD hh:mm ±S.mmm秒" with that reply's offset (32.32, signed; the
// milliseconds truncated).
void FormatTrayTip(TrayTipBuffer& tip, TipState state, const TipMoment& when, int64_t llOffset);
