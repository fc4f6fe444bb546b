#include "binding.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace rowgate;

TEST(RowgateBinding, LongWideTextIsSkipped) {
    EXPECT_TRUE(DecideBinding(dbtype::kWStr, 0x7fffffff, kColumnFlagIsLong, OpenKind::Plain).skip);
    EXPECT_TRUE(DecideBinding(dbtype::kWStr, 10, kColumnFlagIsLong, OpenKind::WithModes).skip);
    EXPECT_FALSE(DecideBinding(dbtype::kStr, 0x7fffffff, kColumnFlagIsLong, OpenKind::Plain).skip);
}

TEST(RowgateBinding, WideTextHasRoomForTerminatorInBothOpens) {
    for (OpenKind k : {OpenKind::Plain, OpenKind::WithModes}) {
        const BindDecision d = DecideBinding(dbtype::kWStr, 20, 0, k);
        EXPECT_FALSE(d.skip);
        EXPECT_FALSE(d.asStream);
        EXPECT_EQ(d.type, dbtype::kWStr);
        EXPECT_EQ(d.size, 20u * 2 + 2 + 1);
        EXPECT_EQ(d.size / 2 - 1, 20u);  // characters a write may store
    }
}

TEST(RowgateBinding, NarrowTextGetsOneMoreByte) {
    const BindDecision d = DecideBinding(dbtype::kStr, 50, 0, OpenKind::Plain);
    EXPECT_EQ(d.type, dbtype::kStr);
    EXPECT_EQ(d.size, 51u);
    EXPECT_EQ(DecideBinding(dbtype::kI4, 4, 0, OpenKind::Plain).size, 4u);
}

TEST(RowgateBinding, WideColumnsBecomeStreams) {
    const BindDecision big = DecideBinding(dbtype::kStr, 1025, 0, OpenKind::Plain);
    EXPECT_TRUE(big.asStream);
    EXPECT_EQ(big.type, dbtype::kIUnknown);
    EXPECT_EQ(big.size, sizeof(void*));
    EXPECT_FALSE(DecideBinding(dbtype::kStr, 1024, 0, OpenKind::Plain).asStream);
    EXPECT_EQ(DecideBinding(dbtype::kStr, 1024, 0, OpenKind::Plain).size, 1025u);
    // 511 characters make 1024 bytes; 512 make 1026.
    EXPECT_FALSE(DecideBinding(dbtype::kWStr, 511, 0, OpenKind::Plain).asStream);
    EXPECT_TRUE(DecideBinding(dbtype::kWStr, 512, 0, OpenKind::Plain).asStream);
    EXPECT_TRUE(DecideBinding(dbtype::kWStr, 2000, 0, OpenKind::Plain).asStream);
    EXPECT_TRUE(DecideBinding(dbtype::kIUnknown, 4, 0, OpenKind::Plain).asStream);
    EXPECT_TRUE(DecideBinding(dbtype::kBytes, 5000, 0, OpenKind::Plain).asStream);
}

TEST(RowgateBinding, HugeWideSizeDoesNotWrapAround) {
    const BindDecision d = DecideBinding(dbtype::kWStr, 0x80000000u, 0, OpenKind::Plain);
    EXPECT_TRUE(d.asStream);
}

TEST(RowgateRowLayout, FirstColumnStartsTheRow) {
    size_t row = 0;
    const ColumnPlace p = PlaceColumn(row, 4);
    EXPECT_EQ(p.value, 0u);
    EXPECT_EQ(p.length, kMinPlace);  // a short value still gets kMinPlace bytes
    EXPECT_EQ(p.status, kMinPlace + kLengthBytes);
    EXPECT_EQ(row, kMinPlace + kLengthBytes + kStatusBytes);
}

TEST(RowgateRowLayout, PartsAreAlignedAndDoNotOverlap) {
    size_t row = 0;
    std::vector<ColumnPlace> places;
    for (size_t size : {size_t{4}, size_t{31}, size_t{43}, size_t{129}, size_t{16}, sizeof(void*), size_t{17}})
        places.push_back(PlaceColumn(row, size));
    const size_t sizes[] = {4, 31, 43, 129, 16, sizeof(void*), 17};
    size_t end = 0;
    for (size_t i = 0; i < places.size(); ++i) {
        const ColumnPlace& p = places[i];
        EXPECT_EQ(p.value % 8, 0u) << i;
        EXPECT_EQ(p.length % kLengthBytes, 0u) << i;
        EXPECT_EQ(p.status % kStatusBytes, 0u) << i;
        EXPECT_GE(p.value, end) << i;
        EXPECT_GE(p.length, p.value + std::max(sizes[i], kMinPlace)) << i;
        EXPECT_EQ(p.status, p.length + kLengthBytes) << i;
        end = p.status + kStatusBytes;
    }
    EXPECT_EQ(row, end);
}

