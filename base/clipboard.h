// Copying out of the program's windows: a context menu of one command, and
// text put on the clipboard, which only this module opens.
#pragma once

#include <windows.h>

// A popup menu of the one command idCopy, named pszItem, whose choice comes
// to hwnd as WM_COMMAND. lParam is WM_CONTEXTMENU's: the screen point of the
// click, or -1 from the keyboard, which shows it at hAt's top left corner.
void TrackCopyMenu(HWND hwnd, HWND hAt, LPARAM lParam, UINT idCopy, const char* pszItem);

// Puts text (length bytes and its terminating zero) on the clipboard as
// CF_TEXT; false when the clipboard could not be opened, GetLastError telling why.
bool PutTextOnClipboard(HWND hwnd, const char* text, size_t length);
