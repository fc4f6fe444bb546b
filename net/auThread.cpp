// Event threads and the thread component. C++ exceptions must not cross a
// thread's entry point or a window procedure, so both catch everything and
// carry what they caught to where the owner's settings want it.
#include "net/auThread.h"

#include <process.h>

#include "log/log4me.h"
#include "net/thread_window.h"
#include "win/error.h"
#include "win/window.h"

namespace au {
namespace {

constexpr int kPriorities[] = {THREAD_PRIORITY_IDLE,    THREAD_PRIORITY_LOWEST,        THREAD_PRIORITY_BELOW_NORMAL,
                               THREAD_PRIORITY_NORMAL,  THREAD_PRIORITY_ABOVE_NORMAL,  THREAD_PRIORITY_HIGHEST,
                               THREAD_PRIORITY_TIME_CRITICAL};

// How long a worker whose run is over may take to leave by itself.
constexpr DWORD kLeavingGrace = 3000;

// Unwinds the worker of a run that has been cut loose while it waited.
struct RunAbandoned {};

bool ThreadAlive(HANDLE thread) { return ::WaitForSingleObject(thread, 0) == WAIT_TIMEOUT; }

// The event thread whose worker is running on this thread, if any: a
// worker hands its calls over through its own object, also after the
// component has replaced it with a fresh one.
thread_local TauEventThread* tCurrentEventThread = nullptr;

std::atomic<int> gForcedEnds{0};

bool QuitPending() {
    MSG msg;
    return ::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != 0;
}

} // namespace

int ForcedThreadEnds() noexcept { return gForcedEnds; }

int PlatformPriority(TThreadPriority priority) {
    auto index = static_cast<size_t>(priority);
    return index < std::size(kPriorities) ? kPriorities[index] : THREAD_PRIORITY_NORMAL;
}

TThreadPriority PriorityFromPlatform(int platform) {
    for (size_t i = 0; i < std::size(kPriorities); ++i)
        if (kPriorities[i] == platform) return static_cast<TThreadPriority>(i);
    return tpNormal;
}

TauEventThread::TauEventThread(TauCustomThread* owner) : owner_(owner) {
    AcquireThreadWindow(this);
    win::ScopeExit release([this] { ReleaseThreadWindow(this); });
    unsigned id = 0;
    auto handle = ::_beginthreadex(nullptr, 0, &TauEventThread::ThreadProc, this, CREATE_SUSPENDED, &id);
    if (!handle) win::RaiseSystemError(static_cast<uint32_t>(::GetLastError()));
    handle_.reset(reinterpret_cast<HANDLE>(handle));
    threadId_ = id;
    release.Dismiss();
}

TauEventThread::~TauEventThread() {
    ForgetThread(this);
    if (handle_ && ::GetCurrentThreadId() != threadId_ && ThreadAlive(handle_.get())) {
        if (!started_) {
            // Closing the handle alone would leave a suspended thread behind
            // for the life of the process; let it start and return at once.
            cancelled_ = true;
            for (DWORD count; (count = ::ResumeThread(handle_.get())) != static_cast<DWORD>(-1) && count > 1;) {
            }
            ::WaitForSingleObject(handle_.get(), INFINITE);
        } else if (suspended_) {
            Kill();
        } else {
            terminated_ = true;
            try {
                WaitFor();
            } catch (...) {
            }
        }
    }
    handle_.reset();
    ReleaseThreadWindow(this);
}

unsigned __stdcall TauEventThread::ThreadProc(void* self) {
    auto* thread = static_cast<TauEventThread*>(self);
    if (thread->cancelled_) return 0;
    tCurrentEventThread = thread;
    try {
        thread->Run();
    } catch (...) {
    }
    auto code = static_cast<unsigned>(thread->returnValue_.load());
    // Read after the terminate call: a handler that started the next run has
    // handed this object to its own thread by then.
    if (thread->freeOnTerminate_) delete thread;
    return code;
}

void TauEventThread::Run() {
    handleExceptions_ = owner_->HandleExceptions();
    running_ = true;
    try {
        if (onExecute_ && !OwnerDestroying()) onExecute_(owner_);
    } catch (const RunAbandoned&) {
        running_ = false;
        return;
    } catch (...) {
        if (handleExceptions_ && onException_ && !abandoned_ && !OwnerDestroying()) {
            try {
                Synchronize([this] { onException_(owner_); });
            } catch (const RunAbandoned&) {
                running_ = false;
                return;
            }
        }
    }
    running_ = false;
    if (onTerminate_ && !abandoned_) {
        try {
            Synchronize([this] { TerminateCall(); });
        } catch (...) {
        }
    }
}

void TauEventThread::TerminateCall() {
    if (!onTerminate_ || OwnerDestroying()) return;
    try {
        onTerminate_(owner_);
    } catch (...) {
        if (!handleExceptions_) throw;
        if (onException_ && !OwnerDestroying()) onException_(owner_);
    }
}

bool TauEventThread::OwnerDestroying() const noexcept { return abandoned_ || !owner_ || owner_->Destroying(); }

void TauEventThread::Synchronize(std::function<void()> method) {
    if (abandoned_) throw RunAbandoned{};
    syncException_ = nullptr;
    method_ = std::move(method);
    waitingInSync_ = true;
    HWND window = ThreadWindowHandle();
    if (window) ::SendMessageW(window, kSynchronizeMessage, 0, reinterpret_cast<LPARAM>(this));
    waitingInSync_ = false;
    method_ = nullptr;
    if (abandoned_) throw RunAbandoned{};
    std::exception_ptr raised = std::exchange(syncException_, nullptr);
    if (raised && !handleExceptions_) std::rethrow_exception(raised);
}

void TauEventThread::RunHandedCall() {
    syncException_ = nullptr;
    // A message that outlived the send that made it has nobody waiting.
    if (!waitingInSync_ || !method_ || OwnerDestroying()) return;
    {
        std::lock_guard<std::mutex> guard(ThreadWindowLock());
        inUiCall_ = true;
    }
    try {
        method_();
    } catch (...) {
        syncException_ = std::current_exception();
    }
    std::lock_guard<std::mutex> guard(ThreadWindowLock());
    inUiCall_ = false;
}

bool TauEventThread::Abandon() {
    std::lock_guard<std::mutex> guard(ThreadWindowLock());
    if (!inUiCall_) return false;
    abandoned_ = true;
    freeOnTerminate_ = true;
    return true;
}

void TauEventThread::Kill() noexcept {
    if (!handle_ || !started_ || !ThreadAlive(handle_.get())) return;
    LogError("net: a worker thread did not end within its grace time and was ended by force");
    ++gForcedEnds;
    ::TerminateThread(handle_.get(), 0);
    ::WaitForSingleObject(handle_.get(), INFINITE);
    running_ = false;
}

bool TauEventThread::Release(DWORD grace) {
    {
        std::lock_guard<std::mutex> guard(ThreadWindowLock());
        if (inUiCall_) return false;
        abandoned_ = true;
    }
    if (!handle_ || !started_) return false;
    HANDLE thread = handle_.get();
    const DWORD start = ::GetTickCount();
    for (;;) {
        const DWORD spent = ::GetTickCount() - start;
        if (spent >= grace) return false;
        DWORD woke = ::MsgWaitForMultipleObjects(1, &thread, FALSE, grace - spent, QS_SENDMESSAGE);
        if (woke == WAIT_OBJECT_0) return true;
        if (woke != WAIT_OBJECT_0 + 1) return false;
        MSG msg;
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    }
}

void TauEventThread::Resume() {
    // Running from the moment it is started, not from when the worker gets
    // the processor: a caller asks for Running right after starting it.
    const bool starting = !started_;
    if (starting) running_ = true;
    DWORD previous = ::ResumeThread(handle_.get());
    if (previous == static_cast<DWORD>(-1)) {
        DWORD code = ::GetLastError();
        if (starting) running_ = false;
        win::RaiseSystemError(code);
    }
    if (starting && previous > 1) running_ = false;
    if (previous <= 1) {
        started_ = true;
        suspended_ = false;
    }
}

void TauEventThread::Suspend() {
    bool was = suspended_.exchange(true);
    if (::SuspendThread(handle_.get()) == static_cast<DWORD>(-1)) {
        DWORD code = ::GetLastError();
        suspended_ = was;
        win::RaiseSystemError(code);
    }
}

void TauEventThread::SetSuspended(bool value) {
    if (value == suspended_) return;
    if (value) Suspend(); else Resume();
}

DWORD TauEventThread::WaitFor() {
    HANDLE thread = handle_.get();
    if (::GetCurrentThreadId() == threadId_) win::RaiseSystemError(ERROR_POSSIBLE_DEADLOCK);
    if (OnThreadWindowThread()) {
        for (;;) {
            DWORD woke = ::MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE);
            if (woke == WAIT_OBJECT_0) break;
            if (woke != WAIT_OBJECT_0 + 1) win::RaiseLastError();
            MSG msg;
            ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
        }
    } else if (::WaitForSingleObject(thread, INFINITE) != WAIT_OBJECT_0) {
        win::RaiseLastError();
    }
    DWORD code = 0;
    if (!::GetExitCodeThread(thread, &code)) win::RaiseLastError();
    return code;
}

