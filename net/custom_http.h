// One HTTP, HTTPS or file transfer at a time over WinINet. The request runs
// on a worker thread; every event except the two status notifications is
// handed to the window thread and runs there while the worker waits, so a
// handler may change its var arguments and the worker reads them back. The
// body goes into memory (handed to the completion event) or into a file.
#pragma once
#include <windows.h>
// The status values OnStatusChanged reports.
#include <wininet.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/auThread.h"
#include "net/date_time.h"
#include "net/http_rules.h"
#include "net/login_component.h"
#include "net/streams.h"
#include "win/handles.h"

namespace au {

class TauHTTPProxy {
public:
    TauHTTPAccessType AccessType() const noexcept { return accessType_; }
    void SetAccessType(TauHTTPAccessType value) noexcept { accessType_ = value; }
    int ProxyPort() const noexcept { return proxyPort_; }
    void SetProxyPort(int value) noexcept { proxyPort_ = value; }
    const std::wstring& ProxyServer() const noexcept { return proxyServer_; }
    void SetProxyServer(std::wstring value) { proxyServer_ = std::move(value); }
    const std::wstring& ProxyBypass() const noexcept { return proxyBypass_; }
    void SetProxyBypass(std::wstring value) { proxyBypass_ = std::move(value); }
    // The server and bypass list are stored only for a session that uses them.
    bool StoresProxyNames() const noexcept { return accessType_ == atUseProxy; }

private:
    TauHTTPAccessType accessType_ = atPreconfig;
    int proxyPort_ = 8080;
    std::wstring proxyServer_;
    std::wstring proxyBypass_ = L"127.0.0.1;";
};

class TauHTTPRange {
public:
    int64_t StartRange() const noexcept { return startRange_; }
    void SetStartRange(int64_t value) noexcept { startRange_ = value; }
    // 0 asks for everything from StartRange on.
    int64_t EndRange() const noexcept { return endRange_; }
    void SetEndRange(int64_t value) noexcept { endRange_ = value; }

private:
    int64_t startRange_ = 0;
    int64_t endRange_ = 0;
};

// Milliseconds; 0 leaves the platform's own value.
class TauHTTPTimeouts {
public:
    uint32_t ConnectTimeout() const noexcept { return connect_; }
    void SetConnectTimeout(uint32_t value) noexcept { connect_ = value; }
    uint32_t ReceiveTimeout() const noexcept { return receive_; }
    void SetReceiveTimeout(uint32_t value) noexcept { receive_ = value; }
    uint32_t SendTimeout() const noexcept { return send_; }
    void SetSendTimeout(uint32_t value) noexcept { send_ = value; }

private:
    uint32_t connect_ = 0, receive_ = 0, send_ = 0;
};

class TauCustomHTTP;
class TransferRun;
using THTTPNotifyEvent = std::function<void(TauCustomHTTP* sender)>;
using THTTPStatusChangedEvent = std::function<void(TauCustomHTTP* sender, uint32_t statusId, const std::wstring& statusStr)>;
using THTTPRedirectedEvent = std::function<void(TauCustomHTTP* sender, const std::wstring& newURL)>;
using THTTPPasswordRequestEvent = std::function<void(TauCustomHTTP* sender, const std::wstring& realm, bool& tryAgain)>;
using THTTPProxyAuthenticationEvent =
    std::function<void(TauCustomHTTP* sender, std::wstring& proxyUsername, std::wstring& proxyPassword, bool& tryAgain)>;
using THTTPHeaderInfoEvent = std::function<void(
    TauCustomHTTP* sender, const std::wstring& rawHeadersCRLF, const std::wstring& contentType,
    const std::wstring& contentLanguage, const std::wstring& contentEncoding, const std::wstring& location,
    uint32_t contentLength, DateTime date, DateTime lastModified, DateTime expires, bool& continueDownload)>;
using THTTPProgressEvent = std::function<void(TauCustomHTTP* sender, const std::wstring& contentType, uint32_t dataSize,
                                              uint32_t bytesRead, uint32_t elapsedTime, int32_t estimatedTimeLeft,
                                              uint8_t percentsDone, float transferRate, Stream* stream)>;
using THTTPUploadProgressEvent =
    std::function<void(TauCustomHTTP* sender, uint32_t dataSize, uint32_t bytesTransferred, uint32_t elapsedTime,
                       int32_t estimatedTimeLeft, uint8_t percentsDone, float transferRate)>;
using THTTPUploadFieldRequestEvent = std::function<void(TauCustomHTTP* sender, uint16_t fileIndex,
                                                        MemoryStream& uploadStream, std::wstring& fieldName,
                                                        std::wstring& fileName)>;
using THTTPDoneEvent =
    std::function<void(TauCustomHTTP* sender, const std::wstring& contentType, uint32_t fileSize, Stream* stream)>;
using THTTPConnLostEvent = std::function<void(TauCustomHTTP* sender, const std::wstring& contentType,
                                              uint32_t fileSize, uint32_t bytesRead, Stream* stream)>;
using THTTPErrorEvent = std::function<void(TauCustomHTTP* sender, int32_t errorCode, Stream* stream)>;

inline constexpr wchar_t kDefaultAgent[] = L"Quillet auHTTP/1.0";
inline constexpr wchar_t kDefaultAcceptTypes[] = L"text/html, */*";
inline constexpr int32_t kMinTransferBufferSize = 255;

class TauCustomHTTP : public TauLoginComponent {
public:
    TauCustomHTTP();
    TauCustomHTTP(const TauCustomHTTP&) = delete;
    TauCustomHTTP& operator=(const TauCustomHTTP&) = delete;
    // Ends a running transfer without any event.
    ~TauCustomHTTP() override;

