// Row sets through the exports: the properties asked for, binding, moves
// with their BOF/EOF rules, insert, delete and commit.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "api_test_support.h"

using namespace rgtest;

namespace {

const char kFive[] = R"(table T
column ID I4
column Name STR 20
column Qty I2
row 1|one|10
row 2|two|20
row 3|three|30
row 4|four|40
row 5|five|50

table Empty
column X I4

table Wide
column A I4
column Memo WSTR long nullable
column C I4
column Big WSTR 2000
row 1|long text|3|big
)";

std::string Ids(RgHandle h) { return FieldString(h, 1); }

const char kPlainProps[] =
    "SET DBPROPSET_ROWSET\n"
    "PROP 0x5A VT_BOOL TRUE REQUIRED\n"
    "PROP 0x59 VT_BOOL TRUE REQUIRED\n"
    "PROP 0x13 VT_BOOL TRUE REQUIRED\n"
    "PROP 0x82 VT_BOOL TRUE REQUIRED\n"
    "PROP 0xF9 VT_BOOL TRUE REQUIRED\n"
    "PROP 0x15 VT_BOOL FALSE REQUIRED\n"
    "PROP 0x12 VT_BOOL FALSE REQUIRED\n"
    "PROP 0x15 VT_BOOL TRUE REQUIRED\n"
    "PROP 0x12 VT_BOOL TRUE REQUIRED\n";

class RowgateRowSet : public ::testing::Test {
protected:
    void SetUp() override {
        h_ = OpenData("rows", kFive);
        ASSERT_NE(h_, nullptr);
        ResetRecording();
    }
    void TearDown() override {
        if (h_) Api().CloseDBSource(h_);
        EXPECT_EQ(LiveObjects(), 0);
        EXPECT_EQ(HeldRows(), 0);
        EXPECT_EQ(LiveAccessors(), 0);
    }
    RgHandle h_ = nullptr;
};

} // namespace

TEST_F(RowgateRowSet, PlainOpenAsksForItsPropertiesInOrder) {
    ASSERT_EQ(Api().OpenRowSet(h_, "SELECT * FROM T"), 1);
    EXPECT_EQ(RecordedProperties(), std::string("EXECUTE SELECT * FROM T\n") + kPlainProps);
}

