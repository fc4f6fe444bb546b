// The synchronisation window's bookkeeping, shared by the event threads.
#pragma once
#include <windows.h>

#include <mutex>

namespace au {

class TauEventThread;

// Creates the window (and registers its class) for the first user; raises win::Error.
HWND AcquireThreadWindow(const TauEventThread* thread);
// Stops pending synchronise messages from reaching `thread`.
void ForgetThread(const TauEventThread* thread) noexcept;
// Posts the release message when the last user has gone.
void ReleaseThreadWindow(const TauEventThread* thread) noexcept;
bool OnThreadWindowThread();
// Guards the window, its use count and the set of live event threads.
std::mutex& ThreadWindowLock();
// Only with ThreadWindowLock held.
bool IsLiveThread(const TauEventThread* thread);
LRESULT CALLBACK ThreadWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace au
