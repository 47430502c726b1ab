#include "app/service_link.h"

#include <string.h>

#include "app/shell_state.h"
#include "control/control_call.h"
#include "history/history_window.h"
#include "history/reply_history.h"
#include "log/activity_log.h"
#include "settings/settings_controls.h"
#include "settings/settings_table.h"

namespace {

const DWORD kAnswerWait_ms = 1000;  // the user-interface thread waits no longer
const int kCallsPerTick = 70;      // a whole log and history of news at attaching

bool fFollowing = false;
bool fReshowing = false;  // the service's settings being shown: no change to send
ControlNews news;         // the service's last answer
ControlNews fresh;        // the answer being read
uint64_t qwLinesSeen = 0;
uint64_t qwRepliesSeen = 0;
ClientFace nLastFace = FACE_OFFLINE;

ControlRequest RequestOf(uint32_t dwCommand)
{
    ControlRequest request = ControlRequestOf(dwCommand);
    request.qwLinesSeen = qwLinesSeen;
    request.qwRepliesSeen = qwRepliesSeen;
    return request;
}

bool Fetch()
{
    return CallControlPipe(RequestOf(CONTROL_FOLLOW), &fresh, sizeof fresh, kAnswerWait_ms) &&
           fresh.status.dwResult == CONTROL_DONE;
}

// True while more news waits than one answer held.
bool TakeFresh()
{
    news = fresh;
    for (uint32_t i = 0; i < fresh.nLines && i < CONTROL_NEWS_ITEMS; ++i) {
        ControlLine line = fresh.aLines[i];
        line.szText[LOG_LINE_SIZE - 1] = '\0';
        LogForeignLine(line.szText, line.local);
    }
    for (uint32_t i = 0; i < fresh.nReplies && i < CONTROL_NEWS_ITEMS; ++i) AppendHistory(&judgedReplies, fresh.aReplies[i]);
    if (fresh.nReplies > 0) ShowHistoryUpdate();
    qwLinesSeen = fresh.qwFirstLine + fresh.nLines;
    qwRepliesSeen = fresh.qwFirstReply + fresh.nReplies;
    return fresh.nLines == CONTROL_NEWS_ITEMS || fresh.nReplies == CONTROL_NEWS_ITEMS;
}

ClientReport ServiceReport()
{
    return news.report;
}

int ServiceDoctorSays(char (&lines)[DOCTOR_LINES][DOCTOR_LINE_SIZE])
{
    memcpy(lines, news.aszDoctor, sizeof lines);
    for (int i = 0; i < DOCTOR_LINES; ++i) lines[i][DOCTOR_LINE_SIZE - 1] = '\0';
    return news.nDoctorLines < 0 || news.nDoctorLines > DOCTOR_LINES ? 0 : news.nDoctorLines;
}

// A service that went away shows as offline until it answers again; a new
// one starts its log and history afresh, and is followed from its start.
void LoseService()
{
    news.report.nStatus = CLIENT_OFFLINE;
    news.report.nFace = FACE_OFFLINE;
    news.status.fChecked = 0;
}

void TellRefusal(const ControlStatus& answer)
{
    if (answer.dwResult == CONTROL_REFUSED) LogLine("設定を変更するには管理者の権限が必要です");
}

bool AskChange(const ControlRequest& request)
{
    ControlStatus answer = {};
    if (!CallControlPipe(request, &answer, sizeof answer, kAnswerWait_ms)) return false;
    TellRefusal(answer);
    return answer.dwResult == CONTROL_DONE;
}

}  // namespace

bool AttachToService()
{
    if (!Fetch() || !fresh.fHostIsService) return false;
    fFollowing = true;
    reportClient = ServiceReport;
    doctorSays = ServiceDoctorSays;
    settings = fresh.settings;
    settings.szServerName[sizeof settings.szServerName - 1] = '\0';
    TakeFresh();
    nLastFace = news.report.nFace;  // as the window shows it from the start
    return true;
}

bool FollowingService()
{
    return fFollowing;
}

bool FollowService()
{
    bool fGot = false;
    for (int i = 0; i < kCallsPerTick; ++i) {
        if (!Fetch()) break;
        fGot = true;
        if (!TakeFresh()) break;
    }
    if (!fGot) LoseService();
    bool fChanged = (news.report.nFace == FACE_OFFLINE) != (nLastFace == FACE_OFFLINE);
    nLastFace = news.report.nFace;
    return fChanged;
}

void AskServiceOnline(bool fOnline)
{
    ControlRequest request = RequestOf(CONTROL_ONLINE);
    request.dwValue = fOnline ? 1 : 0;
    AskChange(request);
}

void AskServiceSettings(HWND hwnd)
{
    if (fReshowing) return;
    ControlRequest request = RequestOf(CONTROL_SETTINGS);
    request.settings = settings;
    if (AskChange(request)) return;
    fReshowing = true;
    settings = news.settings;
    ShowSettings(hwnd);
    fReshowing = false;
}
