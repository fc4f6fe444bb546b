#include "win/crypto.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "win/error.h"

namespace win {
namespace {

void Check(NTSTATUS status, const wchar_t* what) {
    if (status < 0) throw Error(std::wstring(what) + L" failed (NTSTATUS " + std::to_wstring(static_cast<uint32_t>(status)) + L")",
                                static_cast<uint32_t>(status));
}

UniqueBCryptAlgorithm OpenAlgorithm(const wchar_t* name) {
    BCRYPT_ALG_HANDLE handle = nullptr;
    Check(::BCryptOpenAlgorithmProvider(&handle, name, nullptr, 0), L"Opening a cryptography provider");
    return UniqueBCryptAlgorithm(handle);
}

// The blob header and the coordinates that follow it.
std::vector<uint8_t> KeyBlob(ULONG magic, std::string_view parts) {
    std::vector<uint8_t> blob(sizeof(BCRYPT_ECCKEY_BLOB) + parts.size());
    BCRYPT_ECCKEY_BLOB header{magic, static_cast<ULONG>(kP256CoordinateBytes)};
    memcpy(blob.data(), &header, sizeof header);
    memcpy(blob.data() + sizeof header, parts.data(), parts.size());
    return blob;
}

UniqueBCryptKey ImportKey(BCRYPT_ALG_HANDLE algorithm, const wchar_t* type, ULONG magic, std::string_view parts,
                          size_t expected) {
    if (parts.size() != expected)
        throw Error(L"The key has " + std::to_wstring(parts.size()) + L" bytes instead of " + std::to_wstring(expected),
                    ERROR_INVALID_DATA);
    std::vector<uint8_t> blob = KeyBlob(magic, parts);
    BCRYPT_KEY_HANDLE key = nullptr;
    const NTSTATUS status = ::BCryptImportKeyPair(algorithm, nullptr, type, &key, blob.data(),
                                                  static_cast<ULONG>(blob.size()), 0);
    SecureZeroMemory(blob.data(), blob.size());
    Check(status, L"Importing a P-256 key");
    return UniqueBCryptKey(key);
}

std::string Export(BCRYPT_KEY_HANDLE key, const wchar_t* type) {
    ULONG size = 0;
    Check(::BCryptExportKey(key, nullptr, type, nullptr, 0, &size, 0), L"Exporting a key");
    std::vector<uint8_t> blob(size);
    Check(::BCryptExportKey(key, nullptr, type, blob.data(), size, &size, 0), L"Exporting a key");
    std::string parts(reinterpret_cast<const char*>(blob.data()) + sizeof(BCRYPT_ECCKEY_BLOB),
                      size - sizeof(BCRYPT_ECCKEY_BLOB));
    SecureZeroMemory(blob.data(), blob.size());
    return parts;
}

} // namespace

Sha256::Sha256() : algorithm_(OpenAlgorithm(BCRYPT_SHA256_ALGORITHM)) {
    BCRYPT_HASH_HANDLE hash = nullptr;
    Check(::BCryptCreateHash(algorithm_.get(), &hash, nullptr, 0, nullptr, 0, BCRYPT_HASH_REUSABLE_FLAG),
          L"Creating a SHA-256 hash");
    hash_.reset(hash);
}

void Sha256::Update(const void* data, size_t size) {
    auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
    // The platform counts in ULONG: a larger piece goes in parts.
    while (size > 0) {
        const ULONG part = static_cast<ULONG>(std::min<size_t>(size, 1u << 30));
        Check(::BCryptHashData(hash_.get(), bytes, part, 0), L"Hashing");
        bytes += part;
        size -= part;
    }
}

Digest256 Sha256::Finish() {
    Digest256 digest{};
    Check(::BCryptFinishHash(hash_.get(), digest.data(), static_cast<ULONG>(digest.size()), 0), L"Hashing");
    return digest;
}

Digest256 Sha256Of(std::string_view bytes) {
    Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return hash.Finish();
}

EcdsaP256PublicKey::EcdsaP256PublicKey(std::string_view point)
    : algorithm_(OpenAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM)) {
    if (point.size() != 1 + 2 * kP256CoordinateBytes || point[0] != 0x04)
        throw Error(L"A P-256 public key is the 65-byte uncompressed point starting with 04", ERROR_INVALID_DATA);
    key_ = ImportKey(algorithm_.get(), BCRYPT_ECCPUBLIC_BLOB, BCRYPT_ECDSA_PUBLIC_P256_MAGIC, point.substr(1),
                     2 * kP256CoordinateBytes);
}

bool EcdsaP256PublicKey::Verifies(const Digest256& digest, std::string_view signature) const {
    if (signature.size() != 2 * kP256CoordinateBytes) return false;
    const NTSTATUS status = ::BCryptVerifySignature(
        key_.get(), nullptr, const_cast<PUCHAR>(digest.data()), static_cast<ULONG>(digest.size()),
        reinterpret_cast<PUCHAR>(const_cast<char*>(signature.data())), static_cast<ULONG>(signature.size()), 0);
    if (status == static_cast<NTSTATUS>(0xC000A000L) /* STATUS_INVALID_SIGNATURE */) return false;
    Check(status, L"Verifying a signature");
    return true;
}

EcdsaP256PrivateKey::EcdsaP256PrivateKey() : algorithm_(OpenAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM)) {}

EcdsaP256PrivateKey EcdsaP256PrivateKey::Generate() {
    EcdsaP256PrivateKey key;
    BCRYPT_KEY_HANDLE handle = nullptr;
    Check(::BCryptGenerateKeyPair(key.algorithm_.get(), &handle, 256, 0), L"Making a P-256 key");
    key.key_.reset(handle);
    Check(::BCryptFinalizeKeyPair(handle, 0), L"Making a P-256 key");
    return key;
}

EcdsaP256PrivateKey EcdsaP256PrivateKey::FromBlob(std::string_view xyd) {
    EcdsaP256PrivateKey key;
    key.key_ = ImportKey(key.algorithm_.get(), BCRYPT_ECCPRIVATE_BLOB, BCRYPT_ECDSA_PRIVATE_P256_MAGIC, xyd,
                         3 * kP256CoordinateBytes);
    return key;
}

std::string EcdsaP256PrivateKey::Blob() const { return Export(key_.get(), BCRYPT_ECCPRIVATE_BLOB); }

std::string EcdsaP256PrivateKey::PublicPoint() const {
    std::string point(1, '\x04');
    point += Export(key_.get(), BCRYPT_ECCPUBLIC_BLOB);
    return point;
}

std::string EcdsaP256PrivateKey::Sign(const Digest256& digest) const {
    std::string signature(2 * kP256CoordinateBytes, '\0');
    ULONG size = 0;
    Check(::BCryptSignHash(key_.get(), nullptr, const_cast<PUCHAR>(digest.data()), static_cast<ULONG>(digest.size()),
                           reinterpret_cast<PUCHAR>(signature.data()), static_cast<ULONG>(signature.size()), &size, 0),
          L"Signing");
    signature.resize(size);
    return signature;
}

} // namespace win
