#include "upgrade/signed_info.h"

#include <cstdio>

#include "net/date_time.h"
#include "net/form_data.h"
#include "upgrade/info_file.h"

namespace au {
namespace {

constexpr int64_t kSecondsPerDayInt = 86400;
constexpr int64_t kUnixEpochDay = 25569;  // 1970-01-01 in the program's day count

bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;  // upper case too: one text per digest
}

// Digits only, no sign, no leading zero but for "0" itself, and no overflow.
std::optional<uint64_t> Decimal(std::string_view text) {
    if (text.empty() || text.size() > 19 || (text.size() > 1 && text[0] == '0')) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value;
}

std::optional<int> Digits(std::string_view text, size_t at, size_t count) {
    int value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

} // namespace

const char* VerifyReasonName(VerifyReason reason) {
    switch (reason) {
    case VerifyReason::kUnsigned: return "the information file is not signed";
    case VerifyReason::kBadSignature: return "the signature is not the publisher's";
    case VerifyReason::kBytesAfterSignature: return "bytes follow the signature";
    case VerifyReason::kExpired: return "the information file has expired";
    case VerifyReason::kMissingHash: return "a file has no hash entry";
    case VerifyReason::kSizeMismatch: return "a file's size differs from its hash entry";
    case VerifyReason::kHashMismatch: return "a file's bytes differ from its hash entry";
    }
    return "unknown";
}

SignedTextOrFault SplitSignedText(std::string_view file) {
    SignedTextOrFault result;
    const size_t at = file.find(kSignatureMarker);
    if (at == std::string_view::npos) {
        result.fault = VerifyReason::kUnsigned;
        return result;
    }
    result.text.covered = file.substr(0, at);
    size_t end = at + kSignatureMarker.size();
    const size_t valueStart = end;
    while (end < file.size() && static_cast<unsigned char>(file[end]) >= 32) ++end;
    const std::string_view value = file.substr(valueStart, end - valueStart);
    for (size_t i = end; i < file.size(); ++i) {
        if (!IsLineBreak(file[i])) {
            result.fault = VerifyReason::kBytesAfterSignature;
            return result;
        }
    }
    const auto bytes = BytesOfBase64(value);
    if (!bytes || bytes->size() != kSignatureBytes) {
        result.fault = VerifyReason::kBadSignature;
        return result;
    }
    result.text.signature = *bytes;
    return result;
}

std::optional<FileDigest> ParseHashEntry(std::string_view value) {
    constexpr std::string_view kPrefix = "sha256:";
    if (value.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
    value.remove_prefix(kPrefix.size());
    if (value.size() < 64 + 2 || value[64] != ':') return std::nullopt;
    FileDigest digest;
    for (size_t i = 0; i < 32; ++i) {
        const int high = HexValue(value[2 * i]), low = HexValue(value[2 * i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        digest.sha256[i] = static_cast<uint8_t>(high * 16 + low);
    }
    const auto size = Decimal(value.substr(65));
    if (!size) return std::nullopt;
    digest.size = *size;
    return digest;
}

std::string HexOf(const Sha256Digest& digest) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (uint8_t b : digest) {
        hex += kHex[b >> 4];
        hex += kHex[b & 15];
    }
    return hex;
}

std::string FormatHashEntry(const FileDigest& digest) {
    return "sha256:" + HexOf(digest.sha256) + ":" + std::to_string(digest.size);
}

std::string HashKeyFor(std::string_view urlSuffix) { return "hash" + std::string(urlSuffix); }

std::optional<int64_t> ParseExpiry(std::string_view value) {
    // YYYY-MM-DDTHH:MM:SSZ
    if (value.size() != 20 || value[4] != '-' || value[7] != '-' || value[10] != 'T' || value[13] != ':' ||
        value[16] != ':' || value[19] != 'Z')
        return std::nullopt;
    const auto year = Digits(value, 0, 4), month = Digits(value, 5, 2), day = Digits(value, 8, 2);
    const auto hour = Digits(value, 11, 2), minute = Digits(value, 14, 2), second = Digits(value, 17, 2);
    if (!year || !month || !day || !hour || !minute || !second || *year < 1970) return std::nullopt;
    const auto date = EncodeDate(*year, *month, *day);
    if (!date || !EncodeTime(*hour, *minute, *second)) return std::nullopt;
    const int64_t days = static_cast<int64_t>(*date) - kUnixEpochDay;
    return days * kSecondsPerDayInt + *hour * 3600 + *minute * 60 + *second;
}

std::string FormatExpiry(int64_t secondsSince1970) {
    int64_t days = secondsSince1970 / kSecondsPerDayInt;
    int64_t rest = secondsSince1970 % kSecondsPerDayInt;
    if (rest < 0) {
        rest += kSecondsPerDayInt;
        --days;
    }
    // A whole day number is exact as the program's date-time; the time of
    // day is added in whole seconds.
    const auto date = DecodeDateTime(static_cast<DateTime>(days + kUnixEpochDay));
    if (!date) return {};
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02lld:%02lld:%02lldZ", date->year, date->month, date->day,
                  static_cast<long long>(rest / 3600), static_cast<long long>(rest / 60 % 60),
                  static_cast<long long>(rest % 60));
    return text;
}

bool HasExpired(std::optional<int64_t> expiry, int64_t nowSince1970) {
    return !expiry || nowSince1970 > *expiry + kExpiryGraceSeconds;
}

DeclaredFiles DeclaredDigests(std::string_view covered, const std::vector<std::string>& urlSuffixes) {
    DeclaredFiles declared;
    for (const auto& suffix : urlSuffixes) {
        const auto entry = InfoEntry(covered, HashKeyFor(suffix));
        const auto digest = entry ? ParseHashEntry(*entry) : std::nullopt;
        if (!digest) {
            declared.fault = VerifyReason::kMissingHash;
            declared.files.clear();
            return declared;
        }
        declared.files.push_back(*digest);
    }
    return declared;
}

bool DownloadAllowance::Take(uint64_t count) noexcept {
    if (overrun_ || count > declared_ - received_) {
        overrun_ = true;
        return false;
    }
    received_ += count;
    return true;
}

} // namespace au
