// Column values through the exports: every type to text, real and record,
// long columns read from streams, and writes of text and reals.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "api_test_support.h"
#include "rowgate/field_value.h"

using namespace rgtest;

namespace {

struct Col {
    const char* decl;
    const char* value;       // row 1
    const char* edge;        // row 2
};

// One column per supported type, then three the reads do not handle.
const Col kCols[] = {
    {"I2v I2 nullable", "-5", "\\N"},                                    // 1
    {"I4v I4 nullable", "7", "\\C"},                                     // 2
    {"R4v R4", "0.25", "-2.5"},                                          // 3
    {"R8v R8", "1.5", "1e-101"},                                         // 4
    {"CYv CY", "1.5", "-0.0001"},                                        // 5
    {"DATEv DATE", "2005-03-07 14:05:09", "0"},                          // 6
    {"BSTRv BSTR 20", "bstr", ""},                                       // 7
    {"ERRv ERROR", "0x80004005", "0"},                                   // 8
    {"BOOLv BOOL", "true", "false"},                                     // 9
    {"I1v I1", "-100", "127"},                                           // 10
    {"UI1v UI1", "200", "0"},                                            // 11
    {"UI2v UI2", "65535", "1"},                                          // 12
    {"UI4v UI4", "4000000000", "1"},                                     // 13
    {"UI8v UI8", "12345678901", "0"},                                    // 14
    {"GUIDv GUID", "{01020304-0506-0708-090A-0B0C0D0E0F10}", "{FFFFFFFF-0000-0000-0000-000000000000}"},  // 15
    {"BYTESv BYTES 100", "0102", ""},                                    // 16
    {"STRv STR 10", "abc", "0123456789"},                                // 17
    {"WSTRv WSTR 10", "宽字", "0123456789"},                             // 18
    {"NUMv NUMERIC precision=10 scale=2", "-123.45", "123.45"},          // 19
    {"DDv DBDATE", "2005-01-01", "0000-00-00"},                          // 20
    {"DTv DBTIME", "08:30:00", "23:59:59"},                              // 21
    {"TSv DBTIMESTAMP", "2005-03-07 14:05:09", "2005-03-07 14:05:09.500000000"},  // 22
    {"I8v I8", "5", "6"},                                                // 23
    {"DECv DECIMAL scale=1", "1.5", "2.5"},                              // 24
    {"VARv VARIANT", "v", "w"},                                          // 25
    {"LSTRv STR 100 long", "long", "long"},                              // 26
};

std::string TypesFile() {
    std::string f = "table Types\n";
    for (const Col& c : kCols) f += std::string("column ") + c.decl + "\n";
    std::string r1 = "row ", r2 = "row ";
    for (size_t i = 0; i < std::size(kCols); ++i) {
        r1 += std::string(i ? "|" : "") + kCols[i].value;
        r2 += std::string(i ? "|" : "") + kCols[i].edge;
    }
    return f + r1 + "\n" + r2 + "\n";
}

const char kLong[] = R"(table Long
column ID I4
column Memo STR 5000 long nullable
column WMemo WSTR 3000 nullable
column Bin BYTES 5000 nullable
column B BSTR 600 nullable
row 1|\R3000*ab|\R1500*宽x|0102|\R500*b
row 2|\R1000*张三|\R10*y|\N|short
row 3|\N|\N|\N|\N
)";

const char kWrite[] = R"(table W
column ID I4
column WS WSTR 10 nullable
column S STR 10 nullable
column B BSTR 10 nullable
column I2v I2
column I4v I4
column R8v R8
column TS DBTIMESTAMP
column CYv CY
column BOOLv BOOL
column Memo STR 5000 long nullable
column Raw BYTES 10 nullable
row 1|0123456789|abc|bstr|1|2|3.5|2005-03-07 14:05:09|1|true|\R2000*m|01
row 2|x|y|z|0|0|0|2005-01-01 00:00:00|0|false|\N|\N
)";

