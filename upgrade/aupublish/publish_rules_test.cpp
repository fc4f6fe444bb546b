// aupublish's decisions: its command line, its key file, and the editing of
// the information file, read back through the rules the program reads with.
#include "upgrade/aupublish/publish_rules.h"

#include <gtest/gtest.h>

#include <set>

#include "net/form_data.h"

namespace au {
namespace {

using Args = std::vector<std::wstring>;

TEST(AuPublishArgs, EachCommandTakesItsOperandsAndOptionsInAnyOrder) {
    const auto sign = ParsePublishArgs({L"sign", L"--dir", L"rel", L"k.txt", L"--file", L"http://h/a?x=1=C:\\a",
                                        L"info.txt", L"--valid-days", L"3650", L"--file", L"u=p"});
    ASSERT_TRUE(sign.args) << sign.error;
    EXPECT_EQ(sign.args->command, PublishCommand::kSign);
    EXPECT_EQ(sign.args->key, L"k.txt");
    EXPECT_EQ(sign.args->infoFile, L"info.txt");
    EXPECT_EQ(sign.args->dir, L"rel");
    EXPECT_EQ(sign.args->fileOptions, (Args{L"http://h/a?x=1=C:\\a", L"u=p"}));
    EXPECT_EQ(sign.args->validDays, 3650);
    EXPECT_EQ(ParsePublishArgs({L"sign", L"k", L"i"}).args->validDays, 30);
    EXPECT_EQ(ParsePublishArgs({L"verify", L"BASE64", L"i", L"--dir", L"d"}).args->command, PublishCommand::kVerify);
    EXPECT_EQ(ParsePublishArgs({L"keygen", L"k"}).args->key, L"k");
}

TEST(AuPublishArgs, EachMistakeIsRefusedWithWhatIsWrong) {
    const auto none = ParsePublishArgs({});
    EXPECT_FALSE(none.args);
    EXPECT_TRUE(none.error.empty()) << "no arguments: the usage alone";
    const std::vector<std::pair<Args, std::wstring>> cases = {
        {{L"publish"}, L"unknown command"},
        {{L"keygen"}, L"keygen needs"},
        {{L"keygen", L"a", L"b"}, L"takes only"},
        {{L"sign", L"k"}, L"sign needs"},
        {{L"verify", L"p", L"i", L"x"}, L"takes only"},
        {{L"sign", L"k", L"i", L"--valid-days", L"0"}, L"--valid-days takes"},
        {{L"sign", L"k", L"i", L"--valid-days", L"3651"}, L"--valid-days takes"},
        {{L"sign", L"k", L"i", L"--valid-days", L"-5"}, L"--valid-days takes"},
        {{L"sign", L"k", L"i", L"--valid-days", L"7d"}, L"--valid-days takes"},
        {{L"verify", L"p", L"i", L"--valid-days", L"7"}, L"unknown option '--valid-days' for verify"},
        {{L"keygen", L"k", L"--dir", L"d"}, L"unknown option"},
        {{L"sign", L"k", L"i", L"--force"}, L"unknown option '--force'"},
        {{L"sign", L"k", L"i", L"--dir"}, L"--dir needs a value"},
        {{L"sign", L"k", L"i", L"--dir", L"a", L"--dir", L"b"}, L"twice"},
        {{L"sign", L"k", L"i", L"--file", L"no-equals"}, L"--file takes"},
        {{L"sign", L"k", L"i", L"--file", L"=path"}, L"--file takes"},
        {{L"sign", L"k", L"i", L"--file", L"http://h/a="}, L"--file takes"},
    };
    for (const auto& [args, error] : cases) {
        const auto parsed = ParsePublishArgs(args);
        EXPECT_FALSE(parsed.args) << args.back();
        EXPECT_NE(parsed.error.find(error), std::wstring::npos) << parsed.error;
    }
}

TEST(AuPublishFileOption, TheLongestAddressFollowedByAnEqualsSignTakesIt) {
    const std::vector<std::wstring> addresses = {L"http://h/a?x", L"http://h/a?x=1", L"http://h/b"};
    const auto longer = MatchFileOption(L"http://h/a?x=1=C:\\rel\\a=b", addresses);
    ASSERT_TRUE(longer);
    EXPECT_EQ(longer->address, L"http://h/a?x=1");
    EXPECT_EQ(longer->path, L"C:\\rel\\a=b");
    EXPECT_EQ(MatchFileOption(L"http://h/a?x=C:\\a", addresses)->address, L"http://h/a?x");
    EXPECT_FALSE(MatchFileOption(L"http://h/c=C:\\c", addresses));
    EXPECT_FALSE(MatchFileOption(L"http://h/b", addresses)) << "no path";
    EXPECT_FALSE(MatchFileOption(L"HTTP://h/b=C:\\b", addresses)) << "the exact text";
}

TEST(AuPublishKeyFile, TheBlobRoundTripsAndEachMixUpIsToldApart) {
    const std::string blob(96, '\x7F');
    const std::string text = KeyFileText(blob);
    EXPECT_EQ(ReadKeyFileText(text).blob, blob);
    std::string lf = std::string(kKeyFileHeader) + "\n" + Base64OfBytes(blob);
    EXPECT_EQ(ReadKeyFileText(lf).blob, blob) << "an editor's line ends";

    const std::string point = std::string(1, 4) + std::string(64, 0x11);
    EXPECT_EQ(ReadKeyFileText(Base64OfBytes(point) + "\r\n").fault, KeyFileFault::kPublicKey);
    EXPECT_EQ(ReadKeyFileText(Base64OfBytes(blob)).fault, KeyFileFault::kNoHeader) << "Base64 alone is no key file";
    EXPECT_EQ(ReadKeyFileText("").fault, KeyFileFault::kNoHeader);
    EXPECT_EQ(ReadKeyFileText(std::string(kKeyFileHeader) + "X\r\n" + Base64OfBytes(blob)).fault,
              KeyFileFault::kNoHeader);
    EXPECT_EQ(ReadKeyFileText(std::string(kKeyFileHeader) + "\r\n" + Base64OfBytes(blob) + "\r\nmore").fault,
              KeyFileFault::kNotBase64);
    EXPECT_EQ(ReadKeyFileText(std::string(kKeyFileHeader) + "\r\n" + Base64OfBytes(point)).fault,
              KeyFileFault::kWrongLength);
    EXPECT_EQ(ReadKeyFileText(kKeyFileHeader).fault, KeyFileFault::kWrongLength);
}

const FileDigest kDigestA{{0xA1}, 10}, kDigestB{{0xB2}, 0};

TEST(AuPublishSigning, AnEarlierSigningIsTakenOutAndTheAuthorsTextKeptByteForByte) {
    const std::string authored =
        "#version=2\n#hashtag=kept\r#url=http://h/a\r\n#hash1x=kept\n#message={no #hash=here}\r\n\r\n";
    const std::string once = CoveredText(authored, {{"", kDigestA}}, 1000) + SignatureLine(std::string(64, 's'));
    EXPECT_EQ(WithoutSigning(once), authored);
    EXPECT_EQ(WithoutSigning("#url=a\n#hash12=x\r\n#expires=y\r#url0=b"), "#url=a\n#url0=b");
    EXPECT_EQ(WithoutSigning("#url=a\n#expires=2000-01-01T00:00:00Z"), "#url=a\n") << "a last line without a break";
    EXPECT_EQ(WithoutSigning("#url=a\n#signature=x\r\n#version=9\r\n"), "#url=a\n") << "all from the marker on";

    const std::string twice =
        CoveredText(WithoutSigning(once), {{"", kDigestA}}, 1000) + SignatureLine(std::string(64, 's'));
    EXPECT_EQ(twice, once) << "signing again adds nothing twice";
}

TEST(AuPublishSigning, WhatIsAppendedReadsBackThroughTheProgramsRules) {
    const std::string authored = "#version=2\r\n#url=http://h/a\r\n#url0=http://h/b";
    const std::string covered = CoveredText(authored, {{"", kDigestA}, {"0", kDigestB}}, 1709208000);
    ASSERT_TRUE(covered.starts_with(authored + "\r\n"));
    EXPECT_TRUE(covered.ends_with("\r\n#expires=2024-02-29T12:00:00Z\r\n")) << covered;
    const auto declared = DeclaredDigests(covered, {"", "0"});
    ASSERT_FALSE(declared.fault);
    EXPECT_EQ(declared.files, (std::vector<FileDigest>{kDigestA, kDigestB}));
    EXPECT_EQ(OvershadowedEntry(covered, {{"", kDigestA}, {"0", kDigestB}}, 1709208000), "");

    const std::string signature(64, '\x5C');
    const std::string file = covered + SignatureLine(signature);
    const auto split = SplitSignedText(file);
    ASSERT_FALSE(split.fault);
    EXPECT_EQ(split.text.covered, covered);
    EXPECT_EQ(split.text.signature, signature);
    EXPECT_EQ(CoveredText("", {}, 0), "#expires=1970-01-01T00:00:00Z\r\n");
}

TEST(AuPublishSigning, AMarkerInsideAnotherLineThatAReaderWouldTakeFirstIsFound) {
    const std::string inUrl = CoveredText("#url=http://h/a?x=#hash=sha256:00:1\r\n", {{"", kDigestA}}, 0);
    EXPECT_EQ(OvershadowedEntry(inUrl, {{"", kDigestA}}, 0), "#hash=");
    const std::string inMessage = CoveredText("#message={valid until #expires=never}\r\n", {}, 0);
    EXPECT_EQ(OvershadowedEntry(inMessage, {}, 0), "#expires=");
}

TEST(AuPublishUnreadAddresses, EntriesTheNumberingNeverReachesAreListed) {
    using Keys = std::vector<std::string>;
    EXPECT_EQ(UnreadAddressKeys("#url=a\n#url1=b\n"), Keys{"url1"}) << "#url= alone goes on at #url2=";
    EXPECT_EQ(UnreadAddressKeys("#url=a\n#url0=b\n#url2=c\n#url3=d"), Keys{"url2"});
    EXPECT_EQ(UnreadAddressKeys("#url1=a\n#url2=b\n#url4=c\n#url6=d"), (Keys{"url4", "url6"}));
    EXPECT_EQ(UnreadAddressKeys("#url=a\n#url2=b\n#url3=\n#urlx=c\n#url5="), Keys{});
}

TEST(AuPublishReport, EachReasonHasItsOwnTagAndTheLineNamesItsSubject) {
    std::set<std::string> tags;
    for (int r = 0; r <= static_cast<int>(VerifyReason::kHashMismatch); ++r)
        tags.insert(ReasonTag(static_cast<VerifyReason>(r)));
    EXPECT_EQ(tags.size(), 7u);
    EXPECT_EQ(ReasonLine(VerifyReason::kSizeMismatch, L"http://h/a", L"declared 1 bytes"),
              L"size-mismatch: http://h/a: a file's size differs from its hash entry (declared 1 bytes)");
    EXPECT_EQ(ReasonLine(VerifyReason::kUnsigned, {}), L"unsigned: the information file is not signed");
}

} // namespace
} // namespace au
