// The signed mode of a check. With the publisher's key set, the information
// file counts only when its signature is the publisher's and it has not
// expired, and each download only when its bytes are the ones the file
// declares. Whatever fails, nothing of the update is kept or started: a
// half-applied update mixes versions, so a bad file stops the whole upgrade
// instead of being skipped.
#include "log/log4me.h"
#include "net/file_helpers.h"
#include "net/form_data.h"
#include "upgrade/auAutoUpgrader.h"
#include "upgrade/info_file.h"
#include "win/strings.h"

namespace au {
namespace {

int64_t UtcNowSince1970() {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t;
    t.LowPart = now.dwLowDateTime;
    t.HighPart = now.dwHighDateTime;
    constexpr uint64_t k1601To1970 = 116444736000000000ULL;  // in 100 ns
    return static_cast<int64_t>((t.QuadPart - k1601To1970) / 10000000ULL);
}

bool IsAscii(const std::wstring& text) {
    for (wchar_t c : text)
        if (c > 127) return false;
    return true;
}

void LogRefusal(const std::wstring& url, VerifyReason reason) {
    LogError("upgrade: " + win::ToAnsi(url) + " refused: " + VerifyReasonName(reason));
}

} // namespace

void TauAutoUpgrader::SetPublicKey(std::wstring value) {
    if (value.empty()) {
        publicKey_.reset();
        publicKeyText_.clear();
        return;
    }
    const auto point = IsAscii(value) ? BytesOfBase64(win::ToAnsi(value)) : std::nullopt;
    if (!point || point->size() != kPublicPointBytes)
        throw win::Error(L"The public key is not the Base64 of a 65-byte P-256 point.", ERROR_INVALID_PARAMETER);
    publicKey_ = std::make_unique<win::EcdsaP256PublicKey>(*point);
    publicKeyText_ = std::move(value);
}

std::optional<VerifyReason> TauAutoUpgrader::VerifyInformation(const std::string& file, std::string_view& entries) {
    declared_.clear();
    const SignedTextOrFault split = SplitSignedText(file);
    if (split.fault) return split.fault;
    try {
        if (!publicKey_->Verifies(win::Sha256Of(split.text.covered), split.text.signature))
            return VerifyReason::kBadSignature;
    } catch (const win::Error& e) {
        // A signature that cannot be checked is no signature.
        LogError("upgrade: the signature could not be checked: " + win::ToAnsi(e.Message()));
        return VerifyReason::kBadSignature;
    }
    const std::string_view covered = split.text.covered;
    const auto expires = InfoEntry(covered, "expires");
    if (HasExpired(expires ? ParseExpiry(*expires) : std::nullopt, UtcNowSince1970())) return VerifyReason::kExpired;
    // A redirect downloads nothing: its addresses are pages, not files.
    if (MethodOf(InfoEntry(covered, "method").value_or("")) != umRedirectToURL) {
        std::vector<std::string> suffixes;
        for (const auto& entry : InfoFileEntries(covered)) suffixes.push_back(entry.suffix);
        DeclaredFiles declared = DeclaredDigests(covered, suffixes);
        if (declared.fault) return declared.fault;
        declared_ = std::move(declared.files);
    }
    entries = covered;
    return std::nullopt;
}

void TauAutoUpgrader::InformationRejected(VerifyReason reason) {
    inUpgrade_ = false;
    LogRefusal(infoFileURL_, reason);
    if (OnVerifyFailed) OnVerifyFailed(this, infoFileURL_, reason);
    if (showMessages_.Contains(mNoInfoFile)) dialogs_->ShowError(*this, kTextNoInfoFile, L"");
}

void TauAutoUpgrader::ExpectFile() {
    fileHash_.reset();
    if (!Signed() || currentFileIndex_ < 0 || static_cast<size_t>(currentFileIndex_) >= declared_.size()) return;
    allowance_ = DownloadAllowance(declared_[currentFileIndex_].size);
    fileHash_ = std::make_unique<win::Sha256>();
}

std::optional<VerifyReason> TauAutoUpgrader::FileVerdict() {
    if (!Signed()) return std::nullopt;
    // Only a download that was armed can have been checked.
    if (!fileHash_) return VerifyReason::kMissingHash;
    std::unique_ptr<win::Sha256> hash = std::move(fileHash_);
    const FileDigest& want = declared_[currentFileIndex_];
    if (allowance_.Overrun() || allowance_.Received() != want.size) return VerifyReason::kSizeMismatch;
    try {
        if (hash->Finish() != want.sha256) return VerifyReason::kHashMismatch;
    } catch (const win::Error& e) {
        LogError("upgrade: a download's hash could not be finished: " + win::ToAnsi(e.Message()));
        return VerifyReason::kHashMismatch;
    }
    // A body served without a length is kept in memory, not in the file:
    // the bytes were right, but none of them would be put in place.
    if (GetFileSizeByName(currentFileName_) != static_cast<int64_t>(want.size)) return VerifyReason::kSizeMismatch;
    return std::nullopt;
}

void TauAutoUpgrader::DownloadRejected(VerifyReason reason) {
    inUpgrade_ = false;
    fileHash_.reset();
    const std::wstring url = URL();
    LogRefusal(url, reason);
    // Before the signed downloads began the directory held none, so every
    // download there now is this upgrade's.
    DeleteDownloadedFiles(win::ExeDir());
    if (OnVerifyFailed) OnVerifyFailed(this, url, reason);
    if (showMessages_.Contains(mConnLost)) dialogs_->ShowError(*this, kTextConnectionLost, L"");
    Stop();
}

} // namespace au
