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

// The connection-state probe's answer: a route off this machine or not.
enum NetworkState {
    NETWORK_UNKNOWN = -1,  // no answer yet, or the probe could not tell
    NETWORK_DOWN = 0,
    NETWORK_UP = 1,
};
