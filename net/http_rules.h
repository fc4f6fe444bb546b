// The decisions of one HTTP transfer that need no platform call: the verb,
// the request flags and extra headers, the realm of a password request, the
// progress figures, the status texts and which events close a transfer.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace au {

enum TauHTTPAccessType { atPreconfig, atDirect, atUseProxy };
enum TauHTTPRequestMethod { rmAutoDetect, rmGET, rmPOST };
enum TauHTTPPOSTMethod { pmFormURLEncoded, pmMultipartFormData };

inline constexpr uint32_t kOpenTypePreconfig = 0, kOpenTypeDirect = 1, kOpenTypeProxy = 3;
inline constexpr uint32_t kFlagOffline = 0x01000000;
inline constexpr uint32_t kFlagSecure = 0x00800000;
inline constexpr uint32_t kFlagsNoCache = 0x84000100;  // reload, no cache write, pragma no-cache
inline constexpr uint32_t kFlagNoCookies = 0x00080000;

uint32_t OpenType(TauHTTPAccessType access);
// "server:port", or empty when the session does not name its proxy.
std::wstring ProxyText(TauHTTPAccessType access, const std::wstring& server, int port);
std::wstring ChooseVerb(TauHTTPRequestMethod method, bool hasPostData, TauHTTPPOSTMethod postKind);
uint32_t RequestFlags(const std::wstring& scheme, bool useCache, bool useCookies);
// Every added line with CR LF, then the range line when either end is set.
std::wstring ExtraHeaderText(const std::vector<std::wstring>& lines, int64_t startRange, int64_t endRange);
// Redirects are followed up to this many in one transfer; past it the last
// redirect answer ends the transfer as any other status does.
inline constexpr int kMaxRedirects = 20;
// The statuses whose Location is followed: 301, 302, 303 and 307.
bool IsFollowedRedirect(int32_t status);
// 303, and 301 or 302 after anything but GET or HEAD, go on with GET; 307
// keeps the verb.
std::wstring VerbAfterRedirect(int32_t status, const std::wstring& verb);
// The realm of a WWW-Authenticate value: what follows the first `="` without
// the value's last character, or the whole value when it has no `="`.
std::wstring RealmOf(const std::wstring& authenticate);
// Leading decimal digits of a header value; 0 when it starts with none.
// Values past the type's range saturate rather than wrap.
int32_t StatusCodeOf(const std::wstring& text);
uint32_t ContentLengthOf(const std::wstring& text);

struct ProgressFigures {
    uint8_t percentsDone = 0;
    uint32_t elapsedTime = 0;      // seconds
    int32_t estimatedTime = 0;     // seconds; negative when the size is unknown, at most INT32_MAX
    float transferRate = 0;        // kilobytes per second
};
ProgressFigures ComputeProgress(uint32_t fileSize, uint32_t bytesTransferred, uint32_t elapsedMilliseconds);

// The text OnStatusChanged carries for a notification code.
const wchar_t* StatusText(uint32_t statusId);

// Which events the completion of a transfer fires, in order.
enum class CompletionEvent { AnyError, Done, ConnLost, HostUnreachable, HTTPError, DoneInterrupted };
struct Completion {
    std::vector<CompletionEvent> events;
    bool deleteOutputFile = false;  // after the events, for a failed file sink
};
Completion DecideCompletion(bool continueDownload, bool success, bool hasStream, bool streamIsFile,
                            int32_t errorCode);

// The stored login record: a length byte L, then L bytes scrambled with one
// key byte made from L (the user name's length, its characters, the
// password's characters). Names are bytes already; nullopt when together
// they do not fit in 254 bytes.
std::optional<std::string> EncodeLoginRecord(const std::string& userName, const std::string& password);
// False for a record that is cut short or whose name length overruns it.
bool DecodeLoginRecord(const std::string& record, std::string& userName, std::string& password);

} // namespace au
