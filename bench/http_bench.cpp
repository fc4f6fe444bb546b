// Downloads one body into a file with TauCustomHTTP and with a bare WinINet
// loop in the same Wine process, for two transfer buffer sizes, and sets both
// against native curl, which the runner (bench/http-bench.sh) measures when
// asked between the other clients. With --where it also measures the
// component without OnProgress and a bare cross-thread SendMessage, to show
// what the per-chunk hand-over to the window thread costs.
//
// A single transfer of each swung by up to 2x from run to run on a shared
// machine, so each client runs once per round, round after round, and every
// ratio is taken within its round: a load that comes and goes then falls on
// both sides of a ratio alike. The median and the spread of the per-round
// figures are printed.
//
//   http_bench.exe URL_PREFIX OUTPUT_PATH ROUNDS BYTES_AT_4096 BYTES_AT_65536 [--curl] [--where]
//
// The byte count is appended to URL_PREFIX to name the body. With --curl the
// program writes "curl? BYTES" on standard output and reads curl's bytes per
// second from standard input.
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <iterator>
#include <string>
#include <vector>

#include "net/custom_http.h"
#include "net/internet_handle.h"
#include "net/url.h"
#include "win/handles.h"
#include "win/strings.h"

namespace {

// Fewer rounds leave no quartiles worth the name.
constexpr int kMinRounds = 5;
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

double Mbps(uint64_t bytes, double seconds) {
    return seconds > 0 ? static_cast<double>(bytes) / seconds / 1e6 : NAN;
}

// A failed run or a short file ends the benchmark: a figure for a body that
// did not arrive whole says nothing.
bool Checked(const char* what, int round, uint64_t expected, const std::wstring& path, Run& run) {
    const uint64_t onDisk = SizeOnDisk(path);
    ::DeleteFileW(path.c_str());
    if (run.error.empty() && onDisk != expected)
        run.error = "the file holds " + std::to_string(onDisk) + " bytes, not " + std::to_string(expected);
    if (run.error.empty()) return true;
    if (round < 0)
        std::printf("ERROR: %s, warm-up: %s\n", what, run.error.c_str());
    else
        std::printf("ERROR: %s, round %d: %s\n", what, round + 1, run.error.c_str());
    return false;
}

// Curl is a Linux program, which a Wine process cannot start, so the runner
// downloads with it when asked; that way curl takes its turn inside each
// round like the others. Bytes per second, or 0 with `error` set.
double CurlFromRunner(uint64_t bytes, std::string& error) {
    std::printf("curl? %llu\n", static_cast<unsigned long long>(bytes));
    std::fflush(stdout);
    char line[256];
    if (!std::fgets(line, sizeof line, stdin)) {
        error = "no curl figure from the runner";
        return 0;
    }
    char* end = nullptr;
    const double speed = std::strtod(line, &end);
    if (end == line || !(speed > 0)) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        error = "the runner's curl download failed: " + text;
        return 0;
    }
    return speed;
}

// The median and spread of one figure over the rounds that gave it.
struct Spread {
    size_t count = 0;
    double median = NAN, min = NAN, max = NAN, q1 = NAN, q3 = NAN;
};

// Linear between neighbouring order statistics, so that seven rounds give
// quartiles that move with every value rather than jumping between two.
double Quantile(const std::vector<double>& sorted, double p) {
    const double at = p * static_cast<double>(sorted.size() - 1);
    const size_t lo = static_cast<size_t>(at);
    const size_t hi = std::min(lo + 1, sorted.size() - 1);
    return sorted[lo] + (sorted[hi] - sorted[lo]) * (at - static_cast<double>(lo));
}

Spread Summarize(const std::vector<double>& perRound) {
    std::vector<double> v;
    for (const double x : perRound)
        if (std::isfinite(x)) v.push_back(x);
    Spread s;
    s.count = v.size();
    if (v.empty()) return s;
    std::sort(v.begin(), v.end());
    s.min = v.front();
    s.max = v.back();
    s.median = Quantile(v, 0.5);
    s.q1 = Quantile(v, 0.25);
    s.q3 = Quantile(v, 0.75);
    return s;
}

