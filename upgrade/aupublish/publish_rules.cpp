#include "upgrade/aupublish/publish_rules.h"

#include <algorithm>
#include <set>

#include "net/form_data.h"

namespace au {
namespace {

bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::wstring Widen(std::string_view ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// The value after "=" up to the first control character, as InfoEntry reads it.
std::string_view ValueAt(std::string_view text, size_t from) {
    size_t end = from;
    while (end < text.size() && static_cast<unsigned char>(text[end]) >= 32) ++end;
    return text.substr(from, end - from);
}

// "#hash<digits>=" or "#expires=" at the start of the line.
bool IsSigningLine(std::string_view line) {
    if (line.starts_with("#expires=")) return true;
    if (!line.starts_with("#hash")) return false;
    size_t at = 5;
    while (at < line.size() && IsDigit(line[at])) ++at;
    return at < line.size() && line[at] == '=';
}

std::optional<int> Days(std::wstring_view text) {
    if (text.empty() || text.size() > 4) return std::nullopt;
    int days = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        days = days * 10 + (c - L'0');
    }
    if (days < 1 || days > kMaxValidDays) return std::nullopt;
    return days;
}

ParsedArgs Fail(std::wstring error) { return {std::nullopt, std::move(error)}; }

} // namespace

const char kPublishUsage[] =
    "usage:\n"
    "  aupublish keygen <private-key-file>\n"
    "      Makes a P-256 key pair, writes the private key into a new file that only\n"
    "      its owner may read, and prints the public key's Base64 (for\n"
    "      TauAutoUpgrader::SetPublicKey).\n"
    "  aupublish sign <private-key-file> <information-file> [--dir <folder>]\n"
    "                 [--file <address>=<path>]... [--valid-days N]\n"
    "      Replaces an earlier signing by a hash entry for every file address, an\n"
    "      expiry N days from now (default 30, 1 to 3650) and the signature. An\n"
    "      address's file is the one --file gives for it, else <folder> and the name\n"
    "      the program keeps the download under.\n"
    "  aupublish verify <public-key> <information-file> [--dir <folder>]\n"
    "                   [--file <address>=<path>]...\n"
    "      Checks the signature, the expiry and the hash entries, and with --dir or\n"
    "      --file the files themselves; one line per problem.\n"
    "exit status: 0 done, 1 the information file is not right (or was not signed),\n"
    "2 bad arguments or an unusable key or file.\n";

ParsedArgs ParsePublishArgs(const std::vector<std::wstring>& args) {
    if (args.empty()) return {};
    PublishArgs parsed;
    const std::wstring& command = args[0];
    if (command == L"keygen") parsed.command = PublishCommand::kKeygen;
    else if (command == L"sign") parsed.command = PublishCommand::kSign;
    else if (command == L"verify") parsed.command = PublishCommand::kVerify;
    else return Fail(L"unknown command '" + command + L"'");

    std::vector<std::wstring> operands;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        if (!arg.starts_with(L"--")) {
            operands.push_back(arg);
            continue;
        }
        const bool known = parsed.command != PublishCommand::kKeygen &&
                           (arg == L"--file" || arg == L"--dir" ||
                            (arg == L"--valid-days" && parsed.command == PublishCommand::kSign));
        if (!known) return Fail(L"unknown option '" + arg + L"' for " + command);
        if (i + 1 == args.size()) return Fail(arg + L" needs a value");
        const std::wstring& value = args[++i];
        if (arg == L"--file") {
            const size_t equals = value.find(L'=');
            if (equals == 0 || equals == std::wstring::npos || equals + 1 == value.size())
                return Fail(L"--file takes <address>=<path>, not '" + value + L"'");
            parsed.fileOptions.push_back(value);
        } else if (arg == L"--dir") {
            if (parsed.dir) return Fail(L"--dir is given twice");
            parsed.dir = value;
        } else {
            const auto days = Days(value);
            if (!days) return Fail(L"--valid-days takes a whole number of days from 1 to 3650, not '" + value + L"'");
            parsed.validDays = *days;
        }
    }
    const size_t wanted = parsed.command == PublishCommand::kKeygen ? 1 : 2;
    if (operands.size() != wanted) {
        const wchar_t* needs = parsed.command == PublishCommand::kKeygen ? L"<private-key-file>"
                               : parsed.command == PublishCommand::kSign ? L"<private-key-file> <information-file>"
                                                                         : L"<public-key> <information-file>";
        return Fail(command + (operands.size() < wanted ? L" needs " : L" takes only ") + needs);
    }
    parsed.key = operands[0];
    if (wanted == 2) parsed.infoFile = operands[1];
    return {std::move(parsed), {}};
}

std::optional<FileOption> MatchFileOption(std::wstring_view option, const std::vector<std::wstring>& addresses) {
    const std::wstring* best = nullptr;
    for (const auto& address : addresses)
        if (option.size() > address.size() + 1 && option.starts_with(address) && option[address.size()] == L'=' &&
            (!best || address.size() > best->size()))
            best = &address;
    if (!best) return std::nullopt;
    return FileOption{*best, std::wstring(option.substr(best->size() + 1))};
}

std::string KeyFileText(std::string_view blob) {
    return std::string(kKeyFileHeader) + "\r\n" + Base64OfBytes(blob) + "\r\n";
}

