#include <winsock2.h>

#include "net/testing/test_server.h"

#include "net/internet_handle.h"
#include "win/handles.h"
#include "win/strings.h"

#include <windows.h>
#include <wincrypt.h>
#include <wininet.h>

#include <atomic>
#include <cstdlib>
#include <vector>

namespace au::testing {
namespace {

struct CertStoreTraits {
    using Type = HCERTSTORE;
    static Type invalid() noexcept { return nullptr; }
    static bool valid(Type h) noexcept { return h != nullptr; }
    static void close(Type h) noexcept { ::CertCloseStore(h, 0); }
};

std::wstring EnvW(const wchar_t* name) {
    wchar_t buf[4096];
    DWORD n = ::GetEnvironmentVariableW(name, buf, static_cast<DWORD>(std::size(buf)));
    return (n == 0 || n >= std::size(buf)) ? std::wstring() : std::wstring(buf, n);
}

// /a/b -> Z:\a\b; a path that already has a drive stays as it is.
std::wstring WinePath(std::wstring path) {
    for (auto& c : path)
        if (c == L'/') c = L'\\';
    if (!path.empty() && path[0] == L'\\') path = L"Z:" + path;
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return path;
}

TestServer* Load() {
    std::wstring dir = EnvW(L"AU_TEST_SERVER_DIR");
    if (dir.empty()) return nullptr;
    auto* s = new TestServer;
    s->dir = WinePath(dir);
    s->caDer = s->dir + L"\\ca.der";
    s->caPem = s->dir + L"\\ca.pem";
    std::string env = ReadFileBytes(s->dir + L"\\server.env");
    size_t pos = 0;
    while (pos < env.size()) {
        size_t end = env.find('\n', pos);
        if (end == std::string::npos) end = env.size();
        std::string line = env.substr(pos, end - pos);
        pos = end + 1;
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq);
        auto port = static_cast<uint16_t>(std::atoi(line.c_str() + eq + 1));
        if (key == "http") s->http = port;
        else if (key == "https") s->https = port;
        else if (key == "untrusted") s->untrusted = port;
    }
    if (!s->http || !s->https || !s->untrusted) {
        delete s;
        return nullptr;
    }
    return s;
}

std::string Lower(std::string s) {
    for (auto& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string Trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return {};
    size_t b = s.find_last_not_of(" \t\r\n");
    return s.substr(a, b - a + 1);
}

// The header lines of a logged request, without the request line.
std::vector<std::pair<std::string, std::string>> LogHeaders(const std::string& log) {
    std::vector<std::pair<std::string, std::string>> out;
    size_t pos = log.find('\n');
    while (pos != std::string::npos && pos + 1 < log.size()) {
        size_t start = pos + 1;
        size_t end = log.find('\n', start);
        std::string line = log.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (Trim(line).empty()) break;
        size_t colon = line.find(':');
        if (colon != std::string::npos) out.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
        pos = end;
    }
    return out;
}

} // namespace

const TestServer* TestServerOrNull() {
    static const TestServer* server = Load();
    return server;
}

::testing::AssertionResult TestServerRunning() {
    if (TestServerOrNull()) return ::testing::AssertionSuccess();
    std::wstring dir = EnvW(L"AU_TEST_SERVER_DIR");
    return ::testing::AssertionFailure()
           << "the test server is not running: run through ctest (the AuTestServer fixture starts it); "
           << (dir.empty() ? std::string("AU_TEST_SERVER_DIR is not set")
                           : "no usable server.env in " + win::ToUtf8(WinePath(dir)));
}

std::wstring ServerUrl(const std::wstring& path, Scheme scheme) {
    const TestServer* s = TestServerOrNull();
    if (!s) return {};
    switch (scheme) {
    case Scheme::Https: return L"https://localhost:" + std::to_wstring(s->https) + path;
    case Scheme::Untrusted: return L"https://localhost:" + std::to_wstring(s->untrusted) + path;
    default: return L"http://127.0.0.1:" + std::to_wstring(s->http) + path;
    }
}

std::wstring TestUrl(const std::wstring& tag, const std::wstring& name, const std::wstring& query, Scheme scheme) {
    std::wstring path = L"/t/" + tag + L"/" + name;
    if (!query.empty()) path += L"?" + query;
    return ServerUrl(path, scheme);
}

std::wstring NewTag() {
    static std::atomic<unsigned> counter{0};
    std::string name = "tag";
    if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info())
        name = std::string(info->test_suite_name()) + "." + info->name();
    std::wstring tag;
    for (char c : name) {
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
                  c == '_';
        tag += ok ? static_cast<wchar_t>(c) : L'_';
    }
    // Wine hands the same few process ids out again and again, and one
    // server outlives many test processes: the clock tells runs apart.
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    return tag + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(now.QuadPart) + L"-" +
           std::to_wstring(++counter);
}

