// A signed update against the test server, one test per attack an updater
// must survive: whatever is refused, nothing is asked, nothing of the
// update stays beside the program and the self-upgrade program is never
// reached, and the caller hears why.
#include "net/form_data.h"
#include "upgrade/upgrade_test_support.h"
#include "win/crypto.h"

namespace au::testing {
namespace {

int64_t Now() { return static_cast<int64_t>(::time(nullptr)); }

// The size the directory lists: the download is open for writing alone,
// so it cannot be opened to ask.
int64_t SizeOnDisk(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    win::UniqueFindHandle found(::FindFirstFileW(path.c_str(), &data));
    if (!found) return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

struct Publisher {
    win::EcdsaP256PrivateKey key = win::EcdsaP256PrivateKey::Generate();
    std::wstring PublicKey() const { return win::FromUtf8(Base64OfBytes(key.PublicPoint())); }
    // The file as the publisher's tool writes it: the entries, then the
    // signature over every byte of them.
    std::string Sign(const std::string& entries) const {
        return entries + "#signature=" + Base64OfBytes(key.Sign(win::Sha256Of(entries))) + "\r\n";
    }
};

std::string HashLine(const std::string& suffix, const std::string& bytes) {
    return "#" + HashKeyFor(suffix) + "=" + FormatHashEntry({win::Sha256Of(bytes), bytes.size()}) + "\r\n";
}
std::string ExpiresLine(int64_t when) { return "#expires=" + FormatExpiry(when) + "\r\n"; }

class AuSignedUpgrade : public UpgradeTest {
protected:
    void SetUp() override {
        UpgradeTest::SetUp();
        upgrader->SetPublicKey(publisher.PublicKey());
        upgrader->SetShowMessages({mAskUpgrade, mConnLost, mLostFile, mNoInfoFile});
    }
    // Entries offering `version` with one file per (address, declared bytes).
    std::string Entries(const std::vector<std::pair<std::wstring, std::string>>& files, const char* version = "2",
                        int64_t expires = Now() + 86400) {
        std::string text = std::string("#version=") + version + "\r\n";
        for (size_t i = 0; i < files.size(); ++i) {
            const std::string suffix = std::to_string(i + 1);
            text += "#url" + suffix + "=" + win::ToUtf8(files[i].first) + "\r\n" + HashLine(suffix, files[i].second);
        }
        return text + ExpiresLine(expires);
    }
    // A file of `size` pattern bytes served at an address of this test.
    std::wstring Served(const std::wstring& name, size_t size, const std::wstring& more = L"") {
        return FileUrl(name, L"size=" + std::to_wstring(size) + more);
    }
    void ExpectRefused(VerifyReason reason, TextId box) {
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(events.back(), std::string("VerifyFailed ") + VerifyReasonName(reason));
        ASSERT_EQ(refusals.size(), 1u);
        EXPECT_EQ(refusals[0].reason, reason);
        EXPECT_EQ(std::count(events.begin(), events.end(), "EndUpgrade"), 0) << "the self-upgrade was reached";
        EXPECT_EQ(std::count(user->calls.begin(), user->calls.end(), ShowErrorCall(box)), 1);
        for (const auto& download : downloads)
            EXPECT_FALSE(FileExists(win::ExeDir() + download)) << win::ToUtf8(download) << " was kept";
        EXPECT_FALSE(upgrader->Busy());
    }
    void ExpectInformationRefused(VerifyReason reason) {
        ExpectRefused(reason, kTextNoInfoFile);
        EXPECT_EQ(refusals[0].url, upgrader->InfoFileURL());
        EXPECT_EQ(user->calls, (Strings{ShowErrorCall(kTextNoInfoFile)})) << "nothing may be asked";
        EXPECT_EQ(RequestCount(tag), 1) << "nothing may be downloaded";
    }

    Publisher publisher;
};

TEST_F(AuSignedUpgrade, GoodPath_SignedFilesArriveWhole) {
    AU_REQUIRE_TEST_SERVER();
    const std::wstring a = FileName(L"a"), b = FileName(L"b");
    ServeInfo(publisher.Sign(Entries({{Served(a, 30000), PatternBytes(0, 30000)}, {Served(b, 7), PatternBytes(0, 7)}})));
    ASSERT_TRUE(Check());
    EXPECT_EQ(events, (Strings{"BeginUpgrade", "FileStart", "Progress", "FileDone", "FileStart", "Progress",
                               "FileDone", "EndUpgrade", "Aborted"}));
    EXPECT_EQ(FileBytes(Downloaded(a)), PatternBytes(0, 30000));
    EXPECT_EQ(FileBytes(Downloaded(b)), PatternBytes(0, 7));
    EXPECT_TRUE(refusals.empty());
}

TEST_F(AuSignedUpgrade, ArbitrarySoftware_SameSizeOtherBytes) {
    AU_REQUIRE_TEST_SERVER();
    const std::wstring name = FileName(L"evil");
    std::string declared = PatternBytes(0, 20000);
    declared[12345] ^= 0x20;
    ServeInfo(publisher.Sign(Entries({{Served(name, 20000), declared}})));
    ASSERT_TRUE(Check());
    ExpectRefused(VerifyReason::kHashMismatch, kTextConnectionLost);
    EXPECT_EQ(refusals[0].url, Served(name, 20000));
    EXPECT_TRUE(filesDone.empty());
}

TEST_F(AuSignedUpgrade, ArbitrarySoftware_FileOfAnotherSize) {
    AU_REQUIRE_TEST_SERVER();
    const std::wstring shorter = FileName(L"short");
    ServeInfo(publisher.Sign(Entries({{Served(shorter, 999), PatternBytes(0, 1000)}})));
    ASSERT_TRUE(Check());
    ExpectRefused(VerifyReason::kSizeMismatch, kTextConnectionLost);
}

// The right bytes without a length are kept in memory by the transfer, so no
// file would be put in place: the upgrade stops instead of going on without it.
TEST_F(AuSignedUpgrade, RightBytesThatNeverReachTheFileStopTheUpgrade) {
    AU_REQUIRE_TEST_SERVER();
    const std::wstring name = FileName(L"unframed");
    ServeInfo(publisher.Sign(Entries({{Served(name, 3000, L"&length=none"), PatternBytes(0, 3000)}})));
    ASSERT_TRUE(Check());
    ExpectRefused(VerifyReason::kSizeMismatch, kTextConnectionLost);
}

TEST_F(AuSignedUpgrade, TamperedInformation_OneChangedByteBeforeTheSignature) {
    AU_REQUIRE_TEST_SERVER();
    std::string file = publisher.Sign(Entries({{Served(FileName(L"t"), 10), PatternBytes(0, 10)}}));
    file[file.find("#version=2") + 9] = '3';
    ServeInfo(file);
    ASSERT_TRUE(Check());
    ExpectInformationRefused(VerifyReason::kBadSignature);
}

TEST_F(AuSignedUpgrade, TamperedInformation_EntryAppendedAfterTheSignature) {
    AU_REQUIRE_TEST_SERVER();
    const std::wstring evil = FileName(L"appended");
    ServeInfo(publisher.Sign(Entries({{Served(FileName(L"t"), 10), PatternBytes(0, 10)}})) + "#url5=" +
              win::ToUtf8(Served(evil, 10)) + "\r\n");
    ASSERT_TRUE(Check());
    ExpectInformationRefused(VerifyReason::kBytesAfterSignature);
}

TEST_F(AuSignedUpgrade, TamperedInformation_SignatureOfAnotherKey) {
    AU_REQUIRE_TEST_SERVER();
    const Publisher stranger;
    ServeInfo(stranger.Sign(Entries({{Served(FileName(L"t"), 10), PatternBytes(0, 10)}})));
    ASSERT_TRUE(Check());
    ExpectInformationRefused(VerifyReason::kBadSignature);
}

TEST_F(AuSignedUpgrade, TamperedInformation_NoSignature) {
    AU_REQUIRE_TEST_SERVER();
    ServeInfo(Entries({{Served(FileName(L"t"), 10), PatternBytes(0, 10)}}));
    ASSERT_TRUE(Check());
    ExpectInformationRefused(VerifyReason::kUnsigned);
}

TEST_F(AuSignedUpgrade, TamperedInformation_SignatureNotBase64OrNot64Bytes) {
    AU_REQUIRE_TEST_SERVER();
    const std::string entries = Entries({{Served(FileName(L"t"), 10), PatternBytes(0, 10)}});
    const std::string good = publisher.key.Sign(win::Sha256Of(entries));
    for (const std::string& value : {std::string("@@not-base64@@"), Base64OfBytes(good.substr(0, 63)),
                                     Base64OfBytes(good + "x")}) {
        events.clear();
        refusals.clear();
        user->calls.clear();
        finished = false;
        ServeInfo(entries + "#signature=" + value + "\r\n", L"&n=" + std::to_wstring(value.size()));
        ASSERT_TRUE(Check());
        EXPECT_EQ(events, (Strings{"VerifyFailed " + std::string(VerifyReasonName(VerifyReason::kBadSignature))}))
            << value;
    }
}

TEST_F(AuSignedUpgrade, TamperedInformation_AddressWithoutItsHash) {
    AU_REQUIRE_TEST_SERVER();
    std::string entries = Entries({{Served(FileName(L"t"), 10), PatternBytes(0, 10)}});
    entries += "#url2=" + win::ToUtf8(Served(FileName(L"unhashed"), 10)) + "\r\n";
    ServeInfo(publisher.Sign(entries));
    ASSERT_TRUE(Check());
    ExpectInformationRefused(VerifyReason::kMissingHash);
}

// An older release's signed file names the same address, which now serves
// the newer release's bytes: the first file is fine, the second is not, and
// the first one goes too.
TEST_F(AuSignedUpgrade, MixAndMatch_OlderReleasesHashForTheNewerReleasesFile) {
    AU_REQUIRE_TEST_SERVER();
    const std::wstring helper = FileName(L"helper", L".dll"), program = FileName(L"program", L".exe");
    const std::string olderProgram = PatternBytes(7, 40000);
    ServeInfo(publisher.Sign(
        Entries({{Served(helper, 5000), PatternBytes(0, 5000)}, {Served(program, 40000), olderProgram}})));
    ASSERT_TRUE(Check());
    ExpectRefused(VerifyReason::kHashMismatch, kTextConnectionLost);
    EXPECT_EQ(filesDone.size(), 1u) << "the helper arrived before the program was refused";
    EXPECT_FALSE(FileExists(Downloaded(helper)));
    EXPECT_FALSE(FileExists(Downloaded(program)));
}

TEST_F(AuSignedUpgrade, Rollback_CorrectlySignedOlderVersionIsNoUpdate) {
    AU_REQUIRE_TEST_SERVER();
    upgrader->SetVersionNumber(L"3");
    ServeInfo(publisher.Sign(Entries({{Served(FileName(L"old"), 10), PatternBytes(0, 10)}}, "2")));
    ASSERT_TRUE(Check());
    EXPECT_EQ(events, (Strings{"NoUpdateAvailable"}));
    EXPECT_TRUE(refusals.empty());
    EXPECT_EQ(RequestCount(tag), 1);
}

TEST_F(AuSignedUpgrade, IndefiniteFreeze_ExpiredCorrectlySignedFile) {
    AU_REQUIRE_TEST_SERVER();
    ServeInfo(publisher.Sign(Entries({{Served(FileName(L"t"), 10), PatternBytes(0, 10)}}, "2",
                                     Now() - kExpiryGraceSeconds - 60)));
    ASSERT_TRUE(Check());
    ExpectInformationRefused(VerifyReason::kExpired);
}

TEST_F(AuSignedUpgrade, IndefiniteFreeze_FileWithoutExpiry) {
    AU_REQUIRE_TEST_SERVER();
    std::string entries = Entries({{Served(FileName(L"t"), 10), PatternBytes(0, 10)}});
    entries.erase(entries.find("#expires="));
    ServeInfo(publisher.Sign(entries));
    ASSERT_TRUE(Check());
    ExpectInformationRefused(VerifyReason::kExpired);
}

// The server never stops sending: the download ends one piece short of
// passing its declared size, and neither the disk nor memory ever holds
// more. Announced with a length, the body goes to the file; without one, or
// chunked, the transfer keeps it in memory. Whatever the local server still
// sends after the refusal, Wine's library reads and drops when it closes the
// request (to keep the connection), so only the unframed body is timed.
TEST_F(AuSignedUpgrade, EndlessData_CutOffAtTheDeclaredSize) {
    AU_REQUIRE_TEST_SERVER();
    constexpr size_t kDeclared = 100000, kSent = 20'000'000;
    for (const wchar_t* framing : {L"", L"&length=none", L"&te=chunked&chunk=4096"}) {
        SCOPED_TRACE(win::ToUtf8(framing));
        events.clear();
        refusals.clear();
        user->calls.clear();
        finished = false;
        const std::wstring name = FileName(L"endless");
        ServeInfo(publisher.Sign(Entries({{Served(name, kSent, framing), PatternBytes(0, kDeclared)}})));
        int64_t largestOnDisk = 0;
        uint32_t largestKept = 0;
        DWORD firstPiece = 0, refusedAfter = 0;
        upgrader->OnProgress = [&](TauAutoUpgrader*, const std::wstring&, uint32_t, uint32_t bytesRead, uint32_t,
                                   int32_t, uint8_t, uint8_t, float) {
            if (!firstPiece) firstPiece = ::GetTickCount();
            largestKept = std::max(largestKept, bytesRead);
            largestOnDisk = std::max(largestOnDisk, SizeOnDisk(Downloaded(name)));
        };
        upgrader->OnVerifyFailed = [&, record = upgrader->OnVerifyFailed](
                                       TauAutoUpgrader* sender, const std::wstring& url, VerifyReason reason) {
            refusedAfter = ::GetTickCount() - firstPiece;
            record(sender, url, reason);
        };
        const DWORD started = ::GetTickCount();
        ASSERT_TRUE(Check(20000));
        const DWORD took = ::GetTickCount() - started;
        ExpectRefused(VerifyReason::kSizeMismatch, kTextConnectionLost);
        EXPECT_LE(largestKept, kDeclared);
        EXPECT_LE(largestOnDisk, static_cast<int64_t>(kDeclared));
        if (*framing == L'\0') {
            EXPECT_GT(largestOnDisk, 0) << "the announced body goes to the file";
        }
        if (std::wstring(framing) == L"&length=none") {
            EXPECT_LT(took, 3000u) << "the transfer read on past its size";
        }
        std::printf("endless data%s: %u bytes kept, %lld on disk at most, refused %lu ms after the first piece, "
                    "check %lu ms\n",
                    win::ToUtf8(framing).c_str(), largestKept, static_cast<long long>(largestOnDisk),
                    static_cast<unsigned long>(refusedAfter), static_cast<unsigned long>(took));
    }
}

TEST_F(AuSignedUpgrade, UnsignedModeReadsTheSignedMarkersAsFreeText) {
    AU_REQUIRE_TEST_SERVER();
    upgrader->SetPublicKey(L"");
    const std::wstring name = FileName(L"plain");
    ServeInfo(Entries({{Served(name, 10), "not these bytes"}}) + "#signature=garbage\r\n#url5=x\r\n");
    ASSERT_TRUE(Check());
    EXPECT_EQ(events, (Strings{"BeginUpgrade", "FileStart", "Progress", "FileDone", "EndUpgrade", "Aborted"}));
}

TEST_F(AuSignedUpgrade, AKeyThatIsNoP256PointIsRaised) {
    for (const std::wstring& bad : {std::wstring(L"not base64"), win::FromUtf8(Base64OfBytes(std::string(64, 'x'))),
                                    win::FromUtf8(Base64OfBytes("\x02" + std::string(64, 'x'))), std::wstring(L"中文")})
        EXPECT_THROW(upgrader->SetPublicKey(bad), win::Error) << win::ToUtf8(bad);
    EXPECT_EQ(upgrader->PublicKey(), publisher.PublicKey()) << "a refused key leaves the one set";
}

} // namespace
} // namespace au::testing
