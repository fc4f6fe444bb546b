// Transfers against the test server: each way a transfer can end, and where
// its body goes.
#include "net/http_date.h"
#include "net/http_test_support.h"
#include "win/error.h"

namespace au::testing {
namespace {

using Strings = std::vector<std::string>;

using AuHttpOutcome = HttpTest;

TEST_F(AuHttpOutcome, BodyIntoMemoryWithHeadersProgressAndDoneOnTheWindowThread) {
    AU_REQUIRE_TEST_SERVER();
    std::vector<std::pair<uint32_t, DWORD>> statuses;
    http->OnStatusChanged = [&](TauCustomHTTP*, uint32_t id, const std::wstring& text) {
        statuses.emplace_back(id, ::GetCurrentThreadId());
        EXPECT_EQ(text, StatusText(id));
    };
    ASSERT_TRUE(Fetch(Url(L"size=10000&type=text/plain")));
    EXPECT_EQ(Events(), (Strings{"HeaderInfo", "Progress", "Done"}));
    EXPECT_TRUE(offThread.empty()) << offThread.front();
    EXPECT_EQ(doneType, L"text/plain");
    EXPECT_EQ(doneSize, 10000u);
    ASSERT_TRUE(body.present);
    EXPECT_FALSE(body.isFile);
    EXPECT_EQ(body.bytes, PatternBytes(0, 10000));
    EXPECT_EQ(header.length, 10000u);
    EXPECT_EQ(lastProgress.read, 10000u);
    EXPECT_EQ(lastProgress.percent, 100);
    EXPECT_GE(progressCalls, 3) << "4096-byte reads";
    EXPECT_EQ(http->HTTPErrorCode, 200);
    ASSERT_FALSE(statuses.empty());
    // Handles close in the completion routine, on the window thread; all
    // else is reported from inside the worker's blocking calls.
    for (auto [id, thread] : statuses) {
        if (id == INTERNET_STATUS_HANDLE_CLOSING) continue;
        EXPECT_NE(thread, mainThread) << "status " << id;
    }
    EXPECT_FALSE(http->HTTPStream) << "the stream lives only during the event";
}

TEST_F(AuHttpOutcome, UrlWithoutSchemeIsFetchedAsHttp) {
    AU_REQUIRE_TEST_SERVER();
    std::wstring url = Url(L"body=plain");
    ASSERT_TRUE(Fetch(url.substr(std::wstring(L"http://").size())));
    EXPECT_EQ(Events(), (Strings{"HeaderInfo", "Progress", "Done"}));
    EXPECT_EQ(body.bytes, "plain");
}

TEST_F(AuHttpOutcome, NothingListeningIsAHostUnreachable) {
    ASSERT_TRUE(Fetch(L"http://127.0.0.1:" + std::to_wstring(ClosedPort()) + L"/x.bin"));
    EXPECT_EQ(Events(), (Strings{"AnyError", "HostUnreachable"}));
    EXPECT_EQ(http->HTTPErrorCode, -1);
}

TEST_F(AuHttpOutcome, UrlThatDoesNotParseIsAHostUnreachable) {
    ASSERT_TRUE(Fetch(L"http://127.0.0.1:99999/x.bin"));
    EXPECT_EQ(Events(), (Strings{"AnyError", "HostUnreachable"}));
    events.clear();
    ASSERT_TRUE(Fetch(L"http://" + std::wstring(300, L'h') + L"/x.bin"));
    EXPECT_EQ(Events(), (Strings{"AnyError", "HostUnreachable"}));
}

TEST_F(AuHttpOutcome, StatusOtherThan200IsAnHttpErrorWithItsBody) {
    AU_REQUIRE_TEST_SERVER();
    for (int status : {404, 500, 304, 206}) {
        events.clear();
        body = {};
        const std::wstring query = L"status=" + std::to_wstring(status) + (status == 304 ? L"" : L"&body=why");
        ASSERT_TRUE(Fetch(Url(query))) << status;
        const Strings expected = status == 304 ? Strings{"HeaderInfo", "AnyError", "HTTPError"}
                                               : Strings{"HeaderInfo", "Progress", "AnyError", "HTTPError"};
        EXPECT_EQ(Events(), expected) << status;
        EXPECT_EQ(errorCode, status);
        ASSERT_TRUE(body.present) << status;
        EXPECT_EQ(body.bytes, status == 304 ? "" : "why") << status;
    }
}

TEST_F(AuHttpOutcome, ErrorBodyIntoAFileIsDeletedAfterTheEvent) {
    AU_REQUIRE_TEST_SERVER();
    TempPath out(L"au-error-body.bin");
    http->SetOutputFileName(out.Path());
    http->OnHTTPError = [&](TauCustomHTTP*, int32_t code, Stream* stream) {
        Note("HTTPError");
        errorCode = code;
        body = CopyOf(stream);
        EXPECT_TRUE(out.Exists());
    };
    ASSERT_TRUE(Fetch(Url(L"status=500&body=broken")));
    EXPECT_EQ(Events(), (Strings{"HeaderInfo", "Progress", "AnyError", "HTTPError"}));
    EXPECT_TRUE(body.isFile);
    EXPECT_FALSE(out.Exists());
}

TEST_F(AuHttpOutcome, RangeHeadersAreSentAndA206IsAnError) {
    AU_REQUIRE_TEST_SERVER();
    http->Range().SetStartRange(100);
    ASSERT_TRUE(Fetch(Url(L"size=1000&ranges=1")));
    EXPECT_EQ(Events(), (Strings{"HeaderInfo", "Progress", "AnyError", "HTTPError"}));
    EXPECT_EQ(errorCode, 206);
    EXPECT_EQ(body.bytes, PatternBytes(100, 900));
    EXPECT_NE(FetchRequestLog(tag).find("RANGE: bytes=100-\r\n"), std::string::npos) << FetchRequestLog(tag);

    http->Range().SetEndRange(199);
    ASSERT_TRUE(Fetch(Url(L"size=1000&ranges=1")));
    EXPECT_NE(FetchRequestLog(tag).find("RANGE: bytes=100-199\r\n"), std::string::npos);
    EXPECT_EQ(body.bytes, PatternBytes(100, 100));
}

TEST_F(AuHttpOutcome, HiddenOutputFileIsCompleteAndClosedAtDone) {
    AU_REQUIRE_TEST_SERVER();
    TempPath out(L"au-hidden.bin");
    http->SetOutputFileName(out.Path());
    http->SetHideOutputFile(true);
    // Wine keeps the hidden attribute of a file but not the temporary one,
    // which only steers the system's write cache.
    const DWORD hiddenTemporary = FILE_ATTRIBUTE_HIDDEN;
    DWORD whileRunning = 0;
    onProgress = [&](TauCustomHTTP*, Stream* stream) {
        whileRunning = out.Attributes();
        EXPECT_TRUE(dynamic_cast<FileStream*>(stream));
    };
    onDone = [&](TauCustomHTTP*) {
        EXPECT_EQ(out.Attributes() & hiddenTemporary, hiddenTemporary);
        // Closed: nobody else could open it while the transfer held it.
        win::UniqueHFile exclusive(
            ::CreateFileW(out.Path().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_TRUE(exclusive);
    };
    ASSERT_TRUE(Fetch(Url(L"size=20000")));
    EXPECT_EQ(Events(), (Strings{"HeaderInfo", "Progress", "Done"}));
    EXPECT_EQ(whileRunning & hiddenTemporary, hiddenTemporary);
    EXPECT_FALSE(body.present) << "a file sink is closed before OnDone";
    EXPECT_EQ(doneSize, 20000u);
    EXPECT_EQ(out.Read(), PatternBytes(0, 20000));
}

TEST_F(AuHttpOutcome, WithoutContentLengthTheBodyStaysInMemory) {
    AU_REQUIRE_TEST_SERVER();
    TempPath out(L"au-nolength.bin");
    http->SetOutputFileName(out.Path());
    ASSERT_TRUE(Fetch(Url(L"size=5000&length=none")));
    EXPECT_EQ(Events(), (Strings{"HeaderInfo", "Progress", "Done"}));
    ASSERT_TRUE(body.present);
    EXPECT_FALSE(body.isFile);
    EXPECT_EQ(body.bytes, PatternBytes(0, 5000));
    EXPECT_FALSE(out.Exists());
}

TEST_F(AuHttpOutcome, ZeroContentLengthMakesAnEmptyFile) {
    AU_REQUIRE_TEST_SERVER();
    TempPath out(L"au-empty.bin");
    http->SetOutputFileName(out.Path());
    ASSERT_TRUE(Fetch(Url(L"length=0")));
    EXPECT_EQ(Events(), (Strings{"HeaderInfo", "Done"}));
    EXPECT_EQ(doneSize, 0u);
    EXPECT_FALSE(body.present);
    EXPECT_TRUE(out.Exists());
    EXPECT_EQ(out.Read(), "");
}

TEST_F(AuHttpOutcome, ShortBodyIsAConnectionLostAndItsFileIsDeleted) {
    AU_REQUIRE_TEST_SERVER();
    TempPath out(L"au-short.bin");
    http->SetOutputFileName(out.Path());
    ASSERT_TRUE(Fetch(Url(L"size=1000&cut=600")));
    EXPECT_EQ(Events(), (Strings{"HeaderInfo", "Progress", "AnyError", "ConnLost"}));
    EXPECT_EQ(lostSize, 1000u);
    EXPECT_EQ(lostRead, 600u);
    EXPECT_TRUE(body.isFile);
    EXPECT_FALSE(out.Exists());
}

TEST_F(AuHttpOutcome, AbsurdAnnouncedLengthFailsWithoutCrashing) {
    AU_REQUIRE_TEST_SERVER();
    ASSERT_TRUE(Fetch(Url(L"body=tiny&length=3000000000")));
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(Strings(events.end() - 2, events.end()), (Strings{"AnyError", "ConnLost"}));
    EXPECT_EQ(lostSize, 3000000000u);
    EXPECT_LE(lostRead, 4u);
    // The next transfer works.
    events.clear();
    ASSERT_TRUE(Fetch(Url(L"body=next")));
    EXPECT_EQ(body.bytes, "next");
}

TEST_F(AuHttpOutcome, OutputFileThatCannotBeCreatedIsAnErrorOnly) {
    AU_REQUIRE_TEST_SERVER();
    TempPath missingDir(L"au-no-such-dir");
    http->SetOutputFileName(missingDir.Path() + L"\\out.bin");
    ASSERT_TRUE(Fetch(Url(L"size=100")));
    EXPECT_EQ(Events(), (Strings{"HeaderInfo", "AnyError"}));
}

TEST_F(AuHttpOutcome, HeaderHandlerCanStopTheDownload) {
    AU_REQUIRE_TEST_SERVER();
    stopAtHeaders = true;
    ASSERT_TRUE(Fetch(Url(L"size=100&type=text/x-test&lastmodified=Sun,%2006%20Nov%201994%2008:49:37%20GMT")));
    EXPECT_EQ(Events(), (Strings{"HeaderInfo", "DoneInterrupted"}));
    EXPECT_EQ(header.type, L"text/x-test");
    EXPECT_EQ(header.length, 100u);
    EXPECT_NE(header.raw.find(L"HTTP/1.1 200"), std::wstring::npos);
    EXPECT_NE(header.date, 0.0);
    EXPECT_DOUBLE_EQ(header.lastModified, HTTPDateToDateTime(L"Sun, 06 Nov 1994 08:49:37 GMT"));
}

TEST_F(AuHttpOutcome, FileUrls) {
    TempPath source(L"au-source.txt");
    {
        win::UniqueHFile file(::CreateFileW(source.Path().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(file.get(), "file body", 9, &written, nullptr));
    }
    std::wstring url = L"file:///" + source.Path();
    ASSERT_TRUE(Fetch(url));
    EXPECT_EQ(Events(), (Strings{"Progress", "Done"}));
    EXPECT_EQ(body.bytes, "file body");

    TempPath copy(L"au-copy.txt");
    http->SetOutputFileName(copy.Path());
    events.clear();
    ASSERT_TRUE(Fetch(url));
    EXPECT_EQ(Events(), (Strings{"Progress", "Done"}));
    EXPECT_EQ(copy.Read(), "file body");

    events.clear();
    ASSERT_TRUE(Fetch(url + L".missing"));
    EXPECT_EQ(Events(), (Strings{"AnyError", "HTTPError"}));
    EXPECT_EQ(errorCode, 404);
    EXPECT_TRUE(body.present);
    EXPECT_FALSE(body.isFile);
    EXPECT_EQ(body.bytes, "");
}

TEST_F(AuHttpOutcome, Https) {
    AU_REQUIRE_TEST_SERVER();
    ASSERT_TRUE(InstallTestRootCertificate());
    ASSERT_TRUE(Fetch(Url(L"body=secret", L"s.bin", Scheme::Https)));
    EXPECT_EQ(Events(), (Strings{"HeaderInfo", "Progress", "Done"}));
    EXPECT_EQ(body.bytes, "secret");
    events.clear();
    ASSERT_TRUE(Fetch(Url(L"body=secret", L"s.bin", Scheme::Untrusted)));
    EXPECT_EQ(Events(), (Strings{"AnyError", "HostUnreachable"})) << "the library refuses an unknown authority";
}

} // namespace
} // namespace au::testing

namespace au::testing {
namespace {

TEST(AuHttpProperties, DefaultsOfANewComponent) {
    TauCustomHTTP http;
    EXPECT_EQ(http.AcceptTypes(), L"text/html, */*");
    EXPECT_FALSE(http.StoresAcceptTypes());
    EXPECT_FALSE(http.Agent().empty());
    EXPECT_TRUE(http.UseCache());
    EXPECT_TRUE(http.UseCookies());
    EXPECT_FALSE(http.WorkOffline());
    EXPECT_FALSE(http.HideOutputFile());
    EXPECT_EQ(http.RequestMethod(), rmAutoDetect);
    EXPECT_EQ(http.TransferBufferSize(), 4096);
    EXPECT_EQ(http.Proxy().AccessType(), atPreconfig);
    EXPECT_EQ(http.Proxy().ProxyPort(), 8080);
    EXPECT_EQ(http.Proxy().ProxyBypass(), L"127.0.0.1;");
    EXPECT_FALSE(http.Proxy().StoresProxyNames());
    EXPECT_EQ(http.Range().StartRange(), 0);
    EXPECT_EQ(http.Timeouts().ReceiveTimeout(), 0u);
    EXPECT_EQ(http.ThreadPriority(), tpNormal);
    EXPECT_FALSE(http.WaitThread());
    EXPECT_FALSE(http.Busy());
    EXPECT_FALSE(http.FreeOnTerminate());

    EXPECT_THROW(http.SetTransferBufferSize(254), win::Error);
    http.SetTransferBufferSize(255);
    EXPECT_EQ(http.TransferBufferSize(), 255);

    http.SetURL(L"http://files.example/upd/setup.exe?v=2");
    EXPECT_EQ(http.FileName(), L"setup.exe?v=2");
    EXPECT_EQ(http.HostName(), L"files.example");
}

TEST(AuHttpProperties, LoginRecordOnlyWhileANameIsSet) {
    TauCustomHTTP http;
    EXPECT_FALSE(http.LInfo());
    http.SetUsername(L"taxpayer");
    http.SetPassword(L"密码");
    auto record = http.LInfo();
    ASSERT_TRUE(record);
    TauCustomHTTP other;
    ASSERT_TRUE(other.ReadLInfo(*record));
    EXPECT_EQ(other.Username(), L"taxpayer");
    EXPECT_EQ(other.Password(), L"密码");
    EXPECT_FALSE(other.ReadLInfo(record->substr(0, 3)));
    EXPECT_EQ(other.Username(), L"taxpayer") << "a damaged record changes nothing";
    http.SetUsername(std::wstring(300, L'u'));
    EXPECT_THROW(http.LInfo(), win::Error);
}

} // namespace
} // namespace au::testing