// Field i (0 = the "row" keyword and first value) of row r (1-based) of a
// table as the provider holds it now, UTF-8.
std::string Cell(const std::string& table, int r, int i) {
    const std::string text = TableText(table);
    size_t at = 0;
    for (int k = 1; k < r; ++k) at = text.find('\n', at) + 1;
    const std::string line = text.substr(at, text.find('\n', at) - at).substr(4);
    size_t from = 0;
    for (int k = 0; k < i; ++k) from = line.find('|', from) + 1;
    return line.substr(from, line.find('|', from) - from);
}

std::string Repeat(const std::string& s, int n) {
    std::string r;
    for (int i = 0; i < n; ++i) r += s;
    return r;
}

class RowgateValues : public ::testing::Test {
protected:
    void Open(const char* name, const std::string& file, const char* command) {
        h_ = OpenData(name, file);
        ASSERT_NE(h_, nullptr);
        ASSERT_EQ(Api().OpenRowSet(h_, command), 1);
    }
    void TearDown() override {
        if (h_) Api().CloseDBSource(h_);
        EXPECT_EQ(LiveObjects(), 0);
        EXPECT_EQ(HeldRows(), 0);
    }
    std::string Text(int c) { return FieldString(h_, c); }
    float Real(int c) { return Api().GetFieldFloat(h_, c); }
    RgFieldValue Value(int c, int* ok = nullptr) {
        RgFieldValue v{};
        const int r = Api().GetValue(h_, c, &v);
        if (ok) *ok = r;
        return v;
    }
    RgHandle h_ = nullptr;
};

} // namespace

TEST_F(RowgateValues, EveryTypeToText) {
    Open("types", TypesFile(), "SELECT * FROM Types");
    ASSERT_EQ(Api().MoveFirst(h_), 1);
    EXPECT_EQ(Text(1), "-5");
    EXPECT_EQ(Text(2), "7");
    EXPECT_EQ(Text(3), "0.250000");
    EXPECT_EQ(Text(4), "1.500000");
    EXPECT_EQ(Text(5), "1.500000");
    EXPECT_EQ(Text(6), "2005-03-07");
    EXPECT_EQ(Text(7), "bstr");
    EXPECT_EQ(Text(8), "-2147467259");
    EXPECT_EQ(Text(9), "-1");
    EXPECT_EQ(Text(10), "-100");
    EXPECT_EQ(Text(11), "200");
    EXPECT_EQ(Text(12), "65535");
    EXPECT_EQ(Text(13), "4000000000");
    EXPECT_EQ(Text(14), "12345678901.000000");
    EXPECT_EQ(Text(15), "16909060");
    EXPECT_EQ(Text(16), " Binary Data...");
    EXPECT_EQ(Text(17), "abc");
    EXPECT_EQ(Text(18), AnsiFromUtf8("宽字"));
    EXPECT_EQ(Text(19), "-123.450000");
    EXPECT_EQ(Text(20), "2005-01-01");
    EXPECT_EQ(Text(21), "08:30:00");
    EXPECT_EQ(Text(22), "2005-03-07 14:05:09");
    EXPECT_EQ(Text(23), "<fail>");
    EXPECT_EQ(Text(24), "<fail>");
    EXPECT_EQ(Text(25), "<fail>");
    EXPECT_EQ(Text(26), "Binary Data...");
    EXPECT_EQ(Text(27), "<fail>");
}

TEST_F(RowgateValues, EveryTypeToReal) {
    Open("typesreal", TypesFile(), "SELECT * FROM Types");
    ASSERT_EQ(Api().MoveFirst(h_), 1);
    EXPECT_EQ(Real(1), -5.0f);
    EXPECT_EQ(Real(2), 7.0f);
    EXPECT_EQ(Real(3), 0.25f);
    EXPECT_EQ(Real(4), 1.5f);
    EXPECT_EQ(Real(5), 1.5f);
    EXPECT_FLOAT_EQ(Real(6), 38418.5868f);
    EXPECT_EQ(Real(7), 0.0f);  // text
    EXPECT_EQ(Real(9), -1.0f);
    EXPECT_EQ(Real(12), 65535.0f);
    EXPECT_EQ(Real(13), 4000000000.0f);
    EXPECT_EQ(Real(14), 12345678901.0f);
    EXPECT_NEAR(Real(19), -123.45f, 1e-4);
    EXPECT_EQ(Real(20), 38353.0f);
    EXPECT_NEAR(Real(21), 0.3541667f, 1e-7);
    EXPECT_EQ(Real(23), 0.0f);
}

