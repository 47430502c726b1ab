#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

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

TEST_F(Resources, VersionBlockIsJapaneseVersion0210)
{
    VS_FIXEDFILEINFO* fixed = NULL;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", (void**)&fixed, &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00000002u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00000002u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00010000u);
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
    EXPECT_EQ(String(L"FileVersion"), L"0, 2, 1, 0");
    EXPECT_EQ(String(L"ProductVersion"), L"0, 2, 1, 0");
}

}  // namespace