TThreadPriority TauEventThread::Priority() const { return PriorityFromPlatform(::GetThreadPriority(handle_.get())); }

void TauEventThread::SetPriority(TThreadPriority priority) {
    if (!::SetThreadPriority(handle_.get(), PlatformPriority(priority))) win::RaiseLastError();
}

TauCustomThread::TauCustomThread() : thread_(std::make_unique<TauEventThread>(this)) {}

TauCustomThread::~TauCustomThread() {
    destroying_ = true;
    // Also a thread that has finished its run may be inside its terminate
    // call, which is what destroyed its owner.
    if (thread_->Abandon()) {
        thread_.release();
    } else {
        if (thread_->Running()) thread_->Kill();
        thread_.reset();
    }
}

void TauCustomThread::Discard(DWORD grace) { ReplaceThread(grace); }

void TauCustomThread::ReplaceThread(DWORD grace) {
    // The copy is made first, so a failure leaves the current thread as it was.
    auto fresh = std::make_unique<TauEventThread>(this);
    fresh->SetPriority(thread_->Priority());
    fresh->SetOnTerminate(thread_->OnTerminate());
    fresh->SetOnExecute(thread_->OnExecute());
    fresh->SetOnException(thread_->OnException());
    std::unique_ptr<TauEventThread> old = std::exchange(thread_, std::move(fresh));
    if (old->Abandon()) {
        old.release();  // frees itself once the running call returns
        return;
    }
    // A worker whose run is over is only leaving: ending it from outside
    // now can catch it inside the process's thread-exit code, holding the
    // loader's lock, and every thread started after it would wait for that
    // lock for ever. It is given the moment it needs.
    const DWORD wait = old->Running() ? grace : kLeavingGrace;
    if (wait) old->Release(wait);
    old->Kill();
}