TEST_F(RowgateValues, EdgeValues) {
    Open("typesedge", TypesFile(), "SELECT * FROM Types");
    ASSERT_EQ(Api().MoveLast(h_), 1);
    EXPECT_EQ(Text(1), "<NULL>");
    EXPECT_EQ(Real(1), 0.0f);
    EXPECT_EQ(Text(2), "");  // could not be created: null, empty text
    EXPECT_EQ(Text(3), "-2.500000");
    EXPECT_EQ(Text(4), "0.000000");
    EXPECT_EQ(Real(4), 0.0f);
    EXPECT_EQ(Text(5), "-0.000100");
    EXPECT_EQ(Text(6), "1899-12-30");
    EXPECT_EQ(Text(7), "");
    EXPECT_EQ(Text(9), "0");
    EXPECT_EQ(Text(10), "127");
    EXPECT_EQ(Text(15), "-1");
    EXPECT_EQ(Text(17), "0123456789");
    EXPECT_EQ(Text(18), "0123456789");
    EXPECT_NEAR(Real(19), 123.45f, 1e-4);
    EXPECT_EQ(Text(20), "1899-12-30");
    EXPECT_EQ(Real(20), 0.0f);
    EXPECT_EQ(Text(21), "23:59:59");
    EXPECT_EQ(Text(22), "2005-03-07 14:05:09");  // the fraction is dropped
}

TEST_F(RowgateValues, RecordsCarryKindAndPayload) {
    Open("typesrec", TypesFile(), "SELECT * FROM Types");
    ASSERT_EQ(Api().MoveFirst(h_), 1);
    int ok = 0;
    RgFieldValue v = Value(1, &ok);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(v.kind, 4);
    EXPECT_EQ(v.u.i16, -5);
    v = Value(2);
    EXPECT_EQ(v.kind, 5);
    EXPECT_EQ(v.u.i32, 7);
    v = Value(4);
    EXPECT_EQ(v.kind, 9);
    EXPECT_EQ(v.u.real, 1.5);
    v = Value(5);
    EXPECT_EQ(v.kind, 13);
    EXPECT_EQ(v.u.real, 1.5);
    EXPECT_EQ(Value(6).kind, 10);
    EXPECT_EQ(Value(15).kind, 8);
    EXPECT_EQ(Value(15).u.i32, 0x01020304);
    EXPECT_EQ(Value(20).kind, 10);
    EXPECT_EQ(Value(21).kind, 11);
    EXPECT_EQ(Value(22).kind, 12);
    v = Value(17);
    ASSERT_EQ(v.kind, 14);
    EXPECT_STREQ(v.u.text.ptr, "abc");
    EXPECT_EQ(v.u.text.len, 3u);
    // Unsupported types and unknown columns leave the record alone.
    RgFieldValue keep{};
    keep.kind = 5;
    keep.u.i32 = 99;
    EXPECT_EQ(Api().GetValue(h_, 23, &keep), 0);
    EXPECT_EQ(Api().GetValue(h_, 99, &keep), 0);
    EXPECT_EQ(Api().GetValue(h_, -1, &keep), 0);
    EXPECT_EQ(keep.kind, 5);
    EXPECT_EQ(keep.u.i32, 99);
    ASSERT_EQ(Api().MoveNext(h_), 1);
    v = Value(1);
    ASSERT_EQ(v.kind, 14);
    EXPECT_STREQ(v.u.text.ptr, "<NULL>");
    EXPECT_EQ(Value(2).kind, 1);
}

TEST_F(RowgateValues, TextBufferWrittenOnlyOnSuccess) {
    Open("typesbuf", TypesFile(), "SELECT * FROM Types");
    ASSERT_EQ(Api().MoveFirst(h_), 1);
    char buf[32];
    std::memset(buf, 'Z', sizeof buf);
    EXPECT_EQ(Api().GetFieldString(h_, 23, buf), 0);
    EXPECT_EQ(Api().GetFieldString(h_, 40, buf), 0);
    EXPECT_EQ(buf[0], 'Z');
    ASSERT_EQ(Api().MoveNext(h_), 1);
    ASSERT_EQ(Api().GetFieldString(h_, 7, buf), 1);  // empty text writes only the terminator
    EXPECT_EQ(buf[0], '\0');
    EXPECT_EQ(buf[1], 'Z');
}

