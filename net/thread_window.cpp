// The hidden synchronisation window shared by all event threads of the
// process. It is destroyed, and its class unregistered, only from a posted
// message on its own thread, since a window can be destroyed only there.
#include <mutex>
#include <set>

#include "net/auThread.h"
#include "net/thread_window.h"
#include "win/window.h"

namespace au {
namespace {

std::mutex& WindowLock() {
    static std::mutex lock;
    return lock;
}
HWND g_window = nullptr;
int g_uses = 0;
// Event threads that may still be named by a pending synchronise message:
// a worker ended while its message waited must not be reached through it.
std::set<const TauEventThread*>& LiveThreads() {
    static std::set<const TauEventThread*> live;
    return live;
}

void DestroyIfUnused() {
    std::lock_guard<std::mutex> guard(WindowLock());
    if (g_uses != 0 || !g_window) return;
    ::DestroyWindow(std::exchange(g_window, nullptr));
    ::UnregisterClassW(kThreadWindowClass, ::GetModuleHandleW(nullptr));
}

} // namespace

HWND AcquireThreadWindow(const TauEventThread* thread) {
    std::lock_guard<std::mutex> guard(WindowLock());
    // A window whose release message is still pending is kept for the newcomer.
    if (!g_window) g_window = win::CreateHiddenWindow(kThreadWindowClass, ThreadWindowProc);
    LiveThreads().insert(thread);
    ++g_uses;
    return g_window;
}

void ForgetThread(const TauEventThread* thread) noexcept {
    std::lock_guard<std::mutex> guard(WindowLock());
    LiveThreads().erase(thread);
}

void ReleaseThreadWindow(const TauEventThread* thread) noexcept {
    std::lock_guard<std::mutex> guard(WindowLock());
    LiveThreads().erase(thread);
    if (--g_uses == 0 && g_window) ::PostMessageW(g_window, kReleaseWindowMessage, 0, 0);
}

HWND ThreadWindowHandle() {
    std::lock_guard<std::mutex> guard(WindowLock());
    return g_window;
}

int ThreadWindowUseCount() {
    std::lock_guard<std::mutex> guard(WindowLock());
    return g_uses;
}

bool OnThreadWindowThread() {
    HWND window = ThreadWindowHandle();
    return window && ::GetWindowThreadProcessId(window, nullptr) == ::GetCurrentThreadId();
}

std::mutex& ThreadWindowLock() { return WindowLock(); }

bool IsLiveThread(const TauEventThread* thread) { return LiveThreads().count(thread) != 0; }

LRESULT CALLBACK ThreadWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kSynchronizeMessage) {
        auto* thread = reinterpret_cast<TauEventThread*>(lParam);
        {
            std::lock_guard<std::mutex> guard(WindowLock());
            if (!IsLiveThread(thread)) return 0;
        }
        thread->RunHandedCall();
        return 0;
    }
    if (message == kReleaseWindowMessage) {
        DestroyIfUnused();
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

} // namespace au
