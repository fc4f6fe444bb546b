#include "win/strings.h"

#include <gtest/gtest.h>
#include <windows.h>

TEST(AnsiConversion, RoundTripsChineseInCodePage936) {
    if (GetACP() != 936) GTEST_SKIP() << "needs the Chinese ANSI code page";
    std::wstring text = L"启用:下载";
    std::string ansi = win::ToAnsi(text);
    EXPECT_EQ(ansi, std::string("\xC6\xF4\xD3\xC3:\xCF\xC2\xD4\xD8"));
    EXPECT_EQ(win::FromAnsi(ansi), text);
}

TEST(AnsiConversion, EmptyAndUnrepresentable) {
    EXPECT_EQ(win::ToAnsi(L""), "");
    EXPECT_EQ(win::FromAnsi(""), L"");
    // A character outside the code page becomes the substitute character.
    EXPECT_EQ(win::ToAnsi(L"a\x0E01" L"b"), "a?b");
}

TEST(ExePathTest, DirEndsWithBackslash) {
    std::wstring dir = win::ExeDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), L'\\');
    EXPECT_EQ(win::ExePath().rfind(dir, 0), 0u);
}
