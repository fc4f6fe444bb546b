// What aupublish decides without the platform: its command line, the text
// of its private key file, how an information file is stripped of an
// earlier signing and given a new one, and the lines it reports. The
// cryptography and the files are aupublish.cpp's.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "upgrade/info_file.h"
#include "upgrade/signed_info.h"

namespace au {

enum class PublishCommand { kKeygen, kSign, kVerify };

// A --file option: the address exactly as the information file writes it,
// and the local file that will be served under it.
struct FileOption {
    std::wstring address;
    std::wstring path;
};

struct PublishArgs {
    PublishCommand command = PublishCommand::kKeygen;
    std::wstring key;       // keygen, sign: the private key file; verify: the public key's Base64
    std::wstring infoFile;  // sign, verify
    std::vector<std::wstring> fileOptions;  // "<address>=<path>" as given; see MatchFileOption
    std::optional<std::wstring> dir;
    int validDays = 30;
};
inline constexpr int kMaxValidDays = 3650;

struct ParsedArgs {
    std::optional<PublishArgs> args;
    std::wstring error;  // when args is empty; empty too for no arguments at all (usage)
};
// The arguments after the program's name.
ParsedArgs ParsePublishArgs(const std::vector<std::wstring>& args);
extern const char kPublishUsage[];

// The --file option naming one of the addresses, split where that address
// ends: an address may hold "=" itself, so the split follows the addresses
// the file has, the longest that fits. nullopt when none does.
std::optional<FileOption> MatchFileOption(std::wstring_view option, const std::vector<std::wstring>& addresses);

// The private key file: a line naming the format, then the Base64 of the
// 96-byte X, Y, d blob, each line ended by CR LF.
inline constexpr std::string_view kKeyFileHeader = "Quillet update signing key, ECDSA P-256, X Y d in Base64";
std::string KeyFileText(std::string_view blob);
enum class KeyFileFault { kNone, kNoHeader, kPublicKey, kNotBase64, kWrongLength };
struct KeyFileContent {
    KeyFileFault fault = KeyFileFault::kNone;
    std::string blob;  // 96 bytes when there is no fault
};
// A public key's Base64 where the file is expected is told apart, since it
// is the likely mix-up.
KeyFileContent ReadKeyFileText(std::string_view text);
const char* KeyFileFaultText(KeyFileFault fault);

// The information file as its author wrote it: everything from the first
// "#signature=" on, and every line that starts with "#hash<digits>=" or
// "#expires=", are taken out, as an earlier signing added them.
std::string WithoutSigning(std::string_view file);

struct FileHash {
    std::string suffix;  // of the address's entry
    FileDigest digest;
};
// What the signature will cover: the unsigned text, a line break if it
// lacks a last one, then one CR LF line per hash and the expiry.
std::string CoveredText(std::string_view unsignedText, const std::vector<FileHash>& hashes, int64_t expiry);
// The entry whose value a reader would take in place of the one appended:
// an earlier "#hash...=" or "#expires=" marker inside another line is found
// first. Empty when the covered text reads back as written.
std::string OvershadowedEntry(std::string_view covered, const std::vector<FileHash>& hashes, int64_t expiry);
std::string SignatureLine(std::string_view signature);

// "#url<digits>=" entries with a value that the numbering rule never
// reaches (InfoFileEntries), so no program downloads them: "url1", ...
std::vector<std::string> UnreadAddressKeys(std::string_view text);

// One problem line: "<tag>: <subject>: <what>", without the subject when
// there is none. The tags stay fixed for scripts; the texts may read better.
const char* ReasonTag(VerifyReason reason);
std::wstring ProblemLine(std::string_view tag, const std::wstring& subject, const std::wstring& what);
// The same for a reason the program itself would refuse the update for:
// its name, then the detail in parentheses.
std::wstring ReasonLine(VerifyReason reason, const std::wstring& subject, const std::wstring& detail = {});

} // namespace au
