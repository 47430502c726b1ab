// Where the client stands and what the machine's connection looked like:
// plain enumerations, free of Windows, that the client's report and the
// pure schedule share.
#pragma once

// The client's state; only the client's own module moves it.
enum ClientStatus {
    CLIENT_OFFLINE,    // not trying: the user chose so, or the network went away
    CLIENT_RESOLVING,  // a host or service lookup is out
    CLIENT_ONLINE,     // the server's address and port are known: polling
    CLIENT_WAITING,    // the way online failed: tried again when its wait is over
};

// The client as the user sees it: off by the user's choice, online, or
// wanting to be online but not (trying again, the network gone, or stopped
// by its server until the user's next click).
enum ClientFace {
    FACE_OFFLINE,
    FACE_ONLINE,
    FACE_TRYING,
};

// Why the client is trying: the step under way or the last that failed.
enum TryCause {
    TRY_CONNECTING,    // going online: the lookups are under way
    TRY_SOCKET,        // the client socket could not be opened
    TRY_HOST,          // the server's name did not resolve to an IPv4 address
    TRY_SERVICE,       // the service lookup could not start
    TRY_NETWORK_GONE,  // the machine lost its way to the server
    TRY_REFUSED,       // the server's kiss-o'-death (DENY, RSTR) stopped the asking
};

// The connection-state probe's answer: a route off this machine or not.
enum NetworkState {
    NETWORK_UNKNOWN = -1,  // no answer yet, or the probe could not tell
    NETWORK_DOWN = 0,
    NETWORK_UP = 1,
};
