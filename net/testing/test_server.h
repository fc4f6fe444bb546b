// The HTTP/HTTPS test server of the network tests, seen from a Windows test.
//
// net/testing/http_server.py runs on Linux at 127.0.0.1; CTest starts and
// stops it (fixture tests AuTestServer.Start/.Stop). A gtest program gets it
// with quillet_add_test(<name> ... TEST_SERVER): every test then requires the
// fixture and gets AU_TEST_SERVER_DIR. Run such tests through ctest
// (`ctest -R X` starts and stops the server by itself); run alone, they fail
// with "the test server is not running".
//
// Three listeners: http (plain), https (certificate for localhost and
// 127.0.0.1 signed by the test CA; trusted after InstallTestRootCertificate)
// and untrusted (self-signed certificate for localhost). TestUrl uses the
// host localhost for both HTTPS schemes so that the name check passes.
//
// URL language. /t/<tag>/<name>?query, every parameter optional, values
// percent-decoded ('+' stays '+'); <name> is free (file.bin, a/b is not):
//   status=N          status code (default 200)
//   body=TEXT         the body; or size=N: N pattern bytes, byte i = i % 251
//                     (PatternBytes); or file=PATH: the bytes of that file
//                     of the server's host (UnixPath), 404 when it cannot
//                     be read. Default: empty.
//   type=T            Content-Type (default application/octet-stream)
//   length=auto|none|N  Content-Length: the real one (default); none: no
//                     header, the body ends by closing; N: that value, at
//                     most N body bytes are sent, and the connection closes
//                     after the body when N is larger than the body.
//   cut=N             only the first N body bytes, then close
//   te=chunked        Transfer-Encoding: chunked (pieces of chunk= bytes)
//   chunk=N&drip=MS   write the body in N-byte pieces, MS ms apart
//                     (drip without chunk: 1-byte pieces)
//   delay=MS          wait before the status line
//   hang=1            read the request, never answer (until the client
//                     closes or 300 s)
//   h=Name:Value      extra header (repeatable)
//   bigheader=N       about N bytes of X-Filler-k: headers (~1000 B each)
//   raw=BASE64URL     exactly these bytes as the whole response, then close
//   auth=user:pass    401 + WWW-Authenticate: Basic realm="Files" and body
//                     "denied" unless Authorization: Basic matches;
//   proxyauth=u:p     the same with 407/Proxy-Authenticate/realm="Proxy"/
//                     Proxy-Authorization (checked first);
//   authvalue=TEXT    replaces the whole *-Authenticate value
//   redirect=URL      302 with Location: URL (body "redirect")
//   loop=1            302 to the very same URL (endless redirect)
//   setcookie=TEXT    Set-Cookie: TEXT (repeatable)
//   lastmodified=, expires=, date=   those headers (Date: the real one
//                     unless given)
//   ranges=1          honour a single Range: bytes=a-b|a-|-n (206/416)
// HTTP/1.1 keep-alive whenever the framing allows it; "Connection: close"
// and closing otherwise. Request bodies (Content-Length or chunked) are read
// in full first. Absolute-form targets (http://host:port/t/...) are routed
// the same, so the server is also its own HTTP proxy (no CONNECT).
// Every request under /t/<tag>/ is logged raw: request line, header lines as
// sent, blank line, body bytes as on the wire (chunk framing kept).
//   /log/<tag>?n=K    request K of the tag (0-based; -1 or none: the last),
//                     404 when there is none
//   /count/<tag>      how many requests the tag has, as decimal text
//   /file/<N>         N pattern bytes with Content-Length, fast (GB/s)
#pragma once
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace au::testing {

struct TestServer {
    std::wstring dir;           // Wine path (Z:\...) of the server's directory
    uint16_t http = 0;          // plain HTTP port
    uint16_t https = 0;         // HTTPS, certificate signed by the test CA
    uint16_t untrusted = 0;     // HTTPS, self-signed certificate
    std::wstring caDer;         // dir\ca.der, the test CA (DER)
    std::wstring caPem;         // dir\ca.pem
};

// The running server, or null when AU_TEST_SERVER_DIR or its server.env is
// missing. Read once per process.
const TestServer* TestServerOrNull();

// Success when the server runs, else a failure saying to run through ctest.
// In a test: AU_REQUIRE_TEST_SERVER(); (an ASSERT: ends the test).
::testing::AssertionResult TestServerRunning();
#define AU_REQUIRE_TEST_SERVER() ASSERT_TRUE(::au::testing::TestServerRunning())

enum class Scheme { Http, Https, Untrusted };

// http://127.0.0.1:PORT/t/<tag>/<name>?<query> (https://localhost:PORT/...
// for the HTTPS schemes); no '?' when the query is empty. The query goes in
// as written: percent-encode what needs it. Empty when no server.
std::wstring TestUrl(const std::wstring& tag, const std::wstring& name, const std::wstring& query = {},
                     Scheme scheme = Scheme::Http);
// The same for any path of the server, e.g. ServerUrl(L"/file/1000").
std::wstring ServerUrl(const std::wstring& path, Scheme scheme = Scheme::Http);

// A tag no other call (of any process) returns: the current test's name, the
// process id, the performance counter and a counter.
std::wstring NewTag();

// The whole content of a file, empty when it cannot be read.
std::string ReadFileBytes(const std::wstring& path);
// A loopback port on which nothing listens: bound once, then let go.
uint16_t ClosedPort();

// The host's path of a file this Wine process sees, for file=; empty when
// Wine cannot tell.
std::string UnixPath(const std::wstring& windowsPath);
// Percent-encodes every byte but letters, digits and "-._~/", so any text
// can stand as a query value (UTF-8 first).
std::wstring QueryEscape(const std::string& text);
std::wstring QueryEscape(const std::wstring& text);

// Request `index` of the tag as logged (-1: the last); empty when none.
std::string FetchRequestLog(const std::wstring& tag, int index = -1);
// Requests logged for the tag; -1 when the server did not answer.
int RequestCount(const std::wstring& tag);

// The bytes size=N sends, from `offset` on: byte i is i % 251.
std::string PatternBytes(size_t offset, size_t count);

// Adds the test CA to this Wine prefix's local-machine Root store (never the
// host's); true when it is there afterwards. Idempotent. Call it before the
// process's first HTTPS request: a chain engine already built may not see it.
bool InstallTestRootCertificate();

// A synchronous GET through plain WinINet (direct access, no cache), for
// the helpers above and tests of the fixture. error is 0 or the WinINet
// error of the open/send; status 0 when there was no response.
struct SimpleResponse {
    unsigned long error = 0;
    unsigned long status = 0;
    std::string headers;        // raw, CRLF-separated, status line first
    std::string body;
};
SimpleResponse SimpleGet(const std::wstring& url, const std::wstring& extraHeaders = {},
                         const std::wstring& user = {}, const std::wstring& password = {});

// Reading a logged request (FetchRequestLog).
// True when a header line "Name: Value" is there; name case-insensitive,
// value compared exactly after trimming spaces.
bool LogHasHeader(const std::string& log, const std::string& name, const std::string& value);
// The value of the first header line of that name; empty when none.
std::string LogHeader(const std::string& log, const std::string& name);
// The request line ("GET /t/... HTTP/1.1").
std::string LogRequestLine(const std::string& log);
// What follows the blank line: the body as sent.
std::string LogBody(const std::string& log);

} // namespace au::testing