SimpleResponse SimpleGet(const std::wstring& url, const std::wstring& extraHeaders, const std::wstring& user,
                         const std::wstring& password) {
    SimpleResponse r;
    wchar_t host[256] = {}, path[4096] = {}, extra[4096] = {};
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = static_cast<DWORD>(std::size(host));
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = static_cast<DWORD>(std::size(path));
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = static_cast<DWORD>(std::size(extra));
    if (!::InternetCrackUrlW(url.c_str(), 0, 0, &parts)) {
        r.error = ::GetLastError();
        return r;
    }
    au::UniqueHInternet session(::InternetOpenW(L"QuilletTestServerClient", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!session) {
        r.error = ::GetLastError();
        return r;
    }
    au::UniqueHInternet connection(::InternetConnectW(session.get(), host, parts.nPort,
                                                 user.empty() ? nullptr : user.c_str(),
                                                 password.empty() ? nullptr : password.c_str(),
                                                 INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) {
        r.error = ::GetLastError();
        return r;
    }
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES |
                  INTERNET_FLAG_NO_UI;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
    std::wstring object = std::wstring(path) + extra;
    au::UniqueHInternet request(::HttpOpenRequestW(connection.get(), L"GET", object.c_str(), nullptr, nullptr, nullptr,
                                              flags, 0));
    if (!request) {
        r.error = ::GetLastError();
        return r;
    }
    if (!::HttpSendRequestW(request.get(), extraHeaders.empty() ? nullptr : extraHeaders.c_str(),
                            extraHeaders.empty() ? 0 : static_cast<DWORD>(-1L), nullptr, 0)) {
        r.error = ::GetLastError();
        return r;
    }
    DWORD status = 0, size = sizeof status;
    if (::HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
        r.status = status;
    std::wstring raw(8192, L'\0');
    size = static_cast<DWORD>(raw.size() * sizeof(wchar_t));
    if (!::HttpQueryInfoW(request.get(), HTTP_QUERY_RAW_HEADERS_CRLF, raw.data(), &size, nullptr) &&
        ::GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        raw.assign(size / sizeof(wchar_t) + 1, L'\0');
        ::HttpQueryInfoW(request.get(), HTTP_QUERY_RAW_HEADERS_CRLF, raw.data(), &size, nullptr);
    }
    raw.resize(size / sizeof(wchar_t));
    r.headers = win::ToUtf8(raw);
    char buf[65536];
    DWORD got = 0;
    for (;;) {
        if (!::InternetReadFile(request.get(), buf, sizeof buf, &got)) {
            r.error = ::GetLastError();
            break;
        }
        if (got == 0) break;
        r.body.append(buf, got);
    }
    return r;
}

std::string FetchRequestLog(const std::wstring& tag, int index) {
    SimpleResponse r = SimpleGet(ServerUrl(L"/log/" + tag + L"?n=" + std::to_wstring(index)));
    return r.error == 0 && r.status == 200 ? r.body : std::string();
}

int RequestCount(const std::wstring& tag) {
    SimpleResponse r = SimpleGet(ServerUrl(L"/count/" + tag));
    return r.error == 0 && r.status == 200 && !r.body.empty() ? std::atoi(r.body.c_str()) : -1;
}

std::string PatternBytes(size_t offset, size_t count) {
    std::string out(count, '\0');
    for (size_t i = 0; i < count; ++i) out[i] = static_cast<char>((offset + i) % 251);
    return out;
}

bool InstallTestRootCertificate() {
    const TestServer* s = TestServerOrNull();
    if (!s) return false;
    std::string der = ReadFileBytes(s->caDer);
    if (der.empty()) return false;
    win::UniqueOwner<CertStoreTraits> store(
        ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root"));
    if (!store) return false;
    return ::CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING,
                                              reinterpret_cast<const BYTE*>(der.data()),
                                              static_cast<DWORD>(der.size()), CERT_STORE_ADD_USE_EXISTING,
                                              nullptr) != FALSE;
}

bool LogHasHeader(const std::string& log, const std::string& name, const std::string& value) {
    std::string key = Lower(name);
    for (const auto& [n, v] : LogHeaders(log))
        if (Lower(n) == key && v == Trim(value)) return true;
    return false;
}

std::string LogHeader(const std::string& log, const std::string& name) {
    std::string key = Lower(name);
    for (const auto& [n, v] : LogHeaders(log))
        if (Lower(n) == key) return v;
    return {};
}

std::string LogRequestLine(const std::string& log) {
    return Trim(log.substr(0, log.find('\n')));
}

std::string LogBody(const std::string& log) {
    size_t end = log.find("\r\n\r\n");
    if (end != std::string::npos) return log.substr(end + 4);
    end = log.find("\n\n");
    return end == std::string::npos ? std::string() : log.substr(end + 2);
}

} // namespace au::testing

namespace au::testing {

std::string ReadFileBytes(const std::wstring& path) {
    win::UniqueHFile f(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
    if (!f) return {};
    std::string out;
    char buf[8192];
    DWORD got = 0;
    while (::ReadFile(f.get(), buf, sizeof buf, &got, nullptr) && got > 0) out.append(buf, got);
    return out;
}

uint16_t ClosedPort() {
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return 1;
    win::ScopeExit cleanup([] { ::WSACleanup(); });
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return 1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    const bool bound = ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                       ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) == 0;
    ::closesocket(s);
    return bound ? ntohs(address.sin_port) : 1;
}

std::string UnixPath(const std::wstring& windowsPath) {
    // Wine's own export: the host path of a file as this process sees it.
    using Converter = char* (*)(const wchar_t*);
    const auto convert = reinterpret_cast<Converter>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!convert) return {};
    char* path = convert(windowsPath.c_str());
    if (!path) return {};
    std::string result(path);
    ::HeapFree(::GetProcessHeap(), 0, path);
    return result;
}

std::wstring QueryEscape(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::wstring out;
    for (unsigned char c : text) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~' || c == '/') {
            out += static_cast<wchar_t>(c);
        } else {
            out += L'%';
            out += static_cast<wchar_t>(kHex[c >> 4]);
            out += static_cast<wchar_t>(kHex[c & 15]);
        }
    }
    return out;
}

std::wstring QueryEscape(const std::wstring& text) { return QueryEscape(win::ToUtf8(text)); }

} // namespace au::testing
