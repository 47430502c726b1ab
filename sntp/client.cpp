// The door's own: the tick that runs the client's parts in turn, and the
// report put together from the record that each of them keeps.
#include "sntp/client.h"

#include "log/activity_log.h"
#include "sntp/client_link.h"
#include "sntp/client_poll.h"
#include "sntp/client_read.h"
#include "sntp/client_state.h"
#include "sntp/network_probe.h"
#include "sntp/schedule.h"
#include "timebase/clock.h"

namespace {

// Only a change of the answer acts.
void ConsultNetworkProbe()
{
    switch (HearNetwork(networkProbe(clientLink.saServer.sin_addr.s_addr))) {
    case NETWORK_GO_OFFLINE:
        LogLine("ダイアルアップ切断を検出");
        StopClient(true);
        break;
    case NETWORK_GO_ONLINE:
        LogLine("ダイアルアップ接続を検出");
        GoOnlineAgain();
        break;
    case NETWORK_POLL_NOW:
        PollSoon();
        break;
    case NETWORK_NOTHING:
        break;
    }
}

void RunClientSchedule()
{
    uint64_t now = MonotonicMs();
    if (clientLink.nStatus == CLIENT_WAITING && now >= clientLink.qwNextAttempt_ms) {
        GoOnlineAgain();
        return;
    }
    if (clientLink.nStatus == CLIENT_ONLINE && PollIsDue(now)) PollServer();
}

}  // namespace

ClientConfig clientConfig = {};

void ConfigureClient(const ClientConfig& config)
{
    clientConfig = config;
}

void OnClientTick()
{
    NoteClockLead();
    SumUpStrayDatagrams();
    ConsultNetworkProbe();
    RunClientSchedule();
}

ClientReport ReportClient()
{
    ClientReport report;
    report.nStatus = clientLink.nStatus;
    report.nFace = CurrentFace();
    report.nTryCause = clientLink.nTryCause;
    report.qwTryingSince = clientLink.qwTryingSince;
    report.qwTryingSince_ms = clientLink.qwTryingSince_ms;
    report.qwOnlineSince = clientLink.qwOnlineSince;
    report.qwOnlineSince_ms = clientLink.qwOnlineSince_ms;
    report.qwLastJudged = clientFindings.qwLastJudged;
    report.qwLastJudged_ms = clientFindings.qwLastJudged_ms;
    report.llLastOffset = clientFindings.llLastOffset;
    report.nInterval_sec = IntervalInForce();
    report.qwUncheckedLimit_ms = UncheckedLimit_ms(report.nInterval_sec);
    report.nPollsSucceeded = clientFindings.nPollsSucceeded;
    report.nPollsUnanswered = clientPoll.nUnanswered;
    report.qwLastPoll_ms = clientPoll.qwLastPoll_ms;
    report.reference = clientFindings.reference;
    return report;
}

const ReplyHistory& JudgedReplies()
{
    return clientFindings.history;
}