std::string Number(double value, int decimals) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// A difference whose median is at or below zero is noise, not a figure; its
// spread is still shown, since that is what says how noisy it was.
void PrintFigure(const char* label, const std::vector<double>& perRound, int decimals, const char* unit,
                 bool differenceOfTimes = false) {
    const Spread s = Summarize(perRound);
    std::printf("  %-50s", label);
    if (s.count == 0) {
        std::printf("below noise\n");
        return;
    }
    std::string median = Number(s.median, decimals) + unit;
    if (differenceOfTimes && !(s.median > 0)) median = "below noise";
    std::printf("%-14s [min..max %s..%s, IQR %s..%s]", median.c_str(), Number(s.min, decimals).c_str(),
                Number(s.max, decimals).c_str(), Number(s.q1, decimals).c_str(), Number(s.q3, decimals).c_str());
    if (s.count < perRound.size()) std::printf(" (%zu of %zu rounds)", s.count, perRound.size());
    std::printf("\n");
}

std::string Calls(const std::vector<long>& perRound) {
    const auto [lo, hi] = std::minmax_element(perRound.begin(), perRound.end());
    return *lo == *hi ? std::to_string(*lo) : std::to_string(*lo) + ".." + std::to_string(*hi);
}

enum class Step { kBare, kComponent, kSilent, kPing, kCurl };

