// The server field's names: host names or dotted addresses separated by
// spaces or tabs, as Windows Time's peer list takes them. The first
// MAX_SERVER_NAMES distinct names are used (a repeated one counts once,
// whatever its letter case); an empty field is one empty name, which the
// lookup refuses with its line as it always did. Pure.
#pragma once

#include "sntp/client_config.h"

enum { MAX_SERVER_NAMES = 4 };

struct ServerNames {
    int nNames;     // 1 to MAX_SERVER_NAMES
    int nIgnored;   // distinct names beyond them, left out
    char aszNames[MAX_SERVER_NAMES][SERVER_NAME_SIZE];
};

void SplitServerNames(const char* szServers, ServerNames* names);
