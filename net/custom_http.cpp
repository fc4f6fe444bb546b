// The component's life on the window thread: starting a transfer, its
// completion and its forced ends. The request itself is in http_request.cpp.
#include "net/custom_http.h"

#include "net/form_data.h"
#include "net/transfer_run.h"
#include "net/url.h"
#include "net/url_text.h"
#include "win/error.h"

namespace au {
namespace {

// How long a cancelled worker may take to return by itself. It wakes at
// once, so only a worker stuck outside the library comes near this; it is
// then ended by force, which the log records.
constexpr DWORD kDiscardGrace = 3000;

} // namespace

TauCustomHTTP::TauCustomHTTP()
    : thread_(std::make_unique<TauCustomThread>()),
      proxy_(std::make_unique<TauHTTPProxy>()),
      range_(std::make_unique<TauHTTPRange>()),
      timeouts_(std::make_unique<TauHTTPTimeouts>()) {
    thread_->SetOnExecute([this](TauCustomThread*) { RequestRoutine(); });
    thread_->SetOnException([this](TauCustomThread*) {
        const THTTPNotifyEvent& onAnyError = Handler(hooks.anyError, OnAnyError);
        if (onAnyError && !destroying_) onAnyError(this);
    });
    thread_->SetOnTerminate([this](TauCustomThread*) { CompletionRoutine(); });
    thread_->SetOnWaitTimeoutExpired([this](TauCustomThread*) { TimeoutRoutine(); });
    thread_->SetCancelRun([this] { CancelRun(); });
}

TauCustomHTTP::~TauCustomHTTP() {
    destroying_ = true;
    CancelRun();
    if (Busy()) thread_->Discard(kDiscardGrace);
    thread_.reset();
}

void TauCustomHTTP::SetTransferBufferSize(int32_t value) {
    if (value < kMinTransferBufferSize)
        throw win::Error(L"The transfer buffer must hold at least 255 bytes.", ERROR_INVALID_PARAMETER);
    transferBufferSize_ = value;
}

std::wstring TauCustomHTTP::FileName() const { return URLToFileName(url_); }
std::wstring TauCustomHTTP::HostName() const { return URLToHostName(url_); }

bool TauCustomHTTP::StartTransfer(TauHTTPPOSTMethod kind) {
    postKind_ = kind;
    ++transferSerial_;
    run_ = TransferRun::Start();
    {
        std::lock_guard<std::mutex> guard(startLock_);
        startingRun_ = run_;
    }
    return thread_->Execute();
}

bool TauCustomHTTP::Read() {
    if (Busy()) return false;
    uploadBody_.clear();
    return StartTransfer(pmFormURLEncoded);
}

bool TauCustomHTTP::Upload(uint16_t numberOfFields) {
    if (Busy()) return false;
    if (!OnUploadFieldRequest) return true;
    const std::wstring boundary = MakeBoundary(L'0');
    std::vector<FormField> fields;
    for (uint16_t i = 0; i < numberOfFields; ++i) {
        MemoryStream part;
        FormField field;
        OnUploadFieldRequest(this, i, part, field.fieldName, field.fileName);
        field.content.assign(part.Bytes().begin(), part.Bytes().end());
        fields.push_back(std::move(field));
    }
    HTTPUploadRequestHeader = MultipartContentTypeHeader(boundary);
    uploadBody_ = MultipartFormBody(boundary, fields);
    StartTransfer(pmMultipartFormData);
    return true;
}

void TauCustomHTTP::CancelRun() noexcept {
    if (run_) run_->Cancel();
    std::shared_ptr<TransferRun> untaken;
    {
        std::lock_guard<std::mutex> guard(startLock_);
        untaken = std::move(startingRun_);
    }
    // A worker that had not started yet will not let go of it.
    if (untaken) untaken->Finish();
}

void TauCustomHTTP::ReleaseBody() noexcept { HTTPStream.reset(); }

void TauCustomHTTP::Abort() {
    // Asked first: a woken worker returns at once.
    const bool busy = Busy();
    CancelRun();
    if (busy) {
        // The cancel has woken the worker; it returns by itself, which
        // leaves the library's locks as they should be. Inside a handed-over
        // call it is cut loose instead and unwinds when the call returns.
        thread_->Discard(kDiscardGrace);
        if (OnAborted && !destroying_) OnAborted(this);
    }
    ReleaseBody();
    uploadBody_.clear();
}

void TauCustomHTTP::OnMainThread(const std::function<void()>& call) { thread_->Synchronize(call); }

void TauCustomHTTP::UpdateProgress() {
    Progress = ComputeProgress(HTTPFileSize, HTTPBytesTransferred, ::GetTickCount() - HTTPStartTime);
}

void TauCustomHTTP::CompletionRoutine() {
    if (HTTPStream) HTTPStream->SetPosition(0);
    const bool streamIsFile = dynamic_cast<FileStream*>(HTTPStream.get()) != nullptr;
    if (streamIsFile && HTTPSuccess && HTTPContinueDownload) {
        // The file is complete and closed before anyone hears of it.
        ReleaseBody();
    }
    const Completion completion =
        DecideCompletion(HTTPContinueDownload, HTTPSuccess, HTTPStream != nullptr || streamIsFile, streamIsFile,
                         HTTPErrorCode);
    // A handler may start the next transfer, which overwrites the fields;
    // each event gets what this transfer reached.
    const std::wstring contentType = HTTPContentType;
    const uint32_t fileSize = HTTPFileSize, bytes = HTTPBytesTransferred;
    const int32_t errorCode = HTTPErrorCode;
    std::unique_ptr<Stream> stream = std::move(HTTPStream);
    const std::wstring output = OutputFileName();
    const uint32_t serial = transferSerial_;
    for (CompletionEvent event : completion.events) {
        if (destroying_) return;
        switch (event) {
        case CompletionEvent::AnyError:
            if (const auto& on = Handler(hooks.anyError, OnAnyError)) on(this);
            break;
        case CompletionEvent::Done:
            if (const auto& on = Handler(hooks.done, OnDone)) on(this, contentType, bytes, stream.get());
            break;
        case CompletionEvent::ConnLost:
            if (const auto& on = Handler(hooks.connLost, OnConnLost)) on(this, contentType, fileSize, bytes, stream.get());
            break;
        case CompletionEvent::HostUnreachable:
            if (const auto& on = Handler(hooks.hostUnreachable, OnHostUnreachable)) on(this);
            break;
        case CompletionEvent::HTTPError:
            if (const auto& on = Handler(hooks.httpError, OnHTTPError)) on(this, errorCode, stream.get());
            break;
        case CompletionEvent::DoneInterrupted:
            // The only event of its transfer, and the last: nothing is held.
            stream.reset();
            if (const auto& on = Handler(hooks.doneInterrupted, OnDoneInterrupted)) on(this);
            break;
        }
    }
    stream.reset();
    // A handler that started the next transfer handed the fields to it, and
    // that transfer replaces a file of the same name.
    const bool restarted = serial != transferSerial_;
    if (completion.deleteOutputFile && !(restarted && output == OutputFileName())) ::DeleteFileW(output.c_str());
    if (freeOnTerminate_ && !destroying_ && !restarted) delete this;
}

void TauCustomHTTP::TimeoutRoutine() {
    CancelRun();
    ReleaseBody();
    uploadBody_.clear();
    if (OnWaitTimeoutExpired && !destroying_) OnWaitTimeoutExpired(this);
}

} // namespace au