    // Starts a transfer; false while one runs (nothing changes then), or
    // when WaitThread is set and WaitTimeout ran out.
    bool Read();
    // A multipart upload of `numberOfFields` parts asked of
    // OnUploadFieldRequest; false only while a transfer runs.
    bool Upload(uint16_t numberOfFields);
    // Cancels the running transfer and waits (briefly: the worker wakes at
    // once) for its worker to return: OnAborted only, a file written so far
    // stays on disk, closed.
    void Abort();
    bool Busy() const noexcept { return thread_->Running(); }
    std::wstring FileName() const;
    std::wstring HostName() const;
    TauCustomThread& Thread() noexcept { return *thread_; }
    bool Destroying() const noexcept { return destroying_; }

    const std::wstring& URL() const noexcept { return url_; }
    void SetURL(std::wstring value) { url_ = std::move(value); }
    const std::wstring& OutputFileName() const noexcept { return outputFileName_; }
    void SetOutputFileName(std::wstring value) { outputFileName_ = std::move(value); }
    bool HideOutputFile() const noexcept { return hideOutputFile_; }
    void SetHideOutputFile(bool value) noexcept { hideOutputFile_ = value; }
    bool UseCache() const noexcept { return useCache_; }
    void SetUseCache(bool value) noexcept { useCache_ = value; }
    bool UseCookies() const noexcept { return useCookies_; }
    void SetUseCookies(bool value) noexcept { useCookies_ = value; }
    bool WorkOffline() const noexcept { return workOffline_; }
    void SetWorkOffline(bool value) noexcept { workOffline_ = value; }
    const std::wstring& AcceptTypes() const noexcept { return acceptTypes_; }
    void SetAcceptTypes(std::wstring value) { acceptTypes_ = std::move(value); }
    bool StoresAcceptTypes() const { return acceptTypes_ != kDefaultAcceptTypes; }
    const std::vector<std::wstring>& AddHeaders() const noexcept { return addHeaders_; }
    void SetAddHeaders(std::vector<std::wstring> lines) { addHeaders_ = std::move(lines); }
    const std::wstring& Agent() const noexcept { return agent_; }
    void SetAgent(std::wstring value) { agent_ = std::move(value); }
    const std::wstring& Referer() const noexcept { return referer_; }
    void SetReferer(std::wstring value) { referer_ = std::move(value); }
    const std::wstring& POSTData() const noexcept { return postData_; }
    void SetPOSTData(std::wstring value) { postData_ = std::move(value); }
    TauHTTPRequestMethod RequestMethod() const noexcept { return requestMethod_; }
    void SetRequestMethod(TauHTTPRequestMethod value) noexcept { requestMethod_ = value; }
    TauHTTPRange& Range() noexcept { return *range_; }
    TauHTTPTimeouts& Timeouts() noexcept { return *timeouts_; }
    TauHTTPProxy& Proxy() noexcept { return *proxy_; }
    int32_t TransferBufferSize() const noexcept { return transferBufferSize_; }
    // Raises win::Error for a size below 255 bytes.
    void SetTransferBufferSize(int32_t value);
    // Deletes the component (made with new) once a transfer has completed.
    bool FreeOnTerminate() const noexcept { return freeOnTerminate_; }
    void SetFreeOnTerminate(bool value) noexcept { freeOnTerminate_ = value; }
    bool Suspended() const noexcept { return thread_->Suspended(); }
    void SetSuspended(bool value) { thread_->SetSuspended(value); }
    TThreadPriority ThreadPriority() const { return thread_->Priority(); }
    void SetThreadPriority(TThreadPriority value) { thread_->SetPriority(value); }
    bool WaitThread() const noexcept { return thread_->WaitThread(); }
    void SetWaitThread(bool value) noexcept { thread_->SetWaitThread(value); }
    uint32_t WaitTimeout() const noexcept { return thread_->WaitTimeout(); }
    void SetWaitTimeout(uint32_t value) noexcept { thread_->SetWaitTimeout(value); }

