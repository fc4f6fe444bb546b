#include "net/auThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <stdexcept>
#include <string>
#include <vector>

#include "win/window.h"

namespace {

// Processes messages until `done` holds or the limit passes; tests never hang.
template <typename Pred>
bool PumpUntil(Pred done, DWORD limitMs = 5000) {
    DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start > limitMs) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        win::Application::ProcessMessages();
    }
    return true;
}

TEST(AuThreadNotify, ExecuteOnWorkerTerminateOnWindowThread) {
    au::TauCustomThread thread;
    DWORD me = ::GetCurrentThreadId();
    std::atomic<DWORD> executeOn{0}, terminateOn{0};
    au::TauCustomThread* sender = nullptr;
    thread.SetOnExecute([&](au::TauCustomThread* s) { executeOn = ::GetCurrentThreadId(); sender = s; });
    thread.SetOnTerminate([&](au::TauCustomThread*) { terminateOn = ::GetCurrentThreadId(); });
    EXPECT_TRUE(thread.Execute());
    ASSERT_TRUE(PumpUntil([&] { return terminateOn != 0; }));
    EXPECT_NE(executeOn.load(), me);
    EXPECT_EQ(terminateOn.load(), me);
    EXPECT_EQ(sender, &thread);
}

TEST(AuThreadNotify, RunningIsFalseDuringTerminate) {
    au::TauCustomThread thread;
    std::atomic<int> seen{-1};
    thread.SetOnTerminate([&](au::TauCustomThread* s) { seen = s->Running() ? 1 : 0; });
    thread.Execute();
    ASSERT_TRUE(PumpUntil([&] { return seen != -1; }));
    EXPECT_EQ(seen.load(), 0);
}

TEST(AuThreadNotify, RunningFromTheMomentExecuteReturns) {
    au::TauCustomThread thread;
    std::atomic<bool> go{false}, ended{false};
    thread.SetOnExecute([&](au::TauCustomThread*) {
        while (!go) ::Sleep(1);
    });
    thread.SetOnTerminate([&](au::TauCustomThread*) { ended = true; });
    ASSERT_TRUE(thread.Execute());
    EXPECT_TRUE(thread.Running());
    go = true;
    ASSERT_TRUE(PumpUntil([&] { return ended.load(); }));
}

TEST(AuThreadNotify, DiscardLetsAWorkerReturnWithoutItsNotifications) {
    au::TauCustomThread thread;
    std::atomic<bool> stop{false};
    std::atomic<int> handed{0}, terminated{0};
    thread.SetOnExecute([&](au::TauCustomThread* s) {
        while (!stop) ::Sleep(1);
        s->Synchronize([&] { ++handed; });
    });
    thread.SetOnTerminate([&](au::TauCustomThread*) { ++terminated; });
    ASSERT_TRUE(thread.Execute());
    std::thread releaser([&] {
        ::Sleep(50);
        stop = true;
    });
    const DWORD start = ::GetTickCount();
    thread.Discard(5000);
    releaser.join();
    EXPECT_LT(::GetTickCount() - start, 4000u) << "returned by itself, not ended at the grace's end";
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(handed.load(), 0);
    EXPECT_EQ(terminated.load(), 0);
    EXPECT_FALSE(thread.Running());
}

TEST(AuThreadNotify, NextRunLetsAFinishedWorkerLeaveByItself) {
    // A run whose notifications are over has only its own exit left; ending
    // it from outside there can leave a lock of the process held for good.
    au::TauCustomThread thread;
    std::atomic<int> ended{0};
    thread.SetOnExecute([](au::TauCustomThread* s) { s->SetReturnValue(7); });
    thread.SetOnTerminate([&](au::TauCustomThread*) { ++ended; });
    const int runs = 200;
    int byItself = 0;
    ASSERT_TRUE(thread.Execute());
    for (int run = 1; run <= runs; ++run) {
        HANDLE duplicate = nullptr;
        ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), thread.Handle(), ::GetCurrentProcess(), &duplicate,
                                      SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, 0));
        const win::UniqueHandle previous(duplicate);
        ASSERT_TRUE(PumpUntil([&] { return ended == run; }));
        // The next run starts at once, as a caller does after the last event.
        ASSERT_TRUE(thread.Execute());
        ASSERT_EQ(::WaitForSingleObject(previous.get(), 5000), WAIT_OBJECT_0);
        DWORD code = 0;
        ::GetExitCodeThread(previous.get(), &code);
        if (code == 7) ++byItself;
    }
    ASSERT_TRUE(PumpUntil([&] { return ended == runs + 1; }));
    EXPECT_EQ(byItself, runs) << "every finished worker ended by itself, none was ended from outside";
}