KeyFileContent ReadKeyFileText(std::string_view text) {
    while (!text.empty() && IsLineBreak(text.back())) text.remove_suffix(1);
    KeyFileContent content;
    if (!text.starts_with(kKeyFileHeader) ||
        (text.size() > kKeyFileHeader.size() && !IsLineBreak(text[kKeyFileHeader.size()]))) {
        const auto bytes = BytesOfBase64(text);
        const bool publicKey = bytes && bytes->size() == kPublicPointBytes && (*bytes)[0] == '\x04';
        content.fault = publicKey ? KeyFileFault::kPublicKey : KeyFileFault::kNoHeader;
        return content;
    }
    text.remove_prefix(kKeyFileHeader.size());
    text.remove_prefix(text.starts_with("\r\n") ? 2 : std::min<size_t>(text.size(), 1));
    auto bytes = BytesOfBase64(text);
    if (!bytes) content.fault = KeyFileFault::kNotBase64;
    else if (bytes->size() != 3 * 32) content.fault = KeyFileFault::kWrongLength;
    else content.blob = std::move(*bytes);
    return content;
}

const char* KeyFileFaultText(KeyFileFault fault) {
    switch (fault) {
    case KeyFileFault::kNone: return "a private key file";
    case KeyFileFault::kNoHeader: return "not a private key file made by aupublish keygen";
    case KeyFileFault::kPublicKey:
        return "this holds a public key; signing needs the private key file made by aupublish keygen";
    case KeyFileFault::kNotBase64: return "the private key file's key line is not Base64";
    case KeyFileFault::kWrongLength: return "the private key file's key is not 96 bytes long";
    }
    return "unknown";
}

std::string WithoutSigning(std::string_view file) {
    file = file.substr(0, file.find(kSignatureMarker));
    std::string kept;
    for (size_t at = 0; at < file.size();) {
        size_t end = at;
        while (end < file.size() && !IsLineBreak(file[end])) ++end;
        const std::string_view line = file.substr(at, end - at);
        if (end < file.size()) end += file.substr(end, 2) == "\r\n" ? 2 : 1;
        if (!IsSigningLine(line)) kept.append(file.substr(at, end - at));
        at = end;
    }
    return kept;
}

std::string CoveredText(std::string_view unsignedText, const std::vector<FileHash>& hashes, int64_t expiry) {
    std::string covered(unsignedText);
    if (!covered.empty() && !IsLineBreak(covered.back())) covered += "\r\n";
    for (const auto& hash : hashes)
        covered.append("#").append(HashKeyFor(hash.suffix)).append("=").append(FormatHashEntry(hash.digest))
            .append("\r\n");
    covered += "#expires=" + FormatExpiry(expiry) + "\r\n";
    return covered;
}

std::string OvershadowedEntry(std::string_view covered, const std::vector<FileHash>& hashes, int64_t expiry) {
    for (const auto& hash : hashes) {
        const std::string key = HashKeyFor(hash.suffix);
        if (InfoEntry(covered, key) != FormatHashEntry(hash.digest)) return "#" + key + "=";
    }
    if (InfoEntry(covered, "expires") != FormatExpiry(expiry)) return "#expires=";
    return {};
}

std::string SignatureLine(std::string_view signature) {
    return std::string(kSignatureMarker) + Base64OfBytes(signature) + "\r\n";
}

std::vector<std::string> UnreadAddressKeys(std::string_view text) {
    std::set<std::string> read;
    for (const auto& entry : InfoFileEntries(text)) read.insert(entry.suffix);
    std::vector<std::string> unread;
    std::set<std::string> seen;
    for (size_t at = text.find("#url"); at != std::string_view::npos; at = text.find("#url", at + 1)) {
        size_t end = at + 4;
        while (end < text.size() && IsDigit(text[end])) ++end;
        if (end == text.size() || text[end] != '=') continue;
        std::string digits(text.substr(at + 4, end - at - 4));
        // Only an entry's first marker counts, as for the reader.
        if (!seen.insert(digits).second) continue;
        if (!read.contains(digits) && !ValueAt(text, end + 1).empty()) unread.push_back("url" + digits);
    }
    return unread;
}

const char* ReasonTag(VerifyReason reason) {
    switch (reason) {
    case VerifyReason::kUnsigned: return "unsigned";
    case VerifyReason::kBadSignature: return "bad-signature";
    case VerifyReason::kBytesAfterSignature: return "bytes-after-signature";
    case VerifyReason::kExpired: return "expired";
    case VerifyReason::kMissingHash: return "missing-hash";
    case VerifyReason::kSizeMismatch: return "size-mismatch";
    case VerifyReason::kHashMismatch: return "hash-mismatch";
    }
    return "unknown";
}

std::wstring ProblemLine(std::string_view tag, const std::wstring& subject, const std::wstring& what) {
    std::wstring line = Widen(tag) + L": ";
    if (!subject.empty()) line += subject + L": ";
    return line + what;
}

std::wstring ReasonLine(VerifyReason reason, const std::wstring& subject, const std::wstring& detail) {
    std::wstring what = Widen(VerifyReasonName(reason));
    if (!detail.empty()) what += L" (" + detail + L")";
    return ProblemLine(ReasonTag(reason), subject, what);
}

} // namespace au