    THTTPStatusChangedEvent OnStatusChanged;
    THTTPRedirectedEvent OnRedirected;
    THTTPPasswordRequestEvent OnPasswordRequest;
    THTTPProxyAuthenticationEvent OnProxyAuthenticationRequest;
    THTTPHeaderInfoEvent OnHeaderInfo;
    THTTPProgressEvent OnProgress;
    THTTPUploadProgressEvent OnUploadProgress;
    THTTPUploadFieldRequestEvent OnUploadFieldRequest;
    THTTPDoneEvent OnDone;
    THTTPConnLostEvent OnConnLost;
    THTTPErrorEvent OnHTTPError;
    THTTPNotifyEvent OnHostUnreachable;
    THTTPNotifyEvent OnAnyError;
    THTTPNotifyEvent OnDoneInterrupted;
    THTTPNotifyEvent OnAborted;
    THTTPNotifyEvent OnWaitTimeoutExpired;

    // The state of the last transfer, overwritten by the next one and read
    // by the events (and by descendants). The worker writes them only while
    // the window thread leaves them alone: between hand-overs, and never
    // after a cancel. What both threads touch at once (the handles, the read
    // buffer) is the run's (net/transfer_run.h).
    std::unique_ptr<Stream> HTTPStream;
    int32_t HTTPErrorCode = -1;
    bool HTTPSuccess = false;
    bool HTTPTryAgain = false;
    bool HTTPContinueDownload = true;
    std::wstring HTTPRawHeadersCRLF, HTTPContentType, HTTPContentLanguage, HTTPContentEncoding, HTTPLocation;
    DateTime HTTPDate = 0, HTTPLastModified = 0, HTTPExpires = 0;
    std::wstring HTTPProxyUsername, HTTPProxyPassword;
    uint32_t HTTPFileSize = 0;
    uint32_t HTTPBytesTransferred = 0;
    uint32_t HTTPStartTime = 0;
    std::wstring HTTPUploadRequestHeader;
    ProgressFigures Progress;

protected:
    // What a descendant builds on. A hook that is set takes the place of the
    // public event of its name, which stays for the component's own users;
    // a caller assigning that event cannot unhook the descendant.
    struct Hooks {
        THTTPHeaderInfoEvent headerInfo;
        THTTPProgressEvent progress;
        THTTPDoneEvent done;
        THTTPNotifyEvent doneInterrupted;
        THTTPConnLostEvent connLost;
        THTTPErrorEvent httpError;
        THTTPNotifyEvent hostUnreachable;
        THTTPNotifyEvent anyError;
        THTTPPasswordRequestEvent passwordRequest;
        // The one hook that runs on the worker: each piece of the body as it
        // arrives, before it is kept. False refuses the piece and ends the
        // transfer as a lost connection.
        std::function<bool(const void* bytes, size_t count)> received;
    };
    Hooks hooks;

private:
    template <typename Event>
    static const Event& Handler(const Event& hook, const Event& event) noexcept {
        return hook ? hook : event;
    }
    // Where one request of a transfer goes; a redirect replaces it.
    struct RequestTarget {
        std::wstring url, scheme, host, user, password, path, object;
        uint16_t port = 0;
    };
    void RequestRoutine();
    bool ParseTarget(const std::wstring& url, RequestTarget& target) const;
    bool OpenSession(TransferRun& run);
    bool OpenLocalFile(TransferRun& run, const std::wstring& path);
    // Connects and opens the request with its options and extra headers.
    bool OpenRequest(TransferRun& run, const RequestTarget& target, const std::wstring& verb);
    // Sends, answering authentication requests while a handler asks to.
    bool SendWithAuthentication(TransferRun& run, const std::wstring& verb, uint32_t bufferSize);
    // True when the answer redirects to an address the transfer goes on to.
    bool FollowRedirect(TransferRun& run, RequestTarget& target, std::wstring& verb);
    void ReadResponseHeaders(TransferRun& run);
    bool SendUploadBody(TransferRun& run, uint32_t bufferSize);
    // False when the output file cannot be made; the transfer ends there.
    bool OpenSink();
    void ReadBody(TransferRun& run, uint32_t bufferSize, bool fromFile);
    // The library's status values so far, on the worker.
    void ReportStatuses(TransferRun& run);
    void CompletionRoutine();
    void TimeoutRoutine();
    // Cancels the current run, if any: its worker wakes and its handles close.
    void CancelRun() noexcept;
    void ReleaseBody() noexcept;
    bool StartTransfer(TauHTTPPOSTMethod kind);
    // Runs `call` on the window thread while the worker waits.
    void OnMainThread(const std::function<void()>& call);
    void UpdateProgress();

