#include "base/clipboard.h"

#include <string.h>

namespace {

HGLOBAL GlobalCopy(const void* data, size_t size)
{
    HGLOBAL hMem = GlobalAlloc(GMEM_MOVEABLE, size);
    if (hMem == NULL) return NULL;
    memcpy(GlobalLock(hMem), data, size);
    GlobalUnlock(hMem);
    return hMem;
}

}  // namespace

void TrackCopyMenu(HWND hwnd, HWND hAt, LPARAM lParam, UINT idCopy, const char* pszItem)
{
    HMENU hMenu = CreatePopupMenu();
    AppendMenuA(hMenu, MF_STRING, idCopy, pszItem);
    POINT pt = {(short)LOWORD(lParam), (short)HIWORD(lParam)};
    if (lParam == (LPARAM)-1) {
        pt.x = pt.y = 0;
        ClientToScreen(hAt, &pt);
    }
    TrackPopupMenu(hMenu, TPM_RIGHTBUTTON, pt.x, pt.y, 0, hwnd, NULL);
    DestroyMenu(hMenu);
}

bool PutTextOnClipboard(HWND hwnd, const char* text, size_t length)
{
    if (!OpenClipboard(hwnd)) return false;
    EmptyClipboard();
    HGLOBAL hText = GlobalCopy(text, length + 1);
    // Once set, the clipboard owns the block; one it refused is still ours.
    if (hText != NULL && SetClipboardData(CF_TEXT, hText) == NULL) GlobalFree(hText);
    CloseClipboard();
    return true;
}
