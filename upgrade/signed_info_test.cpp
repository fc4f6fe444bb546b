// The signed form of the information file: what the signature covers, what
// may follow it, and the hash, expiry and Base64 texts.
#include "upgrade/signed_info.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "net/form_data.h"
#include "upgrade/info_file.h"

namespace au {
namespace {

const std::string kSignature64 = Base64OfBytes(std::string(64, '\x5A'));

TEST(AuSignedText, TheSignatureCoversEveryByteBeforeItsFirstMarker) {
    const std::string head = "#version=2\r\n#url=http://h/a.exe\r\n";
    const std::string file = head + "#signature=" + kSignature64 + "\r\n\r\n";
    const auto split = SplitSignedText(file);
    ASSERT_FALSE(split.fault);
    EXPECT_EQ(split.text.covered, head);
    EXPECT_EQ(split.text.signature, std::string(64, '\x5A'));
    EXPECT_FALSE(SplitSignedText(head + "#signature=" + kSignature64).fault) << "no line break at the end";
}

TEST(AuSignedText, AnythingButLineBreaksAfterTheSignatureIsRefused) {
    const std::string signedPart = "#version=2\r\n#signature=" + kSignature64;
    for (const std::string& tail : std::vector<std::string>{"\r\n#url5=http://evil/x.exe", "\r\n ", "\r\n\t", std::string("\n\0", 2),
                                   "\r\n#signature=" + kSignature64})
        EXPECT_EQ(SplitSignedText(signedPart + tail).fault, VerifyReason::kBytesAfterSignature) << tail;
}

TEST(AuSignedText, NoMarkerIsUnsignedAndAValueNotOf64BytesIsABadSignature) {
    EXPECT_EQ(SplitSignedText("#version=2\r\n#url=http://h/a.exe").fault, VerifyReason::kUnsigned);
    EXPECT_EQ(SplitSignedText("#Signature=" + kSignature64).fault, VerifyReason::kUnsigned);
    for (const std::string& value : std::vector<std::string>{std::string(), Base64OfBytes(std::string(63, 'x')),
                                    Base64OfBytes(std::string(65, 'x')), "not base64 at all",
                                    kSignature64.substr(0, 80) + "!!!!", kSignature64 + "===="})
        EXPECT_EQ(SplitSignedText("#version=2\n#signature=" + value).fault, VerifyReason::kBadSignature) << value;
}

TEST(AuBase64Bytes, EveryByteStringRoundTripsAndOnlyCanonicalTextIsAccepted) {
    std::mt19937 random(7);
    for (size_t n = 0; n < 70; ++n) {
        std::string bytes(n, '\0');
        for (char& c : bytes) c = static_cast<char>(random());
        const std::string text = Base64OfBytes(bytes);
        EXPECT_EQ(text.size() % 4, 0u);
        EXPECT_EQ(BytesOfBase64(text), bytes) << n;
    }
    EXPECT_EQ(BytesOfBase64("YWJj"), "abc");
    EXPECT_EQ(BytesOfBase64(""), "");
    for (const char* bad : {"YWJ", "YW=j", "YQ=", "YR==", "YWK=", "YW Jj", "YWJj\r\n", "=YWJ", "YQ==YQ==", "YW-j"})
        EXPECT_EQ(BytesOfBase64(bad), std::nullopt) << bad;
}

TEST(AuHashEntry, ExactlyShaColonLowerHexColonDecimalSize) {
    const std::string hex(64, 'a');
    const auto digest = ParseHashEntry("sha256:" + hex + ":1234");
    ASSERT_TRUE(digest);
    EXPECT_EQ(digest->size, 1234u);
    EXPECT_EQ(digest->sha256[0], 0xAA);
    EXPECT_EQ(FormatHashEntry(*digest), "sha256:" + hex + ":1234");
    EXPECT_EQ(ParseHashEntry("sha256:" + hex + ":0")->size, 0u);
    EXPECT_EQ(ParseHashEntry("sha256:" + hex + ":18446744073709551615"), std::nullopt) << "20 digits";
    for (const std::string& bad : std::vector<std::string>{"sha256:" + std::string(64, 'A') + ":1", "SHA256:" + hex + ":1", "sha256:" + hex, "sha256:" + hex + ":",
          "sha256:" + hex + ":01", "sha256:" + hex + ":-1", "sha256:" + hex + ":1 ", "sha256:" + hex.substr(1) + ":1",
          "sha256:" + hex + "a:1", "sha1:" + hex + ":1"})
        EXPECT_EQ(ParseHashEntry(bad), std::nullopt) << bad;
}

TEST(AuHashEntry, EachAddressHasTheEntryOfItsOwnSuffix) {
    const std::string a = "sha256:" + std::string(64, '1') + ":10", b = "sha256:" + std::string(64, '2') + ":20";
    const std::string text = "#url=http://h/a\n#url2=http://h/b\n#hash2=" + b + "\n#hash=" + a + "\n";
    std::vector<std::string> suffixes;
    for (const auto& entry : InfoFileEntries(text)) suffixes.push_back(entry.suffix);
    ASSERT_EQ(suffixes, (std::vector<std::string>{"", "2"}));
    const auto declared = DeclaredDigests(text, suffixes);
    ASSERT_FALSE(declared.fault);
    ASSERT_EQ(declared.files.size(), 2u);
    EXPECT_EQ(declared.files[0].size, 10u);
    EXPECT_EQ(declared.files[1].size, 20u);
    EXPECT_EQ(DeclaredDigests(text, {"", "2", "3"}).fault, VerifyReason::kMissingHash);
    EXPECT_EQ(DeclaredDigests("#hash=sha256:zz:1\n", {""}).fault, VerifyReason::kMissingHash) << "unreadable";
}

TEST(AuExpiry, UtcDateTimeInItsOneFormAndFiveMinutesOfGrace) {
    EXPECT_EQ(ParseExpiry("1970-01-01T00:00:00Z"), 0);
    EXPECT_EQ(ParseExpiry("2000-01-01T00:00:00Z"), 946684800);
    EXPECT_EQ(ParseExpiry("2038-01-19T03:14:07Z"), 2147483647);
    EXPECT_EQ(ParseExpiry("2024-02-29T12:00:00Z"), 1709208000);
    for (const char* bad : {"2023-02-29T12:00:00Z", "2026-12-09T24:00:00Z", "2026-12-09T20:14:03", "2026-12-09t20:14:03Z",
                            "2026-12-09 20:14:03Z", "1969-12-31T23:59:59Z", "2026-1-09T20:14:03Z", "+026-12-09T20:14:03Z",
                            "2026-12-09T20:14:03Z\r", ""})
        EXPECT_EQ(ParseExpiry(bad), std::nullopt) << bad;
    for (int64_t t : {int64_t{0}, int64_t{951782399}, int64_t{951782400}, int64_t{1709208000}, int64_t{4102444799},
                      int64_t{253402300799}})
        EXPECT_EQ(ParseExpiry(FormatExpiry(t)), t) << FormatExpiry(t);
    EXPECT_EQ(FormatExpiry(1709208000), "2024-02-29T12:00:00Z");

    EXPECT_FALSE(HasExpired(1000, 1000 + kExpiryGraceSeconds));
    EXPECT_TRUE(HasExpired(1000, 1001 + kExpiryGraceSeconds));
    EXPECT_TRUE(HasExpired(std::nullopt, 0)) << "a signed file without an expiry is never good for ever";
}

TEST(AuDownloadAllowance, BytesPastTheDeclaredSizeAreRefusedBeforeTheyCount) {
    DownloadAllowance allowance(10);
    EXPECT_TRUE(allowance.Take(4));
    EXPECT_TRUE(allowance.Take(6));
    EXPECT_FALSE(allowance.Overrun());
    EXPECT_FALSE(allowance.Take(1));
    EXPECT_TRUE(allowance.Overrun());
    EXPECT_EQ(allowance.Received(), 10u);
    EXPECT_FALSE(allowance.Take(0)) << "once refused, the download stays refused";
    DownloadAllowance huge(UINT64_MAX - 1);
    EXPECT_TRUE(huge.Take(UINT64_MAX - 2));
    EXPECT_FALSE(huge.Take(UINT64_MAX)) << "no wrap-around";
}

} // namespace
} // namespace au
