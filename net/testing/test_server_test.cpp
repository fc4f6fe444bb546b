// The test server fixture, checked through plain WinINet (SimpleGet).
#include "net/testing/test_server.h"
#include "win/strings.h"

#include <windows.h>
#include <wininet.h>

#include <cstdio>

namespace au::testing {
namespace {

TEST(AuTestServer, GetOfSizeGivesThePattern) {
    AU_REQUIRE_TEST_SERVER();
    std::wstring tag = NewTag();
    SimpleResponse r = SimpleGet(TestUrl(tag, L"file.bin", L"size=100000"));
    ASSERT_EQ(r.error, 0u);
    EXPECT_EQ(r.status, 200u);
    EXPECT_EQ(r.body, PatternBytes(0, 100000));
    EXPECT_NE(r.headers.find("Content-Length: 100000"), std::string::npos) << r.headers;
    EXPECT_EQ(RequestCount(tag), 1);
    EXPECT_EQ(LogRequestLine(FetchRequestLog(tag)), "GET /t/" + win::ToUtf8(tag) + "/file.bin?size=100000 HTTP/1.1");
}

TEST(AuTestServer, LengthNoneCutAndStatus) {
    AU_REQUIRE_TEST_SERVER();
    std::wstring tag = NewTag();
    SimpleResponse none = SimpleGet(TestUrl(tag, L"a", L"body=closed%20end&length=none"));
    EXPECT_EQ(none.error, 0u);
    EXPECT_EQ(none.body, "closed end");
    EXPECT_EQ(none.headers.find("Content-Length"), std::string::npos) << none.headers;

    SimpleResponse cut = SimpleGet(TestUrl(tag, L"b", L"size=1000&cut=10"));
    EXPECT_EQ(cut.status, 200u);
    EXPECT_EQ(cut.body, PatternBytes(0, 10));   // WinINet ends the read at the close

    SimpleResponse missing = SimpleGet(TestUrl(tag, L"c", L"status=404&body=gone"));
    EXPECT_EQ(missing.error, 0u);
    EXPECT_EQ(missing.status, 404u);
    EXPECT_EQ(missing.body, "gone");
    EXPECT_EQ(RequestCount(tag), 3);
    EXPECT_EQ(RequestCount(NewTag()), 0);
    EXPECT_EQ(FetchRequestLog(NewTag()), "");
}

TEST(AuTestServer, LogRecordsTheRequestHeaders) {
    AU_REQUIRE_TEST_SERVER();
    std::wstring tag = NewTag();
    SimpleResponse r = SimpleGet(TestUrl(tag, L"part", L"size=50"), L"Range: bytes=10-\r\nX-Probe: one\r\n");
    EXPECT_EQ(r.error, 0u);
    std::string log = FetchRequestLog(tag, 0);
    EXPECT_TRUE(LogHasHeader(log, "range", "bytes=10-")) << log;
    EXPECT_TRUE(LogHasHeader(log, "X-PROBE", "one")) << log;
    EXPECT_EQ(LogHeader(log, "Host"), "127.0.0.1:" + std::to_string(TestServerOrNull()->http));
    EXPECT_EQ(LogBody(log), "");
}

TEST(AuTestServer, BasicAuthentication) {
    AU_REQUIRE_TEST_SERVER();
    std::wstring tag = NewTag();
    SimpleResponse denied = SimpleGet(TestUrl(tag, L"f", L"auth=user:secret&body=granted"));
    EXPECT_EQ(denied.status, 401u);
    EXPECT_EQ(denied.body, "denied");
    EXPECT_NE(denied.headers.find("WWW-Authenticate: Basic realm=\"Files\""), std::string::npos) << denied.headers;

    SimpleResponse granted = SimpleGet(TestUrl(tag, L"f", L"auth=user:secret&body=granted"), {}, L"user", L"secret");
    EXPECT_EQ(granted.status, 200u);
    EXPECT_EQ(granted.body, "granted");
    EXPECT_TRUE(LogHasHeader(FetchRequestLog(tag), "Authorization", "Basic dXNlcjpzZWNyZXQ="));
}

TEST(AuTestServer, HttpsTrustedAfterInstallUntrustedRefused) {
    AU_REQUIRE_TEST_SERVER();
    ASSERT_TRUE(InstallTestRootCertificate());
    ASSERT_TRUE(InstallTestRootCertificate());   // idempotent
    std::wstring tag = NewTag();
    SimpleResponse ok = SimpleGet(TestUrl(tag, L"s", L"body=secure", Scheme::Https));
    EXPECT_EQ(ok.error, 0u);
    EXPECT_EQ(ok.status, 200u);
    EXPECT_EQ(ok.body, "secure");

    SimpleResponse refused = SimpleGet(TestUrl(tag, L"u", L"body=never", Scheme::Untrusted));
    std::printf("untrusted certificate: WinINet error %lu\n", refused.error);
    EXPECT_TRUE(refused.error == ERROR_INTERNET_INVALID_CA || refused.error == ERROR_INTERNET_SEC_CERT_ERRORS)
        << refused.error;
    EXPECT_EQ(refused.status, 0u);
    EXPECT_EQ(RequestCount(tag), 1);   // the untrusted request was never sent
}

} // namespace
} // namespace au::testing
