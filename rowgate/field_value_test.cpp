#include "field_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

using namespace rowgate;

namespace {

std::string TextOf(FieldValue v) {
    FvToText(v);
    std::string s(FvText(v));
    const bool isText = v.kind == kText;
    FvClear(v);
    return isText ? s : std::string("<not text>");
}

// Converts in place, as the float export does. A record is a C struct whose
// text it owns, so a copy must never be cleared beside its original.
double RealOf(FieldValue& v) {
    FvToReal(v);
    return FvRealOf(v);
}

double RealOf(FieldValue&& v) {
    const double x = RealOf(v);
    FvClear(v);
    return x;
}

FieldValue Real(FieldKind k, double x) {
    FieldValue v{};
    FvSetDouble(v, k, x);
    return v;
}

} // namespace

TEST(RowgateFieldValueLayout, KindThenEightBytePayload) {
    EXPECT_EQ(offsetof(FieldValue, kind), 0u);
    EXPECT_EQ(offsetof(FieldValue, u), 8u);
    EXPECT_EQ(offsetof(FieldValue, u.real), 8u);
    if (sizeof(void*) == 4) {
        // The 32-bit ABI callers were built against.
        EXPECT_EQ(sizeof(FieldValue), 16u);
        EXPECT_EQ(offsetof(FieldValue, u.text.len), 12u);
    } else {
        EXPECT_EQ(sizeof(FieldValue), 24u);
        EXPECT_EQ(offsetof(FieldValue, u.text.len), 16u);
    }
    FieldValue v{};
    ASSERT_TRUE(FvSetText(v, "abc"));
    EXPECT_EQ(v.kind, kText);
    EXPECT_STREQ(v.u.text.ptr, "abc");
    EXPECT_EQ(v.u.text.len, 3u);
    FvClear(v);
    EXPECT_EQ(v.kind, kEmpty);
}

TEST(RowgateFieldValueLayout, EmptyTextHasNoMemory) {
    FieldValue v{};
    FvSetText(v, "");
    EXPECT_EQ(v.kind, kText);
    EXPECT_EQ(v.u.text.ptr, nullptr);
    EXPECT_EQ(v.u.text.len, 0u);
}

TEST(RowgateFieldValueLayout, StoringFreesWhatWasOwned) {
    struct Probe : FieldObject {
        int* dead;
        explicit Probe(int* d) : dead(d) {}
        ~Probe() override { ++*dead; }
    };
    int dead = 0;
    FieldValue v{};
    v.kind = kObject;
    v.u.object = new Probe(&dead);
    FvSetLong(v, 5, false);
    EXPECT_EQ(dead, 1);
    EXPECT_EQ(v.kind, kLong);
}

TEST(RowgateFieldValueText, Integers) {
    FieldValue v{};
    FvSetLong(v, 7, false);
    EXPECT_EQ(TextOf(v), "7");
    FvSetLong(v, -1, false);
    EXPECT_EQ(TextOf(v), "-1");
    FvSetLong(v, -1, true);
    EXPECT_EQ(TextOf(v), "4294967295");
    FvSetShort(v, -1, false);
    EXPECT_EQ(TextOf(v), "-1");
    FvSetShort(v, -1, true);
    EXPECT_EQ(TextOf(v), "65535");
    FvSetGuidHead(v, 0x12345678);
    EXPECT_EQ(TextOf(v), "305419896");
    v = FieldValue{};
    v.kind = kInt8;
    v.u.i8 = -3;
    EXPECT_EQ(TextOf(v), "-3");
    v.kind = kInt16Alt;
    v.u.i16 = 300;
    EXPECT_EQ(TextOf(v), "300");
    v.kind = kInt32Alt;
    v.u.i32 = -70000;
    EXPECT_EQ(TextOf(v), "-70000");
}

TEST(RowgateFieldValueText, RealsWithSixDecimals) {
    EXPECT_EQ(TextOf(Real(kReal, 1.5)), "1.500000");
    EXPECT_EQ(TextOf(Real(kReal, 0.0)), "0.000000");
    EXPECT_EQ(TextOf(Real(kCurrency, -1.25)), "-1.250000");
    EXPECT_EQ(TextOf(Real(kReal, 1e300)).size(), 301u + 7u);
}

TEST(RowgateFieldValueText, EmptyNullAndObjectGiveEmptyText) {
    FieldValue v{};
    EXPECT_EQ(TextOf(v), "");
    FvSetNull(v);
    EXPECT_EQ(TextOf(v), "");
}

