#include "sntp/tick.h"

// The countdown and the poll cycle come with the connection sequence.
void OnTimerTick(HWND)
{
}