TEST_F(RowgateValues, LongColumnsReadFromStreams) {
    Open("long", kLong, "SELECT * FROM Long");
    EXPECT_EQ(Api().GetFieldDataType(h_, 2), 13);
    EXPECT_EQ(Api().GetFieldDataType(h_, 3), 13);
    EXPECT_EQ(Api().GetFieldDataType(h_, 4), 13);
    EXPECT_EQ(Api().GetFieldDataType(h_, 5), 8);
    ASSERT_EQ(Api().MoveFirst(h_), 1);
    EXPECT_EQ(Text(2), Repeat("ab", 3000));  // narrow bytes stay narrow
    EXPECT_EQ(Text(3), AnsiFromUtf8(Repeat("宽x", 1500)));
    EXPECT_EQ(Text(4), "Binary Data...");
    EXPECT_EQ(Text(5), Repeat("b", 500));
    // A stream is read once per row.
    EXPECT_EQ(Text(2), "");
    ASSERT_EQ(Api().MoveNext(h_), 1);
    EXPECT_EQ(Text(2), AnsiFromUtf8(Repeat("张三", 1000)));
    EXPECT_EQ(Text(3), Repeat("y", 10));
    EXPECT_EQ(Text(4), "<NULL>");
    EXPECT_EQ(Text(5), "short");
    ASSERT_EQ(Api().MoveNext(h_), 1);
    for (int c = 2; c <= 5; ++c) EXPECT_EQ(Text(c), "<NULL>") << c;
}

TEST_F(RowgateValues, UnreadStreamsAreReleasedBeforeTheNextFetch) {
    Open("unread", kLong, "SELECT * FROM Long");
    const int base = LiveObjects();
    ASSERT_EQ(Api().MoveFirst(h_), 1);
    EXPECT_EQ(LiveObjects(), base + 3);
    ASSERT_EQ(Api().MoveNext(h_), 1);
    EXPECT_EQ(LiveObjects(), base + 2);  // Bin is NULL in row 2
    ASSERT_EQ(Api().MoveNext(h_), 1);
    EXPECT_EQ(LiveObjects(), base);
    ASSERT_EQ(Api().MoveFirst(h_), 1);
    ASSERT_EQ(Api().MoveLast(h_), 1);
    ASSERT_EQ(Api().MovePrev(h_), 1);
    EXPECT_EQ(LiveObjects(), base + 2);
    Api().CloseRowSet(h_);
    EXPECT_LT(LiveObjects(), base);
}

TEST_F(RowgateValues, SkipAndReadReadsEachColumnOnce) {
    Open("skip", kLong, "SELECT * FROM Long");
    RgFieldValue v{};
    ASSERT_EQ(Api().GetData(h_, 2, 2, &v), 1);
    ASSERT_EQ(v.kind, 14);
    EXPECT_EQ(std::string(v.u.text.ptr, v.u.text.len), AnsiFromUtf8(Repeat("张三", 1000)));
    EXPECT_EQ(Api().IsEOF(h_), 0);
    EXPECT_EQ(Api().IsBOF(h_), 0);
}

TEST_F(RowgateValues, SkipAndReadCounts) {
    Open("skipcount", TypesFile(), "SELECT * FROM Types");
    RgFieldValue v{};
    ASSERT_EQ(Api().GetData(h_, 2, 1, &v), 1);
    EXPECT_EQ(v.kind, 5);
    EXPECT_EQ(v.u.i32, 7);
    EXPECT_EQ(Api().GetData(h_, 2, 5, &v), 0);
    EXPECT_EQ(Api().OpenRowSet(h_, "SELECT * FROM Types"), 1);
    EXPECT_EQ(Api().GetData(h_, 2, 0, &v), 0);
    EXPECT_EQ(Api().OpenRowSet(h_, "SELECT * FROM Types"), 1);
    EXPECT_EQ(Api().GetData(h_, 28, 1, &v), 0);  // beyond the bound columns
    ASSERT_EQ(Api().GetData(h_, 17, 2, &v), 1);
    EXPECT_STREQ(v.u.text.ptr, "0123456789");
}

