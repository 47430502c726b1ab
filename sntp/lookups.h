// Buffers for the asynchronous host and service lookups. The system fills a
// lookup's buffer after the call has returned, and may fill it even after
// the lookup was cancelled (Wine's cancel stops nothing): so each lookup has
// a buffer that no other lookup is given until its completion has come, and
// a stale lookup can never overwrite the result of the current one. A
// cancelled lookup's buffer is given again only once no completion can come
// any more: on Windows a cancel that worked leaves none to free it.
#pragma once

#include <windows.h>
#include <winsock.h>
#include <stdint.h>

enum { LOOKUP_BUFFERS = 16 };

struct Lookup {
    HANDLE hTask;         // 0 while the buffer is free
    bool fCancelled;
    uint64_t qwCancelled_ms;  // when, on the monotonic clock
    uint32_t nStarted;    // the order of the starts, to find the oldest
    alignas(8) char abEntry[MAXGETHOSTSTRUCT];
};

// A buffer for a new lookup: a free one, else that of the oldest lookup
// cancelled five minutes ago or more, longer than any lookup takes; NULL
// when none is (the caller refuses the attempt with a line).
// The caller puts the task handle in, or leaves 0 when the call failed.
Lookup* TakeLookup();

// The lookup of a completion's task handle, its buffer free again; NULL
// for a task handle no buffer has.
Lookup* FinishLookup(HANDLE hTask);

// Cancels a pending lookup; its buffer stays taken until its completion.
void CancelLookup(Lookup* lookup);
