#include "sntp/server_list.h"

#include <string.h>
#include <strings.h>

namespace {

bool IsGap(char c)
{
    return c == ' ' || c == '\t';
}

bool AlreadyNamed(const ServerNames* names, const char* szName)
{
    for (int i = 0; i < names->nNames; ++i) {
        if (strcasecmp(names->aszNames[i], szName) == 0) return true;
    }
    return false;
}

}  // namespace

void SplitServerNames(const char* szServers, ServerNames* names)
{
    memset(names, 0, sizeof *names);
    const char* p = szServers;
    while (*p != 0) {
        while (IsGap(*p)) ++p;
        size_t nWord = 0;
        while (p[nWord] != 0 && !IsGap(p[nWord])) ++nWord;
        if (nWord == 0) break;
        char szName[SERVER_NAME_SIZE];
        size_t nLength = nWord < sizeof szName ? nWord : sizeof szName - 1;  // the field holds no longer text
        memcpy(szName, p, nLength);
        szName[nLength] = 0;
        p += nWord;
        if (AlreadyNamed(names, szName)) continue;
        if (names->nNames == MAX_SERVER_NAMES) {
            ++names->nIgnored;
            continue;
        }
        memcpy(names->aszNames[names->nNames++], szName, nLength + 1);
    }
    if (names->nNames == 0) names->nNames = 1;  // the empty name, refused by its lookup
}
