#include "net/transfer_run.h"

#include <map>

#include "win/error.h"

namespace au {
namespace {

// Runs by context value. The library's callbacks look their run up here,
// so a late callback for a run that has been let go finds nothing.
struct Registry {
    std::mutex lock;
    std::map<DWORD_PTR, std::shared_ptr<TransferRun>> runs;
    DWORD_PTR next = 0;
};

Registry& Runs() {
    static Registry* registry = new Registry;  // callbacks may outlive static destruction
    return *registry;
}

std::shared_ptr<TransferRun> Find(DWORD_PTR context) {
    Registry& registry = Runs();
    std::lock_guard<std::mutex> guard(registry.lock);
    auto found = registry.runs.find(context);
    return found == registry.runs.end() ? nullptr : found->second;
}

win::UniqueHandle NewEvent(bool manualReset) {
    win::UniqueHandle event(::CreateEventW(nullptr, manualReset, FALSE, nullptr));
    if (!event) win::RaiseLastError();
    return event;
}

} // namespace

std::shared_ptr<TransferRun> TransferRun::Start() {
    std::shared_ptr<TransferRun> run(new TransferRun);
    // Auto-reset: the wait that takes a completion clears it, so a call
    // that completes at once costs no extra trip to the kernel.
    run->completed_ = NewEvent(false);
    run->cancel_ = NewEvent(true);
    Registry& registry = Runs();
    std::lock_guard<std::mutex> guard(registry.lock);
    // Zero is the value the library sends no callbacks for.
    run->context_ = ++registry.next;
    registry.runs.emplace(run->context_, run);
    return run;
}

TransferRun::~TransferRun() { CloseHandles(); }

bool TransferRun::Failed(DWORD error) noexcept {
    ::SetLastError(error);
    return false;
}

bool TransferRun::Await(DWORD error) {
    if (error != ERROR_IO_PENDING) return Failed(error);
    HANDLE waits[] = {completed_.get(), cancel_.get()};
    const DWORD woke = ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    if (woke != WAIT_OBJECT_0 || cancelled_) return Failed(ERROR_INTERNET_OPERATION_CANCELLED);
    return asyncResult_ ? true : Failed(asyncError_);
}

void TransferRun::Completed(const INTERNET_ASYNC_RESULT& result) noexcept {
    asyncResult_ = static_cast<DWORD>(result.dwResult);
    asyncError_ = result.dwError;
    ::SetEvent(completed_.get());
}

void TransferRun::Opened() noexcept {
    Registry& registry = Runs();
    std::lock_guard<std::mutex> guard(registry.lock);
    ++openHandles_;
}

void TransferRun::CloseHandles() noexcept {
    file.reset();
    request.reset();
    connect.reset();
    session.reset();
}

void TransferRun::Cancel() noexcept {
    cancelled_ = true;
    ::SetEvent(cancel_.get());
    std::lock_guard<std::mutex> guard(lock_);
    CloseHandles();
}

void TransferRun::Finish() noexcept {
    {
        std::lock_guard<std::mutex> guard(lock_);
        CloseHandles();
    }
    std::shared_ptr<TransferRun> last;
    Registry& registry = Runs();
    std::lock_guard<std::mutex> guard(registry.lock);
    finished_ = true;
    if (openHandles_ > 0) return;
    auto found = registry.runs.find(context_);
    if (found == registry.runs.end()) return;
    // Destroyed outside the lock, by whoever holds the last reference.
    last = std::move(found->second);
    registry.runs.erase(found);
}

std::vector<DWORD> TransferRun::TakeStatuses() {
    std::lock_guard<std::mutex> guard(statusLock_);
    return std::exchange(statuses_, {});
}

void CALLBACK TransferRun::StatusCallback(HINTERNET, DWORD_PTR context, DWORD status, void* info, DWORD length) {
    std::shared_ptr<TransferRun> run = Find(context);
    if (!run) return;
    if (status == INTERNET_STATUS_REQUEST_COMPLETE && info && length >= sizeof(INTERNET_ASYNC_RESULT))
        run->Completed(*static_cast<const INTERNET_ASYNC_RESULT*>(info));
    if (status == INTERNET_STATUS_HANDLE_CLOSING) {
        Registry& registry = Runs();
        std::lock_guard<std::mutex> guard(registry.lock);
        if (--run->openHandles_ <= 0 && run->finished_) registry.runs.erase(context);
    }
    try {
        std::lock_guard<std::mutex> guard(run->statusLock_);
        run->statuses_.push_back(status);
    } catch (...) {
        // A status the worker would only have reported; the transfer goes on.
    }
}

size_t LiveTransferRuns() {
    Registry& registry = Runs();
    std::lock_guard<std::mutex> guard(registry.lock);
    return registry.runs.size();
}

} // namespace au
