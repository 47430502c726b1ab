// One question to the engine over its control pipe, from tamarinc or the
// tray: connect (waiting a little while every instance is busy), send the
// request, read the answer, all within a bound, so that a hung engine costs
// its asker a wait and never a hang.
#pragma once

#include <windows.h>

#include "control/control_protocol.h"

// \\.\pipe\TamarinTime; replaceable, so that a test's pipe meets no program's.
extern const char* controlPipeName;

// A request with the program's mark and version, the rest zero.
ControlRequest ControlRequestOf(uint32_t dwCommand);

// True when an answer of exactly cbAnswer bytes with the program's mark came
// within dwWait_ms (the connection included); false when no engine runs or
// it did not answer in time.
bool CallControlPipe(const ControlRequest& request, void* pvAnswer, DWORD cbAnswer, DWORD dwWait_ms);
