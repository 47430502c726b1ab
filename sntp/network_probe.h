// The connection-state probe: whether the machine has a way to its server
// once the server's address is known, and before that whether it has a route
// off itself, as a laptop has once its Wi-Fi or cable is up. Asks the
// system's tables only; sends nothing.
#pragma once

#include <stdint.h>

#include "sntp/client_status.h"

// With the server's IPv4 address (network order): up when the system has a
// route to it, or it is a loopback address; down when it has none. Without
// one (0): up when an adapter that is up and not a loopback has a default
// gateway, or when the system has a route to a public address; down when
// neither. Unknown when the system cannot say.
NetworkState ProbeNetwork(uint32_t dwServerAddress);

// The probe the client asks, replaceable so that tests can play the network.
extern NetworkState (*networkProbe)(uint32_t dwServerAddress);
