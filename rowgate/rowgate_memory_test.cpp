// Resource use over many cycles: the caller's memory and handles stay flat,
// and no COM object or row of the provider outlives its handle.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "api_test_support.h"

using namespace rgtest;

namespace {

const char kData[] = R"(table T
column ID I4
column Name WSTR 40
column Note BSTR 300
column Memo STR 3000 long nullable
column Price CY
row 1|first|\R300*n|\R1000*m|1.5
row 2|second|\R300*o|\R1000*p|2.5
row 3|third|\R300*q|\N|3.5
)";

void Cycle(const std::string& init) {
    RgHandle h = Api().OpenDBSourceByStr(init.c_str());
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(Api().OpenRowSet(h, "SELECT * FROM T"), 1);
    ASSERT_EQ(Api().MoveFirst(h), 1);
    char buf[4096];
    ASSERT_EQ(Api().GetFieldString(h, 2, buf), 1);
    ASSERT_EQ(Api().MoveNext(h), 1);  // row 1's BSTR and unread stream must not leak
    ASSERT_EQ(Api().GetFieldString(h, 1, buf), 1);
    Api().CloseRowSet(h);
    Api().CloseDBSource(h);
    // The provider logs every execute for the tests; that log is not the caller's.
    ResetRecording();
}

} // namespace

TEST(RowgateMemory, TenThousandCyclesDoNotGrow) {
    const std::string init = DataSource("cycles", kData);
    for (int i = 0; i < 300; ++i) Cycle(init);  // caches of COM and the heap settle first
    const size_t memBefore = PrivateBytes();
    const size_t heapBefore = BusyHeapBytes();
    const DWORD handlesBefore = HandleCount();
    for (int i = 0; i < 10000; ++i) {
        Cycle(init);
        if (HasFatalFailure()) return;
    }
    const size_t memAfter = PrivateBytes();
    const size_t heapAfter = BusyHeapBytes();
    const DWORD handlesAfter = HandleCount();
    EXPECT_LT(memAfter, memBefore + 1024 * 1024) << memBefore << " -> " << memAfter;
    EXPECT_LT(heapAfter, heapBefore + 64 * 1024) << heapBefore << " -> " << heapAfter;
    EXPECT_LE(handlesAfter, handlesBefore + 5) << handlesBefore << " -> " << handlesAfter;
    EXPECT_EQ(LiveObjects(), 0);
    EXPECT_EQ(HeldRows(), 0);
    EXPECT_EQ(LiveAccessors(), 0);
}

TEST(RowgateMemory, WalkingBstrRowsDoesNotGrow) {
    // One row set walked many times: every fetched BSTR is freed before the
    // next fetch overwrites it.
    std::string file = "table B\ncolumn ID I4\ncolumn Note BSTR 500\n";
    for (int i = 0; i < 200; ++i) file += "row " + std::to_string(i) + "|\\R500*x\n";
    Source h(OpenData("bstrwalk", file));
    ASSERT_TRUE(h);
    ASSERT_EQ(Api().OpenRowSet(h.get(), "SELECT * FROM B"), 1);
    auto walk = [&] {
        for (int ok = Api().MoveFirst(h.get()); ok; ok = Api().MoveNext(h.get())) {
        }
        ResetRecording();  // the provider's own call log
    };
    for (int i = 0; i < 5; ++i) walk();
    const size_t before = BusyHeapBytes();
    for (int i = 0; i < 100; ++i) walk();  // 20,000 rows of 1 KB text each
    EXPECT_LT(BusyHeapBytes(), before + 64 * 1024);
}
