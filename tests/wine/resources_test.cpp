#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <string.h>
#include <wctype.h>

#include <string>
#include <vector>

#include "resources/resource.h"

namespace {

// The program's version block, read the way the shell's file properties do.
class Resources : public testing::Test {
protected:
    void SetUp() override
    {
        DWORD size = GetFileVersionInfoSizeA(TAMARIN_EXE_PATH, NULL);
        ASSERT_GT(size, 0u) << TAMARIN_EXE_PATH;
        block.resize(size);
        ASSERT_TRUE(GetFileVersionInfoA(TAMARIN_EXE_PATH, 0, size, block.data()));
    }

    std::wstring String(const wchar_t* key)
    {
        std::wstring path = std::wstring(L"\\StringFileInfo\\041104b0\\") + key;
        wchar_t* value = NULL;
        UINT length = 0;
        if (!VerQueryValueW(block.data(), path.c_str(), (void**)&value, &length) || value == NULL) return L"<none>";
        return std::wstring(value);
    }

    std::vector<char> block;
};

TEST_F(Resources, VersionBlockIsJapaneseVersion0300)
{
    VS_FIXEDFILEINFO* fixed = NULL;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", (void**)&fixed, &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00000003u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000000u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00000003u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000000u);
    EXPECT_EQ(fixed->dwFileType, (DWORD)VFT_APP);
    EXPECT_EQ(fixed->dwFileOS, (DWORD)VOS__WINDOWS32);
    EXPECT_EQ(fixed->dwFileFlags, 0u);

    WORD* translation = NULL;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", (void**)&translation, &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0411);
    EXPECT_EQ(translation[1], 0x04B0);

    // タマリンタイム, spelled in UTF-16 so that a garbled resource script shows.
    const std::wstring name = L"\u30BF\u30DE\u30EA\u30F3\u30BF\u30A4\u30E0";
    EXPECT_EQ(String(L"ProductName"), name);
    EXPECT_EQ(String(L"InternalName"), name);
    EXPECT_EQ(String(L"FileDescription"), name + L" network time client");
    EXPECT_EQ(String(L"FileVersion"), L"0.3.0");
    EXPECT_EQ(String(L"ProductVersion"), L"0.3.0");
}

}  // namespace

namespace {

// A reader of dialog templates as the resource compiler laid them out.
struct TemplateReader {
    const BYTE* p;

