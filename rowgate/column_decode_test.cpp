#include "column_decode.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

using namespace rowgate;

namespace {

const char kZhang936[] = "\xd5\xc5";  // 张 in code page 936, the test prefix's ANSI code page

struct Place {
    alignas(8) unsigned char bytes[64] = {};
    template <typename T>
    Place& Put(size_t at, T x) {
        std::memcpy(bytes + at, &x, sizeof x);
        return *this;
    }
};

struct Result {
    Decoded decoded;
    FieldValue value;
};

Result Decode(uint16_t type, const Place& p, uint32_t size = 16, uint32_t flags = 0, uint32_t status = 0) {
    Result r{Decoded::Failed, FieldValue{}};
    r.decoded = DecodeWithStatus(ColumnView{type, flags, p.bytes, size}, status, r.value);
    return r;
}

std::string Text(uint16_t type, const Place& p, uint32_t size = 16, uint32_t flags = 0) {
    Result r = Decode(type, p, size, flags);
    EXPECT_EQ(r.decoded, Decoded::Value);
    FvToText(r.value);
    std::string s(FvText(r.value));
    FvClear(r.value);
    return s;
}

double Real(uint16_t type, const Place& p) {
    Result r = Decode(type, p);
    EXPECT_EQ(r.decoded, Decoded::Value);
    FvToReal(r.value);
    const double x = FvRealOf(r.value);
    FvClear(r.value);
    return x;
}

int Kind(uint16_t type, const Place& p) {
    Result r = Decode(type, p);
    const int k = r.value.kind;
    FvClear(r.value);
    return k;
}

} // namespace

TEST(RowgateDecodeStatus, NullReadsAsNullText) {
    Place p;
    p.Put<int32_t>(0, 42);
    Result r = Decode(dbtype::kI4, p, 4, 0, kStatusIsNull);
    EXPECT_EQ(r.decoded, Decoded::Value);
    EXPECT_EQ(std::string(FvText(r.value)), "<NULL>");
    FvToReal(r.value);
    EXPECT_EQ(FvRealOf(r.value), 0.0);
    FvClear(r.value);
}

TEST(RowgateDecodeStatus, CantCreateReadsAsNull) {
    Place p;
    Result r = Decode(dbtype::kWStr, p, 10, 0, kStatusCantCreate);
    EXPECT_EQ(r.decoded, Decoded::Value);
    EXPECT_EQ(r.value.kind, kNull);
}

TEST(RowgateDecodeStatus, OtherStatusesAreNotLookedAt) {
    Place p;
    p.Put<int32_t>(0, 9);
    Result r = Decode(dbtype::kI4, p, 4, 0, 2 /* truncated */);
    EXPECT_EQ(r.value.kind, kLong);
    EXPECT_EQ(r.value.u.i32, 9);
}

TEST(RowgateDecodeTypes, DbNullIsEmptyAndFails) {
    Place p;
    Result r = Decode(dbtype::kNull, p);
    EXPECT_EQ(r.decoded, Decoded::Failed);
    EXPECT_EQ(r.value.kind, kEmpty);
}

TEST(RowgateDecodeTypes, Integers) {
    Place p;
    EXPECT_EQ(Text(dbtype::kI2, Place().Put<int16_t>(0, -5)), "-5");
    EXPECT_EQ(Kind(dbtype::kI2, p), kShort);
    EXPECT_EQ(Text(dbtype::kI4, Place().Put<int32_t>(0, 7)), "7");
    EXPECT_EQ(Kind(dbtype::kI4, p), kLong);
    EXPECT_EQ(Text(dbtype::kError, Place().Put<int32_t>(0, static_cast<int32_t>(0x80004005))), "-2147467259");
    EXPECT_EQ(Kind(dbtype::kError, p), kLong);
    EXPECT_EQ(Text(dbtype::kBool, Place().Put<int16_t>(0, -1)), "-1");
    EXPECT_EQ(Kind(dbtype::kBool, p), kShort);
    EXPECT_EQ(Text(dbtype::kI1, Place().Put<int8_t>(0, -100)), "-100");
    EXPECT_EQ(Kind(dbtype::kI1, p), kShort);
    EXPECT_EQ(Text(dbtype::kUI1, Place().Put<uint8_t>(0, 200)), "200");
    EXPECT_EQ(Text(dbtype::kUI2, Place().Put<uint16_t>(0, 65535)), "65535");
    EXPECT_EQ(Kind(dbtype::kUI2, p), kShort);
    EXPECT_EQ(Text(dbtype::kUI4, Place().Put<uint32_t>(0, 4000000000u)), "4000000000");
    EXPECT_EQ(Kind(dbtype::kUI4, p), kLong);
    EXPECT_EQ(Real(dbtype::kUI4, Place().Put<uint32_t>(0, 0xFFFFFFFFu)), 4294967295.0);
    EXPECT_EQ(Real(dbtype::kI4, Place().Put<int32_t>(0, -1)), -1.0);
    EXPECT_EQ(Real(dbtype::kUI8, Place().Put<uint64_t>(0, 1ull << 63)), 9223372036854775808.0);
    EXPECT_EQ(Kind(dbtype::kUI8, p), kReal);
}

