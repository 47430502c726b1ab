// The connection-state probe: whether this machine has a route off itself,
// as a laptop has once its Wi-Fi or cable is up. Asks the system's tables
// only; sends nothing.
#pragma once

#include "state/client_status.h"

// Up when an adapter that is up and not a loopback has a default gateway,
// or when the system has a route to a public address; down when neither;
// unknown when the system cannot say.
NetworkState ProbeNetwork();