    WORD Word() { WORD w; memcpy(&w, p, 2); p += 2; return w; }
    DWORD Dword() { DWORD d; memcpy(&d, p, 4); p += 4; return d; }
    short Short() { return (short)Word(); }
    void AlignDword(const BYTE* base) { p = base + ((p - base + 3) & ~3); }
    std::wstring Text()
    {
        std::wstring text;
        for (WORD w = Word(); w != 0; w = Word()) text += (wchar_t)w;
        return text;
    }
    // A name or an ordinal, the ordinal written as "#n".
    std::wstring NameOrOrdinal()
    {
        WORD first;
        memcpy(&first, p, 2);
        if (first == 0xFFFF) {
            p += 2;
            return L"#" + std::to_wstring(Word());
        }
        return Text();
    }
    // A window class, which may be written as a predefined ordinal or a name.
    std::wstring WindowClass()
    {
        std::wstring name = NameOrOrdinal();
        const wchar_t* predefined[] = {L"#128", L"BUTTON", L"#129", L"EDIT", L"#130", L"STATIC",
                                       L"#131", L"LISTBOX", L"#133", L"COMBOBOX"};
        for (int i = 0; i < 10; i += 2) {
            if (name == predefined[i]) return predefined[i + 1];
        }
        for (wchar_t& c : name) c = towupper(c);
        return name;
    }
};

struct ControlRow {
    int id;
    const wchar_t* wndClass;  // in capitals
    short x, y, cx, cy;
    DWORD style;              // bits that must be set
    DWORD absent;             // bits that must be clear
};

const BYTE* DialogResource(int id)
{
    HRSRC hRes = FindResourceA(NULL, MAKEINTRESOURCEA(id), (LPCSTR)RT_DIALOG);
    return hRes ? (const BYTE*)LockResource(LoadResource(NULL, hRes)) : NULL;
}

TEST_F(Resources, MainDialogTemplateIsLaidOutAsDesigned)
{
    const BYTE* base = DialogResource(IDD_MAIN);
    ASSERT_NE(base, nullptr);
    TemplateReader r = {base};
    EXPECT_EQ(r.Word(), 1);       // extended template
    EXPECT_EQ(r.Word(), 0xFFFF);
    r.Dword();                    // help identifier
    EXPECT_EQ(r.Dword(), 0u);     // extended style
    EXPECT_EQ(r.Dword(), (DWORD)(DS_SETFONT | DS_MODALFRAME | DS_3DLOOK | DS_CENTER | WS_POPUP | WS_CAPTION |
                                 WS_SYSMENU | WS_MINIMIZEBOX));
    WORD count = r.Word();
    EXPECT_EQ(r.Short(), 0);
    EXPECT_EQ(r.Short(), 0);
    EXPECT_EQ(r.Short(), 209);
    EXPECT_EQ(r.Short(), 208);
    EXPECT_EQ(r.NameOrOrdinal(), L"#102");
    EXPECT_EQ(r.NameOrOrdinal(), L"");
    EXPECT_EQ(r.Text(), L"Tamarin Time network time client");
    EXPECT_EQ(r.Word(), 10);
    r.Word();
    r.Word();  // weight; italic and character set
    EXPECT_EQ(r.Text(), L"System");

    const DWORD kUpDown = UDS_AUTOBUDDY | UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_NOTHOUSANDS;
    const DWORD kCheck = BS_AUTOCHECKBOX | WS_TABSTOP;
    const ControlRow rows[] = {
        {-1, L"STATIC", 7, 5, 167, 8, 0, 0},
        {IDC_SERVERNAME, L"COMBOBOX", 5, 15, 195, 65, CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP, CBS_SORT},
        {IDC_STARTONLINE, L"BUTTON", 5, 30, 167, 8, kCheck, 0},
        {IDC_STAY, L"BUTTON", 5, 40, 56, 8, kCheck, 0},
        {IDC_INTERVAL, L"EDIT", 65, 38, 31, 12, ES_NUMBER | ES_RIGHT | WS_BORDER | WS_TABSTOP, 0},
        {IDC_INTERVAL_SPIN, L"MSCTLS_UPDOWN32", 190, 40, 11, 12, kUpDown, 0},
        {IDC_INTERVAL_LABEL, L"STATIC", 98, 41, 103, 8, 0, 0},
        {IDC_SERVERMODE, L"BUTTON", 65, 55, 135, 8, kCheck, 0},
        {IDC_MAXDELAY, L"EDIT", 5, 65, 35, 12, ES_NUMBER | ES_RIGHT | WS_BORDER | WS_TABSTOP, 0},
        {IDC_MAXDELAY_SPIN, L"MSCTLS_UPDOWN32", 190, 67, 11, 12, kUpDown, 0},
        {-1, L"STATIC", 42, 67, 159, 8, 0, 0},
        {IDC_IGNOREDIFF, L"EDIT", 5, 80, 35, 12, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, ES_NUMBER},
        {IDC_IGNOREDIFF_SPIN, L"MSCTLS_UPDOWN32", 190, 82, 11, 13, kUpDown, 0},
        {-1, L"STATIC", 42, 82, 158, 8, 0, 0},
        {IDC_LOG, L"LISTBOX", 5, 97, 200, 84, LBS_NOTIFY | WS_BORDER | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP, LBS_SORT},
        {IDM_ONLINE, L"BUTTON", 22, 187, 55, 15, BS_PUSHBUTTON | WS_TABSTOP, BS_DEFPUSHBUTTON},
        {IDCANCEL, L"BUTTON", 92, 187, 45, 15, BS_DEFPUSHBUTTON | WS_TABSTOP, 0},
        {IDM_EXIT, L"BUTTON", 142, 187, 45, 14, BS_PUSHBUTTON | WS_TABSTOP, BS_DEFPUSHBUTTON},
    };
    ASSERT_EQ(count, sizeof rows / sizeof rows[0]);
    for (const ControlRow& row : rows) {
        SCOPED_TRACE(row.id);
        r.AlignDword(base);
        r.Dword();  // help identifier
        DWORD exStyle = r.Dword();
        DWORD style = r.Dword();
        EXPECT_EQ(r.Short(), row.x);
        EXPECT_EQ(r.Short(), row.y);
        EXPECT_EQ(r.Short(), row.cx);
        EXPECT_EQ(r.Short(), row.cy);
        EXPECT_EQ((int)r.Dword(), row.id);
        EXPECT_EQ(r.WindowClass(), row.wndClass);
        r.NameOrOrdinal();
        r.p += r.Word();  // creation data
        EXPECT_EQ(style & (row.style | WS_CHILD | WS_VISIBLE), row.style | WS_CHILD | WS_VISIBLE);
        EXPECT_EQ(style & row.absent, 0u);
        EXPECT_EQ(exStyle, row.id == IDC_LOG ? (DWORD)WS_EX_CLIENTEDGE : 0u);
    }
}

TEST_F(Resources, AboutBoxTemplateIsClassicWithExactStyles)
{
    const BYTE* base = DialogResource(IDD_ABOUT);
    ASSERT_NE(base, nullptr);
    TemplateReader r = {base};
    EXPECT_EQ(r.Dword(), 0x80C800C0u);
    EXPECT_EQ(r.Dword(), 0u);
    WORD count = r.Word();
    EXPECT_EQ(r.Short(), 0);
    EXPECT_EQ(r.Short(), 0);
    EXPECT_EQ(r.Short(), 182);
    EXPECT_EQ(r.Short(), 87);
    EXPECT_EQ(r.NameOrOrdinal(), L"");
    EXPECT_EQ(r.NameOrOrdinal(), L"");
    EXPECT_EQ(r.Text(), L"about Tamarin Time");
    EXPECT_EQ(r.Word(), 10);
    EXPECT_EQ(r.Text(), L"System");

    const struct {
        int id;
        const wchar_t* wndClass;
        short x, y, cx, cy;
        DWORD style;
        const wchar_t* text;  // NULL: not compared
    } rows[] = {
        {-1, L"STATIC", 5, 5, 18, 20, 0x50000003, L"#112"},
        {-1, L"STATIC", 33, 5, 142, 20, 0x50020001, L"Tamarin Time version 0.3.0\nNetwork Time client software"},
        {-1, L"STATIC", 3, 30, 177, 30, 0x50020001, NULL},
        {IDOK, L"BUTTON", 38, 65, 50, 15, 0x50010001, L"OK"},
        {IDC_GOHOME, L"BUTTON", 93, 65, 50, 15, 0x50010000, L"Go Home"},
    };
    ASSERT_EQ(count, 5);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.id);
        r.AlignDword(base);
        EXPECT_EQ(r.Dword(), row.style);
        EXPECT_EQ(r.Dword(), 0u);
        EXPECT_EQ(r.Short(), row.x);
        EXPECT_EQ(r.Short(), row.y);
        EXPECT_EQ(r.Short(), row.cx);
        EXPECT_EQ(r.Short(), row.cy);
        EXPECT_EQ((short)r.Word(), row.id);
        EXPECT_EQ(r.WindowClass(), row.wndClass);
        std::wstring text = r.NameOrOrdinal();
        if (row.text != NULL) {
            EXPECT_EQ(text, row.text);
        }
        r.p += r.Word();
    }
}

