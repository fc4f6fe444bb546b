// aupublish: the publisher's side of signed updates. It makes the key pair
// once, signs the information file of each release, and checks a signed
// file the way the program will before anything goes on the server, so a
// mistake shows here rather than as users whose upgrade is refused.
#include <windows.h>

#include <string>
#include <vector>

#include "net/form_data.h"
#include "upgrade/aupublish/publish_io.h"
#include "upgrade/aupublish/publish_rules.h"
#include "upgrade/upgrade_rules.h"
#include "win/crypto.h"
#include "win/error.h"
#include "win/handles.h"
#include "win/strings.h"

namespace au {
namespace {

constexpr int kExitProblems = 1, kExitUsage = 2;
// Key and information files are a few lines; anything larger is the wrong file.
constexpr uint64_t kTextFileLimit = 16u << 20;

// Ends the run: the message goes to standard error.
struct Stop {
    int status;
    std::wstring message;
};

std::wstring Widen(std::string_view ascii) { return std::wstring(ascii.begin(), ascii.end()); }

void Wipe(std::string& secret) { ::SecureZeroMemory(secret.data(), secret.size()); }

std::string ReadInput(const std::wstring& path, const wchar_t* what) {
    try {
        return ReadSmallFile(path, kTextFileLimit);
    } catch (const win::Error& e) {
        throw Stop{kExitUsage, L"cannot read the " + std::wstring(what) + L" '" + path + L"': " + e.Message()};
    }
}

win::EcdsaP256PrivateKey LoadPrivateKey(const std::wstring& path) {
    std::string text = ReadInput(path, L"private key file");
    KeyFileContent content = ReadKeyFileText(text);
    win::ScopeExit wipe([&] {
        Wipe(text);
        Wipe(content.blob);
    });
    if (content.fault != KeyFileFault::kNone)
        throw Stop{kExitUsage, path + L": " + Widen(KeyFileFaultText(content.fault))};
    try {
        auto key = win::EcdsaP256PrivateKey::FromBlob(content.blob);
        // A provider may take a blob whose point is not its secret's; its
        // signatures would not verify with the public key the file names.
        const win::Digest256 probe = win::Sha256Of("aupublish key check");
        if (!win::EcdsaP256PublicKey(key.PublicPoint()).Verifies(probe, key.Sign(probe)))
            throw Stop{kExitUsage, path + L": the private key file holds no P-256 key pair (its public point is "
                                          L"not its secret's)"};
        return key;
    } catch (const win::Error& e) {
        throw Stop{kExitUsage, path + L": the private key file holds no P-256 key (" + e.Message() + L")"};
    }
}

win::EcdsaP256PublicKey LoadPublicKey(std::wstring text) {
    // A key taken from keygen's output by a script may bring its line end.
    constexpr const wchar_t* kBlanks = L" \t\r\n";
    const size_t first = text.find_first_not_of(kBlanks);
    text = first == std::wstring::npos ? std::wstring()
                                       : text.substr(first, text.find_last_not_of(kBlanks) + 1 - first);
    const auto point = BytesOfBase64(win::ToAnsi(text));
    if (!point || point->size() != kPublicPointBytes) {
        const DWORD attributes = ::GetFileAttributesW(text.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            std::string file = ReadInput(text, L"key file");
            const bool privateKey = ReadKeyFileText(file).fault == KeyFileFault::kNone;
            Wipe(file);
            if (privateKey)
                throw Stop{kExitUsage, text + L" is a private key file; verify takes the public key's Base64 that "
                                              L"keygen printed (and keep the private key off the server)"};
        }
        throw Stop{kExitUsage, L"'" + text + L"' is not the Base64 of a 65-byte P-256 public key"};
    }
    try {
        return win::EcdsaP256PublicKey(*point);
    } catch (const win::Error& e) {
        throw Stop{kExitUsage, L"'" + text + L"' is not a P-256 public key (" + e.Message() + L")"};
    }
}

std::wstring InPath(const std::wstring& folder, const std::wstring& name) {
    if (folder.empty() || folder.back() == L'\\' || folder.back() == L'/') return folder + name;
    return folder + L"\\" + name;
}

// The local file of each address, in queue order; none where neither
// --file nor --dir gives one.
std::vector<std::optional<std::wstring>> LocalFiles(const std::vector<InfoAddress>& entries, const PublishArgs& args) {
    std::vector<std::wstring> urls;
    for (const auto& entry : entries) urls.push_back(entry.url);
    std::vector<std::optional<std::wstring>> paths(entries.size());
    for (const auto& option : args.fileOptions) {
        const auto match = MatchFileOption(option, urls);
        if (!match) throw Stop{kExitUsage, L"--file " + option + L": the information file has no such address"};
        for (size_t i = 0; i < urls.size(); ++i)
            if (urls[i] == match->address) paths[i] = match->path;
    }
    for (size_t i = 0; args.dir && i < urls.size(); ++i)
        if (!paths[i])
            if (const auto name = DownloadFileName(urls[i])) paths[i] = InPath(*args.dir, *name);
    return paths;
}

bool IsRedirect(std::string_view text) { return MethodOf(InfoEntry(text, "method").value_or("")) == umRedirectToURL; }

void Report(const std::wstring& line) { PrintLine(false, line); }

// Addresses the program never downloads are most likely a numbering slip.
void WarnUnread(std::string_view text) {
    for (const auto& key : UnreadAddressKeys(text))
        Report(ProblemLine("warning", L"#" + Widen(key) + L"=",
                           L"no program downloads this address: numbered entries go on, without gaps, from one "
                           L"above the count before them (#url= alone is followed by #url2=, #url= and #url0= "
                           L"by #url3=)"));
}

std::wstring CannotRead(const std::wstring& path, uint32_t error) {
    return L"cannot read " + path + L": " + win::SystemMessage(error);
}

std::wstring NoPath(const PublishArgs& args) {
    return args.dir ? L"the address names no file to look for in --dir; give its file with --file <address>=<path>"
                    : L"no local file; give it with --file <address>=<path> or --dir <folder>";
}

int Keygen(const PublishArgs& args) {
    const auto key = win::EcdsaP256PrivateKey::Generate();
    std::string blob = key.Blob();
    std::string text = KeyFileText(blob);
    win::ScopeExit wipe([&] {
        Wipe(blob);
        Wipe(text);
    });
    try {
        CreateOwnerOnlyFile(args.key, text);
    } catch (const win::Error& e) {
        if (e.Code() == ERROR_FILE_EXISTS || e.Code() == ERROR_ALREADY_EXISTS)
            throw Stop{kExitUsage, args.key + L" already exists; a key is never replaced, since programs that carry "
                                              L"its public key could not take updates signed by another"};
        throw Stop{kExitUsage, L"cannot write " + args.key + L": " + e.Message()};
    }
    PrintLine(false, Widen(Base64OfBytes(key.PublicPoint())));
    return 0;
}

int Sign(const PublishArgs& args) {
    const auto key = LoadPrivateKey(args.key);
    const std::string file = ReadInput(args.infoFile, L"information file");
    // Signing drops everything from the old signature on; lines added there
    // since would vanish without a word.
    if (SplitSignedText(file).fault == VerifyReason::kBytesAfterSignature) {
        Report(ProblemLine(ReasonTag(VerifyReason::kBytesAfterSignature), args.infoFile,
                           L"text follows the earlier #signature= line; move it above that line, or remove it"));
        return kExitProblems;
    }
    const std::string text = WithoutSigning(file);
    WarnUnread(text);
    const auto entries = InfoFileEntries(text);
    std::vector<FileHash> hashes;
    if (!IsRedirect(text)) {
        const auto paths = LocalFiles(entries, args);
        bool complete = true;
        for (size_t i = 0; i < entries.size(); ++i) {
            uint32_t error = 0;
            const auto digest = paths[i] ? DigestOfFile(*paths[i], error) : std::nullopt;
            if (!digest) {
                Report(ProblemLine("no-file", entries[i].url, paths[i] ? CannotRead(*paths[i], error) : NoPath(args)));
                complete = false;
                continue;
            }
            hashes.push_back({entries[i].suffix, *digest});
        }
        if (!complete) {
            Report(L"not signed: " + args.infoFile + L" is left as it was");
            return kExitProblems;
        }
    }
    const int64_t expiry = SecondsSince1970Now() + int64_t{args.validDays} * 86400;
    const std::string covered = CoveredText(text, hashes, expiry);
    if (const std::string entry = OvershadowedEntry(covered, hashes, expiry); !entry.empty()) {
        Report(ProblemLine("overshadowed", Widen(entry),
                           L"the text holds this marker inside another line, and a program would read that one "
                           L"instead of the entry signing adds; not signed"));
        return kExitProblems;
    }
    const std::string signature = key.Sign(win::Sha256Of(covered));
    try {
        ReplaceFileBytes(args.infoFile, covered + SignatureLine(signature));
    } catch (const win::Error& e) {
        Report(L"not signed: cannot write " + args.infoFile + L": " + e.Message());
        return kExitProblems;
    }
    Report(L"signed " + args.infoFile + L": " + std::to_wstring(hashes.size()) + L" file hash(es), expires " +
           Widen(FormatExpiry(expiry)) + L", public key " + Widen(Base64OfBytes(key.PublicPoint())));
    return 0;
}

int Verify(const PublishArgs& args) {
    const auto key = LoadPublicKey(args.key);
    const std::string file = ReadInput(args.infoFile, L"information file");
    size_t problems = 0;
    auto problem = [&](const std::wstring& line) {
        Report(line);
        ++problems;
    };
    const auto split = SplitSignedText(file);
    // An unsigned file is still read through, so one run lists all that is missing.
    const std::string_view covered =
        split.fault == VerifyReason::kUnsigned ? std::string_view(file) : split.text.covered;
    if (split.fault == VerifyReason::kBadSignature)
        problem(ReasonLine(*split.fault, {}, L"its value is not the Base64 of 64 bytes"));
    else if (split.fault)
        problem(ReasonLine(*split.fault, {}));
    else if (!key.Verifies(win::Sha256Of(covered), split.text.signature))
        problem(ReasonLine(VerifyReason::kBadSignature, {}, L"made by another key, or the signed text has changed"));

    const auto expiryText = InfoEntry(covered, "expires");
    const auto expiry = expiryText ? ParseExpiry(*expiryText) : std::nullopt;
    if (HasExpired(expiry, SecondsSince1970Now()))
        problem(ReasonLine(VerifyReason::kExpired, {},
                           !expiryText ? L"no #expires= entry"
                           : !expiry   ? L"#expires= is unreadable"
                                       : L"at " + Widen(*expiryText)));
    WarnUnread(covered);

    const auto entries = InfoFileEntries(covered);
    const bool redirect = IsRedirect(covered);
    const auto paths = redirect ? std::vector<std::optional<std::wstring>>() : LocalFiles(entries, args);
    for (size_t i = 0; !redirect && i < entries.size(); ++i) {
        const std::wstring& url = entries[i].url;
        const std::string hashKey = HashKeyFor(entries[i].suffix);
        const auto entry = InfoEntry(covered, hashKey);
        const auto declared = entry ? ParseHashEntry(*entry) : std::nullopt;
        if (!declared) {
            problem(ReasonLine(VerifyReason::kMissingHash, url,
                               L"#" + Widen(hashKey) + (entry ? L"= is unreadable" : L"= is absent")));
            continue;
        }
        if (!paths[i]) {
            if (args.dir) problem(ProblemLine("no-file", url, NoPath(args)));
            continue;
        }
        uint32_t error = 0;
        const auto actual = DigestOfFile(*paths[i], error);
        if (!actual)
            problem(ProblemLine("no-file", url, CannotRead(*paths[i], error)));
        else if (actual->size != declared->size)
            problem(ReasonLine(VerifyReason::kSizeMismatch, url,
                               L"declared " + std::to_wstring(declared->size) + L" bytes, " + *paths[i] + L" has " +
                                   std::to_wstring(actual->size)));
        else if (actual->sha256 != declared->sha256)
            problem(ReasonLine(VerifyReason::kHashMismatch, url, *paths[i]));
    }
    if (problems > 0) return kExitProblems;
    Report(L"OK: " + args.infoFile + L": signed by this key, expires " + Widen(*expiryText) + L", " +
           (redirect ? L"redirects to a web page" : std::to_wstring(entries.size()) + L" file address(es)") +
           (redirect || (!args.dir && args.fileOptions.empty()) ? L"" : L", local files match"));
    return 0;
}

void PrintUsage() {
    std::string_view usage = kPublishUsage;
    while (!usage.empty()) {
        const size_t end = usage.find('\n');
        PrintLine(true, Widen(usage.substr(0, end)));
        usage.remove_prefix(end == std::string_view::npos ? usage.size() : end + 1);
    }
}

} // namespace
} // namespace au

int wmain(int argc, wchar_t** argv) {
    using namespace au;
    const ParsedArgs parsed = ParsePublishArgs(std::vector<std::wstring>(argv + 1, argv + argc));
    if (!parsed.args) {
        if (!parsed.error.empty()) PrintLine(true, L"aupublish: " + parsed.error);
        PrintUsage();
        return kExitUsage;
    }
    try {
        switch (parsed.args->command) {
        case PublishCommand::kKeygen: return Keygen(*parsed.args);
        case PublishCommand::kSign: return Sign(*parsed.args);
        case PublishCommand::kVerify: return Verify(*parsed.args);
        }
    } catch (const Stop& stop) {
        PrintLine(true, L"aupublish: " + stop.message);
        return stop.status;
    } catch (const std::exception& e) {
        PrintLine(true, L"aupublish: " + win::MessageOf(e));
    }
    return kExitProblems;
}
