#include "sntp/client_link.h"

#include <string.h>

#include "log/log_format.h"
#include "sntp/client_poll.h"
#include "sntp/client_verdict.h"
#include "sntp/client_state.h"
#include "sntp/host_calls.h"
#include "sntp/lookups.h"
#include "sntp/receive.h"
#include "sntp/schedule.h"
#include "sntp/server_list.h"
#include "timebase/clock.h"

namespace {

// Whether a source other than `except` asks the address already.
bool AddressTaken(const void* abAddress, const Source* except)
{
    for (int i = 0; i < client.nSources; ++i) {
        const sockaddr_in& sa = client.aSources[i].link.saServer;
        if (&client.aSources[i] != except && sa.sin_family == AF_INET && memcmp(&sa.sin_addr, abAddress, 4) == 0) {
            return true;
        }
    }
    return false;
}

// A name's addresses, copied out of the lookup's buffer, which the next
// lookup may take at once.
struct NameAddresses {
    int nAddresses;
    in_addr aAddresses[MAX_SOURCES];
};

void CopyAddresses(const hostent* host, NameAddresses* addresses)
{
    addresses->nAddresses = 0;
    for (int k = 0; host->h_addr_list[k] != NULL && addresses->nAddresses < MAX_SOURCES; ++k) {
        memcpy(&addresses->aAddresses[addresses->nAddresses++], host->h_addr_list[k], 4);
    }
}

// The first of the name's addresses that no other source asks; NULL when
// every one is asked already.
const in_addr* FreshAddress(const NameAddresses& addresses, const Source* source)
{
    for (int k = 0; k < addresses.nAddresses; ++k) {
        if (!AddressTaken(&addresses.aAddresses[k], source)) return &addresses.aAddresses[k];
    }
    return NULL;
}

void CancelPending(Lookup** ppLookup)
{
    if (*ppLookup == NULL) return;
    CancelLookup(*ppLookup);
    *ppLookup = NULL;
}

// The one place a source's state moves (what the user wants is set
// before); the host hears of each move of the client's face, and the
// trying counts from when it began.
void MoveTo(Source* source, ClientStatus status)
{
    bool fWasOnline = AnySourceOnline();
    source->link.nStatus = status;
    if (!fWasOnline && AnySourceOnline()) {
        client.link.qwOnlineSince = NtpNow();  // the tray's warning counts from here until a reply is judged
        client.link.qwOnlineSince_ms = MonotonicMs();
    }
    ClientFace face = CurrentFace();
    if (face == FACE_TRYING && client.link.nFace != FACE_TRYING) {
        client.link.qwTryingSince = NtpNow();
        client.link.qwTryingSince_ms = MonotonicMs();
    }
    client.link.nFace = face;
    HostStateChanged(face);
}

// A step of the way online failed (its line is written): try again after
// the backoff, at most every 15 minutes or every poll interval.
void WaitToRetry(Source* source, TryCause cause)
{
    client.link.nTryCause = cause;
    uint32_t cap = PollInterval(client.config.nInterval_minute, 0);
    uint32_t nWait_sec = BackOff(source, cap < MAX_LOOKUP_RETRY_SEC ? cap : MAX_LOOKUP_RETRY_SEC);
    source->link.qwNextAttempt_ms = MonotonicMs() + (uint64_t)nWait_sec * 1000;
    MoveTo(source, CLIENT_WAITING);
}

// The lookup when it started; else NULL, after logging the failed step.
Lookup* Started(Source* source, Lookup* lookup, const char* szStep, TryCause cause)
{
    if (lookup != NULL && lookup->hTask != 0) return lookup;
    HostLogError(szStep, lookup == NULL ? WSAENOBUFS : WSAGetLastError());
    WaitToRetry(source, cause);
    return NULL;
}

void StartServiceLookup(Source* source)
{
    Lookup* lookup = TakeLookup();
    if (lookup != NULL) lookup->hTask = HostLookUpService("ntp", "udp", lookup->abEntry, sizeof lookup->abEntry);
    source->link.pServLookup = Started(source, lookup, "WSAAsyncGetServByXXXX 初期化", TRY_SERVICE);
}

// The server's address is known: the port comes next.
void UseServerAddress(Source* source, const void* abAddress)
{
    in_addr address;
    memcpy(&address, abAddress, 4);
    memset(&source->link.saServer, 0, sizeof source->link.saServer);
    source->link.saServer.sin_family = AF_INET;
    source->link.saServer.sin_addr = address;
    StartServiceLookup(source);
}

// A dotted address is the address: it needs no lookup, and may have no
// reverse name. Anything else, an empty text or one that starts with a digit
// too, is a host name. A further address of a name keeps the one it was given.
void StartHostLookup(Source* source)
{
    if (source->link.fSibling) {
        UseServerAddress(source, &source->link.saServer.sin_addr);
        return;
    }
    unsigned long address = inet_addr(source->link.szName);
    if (address != INADDR_NONE) {
        HostLog("ホスト確認成功");
        UseServerAddress(source, &address);
        return;
    }
    Lookup* lookup = TakeLookup();
    if (lookup != NULL) {
        lookup->hTask = HostLookUpHost(source->link.szName, lookup->abEntry, sizeof lookup->abEntry);
    }
    source->link.pHostLookup = Started(source, lookup, "WSAAsyncGetHostByXXXX初期化", TRY_HOST);
}

// Cancels what the source was doing and closes its socket.
void LeaveCurrentState(Source* source)
{
    CancelPending(&source->link.pHostLookup);
    CancelPending(&source->link.pServLookup);
    CloseRequest(source);  // a reply to the last request is late now
    DropSample(source);
    if (source->link.nStatus == CLIENT_ONLINE) HostLog("交信終了");
    CloseSocket(&source->link.sock);
}

// The source whose pending lookup this is, its lookup no longer pending.
Source* SourceOfLookup(Lookup* lookup, bool fHost)
{
    if (lookup == NULL) return NULL;
    for (int i = 0; i < client.nSources; ++i) {
        Lookup** ppPending = fHost ? &client.aSources[i].link.pHostLookup : &client.aSources[i].link.pServLookup;
        if (*ppPending != lookup) continue;
        *ppPending = NULL;
        return &client.aSources[i];
    }
    return NULL;
}

// The first lookup of a name: its further addresses become sources of
// their own, up to four a name and eight in all, each asked on its own
// schedule. Later lookups of the name (a retry, the network back) move only
// its first source.
void AddFurtherAddresses(const Source* source, const NameAddresses& addresses)
{
    for (int i = 0; i < client.nSources; ++i) {
        if (&client.aSources[i] != source && strcmp(client.aSources[i].link.szName, source->link.szName) == 0) return;
    }
    int nOfName = 1;
    for (int k = 0; k < addresses.nAddresses; ++k) {
        if (nOfName == MAX_ADDRESSES_A_NAME || client.nSources == MAX_SOURCES) return;
        if (AddressTaken(&addresses.aAddresses[k], NULL)) continue;
        Source* further = &client.aSources[client.nSources++];
        *further = Source();
        lstrcpynA(further->link.szName, source->link.szName, sizeof further->link.szName);
        further->link.fSibling = 1;
        further->link.saServer.sin_family = AF_INET;
        further->link.saServer.sin_addr = addresses.aAddresses[k];
        GoOnlineAgain(further);
        ++nOfName;
    }
}

}  // namespace