TEST_F(Resources, MenuAndIconsAreInPlace)
{
    HMENU hMenu = LoadMenuA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDR_MAINMENU));
    ASSERT_NE(hMenu, (HMENU)NULL);
    char text[64];
    HMENU hApp = GetSubMenu(hMenu, 0);
    const struct {
        UINT id;
        const char* text;
    } items[] = {{IDM_ONLINE, "オンライン(&O)"},
                 {IDM_TIMEZONE, "タイムゾーンの設定(&Z)..."},
                 {IDM_HISTORY, "履歴(&H)..."},
                 {IDM_EXIT, "終了(&X)"}};
    EXPECT_EQ(GetMenuItemCount(hApp), 6);
    for (const auto& item : items) {
        GetMenuStringA(hApp, item.id, text, sizeof text, MF_BYCOMMAND);
        EXPECT_STREQ(text, item.text);
    }
    GetMenuStringA(GetSubMenu(hMenu, 1), IDM_ABOUT, text, sizeof text, MF_BYCOMMAND);
    EXPECT_STREQ(text, "&About");
    DestroyMenu(hMenu);

    // Each icon holds a 32 x 32 and a 16 x 16 image of 16 colours.
    for (int id : {IDI_APP, IDI_ONLINE, IDI_UNCHECKED}) {
        HRSRC hRes = FindResourceA(NULL, MAKEINTRESOURCEA(id), (LPCSTR)RT_GROUP_ICON);
        ASSERT_NE(hRes, (HRSRC)NULL) << id;
        const BYTE* group = (const BYTE*)LockResource(LoadResource(NULL, hRes));
        WORD images;
        memcpy(&images, group + 4, 2);
        ASSERT_EQ(images, 2) << id;
        for (int i = 0; i < 2; ++i) {
            const BYTE* entry = group + 6 + 14 * i;  // width, height, colours, reserved, planes, bits, bytes, id
            EXPECT_EQ(entry[0], i == 0 ? 32 : 16) << id;
            EXPECT_EQ(entry[2], 16) << id;
        }
        for (int size : {16, 32}) {
            HICON hIcon = (HICON)LoadImageA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, 0);
            EXPECT_NE(hIcon, (HICON)NULL) << id << " " << size;
            DestroyIcon(hIcon);
        }
    }
}

}  // namespace
