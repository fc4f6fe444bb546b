#include "net/http_rules.h"

#include <gtest/gtest.h>

namespace au {
namespace {

TEST(AuHttpRules, VerbFollowsMethodPostDataAndUploads) {
    EXPECT_EQ(ChooseVerb(rmAutoDetect, false, pmFormURLEncoded), L"GET");
    EXPECT_EQ(ChooseVerb(rmAutoDetect, true, pmFormURLEncoded), L"POST");
    EXPECT_EQ(ChooseVerb(rmAutoDetect, false, pmMultipartFormData), L"POST");
    EXPECT_EQ(ChooseVerb(rmGET, true, pmMultipartFormData), L"GET");
    EXPECT_EQ(ChooseVerb(rmPOST, false, pmFormURLEncoded), L"POST");
}

TEST(AuHttpRules, RequestFlagsAndSessionAccess) {
    EXPECT_EQ(RequestFlags(L"http", true, true), 0u);
    EXPECT_EQ(RequestFlags(L"https", true, true), 0x00800000u);
    EXPECT_EQ(RequestFlags(L"HTTPS", true, true), 0u) << "only the exact scheme asks for TLS";
    EXPECT_EQ(RequestFlags(L"http", false, false), 0x84000100u | 0x00080000u);
    EXPECT_EQ(OpenType(atPreconfig), 0u);
    EXPECT_EQ(OpenType(atDirect), 1u);
    EXPECT_EQ(OpenType(atUseProxy), 3u);
    EXPECT_EQ(ProxyText(atUseProxy, L"proxy.example", 3128), L"proxy.example:3128");
    EXPECT_EQ(ProxyText(atDirect, L"proxy.example", 3128), L"");
}

TEST(AuHttpRules, ExtraHeadersEndEachLineAndAddTheRange) {
    EXPECT_EQ(ExtraHeaderText({}, 0, 0), L"");
    EXPECT_EQ(ExtraHeaderText({L"X-A: 1", L"X-B: 2"}, 0, 0), L"X-A: 1\r\nX-B: 2\r\n");
    EXPECT_EQ(ExtraHeaderText({}, 100, 0), L"RANGE: bytes=100-\r\n");
    EXPECT_EQ(ExtraHeaderText({L"X-A: 1"}, 100, 199), L"X-A: 1\r\nRANGE: bytes=100-199\r\n");
    EXPECT_EQ(ExtraHeaderText({}, 0, 99), L"RANGE: bytes=0-99\r\n");
}

TEST(AuHttpRules, WhichRedirectsAreFollowedAndWithWhichVerb) {
    for (int status : {301, 302, 303, 307}) EXPECT_TRUE(IsFollowedRedirect(status)) << status;
    for (int status : {200, 300, 304, 305, 308, 401}) EXPECT_FALSE(IsFollowedRedirect(status)) << status;
    EXPECT_EQ(VerbAfterRedirect(302, L"POST"), L"GET");
    EXPECT_EQ(VerbAfterRedirect(301, L"POST"), L"GET");
    EXPECT_EQ(VerbAfterRedirect(303, L"POST"), L"GET");
    EXPECT_EQ(VerbAfterRedirect(307, L"POST"), L"POST");
    EXPECT_EQ(VerbAfterRedirect(302, L"GET"), L"GET");
}

TEST(AuHttpRules, RealmOfAnAuthenticationRequest) {
    EXPECT_EQ(RealmOf(L"Basic realm=\"Files\""), L"Files");
    EXPECT_EQ(RealmOf(L"Basic realm=Files"), L"Basic realm=Files");
    EXPECT_EQ(RealmOf(L"Basic"), L"Basic");
    EXPECT_EQ(RealmOf(L"Basic realm=\""), L"");
    EXPECT_EQ(RealmOf(L""), L"");
}

TEST(AuHttpRules, NumbersOfHeaderValues) {
    EXPECT_EQ(StatusCodeOf(L"200"), 200);
    EXPECT_EQ(StatusCodeOf(L"abc"), 0);
    EXPECT_EQ(StatusCodeOf(L""), 0);
    EXPECT_EQ(ContentLengthOf(L"1000"), 1000u);
    EXPECT_EQ(ContentLengthOf(L"3000000000"), 3000000000u);
    EXPECT_EQ(ContentLengthOf(L"99999999999999999999"), 0xFFFFFFFFu) << "saturates, never wraps to a small size";
    EXPECT_EQ(ContentLengthOf(L"-5"), 0u);
}

TEST(AuHttpRules, ProgressFigures) {
    auto half = ComputeProgress(1000, 500, 4000);
    EXPECT_EQ(half.percentsDone, 50);
    EXPECT_EQ(half.elapsedTime, 4u);
    EXPECT_EQ(half.estimatedTime, 4);
    EXPECT_FLOAT_EQ(half.transferRate, 500.0f / 1024 / 4);
    auto unknown = ComputeProgress(0, 2048, 3500);
    EXPECT_EQ(unknown.percentsDone, 0);
    EXPECT_EQ(unknown.estimatedTime, -3) << "minus the elapsed time when the size is unknown";
    auto early = ComputeProgress(1000, 2048, 999);
    EXPECT_EQ(early.elapsedTime, 0u);
    EXPECT_FLOAT_EQ(early.transferRate, 2.0f) << "no division within the first second";
    // round(5 / 6 * 3) is round(2.5): half to even gives 2, so 2 - 3.
    EXPECT_EQ(ComputeProgress(5, 6, 3000).estimatedTime, -1);
    // Three gigabytes announced, one byte in the first second: the estimate
    // is past 32 bits and stays at their end rather than wrapping negative.
    EXPECT_EQ(ComputeProgress(3000000000u, 1, 1000).estimatedTime, INT32_MAX);
}

TEST(AuHttpRules, StatusTexts) {
    EXPECT_STREQ(StatusText(10), L"Resolving name");
    EXPECT_STREQ(StatusText(30), L"Sending Request");
    EXPECT_STREQ(StatusText(110), L"Redirect");
    EXPECT_STREQ(StatusText(200), L"State change");
    EXPECT_STREQ(StatusText(12345), L"Unknown status");
}

TEST(AuHttpRules, CompletionEventsPerOutcome) {
    using E = CompletionEvent;
    auto events = [](Completion c) { return c.events; };
    EXPECT_EQ(events(DecideCompletion(true, true, true, false, 200)), (std::vector<E>{E::Done}));
    EXPECT_EQ(events(DecideCompletion(true, true, false, false, 200)), (std::vector<E>{E::AnyError}));
    EXPECT_EQ(events(DecideCompletion(true, false, true, false, 200)), (std::vector<E>{E::AnyError, E::ConnLost}));
    EXPECT_EQ(events(DecideCompletion(true, false, false, false, -1)),
              (std::vector<E>{E::AnyError, E::HostUnreachable}));
    EXPECT_EQ(events(DecideCompletion(true, false, true, false, 404)), (std::vector<E>{E::AnyError, E::HTTPError}));
    EXPECT_EQ(events(DecideCompletion(false, true, true, false, 200)), (std::vector<E>{E::DoneInterrupted}));
    EXPECT_TRUE(DecideCompletion(true, false, true, true, 500).deleteOutputFile);
    EXPECT_FALSE(DecideCompletion(true, true, true, true, 200).deleteOutputFile);
}

TEST(AuHttpRules, LoginRecordRoundTripsScrambled) {
    auto record = EncodeLoginRecord("alice", "s3cret");
    ASSERT_TRUE(record);
    ASSERT_EQ(record->size(), 1u + 1 + 5 + 6);
    EXPECT_EQ(static_cast<uint8_t>((*record)[0]), 12);
    EXPECT_EQ(record->find("alice"), std::string::npos) << "the names are not readable in the record";
    std::string user, password;
    ASSERT_TRUE(DecodeLoginRecord(*record, user, password));
    EXPECT_EQ(user, "alice");
    EXPECT_EQ(password, "s3cret");

    EXPECT_TRUE(EncodeLoginRecord(std::string(200, 'u'), std::string(54, 'p')));
    EXPECT_FALSE(EncodeLoginRecord(std::string(200, 'u'), std::string(55, 'p')));

    std::string damaged = *record;
    damaged.pop_back();
    EXPECT_FALSE(DecodeLoginRecord(damaged, user, password));
    EXPECT_FALSE(DecodeLoginRecord("", user, password));
    std::string overrun = *record;
    overrun[1] = static_cast<char>(overrun[1] ^ 0x40);  // the name length now runs past the record
    EXPECT_FALSE(DecodeLoginRecord(overrun, user, password));
}

} // namespace
} // namespace au