struct Round {
    Run bare, component, silent;
    double pingSeconds = 0;
    double curlBytesPerSecond = 0;
};

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: http_bench URL_PREFIX OUTPUT_PATH ROUNDS BYTES_AT_4096 BYTES_AT_65536 "
                             "[--curl] [--where]\n");
        return 2;
    }
    const std::wstring prefix = argv[1];
    const std::wstring path = argv[2];
    const long roundCount = std::wcstol(argv[3], nullptr, 10);
    const uint64_t bytesAt[] = {std::wcstoull(argv[4], nullptr, 10), std::wcstoull(argv[5], nullptr, 10)};
    bool curl = false, where = false;
    for (int i = 6; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--curl") curl = true;
        else if (arg == L"--where") where = true;
        else {
            std::fprintf(stderr, "http_bench: unknown option %s\n", win::ToUtf8(arg).c_str());
            return 2;
        }
    }
    if (roundCount < kMinRounds) {
        std::fprintf(stderr, "http_bench: at least %d rounds, not %ld\n", kMinRounds, roundCount);
        return 2;
    }
    Target target;
    if (bytesAt[0] == 0 || bytesAt[1] == 0 || !CrackUrl(prefix + std::to_wstring(bytesAt[0]), target)) {
        std::fprintf(stderr, "http_bench: bad URL or size\n");
        return 2;
    }
    std::printf("http_bench: %s build (%d-bit) into a file, MB = 10^6 bytes, %ld rounds per buffer size; "
                "each round runs every client once, starting one client further on than the round "
                "before, and each ratio is taken within its round\n",
                sizeof(void*) == 8 ? "x86_64" : "i686", static_cast<int>(sizeof(void*) * 8), roundCount);
    std::fflush(stdout);

    // The first transfer in a process loads and sets up WinINet, and the first
    // window its class; done here, unmeasured, round 1 is like the others.
    {
        const uint64_t warmBytes = std::min<uint64_t>(bytesAt[0], 1 << 20);
        const std::wstring warmUrl = prefix + std::to_wstring(warmBytes);
        Target warmTarget;
        CrackUrl(warmUrl, warmTarget);
        Run run = BareLoop(warmTarget, 65536, path);
        if (!Checked("bare loop", -1, warmBytes, path, run)) return 1;
        run = ComponentRun(warmUrl, 65536, path, true);
        if (!Checked("component", -1, warmBytes, path, run)) return 1;
        if (where) SendMessageRoundTrips(64);
    }

    for (size_t which = 0; which < std::size(kBufferSizes); ++which) {
        const int32_t size = kBufferSizes[which];
        const uint64_t bytes = bytesAt[which];
        const std::wstring url = prefix + std::to_wstring(bytes);
        CrackUrl(url, target);
        const long chunks = static_cast<long>((bytes + size - 1) / size);
        std::vector<Step> steps = {Step::kBare, Step::kComponent};
        if (where) {
            steps.push_back(Step::kSilent);
            steps.push_back(Step::kPing);
        }
        if (curl) steps.push_back(Step::kCurl);

        std::printf("TransferBufferSize %d, %llu bytes (%.0f MiB) per transfer from %s:\n", size,
                    static_cast<unsigned long long>(bytes), static_cast<double>(bytes) / (1 << 20),
                    win::ToUtf8(url).c_str());
        std::fflush(stdout);
        std::vector<Round> rounds(static_cast<size_t>(roundCount));
        for (long r = 0; r < roundCount; ++r) {
            Round& round = rounds[static_cast<size_t>(r)];
            const int n = static_cast<int>(r);
            for (size_t j = 0; j < steps.size(); ++j) {
                // Whatever one client leaves behind (pages still being written
                // out, a worker winding down) falls on each of the others in turn.
                switch (steps[(static_cast<size_t>(r) + j) % steps.size()]) {
                case Step::kBare:
                    ::DeleteFileW(path.c_str());
                    round.bare = BareLoop(target, static_cast<DWORD>(size), path);
                    if (!Checked("bare loop", n, bytes, path, round.bare)) return 1;
                    break;
                case Step::kComponent:
                    round.component = ComponentRun(url, size, path, true);
                    if (!Checked("component", n, bytes, path, round.component)) return 1;
                    break;
                case Step::kSilent:
                    round.silent = ComponentRun(url, size, path, false);
                    if (!Checked("component without OnProgress", n, bytes, path, round.silent)) return 1;
                    break;
                case Step::kPing:
                    round.pingSeconds = SendMessageRoundTrips(chunks);
                    break;
                case Step::kCurl: {
                    std::string error;
                    round.curlBytesPerSecond = CurlFromRunner(bytes, error);
                    if (!error.empty()) {
                        std::printf("ERROR: curl, round %d: %s\n", n + 1, error.c_str());
                        return 1;
                    }
                    break;
                }
                }
            }
            std::printf("  round %ld: bare %.1f, component %.1f", r + 1, Mbps(bytes, round.bare.seconds),
                        Mbps(bytes, round.component.seconds));
            if (where) std::printf(", without OnProgress %.1f", Mbps(bytes, round.silent.seconds));
            if (curl) std::printf(", curl %.1f", round.curlBytesPerSecond / 1e6);
            std::printf(" MB/s");
            if (where) std::printf("; SendMessage %.1f us each", round.pingSeconds * 1e6 / chunks);
            std::printf("\n");
            std::fflush(stdout);
        }

        std::vector<double> bare, component, silent, curlMbps, compOverBare, compOverCurl, silentOverBare,
            handOverUs, handOverShare, pingUs, handOverOverPing;
        std::vector<long> reads, progressCalls;
        for (const Round& round : rounds) {
            const double b = Mbps(bytes, round.bare.seconds);
            const double c = Mbps(bytes, round.component.seconds);
            const double s = Mbps(bytes, round.silent.seconds);
            const double k = round.curlBytesPerSecond > 0 ? round.curlBytesPerSecond / 1e6 : NAN;
            bare.push_back(b);
            component.push_back(c);
            silent.push_back(s);
            curlMbps.push_back(k);
            compOverBare.push_back(c / b);
            compOverCurl.push_back(c / k);
            silentOverBare.push_back(s / b);
            reads.push_back(round.bare.calls);
            progressCalls.push_back(round.component.calls);
            // The component with OnProgress against itself without: what
            // handing each chunk to the window thread adds, per chunk.
            const bool both = round.component.seconds > 0 && round.silent.seconds > 0 && round.component.calls > 0;
            const double extra = both ? round.component.seconds - round.silent.seconds : NAN;
            handOverUs.push_back(extra * 1e6 / round.component.calls);
            handOverShare.push_back(extra / round.component.seconds);
            const double ping = round.pingSeconds > 0 ? round.pingSeconds * 1e6 / chunks : NAN;
            pingUs.push_back(ping);
            handOverOverPing.push_back(extra * 1e6 / round.component.calls / ping);
        }
        std::printf("  each figure: median of the rounds [min..max, interquartile range of the per-round "
                    "figures]\n");
        PrintFigure(("(a) bare WinINet loop (" + Calls(reads) + " reads):").c_str(), bare, 1, " MB/s");
        PrintFigure(("(b) TauCustomHTTP (" + Calls(progressCalls) + " OnProgress calls):").c_str(), component, 1,
                    " MB/s");
        if (curl) PrintFigure("(c) curl (native):", curlMbps, 1, " MB/s");
        PrintFigure("component / bare:", compOverBare, 3, "");
        if (curl) PrintFigure("component / curl:", compOverCurl, 3, "");
        if (!where) continue;
        PrintFigure("where: component without OnProgress:", silent, 1, " MB/s");
        PrintFigure("where: without OnProgress / bare:", silentOverBare, 3, "");
        PrintFigure("where: hand-over cost per chunk:", handOverUs, 1, " us", true);
        PrintFigure("where: hand-over share of component time:", handOverShare, 3, "", true);
        PrintFigure(("where: bare cross-thread SendMessage (x " + std::to_string(chunks) + "):").c_str(), pingUs,
                    1, " us");
        PrintFigure("where: hand-over / bare SendMessage:", handOverOverPing, 3, "", true);
        std::fflush(stdout);
    }
    ::DeleteFileW(path.c_str());
    return 0;
}