TEST_F(RowgateValues, FullWidthWideTextAfterOpenWithModes) {
    h_ = OpenData("fullwidth", kWrite);
    ASSERT_NE(h_, nullptr);
    ASSERT_EQ(Api().OpenRowSetEx(h_, "SELECT * FROM W", 1, 1), 1);
    ASSERT_EQ(Api().MoveFirst(h_), 1);
    EXPECT_EQ(Text(2), "0123456789");
    ASSERT_EQ(Api().SetFieldString(h_, 2, "abcdefghij"), 1);
    EXPECT_EQ(Cell("W", 1, 1), "abcdefghij");
    ASSERT_EQ(Api().SetFieldString(h_, 2, AnsiFromUtf8(Repeat("宽", 10)).c_str()), 1);
    EXPECT_EQ(Cell("W", 1, 1), Repeat("宽", 10));
    // Longer than the column: cut to its width.
    ASSERT_EQ(Api().SetFieldString(h_, 2, "abcdefghijKLM"), 1);
    EXPECT_EQ(Cell("W", 1, 1), "abcdefghij");
    EXPECT_EQ(Text(2), "abcdefghij");
}

TEST_F(RowgateValues, FullWidthWideTextAfterPlainOpen) {
    Open("fullplain", kWrite, "SELECT * FROM W");
    ASSERT_EQ(Api().MoveFirst(h_), 1);
    EXPECT_EQ(Text(2), "0123456789");
    ASSERT_EQ(Api().SetFieldString(h_, 2, "abcdefghij"), 1);
    EXPECT_EQ(Cell("W", 1, 1), "abcdefghij");
}

TEST_F(RowgateValues, WriteTextIntoTextColumns) {
    Open("writetext", kWrite, "SELECT * FROM W");
    ASSERT_EQ(Api().MoveFirst(h_), 1);
    ASSERT_EQ(Api().SetFieldString(h_, 3, "narrow text too long"), 1);
    EXPECT_EQ(Cell("W", 1, 2), "narrow tex");
    // Too long for the column, and cut where a double-byte character would be split.
    ASSERT_EQ(Api().SetFieldString(h_, 3, AnsiFromUtf8("a张三李四王").c_str()), 1);
    EXPECT_EQ(Cell("W", 1, 2), "a张三李四");
    ASSERT_EQ(Api().SetFieldString(h_, 3, AnsiFromUtf8("张三李四王五六").c_str()), 1);
    EXPECT_EQ(Cell("W", 1, 2), "张三李四王");
    ASSERT_EQ(Api().SetFieldString(h_, 3, "narrow text too long"), 1);
    ASSERT_EQ(Api().SetFieldString(h_, 4, "new bstr"), 1);
    EXPECT_EQ(Cell("W", 1, 3), "new bstr");
    ASSERT_EQ(Api().SetFieldString(h_, 2, AnsiFromUtf8("中文").c_str()), 1);
    EXPECT_EQ(Cell("W", 1, 1), "中文");
    EXPECT_EQ(Cell("W", 1, 2), "narrow tex");
    EXPECT_EQ(Cell("W", 1, 10), Repeat("m", 2000));  // the stream column is not sent back
    EXPECT_EQ(Text(4), "new bstr");
    // Text into a number column stores nothing but still sends the row.
    ASSERT_EQ(Api().SetFieldString(h_, 6, "42"), 1);
    EXPECT_EQ(Cell("W", 1, 5), "2");
}

TEST_F(RowgateValues, EmptyTextAsksForTheDefault) {
    Open("writedefault", kWrite, "SELECT * FROM W");
    ASSERT_EQ(Api().MoveFirst(h_), 1);
    ResetRecording();
    ASSERT_EQ(Api().SetFieldString(h_, 3, ""), 1);
    EXPECT_NE(Cell("W", 1, 2), "abc");
}

