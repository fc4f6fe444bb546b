// Worker threads whose notifications are handed to the thread that owns the
// hidden window "TauThreadWindow" (the user-interface thread): the worker
// sends 0x8FFF and blocks until the call has run there, so a component's
// handlers never race the user interface.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

#include "win/handles.h"

namespace au {

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

int PlatformPriority(TThreadPriority priority);
// A platform priority outside the table (or the error return) reads tpNormal.
TThreadPriority PriorityFromPlatform(int platform);

inline constexpr UINT kSynchronizeMessage = 0x8FFF;
inline constexpr UINT kReleaseWindowMessage = 0x8FFE;
inline constexpr wchar_t kThreadWindowClass[] = L"TauThreadWindow";

// How many workers of this process had to be ended by force.
int ForcedThreadEnds() noexcept;

// The synchronisation window while one exists, and how many event threads use it.
HWND ThreadWindowHandle();
int ThreadWindowUseCount();

class TauCustomThread;
using TNotifyEvent = std::function<void(TauCustomThread* sender)>;

// One platform thread, run once: the execute notification on the worker, then
// the terminate notification on the window's thread.
class TauEventThread {
public:
    explicit TauEventThread(TauCustomThread* owner);
    TauEventThread(const TauEventThread&) = delete;
    TauEventThread& operator=(const TauEventThread&) = delete;
    ~TauEventThread();

    void Resume();
    void Suspend();
    bool Suspended() const noexcept { return suspended_; }
    void SetSuspended(bool value);
    void Terminate() noexcept { terminated_ = true; }
    bool Terminated() const noexcept { return terminated_; }
    // Keeps sent messages flowing when called on the window's thread, so a
    // worker blocked in a handed-over call can finish.
    DWORD WaitFor();

    HANDLE Handle() const noexcept { return handle_.get(); }
    DWORD ThreadID() const noexcept { return threadId_; }
    TThreadPriority Priority() const;
    void SetPriority(TThreadPriority priority);
    bool FreeOnTerminate() const noexcept { return freeOnTerminate_; }
    void SetFreeOnTerminate(bool value) noexcept { freeOnTerminate_ = value; }
    int32_t ReturnValue() const noexcept { return returnValue_; }
    void SetReturnValue(int32_t value) noexcept { returnValue_ = value; }
    bool Running() const noexcept { return running_; }

    const TNotifyEvent& OnExecute() const noexcept { return onExecute_; }
    void SetOnExecute(TNotifyEvent handler) { onExecute_ = std::move(handler); }
    const TNotifyEvent& OnException() const noexcept { return onException_; }
    void SetOnException(TNotifyEvent handler) { onException_ = std::move(handler); }
    const TNotifyEvent& OnTerminate() const noexcept { return onTerminate_; }
    void SetOnTerminate(TNotifyEvent handler) { onTerminate_ = std::move(handler); }

    // Runs `method` on the window's thread and waits for it.
    void Synchronize(std::function<void()> method);

    // For the component replacing this thread: a worker blocked in a call
    // that is running right now cannot be ended without tearing that call
    // down, so it is cut loose instead and frees itself when the call
    // returns, doing nothing more. False when no call is running.
    bool Abandon();
    // Ends a started, still living thread at once.
    void Kill() noexcept;
    // Drops every call the worker still hands over and gives it `grace`
    // milliseconds (sent messages keep flowing) to return by itself, which
    // leaves the platform's locks as they should be; true when it did. A
    // worker inside a handed-over call cannot be waited for: false at once.
    bool Release(DWORD grace);

private:
    friend class TauCustomThread;
    friend LRESULT CALLBACK ThreadWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static unsigned __stdcall ThreadProc(void* self);
    void Run();
    void TerminateCall();
    void RunHandedCall();
    bool OwnerDestroying() const noexcept;

