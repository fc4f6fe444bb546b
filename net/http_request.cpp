// The request routine: runs on the worker thread, one per transfer, and
// leaves its outcome in the component's fields for the completion routine.
// Every library call goes through the transfer's run (transfer_run.h), which
// makes it under the run's lock and waits for it together with a cancel.
#include <algorithm>
#include <exception>
#include <new>
#include <stdexcept>
#include <vector>

#include "net/custom_http.h"
#include "net/http_date.h"
#include "net/transfer_run.h"
#include "net/url.h"
#include "net/url_text.h"
#include "win/error.h"
#include "win/strings.h"

namespace au {
namespace {

// Header values go through one buffer of this many bytes; a longer value
// counts as absent, so no header can make the client allocate.
constexpr DWORD kHeaderBufferBytes = 4096;

bool QueryHeader(HINTERNET request, DWORD info, std::wstring& value) {
    wchar_t buffer[kHeaderBufferBytes / sizeof(wchar_t)];
    DWORD length = kHeaderBufferBytes;
    DWORD index = 0;
    if (!::HttpQueryInfoW(request, info, buffer, &length, &index)) return false;
    value.assign(buffer, length / sizeof(wchar_t));
    return true;
}

std::wstring HeaderOrEmpty(HINTERNET request, DWORD info) {
    std::wstring value;
    return QueryHeader(request, info, value) ? value : std::wstring{};
}

DateTime HeaderDate(HINTERNET request, DWORD info) {
    std::wstring value;
    return QueryHeader(request, info, value) ? HTTPDateToDateTime(value) : 0;
}

void SetTextOption(TransferRun& run, DWORD option, const std::wstring& text) {
    run.Complete([&] {
        return ::InternetSetOptionW(run.request.get(), option, const_cast<wchar_t*>(text.c_str()),
                                    static_cast<DWORD>(text.size()));
    });
}

const wchar_t* NullWhenEmpty(const std::wstring& text) { return text.empty() ? nullptr : text.c_str(); }

// The absolute address a Location header names, taken against the URL
// that answered; empty when the two cannot be combined.
std::wstring CombinedURL(const std::wstring& base, const std::wstring& location) {
    std::vector<wchar_t> buffer(INTERNET_MAX_URL_LENGTH + 1);
    DWORD length = static_cast<DWORD>(buffer.size());
    if (!::InternetCombineUrlW(base.c_str(), location.c_str(), buffer.data(), &length, ICU_NO_ENCODE)) {
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
        buffer.resize(length + 1);
        length = static_cast<DWORD>(buffer.size());
        if (!::InternetCombineUrlW(base.c_str(), location.c_str(), buffer.data(), &length, ICU_NO_ENCODE)) return {};
    }
    return std::wstring(buffer.data(), length);
}

} // namespace

void TauCustomHTTP::ReportStatuses(TransferRun& run) {
    for (DWORD status : run.TakeStatuses()) {
        // Completion is how the asynchronous session answers the worker,
        // not news of the transfer.
        if (status == INTERNET_STATUS_REQUEST_COMPLETE) continue;
        if (run.Cancelled() || destroying_ || !OnStatusChanged) return;
        OnStatusChanged(this, status, StatusText(status));
    }
}

bool TauCustomHTTP::OpenSession(TransferRun& run) {
    const std::wstring proxy = ProxyText(proxy_->AccessType(), proxy_->ProxyServer(), proxy_->ProxyPort());
    const bool named = proxy_->AccessType() == atUseProxy;
    return run.Open(run.session, [&]() -> HINTERNET {
        HINTERNET session = ::InternetOpenW(agent_.c_str(), OpenType(proxy_->AccessType()),
                                            named ? proxy.c_str() : nullptr,
                                            named ? NullWhenEmpty(proxy_->ProxyBypass()) : nullptr,
                                            (workOffline_ ? kFlagOffline : 0) | INTERNET_FLAG_ASYNC);
        if (session) ::InternetSetStatusCallbackW(session, &TransferRun::StatusCallback);
        return session;
    }) != nullptr;
}

bool TauCustomHTTP::OpenRequest(TransferRun& run, const RequestTarget& target, const std::wstring& verb) {
    run.Close(run.request);
    const bool connected = run.Open(run.connect, [&] {
        return ::InternetConnectW(run.session.get(), target.host.c_str(), target.port, NullWhenEmpty(target.user),
                                  NullWhenEmpty(target.password), INTERNET_SERVICE_HTTP, 0, run.Context());
    }) != nullptr;
    ReportStatuses(run);
    if (!connected) return false;

    const wchar_t* accept[] = {acceptTypes_.c_str(), nullptr};
    // The library follows redirects without any limit, so a redirect loop
    // would never end; the routine follows them itself (FollowRedirect).
    const DWORD flags = RequestFlags(target.scheme, useCache_, useCookies_) | INTERNET_FLAG_NO_AUTO_REDIRECT;
    HINTERNET request = run.Open(run.request, [&] {
        return ::HttpOpenRequestW(run.connect.get(), verb.c_str(), target.object.c_str(), nullptr,
                                  NullWhenEmpty(referer_), accept, flags, run.Context());
    });
    if (!request) return false;

    const std::pair<DWORD, uint32_t> timeouts[] = {{INTERNET_OPTION_CONNECT_TIMEOUT, timeouts_->ConnectTimeout()},
                                                   {INTERNET_OPTION_RECEIVE_TIMEOUT, timeouts_->ReceiveTimeout()},
                                                   {INTERNET_OPTION_SEND_TIMEOUT, timeouts_->SendTimeout()}};
    for (auto [option, value] : timeouts) {
        DWORD milliseconds = value;
        if (milliseconds) run.Complete([&] { return ::InternetSetOptionW(request, option, &milliseconds, sizeof milliseconds); });
    }

    const std::wstring headers = ExtraHeaderText(addHeaders_, range_->StartRange(), range_->EndRange());
    return headers.empty() || run.Complete([&] {
        return ::HttpAddRequestHeadersW(request, headers.c_str(), static_cast<DWORD>(headers.size()),
                                        HTTP_ADDREQ_FLAG_ADD);
    });
}

bool TauCustomHTTP::SendWithAuthentication(TransferRun& run, const std::wstring& verb, uint32_t bufferSize) {
    HINTERNET request = run.request.get();
    for (;;) {
        HTTPTryAgain = false;
        if (verb == L"GET") {
            HTTPSuccess = run.Complete([&] { return ::HttpSendRequestW(request, nullptr, 0, nullptr, 0); });
        } else if (postKind_ == pmFormURLEncoded) {
            static const wchar_t kFormHeader[] = L"Content-Type: application/x-www-form-urlencoded";
            // The library reads the body while the send is pending.
            run.body = win::ToAnsi(postData_);
            HTTPSuccess = run.Complete([&] {
                return ::HttpSendRequestW(request, kFormHeader, 47, run.body.empty() ? nullptr : run.body.data(),
                                          static_cast<DWORD>(run.body.size()));
            });
        } else {
            HTTPSuccess = SendUploadBody(run, bufferSize);
        }
        ReportStatuses(run);
        if (!HTTPSuccess) return false;

        std::wstring status;
        HTTPSuccess = QueryHeader(request, HTTP_QUERY_STATUS_CODE, status);
        if (!HTTPSuccess) return false;
        HTTPErrorCode = StatusCodeOf(status);

        const THTTPPasswordRequestEvent& onPasswordRequest = Handler(hooks.passwordRequest, OnPasswordRequest);
        if (HTTPErrorCode == HTTP_STATUS_DENIED && onPasswordRequest) {
            std::wstring authenticate;
            HTTPSuccess = QueryHeader(request, HTTP_QUERY_WWW_AUTHENTICATE, authenticate);
            HTTPContentType = HTTPSuccess ? authenticate : std::wstring{};
            const std::wstring realm = RealmOf(HTTPContentType);
            OnMainThread([&] { onPasswordRequest(this, realm, HTTPTryAgain); });
            SetTextOption(run, INTERNET_OPTION_USERNAME, Username());
            SetTextOption(run, INTERNET_OPTION_PASSWORD, Password());
        } else if (HTTPErrorCode == HTTP_STATUS_PROXY_AUTH_REQ && OnProxyAuthenticationRequest) {
            OnMainThread([&] { OnProxyAuthenticationRequest(this, HTTPProxyUsername, HTTPProxyPassword, HTTPTryAgain); });
            SetTextOption(run, INTERNET_OPTION_PROXY_USERNAME, HTTPProxyUsername);
            SetTextOption(run, INTERNET_OPTION_PROXY_PASSWORD, HTTPProxyPassword);
        }
        if (!HTTPTryAgain) return true;
    }
}

bool TauCustomHTTP::FollowRedirect(TransferRun& run, RequestTarget& target, std::wstring& verb) {
    if (!IsFollowedRedirect(HTTPErrorCode)) return false;
    std::wstring location;
    if (!QueryHeader(run.request.get(), HTTP_QUERY_LOCATION, location)) return false;
    const std::wstring next = CombinedURL(target.url, location);
    RequestTarget parsed;
    if (next.empty() || !ParseTarget(next, parsed) || (parsed.scheme != L"http" && parsed.scheme != L"https"))
        return false;
    // Reported as the library reports the redirects it follows itself.
    if (OnStatusChanged) OnStatusChanged(this, INTERNET_STATUS_REDIRECT, StatusText(INTERNET_STATUS_REDIRECT));
    if (OnRedirected) OnRedirected(this, next);
    verb = VerbAfterRedirect(HTTPErrorCode, verb);
    target = std::move(parsed);
    return true;
}

bool TauCustomHTTP::ParseTarget(const std::wstring& url, RequestTarget& target) const {
    std::wstring extra, path;
    if (!ParseURL(url, target.scheme, target.host, target.port, target.user, target.password, extra, path))
        return false;
    if (target.user.empty()) target.user = Username();
    if (target.password.empty()) target.password = Password();
    target.url = WithDefaultScheme(url);
    target.path = path;
    target.object = RequestObject(target.url);
    return true;
}

void TauCustomHTTP::ReadResponseHeaders(TransferRun& run) {
    HINTERNET request = run.request.get();
    QueryHeader(request, HTTP_QUERY_CONTENT_TYPE, HTTPContentType);
    std::wstring length;
    HTTPSuccess = QueryHeader(request, HTTP_QUERY_CONTENT_LENGTH, length);
    HTTPFileSize = HTTPSuccess ? ContentLengthOf(length) : 0;
    const THTTPHeaderInfoEvent& onHeaderInfo = Handler(hooks.headerInfo, OnHeaderInfo);
    if (!onHeaderInfo) return;
    HTTPRawHeadersCRLF = HeaderOrEmpty(request, HTTP_QUERY_RAW_HEADERS_CRLF);
    HTTPContentLanguage = HeaderOrEmpty(request, HTTP_QUERY_CONTENT_LANGUAGE);
    HTTPContentEncoding = HeaderOrEmpty(request, HTTP_QUERY_CONTENT_ENCODING);
    HTTPLocation = HeaderOrEmpty(request, HTTP_QUERY_LOCATION);
    HTTPDate = HeaderDate(request, HTTP_QUERY_DATE);
    HTTPLastModified = HeaderDate(request, HTTP_QUERY_LAST_MODIFIED);
    HTTPExpires = HeaderDate(request, HTTP_QUERY_EXPIRES);
    OnMainThread([&] {
        onHeaderInfo(this, HTTPRawHeadersCRLF, HTTPContentType, HTTPContentLanguage, HTTPContentEncoding, HTTPLocation,
                     HTTPFileSize, HTTPDate, HTTPLastModified, HTTPExpires, HTTPContinueDownload);
    });
}

void TauCustomHTTP::RequestRoutine() {
    std::shared_ptr<TransferRun> run;
    {
        std::lock_guard<std::mutex> guard(startLock_);
        run = std::move(startingRun_);
    }
    if (!run) return;
    // However the routine ends, the handles close here, on the worker.
    win::ScopeExit finish([&run] { run->Finish(); });
    try {
        const uint32_t bufferSize = static_cast<uint32_t>(transferBufferSize_);
        HTTPErrorCode = -1;
        HTTPContentType.clear();
        HTTPStartTime = ::GetTickCount();
        HTTPContinueDownload = true;
        HTTPSuccess = false;

        RequestTarget target;
        if (!ParseTarget(url_, target)) return;
        const bool fromFile = target.scheme == L"file";
        if (fromFile) {
            HTTPSuccess = OpenLocalFile(*run, target.path);
            DWORD size = 0;
            if (HTTPSuccess) run->WithFile([&](HANDLE file) { return (size = ::GetFileSize(file, nullptr)), true; });
            HTTPFileSize = size;
            HTTPErrorCode = HTTPSuccess ? 200 : 404;
        } else {
            HTTPSuccess = OpenSession(*run);
            if (!HTTPSuccess) return;
            std::wstring verb = ChooseVerb(requestMethod_, !postData_.empty(), postKind_);
            for (int redirects = 0;; ++redirects) {
                HTTPSuccess = OpenRequest(*run, target, verb);
                if (!HTTPSuccess || !SendWithAuthentication(*run, verb, bufferSize)) return;
                // Past the limit the redirect answer itself ends the transfer.
                if (redirects == kMaxRedirects || !FollowRedirect(*run, target, verb)) break;
            }
            ReadResponseHeaders(*run);
            if (!HTTPContinueDownload) return;
        }

        if (!OpenSink()) return;
        ReadBody(*run, bufferSize, fromFile);
        HTTPSuccess = HTTPErrorCode == 200 && !sinkFailed_;
        if (HTTPSuccess && HTTPFileSize != 0 && HTTPStream) HTTPSuccess = HTTPFileSize == HTTPBytesTransferred;
    } catch (const std::exception&) {
        // Whatever the routine had reached, a transfer that raised did not
        // succeed; the thread reports the error itself.
        HTTPSuccess = false;
        throw;
    }
}

bool TauCustomHTTP::SendUploadBody(TransferRun& run, uint32_t bufferSize) {
    HINTERNET request = run.request.get();
    // Kept in the run: the library reads them while a call is pending.
    run.body = uploadBody_;
    run.headers = HTTPUploadRequestHeader;
    HTTPFileSize = static_cast<uint32_t>(run.body.size());
    INTERNET_BUFFERSW& buffers = run.uploadBuffers;
    buffers = {};
    buffers.dwStructSize = sizeof buffers;
    buffers.lpcszHeader = run.headers.c_str();
    buffers.dwHeadersLength = buffers.dwHeadersTotal = static_cast<DWORD>(run.headers.size());
    buffers.dwBufferTotal = HTTPFileSize;
    const bool sent = run.Complete([&] { return ::HttpSendRequestExW(request, &buffers, nullptr, HSR_INITIATE, 0); });
    if (sent) {
        HTTPBytesTransferred = 0;
        while (HTTPBytesTransferred < HTTPFileSize) {
            DWORD chunk = std::min(bufferSize, HTTPFileSize - HTTPBytesTransferred);
            run.bytesDone = 0;
            if (!run.Complete([&] {
                    return ::InternetWriteFile(request, run.body.data() + HTTPBytesTransferred, chunk, &run.bytesDone);
                }) ||
                run.bytesDone == 0)
                break;
            HTTPBytesTransferred += run.bytesDone;
            ReportStatuses(run);
            if (OnUploadProgress) {
                OnMainThread([&] {
                    UpdateProgress();
                    OnUploadProgress(this, HTTPFileSize, HTTPBytesTransferred, Progress.elapsedTime,
                                     Progress.estimatedTime, Progress.percentsDone, Progress.transferRate);
                });
            }
        }
    }
    HTTPStream.reset();
    if (sent) run.Complete([&] { return ::HttpEndRequestW(request, nullptr, 0, 0); });
    return sent && !run.Cancelled();
}

bool TauCustomHTTP::OpenLocalFile(TransferRun& run, const std::wstring& path) {
    return run.OpenFile([&] {
        return ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    });
}

bool TauCustomHTTP::OpenSink() {
    sinkFailed_ = false;
    if (HTTPSuccess && !outputFileName_.empty()) {
        try {
            if (!::DeleteFileW(outputFileName_.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND)
                win::RaiseLastError();
            const DWORD attributes = hideOutputFile_ ? FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY
                                                     : FILE_ATTRIBUTE_NORMAL;
            HTTPStream = std::make_unique<FileStream>(outputFileName_, GENERIC_WRITE, 0, CREATE_NEW, attributes);
        } catch (const win::Error&) {
            HTTPStream.reset();
            return false;
        }
        return true;
    }
    auto memory = std::make_unique<MemoryStream>();
    if (HTTPSuccess) {
        try {
            memory->Reserve(HTTPFileSize);
        } catch (const std::exception&) {
            // An announced length beyond what memory holds cannot be
            // received; the transfer fails as a body that did not arrive.
            sinkFailed_ = true;
        }
    }
    HTTPStream = std::move(memory);
    return true;
}

void TauCustomHTTP::ReadBody(TransferRun& run, uint32_t bufferSize, bool fromFile) {
    HTTPBytesTransferred = 0;
    if (sinkFailed_) return;
    run.buffer.assign(bufferSize, 0);
    const THTTPProgressEvent& onProgress = Handler(hooks.progress, OnProgress);
    for (;;) {
        run.bytesDone = 0;
        const bool ok = fromFile ? run.WithFile([&](HANDLE file) {
            return ::ReadFile(file, run.buffer.data(), bufferSize, &run.bytesDone, nullptr) != FALSE;
        })
                                 : run.Complete([&] {
                                       return ::InternetReadFile(run.request.get(), run.buffer.data(), bufferSize,
                                                                 &run.bytesDone);
                                   });
        const DWORD read = run.bytesDone;
        if (!ok || read == 0) break;
        if (hooks.received && !hooks.received(run.buffer.data(), read)) {
            sinkFailed_ = true;
            break;
        }
        try {
            HTTPStream->Write(run.buffer.data(), read);
        } catch (const std::exception&) {
            // A full disk or exhausted memory: what arrived is not the body.
            sinkFailed_ = true;
            break;
        }
        HTTPBytesTransferred += read;
        ReportStatuses(run);
        if (onProgress) {
            OnMainThread([&] {
                UpdateProgress();
                onProgress(this, HTTPContentType, HTTPFileSize, HTTPBytesTransferred, Progress.elapsedTime,
                           Progress.estimatedTime, Progress.percentsDone, Progress.transferRate, HTTPStream.get());
            });
        }
    }
}

} // namespace au
