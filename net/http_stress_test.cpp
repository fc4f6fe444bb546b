// Aborts at every moment of a transfer, many times over: each transfer ends
// with exactly one event, no worker has to be ended by force, and nothing
// the aborted transfers held stays behind.
#include <cstdio>
#include <random>

#include "net/http_test_support.h"
#include "net/transfer_run.h"

namespace au::testing {
namespace {

using AuHttpStress = HttpTest;

bool IsEnding(const std::string& event) {
    return event == "Done" || event == "ConnLost" || event == "HostUnreachable" || event == "HTTPError" ||
           event == "DoneInterrupted" || event == "Aborted" || event == "WaitTimeoutExpired";
}

void PrintFootprint(const char* what, const Footprint& f) {
    std::printf("%-22s handles %lu, threads %lu, private KiB %zu, live runs %zu\n", what,
                static_cast<unsigned long>(f.handles), static_cast<unsigned long>(f.threads), f.privateBytes / 1024,
                LiveTransferRuns());
}

// No worker ended by force, no run still registered, and the process's
// handles (give or take `handleSlack`), threads and memory as they were.
void ExpectNothingLeft(const Footprint& before, const Footprint& after, int forcedBefore, DWORD handleSlack) {
    EXPECT_EQ(ForcedThreadEnds(), forcedBefore) << "no worker ended by force";
    EXPECT_EQ(LiveTransferRuns(), 0u);
    EXPECT_LE(after.handles, before.handles + handleSlack);
    EXPECT_LE(after.threads, before.threads + 2);
    EXPECT_LE(after.privateBytes, before.privateBytes + 8 * 1024 * 1024);
}

TEST_F(AuHttpStress, TwoThousandTransfersAbortedAtRandomMomentsEndOnceEachAndLeaveNothing) {
    AU_REQUIRE_TEST_SERVER();
    TempPath out(L"au-stress.bin");
    // Five 4096-byte reads with a pause between, so that an abort lands in
    // the middle of the body as often as between reads.
    const std::wstring url = Url(L"size=20000&chunk=4096&drip=1");
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(Fetch(url));
    PumpFor(300);
    const Footprint before = Measure();
    const int forcedBefore = ForcedThreadEnds();

    enum Moment { kBeforeConnecting, kInHeaders, kMidBody, kInCompletion, kCount };
    std::mt19937 random(20261209);
    int current = -1;
    Moment moment = kBeforeConnecting;
    std::vector<int> endings;
    int moments[kCount] = {};
    http->OnHeaderInfo = [&](TauCustomHTTP* sender, const std::wstring&, const std::wstring&, const std::wstring&,
                             const std::wstring&, const std::wstring&, uint32_t, DateTime, DateTime, DateTime,
                             bool&) {
        if (moment == kInHeaders) sender->Abort();
    };
    int progressToGo = 0;
    onProgress = [&](TauCustomHTTP* sender, Stream*) {
        if (moment == kMidBody && --progressToGo <= 0) sender->Abort();
    };
    onDone = [&](TauCustomHTTP* sender) {
        if (moment == kInCompletion) sender->Abort();
    };
    const auto noteEnding = [&](const std::string& name) {
        if (IsEnding(name) && current >= 0) ++endings[current];
    };
    const auto done = http->OnDone;
    http->OnDone = [&, done](TauCustomHTTP* s, const std::wstring& t, uint32_t n, Stream* st) {
        noteEnding("Done");
        done(s, t, n, st);
    };
    http->OnAborted = [&](TauCustomHTTP*) { noteEnding("Aborted"); };
    http->OnConnLost = [&](TauCustomHTTP*, const std::wstring&, uint32_t, uint32_t, Stream*) { noteEnding("ConnLost"); };
    http->OnHTTPError = [&](TauCustomHTTP*, int32_t, Stream*) { noteEnding("HTTPError"); };
    http->OnHostUnreachable = [&](TauCustomHTTP*) { noteEnding("HostUnreachable"); };
    http->OnDoneInterrupted = [&](TauCustomHTTP*) { noteEnding("DoneInterrupted"); };

    const int kTransfers = 2000;
    const DWORD start = ::GetTickCount();
    for (int i = 0; i < kTransfers; ++i) {
        endings.push_back(0);
        current = i;
        moment = static_cast<Moment>(random() % kCount);
        ++moments[moment];
        progressToGo = 1 + static_cast<int>(random() % 4);
        http->SetOutputFileName(i % 2 ? out.Path() : L"");
        http->SetURL(url);
        ASSERT_TRUE(http->Read()) << "transfer " << i;
        if (moment == kBeforeConnecting) http->Abort();
        // An aborted run leaves a fresh, unstarted worker behind: Busy tells.
        ASSERT_TRUE(PumpUntil([&] { return endings[i] > 0 && !http->Busy(); }))
            << "transfer " << i << " hangs at moment " << moment << " with " << endings[i] << " endings, busy "
            << http->Busy();
    }
    current = -1;
    // The library reports the last handles closing on its own thread.
    PumpUntil([] { return LiveTransferRuns() == 0; }, 5000);
    PumpFor(300);
    const Footprint after = Measure();
    std::printf("%d transfers in %lu ms; moments: before connecting %d, in headers %d, mid-body %d, in completion %d\n",
                kTransfers, ::GetTickCount() - start, moments[0], moments[1], moments[2], moments[3]);
    PrintFootprint("before", before);
    PrintFootprint("after", after);
    for (int i = 0; i < kTransfers; ++i) EXPECT_EQ(endings[i], 1) << "transfer " << i;
    ExpectNothingLeft(before, after, forcedBefore, 10);
}

TEST_F(AuHttpStress, AbortOfAStalledReadReturnsAtOnceAndItsLeftoversGoWhenTheServerCloses) {
    AU_REQUIRE_TEST_SERVER();
    // The first 50,000 bytes at once, then nothing for four seconds.
    const std::wstring stalled = Url(L"size=100000&chunk=50000&drip=4000");
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(Fetch(Url(L"size=2000")));
    // One stalled read aborted first: the library sets up what it keeps
    // for the process (its pool of threads and timers) the first time.
    http->SetURL(stalled);
    ASSERT_TRUE(http->Read());
    ASSERT_TRUE(PumpUntil([&] { return lastProgress.read >= 49152; }));
    http->Abort();
    lastProgress = {};
    PumpUntil([] { return LiveTransferRuns() == 0; }, 10000);
    PumpFor(6000);
    const Footprint before = Measure();
    const int forcedBefore = ForcedThreadEnds();

    int aborted = 0;
    http->OnAborted = [&](TauCustomHTTP*) { ++aborted; };
    const int kRounds = 20;
    DWORD slowest = 0;
    for (int i = 0; i < kRounds; ++i) {
        http->SetURL(stalled);
        ASSERT_TRUE(http->Read());
        // Reads fill the whole buffer: the last one before the pause ends at 48 KiB.
        ASSERT_TRUE(PumpUntil([&] { return lastProgress.read >= 49152; })) << "round " << i;
        // The worker is now inside a read the server will not answer.
        PumpFor(150);
        ASSERT_TRUE(http->Busy());
        const DWORD begin = ::GetTickCount();
        http->Abort();
        const DWORD took = ::GetTickCount() - begin;
        slowest = std::max(slowest, took);
        EXPECT_LT(took, 100u) << "round " << i;
        EXPECT_FALSE(http->Busy());
        EXPECT_EQ(aborted, i + 1);
        lastProgress = {};
    }
    const Footprint rightAfter = Measure();
    const size_t runsRightAfter = LiveTransferRuns();
    // The server writes again after its pause and finds the connection
    // gone; the library's pending reads end with that.
    PumpUntil([] { return LiveTransferRuns() == 0; }, 10000);
    // Its pool's idle threads leave a few seconds after their last task.
    PumpFor(6000);
    const Footprint closed = Measure();
    std::printf("slowest abort %lu ms; runs still held right after %zu\n", slowest, runsRightAfter);
    PrintFootprint("before", before);
    PrintFootprint("right after the aborts", rightAfter);
    PrintFootprint("after the server closed", closed);
    // The library keeps a few handles for the process once it has had
    // many reads pending at once (about 17 after 20, 21 after 40 rounds
    // here); what a transfer holds would grow with the rounds.
    ExpectNothingLeft(before, closed, forcedBefore, 30);
}

TEST_F(AuHttpStress, TransferStartedFromDoneWhileAnAbortRacesItCompletes) {
    AU_REQUIRE_TEST_SERVER();
    const std::wstring url = Url(L"size=3000");
    int rounds = 0;
    const int kRounds = 50;
    // Each completion aborts while its own worker is still handing over,
    // then starts a transfer and aborts that one from the same hand-over,
    // then starts the one that must complete.
    onDone = [&](TauCustomHTTP* sender) {
        if (++rounds >= kRounds) return;
        sender->Abort();
        ASSERT_TRUE(sender->Read());
        sender->Abort();
        ASSERT_TRUE(sender->Read());
    };
    ASSERT_TRUE(Fetch(url, 60000));
    ASSERT_TRUE(PumpUntil([&] { return rounds == kRounds && Completed(); }, 60000));
    const Strings all = Events();
    EXPECT_EQ(std::count(all.begin(), all.end(), "Done"), kRounds);
    EXPECT_EQ(std::count(all.begin(), all.end(), "Aborted"), kRounds - 1);
    EXPECT_EQ(std::count(all.begin(), all.end(), "AnyError"), 0);
    EXPECT_EQ(body.bytes, PatternBytes(0, 3000));
}

} // namespace
} // namespace au::testing
