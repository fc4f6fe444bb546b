// What one transfer's worker and the window thread both touch, in one
// object per run: the handles, the read buffer, the library's completion
// and the cancel request.
//
// The session is opened in WinINet's asynchronous mode, so no library call
// blocks: a call that has to wait returns "pending" and the worker waits on
// the call's completion and on the cancel event together. A cancel
// therefore wakes the worker at once, whatever the network does, and the
// worker returns by itself. Calls are made under the run's lock and a
// cancel closes the handles under it too, so a handle is closed exactly
// once, never while a call is being made with it, and never swapped for a
// new one unseen.
//
// A call the library still has pending when its handle is closed finishes
// later, on the library's thread, and writes into the run's buffer. The
// run therefore lives until the library has reported every handle it was
// given as closing, not merely until its worker has returned.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/internet_handle.h"
#include "win/handles.h"

namespace au {

class TransferRun {
public:
    // Registers the run, so the library's callbacks can find it by its
    // context value. Raises win::Error when the events cannot be made.
    static std::shared_ptr<TransferRun> Start();
    TransferRun(const TransferRun&) = delete;
    TransferRun& operator=(const TransferRun&) = delete;
    ~TransferRun();

    // The context value every handle of this run is opened with.
    DWORD_PTR Context() const noexcept { return context_; }

    // From any thread: every later call fails, a waiting worker wakes, and
    // the handles are closed.
    void Cancel() noexcept;
    bool Cancelled() const noexcept { return cancelled_; }

    // Makes one library call under the run's lock and waits for it to
    // complete when the library has it pending. False when it failed or
    // the run was cancelled; GetLastError holds the call's error then.
    template <typename Call>
    bool Complete(Call&& call) {
        BOOL result;
        DWORD error;
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (cancelled_) return Failed(ERROR_INTERNET_OPERATION_CANCELLED);
            result = call();
            error = ::GetLastError();
        }
        return result ? true : Await(error);
    }
    // Opens a handle under the run's lock into `slot`, closing what it
    // held; null when cancelled or the call failed.
    template <typename Opener>
    HINTERNET Open(UniqueHInternet& slot, Opener&& open) {
        std::lock_guard<std::mutex> guard(lock_);
        if (cancelled_) return nullptr;
        HINTERNET handle = open();
        if (handle && &slot != &session) Opened();
        slot.reset(handle);
        return handle;
    }
    // Closes what `slot` holds, under the run's lock.
    void Close(UniqueHInternet& slot) noexcept {
        std::lock_guard<std::mutex> guard(lock_);
        slot.reset();
    }
    // Opens the local file of a "file" address into `file`.
    template <typename Opener>
    bool OpenFile(Opener&& open) {
        std::lock_guard<std::mutex> guard(lock_);
        if (cancelled_) return false;
        file.reset(open());
        return static_cast<bool>(file);
    }
    // A call on the local file, under the run's lock.
    template <typename Call>
    bool WithFile(Call&& call) {
        std::lock_guard<std::mutex> guard(lock_);
        return !cancelled_ && file && call(file.get());
    }
    // The worker is done with the run: closes what it still holds. The run
    // is let go once the library has reported every handle closing.
    void Finish() noexcept;

    // Status values the library reported since the last call, oldest first.
    std::vector<DWORD> TakeStatuses();

    // Only the worker reads and writes these, between calls. A pending call
    // writes into the buffer and the count, or reads the body, the headers
    // and the upload's description.
    std::vector<uint8_t> buffer;
    DWORD bytesDone = 0;
    std::string body;
    std::wstring headers;
    INTERNET_BUFFERSW uploadBuffers{};
    // Slots: set only through Open (the file under the lock as well).
    UniqueHInternet session, connect, request;
    win::UniqueHFile file;

    static void CALLBACK StatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status, void* info,
                                        DWORD length);

private:
    TransferRun() = default;
    bool Await(DWORD error);
    static bool Failed(DWORD error) noexcept;
    void Completed(const INTERNET_ASYNC_RESULT& result) noexcept;
    void Opened() noexcept;
    void CloseHandles() noexcept;

    std::mutex lock_;
    DWORD_PTR context_ = 0;
    std::atomic<bool> cancelled_{false};
    win::UniqueHandle completed_, cancel_;
    // Written by the library's thread before `completed_` is set.
    DWORD asyncResult_ = 0, asyncError_ = 0;
    std::mutex statusLock_;
    std::vector<DWORD> statuses_;
    // Under the registry's lock: handles opened with this run's context
    // whose closing the library has not reported yet, and whether the
    // worker has let go.
    int openHandles_ = 0;
    bool finished_ = false;
};

// Runs registered and not yet let go (for tests of the component's footprint).
size_t LiveTransferRuns();

} // namespace au
