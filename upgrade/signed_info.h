// The signed form of the update information file, read only when the
// program carries its publisher's public key. The publisher adds, after the
// entries it already has:
//   #hash<suffix>=sha256:<64 lower-case hex digits>:<size in bytes>
//     for each file address #url<suffix>=, the same suffix;
//   #expires=YYYY-MM-DDTHH:MM:SSZ
//   #signature=<Base64 of the 64-byte ECDSA P-256 signature, r then s>
// The signature covers every byte before the first "#signature=". Entries
// are found anywhere in the text, so nothing but line breaks may follow the
// signature's value. Free of platform headers: the cryptography is the
// caller's.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace au {

// Why a signed update was refused.
enum class VerifyReason {
    kUnsigned,             // no #signature= at all
    kBadSignature,         // not Base64 of 64 bytes, or not the key's
    kBytesAfterSignature,  // more than line breaks after the signature
    kExpired,              // #expires= passed, absent or unreadable
    kMissingHash,          // a file address without a readable #hash entry
    kSizeMismatch,         // a download longer or shorter than declared
    kHashMismatch,         // a download of the declared size with other bytes
};
const char* VerifyReasonName(VerifyReason reason);

inline constexpr std::string_view kSignatureMarker = "#signature=";
inline constexpr size_t kSignatureBytes = 64;
inline constexpr size_t kPublicPointBytes = 65;  // 0x04, X, Y
// How far the publisher's clock and ours may disagree.
inline constexpr int64_t kExpiryGraceSeconds = 5 * 60;

using Sha256Digest = std::array<uint8_t, 32>;

struct SignedText {
    std::string_view covered;  // what the signature covers: the entries to read
    std::string signature;     // its 64 bytes
};
struct SignedTextOrFault {
    std::optional<VerifyReason> fault;  // kUnsigned, kBytesAfterSignature, kBadSignature
    SignedText text;
};
// Splits the file at its first signature marker and checks the form of
// what follows; the signature itself is the caller's to verify. `covered`
// is a view into `file`.
SignedTextOrFault SplitSignedText(std::string_view file);

struct FileDigest {
    Sha256Digest sha256{};
    uint64_t size = 0;
    bool operator==(const FileDigest&) const = default;
};
// "sha256:<64 lower-case hex>:<decimal size>" exactly, or nullopt.
std::optional<FileDigest> ParseHashEntry(std::string_view value);
std::string FormatHashEntry(const FileDigest& digest);
// The key of the hash entry of the address entry "url" + suffix.
std::string HashKeyFor(std::string_view urlSuffix);

// Seconds since 1970-01-01 00:00:00 UTC of "YYYY-MM-DDTHH:MM:SSZ" exactly
// (a real date, years 1970 to 9999), or nullopt.
std::optional<int64_t> ParseExpiry(std::string_view value);
// Empty outside years 1 to 9999.
std::string FormatExpiry(int64_t secondsSince1970);
// Absent or unreadable counts as expired: a file that never expires could
// be served for ever to keep a program from its fixes.
bool HasExpired(std::optional<int64_t> expiry, int64_t nowSince1970);

// What the verified text declares for each queued address (in queue order),
// or kMissingHash when one has no readable entry.
struct DeclaredFiles {
    std::optional<VerifyReason> fault;
    std::vector<FileDigest> files;
};
DeclaredFiles DeclaredDigests(std::string_view covered, const std::vector<std::string>& urlSuffixes);

// Counts a download against its declared size as it arrives: a body that
// passes it is refused before its bytes are kept.
class DownloadAllowance {
public:
    explicit DownloadAllowance(uint64_t declared = 0) : declared_(declared) {}
    // False, and nothing counted, when `count` more bytes pass the size.
    bool Take(uint64_t count) noexcept;
    uint64_t Received() const noexcept { return received_; }
    bool Overrun() const noexcept { return overrun_; }

private:
    uint64_t declared_;
    uint64_t received_ = 0;
    bool overrun_ = false;
};

// The hex digits of the digest, lower case.
std::string HexOf(const Sha256Digest& digest);

} // namespace au