TEST(RowgateDecodeTypes, Reals) {
    EXPECT_EQ(Text(dbtype::kR8, Place().Put<double>(0, 1.5)), "1.500000");
    EXPECT_EQ(Text(dbtype::kR4, Place().Put<float>(0, 0.25f)), "0.250000");
    EXPECT_EQ(Text(dbtype::kR8, Place().Put<double>(0, 1e-101)), "0.000000");
    EXPECT_EQ(Real(dbtype::kR8, Place().Put<double>(0, 1e-101)), 0.0);
    EXPECT_EQ(Real(dbtype::kR4, Place().Put<float>(0, NAN)), 0.0);
    EXPECT_EQ(Real(dbtype::kCy, Place().Put<int64_t>(0, 15000)), 1.5);
    EXPECT_EQ(Kind(dbtype::kCy, Place()), kCurrency);
    EXPECT_EQ(Text(dbtype::kCy, Place().Put<int64_t>(0, -12500)), "-1.250000");
}

TEST(RowgateDecodeTypes, Numeric) {
    Place p;
    p.bytes[0] = 10;  // precision
    p.bytes[1] = 2;   // scale
    p.bytes[2] = 0;   // negative
    p.Put<uint64_t>(3, 12345);
    EXPECT_NEAR(Real(dbtype::kNumeric, p), -123.45, 1e-9);
    p.bytes[2] = 1;
    EXPECT_NEAR(Real(dbtype::kNumeric, p), 123.45, 1e-9);
    EXPECT_EQ(Text(dbtype::kNumeric, p), "123.450000");
}

TEST(RowgateDecodeTypes, Dates) {
    // DBTYPE_DATE keeps its time but its text shows only the day.
    EXPECT_EQ(Text(dbtype::kDate, Place().Put<double>(0, EncodeOleDateTime(2005, 3, 7, 14, 5, 9))), "2005-03-07");
    Place d;
    d.Put<int16_t>(0, 2005).Put<uint16_t>(2, 1).Put<uint16_t>(4, 1);
    EXPECT_EQ(Real(dbtype::kDbDate, d), 38353.0);
    EXPECT_EQ(Kind(dbtype::kDbDate, d), kDate);
    EXPECT_EQ(Text(dbtype::kDbDate, Place()), "1899-12-30");
    Place t;
    t.Put<uint16_t>(0, 8).Put<uint16_t>(2, 30).Put<uint16_t>(4, 0);
    EXPECT_EQ(Text(dbtype::kDbTime, t), "08:30:00");
    EXPECT_NEAR(static_cast<float>(Real(dbtype::kDbTime, t)), 0.3541667f, 1e-7);
    Place s;
    s.Put<int16_t>(0, 2005).Put<uint16_t>(2, 3).Put<uint16_t>(4, 7).Put<uint16_t>(6, 14).Put<uint16_t>(8, 5)
        .Put<uint16_t>(10, 9).Put<uint32_t>(12, 999999999);
    EXPECT_EQ(Text(dbtype::kDbTimestamp, s), "2005-03-07 14:05:09");
    EXPECT_EQ(Kind(dbtype::kDbTimestamp, s), kDateTime);
    s.Put<uint16_t>(2, 13);
    EXPECT_EQ(Text(dbtype::kDbTimestamp, s), "1899-12-30 00:00:00");
}