TEST(RowgateFieldValueText, TextAndBytesStay) {
    FieldValue v{};
    FvSetText(v, "\xd5\xc5\xc8\xfd");
    EXPECT_EQ(TextOf(v), "\xd5\xc5\xc8\xfd");
    char* block = FvAllocText(2);
    block[0] = 1;
    block[1] = 2;
    block[2] = 0;
    v = FieldValue{};
    v.kind = kBytes;
    v.u.text.ptr = block;
    v.u.text.len = 2;
    FvToText(v);
    EXPECT_EQ(v.kind, kBytes);
    FvClear(v);
}

TEST(RowgateFieldValueText, Dates) {
    const double stamp = EncodeOleDateTime(2005, 3, 7, 14, 5, 9);
    EXPECT_EQ(TextOf(Real(kDateTime, stamp)), "2005-03-07 14:05:09");
    EXPECT_EQ(TextOf(Real(kDate, stamp)), "2005-03-07");
    EXPECT_EQ(TextOf(Real(kTime, EncodeOleTime(8, 30, 0))), "08:30:00");
    EXPECT_EQ(TextOf(Real(kDate, 0.0)), "1899-12-30");
    EXPECT_EQ(TextOf(Real(kDateTime, 0.0)), "1899-12-30 00:00:00");
    EXPECT_EQ(TextOf(Real(kDate, EncodeOleDate(100, 1, 1))), "100-01-01");
    EXPECT_EQ(TextOf(Real(kDate, EncodeOleDate(9999, 12, 31))), "9999-12-31");
}

TEST(RowgateFieldValueText, DatesOutsideYears100To9999AreEmpty) {
    EXPECT_EQ(TextOf(Real(kDate, EncodeOleDate(99, 12, 31))), "");
    EXPECT_EQ(TextOf(Real(kDate, 2958466.0)), "");
    EXPECT_EQ(TextOf(Real(kDate, NAN)), "");
    EXPECT_EQ(TextOf(Real(kTime, -1e9)), "");
}

TEST(RowgateFieldValueText, DatesBeforeEpochCountTimeForward) {
    // -1.25 is 1899-12-29 06:00 in OLE Automation dates.
    EXPECT_EQ(TextOf(Real(kDateTime, -1.25)), "1899-12-29 06:00:00");
    EXPECT_DOUBLE_EQ(EncodeOleDateTime(1899, 12, 29, 6, 0, 0), -1.25);
}

TEST(RowgateFieldValueReal, Conversions) {
    FieldValue v{};
    FvSetLong(v, 7, false);
    EXPECT_EQ(RealOf(v), 7.0);
    FvSetLong(v, -1, false);
    EXPECT_EQ(RealOf(v), -1.0);
    FvSetLong(v, -1, true);
    EXPECT_EQ(RealOf(v), 4294967295.0);
    FvSetShort(v, -1, true);
    EXPECT_EQ(RealOf(v), 65535.0);
    FvSetShort(v, -1, false);
    EXPECT_EQ(RealOf(v), -1.0);
    EXPECT_EQ(RealOf(Real(kCurrency, 1.5)), 1.5);
    EXPECT_EQ(RealOf(Real(kDate, 38353.0)), 38353.0);
    FvSetText(v, "12");
    EXPECT_EQ(RealOf(v), 0.0);
    FvSetNull(v);
    EXPECT_EQ(RealOf(v), 0.0);
    FvClear(v);
    EXPECT_EQ(RealOf(v), 0.0);
}

TEST(RowgateFieldValueReal, ToRealKeepsDateKinds) {
    FieldValue v = Real(kTime, 0.25);
    FvToReal(v);
    EXPECT_EQ(v.kind, kTime);
    FvSetShort(v, 3, false);
    FvToReal(v);
    EXPECT_EQ(v.kind, kReal);
}

TEST(RowgateOleDates, EncodeKnownDays) {
    EXPECT_EQ(EncodeOleDate(2005, 1, 1), 38353.0);
    EXPECT_EQ(EncodeOleDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeOleDate(1900, 3, 1), 61.0);
    EXPECT_NEAR(EncodeOleTime(8, 30, 0), 0.3541667, 1e-7);
    EXPECT_NEAR(static_cast<float>(EncodeOleTime(8, 30, 0)), 0.3541667f, 1e-7);
}

