#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/main_window.h"
#include "driver/driver.h"
#include "resources/resource.h"
#include "settings/settings_store.h"
#include "sntp/packet.h"
#include "sntp/server.h"
#include "support/log_window.h"
#include "support/loopback.h"
#include "support/main_dialog.h"

namespace {

const std::string kStarted = "SNTP\x83\x54\x81\x5B\x83\x72\x83\x58\x8A\x4A\x8E\x6E...";  // SNTPサービス開始...
const std::string kEnded = "SNTP\x83\x54\x81\x5B\x83\x72\x83\x58\x8F\x49\x97\xB9";      // SNTPサービス終了

class Settings : public MainDialog {
};

TEST_F(Settings, FieldsKeepTheirLastAcceptedNumber)
{
    WriteSettingDword("nAcceptableMaxLoopDelay_ms", 250);
    CreateMainWindow();
    EXPECT_EQ(settings.nAcceptableMaxLoopDelay_ms, 250);
    EXPECT_EQ(AcceptableMaxLoopDelay(settings), 0x0000000040000000ull);
    EXPECT_EQ(IgnorableMaxTimeDifference(settings), 0x0000000033333333ull);

    Type(IDC_INTERVAL, "0");
    EXPECT_EQ(settings.nCheckTimer_minute, 10);
    Leave(IDC_INTERVAL);
    EXPECT_EQ(Text(IDC_INTERVAL), "10");

    Type(IDC_MAXDELAY, "");
    EXPECT_EQ(settings.nAcceptableMaxLoopDelay_ms, 250);
    Leave(IDC_MAXDELAY);
    EXPECT_EQ(Text(IDC_MAXDELAY), "250");

    Type(IDC_IGNOREDIFF, "abc");
    EXPECT_EQ(settings.nIgnorableMaxTimeDifference_ms, 200);
    Type(IDC_IGNOREDIFF, "150");
    EXPECT_EQ(settings.nIgnorableMaxTimeDifference_ms, 150);
    EXPECT_EQ(IgnorableMaxTimeDifference(settings), 0x0000000026666666ull);  // (150 << 32) / 1000
    Type(IDC_MAXDELAY, "9999");
    EXPECT_EQ(AcceptableMaxLoopDelay(settings), 0x00000009FFBE76C8ull);

    // A choice from the server list is the setting at once, though the box still shows the old text.
    SendDlgItemMessageA(hMain, IDC_SERVERNAME, CB_SETCURSEL, 1, 0);
    SendMessageA(hMain, WM_COMMAND, MAKEWPARAM(IDC_SERVERNAME, CBN_SELCHANGE), 0);
    EXPECT_STREQ(settings.szServerName, "ntp.jst.mfeed.ad.jp");
}

std::vector<std::string> writtenNames;

LONG WINAPI RecordWrite(HKEY, LPCSTR name, DWORD, DWORD, const BYTE*, DWORD)
{
    writtenNames.push_back(name);
    return ERROR_SUCCESS;
}

TEST_F(Settings, AllSevenValuesAreWrittenInTheirOrder)
{
    regSetValueEx = RecordWrite;
    SaveSettings(settings);
    regSetValueEx = RegSetValueExA;
    EXPECT_EQ(writtenNames, (std::vector<std::string>{"szServerName", "nCheckTimer_minute",
                                                      "nIgnorableMaxTimeDifference_ms", "nAcceptableMaxLoopDelay_ms",
                                                      "fStartAtFirst", "fStayAfterAdjustment", "fActAsSNTPServer"}));
}

// A hand-edited number outside its field's range is brought into it whole.
TEST_F(Settings, StoredNumbersOutsideTheirRangeAreBroughtIntoIt)
{
    WriteSettingDword("nCheckTimer_minute", 0);
    WriteSettingDword("nAcceptableMaxLoopDelay_ms", 40000);  // negative in its low 16 bits
    WriteSettingDword("nIgnorableMaxTimeDifference_ms", (DWORD)-5);
    CreateMainWindow();
    EXPECT_EQ(Text(IDC_INTERVAL) + " " + Text(IDC_MAXDELAY) + " " + Text(IDC_IGNOREDIFF), "1 9999 1");
    EXPECT_EQ(settings.nCheckTimer_minute, 1);
    EXPECT_EQ(AcceptableMaxLoopDelay(settings), 0x00000009FFBE76C8ull);  // (9999 << 32) / 1000
    EXPECT_EQ(IgnorableMaxTimeDifference(settings), 0x0000000000418937ull);
}

// A value of a setting's name that another tool wrote with the wrong type or
// size counts as absent: the default stands, and the next save puts a proper
// REG_DWORD in its place.
TEST_F(Settings, StoredNumbersOfTheWrongTypeOrSizeAreReadAsAbsent)
{
    const struct {
        const char* szName;
        int32_t nDefault;
    } defaults[] = {
        {"szServerName", 0},         {"nCheckTimer_minute", 10},   {"nIgnorableMaxTimeDifference_ms", 200},
        {"nAcceptableMaxLoopDelay_ms", 600}, {"fStartAtFirst", 0}, {"fStayAfterAdjustment", 1},
        {"fActAsSNTPServer", 0},
    };
    static_assert(sizeof defaults / sizeof defaults[0] == SETTING_COUNT, "a default for every setting");
    const struct {
        DWORD dwType;
        DWORD cbData;
    } rows[] = {
        {REG_DWORD, 0}, {REG_DWORD, 2}, {REG_DWORD, 8}, {REG_BINARY, 4}, {REG_QWORD, 8},
    };
    const BYTE five[8] = {5};  // 5 at any width: no setting's default
    for (const auto& row : rows) {
        for (int i = 0; i < SETTING_COUNT; ++i) {
            const Setting& setting = SETTINGS[i];
            if (IsTextSetting(setting)) continue;
            SCOPED_TRACE(testing::Message() << setting.szName << " type " << row.dwType << ", " << row.cbData);
            ASSERT_STREQ(setting.szName, defaults[i].szName);
            DeleteSettingsKey();
            WriteSetting(setting.szName, row.dwType, five, row.cbData);
            SettingsState s;
            LoadSettings(&s);
            EXPECT_EQ(s.*setting.pnValue, defaults[i].nDefault);

            SaveSettings(s);
            DWORD dwType = 0;
            std::vector<BYTE> data;
            ASSERT_TRUE(ReadSetting(setting.szName, &dwType, &data));
            EXPECT_EQ(dwType, (DWORD)REG_DWORD);
            const BYTE* expected = (const BYTE*)&defaults[i].nDefault;  // little-endian, as Windows stores it
            EXPECT_EQ(data, std::vector<BYTE>(expected, expected + 4));
        }
    }
}

TEST_F(Settings, StoredTextsAreNeverReadPastTheirEnd)
{
    std::string full(256, 'a');  // 256 bytes without a terminating zero
    WriteSetting("szServerName", REG_SZ, full.data(), 256);
    WriteSetting("nCheckTimer_minute", REG_BINARY, "\x05\x00\x00\x00\x00\x00\x00\x00", 8);
    CreateMainWindow();
    EXPECT_EQ(Text(IDC_SERVERNAME), "ntp.nict.jp");
    EXPECT_EQ(SendDlgItemMessageA(hMain, IDC_SERVERNAME, CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(settings.nCheckTimer_minute, 10);
    DestroyWindow(hMain);
    PumpMessages();

    WriteSetting("szServerName", REG_SZ, "time.example", 12);  // a name that is not in the list, unterminated
    CreateMainWindow();
    EXPECT_EQ(Text(IDC_SERVERNAME), "time.example");
    EXPECT_EQ(SendDlgItemMessageA(hMain, IDC_SERVERNAME, CB_GETCURSEL, 0, 0), CB_ERR);
}

TEST_F(Settings, StayResidentGovernsServerMode)
{
    if (!PortIsFree(NTP_PORT)) GTEST_SKIP() << "UDP port 123 is taken by another program";
    WriteSettingDword("fActAsSNTPServer", 1);
    CreateMainWindow();
    const int stayControls[] = {IDC_INTERVAL_LABEL, IDC_INTERVAL, IDC_INTERVAL_SPIN, IDC_SERVERMODE};

    Click(IDC_STAY);
    EXPECT_EQ(settings.fStayAfterAdjustment, 0);
    EXPECT_EQ(settings.fActAsSNTPServer, 1);
    for (int id : stayControls) EXPECT_FALSE(IsWindowEnabled(GetDlgItem(hMain, id))) << id;

    Click(IDC_STAY);
    EXPECT_EQ(settings.fStayAfterAdjustment, 1);
    for (int id : stayControls) EXPECT_TRUE(IsWindowEnabled(GetDlgItem(hMain, id))) << id;

    Click(IDC_SERVERMODE);
    EXPECT_EQ(settings.fActAsSNTPServer, 0);
    EXPECT_FALSE(ServerModeRunning());
    Click(IDC_STAY);
    Click(IDC_SERVERMODE);  // ticked while not resident: kept, and not started, as at a start
    EXPECT_EQ(settings.fActAsSNTPServer, 1);

    std::vector<std::string> log = ReadLog();
    std::vector<std::string> serverLines;
    for (const std::string& line : log) {
        if (line == kStarted || line == kEnded) serverLines.push_back(line);
    }
    EXPECT_EQ(serverLines, (std::vector<std::string>{kStarted, kEnded, kStarted, kEnded}));
}

}  // namespace
