// What a server sends and the transfer rules read: header numbers (status,
// Content-Length), the realm of WWW-Authenticate, the status notification
// codes, the progress figures built on an announced length, the redirect
// decisions, and the stored login record read back. A number must be the
// value its digits say, or the largest one when it does not fit: a length
// that wrapped round would size the download wrongly. Input: the whole input
// is the header text (UTF-8, other bytes one character each); its first
// bytes also serve as the numbers and as a stored record.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <limits>
#include <optional>
#include <string>

#include "fuzz_check.h"
#include "fuzz_input.h"
#include "net/http_rules.h"
#include "net/percent.h"
#include "net/text.h"

namespace {

// The digits as written, without leading zeros ("" for zero).
std::string SignificantDigits(const std::wstring& text, size_t& i) {
    std::string digits;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i)
        if (!digits.empty() || text[i] != L'0') digits += static_cast<char>(text[i]);
    return digits;
}

// Whether the decimal digits (no leading zeros) name more than `limit`,
// judged on the text so nothing can wrap on the way.
bool Exceeds(const std::string& digits, uint64_t limit) {
    const std::string max = std::to_string(limit);
    return digits.size() != max.size() ? digits.size() > max.size() : digits > max;
}

// A header value's leading number as its header promises it: blanks and tabs
// skipped, then the digits; 0 without any, the type's largest past its range.
template <typename T>
T LeadingNumberOracle(const std::wstring& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
    const std::string digits = SignificantDigits(text, i);
    if (digits.empty()) return 0;
    if (Exceeds(digits, std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
    return static_cast<T>(std::stoull(digits));
}

// ParseInt as text.h describes it: leading blanks, a sign, digits to the end,
// and a value that fits 32 bits.
std::optional<int32_t> ParseIntOracle(const std::wstring& text) {
    size_t i = 0;
    while (i < text.size() && text[i] == L' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    const size_t first = i;
    const std::string digits = SignificantDigits(text, i);
    if (i == first || i != text.size()) return std::nullopt;
    if (Exceeds(digits, negative ? uint64_t{1} << 31 : uint64_t{INT32_MAX})) return std::nullopt;
    const int64_t magnitude = digits.empty() ? 0 : std::stoll(digits);
    return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

uint32_t Word(const uint8_t* data, size_t size, size_t at) {
    uint32_t w = 0;
    for (size_t k = 0; k < 4; ++k) w = (w << 8) | (at + k < size ? data[at + k] : 0u);
    return w;
}

// Another text read in between, so a reading that kept something from the
// last one would show.
void ReadOtherNumbers() {
    (void)au::ContentLengthOf(L" 4294967296");
    (void)au::StatusCodeOf(L"404 Not Found");
    (void)au::ParseInt(L"-17");
}

void CheckNumbers(const std::wstring& text) {
    const uint32_t length = au::ContentLengthOf(text);
    const int32_t status = au::StatusCodeOf(text);
    const auto parsed = au::ParseInt(text);
    ReadOtherNumbers();
    FUZZ_CHECK(length == au::ContentLengthOf(text), "the same length twice");
    FUZZ_CHECK(status == au::StatusCodeOf(text), "the same status twice");
    FUZZ_CHECK(parsed == au::ParseInt(text), "the same integer twice");
    FUZZ_CHECK(length == LeadingNumberOracle<uint32_t>(text), "Content-Length is the value of its digits, saturated");
    FUZZ_CHECK(status == LeadingNumberOracle<int32_t>(text), "a status is the value of its digits, saturated");
    FUZZ_CHECK(parsed == ParseIntOracle(text), "an integer is the value of its digits, or none past 32 bits");
}

void CheckRealm(const std::wstring& header) {
    const std::wstring realm = au::RealmOf(header);
    (void)au::RealmOf(L"Digest realm=\"other\", nonce=\"1\"");
    FUZZ_CHECK(realm == au::RealmOf(header), "the same realm twice");
    FUZZ_CHECK(header.find(realm) != std::wstring::npos, "a realm is a piece of the header");
    const size_t pair = header.find(L"=\"");
    if (pair == std::wstring::npos) {
        FUZZ_CHECK(realm == header, "without =\" the realm is the whole value");
    } else {
        const size_t from = pair + 2, count = header.size() - from;
        FUZZ_CHECK(realm == header.substr(from, count ? count - 1 : 0),
                   "the realm follows the first =\" and leaves out the last character");
    }
}

void CheckStatusText(uint32_t id) {
    const wchar_t* text = au::StatusText(id);
    FUZZ_CHECK(text != nullptr && *text != L'\0', "every status code has a text");
    FUZZ_CHECK(std::wcscmp(text, au::StatusText(id)) == 0, "the same text twice");
}

void CheckProgress(uint32_t fileSize, uint32_t done, uint32_t milliseconds) {
    const auto figures = au::ComputeProgress(fileSize, done, milliseconds);
    const auto again = au::ComputeProgress(fileSize, done, milliseconds);
    FUZZ_CHECK(figures.percentsDone == again.percentsDone && figures.estimatedTime == again.estimatedTime &&
                   figures.elapsedTime == again.elapsedTime &&
                   std::memcmp(&figures.transferRate, &again.transferRate, sizeof(float)) == 0,
               "the same figures twice");
    FUZZ_CHECK(figures.percentsDone == au::CalcPercent(done, fileSize), "the percentage is CalcPercent's");
    FUZZ_CHECK(figures.elapsedTime == milliseconds / 1000, "elapsed time in whole seconds");
    FUZZ_CHECK(std::isfinite(figures.transferRate) && figures.transferRate >= 0, "a rate is a finite amount");
    // The documented formula, then clamped: an estimate past 32 bits (a
    // length of gigabytes after a byte or two) is the nearest end of the
    // range, never a wrapped or undefined one.
    const double elapsed = milliseconds / 1000;
    double estimate = -elapsed;
    if (done != 0) estimate = std::nearbyint(static_cast<double>(fileSize) / done * elapsed) - elapsed;
    if (estimate > INT32_MAX) estimate = INT32_MAX;
    if (estimate < INT32_MIN) estimate = INT32_MIN;
    FUZZ_CHECK(figures.estimatedTime == static_cast<int32_t>(estimate), "the estimate is the rounded time left, saturated");
    if (done != 0 && done <= fileSize) FUZZ_CHECK(figures.estimatedTime >= 0, "time is left while bytes are");
}

void CheckRedirect(int32_t status, const std::wstring& verb) {
    const bool followed = au::IsFollowedRedirect(status);
    FUZZ_CHECK(followed == (status == 301 || status == 302 || status == 303 || status == 307),
               "only 301, 302, 303 and 307 are followed");
    const std::wstring next = au::VerbAfterRedirect(status, verb);
    FUZZ_CHECK(next == verb || next == L"GET", "a redirect keeps the verb or goes on with GET");
    if (status == 307) FUZZ_CHECK(next == verb, "307 keeps the verb");
}

void CheckLoginRecord(const std::string& bytes) {
    std::string user, password;
    if (au::DecodeLoginRecord(bytes, user, password)) {
        const size_t length = static_cast<uint8_t>(bytes[0]);
        std::string user2, password2;
        FUZZ_CHECK(au::DecodeLoginRecord(bytes, user2, password2) && user2 == user && password2 == password,
                   "the same record read twice gives the same names");
        const auto again = au::EncodeLoginRecord(user, password);
        FUZZ_CHECK(again && *again == bytes.substr(0, 1 + length), "a record read back is written the same again");
    }
    // The names as the target's own halves: they must come back as they went.
    const size_t cut = bytes.find('\n');
    const std::string name = bytes.substr(0, cut), secret = cut == std::string::npos ? "" : bytes.substr(cut + 1);
    const auto record = au::EncodeLoginRecord(name, secret);
    FUZZ_CHECK(record.has_value() == (name.size() + secret.size() <= 254), "names up to 254 bytes fit a record");
    if (record) {
        FUZZ_CHECK(au::DecodeLoginRecord(*record, user, password) && user == name && password == secret,
                   "a record gives back the names written into it");
        if (!record->empty()) {
            const std::string shorter = record->substr(0, record->size() - 1);
            FUZZ_CHECK(!au::DecodeLoginRecord(shorter, user, password), "a record cut short is refused");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring text = fuzz::WideOfBytes(data, size);
    CheckNumbers(text);
    CheckRealm(text);
    CheckStatusText(Word(data, size, 0));
    CheckProgress(Word(data, size, 0), Word(data, size, 4), Word(data, size, 8));
    CheckRedirect(static_cast<int32_t>(Word(data, size, 0)), text);
    CheckRedirect(static_cast<int32_t>(au::StatusCodeOf(text)), text.substr(text.size() / 2));
    CheckLoginRecord(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
