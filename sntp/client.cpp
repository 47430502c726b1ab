// The door's own: the tick that runs the client's parts in turn, and the
// report put together from the record that each of them keeps.
#include "sntp/client.h"

#include "log/log_format.h"
#include "sntp/host_calls.h"
#include "sntp/client_link.h"
#include "sntp/client_poll.h"
#include "sntp/client_read.h"
#include "sntp/client_state.h"
#include "sntp/client_verdict.h"
#include "sntp/network_probe.h"
#include "sntp/schedule.h"
#include "timebase/clock.h"

namespace {

// Only a change of the answer acts.
void ConsultNetworkProbe()
{
    // The first source's server stands for the way off this machine.
    switch (HearNetwork(networkProbe(client.aSources[0].link.saServer.sin_addr.s_addr), CurrentStatus())) {
    case NETWORK_GO_OFFLINE:
        HostLog("ダイアルアップ切断を検出");
        StopClient(true);
        break;
    case NETWORK_GO_ONLINE:
        HostLog("ダイアルアップ接続を検出");
        for (int i = 0; i < client.nSources; ++i) {
            if (!client.aSources[i].link.fStoppedByServer) GoOnlineAgain(&client.aSources[i]);
        }
        break;
    case NETWORK_POLL_NOW:
        PollSoon();
        break;
    case NETWORK_NOTHING:
        break;
    }
}

void RunSourceSchedule(Source* source)
{
    uint64_t now = MonotonicMs();
    if (source->link.nStatus == CLIENT_WAITING && now >= source->link.qwNextAttempt_ms) {
        GoOnlineAgain(source);
        return;
    }
    if (source->link.nStatus == CLIENT_ONLINE && PollIsDue(source, now)) PollServer(source);
}

}  // namespace

Client client;

void ConfigureClient(const ClientConfig& config)
{
    client.config = config;
}

void OnClientTick()
{
    NoteClockLead();
    SumUpStrayDatagrams();
    ConsultNetworkProbe();
    for (int i = 0; i < client.nSources; ++i) RunSourceSchedule(&client.aSources[i]);
    DecideWhenDue();
}

// The client as a whole: its last verdict, and the server that verdict
// stands on (the first source's until one was taken). It polls while any
// source is answered: the fewest unanswered requests, the latest poll.
ClientReport ReportClient()
{
    // A verdict of an earlier run may name a source the user's click took away.
    const Source& first = client.aSources[client.found.iChosen < client.nSources ? client.found.iChosen : 0];
    ClientReport report;
    report.nStatus = CurrentStatus();
    report.nFace = CurrentFace();
    report.nTryCause = client.link.nTryCause;
    report.qwTryingSince = client.link.qwTryingSince;
    report.qwTryingSince_ms = client.link.qwTryingSince_ms;
    report.qwOnlineSince = client.link.qwOnlineSince;
    report.qwOnlineSince_ms = client.link.qwOnlineSince_ms;
    report.qwLastJudged = client.found.qwLastJudged;
    report.qwLastJudged_ms = client.found.qwLastJudged_ms;
    report.llLastOffset = client.found.llLastOffset;
    report.nAgreeing = client.found.nAgreeing;
    report.nSources = client.nSources;
    report.nInterval_sec = IntervalInForce(&first);
    report.qwUncheckedLimit_ms = UncheckedLimit_ms(report.nInterval_sec);
    report.nPollsSucceeded = client.found.nPollsSucceeded;
    report.nPollsUnanswered = first.poll.nUnanswered;
    report.qwLastPoll_ms = first.poll.qwLastPoll_ms;
    for (int i = 0; i < client.nSources; ++i) {
        const SourcePoll& poll = client.aSources[i].poll;
        if (client.aSources[i].link.nStatus != CLIENT_ONLINE) continue;
        if (poll.nUnanswered < report.nPollsUnanswered) report.nPollsUnanswered = poll.nUnanswered;
        if (poll.qwLastPoll_ms > report.qwLastPoll_ms) report.qwLastPoll_ms = poll.qwLastPoll_ms;
    }
    report.qwNextAttempt_ms = first.link.qwNextAttempt_ms;
    report.saServer = first.link.saServer;
    report.reference = client.found.reference;
    return report;
}
