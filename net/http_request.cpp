// The request routine: runs on the worker thread, one per transfer, and
// leaves its outcome in the component's fields for the completion routine.
#include <algorithm>
#include <exception>
#include <new>
#include <stdexcept>

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

// The redirect notification carries the new address; WinINet hands a
// wide-character callback UTF-16 text where other versions hand 8-bit text,
// so the form is read from the bytes.
std::wstring RedirectTarget(const void* info, DWORD length) {
    if (!info || length == 0) return {};
    const auto* bytes = static_cast<const char*>(info);
    if (length >= 4 && length % 2 == 0 && bytes[0] != 0 && bytes[1] == 0) {
        std::wstring text(static_cast<const wchar_t*>(info), length / sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0') text.pop_back();
        return text;
    }
    std::string text(bytes, length - 1);
    return win::FromAnsi(text.c_str());
}

} // namespace

void CALLBACK TauCustomHTTP::StatusCallback(HINTERNET, DWORD_PTR context, DWORD status, void* info, DWORD length) {
    auto* self = reinterpret_cast<TauCustomHTTP*>(context);
    if (!self || self->destroying_) return;
    if (self->OnStatusChanged) self->OnStatusChanged(self, status, StatusText(status));
    if (status == INTERNET_STATUS_REDIRECT && self->OnRedirected) self->OnRedirected(self, RedirectTarget(info, length));
}

void TauCustomHTTP::RequestRoutine() {
    try {
        const uint32_t bufferSize = static_cast<uint32_t>(transferBufferSize_);
        HTTPErrorCode = -1;
        HTTPContentType.clear();
        HTTPStartTime = ::GetTickCount();
        HTTPContinueDownload = true;
        HTTPSuccess = false;

        std::wstring scheme, host, user, password, extra, path;
        uint16_t port = 0;
        if (!ParseURL(url_, scheme, host, port, user, password, extra, path)) return;
        if (user.empty()) user = Username();
        if (password.empty()) password = Password();

        if (scheme == L"file") {
            hFile.reset(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            HTTPSuccess = static_cast<bool>(hFile);
            HTTPFileSize = HTTPSuccess ? ::GetFileSize(hFile.get(), nullptr) : 0;
            HTTPErrorCode = HTTPSuccess ? 200 : 404;
        } else {
            const std::wstring proxy = ProxyText(proxy_->AccessType(), proxy_->ProxyServer(), proxy_->ProxyPort());
            const bool named = proxy_->AccessType() == atUseProxy;
            hSession.reset(::InternetOpenW(agent_.c_str(), OpenType(proxy_->AccessType()), named ? proxy.c_str() : nullptr,
                                           named ? NullWhenEmpty(proxy_->ProxyBypass()) : nullptr,
                                           workOffline_ ? kFlagOffline : 0));
            if (hSession) ::InternetSetStatusCallbackW(hSession.get(), &TauCustomHTTP::StatusCallback);
            HTTPSuccess = static_cast<bool>(hSession);
            if (!HTTPSuccess) return;

            hConnect.reset(::InternetConnectW(hSession.get(), host.c_str(), port, NullWhenEmpty(user),
                                              NullWhenEmpty(password), INTERNET_SERVICE_HTTP, 0,
                                              reinterpret_cast<DWORD_PTR>(this)));
            HTTPSuccess = static_cast<bool>(hConnect);
            if (!HTTPSuccess) return;

            const std::wstring verb = ChooseVerb(requestMethod_, !postData_.empty(), postKind_);
            const std::wstring object = path + extra;
            const wchar_t* accept[] = {acceptTypes_.c_str(), nullptr};
            // The request carries the component as its context too: the
            // library reports redirects on the request handle, and it makes
            // no callbacks for a handle whose context is 0.
            hRequest.reset(::HttpOpenRequestW(hConnect.get(), verb.c_str(), object.c_str(), nullptr,
                                              NullWhenEmpty(referer_), accept,
                                              RequestFlags(scheme, useCache_, useCookies_),
                                              reinterpret_cast<DWORD_PTR>(this)));
            HTTPSuccess = static_cast<bool>(hRequest);
            if (!HTTPSuccess) return;

            const std::pair<DWORD, uint32_t> timeouts[] = {{INTERNET_OPTION_CONNECT_TIMEOUT, timeouts_->ConnectTimeout()},
                                                           {INTERNET_OPTION_RECEIVE_TIMEOUT, timeouts_->ReceiveTimeout()},
                                                           {INTERNET_OPTION_SEND_TIMEOUT, timeouts_->SendTimeout()}};
            for (auto [option, value] : timeouts) {
                DWORD milliseconds = value;
                if (milliseconds) ::InternetSetOptionW(hRequest.get(), option, &milliseconds, sizeof milliseconds);
            }

            const std::wstring headers = ExtraHeaderText(addHeaders_, range_->StartRange(), range_->EndRange());
            if (!headers.empty()) {
                HTTPSuccess = ::HttpAddRequestHeadersW(hRequest.get(), headers.c_str(), static_cast<DWORD>(headers.size()),
                                                       HTTP_ADDREQ_FLAG_ADD) != FALSE;
                if (!HTTPSuccess) return;
            }

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
                if (!HTTPSuccess) return;

                std::wstring status;
                HTTPSuccess = QueryHeader(hRequest.get(), HTTP_QUERY_STATUS_CODE, status);
                if (!HTTPSuccess) return;
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
                    OnMainThread([&] {
                        OnProxyAuthenticationRequest(this, HTTPProxyUsername, HTTPProxyPassword, HTTPTryAgain);
                    });
                    SetTextOption(hRequest.get(), INTERNET_OPTION_PROXY_USERNAME, HTTPProxyUsername);
                    SetTextOption(hRequest.get(), INTERNET_OPTION_PROXY_PASSWORD, HTTPProxyPassword);
                }
                if (!HTTPTryAgain) break;
            }

            QueryHeader(hRequest.get(), HTTP_QUERY_CONTENT_TYPE, HTTPContentType);
            std::wstring length;
            HTTPSuccess = QueryHeader(hRequest.get(), HTTP_QUERY_CONTENT_LENGTH, length);
            HTTPFileSize = HTTPSuccess ? ContentLengthOf(length) : 0;
            if (OnHeaderInfo) {
                HTTPRawHeadersCRLF = HeaderOrEmpty(hRequest.get(), HTTP_QUERY_RAW_HEADERS_CRLF);
                HTTPContentLanguage = HeaderOrEmpty(hRequest.get(), HTTP_QUERY_CONTENT_LANGUAGE);
                HTTPContentEncoding = HeaderOrEmpty(hRequest.get(), HTTP_QUERY_CONTENT_ENCODING);
                HTTPLocation = HeaderOrEmpty(hRequest.get(), HTTP_QUERY_LOCATION);
                HTTPDate = HeaderDate(hRequest.get(), HTTP_QUERY_DATE);
                HTTPLastModified = HeaderDate(hRequest.get(), HTTP_QUERY_LAST_MODIFIED);
                HTTPExpires = HeaderDate(hRequest.get(), HTTP_QUERY_EXPIRES);
                OnMainThread([&] {
                    OnHeaderInfo(this, HTTPRawHeadersCRLF, HTTPContentType, HTTPContentLanguage, HTTPContentEncoding,
                                 HTTPLocation, HTTPFileSize, HTTPDate, HTTPLastModified, HTTPExpires,
                                 HTTPContinueDownload);
                });
                if (!HTTPContinueDownload) return;
            }
        }

        if (!OpenSink()) return;
        ReadBody(bufferSize, scheme == L"file");
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
