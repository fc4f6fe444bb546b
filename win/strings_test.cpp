#include "win/strings.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

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

TEST(AnsiConversion, IntoBufferMatchesToAnsi) {
    for (const std::wstring& text : {std::wstring(L"plain ascii"), std::wstring(L"a\x0E01" L"b"),
                                     std::wstring(L"\x542F\x7528:\x4E0B\x8F7D"), std::wstring(L"ab\x00E9")}) {
        const std::string want = win::ToAnsi(text);
        char out[64];
        std::memset(out, 'X', sizeof out);
        const size_t n = win::ToAnsiInto(text.data(), text.size(), out, sizeof out);
        EXPECT_EQ(std::string(out, n), want);
        EXPECT_EQ(out[n], 'X');  // no terminator, nothing beyond the text
    }
}

TEST(AnsiConversion, IntoBufferEmptyAndTooSmall) {
    char out[8] = {'X', 'X', 'X', 'X', 'X', 'X', 'X', 'X'};
    EXPECT_EQ(win::ToAnsiInto(L"", 0, out, sizeof out), 0u);
    EXPECT_EQ(out[0], 'X');
    EXPECT_EQ(win::ToAnsiInto(L"abc", 3, out, 3), 3u);
    EXPECT_EQ(std::string(out, 3), "abc");
    // Texts that do not fit give 0, whether the cut falls in ASCII or not.
    EXPECT_EQ(win::ToAnsiInto(L"abcdef", 6, out, 4), 0u);
    EXPECT_EQ(win::ToAnsiInto(L"abc\x00E9", 4, out, 3), 0u);
}

TEST(AnsiConversion, IntoBufferDoubleByteInCodePage936) {
    if (GetACP() != 936) GTEST_SKIP() << "needs the Chinese ANSI code page";
    const std::wstring text = L"id \x542F\x7528";
    char out[16];
    const size_t n = win::ToAnsiInto(text.data(), text.size(), out, text.size() * 2);
    EXPECT_EQ(std::string(out, n), std::string("id \xC6\xF4\xD3\xC3"));
    // Two double-byte characters do not fit in the room of one.
    EXPECT_EQ(win::ToAnsiInto(L"ab\x542F\x7528", 4, out, 4), 0u);
}

TEST(ExePathTest, DirEndsWithBackslash) {
    std::wstring dir = win::ExeDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), L'\\');
    EXPECT_EQ(win::ExePath().rfind(dir, 0), 0u);
}
