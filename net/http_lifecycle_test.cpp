// A transfer's life: busy, chained from its completion, aborted, timed out,
// destroyed while running, and fed garbage by the network; and that long
// runs of transfers leave nothing behind.
#include "net/http_test_support.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>

namespace au::testing {
namespace {

using Strings = std::vector<std::string>;
using AuHttpLifecycle = HttpTest;

TEST_F(AuHttpLifecycle, ReadWhileBusyIsRefusedAndChangesNothing) {
    AU_REQUIRE_TEST_SERVER();
    bool refused = false;
    onProgress = [&](TauCustomHTTP* sender, Stream*) {
        if (refused) return;
        sender->SetURL(Url(L"body=other"));
        EXPECT_FALSE(sender->Read());
        EXPECT_FALSE(sender->Upload(1));
        refused = true;
    };
    http->SetURL(Url(L"size=2000&chunk=500&drip=100"));
    ASSERT_TRUE(http->Read());
    EXPECT_TRUE(http->Busy()) << "busy from the moment Read returns";
    EXPECT_FALSE(http->Read());
    ASSERT_TRUE(PumpUntil([this] { return Completed(); }));
    EXPECT_TRUE(refused);
    EXPECT_EQ(Events(), (Strings{"HeaderInfo", "Progress", "Done"}));
    EXPECT_EQ(body.bytes, PatternBytes(0, 2000));
    EXPECT_EQ(RequestCount(tag), 1);
}

TEST_F(AuHttpLifecycle, DoneCanStartTheNextTransfer) {
    AU_REQUIRE_TEST_SERVER();
    std::vector<std::string> bodies;
    int started = 0;
    onDone = [&](TauCustomHTTP* sender) {
        bodies.push_back(body.bytes);
        if (++started < 3) {
            sender->SetURL(Url(L"body=part" + std::to_wstring(started)));
            EXPECT_FALSE(sender->Busy()) << "busy turns false before the completion events";
            EXPECT_TRUE(sender->Read());
        }
    };
    ASSERT_TRUE(Fetch(Url(L"body=part0")));
    ASSERT_TRUE(PumpUntil([&] { return bodies.size() == 3 && Completed(); }));
    PumpFor(200);
    EXPECT_EQ(bodies, (Strings{"part0", "part1", "part2"}));
    EXPECT_EQ(Events(), (Strings{"HeaderInfo", "Progress", "Done", "HeaderInfo", "Progress", "Done", "HeaderInfo",
                                 "Progress", "Done"}));
}

TEST_F(AuHttpLifecycle, AbortMidDownloadFiresOnlyAbortedAndKeepsThePartialFile) {
    AU_REQUIRE_TEST_SERVER();
    TempPath out(L"au-aborted.bin");
    http->SetOutputFileName(out.Path());
    onProgress = [&](TauCustomHTTP* sender, Stream*) {
        if (lastProgress.read >= 3000) sender->Abort();
    };
    http->SetURL(Url(L"size=100000&chunk=1000&drip=20"));
    ASSERT_TRUE(http->Read());
    ASSERT_TRUE(PumpUntil([this] { return !http->Busy(); }));
    PumpFor(500);
    EXPECT_EQ(Events(), (Strings{"HeaderInfo", "Progress", "Aborted"}));
    ASSERT_TRUE(out.Exists());
    const std::string partial = out.Read();  // readable: the component closed it
    EXPECT_GE(partial.size(), 3000u);
    EXPECT_LT(partial.size(), 100000u);
    EXPECT_EQ(partial, PatternBytes(0, partial.size()));

    // From outside any event, while the worker waits on the network.
    events.clear();
    onProgress = nullptr;
    http->SetURL(Url(L"size=100000&chunk=1000&drip=50"));
    ASSERT_TRUE(http->Read());
    PumpFor(300);
    http->Abort();
    PumpFor(300);
    EXPECT_FALSE(http->Busy());
    EXPECT_EQ(events.back(), "Aborted");
    EXPECT_EQ(std::count(events.begin(), events.end(), "Done"), 0);

    events.clear();
    http->SetOutputFileName(L"");
    ASSERT_TRUE(Fetch(Url(L"body=after")));
    EXPECT_EQ(Events(), (Strings{"HeaderInfo", "Progress", "Done"}));
    EXPECT_EQ(body.bytes, "after");
}

TEST_F(AuHttpLifecycle, WaitThreadBlocksAndItsTimeoutEndsTheRun) {
    AU_REQUIRE_TEST_SERVER();
    http->SetWaitThread(true);
    http->SetURL(Url(L"body=waited"));
    EXPECT_TRUE(http->Read());
    EXPECT_FALSE(http->Busy());
    EXPECT_EQ(Events(), (Strings{"HeaderInfo", "Progress", "Done"})) << "all events ran inside Read";

    events.clear();
    http->SetWaitTimeout(500);
    http->SetURL(Url(L"hang=1"));
    const DWORD start = ::GetTickCount();
    EXPECT_FALSE(http->Read());
    EXPECT_LT(::GetTickCount() - start, 5000u);
    PumpFor(300);
    EXPECT_EQ(Events(), (Strings{"WaitTimeoutExpired"}));
}

TEST_F(AuHttpLifecycle, DestroyingARunningTransferFiresNothing) {
    AU_REQUIRE_TEST_SERVER();
    http->SetURL(Url(L"size=50000&chunk=1000&drip=20"));
    ASSERT_TRUE(http->Read());
    PumpFor(200);
    http.reset();
    PumpFor(300);
    EXPECT_EQ(std::count(events.begin(), events.end(), "Done"), 0);
    EXPECT_EQ(std::count(events.begin(), events.end(), "Aborted"), 0);
    EXPECT_EQ(std::count(events.begin(), events.end(), "AnyError"), 0);
}

TEST_F(AuHttpLifecycle, FreeOnTerminateDeletesTheComponentAfterItsEvents) {
    AU_REQUIRE_TEST_SERVER();
    auto* own = new TauCustomHTTP();
    bool done = false;
    own->OnDone = [&](TauCustomHTTP*, const std::wstring&, uint32_t, Stream*) { done = true; };
    own->SetFreeOnTerminate(true);
    own->SetURL(Url(L"body=x"));
    ASSERT_TRUE(own->Read());
    ASSERT_TRUE(PumpUntil([&] { return done; }));
    PumpFor(300);  // the worker ends after the component has gone
}

TEST_F(AuHttpLifecycle, GarbageFromTheNetworkEndsInTheFailureEvents) {
    AU_REQUIRE_TEST_SERVER();
    http->Timeouts().SetReceiveTimeout(1500);
    const struct {
        const wchar_t* query;
        const char* what;
    } cases[] = {
        {L"raw=Z2FyYmFnZSBsaW5lDQoNCg==", "a status line of garbage"},
        {L"raw=SFRUUC8xLjEgMjAwIE9LDQpDb250ZW50LUxlbmd0aDogbWFueQ0KDQpib2R5", "a Content-Length of letters"},
        {L"bigheader=4000000&body=x", "megabytes of headers"},
        {L"loop=1", "a redirect loop"},
        {L"hang=1", "a server that never answers"},
        {L"size=1000&cut=10&length=1000", "a body cut short"},
    };
    for (const auto& c : cases) {
        events.clear();
        ASSERT_TRUE(Fetch(Url(c.query), 60000)) << c.what << ": no completion";
        ASSERT_FALSE(events.empty()) << c.what;
        std::string all;
        for (auto& e : events) all += e + " ";
        std::printf("%-28s -> %s(status %d)\n", c.what, all.c_str(), http->HTTPErrorCode);
        if (std::string(c.what) == "a redirect loop") {
            EXPECT_EQ(events.back(), "HTTPError");
        }
        if (events.back() == "Done") {
            EXPECT_NE(std::string(c.what), "a body cut short");
            EXPECT_NE(std::string(c.what), "a server that never answers");
        }
    }
    events.clear();
    ASSERT_TRUE(Fetch(Url(L"body=fine")));
    EXPECT_EQ(Events(), (Strings{"HeaderInfo", "Progress", "Done"}));
}

TEST_F(AuHttpLifecycle, ThousandChainedTransfersAndHundredAbortsLeaveNothingBehind) {
    AU_REQUIRE_TEST_SERVER();
    const std::wstring url = Url(L"size=2000");
    // Warm up the library's caches and the thread window first.
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(Fetch(url));
    PumpFor(200);
    const Footprint before = Measure();

    int done = 0, failed = 0;
    const int kChained = 1000;
    onDone = [&](TauCustomHTTP* sender) {
        if (body.bytes.size() != 2000) ++failed;
        if (++done < kChained) sender->Read();
    };
    http->OnAnyError = [&](TauCustomHTTP*) { ++failed; };
    events.clear();
    http->SetURL(url);
    ASSERT_TRUE(http->Read());
    ASSERT_TRUE(PumpUntil([&] { return (done == kChained || failed) && Completed(); }, 300000));
    EXPECT_EQ(done, kChained);
    EXPECT_EQ(failed, 0);
    PumpFor(300);
    const Footprint chained = Measure();

    onDone = nullptr;
    int aborted = 0, progressed = 0;
    http->OnAborted = [&](TauCustomHTTP*) { ++aborted; };
    onProgress = [&](TauCustomHTTP* sender, Stream*) {
        ++progressed;
        sender->Abort();
    };
    http->SetURL(Url(L"size=400000&chunk=4096&drip=5"));
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(http->Read());
        ASSERT_TRUE(PumpUntil([&] { return aborted == i + 1; })) << "abort " << i;
    }
    PumpFor(500);
    const Footprint after = Measure();
    EXPECT_EQ(aborted, 100);
    EXPECT_EQ(done, kChained) << "no completion after an abort";

    std::printf("handles %lu -> %lu -> %lu, threads %lu -> %lu -> %lu, private KiB %zu -> %zu -> %zu\n",
                before.handles, chained.handles, after.handles, before.threads, chained.threads, after.threads,
                before.privateBytes / 1024, chained.privateBytes / 1024, after.privateBytes / 1024);
    EXPECT_LE(chained.handles, before.handles + 10);
    EXPECT_LE(after.handles, before.handles + 10);
    EXPECT_LE(after.threads, before.threads + 2);
    EXPECT_LE(after.privateBytes, before.privateBytes + 8 * 1024 * 1024);
}

} // namespace
} // namespace au::testing
