// The clock's verdict. Each source's last reply with an accepted delay is
// its sample; once the round's other replies are in (or have had 15 s), the
// samples are weighed together. Several that agree (sntp/agreement.h) set
// the clock by their median offset, a leap of any size too, and a source
// outside them is named once as disagreeing; several with no group decide
// nothing. A source answering alone is judged as a single server always
// was: a leap waits for its next reply to witness it. Server mode's
// reference comes from the group's steadiest server (least root distance).
#pragma once

#include "sntp/evaluate.h"
#include "sntp/source.h"

// A reply from the source with an accepted delay: its sample from now on.
// The verdict comes at once unless another source's reply is awaited.
void TakeSample(Source* source, const ReplyEvaluation& e, NtpTimestamp qwArrival, int nStratum);

// Any answer (not a kiss) of the source the last verdict stood on renews
// the identifier and stratum server mode passes on, too slow though it be.
void NoteAnswer(const Source* source, const ReplyEvaluation& e, int nStratum);

// A reply whose delay was above the limit: the history hears of it, and
// the source's last poll leaves no sample.
void TakeTooSlow(Source* source, const ReplyEvaluation& e, NtpTimestamp qwArrival);

// The source's last poll leaves no sample: a kiss, or the source left.
void DropSample(Source* source);

// Someone else stepped the clock: no sample measures it any more.
void ForgetSamples();

// Each tick: a verdict that has waited long enough for the round's other
// replies is taken with what came.
void DecideWhenDue();
