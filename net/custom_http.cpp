// The component's life on the window thread: starting a transfer, its
// completion and its forced ends. The request itself is in http_request.cpp.
#include "net/custom_http.h"

#include "net/form_data.h"
#include "net/url.h"
#include "win/error.h"

namespace au {
namespace {

// How long a discarded worker may take to return by itself.
constexpr DWORD kDiscardGrace = 3000;

} // namespace

TauCustomHTTP::TauCustomHTTP()
    : thread_(std::make_unique<TauCustomThread>()),
      proxy_(std::make_unique<TauHTTPProxy>()),
      range_(std::make_unique<TauHTTPRange>()),
      timeouts_(std::make_unique<TauHTTPTimeouts>()) {
    thread_->SetOnExecute([this](TauCustomThread*) { RequestRoutine(); });
    thread_->SetOnException([this](TauCustomThread*) {
        if (OnAnyError && !destroying_) OnAnyError(this);
    });
    thread_->SetOnTerminate([this](TauCustomThread*) { CompletionRoutine(); });
    thread_->SetOnWaitTimeoutExpired([this](TauCustomThread*) { TimeoutRoutine(); });
}

TauCustomHTTP::~TauCustomHTTP() {
    destroying_ = true;
    // Closing a session reports "handle closing" through the callback, whose
    // context is this object; nothing may reach it any more.
    if (hSession) ::InternetSetStatusCallbackW(hSession.get(), nullptr);
    if (Busy()) {
        CloseHandles();
        thread_->Discard(kDiscardGrace);
    }
    thread_.reset();
    CloseHandles();
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

void TauCustomHTTP::CloseHandles() noexcept {
    hFile.reset();
    hRequest.reset();
    hConnect.reset();
    hSession.reset();
}

void TauCustomHTTP::ReleaseBody() noexcept {
    HTTPData = {};
    HTTPStream.reset();
}

void TauCustomHTTP::Abort() {
    CloseHandles();
    if (Busy()) {
        // The closed handles make the worker's next library call fail, so
        // it usually returns by itself; ending a thread from outside can
        // leave the library's locks held for the rest of the process.
        thread_->Discard(kDiscardGrace);
        // It may have opened a handle after the first close.
        CloseHandles();
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
    CloseHandles();
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
        case CompletionEvent::AnyError: if (OnAnyError) OnAnyError(this); break;
        case CompletionEvent::Done: if (OnDone) OnDone(this, contentType, bytes, stream.get()); break;
        case CompletionEvent::ConnLost: if (OnConnLost) OnConnLost(this, contentType, fileSize, bytes, stream.get()); break;
        case CompletionEvent::HostUnreachable: if (OnHostUnreachable) OnHostUnreachable(this); break;
        case CompletionEvent::HTTPError: if (OnHTTPError) OnHTTPError(this, errorCode, stream.get()); break;
        case CompletionEvent::DoneInterrupted:
            // The only event of its transfer, and the last: nothing is held.
            stream.reset();
            HTTPData = {};
            if (OnDoneInterrupted) OnDoneInterrupted(this);
            break;
        }
    }
    stream.reset();
    // A handler that started the next transfer handed the fields to it: its
    // worker owns the read buffer, and it replaces a file of the same name.
    const bool restarted = serial != transferSerial_;
    if (!restarted) HTTPData = {};
    if (completion.deleteOutputFile && !(restarted && output == OutputFileName())) ::DeleteFileW(output.c_str());
    if (freeOnTerminate_ && !destroying_ && !restarted) delete this;
}

void TauCustomHTTP::TimeoutRoutine() {
    CloseHandles();
    ReleaseBody();
    uploadBody_.clear();
    if (OnWaitTimeoutExpired && !destroying_) OnWaitTimeoutExpired(this);
}

} // namespace au