TEST_F(RowgateRowSet, OpenWithModesAsksLockThenCursorProperties) {
    ASSERT_EQ(Api().OpenRowSetEx(h_, "SELECT * FROM T", 1, 2), 1);
    EXPECT_EQ(RecordedProperties(),
              "EXECUTE SELECT * FROM T\n"
              "SET DBPROPSET_ROWSET\n"
              "PROP 0x7F VT_BOOL TRUE REQUIRED\n"
              "PROP 0x86 VT_BOOL TRUE REQUIRED\n"
              "PROP 0x75 VT_I4 7 REQUIRED\n"
              "PROP 0x5A VT_BOOL TRUE REQUIRED\n"
              "PROP 0x59 VT_BOOL TRUE REQUIRED\n"
              "PROP 0x58 VT_BOOL TRUE REQUIRED\n"
              "PROP 0x13 VT_BOOL TRUE REQUIRED\n"
              "PROP 0x66 VT_BOOL TRUE REQUIRED\n"
              "PROP 0x82 VT_BOOL TRUE REQUIRED\n"
              "PROP 0xF9 VT_BOOL TRUE REQUIRED\n"
              "PROP 0x15 VT_BOOL TRUE REQUIRED\n"
              "PROP 0x12 VT_BOOL TRUE REQUIRED\n");
    ResetRecording();
    ASSERT_EQ(Api().OpenRowSetEx(h_, "SELECT * FROM T", 3, 0), 1);
    EXPECT_EQ(RecordedProperties(),
              "EXECUTE SELECT * FROM T\n"
              "SET DBPROPSET_ROWSET\n"
              "PROP 0x7F VT_BOOL FALSE REQUIRED\n"
              "PROP 0x86 VT_BOOL FALSE REQUIRED\n"
              "PROP 0x75 VT_I4 0 REQUIRED\n"
              "PROP 0x5A VT_BOOL TRUE REQUIRED\n"
              "PROP 0x59 VT_BOOL TRUE REQUIRED\n"
              "PROP 0x13 VT_BOOL TRUE REQUIRED\n"
              "PROP 0x82 VT_BOOL TRUE REQUIRED\n"
              "PROP 0xF9 VT_BOOL TRUE REQUIRED\n"
              "PROP 0x15 VT_BOOL TRUE REQUIRED\n"
              "PROP 0x12 VT_BOOL TRUE REQUIRED\n");
    ResetRecording();
    ASSERT_EQ(Api().OpenRowSetEx(h_, "SELECT * FROM T", 2, 1), 1);
    EXPECT_EQ(RecordedProperties(),
              "EXECUTE SELECT * FROM T\n"
              "SET DBPROPSET_ROWSET\n"
              "PROP 0x7F VT_BOOL TRUE REQUIRED\n"
              "PROP 0x86 VT_BOOL FALSE REQUIRED\n"
              "PROP 0x75 VT_I4 7 REQUIRED\n"
              "PROP 0x5A VT_BOOL TRUE REQUIRED\n"
              "PROP 0x59 VT_BOOL TRUE REQUIRED\n"
              "PROP 0x58 VT_BOOL TRUE REQUIRED\n"
              "PROP 0x57 VT_BOOL TRUE REQUIRED\n"
              "PROP 0x66 VT_BOOL TRUE REQUIRED\n"
              "PROP 0x15 VT_BOOL TRUE REQUIRED\n"
              "PROP 0x12 VT_BOOL TRUE REQUIRED\n");
}

TEST_F(RowgateRowSet, FailedOpensReportZero) {
    EXPECT_EQ(Api().OpenRowSet(h_, "SELECT * FROM Nowhere"), 0);
    EXPECT_EQ(Api().OpenRowSet(h_, "DROP TABLE T"), 0);
    EXPECT_EQ(Api().OpenRowSet(h_, ""), 0);
    EXPECT_EQ(Api().GetColumns(h_), 0);
    EXPECT_EQ(Api().GetFieldDataType(h_, 1), -1);
    EXPECT_EQ(Api().MoveFirst(h_), 0);
}

TEST(RowgateRowSetOpen, ExecuteSuccessCodeOtherThanSOkFails) {
    Source h(OpenData("execsok", std::string("fault execute DB_S_ERRORSOCCURRED\n") + kFive));
    ASSERT_TRUE(h);
    EXPECT_EQ(Api().OpenRowSet(h.get(), "SELECT * FROM T"), 0);
    h.Close();
    EXPECT_EQ(LiveObjects(), 0);
}

TEST_F(RowgateRowSet, RightAfterOpenNoRowAndFlagsClear) {
    ASSERT_EQ(Api().OpenRowSet(h_, "SELECT * FROM T"), 1);
    EXPECT_EQ(Api().IsBOF(h_), 0);
    EXPECT_EQ(Api().IsEOF(h_), 0);
    EXPECT_EQ(HeldRows(), 0);
    EXPECT_EQ(Api().GetColumns(h_), 3);
}

TEST_F(RowgateRowSet, ColumnsNamesAndTypes) {
    ASSERT_EQ(Api().OpenRowSet(h_, "SELECT * FROM T"), 1);
    EXPECT_EQ(Api().GetColumns(h_), 3);
    EXPECT_EQ(ColName(h_, 0), "<fail>");  // the bookmark has no name
    EXPECT_EQ(ColName(h_, 1), "ID");
    EXPECT_EQ(ColName(h_, 3), "Qty");
    EXPECT_EQ(ColName(h_, 4), "<fail>");
    EXPECT_EQ(Api().GetFieldDataType(h_, 1), 3);
    EXPECT_EQ(Api().GetFieldDataType(h_, 2), 129);
    EXPECT_EQ(Api().GetFieldDataType(h_, 3), 2);
}

