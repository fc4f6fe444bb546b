#include "net/http_rules.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "net/percent.h"

namespace au {
namespace {

// The key byte of the login record; any fixed byte serves, the record only
// keeps the names from being read at a glance.
constexpr uint8_t kLoginConstant = 0xA7;

uint8_t LoginKey(uint8_t length) { return static_cast<uint8_t>(length * 31u + kLoginConstant); }

template <typename T>
T LeadingNumber(const std::wstring& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
    uint64_t value = 0;
    bool any = false;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        any = true;
        value = value * 10 + static_cast<uint64_t>(text[i] - L'0');
        if (value > std::numeric_limits<T>::max()) return std::numeric_limits<T>::max();
    }
    return any ? static_cast<T>(value) : T{0};
}

} // namespace

uint32_t OpenType(TauHTTPAccessType access) {
    switch (access) {
    case atDirect: return kOpenTypeDirect;
    case atUseProxy: return kOpenTypeProxy;
    default: return kOpenTypePreconfig;
    }
}

std::wstring ProxyText(TauHTTPAccessType access, const std::wstring& server, int port) {
    if (access != atUseProxy) return {};
    return server + L":" + std::to_wstring(port);
}

std::wstring ChooseVerb(TauHTTPRequestMethod method, bool hasPostData, TauHTTPPOSTMethod postKind) {
    if (method == rmGET) return L"GET";
    if (method == rmPOST) return L"POST";
    return hasPostData || postKind == pmMultipartFormData ? L"POST" : L"GET";
}

uint32_t RequestFlags(const std::wstring& scheme, bool useCache, bool useCookies) {
    uint32_t flags = 0;
    if (scheme == L"https") flags |= kFlagSecure;
    if (!useCache) flags |= kFlagsNoCache;
    if (!useCookies) flags |= kFlagNoCookies;
    return flags;
}

std::wstring ExtraHeaderText(const std::vector<std::wstring>& lines, int64_t startRange, int64_t endRange) {
    std::wstring text;
    for (const auto& line : lines) text += line + L"\r\n";
    if (startRange != 0 || endRange != 0) {
        text += L"RANGE: bytes=" + std::to_wstring(startRange) + L"-";
        if (endRange != 0) text += std::to_wstring(endRange);
        text += L"\r\n";
    }
    return text;
}

bool IsFollowedRedirect(int32_t status) { return status == 301 || status == 302 || status == 303 || status == 307; }

std::wstring VerbAfterRedirect(int32_t status, const std::wstring& verb) {
    if (status == 303) return L"GET";
    if ((status == 301 || status == 302) && verb != L"GET" && verb != L"HEAD") return L"GET";
    return verb;
}

std::wstring RealmOf(const std::wstring& authenticate) {
    size_t pair = authenticate.find(L"=\"");
    if (pair == std::wstring::npos) return authenticate;
    std::wstring rest = authenticate.substr(pair + 2);
    if (!rest.empty()) rest.pop_back();
    return rest;
}

int32_t StatusCodeOf(const std::wstring& text) { return LeadingNumber<int32_t>(text); }
uint32_t ContentLengthOf(const std::wstring& text) { return LeadingNumber<uint32_t>(text); }

ProgressFigures ComputeProgress(uint32_t fileSize, uint32_t bytesTransferred, uint32_t elapsedMilliseconds) {
    ProgressFigures figures;
    figures.percentsDone = CalcPercent(bytesTransferred, fileSize);
    figures.elapsedTime = elapsedMilliseconds / 1000;
    const double elapsed = figures.elapsedTime;
    double estimate = -elapsed;
    if (bytesTransferred != 0) estimate = std::nearbyint(double(fileSize) / bytesTransferred * elapsed) - elapsed;
    // A length of gigabytes after a few bytes estimates past 32 bits; such a
    // wait is "as long as can be told", not a wrapped or undefined number.
    estimate = std::clamp(estimate, double{INT32_MIN}, double{INT32_MAX});
    figures.estimatedTime = static_cast<int32_t>(estimate);
    double rate = bytesTransferred / 1024.0;
    if (figures.elapsedTime != 0) rate /= elapsed;
    figures.transferRate = static_cast<float>(rate);
    return figures;
}

const wchar_t* StatusText(uint32_t statusId) {
    switch (statusId) {
    case 10: return L"Resolving name";
    case 11: return L"Name resolved";
    case 20: return L"Connecting to server";
    case 21: return L"Connected";
    case 30: return L"Sending Request";
    case 31: return L"Request sent";
    case 40: return L"Receiving response";
    case 41: return L"Response received";
    case 42: return L"CTL Response received";
    case 43: return L"Prefetch";
    case 50: return L"Closing connection";
    case 51: return L"Connection closed";
    case 60: return L"Handle created";
    case 70: return L"Handle closing";
    case 100: return L"Request complete";
    case 110: return L"Redirect";
    case 120: return L"Intermediate response";
    case 200: return L"State change";
    default: return L"Unknown status";
    }
}

Completion DecideCompletion(bool continueDownload, bool success, bool hasStream, bool streamIsFile,
                            int32_t errorCode) {
    Completion result;
    if (!continueDownload) {
        result.events.push_back(CompletionEvent::DoneInterrupted);
        return result;
    }
    if (success && !hasStream) {
        result.events.push_back(CompletionEvent::AnyError);
        return result;
    }
    if (success) {
        result.events.push_back(CompletionEvent::Done);
        return result;
    }
    result.events.push_back(CompletionEvent::AnyError);
    if (errorCode == 200) result.events.push_back(CompletionEvent::ConnLost);
    else if (errorCode == -1) result.events.push_back(CompletionEvent::HostUnreachable);
    else result.events.push_back(CompletionEvent::HTTPError);
    result.deleteOutputFile = streamIsFile;
    return result;
}

std::optional<std::string> EncodeLoginRecord(const std::string& userName, const std::string& password) {
    const size_t length = 1 + userName.size() + password.size();
    if (userName.size() > 255 || length > 255) return std::nullopt;
    std::string record(1, static_cast<char>(length));
    record += static_cast<char>(userName.size());
    record += userName;
    record += password;
    const uint8_t key = LoginKey(static_cast<uint8_t>(length));
    for (size_t i = 1; i < record.size(); ++i) record[i] = static_cast<char>(static_cast<uint8_t>(record[i]) ^ key);
    return record;
}

bool DecodeLoginRecord(const std::string& record, std::string& userName, std::string& password) {
    if (record.empty()) return false;
    const auto length = static_cast<uint8_t>(record[0]);
    if (length == 0 || record.size() < size_t{1} + length) return false;
    const uint8_t key = LoginKey(length);
    std::string plain = record.substr(1, length);
    for (auto& c : plain) c = static_cast<char>(static_cast<uint8_t>(c) ^ key);
    const auto nameLength = static_cast<uint8_t>(plain[0]);
    if (size_t{1} + nameLength > plain.size()) return false;
    userName = plain.substr(1, nameLength);
    password = plain.substr(1 + nameLength);
    return true;
}

} // namespace au