TEST(RowgateRowLayout, KnownOffsets) {
    // A 31-byte text after a 4-byte integer, as the 32-bit DLL lays them out.
    size_t row = 0;
    PlaceColumn(row, 4);
    const ColumnPlace text = PlaceColumn(row, 31);
    const size_t first = kMinPlace + kLengthBytes + kStatusBytes;  // 24 or 28
    EXPECT_EQ(text.value, (first + 7) / 8 * 8);
    EXPECT_EQ(text.length, (text.value + 31 + kLengthBytes - 1) / kLengthBytes * kLengthBytes);
    if (sizeof(void*) == 4) {
        EXPECT_EQ(text.value, 24u);
        EXPECT_EQ(text.length, 56u);
        EXPECT_EQ(text.status, 60u);
        EXPECT_EQ(row, 64u);
    }
}

static PropSpec B(uint32_t id, bool v) { return {id, false, v ? 1 : 0}; }

TEST(RowgateRowsetProperties, PlainOpenOrder) {
    using namespace prop;
    const std::vector<PropSpec> want = {
        B(kOwnUpdateDelete, true),    B(kOwnInsert, true),          B(kCanHoldRows, true),
        B(kIRowsetLocate, true),      B(kIRowsetRefresh, true),     B(kCanScrollBackwards, false),
        B(kCanFetchBackwards, false), B(kCanScrollBackwards, true), B(kCanFetchBackwards, true)};
    EXPECT_EQ(PlainOpenProperties(), want);
    EXPECT_EQ(want[0].id, 0x5Au);
    EXPECT_EQ(want[4].id, 0xF9u);
}

TEST(RowgateRowsetProperties, LockModes) {
    using namespace prop;
    const PropSpec up0{kUpdatability, true, 0}, up7{kUpdatability, true, 7};
    auto head = [](int lock) {
        auto p = ModesOpenProperties(99, lock);
        return p;
    };
    EXPECT_EQ(head(0), (std::vector<PropSpec>{B(kIRowsetChange, false), B(kIRowsetUpdate, false), up0}));
    EXPECT_EQ(head(7), head(0));
    EXPECT_EQ(head(-1), head(0));
    EXPECT_EQ(head(1), (std::vector<PropSpec>{B(kIRowsetChange, true), B(kIRowsetUpdate, false), up7}));
    EXPECT_EQ(head(2), (std::vector<PropSpec>{B(kIRowsetChange, true), B(kIRowsetUpdate, true), up7}));
    EXPECT_EQ(head(3), head(2));
}

TEST(RowgateRowsetProperties, CursorKindsFollowLockProperties) {
    using namespace prop;
    auto tail = [](int cursor) {
        auto p = ModesOpenProperties(cursor, 1);
        return std::vector<PropSpec>(p.begin() + 3, p.end());
    };
    EXPECT_EQ(tail(0), (std::vector<PropSpec>{B(kOwnUpdateDelete, true), B(kOwnInsert, true), B(kCanHoldRows, true),
                                              B(kIRowsetLocate, true), B(kIRowsetRefresh, true),
                                              B(kCanScrollBackwards, false), B(kCanFetchBackwards, false)}));
    EXPECT_EQ(tail(1), (std::vector<PropSpec>{B(kOwnUpdateDelete, true), B(kOwnInsert, true),
                                              B(kOtherUpdateDelete, true), B(kCanHoldRows, true),
                                              B(kRemoveDeleted, true), B(kIRowsetLocate, true),
                                              B(kIRowsetRefresh, true), B(kCanScrollBackwards, true),
                                              B(kCanFetchBackwards, true)}));
    EXPECT_EQ(tail(2), (std::vector<PropSpec>{B(kOwnUpdateDelete, true), B(kOwnInsert, true),
                                              B(kOtherUpdateDelete, true), B(kOtherInsert, true),
                                              B(kRemoveDeleted, true), B(kCanScrollBackwards, true),
                                              B(kCanFetchBackwards, true)}));
    EXPECT_EQ(tail(3), (std::vector<PropSpec>{B(kOwnUpdateDelete, true), B(kOwnInsert, true), B(kCanHoldRows, true),
                                              B(kIRowsetLocate, true), B(kIRowsetRefresh, true),
                                              B(kCanScrollBackwards, true), B(kCanFetchBackwards, true)}));
    EXPECT_TRUE(tail(4).empty());
    EXPECT_TRUE(tail(-1).empty());
}
