// The request routine: runs on the worker thread, one per transfer, and
// leaves its outcome in the component's fields for the completion routine.
#include <algorithm>
#include <exception>
#include <new>
#include <stdexcept>
#include <vector>

#include "net/custom_http.h"
#include "net/http_date.h"
#include "net/url.h"
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

void SetTextOption(HINTERNET request, DWORD option, const std::wstring& text) {
    ::InternetSetOptionW(request, option, const_cast<wchar_t*>(text.c_str()), static_cast<DWORD>(text.size()));
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

void CALLBACK TauCustomHTTP::StatusCallback(HINTERNET, DWORD_PTR context, DWORD status, void*, DWORD) {
    auto* self = reinterpret_cast<TauCustomHTTP*>(context);
    if (self && !self->destroying_ && self->OnStatusChanged) self->OnStatusChanged(self, status, StatusText(status));
}

bool TauCustomHTTP::OpenSession() {
    const std::wstring proxy = ProxyText(proxy_->AccessType(), proxy_->ProxyServer(), proxy_->ProxyPort());
    const bool named = proxy_->AccessType() == atUseProxy;
    hSession.reset(::InternetOpenW(agent_.c_str(), OpenType(proxy_->AccessType()), named ? proxy.c_str() : nullptr,
                                   named ? NullWhenEmpty(proxy_->ProxyBypass()) : nullptr,
                                   workOffline_ ? kFlagOffline : 0));
    if (hSession) ::InternetSetStatusCallbackW(hSession.get(), &TauCustomHTTP::StatusCallback);
    return static_cast<bool>(hSession);
}

bool TauCustomHTTP::OpenRequest(const RequestTarget& target, const std::wstring& verb) {
    hRequest.reset();
    hConnect.reset(::InternetConnectW(hSession.get(), target.host.c_str(), target.port, NullWhenEmpty(target.user),
                                      NullWhenEmpty(target.password), INTERNET_SERVICE_HTTP, 0,
                                      reinterpret_cast<DWORD_PTR>(this)));
    if (!hConnect) return false;

    const wchar_t* accept[] = {acceptTypes_.c_str(), nullptr};
    // The library follows redirects without any limit, so a redirect loop
    // would never end; the routine follows them itself (FollowRedirect).
    const DWORD flags = RequestFlags(target.scheme, useCache_, useCookies_) | INTERNET_FLAG_NO_AUTO_REDIRECT;
    hRequest.reset(::HttpOpenRequestW(hConnect.get(), verb.c_str(), target.object.c_str(), nullptr,
                                      NullWhenEmpty(referer_), accept, flags, reinterpret_cast<DWORD_PTR>(this)));
    if (!hRequest) return false;

    const std::pair<DWORD, uint32_t> timeouts[] = {{INTERNET_OPTION_CONNECT_TIMEOUT, timeouts_->ConnectTimeout()},
                                                   {INTERNET_OPTION_RECEIVE_TIMEOUT, timeouts_->ReceiveTimeout()},
                                                   {INTERNET_OPTION_SEND_TIMEOUT, timeouts_->SendTimeout()}};
    for (auto [option, value] : timeouts) {
        DWORD milliseconds = value;
        if (milliseconds) ::InternetSetOptionW(hRequest.get(), option, &milliseconds, sizeof milliseconds);
    }

    const std::wstring headers = ExtraHeaderText(addHeaders_, range_->StartRange(), range_->EndRange());
    return headers.empty() || ::HttpAddRequestHeadersW(hRequest.get(), headers.c_str(),
                                                       static_cast<DWORD>(headers.size()), HTTP_ADDREQ_FLAG_ADD);
}

bool TauCustomHTTP::SendWithAuthentication(const std::wstring& verb, uint32_t bufferSize) {
    for (;;) {
        HTTPTryAgain = false;
        if (verb == L"GET") {
            HTTPSuccess = ::HttpSendRequestW(hRequest.get(), nullptr, 0, nullptr, 0) != FALSE;
        } else if (postKind_ == pmFormURLEncoded) {
            static const wchar_t kFormHeader[] = L"Content-Type: application/x-www-form-urlencoded";
            std::string body = win::ToAnsi(postData_);
            HTTPSuccess = ::HttpSendRequestW(hRequest.get(), kFormHeader, 47, body.empty() ? nullptr : body.data(),
                                             static_cast<DWORD>(body.size())) != FALSE;
        } else {
            HTTPSuccess = SendUploadBody(bufferSize);
        }
        if (!HTTPSuccess) return false;

        std::wstring status;
        HTTPSuccess = QueryHeader(hRequest.get(), HTTP_QUERY_STATUS_CODE, status);
        if (!HTTPSuccess) return false;
        HTTPErrorCode = StatusCodeOf(status);

        if (HTTPErrorCode == HTTP_STATUS_DENIED && OnPasswordRequest) {
            std::wstring authenticate;
            HTTPSuccess = QueryHeader(hRequest.get(), HTTP_QUERY_WWW_AUTHENTICATE, authenticate);
            HTTPContentType = HTTPSuccess ? authenticate : std::wstring{};
            const std::wstring realm = RealmOf(HTTPContentType);
            OnMainThread([&] { OnPasswordRequest(this, realm, HTTPTryAgain); });
            SetTextOption(hRequest.get(), INTERNET_OPTION_USERNAME, Username());
            SetTextOption(hRequest.get(), INTERNET_OPTION_PASSWORD, Password());
        } else if (HTTPErrorCode == HTTP_STATUS_PROXY_AUTH_REQ && OnProxyAuthenticationRequest) {
            OnMainThread([&] { OnProxyAuthenticationRequest(this, HTTPProxyUsername, HTTPProxyPassword, HTTPTryAgain); });
            SetTextOption(hRequest.get(), INTERNET_OPTION_PROXY_USERNAME, HTTPProxyUsername);
            SetTextOption(hRequest.get(), INTERNET_OPTION_PROXY_PASSWORD, HTTPProxyPassword);
        }
        if (!HTTPTryAgain) return true;
    }
}

bool TauCustomHTTP::FollowRedirect(RequestTarget& target, std::wstring& verb) {
    if (!IsFollowedRedirect(HTTPErrorCode)) return false;
    std::wstring location;
    if (!QueryHeader(hRequest.get(), HTTP_QUERY_LOCATION, location)) return false;
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

void TauCustomHTTP::ReadResponseHeaders() {
    QueryHeader(hRequest.get(), HTTP_QUERY_CONTENT_TYPE, HTTPContentType);
    std::wstring length;
    HTTPSuccess = QueryHeader(hRequest.get(), HTTP_QUERY_CONTENT_LENGTH, length);
    HTTPFileSize = HTTPSuccess ? ContentLengthOf(length) : 0;
    if (!OnHeaderInfo) return;
    HTTPRawHeadersCRLF = HeaderOrEmpty(hRequest.get(), HTTP_QUERY_RAW_HEADERS_CRLF);
    HTTPContentLanguage = HeaderOrEmpty(hRequest.get(), HTTP_QUERY_CONTENT_LANGUAGE);
    HTTPContentEncoding = HeaderOrEmpty(hRequest.get(), HTTP_QUERY_CONTENT_ENCODING);
    HTTPLocation = HeaderOrEmpty(hRequest.get(), HTTP_QUERY_LOCATION);
    HTTPDate = HeaderDate(hRequest.get(), HTTP_QUERY_DATE);
    HTTPLastModified = HeaderDate(hRequest.get(), HTTP_QUERY_LAST_MODIFIED);
    HTTPExpires = HeaderDate(hRequest.get(), HTTP_QUERY_EXPIRES);
    OnMainThread([&] {
        OnHeaderInfo(this, HTTPRawHeadersCRLF, HTTPContentType, HTTPContentLanguage, HTTPContentEncoding, HTTPLocation,
                     HTTPFileSize, HTTPDate, HTTPLastModified, HTTPExpires, HTTPContinueDownload);
    });
}

void TauCustomHTTP::RequestRoutine() {
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
            hFile.reset(::CreateFileW(target.path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            HTTPSuccess = static_cast<bool>(hFile);
            HTTPFileSize = HTTPSuccess ? ::GetFileSize(hFile.get(), nullptr) : 0;
            HTTPErrorCode = HTTPSuccess ? 200 : 404;
        } else {
            HTTPSuccess = OpenSession();
            if (!HTTPSuccess) return;
            std::wstring verb = ChooseVerb(requestMethod_, !postData_.empty(), postKind_);
            for (int redirects = 0;; ++redirects) {
                HTTPSuccess = OpenRequest(target, verb);
                if (!HTTPSuccess || !SendWithAuthentication(verb, bufferSize)) return;
                // Past the limit the redirect answer itself ends the transfer.
                if (redirects == kMaxRedirects || !FollowRedirect(target, verb)) break;
            }
            ReadResponseHeaders();
            if (!HTTPContinueDownload) return;
        }

        if (!OpenSink()) return;
        ReadBody(bufferSize, fromFile);
        HTTPSuccess = HTTPErrorCode == 200 && !sinkFailed_;
        if (HTTPSuccess && HTTPFileSize != 0 && HTTPStream) HTTPSuccess = HTTPFileSize == HTTPBytesTransferred;
    } catch (const std::exception&) {
        // Whatever the routine had reached, a transfer that raised did not
        // succeed; the thread reports the error itself.
        HTTPSuccess = false;
        throw;
    }
}

bool TauCustomHTTP::SendUploadBody(uint32_t bufferSize) {
    HTTPFileSize = static_cast<uint32_t>(uploadBody_.size());
    INTERNET_BUFFERSW buffers{};
    buffers.dwStructSize = sizeof buffers;
    buffers.lpcszHeader = HTTPUploadRequestHeader.c_str();
    buffers.dwHeadersLength = buffers.dwHeadersTotal = static_cast<DWORD>(HTTPUploadRequestHeader.size());
    buffers.dwBufferTotal = HTTPFileSize;
    const bool sent = ::HttpSendRequestExW(hRequest.get(), &buffers, nullptr, HSR_INITIATE, 0) != FALSE;
    if (sent) {
        HTTPBytesTransferred = 0;
        while (HTTPBytesTransferred < HTTPFileSize) {
            DWORD chunk = std::min(bufferSize, HTTPFileSize - HTTPBytesTransferred);
            DWORD written = 0;
            if (!::InternetWriteFile(hRequest.get(), uploadBody_.data() + HTTPBytesTransferred, chunk, &written) ||
                written == 0)
                break;
            HTTPBytesTransferred += written;
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
    ::HttpEndRequestW(hRequest.get(), nullptr, 0, 0);
    return sent;
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

void TauCustomHTTP::ReadBody(uint32_t bufferSize, bool fromFile) {
    HTTPBytesTransferred = 0;
    if (sinkFailed_ || (fromFile && !hFile)) return;
    HTTPData.assign(bufferSize, 0);
    for (;;) {
        DWORD read = 0;
        BOOL ok = fromFile ? ::ReadFile(hFile.get(), HTTPData.data(), bufferSize, &read, nullptr)
                        : ::InternetReadFile(hRequest.get(), HTTPData.data(), bufferSize, &read);
        if (!ok || read == 0) break;
        try {
            HTTPStream->Write(HTTPData.data(), read);
        } catch (const std::exception&) {
            // A full disk or exhausted memory: what arrived is not the body.
            sinkFailed_ = true;
            break;
        }
        HTTPBytesTransferred += read;
        if (OnProgress) {
            OnMainThread([&] {
                UpdateProgress();
                OnProgress(this, HTTPContentType, HTTPFileSize, HTTPBytesTransferred, Progress.elapsedTime,
                           Progress.estimatedTime, Progress.percentsDone, Progress.transferRate, HTTPStream.get());
            });
        }
    }
}

} // namespace au