bool TauCustomThread::WaitForEnd(DWORD milliseconds) {
    if (!thread_->started_ || thread_->Running()) return !thread_->started_;
    HANDLE thread = thread_->Handle();
    const DWORD start = ::GetTickCount();
    for (;;) {
        const DWORD spent = ::GetTickCount() - start;
        const DWORD woke =
            ::MsgWaitForMultipleObjects(1, &thread, FALSE, spent >= milliseconds ? 0 : milliseconds - spent,
                                        QS_SENDMESSAGE);
        if (woke == WAIT_OBJECT_0) return true;
        if (woke != WAIT_OBJECT_0 + 1) return false;
        MSG msg;
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    }
}

void TauCustomThread::Terminate(bool immediately) {
    if (immediately) ReplaceThread(); else thread_->Terminate();
}

void TauCustomThread::SetSuspended(bool value) { thread_->SetSuspended(value); }

bool TauCustomThread::Execute() {
    ReplaceThread();
    thread_->Resume();
    if (!waitThread_) return true;
    // A duplicate, since a handler run below may replace (and close) the thread.
    win::UniqueHandle run;
    if (!::DuplicateHandle(::GetCurrentProcess(), thread_->Handle(), ::GetCurrentProcess(), run.put(), SYNCHRONIZE,
                           FALSE, 0))
        win::RaiseLastError();
    const TauEventThread* started = thread_.get();
    HANDLE handle = run.get();
    for (;;) {
        DWORD woke = ::MsgWaitForMultipleObjects(1, &handle, FALSE, waitTimeout_ ? waitTimeout_ : INFINITE,
                                                 QS_ALLINPUT);
        if (woke == WAIT_TIMEOUT) {
            // Only the run this call started is ended; a newer one is not ours.
            if (thread_.get() == started) {
                // A worker that can be woken is given the moment to leave.
                if (cancelRun_) cancelRun_();
                ReplaceThread(cancelRun_ ? kLeavingGrace : 0);
            }
            if (onWaitTimeoutExpired_) onWaitTimeoutExpired_(this);
            return false;
        }
        if (woke == WAIT_FAILED) win::RaiseLastError();
        win::Application::ProcessMessages();
        if (woke != WAIT_OBJECT_0 + 1 || destroying_ || QuitPending()) return true;
    }
}

TauEventThread& TauCustomThread::CallingThread() {
    TauEventThread* current = tCurrentEventThread;
    return current && current->owner_ == this ? *current : *thread_;
}

void TauCustomThread::Synchronize(std::function<void()> method) {
    if (destroying_ || !method) return;
    CallingThread().Synchronize(std::move(method));
}

void TauCustomThread::SynchronizeEx(std::function<void(void* params)> method, void* params) {
    if (destroying_ || !method) return;
    CallingThread().Synchronize([this, m = std::move(method), params] {
        if (!destroying_) m(params);
    });
}

} // namespace au