TEST(AuThreadNotify, ExecuteFromTerminateStartsSecondRun) {
    au::TauCustomThread thread;
    std::atomic<int> executes{0}, terminates{0};
    std::vector<DWORD> workers;
    win::UniqueHandle first;
    thread.SetOnExecute([&](au::TauCustomThread*) { ++executes; });
    thread.SetOnTerminate([&](au::TauCustomThread* s) {
        workers.push_back(s->ThreadID());
        if (++terminates == 1) {
            first.reset(::OpenThread(SYNCHRONIZE, FALSE, s->ThreadID()));
            EXPECT_TRUE(s->Execute());
        }
    });
    thread.Execute();
    ASSERT_TRUE(PumpUntil([&] { return terminates == 2; }));
    ASSERT_TRUE(first);
    EXPECT_TRUE(PumpUntil([&] { return ::WaitForSingleObject(first.get(), 0) == WAIT_OBJECT_0; }));
    ASSERT_EQ(workers.size(), 2u);
    EXPECT_NE(workers[0], workers[1]);
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(executes.load(), 2);
    EXPECT_EQ(terminates.load(), 2);
}

TEST(AuThreadWait, WithoutTimeoutReturnsAfterTerminate) {
    au::TauCustomThread thread;
    std::atomic<bool> terminated{false};
    thread.SetWaitThread(true);
    thread.SetOnExecute([](au::TauCustomThread*) { ::Sleep(100); });
    thread.SetOnTerminate([&](au::TauCustomThread*) { terminated = true; });
    EXPECT_TRUE(thread.Execute());
    EXPECT_TRUE(terminated);
}