bool AnySourceOnline()
{
    for (int i = 0; i < client.nSources; ++i) {
        if (client.aSources[i].link.nStatus == CLIENT_ONLINE) return true;
    }
    return false;
}

ClientStatus CurrentStatus()
{
    return AnySourceOnline() ? CLIENT_ONLINE : client.aSources[0].link.nStatus;
}

ClientFace CurrentFace()
{
    if (AnySourceOnline()) return FACE_ONLINE;
    bool fStopped = false;
    for (int i = 0; i < client.nSources; ++i) fStopped = fStopped || client.aSources[i].link.fStoppedByServer;
    return client.link.fWantOnline || fStopped ? FACE_TRYING : FACE_OFFLINE;
}

void ToggleOnline()
{
    if (CurrentFace() != FACE_OFFLINE) {
        StopClient(false);
        return;
    }
    client.link.fWantOnline = 1;
    client.link.nTryCause = TRY_CONNECTING;
    // The user's own attempt starts afresh with the names as they stand
    // now, and the old servers' way is not probed.
    ServerNames names;
    SplitServerNames(client.config.szServers, &names);
    if (names.nIgnored != 0) HostLog("サーバー名は4つまで使います。5つ目からは問い合わせません");
    client.nSources = names.nNames;
    for (int i = 0; i < client.nSources; ++i) {
        client.aSources[i] = Source();
        lstrcpynA(client.aSources[i].link.szName, names.aszNames[i], sizeof client.aSources[i].link.szName);
    }
    StartAfresh();
    for (int i = 0; i < names.nNames; ++i) GoOnlineAgain(&client.aSources[i]);
}

