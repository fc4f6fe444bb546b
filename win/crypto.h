// SHA-256 and ECDSA P-256 through the platform's own cryptography (CNG).
// Every failure of the platform is raised as win::Error carrying its
// NTSTATUS; a signature that does not verify is an answer, not an error.
#pragma once
#include <windows.h>
#include <bcrypt.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "win/handles.h"

namespace win {

using Digest256 = std::array<uint8_t, 32>;

struct BCryptAlgorithmTraits {
    using Type = BCRYPT_ALG_HANDLE;
    static Type invalid() noexcept { return nullptr; }
    static bool valid(Type h) noexcept { return h != nullptr; }
    static void close(Type h) noexcept { ::BCryptCloseAlgorithmProvider(h, 0); }
};
struct BCryptKeyTraits {
    using Type = BCRYPT_KEY_HANDLE;
    static Type invalid() noexcept { return nullptr; }
    static bool valid(Type h) noexcept { return h != nullptr; }
    static void close(Type h) noexcept { ::BCryptDestroyKey(h); }
};
struct BCryptHashTraits {
    using Type = BCRYPT_HASH_HANDLE;
    static Type invalid() noexcept { return nullptr; }
    static bool valid(Type h) noexcept { return h != nullptr; }
    static void close(Type h) noexcept { ::BCryptDestroyHash(h); }
};
using UniqueBCryptAlgorithm = UniqueOwner<BCryptAlgorithmTraits>;
using UniqueBCryptKey = UniqueOwner<BCryptKeyTraits>;
using UniqueBCryptHash = UniqueOwner<BCryptHashTraits>;

// A SHA-256 fed in pieces, as a download arrives.
class Sha256 {
public:
    Sha256();
    void Update(const void* data, size_t size);
    // The digest of everything fed so far; the object starts again empty.
    Digest256 Finish();

private:
    UniqueBCryptAlgorithm algorithm_;
    UniqueBCryptHash hash_;
};
Digest256 Sha256Of(std::string_view bytes);

// A public key from the 65-byte uncompressed point (0x04, X, Y).
class EcdsaP256PublicKey {
public:
    // Raises win::Error when the bytes are no point of the curve.
    explicit EcdsaP256PublicKey(std::string_view point);
    // Whether the 64-byte signature (r then s) is this key's over the digest.
    bool Verifies(const Digest256& digest, std::string_view signature) const;

private:
    UniqueBCryptAlgorithm algorithm_;
    UniqueBCryptKey key_;
};

// A key pair; its private blob is X, Y and d, 32 bytes each.
class EcdsaP256PrivateKey {
public:
    static EcdsaP256PrivateKey Generate();
    // Raises win::Error when the blob is not a key of the curve.
    static EcdsaP256PrivateKey FromBlob(std::string_view xyd);
    std::string Blob() const;
    std::string PublicPoint() const;
    // 64 bytes, r then s.
    std::string Sign(const Digest256& digest) const;

private:
    EcdsaP256PrivateKey();
    UniqueBCryptAlgorithm algorithm_;
    UniqueBCryptKey key_;
};

inline constexpr size_t kP256CoordinateBytes = 32;

} // namespace win
