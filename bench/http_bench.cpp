// Downloads one large body into a file with TauCustomHTTP and with a bare
// WinINet loop in the same Wine process, for two transfer buffer sizes, and
// sets both against native curl's figure measured just before by the
// runner (bench/http-bench.sh). With --where it also measures what the
// per-chunk hand-over to the window thread costs.
//
//   http_bench.exe URL BYTES CURL_BYTES_PER_SECOND OUTPUT_PATH [--where]
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "net/custom_http.h"
#include "net/internet_handle.h"
#include "net/url.h"
#include "win/handles.h"
#include "win/strings.h"

namespace {

constexpr int kRuns = 3;
constexpr int32_t kBufferSizes[] = {4096, 65536};
// A transfer that has not ended by then is stuck, not slow.
constexpr DWORD kTransferLimitMs = 10 * 60 * 1000;

double Seconds() {
    static LARGE_INTEGER freq = [] { LARGE_INTEGER f; ::QueryPerformanceFrequency(&f); return f; }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(freq.QuadPart);
}

// One measured transfer: seconds <= 0 means the clock could not tell.
struct Run {
    double seconds = 0;
    uint64_t bytes = 0;
    long calls = 0;
    std::string error;
};

uint64_t SizeOnDisk(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string LastErrorText(const char* what) {
    return std::string(what) + " failed, error " + std::to_string(::GetLastError());
}

struct Target {
    std::wstring host, object;
    INTERNET_PORT port = 0;
};

bool CrackUrl(const std::wstring& url, Target& target) {
    std::wstring scheme, user, password, extra, path;
    uint16_t port = 0;
    if (!au::ParseURL(url, scheme, target.host, port, user, password, extra, path)) return false;
    target.object = path + extra;
    target.port = port;
    return true;
}

// What the component does for a download, written out by hand: the floor
// any wrapper over the same library can reach in this process.
Run BareLoop(const Target& target, DWORD bufferSize, const std::wstring& path) {
    Run run;
    std::vector<char> buffer(bufferSize);
    const double t0 = Seconds();
    {
        au::UniqueHInternet session(
            ::InternetOpenW(L"Quillet http_bench", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
        if (!session) return {0, 0, 0, LastErrorText("InternetOpenW")};
        au::UniqueHInternet connect(::InternetConnectW(session.get(), target.host.c_str(), target.port, nullptr,
                                                       nullptr, INTERNET_SERVICE_HTTP, 0, 0));
        if (!connect) return {0, 0, 0, LastErrorText("InternetConnectW")};
        au::UniqueHInternet request(::HttpOpenRequestW(connect.get(), L"GET", target.object.c_str(), nullptr,
                                                       nullptr, nullptr,
                                                       INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0));
        if (!request) return {0, 0, 0, LastErrorText("HttpOpenRequestW")};
        if (!::HttpSendRequestW(request.get(), nullptr, 0, nullptr, 0))
            return {0, 0, 0, LastErrorText("HttpSendRequestW")};
        win::UniqueHFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return {0, 0, 0, LastErrorText("CreateFileW")};
        for (;;) {
            DWORD got = 0;
            if (!::InternetReadFile(request.get(), buffer.data(), bufferSize, &got))
                return {0, run.bytes, run.calls, LastErrorText("InternetReadFile")};
            if (got == 0) break;
            DWORD put = 0;
            if (!::WriteFile(file.get(), buffer.data(), got, &put, nullptr) || put != got)
                return {0, run.bytes, run.calls, LastErrorText("WriteFile")};
            run.bytes += got;
            ++run.calls;
        }
    }
    // The file is closed inside the timing, as the component closes its own
    // before it reports the end.
    run.seconds = Seconds() - t0;
    return run;
}

// The component as an application uses it: a read into a file, the window
// thread pumping messages until the completion event.
Run ComponentRun(const std::wstring& url, int32_t bufferSize, const std::wstring& path, bool withProgress) {
    Run run;
    au::TauCustomHTTP http;
    http.SetURL(url);
    http.SetOutputFileName(path);
    http.SetTransferBufferSize(bufferSize);
    http.SetUseCache(false);
    bool ended = false;
    double t1 = 0;
    auto end = [&](const std::string& error) {
        if (ended) return;
        t1 = Seconds();
        ended = true;
        run.error = error;
    };
    if (withProgress) {
        http.OnProgress = [&](au::TauCustomHTTP*, const std::wstring&, uint32_t, uint32_t, uint32_t, int32_t,
                              uint8_t, float, au::Stream*) { ++run.calls; };
    }
    http.OnDone = [&](au::TauCustomHTTP*, const std::wstring&, uint32_t size, au::Stream*) {
        run.bytes = size;
        end("");
    };
    http.OnConnLost = [&](au::TauCustomHTTP*, const std::wstring&, uint32_t, uint32_t read, au::Stream*) {
        run.bytes = read;
        end("connection lost after " + std::to_string(read) + " bytes");
    };
    http.OnHTTPError = [&](au::TauCustomHTTP*, int32_t code, au::Stream*) {
        end("HTTP status " + std::to_string(code));
    };
    http.OnHostUnreachable = [&](au::TauCustomHTTP*) { end("host unreachable"); };
    http.OnAnyError = [&](au::TauCustomHTTP*) { end("the transfer failed"); };
    http.OnAborted = [&](au::TauCustomHTTP*) { end("aborted"); };

    const double t0 = Seconds();
    if (!http.Read()) return {0, 0, 0, "Read() refused to start"};
    // Done only once the worker is gone too, so that the next run starts
    // from a quiet process.
    auto completed = [&] {
        return ended && !http.Busy() && ::WaitForSingleObject(http.Thread().Handle(), 0) == WAIT_OBJECT_0;
    };
    const DWORD start = ::GetTickCount();
    while (!completed()) {
        if (::GetTickCount() - start > kTransferLimitMs) {
            http.Abort();
            return {0, run.bytes, run.calls, "no end within the time limit"};
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    run.seconds = t1 - t0;
    return run;
}

// A cross-thread SendMessage alone, the way the component hands each chunk
// over, with the same pump on the receiving side.
constexpr UINT kPing = WM_APP + 1;

LRESULT CALLBACK PingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kPing) {
        ++*reinterpret_cast<long*>(lParam);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

struct PingJob {
    HWND window;
    long count;
    long* received;
};

DWORD WINAPI PingSender(void* param) {
    auto* job = static_cast<PingJob*>(param);
    for (long i = 0; i < job->count; ++i)
        ::SendMessageW(job->window, kPing, 0, reinterpret_cast<LPARAM>(job->received));
    return 0;
}

// Seconds for `count` hand-overs, or 0 when the clock could not tell.
double SendMessageRoundTrips(long count) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = PingProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QuilletHttpBenchPing";
    ::RegisterClassW(&wc);
    HWND window = ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    wc.hInstance, nullptr);
    if (!window) return 0;
    long received = 0;
    PingJob job{window, count, &received};
    const double t0 = Seconds();
    win::UniqueHandle sender(::CreateThread(nullptr, 0, PingSender, &job, 0, nullptr));
    if (!sender) {
        ::DestroyWindow(window);
        return 0;
    }
    HANDLE done = sender.get();
    while (::MsgWaitForMultipleObjects(1, &done, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    const double t = Seconds() - t0;
    ::DestroyWindow(window);
    return received == count ? t : 0;
}

double Mbps(uint64_t bytes, double seconds) { return static_cast<double>(bytes) / seconds / 1e6; }

std::string Figure(double mbps) {
    if (!(mbps > 0)) return "below noise";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB/s", mbps);
    return text;
}

std::string Ratio(double over, double under) {
    if (!(over > 0) || !(under > 0)) return "below noise";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", over / under);
    return text;
}

// A failed run or a short file ends the benchmark: a figure for a body that
// did not arrive whole says nothing.
bool Checked(const char* what, int round, uint64_t expected, const std::wstring& path, Run& run) {
    const uint64_t onDisk = SizeOnDisk(path);
    ::DeleteFileW(path.c_str());
    if (run.error.empty() && onDisk != expected)
        run.error = "the file holds " + std::to_string(onDisk) + " bytes, not " + std::to_string(expected);
    if (run.error.empty()) return true;
    std::printf("ERROR: %s, run %d: %s\n", what, round + 1, run.error.c_str());
    return false;
}

void KeepBest(Run& best, const Run& run) {
    if (run.seconds > 0 && (best.seconds <= 0 || run.seconds < best.seconds)) best = run;
    if (best.seconds <= 0) best.calls = run.calls;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: http_bench URL BYTES CURL_BYTES_PER_SECOND OUTPUT_PATH [--where]\n");
        return 2;
    }
    const std::wstring url = argv[1];
    const uint64_t expected = std::wcstoull(argv[2], nullptr, 10);
    const double curlMbps = std::wcstod(argv[3], nullptr) / 1e6;
    const std::wstring path = argv[4];
    const bool where = argc > 5 && std::wstring(argv[5]) == L"--where";
    Target target;
    if (expected == 0 || !CrackUrl(url, target)) {
        std::fprintf(stderr, "http_bench: bad URL or size\n");
        return 2;
    }
    std::printf("http_bench: %llu bytes (%.0f MiB) from %s into a file, %s build (%d-bit), "
                "MB = 10^6 bytes, best of %d runs (taken in turns) for the bare loop and the component\n",
                static_cast<unsigned long long>(expected), static_cast<double>(expected) / (1 << 20),
                win::ToUtf8(url).c_str(), sizeof(void*) == 8 ? "x86_64" : "i686",
                static_cast<int>(sizeof(void*) * 8), kRuns);
    int status = 0;
    for (const int32_t size : kBufferSizes) {
        // The clients take turns within each round, so that a load coming
        // and going beside the benchmark falls on all of them alike.
        Run bare, component, silent;
        bool ok = true;
        for (int round = 0; ok && round < kRuns; ++round) {
            ::DeleteFileW(path.c_str());
            Run run = BareLoop(target, static_cast<DWORD>(size), path);
            ok = Checked("bare loop", round, expected, path, run);
            KeepBest(bare, run);
            if (ok) {
                run = ComponentRun(url, size, path, true);
                ok = Checked("component", round, expected, path, run);
                KeepBest(component, run);
            }
            if (ok && where) {
                run = ComponentRun(url, size, path, false);
                ok = Checked("component without OnProgress", round, expected, path, run);
                KeepBest(silent, run);
            }
        }
        if (!ok) {
            status = 1;
            break;
        }
        const double bareMbps = bare.seconds > 0 ? Mbps(expected, bare.seconds) : 0;
        const double compMbps = component.seconds > 0 ? Mbps(expected, component.seconds) : 0;
        std::printf("TransferBufferSize %d:\n", size);
        std::printf("  (a) bare WinINet loop:       %s (%ld reads)\n", Figure(bareMbps).c_str(), bare.calls);
        std::printf("  (b) TauCustomHTTP:           %s (%ld OnProgress calls)\n", Figure(compMbps).c_str(),
                    component.calls);
        std::printf("  (c) curl (native, one run):  %s\n", Figure(curlMbps).c_str());
        std::printf("  component / bare: %s   component / curl: %s\n", Ratio(compMbps, bareMbps).c_str(),
                    Ratio(compMbps, curlMbps).c_str());
        if (!where) continue;
        const double silentMbps = silent.seconds > 0 ? Mbps(expected, silent.seconds) : 0;
        std::printf("  where: component without OnProgress (no hand-over): %s, / bare %s\n",
                    Figure(silentMbps).c_str(), Ratio(silentMbps, bareMbps).c_str());
        const double extra = component.seconds - silent.seconds;
        if (silent.seconds > 0 && component.seconds > 0 && extra > 0 && component.calls > 0)
            std::printf("  where: hand-over cost in the component: %.1f us per chunk, %.3f s of %.3f s\n",
                        extra * 1e6 / component.calls, extra, component.seconds);
        else
            std::printf("  where: hand-over cost in the component: below noise\n");
        double ping = 0;
        for (int i = 0; i < kRuns; ++i) {
            const double t = SendMessageRoundTrips(component.calls);
            if (t > 0 && (ping <= 0 || t < ping)) ping = t;
        }
        if (ping > 0)
            std::printf("  where: bare cross-thread SendMessage x %ld: %.3f s, %.1f us each\n", component.calls,
                        ping, ping * 1e6 / component.calls);
        else
            std::printf("  where: bare cross-thread SendMessage: below noise\n");
    }
    ::DeleteFileW(path.c_str());
    return status;
}
