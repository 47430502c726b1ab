// The real main window, created in the test process from the program's own
// template (linked into the tests), over a settings key the test prepares.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

class MainDialog : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    void CreateMainWindow();
    std::string Text(int id);
    void Type(int id, const char* text);
    void Leave(int id);
    void Click(int id);

    // Pumps messages until the log has a line for which `done` is true;
    // that line, or "" after timeoutMs.
    std::string WaitForLine(bool (*done)(const std::string&), DWORD timeoutMs = 10000);

    // Sends the tray icon a mouse message; the menu its popup showed (closed
    // again at once), or NULL when none opened.
    HMENU MenuOpenedBy(UINT mouse);

    // Sends the window WM_CONTEXTMENU for hClicked at lParam; the first item
    // of the menu it showed (closed again at once), "40006 コピー(&C)", or ""
    // when none opened.
    std::string ContextMenuOf(HWND hClicked, LPARAM lParam);

    HWND hMain = NULL;
};

// The clipboard's text (CF_TEXT), and text put there as another program would.
std::string ClipboardText();
void PutOnClipboard(const char* text);