TEST_F(RowgateValues, WritesAfterReadingAStreamDoNotTouchIt) {
    Open("afterstream", kWrite, "SELECT * FROM W");
    ASSERT_EQ(Api().MoveFirst(h_), 1);
    EXPECT_EQ(Text(11), Repeat("m", 2000));
    ASSERT_EQ(Api().SetFieldString(h_, 3, "after"), 1);
    EXPECT_EQ(Cell("W", 1, 10), Repeat("m", 2000));
    EXPECT_EQ(Cell("W", 1, 2), "after");
    // Insert from the buffer: the stream column goes out ignored.
    ASSERT_EQ(Api().AddNew(h_), 1);
    EXPECT_EQ(Cell("W", 3, 2), "after");
}

TEST_F(RowgateValues, WriteRealByColumnType) {
    Open("writereal", kWrite, "SELECT * FROM W");
    ASSERT_EQ(Api().MoveFirst(h_), 1);
    ASSERT_EQ(Api().SetFieldFloat(h_, 6, 2.7), 1);
    EXPECT_EQ(Cell("W", 1, 5), "3");
    ASSERT_EQ(Api().SetFieldFloat(h_, 5, -2.5), 1);
    EXPECT_EQ(Cell("W", 1, 4), "-2");  // banker's rounding of the variant conversion
    ASSERT_EQ(Api().SetFieldFloat(h_, 7, 0.125), 1);
    EXPECT_EQ(Text(7), "0.125000");
    ASSERT_EQ(Api().SetFieldFloat(h_, 8, 38353.5), 1);
    EXPECT_EQ(Text(8), "2005-01-01 12:00:00");
    ASSERT_EQ(Api().SetFieldFloat(h_, 9, 1.5), 1);
    EXPECT_EQ(Api().GetFieldFloat(h_, 9), 1.5f);
    ASSERT_EQ(Api().SetFieldFloat(h_, 10, 2), 1);
    EXPECT_EQ(Text(10), "-1");
    // A real into a text column stores nothing and sends the row.
    ASSERT_EQ(Api().SetFieldFloat(h_, 3, 5), 1);
    EXPECT_EQ(Cell("W", 1, 2), "abc");
}

TEST_F(RowgateValues, WriteRealThatCannotConvertSendsNothing) {
    Open("writeoverflow", kWrite, "SELECT * FROM W");
    ASSERT_EQ(Api().MoveFirst(h_), 1);
    ResetRecording();
    EXPECT_EQ(Api().SetFieldFloat(h_, 5, 1e10), 0);
    EXPECT_EQ(CallLog().find("SetData"), std::string::npos) << CallLog();
    EXPECT_EQ(Cell("W", 1, 4), "1");
    EXPECT_EQ(Api().SetFieldFloat(h_, 8, 1e300), 0);
}

TEST_F(RowgateValues, ProviderRefusingTheWriteReportsZero) {
    h_ = OpenData("setdatafault", std::string(kWrite) + "fault setdata E_FAIL row=1\n");
    ASSERT_NE(h_, nullptr);
    ASSERT_EQ(Api().OpenRowSet(h_, "SELECT * FROM W"), 1);
    ASSERT_EQ(Api().MoveFirst(h_), 1);
    EXPECT_EQ(Api().SetFieldString(h_, 3, "x"), 0);
    EXPECT_EQ(Api().SetFieldFloat(h_, 6, 1), 0);
    ASSERT_EQ(Api().MoveNext(h_), 1);
    EXPECT_EQ(Api().SetFieldString(h_, 3, "x"), 1);
}

TEST_F(RowgateValues, FieldStringAgreesWithTheValueRecord) {
    // GetFieldString takes shortcuts for common types; it must give exactly
    // the text of the record GetValue fills.
    Open("agree", TypesFile(), "SELECT * FROM Types");
    for (int row = 1; row <= 2; ++row) {
        ASSERT_EQ(row == 1 ? Api().MoveFirst(h_) : Api().MoveNext(h_), 1);
        for (int c = 1; c <= 27; ++c) {
            RgFieldValue raw{};
            const int ok = Api().GetValue(h_, c, &raw);
            rowgate::FieldValue v;
            static_assert(sizeof v == sizeof raw);
            std::memcpy(&v, &raw, sizeof v);
            std::string want = "<fail>";
            if (ok) {
                rowgate::FvToText(v);
                want = std::string(rowgate::FvText(v));
            }
            rowgate::FvClear(v);
            EXPECT_EQ(Text(c), want) << "row " << row << " column " << c;
        }
    }
}