    std::unique_ptr<TauCustomThread> thread_;
    std::unique_ptr<TauHTTPProxy> proxy_;
    std::unique_ptr<TauHTTPRange> range_;
    std::unique_ptr<TauHTTPTimeouts> timeouts_;
    std::wstring url_, outputFileName_;
    bool hideOutputFile_ = false, useCache_ = true, useCookies_ = true, workOffline_ = false;
    std::wstring acceptTypes_ = kDefaultAcceptTypes;
    std::vector<std::wstring> addHeaders_;
    std::wstring agent_ = kDefaultAgent;
    std::wstring referer_, postData_;
    TauHTTPRequestMethod requestMethod_ = rmAutoDetect;
    TauHTTPPOSTMethod postKind_ = pmFormURLEncoded;
    int32_t transferBufferSize_ = 4096;
    bool freeOnTerminate_ = false;
    bool destroying_ = false;
    // The body could not be kept (memory or disk refused it).
    bool sinkFailed_ = false;
    // Counts started transfers, so the completion of one can tell whether a
    // handler has started the next.
    uint32_t transferSerial_ = 0;
    // An upload's prepared body, kept so that an authentication retry can
    // send it again.
    std::string uploadBody_;
    // The run of the transfer started last (window thread only), and the
    // one its worker has not taken yet.
    std::shared_ptr<TransferRun> run_;
    std::mutex startLock_;
    std::shared_ptr<TransferRun> startingRun_;
};

} // namespace au
