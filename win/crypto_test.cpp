// The platform's SHA-256 and ECDSA P-256 as the upgrade uses them.
#include "win/crypto.h"

#include <gtest/gtest.h>

#include "win/error.h"

namespace win {
namespace {

std::string Hex(const Digest256& d) {
    static const char* kHex = "0123456789abcdef";
    std::string s;
    for (uint8_t b : d) s += {kHex[b >> 4], kHex[b & 15]};
    return s;
}

TEST(WinCrypto, Sha256InPiecesIsTheKnownDigest) {
    EXPECT_EQ(Hex(Sha256Of("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    Sha256 pieces;
    pieces.Update("a", 1);
    pieces.Update("bc", 2);
    EXPECT_EQ(pieces.Finish(), Sha256Of("abc"));
    EXPECT_EQ(Hex(pieces.Finish()), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855")
        << "finishing starts the hash again";
}

TEST(WinCrypto, ASignatureVerifiesOnlyWithItsKeyAndItsDigest) {
    const auto key = EcdsaP256PrivateKey::Generate();
    const Digest256 digest = Sha256Of("the update");
    const std::string signature = key.Sign(digest);
    ASSERT_EQ(signature.size(), 64u);
    const EcdsaP256PublicKey publicKey(key.PublicPoint());
    EXPECT_TRUE(publicKey.Verifies(digest, signature));
    EXPECT_FALSE(publicKey.Verifies(Sha256Of("the update!"), signature));
    std::string flipped = signature;
    flipped[10] ^= 1;
    EXPECT_FALSE(publicKey.Verifies(digest, flipped));
    EXPECT_FALSE(publicKey.Verifies(digest, signature.substr(0, 63)));
    const EcdsaP256PublicKey other(EcdsaP256PrivateKey::Generate().PublicPoint());
    EXPECT_FALSE(other.Verifies(digest, signature));

    const auto again = EcdsaP256PrivateKey::FromBlob(key.Blob());
    EXPECT_EQ(again.PublicPoint(), key.PublicPoint());
    EXPECT_TRUE(publicKey.Verifies(digest, again.Sign(digest)));
}

TEST(WinCrypto, BytesThatAreNoKeyAreRaisedWithTheirCode) {
    const std::string point = EcdsaP256PrivateKey::Generate().PublicPoint();
    EXPECT_THROW(EcdsaP256PublicKey(point.substr(1)), Error);
    std::string compressedPrefix = point;
    compressedPrefix[0] = '\x02';
    EXPECT_THROW(EcdsaP256PublicKey{compressedPrefix}, Error);
    // Wine's provider takes a point off the curve; such a key then verifies
    // nothing, which is all a verifying key must do.
    const auto signer = EcdsaP256PrivateKey::Generate();
    std::string offCurve = signer.PublicPoint();
    offCurve[64] ^= 1;
    try {
        const EcdsaP256PublicKey key(offCurve);
        const Digest256 digest = Sha256Of("x");
        EXPECT_FALSE(key.Verifies(digest, signer.Sign(digest)));
    } catch (const Error& e) {
        EXPECT_NE(e.Code(), 0u);
    }
    EXPECT_THROW(EcdsaP256PrivateKey::FromBlob(std::string(95, '\1')), Error);
}

} // namespace
} // namespace win
