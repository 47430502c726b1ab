#include "app/tray_tip.h"

#include <stdio.h>
#include <string.h>

#include "log/log_format.h"

void FormatTrayTip(TrayTipBuffer& tip, TipState state, const TipMoment& when, int64_t llOffset)
{
    char text[128];
    if (state == TIP_OFFLINE) {
        snprintf(text, sizeof text, "Tamarin Time\nオフライン");
    } else if (state == TIP_UNSYNCHRONISED) {
        snprintf(text, sizeof text, "Tamarin Time\n未同期");
    } else {
        uint64_t qwSize = llOffset < 0 ? 0 - (uint64_t)llOffset : (uint64_t)llOffset;
        snprintf(text, sizeof text, "Tamarin Time\n最終同期 %02d/%02d %02d:%02d %c%lu.%03lu秒", when.nMonth, when.nDay,
                 when.nHour, when.nMinute, llOffset < 0 ? '-' : '+', (unsigned long)(qwSize >> 32),
                 (unsigned long)(((qwSize & 0xFFFFFFFFull) * 1000) >> 32));
    }
    size_t length = strlen(text);
    if (length >= TRAY_TIP_SIZE) length = Cp932Boundary(text, TRAY_TIP_SIZE - 1);
    memcpy(tip, text, length);
    tip[length] = '\0';
}