TEST_F(RowgateRowSet, ColumnCountWithoutBookmarks) {
    // A dynamic cursor asks for no bookmarks: every bound column is a data column.
    ASSERT_EQ(Api().OpenRowSetEx(h_, "SELECT * FROM T", 2, 1), 1);
    EXPECT_EQ(Api().GetFieldDataType(h_, 0), -1);  // no bookmark column
    EXPECT_EQ(Api().GetColumns(h_), 3);
    ASSERT_EQ(Api().MoveFirst(h_), 1);
    EXPECT_EQ(FieldString(h_, 3), "10");
    RgFieldValue v{};
    ASSERT_EQ(Api().GetData(h_, 3, 1, &v), 1);
    EXPECT_EQ(v.u.i16, 20);
}

TEST_F(RowgateRowSet, LongWideColumnIsSkippedAndWideOneIsAStream) {
    ASSERT_EQ(Api().OpenRowSet(h_, "SELECT * FROM Wide"), 1);
    EXPECT_EQ(Api().GetColumns(h_), 3);
    EXPECT_EQ(ColName(h_, 2), "<fail>");
    EXPECT_EQ(ColName(h_, 3), "C");
    EXPECT_EQ(Api().GetFieldDataType(h_, 4), 13);
    ASSERT_EQ(Api().MoveFirst(h_), 1);
    EXPECT_EQ(FieldString(h_, 2), "<fail>");
    EXPECT_EQ(FieldString(h_, 3), "3");
    EXPECT_EQ(FieldString(h_, 4), "big");
}

TEST_F(RowgateRowSet, WalkForwardAndPastTheEnd) {
    ASSERT_EQ(Api().OpenRowSet(h_, "SELECT * FROM T"), 1);
    std::string ids;
    for (int ok = Api().MoveFirst(h_); ok; ok = Api().MoveNext(h_)) ids += Ids(h_);
    EXPECT_EQ(ids, "12345");
    EXPECT_EQ(Api().IsEOF(h_), 1);
    EXPECT_EQ(Api().IsBOF(h_), 0);
    EXPECT_EQ(Api().MoveNext(h_), 0);
    EXPECT_EQ(Api().IsEOF(h_), 1);
    EXPECT_EQ(HeldRows(), 0);
}

TEST_F(RowgateRowSet, MoveByIsRelativeToTheCurrentRow) {
    ASSERT_EQ(Api().OpenRowSet(h_, "SELECT * FROM T"), 1);
    ASSERT_EQ(Api().MoveFirst(h_), 1);
    ASSERT_EQ(Api().MoveTo(h_, 0), 1);  // as next
    EXPECT_EQ(Ids(h_), "2");
    ASSERT_EQ(Api().MoveTo(h_, 2), 1);  // passes over 3 and 4
    EXPECT_EQ(Ids(h_), "5");
    EXPECT_EQ(Api().MoveTo(h_, 1), 0);
    EXPECT_EQ(Api().IsEOF(h_), 1);
    EXPECT_EQ(Api().IsBOF(h_), 0);
}

TEST_F(RowgateRowSet, LastThenPreviousGivesSecondToLast) {
    ASSERT_EQ(Api().OpenRowSet(h_, "SELECT * FROM T"), 1);
    ASSERT_EQ(Api().MoveLast(h_), 1);
    EXPECT_EQ(Ids(h_), "5");
    EXPECT_EQ(Api().IsEOF(h_), 0);
    ASSERT_EQ(Api().MovePrev(h_), 1);
    EXPECT_EQ(Ids(h_), "4");
    ASSERT_EQ(Api().MovePrev(h_), 1);
    EXPECT_EQ(Ids(h_), "3");
}