    TauCustomThread* owner_;
    win::UniqueHandle handle_;
    DWORD threadId_ = 0;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> suspended_{true};
    std::atomic<bool> started_{false};
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> freeOnTerminate_{false};
    std::atomic<bool> abandoned_{false};
    std::atomic<bool> inUiCall_{false};
    std::atomic<bool> waitingInSync_{false};
    std::atomic<int32_t> returnValue_{0};
    std::atomic<bool> running_{false};
    bool handleExceptions_ = true;
    std::function<void()> method_;
    std::exception_ptr syncException_;
    TNotifyEvent onExecute_, onException_, onTerminate_;
};

// The component: always holds one event thread and replaces it on every run.
class TauCustomThread {
public:
    TauCustomThread();
    TauCustomThread(const TauCustomThread&) = delete;
    TauCustomThread& operator=(const TauCustomThread&) = delete;
    virtual ~TauCustomThread();

    // Starts a run on a fresh thread. With WaitThread, waits for it while
    // processing messages; false when a stretch without input outlived
    // WaitTimeout (the run is then ended and OnWaitTimeoutExpired fired).
    bool Execute();
    void Terminate(bool immediately = false);
    // Ends the running worker without any more of its notifications: it
    // may return by itself within `grace` milliseconds, else it is cut
    // loose (inside a handed-over call) or ended at once.
    void Discard(DWORD grace);
    void Suspend() { thread_->Suspend(); }
    void Resume() { thread_->Resume(); }
    bool Suspended() const noexcept { return thread_->Suspended(); }
    void SetSuspended(bool value);
    DWORD WaitFor() { return thread_->WaitFor(); }
    // Waits up to `milliseconds` (sent messages keep flowing) for a started
    // worker that is no longer running its job to be gone; true when no
    // started worker is alive.
    bool WaitForEnd(DWORD milliseconds);
    // From the worker: runs `method` on the window's thread.
    void Synchronize(std::function<void()> method);
    void SynchronizeEx(std::function<void(void* params)> method, void* params);

    HANDLE Handle() const noexcept { return thread_->Handle(); }
    bool Running() const noexcept { return thread_->Running(); }
    bool Terminated() const noexcept { return thread_->Terminated(); }
    DWORD ThreadID() const noexcept { return thread_->ThreadID(); }
    int32_t ReturnValue() const noexcept { return thread_->ReturnValue(); }
    void SetReturnValue(int32_t value) noexcept { thread_->SetReturnValue(value); }
    bool HandleExceptions() const noexcept { return handleExceptions_; }
    void SetHandleExceptions(bool value) noexcept { handleExceptions_ = value; }
    TThreadPriority Priority() const { return thread_->Priority(); }
    void SetPriority(TThreadPriority priority) { thread_->SetPriority(priority); }
    bool WaitThread() const noexcept { return waitThread_; }
    void SetWaitThread(bool value) noexcept { waitThread_ = value; }
    uint32_t WaitTimeout() const noexcept { return waitTimeout_; }
    void SetWaitTimeout(uint32_t milliseconds) noexcept { waitTimeout_ = milliseconds; }
    bool Destroying() const noexcept { return destroying_; }

    const TNotifyEvent& OnExecute() const noexcept { return thread_->OnExecute(); }
    void SetOnExecute(TNotifyEvent handler) { thread_->SetOnExecute(std::move(handler)); }
    const TNotifyEvent& OnException() const noexcept { return thread_->OnException(); }
    void SetOnException(TNotifyEvent handler) { thread_->SetOnException(std::move(handler)); }
    const TNotifyEvent& OnTerminate() const noexcept { return thread_->OnTerminate(); }
    void SetOnTerminate(TNotifyEvent handler) { thread_->SetOnTerminate(std::move(handler)); }
    const TNotifyEvent& OnWaitTimeoutExpired() const noexcept { return onWaitTimeoutExpired_; }
    void SetOnWaitTimeoutExpired(TNotifyEvent handler) { onWaitTimeoutExpired_ = std::move(handler); }
    // For an owner whose worker can be woken: asks the running worker to
    // return, before a wait that would otherwise end it by force.
    void SetCancelRun(std::function<void()> cancel) { cancelRun_ = std::move(cancel); }

private:
    void ReplaceThread(DWORD grace = 0);
    // The event thread of the worker calling, or the current one.
    TauEventThread& CallingThread();

    std::unique_ptr<TauEventThread> thread_;
    std::atomic<bool> destroying_{false};
    bool handleExceptions_ = true;
    bool waitThread_ = false;
    uint32_t waitTimeout_ = 0;
    TNotifyEvent onWaitTimeoutExpired_;
    std::function<void()> cancelRun_;
};

} // namespace au
