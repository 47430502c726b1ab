// The tray icon's state and tip: the program's name and, under it, what a
// glance at the icon should tell: when the clock was last found right and by
// how much it was off, that it is not synchronised yet, that it has gone
// unchecked too long (a warning), that it is trying to get online and why,
// or that it is offline. Pure; the tip fits the shell's 64 bytes in code
// page 932, cut on a character boundary.
#pragma once

#include <stdint.h>

#include "sntp/client_status.h"

enum { TRAY_TIP_SIZE = 64 };

typedef char TrayTipBuffer[TRAY_TIP_SIZE];

enum TipState {
    TIP_OFFLINE,
    TIP_UNSYNCHRONISED,  // online, and no reply has found the clock right (or set it) yet
    TIP_SYNCHRONISED,
    TIP_WARNING,         // online, but unchecked too long, or its correction refused
    TIP_TRYING,          // wanting to be online but not, for less than two minutes
    TIP_TRYING_TOO_LONG, // for two minutes or more, or stopped by its server: a warning
};

// How long trying may go on before the icon warns.
const uint64_t TRYING_WARNING_MS = 2 * 60 * 1000;

// What the state is decided from. Times are readings of the monotonic clock.
struct TipFacts {
    ClientFace nFace;
    bool fStopped;        // trying: the server stopped the asking
    uint64_t qwTryingSince_ms;
    bool fSynchronised;   // the last judged reply found the clock right or set it
    bool fJudged;         // a reply was judged at all
    uint64_t qwNow_ms;
    uint64_t qwChecked_ms;  // the last judged reply, or going online if that came later
    uint64_t qwUncheckedLimit_ms;  // the client's: how long the clock may go unchecked
};

// Trying, a warning after two minutes, or at once when the server stopped
// it. Online, a warning when the last judgement refused the correction, or
// when nothing was judged for longer than the client's limit.
TipState DecideTipState(const TipFacts& facts);

// The local time of the last judged reply.
struct TipMoment {
    int nMonth, nDay, nHour, nMinute;
};

// "Tamarin Time", a line break, then "オフライン", "未同期", "最終同期
// MM/DD hh:mm ±S.mmm秒" with that reply's offset (32.32, signed; the
// milliseconds truncated), or "要確認 MM/DD hh:mm から" since when.
void FormatTrayTip(TrayTipBuffer& tip, TipState state, const TipMoment& when, int64_t llOffset);

// With several sources, " (3/4)" after the synchronised line: how many
// agreed of how many were asked.
void NoteAgreement(TrayTipBuffer& tip, int nAgreeing, int nSources);

// A last line "SNTP停止" for server mode that should run and does not (its
// port held by another program), cut as the tip must be.
void NoteServerModeDown(TrayTipBuffer& tip);

// What keeps the client trying, in words: "接続中", "ソケット エラー", "ホスト確認
// エラー", "サーバー確認 エラー", "ネットワーク待ち", "サーバーが拒否".
const char* TryCauseWords(TryCause cause);

// While trying: "接続中", "再試行" with the step that failed, "ネットワーク待ち"
// or "停止" with the server's refusal, each with since when: "再試行 12/09
// 14:03 から (ホスト確認 エラー)".
void FormatTryingTip(TrayTipBuffer& tip, const TipMoment& since, TryCause cause);
