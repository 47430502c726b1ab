#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "log/log_format.h"

namespace {

std::string SecondsLine(const char* prefix, uint64_t value, const char* suffix)
{
    LogLineBuffer line;
    FormatSecondsLine(line, prefix, value, suffix);
    return line;
}

std::string ErrorLine(const char* name, int32_t code)
{
    LogLineBuffer line;
    FormatErrorLine(line, name, code);
    return line;
}

TEST(LogFormat, ErrorLineIsCodePage932)
{
    // エラー in code page 932, spelled out so the compiler's conversion is checked too.
    EXPECT_EQ(ErrorLine("bind", 10048), "bind \x83\x47\x83\x89\x81\x5B (10048)");
    EXPECT_EQ(ErrorLine("bind", -1), "bind \x83\x47\x83\x89\x81\x5B (-1)");
    EXPECT_EQ(ErrorLine("ホスト確認", 11001), "\x83\x7A\x83\x58\x83\x67\x8A\x6D\x94\x46 \x83\x47\x83\x89\x81\x5B (11001)");
    EXPECT_EQ(ErrorLine("sendto", INT32_MIN), "sendto エラー (-2147483648)");
}

TEST(LogFormat, SecondsTruncateToThreeDecimals)
{
    EXPECT_EQ(SecondsLine("", 0, ""), "0.000");
    EXPECT_EQ(SecondsLine("", 0x0000000180000000ull, ""), "1.500");
    EXPECT_EQ(SecondsLine("", 0x00000002FFFFFFFFull, ""), "2.999");
    EXPECT_EQ(SecondsLine("", 0x0000000000418937ull, ""), "0.000");
    EXPECT_EQ(SecondsLine("", 0x0000000000418938ull, ""), "0.001");
    EXPECT_EQ(SecondsLine("", 0xFFFFFFFF00000000ull, ""), "4294967295.000");
    EXPECT_EQ(SecondsLine("", 0x0000000060000000ull, "秒掛かっています"), "0.375秒掛かっています");
    EXPECT_EQ(SecondsLine("時刻を", 0x0000000090000000ull, "秒進めました"),
              "\x8E\x9E\x8D\x8F\x82\xF0" "0.562" "\x95\x62\x90\x69\x82\xDF\x82\xDC\x82\xB5\x82\xBD");
}

TEST(LogFormat, LongLinesAreCutAtCharacterBoundaries)
{
    const std::string ascii(100, 'x');
    std::string line = ErrorLine(ascii.c_str(), 5);
    EXPECT_EQ(line, std::string(79, 'x'));

    // 表 is 0x95 0x5C: its trail byte is a backslash, which must not be taken for a character.
    std::string kanji;
    for (int i = 0; i < 50; ++i) kanji += "表";
    for (const std::string& lead : {std::string(), std::string("a")}) {
        std::string name = lead + kanji;
        line = ErrorLine(name.c_str(), 5);
        size_t expected = lead.empty() ? 78 : 79;  // 79 bytes would split the 40th 表
        EXPECT_EQ(line.size(), expected);
        EXPECT_EQ(line, name.substr(0, expected));
    }

    line = SecondsLine(kanji.c_str(), 0, "");
    EXPECT_EQ(line, kanji.substr(0, 78));

    // A line of exactly 80 bytes loses the lead byte that its 80th byte would have completed.
    const std::string x73(73, 'x');
    EXPECT_EQ(SecondsLine(x73.c_str(), 0, "表"), x73 + "0.000");

    // Half-width katakana are single bytes.
    std::string katakana(100, '\xB1');
    EXPECT_EQ(ErrorLine(katakana.c_str(), 1), katakana.substr(0, 79));
}

TEST(LogFormat, Cp932BoundaryWalksFromTheStart)
{
    const struct {
        const char* text;
        size_t length;
        size_t boundary;
    } rows[] = {
        {"abc", 3, 3},
        {"\x95\x5C\x95", 3, 2},   // lead byte without its trail
        {"a\x95", 2, 1},
        {"\x95\x5C", 2, 2},
        {"\x81\x81\x81", 3, 2},   // a trail byte that is also a lead byte
        {"\xB1\xB2", 2, 2},       // half-width katakana
        {"\xE0\x40\xFC", 3, 2},
        {"\x80\xA0\xDF\xFD", 4, 4},  // just outside both ranges of lead bytes
        {"\x9F", 1, 0},
        {"\xE0", 1, 0},
        {"", 0, 0},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Cp932Boundary(row.text, row.length), row.boundary) << row.text;
    }
}

}  // namespace