void GoOnlineAgain(Source* source)
{
    if (client.link.nTryCause == TRY_NETWORK_GONE) client.link.nTryCause = TRY_CONNECTING;
    LeaveCurrentState(source);
    MoveTo(source, CLIENT_RESOLVING);
    if (!OpenSelectedSocket(&source->link.sock, 0, ENGINE_CLIENT_SOCKET)) {
        WaitToRetry(source, TRY_SOCKET);
        return;
    }
    StartHostLookup(source);
}

void StopClient(bool fKeepWish)
{
    if (fKeepWish) {
        client.link.nTryCause = TRY_NETWORK_GONE;
    } else {
        client.link.fWantOnline = 0;
    }
    for (int i = 0; i < client.nSources; ++i) {
        Source* source = &client.aSources[i];
        if (!fKeepWish) source->link.fStoppedByServer = 0;
        LeaveCurrentState(source);
        MoveTo(source, CLIENT_OFFLINE);
    }
}

void StopForServer(Source* source)
{
    bool fOthersOn = false;
    for (int i = 0; i < client.nSources; ++i) {
        const Source& other = client.aSources[i];
        fOthersOn = fOthersOn || (&other != source && other.link.nStatus != CLIENT_OFFLINE);
    }
    if (!fOthersOn) {
        client.link.fWantOnline = 0;  // so that the network's return does not bring it back
        client.link.nTryCause = TRY_REFUSED;
    }
    source->link.fStoppedByServer = 1;
    LeaveCurrentState(source);
    MoveTo(source, CLIENT_OFFLINE);
}

void OnHostResolved(HANDLE hTask, int nError)
{
    Lookup* lookup = FinishLookup(hTask);
    Source* source = SourceOfLookup(lookup, true);
    if (source == NULL) return;
    if (nError != 0) {
        HostLogError("ホスト確認", (WORD)nError);
        WaitToRetry(source, TRY_HOST);
        return;
    }
    const hostent* host = (const hostent*)lookup->abEntry;
    if (host->h_addrtype != AF_INET || host->h_length != 4) {
        HostLog("ホストがIPホストではありません");
        WaitToRetry(source, TRY_HOST);
        return;
    }
    NameAddresses addresses;
    CopyAddresses(host, &addresses);
    const in_addr* abAddress = FreshAddress(addresses, source);
    if (abAddress == NULL) {  // another name's source asks it already: one vote an address
        HostLog("ホスト確認成功 (他のサーバー名と同じアドレスのため使いません)");
        LeaveCurrentState(source);
        MoveTo(source, CLIENT_OFFLINE);
        return;
    }
    HostLog("ホスト確認成功");
    UseServerAddress(source, abAddress);
    AddFurtherAddresses(source, addresses);
}

void OnServiceResolved(HANDLE hTask, int nError)
{
    Lookup* lookup = FinishLookup(hTask);
    Source* source = SourceOfLookup(lookup, false);
    if (source == NULL) return;
    if (nError != 0) {
        HostLogError("サーバー確認", (WORD)nError);
        HostLog("ポートとして123/UDPを用います");
        source->link.saServer.sin_port = htons(NTP_PORT);
    } else {
        HostLog("サーバー確認成功");
        source->link.saServer.sin_port = ((const servent*)lookup->abEntry)->s_port;  // already in network order
    }
    // RATE holds until the user's next click.
    StartPolling(source);
    MoveTo(source, CLIENT_ONLINE);
    HostLog("交信開始...");
}

void StartClient(const ClientConfig& config)
{
    for (int i = 0; i < client.nSources; ++i) {
        CancelPending(&client.aSources[i].link.pHostLookup);
        CancelPending(&client.aSources[i].link.pServLookup);
    }
    CloseClientSocket();
    client = Client();
    client.config = config;
}

void CloseClientSocket()
{
    for (int i = 0; i < client.nSources; ++i) CloseSocket(&client.aSources[i].link.sock);
}