TEST(AuThreadWait, TimeoutEndsRunWithoutTerminate) {
    au::TauCustomThread thread;
    win::UniqueHandle never(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<bool> started{false}, terminated{false}, expired{false};
    thread.SetWaitThread(true);
    thread.SetWaitTimeout(300);
    thread.SetOnExecute([&](au::TauCustomThread*) {
        started = true;
        ::WaitForSingleObject(never.get(), 10000);
    });
    thread.SetOnTerminate([&](au::TauCustomThread*) { terminated = true; });
    thread.SetOnWaitTimeoutExpired([&](au::TauCustomThread* s) { expired = s == &thread; });
    DWORD start = ::GetTickCount();
    EXPECT_FALSE(thread.Execute());
    EXPECT_LT(::GetTickCount() - start, 5000u);
    EXPECT_TRUE(started);
    EXPECT_TRUE(expired);
    EXPECT_FALSE(thread.Running());
    PumpUntil([] { return false; }, 300);
    EXPECT_FALSE(terminated);
}

TEST(AuThreadExceptions, HandledBecomesExceptionThenTerminate) {
    au::TauCustomThread thread;
    DWORD me = ::GetCurrentThreadId();
    std::vector<std::string> order;
    std::atomic<DWORD> exceptionOn{0};
    thread.SetOnExecute([](au::TauCustomThread*) { throw std::runtime_error("boom"); });
    thread.SetOnException([&](au::TauCustomThread*) { exceptionOn = ::GetCurrentThreadId(); order.push_back("exception"); });
    thread.SetOnTerminate([&](au::TauCustomThread*) { order.push_back("terminate"); });
    thread.Execute();
    ASSERT_TRUE(PumpUntil([&] { return order.size() == 2; }));
    EXPECT_EQ(order, (std::vector<std::string>{"exception", "terminate"}));
    EXPECT_EQ(exceptionOn.load(), me);
}

TEST(AuThreadExceptions, UnhandledStillFinishesRun) {
    au::TauCustomThread thread;
    thread.SetHandleExceptions(false);
    std::atomic<bool> exception{false}, terminated{false};
    thread.SetOnExecute([](au::TauCustomThread*) { throw std::runtime_error("boom"); });
    thread.SetOnException([&](au::TauCustomThread*) { exception = true; });
    thread.SetOnTerminate([&](au::TauCustomThread*) { terminated = true; });
    thread.Execute();
    ASSERT_TRUE(PumpUntil([&] { return terminated.load(); }));
    EXPECT_FALSE(exception);
}

TEST(AuThreadExceptions, SynchronizedCallRaisesOnWorkerOnlyWhenUnhandled) {
    for (bool handle : {true, false}) {
        au::TauCustomThread thread;
        thread.SetHandleExceptions(handle);
        std::atomic<DWORD> ranOn{0};
        std::atomic<bool> caught{false}, terminated{false};
        thread.SetOnExecute([&](au::TauCustomThread* s) {
            try {
                s->Synchronize([&] { ranOn = ::GetCurrentThreadId(); throw std::runtime_error("ui"); });
            } catch (const std::runtime_error&) {
                caught = true;
            }
        });
        thread.SetOnTerminate([&](au::TauCustomThread*) { terminated = true; });
        thread.Execute();
        ASSERT_TRUE(PumpUntil([&] { return terminated.load(); }));
        EXPECT_EQ(ranOn.load(), ::GetCurrentThreadId());
        EXPECT_EQ(caught.load(), !handle);
    }
}

TEST(AuThreadPriority, RoundTripsAndUnknownReadsNormal) {
    au::TauCustomThread thread;
    EXPECT_EQ(thread.Priority(), au::tpNormal);
    for (auto p : {au::tpHigher, au::tpLowest, au::tpIdle, au::tpTimeCritical, au::tpNormal}) {
        thread.SetPriority(p);
        EXPECT_EQ(thread.Priority(), p);
    }
    EXPECT_EQ(au::PriorityFromPlatform(3), au::tpNormal);
    EXPECT_EQ(au::PriorityFromPlatform(THREAD_PRIORITY_ERROR_RETURN), au::tpNormal);
    EXPECT_EQ(au::PlatformPriority(au::tpIdle), -15);
    EXPECT_EQ(au::PlatformPriority(au::tpTimeCritical), 15);
}

TEST(AuThreadPriority, CarriedOverToNextRun) {
    au::TauCustomThread thread;
    thread.SetPriority(au::tpHighest);
    std::atomic<int> seen{-100};
    thread.SetOnExecute([&](au::TauCustomThread*) { seen = ::GetThreadPriority(::GetCurrentThread()); });
    thread.SetWaitThread(true);
    EXPECT_TRUE(thread.Execute());
    EXPECT_EQ(seen.load(), THREAD_PRIORITY_HIGHEST);
}

TEST(AuThreadSuspend, DoubleSuspendNeedsTwoResumes) {
    au::TauCustomThread thread;
    win::UniqueHandle release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<bool> terminated{false};
    thread.SetOnExecute([&](au::TauCustomThread*) { ::WaitForSingleObject(release.get(), 10000); });
    thread.SetOnTerminate([&](au::TauCustomThread*) { terminated = true; });
    EXPECT_TRUE(thread.Suspended());
    thread.Execute();
    EXPECT_FALSE(thread.Suspended());
    thread.Suspend();
    thread.Suspend();
    EXPECT_TRUE(thread.Suspended());
    thread.Resume();
    EXPECT_TRUE(thread.Suspended());
    thread.Resume();
    EXPECT_FALSE(thread.Suspended());
    ::SetEvent(release.get());
    EXPECT_TRUE(PumpUntil([&] { return terminated.load(); }));
}

TEST(AuThreadSuspend, NeverStartedThreadEndsCleanly) {
    DWORD id = 0;
    {
        au::TauCustomThread thread;
        id = thread.ThreadID();
    }
    win::UniqueHandle gone(::OpenThread(SYNCHRONIZE, FALSE, id));
    EXPECT_TRUE(!gone || ::WaitForSingleObject(gone.get(), 2000) == WAIT_OBJECT_0);
}

bool ClassRegistered() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    return ::GetClassInfoExW(::GetModuleHandleW(nullptr), au::kThreadWindowClass, &wc) != 0;
}

TEST(AuThreadWindow, ExistsWhileUsedAndGoesOnRelease) {
    PumpUntil([] { return au::ThreadWindowHandle() == nullptr; });
    {
        au::TauCustomThread thread;
        EXPECT_TRUE(ClassRegistered());
        HWND window = au::ThreadWindowHandle();
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(::FindWindowW(au::kThreadWindowClass, L""), window);
        EXPECT_EQ(au::ThreadWindowUseCount(), 1);
        // A release message while in use keeps the window.
        ::PostMessageW(window, au::kReleaseWindowMessage, 0, 0);
        win::Application::ProcessMessages();
        EXPECT_TRUE(::IsWindow(window));
        // A synchronise message naming no live event thread does nothing.
        int dummy = 0;
        EXPECT_EQ(::SendMessageW(window, au::kSynchronizeMessage, 0, reinterpret_cast<LPARAM>(&dummy)), 0);
    }
    EXPECT_EQ(au::ThreadWindowUseCount(), 0);
    EXPECT_TRUE(PumpUntil([] { return au::ThreadWindowHandle() == nullptr; }));
    EXPECT_FALSE(ClassRegistered());
}

} // namespace