TEST_F(RowgateRowSet, PreviousBeforeTheFirstRowSetsBof) {
    ASSERT_EQ(Api().OpenRowSet(h_, "SELECT * FROM T"), 1);
    ASSERT_EQ(Api().MoveFirst(h_), 1);
    EXPECT_EQ(Api().MovePrev(h_), 0);
    EXPECT_EQ(Api().IsBOF(h_), 1);
    EXPECT_EQ(Api().IsEOF(h_), 0);
    ASSERT_EQ(Api().MoveFirst(h_), 1);
    EXPECT_EQ(Api().IsBOF(h_), 0);
    EXPECT_EQ(Ids(h_), "1");
}

TEST_F(RowgateRowSet, EmptyResult) {
    ASSERT_EQ(Api().OpenRowSet(h_, "SELECT * FROM Empty"), 1);
    EXPECT_EQ(Api().MoveFirst(h_), 0);
    EXPECT_EQ(Api().IsBOF(h_), 1);
    EXPECT_EQ(Api().IsEOF(h_), 0);
    EXPECT_EQ(Api().MoveNext(h_), 0);
    EXPECT_EQ(Api().IsBOF(h_), 0);
    EXPECT_EQ(Api().IsEOF(h_), 1);
    EXPECT_EQ(Api().MoveLast(h_), 0);
    EXPECT_EQ(Api().IsEOF(h_), 1);
}

TEST_F(RowgateRowSet, NewOpenKeepsFlagsAndCloseClearsThem) {
    ASSERT_EQ(Api().OpenRowSet(h_, "SELECT * FROM Empty"), 1);
    EXPECT_EQ(Api().MoveNext(h_), 0);
    ASSERT_EQ(Api().IsEOF(h_), 1);
    ASSERT_EQ(Api().OpenRowSet(h_, "SELECT * FROM T"), 1);
    EXPECT_EQ(Api().IsEOF(h_), 1);
    Api().CloseRowSet(h_);
    EXPECT_EQ(Api().IsEOF(h_), 0);
    EXPECT_EQ(Api().IsBOF(h_), 0);
    Api().CloseRowSet(h_);
    EXPECT_EQ(Api().IsEOF(h_), 0);
    EXPECT_EQ(Api().IsBOF(h_), 0);
}

TEST_F(RowgateRowSet, NoRowSetMeansZeroEverywhere) {
    char buf[16] = "untouched";
    EXPECT_EQ(Api().MoveFirst(h_), 0);
    EXPECT_EQ(Api().MoveNext(h_), 0);
    EXPECT_EQ(Api().MovePrev(h_), 0);
    EXPECT_EQ(Api().MoveLast(h_), 0);
    EXPECT_EQ(Api().MoveTo(h_, 1), 0);
    EXPECT_EQ(Api().GetColumns(h_), 0);
    EXPECT_EQ(Api().GetFieldDataType(h_, 1), -1);
    EXPECT_EQ(Api().GetFieldString(h_, 1, buf), 0);
    EXPECT_STREQ(buf, "untouched");
    EXPECT_EQ(Api().GetFieldFloat(h_, 1), 0.0f);
    EXPECT_EQ(Api().AddNew(h_), 0);
    EXPECT_EQ(Api().Delete(h_), 0);
    EXPECT_EQ(Api().Update(h_), 0);
    EXPECT_EQ(Api().SetFieldString(h_, 1, "x"), 0);
    EXPECT_EQ(Api().SetFieldFloat(h_, 1, 1.0), 0);
    RgFieldValue v{};
    EXPECT_EQ(Api().GetValue(h_, 1, &v), 0);
    EXPECT_EQ(v.kind, 0);
}

