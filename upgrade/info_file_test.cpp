// The update information file: markers, values, the message, the numbering
// of file addresses, and files that are not what they should be.
#include "upgrade/info_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace au {
namespace {

using Strings = std::vector<std::wstring>;

TEST(AuInfoFileEntry, ValueEndsAtTheFirstControlCharacterAndKeepsItsBlanks) {
    EXPECT_EQ(InfoEntry("#version=2.0\r\n#date=x", "version"), "2.0");
    EXPECT_EQ(InfoEntry("#version= 2.0 \n", "version"), " 2.0 ");
    EXPECT_EQ(InfoEntry("#version=2.0\tcomment", "version"), "2.0");
    EXPECT_EQ(InfoEntry("head #version=3", "version"), "3") << "a value may run to the end of the text";
    EXPECT_EQ(InfoEntry(std::string("#version=1\0" "9", 12), "version"), "1") << "a NUL byte ends it too";
    EXPECT_EQ(InfoEntry("#version=", "version"), "");
}

TEST(AuInfoFileEntry, MarkersMatchExactlyAndTheFirstOneWinsWhereverItStands) {
    EXPECT_EQ(InfoEntry("#Version=9\n#VERSION=8", "version"), std::nullopt);
    EXPECT_EQ(InfoEntry("# version=9\n#version =8", "version"), std::nullopt);
    EXPECT_EQ(InfoEntry("#version=1\n#version=2\n", "version"), "1");
    EXPECT_EQ(InfoEntry("Notes: see #version=7 below\n#version=2\n", "version"), "7 below");
    EXPECT_EQ(InfoEntry("#url=http://h/a?x=#version=5\n#version=2", "version"), "5");
}

TEST(AuInfoFileEntry, ForcedOnlyByTheLowerCaseWordTrue) {
    for (const char* text : {"#forceupgrade=TRUE", "#forceupgrade=True", "#forceupgrade=1", "#forceupgrade=true ",
                             "#forceupgrade= true", ""})
        EXPECT_FALSE(ReadUpdateInfo(text).forceUpgrade) << text;
    EXPECT_TRUE(ReadUpdateInfo("#forceupgrade=true\r\n").forceUpgrade);
}

TEST(AuInfoFileMethod, FirstCharacterDecides) {
    EXPECT_EQ(MethodOf("2x"), umRedirectToURL);
    EXPECT_EQ(MethodOf("1"), umUseExternalSetup);
    EXPECT_EQ(MethodOf(""), umSelfUpgrade);
    EXPECT_EQ(MethodOf("0"), umSelfUpgrade);
    EXPECT_EQ(MethodOf("3"), umSelfUpgrade);
    EXPECT_EQ(MethodOf(" 1"), umSelfUpgrade);
    EXPECT_EQ(MethodOf(InfoEntry("#method=\r\n", "method").value_or("")), umSelfUpgrade);
}

TEST(AuInfoFileMessage, RunsOverLinesUpToTheFirstClosingBrace) {
    EXPECT_EQ(InfoMessage("#message={Line one\r\nLine two}\r\n#version=2"), L"Line one\r\nLine two");
    EXPECT_EQ(InfoMessage("#message={a}b}"), L"a");
    EXPECT_EQ(InfoMessage("#message={no end\r\n#version=2"), L"no end\r\n#version=2");
    EXPECT_EQ(InfoMessage("#message=plain\r\n"), L"") << "only the braced form is the message";
    EXPECT_EQ(InfoMessage(""), L"");
}

TEST(AuInfoFileMessage, ChineseTextComesOutWholeEvenWhenAByteLooksLikeTheBrace) {
    // In code page 936 the second byte of U+5009 is 0x7D, the brace's value.
    const std::string text = "#message={\xB0\xE6\xB1\xBE\x82\x7D\xBF\xE2}\r\n";
    EXPECT_EQ(InfoMessage(text), L"版本倉库");
}

TEST(AuInfoFileAddresses, NumberingStartsAboveTheUnnumberedEntries) {
    EXPECT_EQ(InfoFileAddresses("#url=a\n#url1=b\n#url2=c\n"), (Strings{L"a", L"c"}))
        << "with only the url entry the next key is url2";
    EXPECT_EQ(InfoFileAddresses("#url=a\n#url1=b\n"), (Strings{L"a"}));
    EXPECT_EQ(InfoFileAddresses("#url=a\n#url0=b\n#url2=x\n#url3=c\n"), (Strings{L"a", L"b", L"c"}));
    EXPECT_EQ(InfoFileAddresses("#url1=a\n#url2=b\n#url4=d\n"), (Strings{L"a", L"b"})) << "a gap ends the list";
    EXPECT_EQ(InfoFileAddresses("#url0=z\n#url2=y\n"), (Strings{L"z", L"y"}));
    EXPECT_EQ(InfoFileAddresses("#url=\r\n#url0=b\r\n#url2=c\r\n"), (Strings{L"b", L"c"})) << "empty counts as absent";
    EXPECT_EQ(InfoFileAddresses("#url1=a\n#url2=\n#url3=c\n"), (Strings{L"a"}));
    EXPECT_EQ(InfoFileAddresses("#url01=a\n"), Strings{}) << "numbers are written without leading zeros";
    EXPECT_EQ(InfoFileAddresses("#url1=first\n#url1=second\n"), (Strings{L"first"}));
    EXPECT_EQ(InfoFileAddresses("#URL=a\n"), Strings{});
    EXPECT_EQ(InfoFileAddresses(""), Strings{});
}

TEST(AuInfoFileAddresses, ThousandsOfNumberedEntriesAreReadInOnePass) {
    std::string text;
    const int count = 50000;
    for (int n = 1; n <= count; ++n) text += "#url" + std::to_string(n) + "=http://h/f" + std::to_string(n) + "\n";
    const auto start = std::chrono::steady_clock::now();
    const auto files = InfoFileAddresses(text);
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(files.size(), static_cast<size_t>(count));
    EXPECT_EQ(files.back(), L"http://h/f50000");
    EXPECT_LT(seconds, 10.0) << "one scan per number would take minutes";
}

TEST(AuInfoFileRead, ValuesOfAWholeFileConvertedFromTheCodePage) {
    const std::string text =
        "; update of 2026\r\n#version=1.2.0.3\r\n#date=2026/12/01 10:00:00\r\n#forceupgrade=true\r\n"
        "#url=http://h/quillet.exe\r\n#url0=http://h/\xCE\xC4\xBC\xFE.dat\r\n";
    const UpdateInfo info = ReadUpdateInfo(text);
    EXPECT_EQ(info.version, L"1.2.0.3");
    EXPECT_EQ(info.date, L"2026/12/01 10:00:00");
    EXPECT_TRUE(info.forceUpgrade);
    EXPECT_EQ(info.files, (Strings{L"http://h/quillet.exe", L"http://h/文件.dat"}));
}

TEST(AuInfoFileRead, EmptyBinaryOrMarkerlessFilesHaveNoVersionAndNoFile) {
    std::string binary;
    for (int i = 0; i < 70000; ++i) binary += static_cast<char>(i * 7 % 256);
    for (const std::string& text : {std::string(), std::string("just text\r\n"), binary}) {
        const UpdateInfo info = ReadUpdateInfo(text);
        EXPECT_TRUE(info.files.empty());
        EXPECT_FALSE(info.forceUpgrade);
        EXPECT_EQ(InfoMessage(text), L"");
    }
    EXPECT_TRUE(ReadUpdateInfo(binary).version.empty());
}

} // namespace
} // namespace au