TEST(RowgateOleDates, InvalidPartsGiveZero) {
    EXPECT_EQ(EncodeOleDate(0, 0, 0), 0.0);
    EXPECT_EQ(EncodeOleDate(2005, 13, 1), 0.0);
    EXPECT_EQ(EncodeOleDate(2005, 2, 29), 0.0);
    EXPECT_EQ(EncodeOleDate(2004, 2, 29), 38046.0);
    EXPECT_EQ(EncodeOleDate(10000, 1, 1), 0.0);
    EXPECT_EQ(EncodeOleTime(24, 0, 0), 0.0);
    EXPECT_EQ(EncodeOleDateTime(2005, 3, 0, 1, 0, 0), 0.0);
}

TEST(RowgateOleDates, DecodeRoundTrip) {
    DateParts p{};
    ASSERT_TRUE(DecodeOleDate(EncodeOleDateTime(2024, 2, 29, 23, 59, 59), p));
    EXPECT_EQ(p.year, 2024);
    EXPECT_EQ(p.month, 2);
    EXPECT_EQ(p.day, 29);
    EXPECT_EQ(p.hour, 23);
    EXPECT_EQ(p.minute, 59);
    EXPECT_EQ(p.second, 59);
}

TEST(RowgateCleanReal, TinyAndNanBecomeZero) {
    EXPECT_EQ(CleanReal(1e-101), 0.0);
    EXPECT_EQ(CleanReal(-1e-100), 0.0);
    EXPECT_EQ(CleanReal(NAN), 0.0);
    EXPECT_EQ(CleanReal(1e-99), 1e-99);
    EXPECT_EQ(CleanReal(-2.5), -2.5);
}

TEST(RowgateFieldValueText, RealTextMatchesPrintf) {
    const double samples[] = {0.0,      -0.0,    1.5,         -1.25,        0.1,         2.0 / 3.0,
                              1e-7,     5e-7,    0.0000005,   0.9999995,    123456.789,  -987654321.123456789,
                              1e15,     1e22,    4294967295., 12345678901., 1e300,       -1e-5,
                              0.125,    2.5e-6,  1.0000005,   9007199254740993.0};
    for (double x : samples) {
        char want[512];
        std::snprintf(want, sizeof want, "%f", x);
        EXPECT_EQ(TextOf(Real(kReal, x)), want) << x;
    }
    // Exact ties at the sixth decimal round to even, as printf does.
    for (double x : {0.0078125, 0.0234375, -0.0078125, 1.0078125, 0.5, 2.5e-1, 1.0 / 1024, 3.0 / 2048, 1e-300,
                     -1e-300, 8589934591.999999, 8589934592.5, 4.9e-324, 0.0000005, 0.0000015, 0.0000025}) {
        char want[512];
        std::snprintf(want, sizeof want, "%f", x);
        EXPECT_EQ(TextOf(Real(kReal, x)), want) << x;
    }
    uint64_t seed = 12345;
    for (int i = 0; i < 20000; ++i) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        // Random mantissas across exponents from tiny to beyond the fast range.
        const uint64_t bits = (seed >> 12) | (static_cast<uint64_t>(900 + (seed >> 3) % 200) << 52) |
                              ((seed & 1) << 63);
        double x;
        std::memcpy(&x, &bits, sizeof x);
        char want[512];
        std::snprintf(want, sizeof want, "%f", x);
        ASSERT_EQ(TextOf(Real(kReal, x)), want) << x;
    }
    for (int i = 0; i < 20000; ++i) {
        const double x = (i * 7919 % 100003) / 997.0 - 50.0 + i * 1e-7;
        char want[512];
        std::snprintf(want, sizeof want, "%f", x);
        ASSERT_EQ(TextOf(Real(kReal, x)), want) << x;
    }
}

TEST(RowgateFieldValueText, FormatWritesWithoutTerminatorAndSkipsText) {
    char buf[kFormatBufferSize];
    std::memset(buf, 'Z', sizeof buf);
    FieldValue v{};
    FvSetLong(v, 42, false);
    EXPECT_EQ(FvFormat(v, buf), 2);
    EXPECT_EQ(std::string(buf, 3), "42Z");
    FvSetText(v, "text");
    EXPECT_EQ(FvFormat(v, buf), -1);
    FvClear(v);
    EXPECT_EQ(FvFormat(v, buf), 0);
}