TEST_F(RowgateRowSet, InsertMakesARowFromTheBuffer) {
    ASSERT_EQ(Api().OpenRowSetEx(h_, "SELECT * FROM T", 1, 1), 1);
    ASSERT_EQ(Api().MoveLast(h_), 1);
    ASSERT_EQ(Api().AddNew(h_), 1);
    EXPECT_EQ(TableText("T"), "row 1|one|10\nrow 2|two|20\nrow 3|three|30\nrow 4|four|40\nrow 5|five|50\n"
                              "row 5|five|50\n");
    ASSERT_EQ(Api().SetFieldString(h_, 2, "six"), 1);
    ASSERT_EQ(Api().SetFieldFloat(h_, 1, 6), 1);
    EXPECT_EQ(TableText("T"), "row 1|one|10\nrow 2|two|20\nrow 3|three|30\nrow 4|four|40\nrow 5|five|50\n"
                              "row 6|six|50\n");
}

TEST_F(RowgateRowSet, DeleteRemovesTheCurrentRow) {
    ASSERT_EQ(Api().OpenRowSetEx(h_, "SELECT * FROM T", 1, 1), 1);
    ASSERT_EQ(Api().MoveFirst(h_), 1);
    ASSERT_EQ(Api().MoveNext(h_), 1);
    ASSERT_EQ(Api().Delete(h_), 1);
    EXPECT_EQ(TableText("T"), "row 1|one|10\nrow 3|three|30\nrow 4|four|40\nrow 5|five|50\n");
}

TEST_F(RowgateRowSet, ReadOnlyLockHasNoChangeInterface) {
    ASSERT_EQ(Api().OpenRowSetEx(h_, "SELECT * FROM T", 0, 0), 1);
    ASSERT_EQ(Api().MoveFirst(h_), 1);
    EXPECT_EQ(Api().AddNew(h_), 0);
    EXPECT_EQ(Api().Delete(h_), 0);
    EXPECT_EQ(Api().SetFieldString(h_, 2, "x"), 0);
    EXPECT_EQ(Api().Update(h_), 0);
}

TEST_F(RowgateRowSet, CommitInImmediateModeReportsZero) {
    ASSERT_EQ(Api().OpenRowSetEx(h_, "SELECT * FROM T", 1, 1), 1);
    ASSERT_EQ(Api().MoveFirst(h_), 1);
    ASSERT_EQ(Api().SetFieldString(h_, 2, "uno"), 1);
    EXPECT_EQ(Api().Update(h_), 0);
    EXPECT_EQ(TableText("T").substr(0, 13), "row 1|uno|10\n");
}

TEST_F(RowgateRowSet, CommitInDeferredModeSendsTheChange) {
    ASSERT_EQ(Api().OpenRowSetEx(h_, "SELECT * FROM T", 1, 2), 1);
    ASSERT_EQ(Api().MoveFirst(h_), 1);
    ASSERT_EQ(Api().SetFieldString(h_, 2, "uno"), 1);
    EXPECT_EQ(TableText("T").substr(0, 13), "row 1|one|10\n");
    EXPECT_EQ(Api().Update(h_), 1);
    EXPECT_EQ(TableText("T").substr(0, 13), "row 1|uno|10\n");
}

TEST_F(RowgateRowSet, FetchWhoseReadFailsLeavesNoCurrentRow) {
    Api().CloseDBSource(h_);
    h_ = OpenData("getdatafault", std::string(kFive) + "\ntable F\ncolumn A I4\nrow 1\nrow 2\nfault getdata E_FAIL row=2\n");
    ASSERT_NE(h_, nullptr);
    ASSERT_EQ(Api().OpenRowSet(h_, "SELECT * FROM F"), 1);
    ASSERT_EQ(Api().MoveFirst(h_), 1);
    EXPECT_EQ(Api().MoveNext(h_), 0);
    EXPECT_EQ(Api().IsEOF(h_), 0);
    EXPECT_EQ(HeldRows(), 0);
    // The last move reports success even when its read failed.
    EXPECT_EQ(Api().MoveLast(h_), 1);
}
