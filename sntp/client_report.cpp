// The client's report: its record as the user sees it, put together from
// the parts that each file of the client keeps.
#include "sntp/client.h"

#include "sntp/client_poll.h"
#include "sntp/client_state.h"
#include "sntp/schedule.h"

ClientReport ReportClient()
{
    ClientReport report;
    report.nStatus = clientLink.nStatus;
    report.qwOnlineSince = clientLink.qwOnlineSince;
    report.qwOnlineSince_ms = clientLink.qwOnlineSince_ms;
    report.qwLastJudged = clientFindings.qwLastJudged;
    report.qwLastJudged_ms = clientFindings.qwLastJudged_ms;
    report.llLastOffset = clientFindings.llLastOffset;
    report.nInterval_sec = IntervalInForce();
    report.qwUncheckedLimit_ms = UncheckedLimit_ms(report.nInterval_sec);
    report.nPollsSucceeded = clientFindings.nPollsSucceeded;
    report.reference = clientFindings.reference;
    return report;
}

const ReplyHistory& JudgedReplies()
{
    return clientFindings.history;
}
