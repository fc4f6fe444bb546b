#include "net/form_data.h"

#include <gtest/gtest.h>

using namespace au;

TEST(AuBase64, GroupsAndPadding) {
    EXPECT_EQ(Base64Encode(L"abc"), L"YWJj");
    EXPECT_EQ(Base64Encode(L"ab"), L"YWI=");
    EXPECT_EQ(Base64Encode(L"a"), L"YQ==");
    EXPECT_EQ(Base64Encode(L"\xFF\xFE\xFD"), L"//79");
    // One byte per character: what one byte cannot hold is sent as "?".
    EXPECT_EQ(Base64Encode(L"\x4E2D"), Base64Encode(L"?"));
}

TEST(AuBase64, LineBreakAfterEveryEightyCharacters) {
    const std::wstring sixty(60, L'x');
    const std::wstring line = Base64Encode(sixty);
    ASSERT_EQ(line.size(), 82u);
    EXPECT_EQ(line.find(L"\r\n"), 80u);

    const std::wstring two = Base64Encode(sixty + sixty);
    ASSERT_EQ(two.size(), 164u);
    EXPECT_EQ(two.substr(80, 2), L"\r\n");
    EXPECT_EQ(two.substr(162), L"\r\n");

    for (size_t n = 0; n <= 200; ++n) {
        const size_t chars = 4 * ((n + 2) / 3);
        EXPECT_EQ(Base64Encode(std::wstring(n, L'q')).size(), chars + 2 * (chars / 80)) << n;
    }
}

TEST(AuBoundary, PrefixCharacterBase64AndSuffixOnOneLine) {
    EXPECT_EQ(MakeBoundaryFrom(L'0', L"2024/5/6 12:34:56"),
              L"---HTTP-DATA-BOUNDARY-0-" + Base64Encode(L"2024/5/6 12:34:56") + L"---");
    // However long the user's format, the boundary stays one line.
    const std::wstring boundary = MakeBoundaryFrom(L'7', std::wstring(100, L'd'));
    EXPECT_EQ(boundary.find_first_of(L"\r\n"), std::wstring::npos);
    EXPECT_EQ(boundary.substr(0, 24), L"---HTTP-DATA-BOUNDARY-7-");
    EXPECT_EQ(MultipartContentTypeHeader(L"B"), L"Content-Type: multipart/form-data, boundary=B");
}

TEST(AuMultipart, FieldsFilesAndClosingLine) {
    std::vector<std::wstring> asked;
    const FormTextRules rules{OneBytePerChar, [&](const std::wstring& ext) {
                                  asked.push_back(ext);
                                  return ext.empty() ? L"application/octet-stream" : L"text/plain";
                              }};
    const std::vector<FormField> fields = {
        {L"user", L"", "li"},
        {L"upload", L"C:\\dir.v2\\up/load.TXT", std::string("a\0\r\nb", 5)},
        {L"raw", L"C:\\dir.v2\\README", ""},
    };
    const std::string body = MultipartFormBody(L"BND", fields, rules);
    EXPECT_EQ(body,
              "--BND\r\nContent-Disposition: form-data; name=\"user\"\r\n\r\nli\r\n"
              "--BND\r\nContent-Disposition: form-data; name=\"upload\"; filename=\"C:\\dir.v2\\up/load.TXT\"\r\n"
              "Content-Type: text/plain\r\n\r\n" + std::string("a\0\r\nb", 5) + "\r\n"
              "--BND\r\nContent-Disposition: form-data; name=\"raw\"; filename=\"C:\\dir.v2\\README\"\r\n"
              "Content-Type: application/octet-stream\r\n\r\n\r\n"
              "--BND--\r\n");
    // The extension is the file name's own, not a dot of its directory.
    EXPECT_EQ(asked, (std::vector<std::wstring>{L".TXT", L""}));
}

TEST(AuMultipart, NamesCannotEndTheirQuotesOrLines) {
    const FormTextRules rules{OneBytePerChar, [](const std::wstring&) { return L"text/plain"; }};
    const std::vector<FormField> fields = {{L"a\"b", L"x\r\nContent-Type: evil\r\n\r\n\".txt", "c"}};
    EXPECT_EQ(MultipartFormBody(L"BND", fields, rules),
              "--BND\r\nContent-Disposition: form-data; name=\"a%22b\"; "
              "filename=\"x%0D%0AContent-Type: evil%0D%0A%0D%0A%22.txt\"\r\n"
              "Content-Type: text/plain\r\n\r\nc\r\n--BND--\r\n");
}
