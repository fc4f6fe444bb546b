#include "net/url_text.h"

#include <gtest/gtest.h>

using namespace au;

TEST(AuUrlText, FileNameIsTheLastElement) {
    EXPECT_EQ(URLToFileName(L"http://host/d/f.exe"), L"f.exe");
    EXPECT_EQ(URLToFileName(L"http://host/d/"), L"");
    EXPECT_EQ(URLToFileName(L"http://host/d/setup.exe?v=2"), L"setup.exe?v=2");
    EXPECT_EQ(URLToFileName(L"host:8080"), L"8080");
    EXPECT_EQ(WithDefaultScheme(L"host/a"), L"http://host/a");
    EXPECT_EQ(WithDefaultScheme(L"ftp://host/"), L"ftp://host/");
}

TEST(AuUrlText, RequestObjectKeepsTheEscapesAsWritten) {
    EXPECT_EQ(RequestObject(L"http://h/a/b.exe"), L"/a/b.exe");
    EXPECT_EQ(RequestObject(L"http://h:81/a%20b?x=%26y%23z%0D%0A"), L"/a%20b?x=%26y%23z%0D%0A");
    EXPECT_EQ(RequestObject(L"http://h/p?q=1#fragment"), L"/p?q=1");
    EXPECT_EQ(RequestObject(L"http://h"), L"/");
    EXPECT_EQ(RequestObject(L"http://h#top"), L"/");
    EXPECT_EQ(RequestObject(L"http://h?x=1"), L"/?x=1");
    EXPECT_EQ(RequestObject(L"http://user:pw@h/x"), L"/x");
    EXPECT_EQ(RequestObject(L"http://h/my file.exe\r\nX: 1"), L"/my%20file.exe%0D%0AX:%201");
    EXPECT_EQ(RequestObject(L"http://h/文件.exe"), L"/文件.exe");
    // A C1 control (NEL is a line break to some readers) goes as its UTF-8,
    // which decodes back to it.
    EXPECT_EQ(RequestObject(L"http://h/a\x85" L"b\x9F"), L"/a%C2%85b%C2%9F");
    EXPECT_EQ(DecodeURLEscapes(RequestObject(L"http://h/a\x85" L"b\x9F")), L"/a\x85" L"b\x9F");
    EXPECT_EQ(RequestObject(L"http://h/\xA0\xE9"), L"/\xA0\xE9") << "no control: kept as it is";
}

TEST(AuUrlText, WrittenPortMustFitSixteenBits) {
    EXPECT_TRUE(WrittenPortFits(L"http://h:65535/x"));
    EXPECT_FALSE(WrittenPortFits(L"http://h:65536/x"));
    EXPECT_FALSE(WrittenPortFits(L"http://u:p@h:99999999999999?x"));
    // The colon of a password, an IPv6 address or a path is no port.
    EXPECT_TRUE(WrittenPortFits(L"http://u:99999@h/x"));
    EXPECT_TRUE(WrittenPortFits(L"http://[::99999]/x"));
    EXPECT_TRUE(WrittenPortFits(L"http://h/a:99999"));
}

TEST(AuUrlText, EscapesDecodedAsUtf8OrSingleBytes) {
    EXPECT_EQ(DecodeURLEscapes(L"a%20b%2Fc%3a"), L"a b/c:");
    EXPECT_EQ(DecodeURLEscapes(L"%E4%B8%AD%e6%96%87"), L"\x4E2D\x6587");
    EXPECT_EQ(DecodeURLEscapes(L"caf%E9!"), L"caf\x00E9!");
    EXPECT_EQ(DecodeURLEscapes(L"%F0%9F%98%80").size(), sizeof(wchar_t) == 2 ? 2u : 1u);
    EXPECT_EQ(DecodeURLEscapes(L"100% %zz %4"), L"100% %zz %4");
}

TEST(AuUrlText, ShellGetsOnlyWebAddressesAsOneArgument) {
    EXPECT_EQ(ShellSafeURL(L"HTTPS://host/a?b=1"), std::wstring(L"HTTPS://host/a?b=1"));
    EXPECT_EQ(ShellSafeURL(L"http://host/a b\" --flag\n"), std::wstring(L"http://host/a%20b%22%20--flag%0A"));
    EXPECT_EQ(ShellSafeURL(L"http://host/\x85"), std::wstring(L"http://host/%C2%85"));
    EXPECT_FALSE(ShellSafeURL(L"file://C:/Windows/System32/calc.exe"));
    EXPECT_FALSE(ShellSafeURL(L"C:\\Windows\\notepad.exe"));
}