TEST(RowgateDecodeTypes, Guid) {
    Place p;
    p.Put<uint32_t>(0, 0x01020304u).Put<uint16_t>(4, 0xFFFF);
    EXPECT_EQ(Kind(dbtype::kGuid, p), kGuidHead);
    EXPECT_EQ(Text(dbtype::kGuid, p), "16909060");
}

TEST(RowgateDecodeTypes, BinaryAndLongNarrowText) {
    EXPECT_EQ(Text(dbtype::kBytes, Place(), 100), " Binary Data...");
    Place p;
    std::memcpy(p.bytes, "abc", 4);
    EXPECT_EQ(Text(dbtype::kStr, p, 20, kColumnFlagIsLong), "Binary Data...");
    EXPECT_EQ(Text(dbtype::kStr, p, 20), "abc");
}

TEST(RowgateDecodeTypes, NarrowTextStopsAtPlaceEnd) {
    Place p;
    std::memset(p.bytes, 'x', sizeof p.bytes);
    EXPECT_EQ(Text(dbtype::kStr, p, 6), "xxxxxx");
}

TEST(RowgateDecodeTypes, WideText) {
    Place p;
    const char16_t w[] = u"h\x5f20i";
    std::memcpy(p.bytes, w, sizeof w);
    EXPECT_EQ(Text(dbtype::kWStr, p, 9), std::string("h") + kZhang936 + "i");
    std::memset(p.bytes, 0, sizeof p.bytes);
    EXPECT_EQ(Text(dbtype::kWStr, p, 9), "");
}

TEST(RowgateDecodeTypes, Bstr) {
    const char16_t* text = u"bstr text";
    Place p;
    p.Put<const char16_t*>(0, text);
    EXPECT_EQ(Text(dbtype::kBstr, p, sizeof(void*)), "bstr text");
    EXPECT_EQ(Text(dbtype::kBstr, Place(), sizeof(void*)), "");
}

TEST(RowgateDecodeTypes, StorageObjectIsLeftToTheCaller) {
    Result r = Decode(dbtype::kIUnknown, Place());
    EXPECT_EQ(r.decoded, Decoded::Stream);
    EXPECT_EQ(r.value.kind, kEmpty);
}

TEST(RowgateDecodeTypes, UnsupportedTypesLeaveRecordUntouched) {
    for (uint16_t type : {dbtype::kI8, dbtype::kDecimal, dbtype::kVariant, dbtype::kIDispatch, dbtype::kEmpty,
                          static_cast<uint16_t>(dbtype::kStr | dbtype::kByRef)}) {
        FieldValue v{};
        FvSetLong(v, 77, false);
        EXPECT_EQ(DecodeWithStatus(ColumnView{type, 0, Place().bytes, 16}, 0, v), Decoded::Failed) << type;
        EXPECT_EQ(v.kind, kLong);
        EXPECT_EQ(v.u.i32, 77);
    }
}

TEST(RowgateStreamText, NarrowPiecesAreBytes) {
    StreamText t(dbtype::kStr);
    const std::string part1(1022, 'a');
    t.Add(reinterpret_cast<const unsigned char*>(part1.data()), part1.size());
    t.Add(reinterpret_cast<const unsigned char*>("bc"), 2);
    EXPECT_EQ(t.Finish(), part1 + "bc");
}

TEST(RowgateStreamText, NarrowDoubleByteCharacterCutBetweenPieces) {
    const std::string zhang = kZhang936;
    StreamText t(dbtype::kStr);
    t.Add(reinterpret_cast<const unsigned char*>(zhang.data()), 1);
    t.Add(reinterpret_cast<const unsigned char*>(zhang.data() + 1), 1);
    EXPECT_EQ(t.Finish(), kZhang936);
}

TEST(RowgateStreamText, WidePiecesWithOddCut) {
    const char16_t w[] = u"ab\x5f20";
    const unsigned char* b = reinterpret_cast<const unsigned char*>(w);
    StreamText t(dbtype::kWStr);
    t.Add(b, 3);
    t.Add(b + 3, 3);
    EXPECT_EQ(t.Finish(), std::string("ab") + kZhang936);
}

TEST(RowgateStreamText, OtherTypesAreUtf16) {
    const char16_t w[] = u"xyz";
    StreamText t(dbtype::kIUnknown);
    t.Add(reinterpret_cast<const unsigned char*>(w), 6);
    EXPECT_EQ(t.Finish(), "xyz");
}
