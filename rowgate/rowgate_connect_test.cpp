// Loading rowgate.dll, opening connections, the connection text and the
// schema lists, through the exports.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "api_test_support.h"
#include "rowgate/testprovider/testprovider_api.h"

using namespace rgtest;

namespace {

const char kShop[] = R"(table Orders
column ID I4
column Name WSTR 20 nullable
column Price CY
row 1|Alice|12.5
row 2|张三|-1.25
row 3|Bob|0

table Customers
column CustID I4
column City STR 30
row 1|Shanghai

table Summary
tabletype VIEW
column Total CY
row 5
)";

struct Export {
    const char* name;
    int ordinal;
};

const Export kExports[] = {
    {"AddNew", 1},         {"CloseDBSource", 2},   {"CloseRowSet", 3},      {"Delete", 4},
    {"GetColName", 5},     {"GetColumns", 6},      {"GetConnectString", 7}, {"GetData", 8},
    {"GetFieldDataType", 9}, {"GetFieldFloat", 10}, {"GetFieldName", 11},  {"GetFieldString", 12},
    {"GetTableFields", 13}, {"GetTableName", 14},  {"GetTables", 15},       {"GetValue", 16},
    {"IsBOF", 17},         {"IsEOF", 18},          {"MoveFirst", 19},       {"MoveLast", 20},
    {"MoveNext", 21},      {"MovePrev", 22},       {"MoveTo", 23},          {"OpenDBSource", 24},
    {"OpenDBSourceByStr", 25}, {"OpenRowSet", 26}, {"OpenRowSetEx", 27},    {"SetFieldFloat", 28},
    {"SetFieldString", 29}, {"Update", 30},
};

} // namespace

TEST(RowgateExports, ThirtyNamesWithTheirOrdinals) {
    HMODULE m = Api().module;
    ASSERT_NE(m, nullptr);
    for (const Export& e : kExports) {
        FARPROC byName = GetProcAddress(m, e.name);
        FARPROC byOrdinal = GetProcAddress(m, MAKEINTRESOURCEA(e.ordinal));
        EXPECT_NE(byName, nullptr) << e.name;
        EXPECT_EQ(byName, byOrdinal) << e.name;
    }
    EXPECT_EQ(GetProcAddress(m, MAKEINTRESOURCEA(31)), nullptr);
    EXPECT_EQ(GetProcAddress(m, "_OpenDBSource"), nullptr);
}

TEST(RowgateExports, TypicalCallingOrderThroughOrdinals) {
    HMODULE m = Api().module;
    auto open = reinterpret_cast<RgOpenDBSourceByStr_fn>(reinterpret_cast<void*>(GetProcAddress(m, MAKEINTRESOURCEA(25))));
    auto connect = reinterpret_cast<RgGetConnectString_fn>(reinterpret_cast<void*>(GetProcAddress(m, MAKEINTRESOURCEA(7))));
    auto tables = reinterpret_cast<RgGetTables_fn>(reinterpret_cast<void*>(GetProcAddress(m, MAKEINTRESOURCEA(15))));
    auto tableName = reinterpret_cast<RgGetTableName_fn>(reinterpret_cast<void*>(GetProcAddress(m, MAKEINTRESOURCEA(14))));
    auto fields = reinterpret_cast<RgGetTableFields_fn>(reinterpret_cast<void*>(GetProcAddress(m, MAKEINTRESOURCEA(13))));
    auto fieldName = reinterpret_cast<RgGetFieldName_fn>(reinterpret_cast<void*>(GetProcAddress(m, MAKEINTRESOURCEA(11))));
    auto openRows = reinterpret_cast<RgOpenRowSet_fn>(reinterpret_cast<void*>(GetProcAddress(m, MAKEINTRESOURCEA(26))));
    auto first = reinterpret_cast<RgMove_fn>(reinterpret_cast<void*>(GetProcAddress(m, MAKEINTRESOURCEA(19))));
    auto next = reinterpret_cast<RgMove_fn>(reinterpret_cast<void*>(GetProcAddress(m, MAKEINTRESOURCEA(21))));
    auto columns = reinterpret_cast<RgGetColumns_fn>(reinterpret_cast<void*>(GetProcAddress(m, MAKEINTRESOURCEA(6))));
    auto text = reinterpret_cast<RgGetFieldString_fn>(reinterpret_cast<void*>(GetProcAddress(m, MAKEINTRESOURCEA(12))));
    auto real = reinterpret_cast<RgGetFieldFloat_fn>(reinterpret_cast<void*>(GetProcAddress(m, MAKEINTRESOURCEA(10))));
    auto closeRows = reinterpret_cast<RgCloseRowSet_fn>(reinterpret_cast<void*>(GetProcAddress(m, MAKEINTRESOURCEA(3))));
    auto close = reinterpret_cast<RgCloseDBSource_fn>(reinterpret_cast<void*>(GetProcAddress(m, MAKEINTRESOURCEA(2))));

    RgHandle h = open(DataSource("order", kShop).c_str());
    ASSERT_NE(h, nullptr);
    char conn[1024] = {};
    EXPECT_EQ(connect(h, conn), 1);
    EXPECT_NE(std::string(conn).find("Quillet.TestProvider"), std::string::npos) << conn;

    ASSERT_EQ(tables(h), 2);
    char name[129];
    ASSERT_EQ(tableName(h, 0, name), 1);
    EXPECT_STREQ(name, "Customers");
    ASSERT_EQ(tableName(h, 1, name), 1);
    EXPECT_STREQ(name, "Orders");
    ASSERT_EQ(fields(h, "Orders"), 3);
    ASSERT_EQ(fieldName(h, 1, name), 1);
    EXPECT_STREQ(name, "Name");

    ASSERT_EQ(openRows(h, "SELECT * FROM Orders"), 1);
    std::string seen;
    float sum = 0;
    for (int ok = first(h); ok == 1; ok = next(h)) {
        for (int c = 1; c <= columns(h); ++c) {
            char buf[256];
            ASSERT_EQ(text(h, c, buf), 1);
            seen += buf;
            seen += c == columns(h) ? "\n" : "|";
        }
        sum += real(h, 3);
    }
    EXPECT_EQ(seen, "1|Alice|12.500000\n2|" + AnsiFromUtf8("张三") + "|-1.250000\n3|Bob|0.000000\n");
    EXPECT_FLOAT_EQ(sum, 11.25f);
    closeRows(h);
    close(h);
    EXPECT_EQ(LiveObjects(), 0);
    EXPECT_EQ(HeldRows(), 0);
    EXPECT_EQ(LiveAccessors(), 0);
}

TEST(RowgateOpen, ProviderNotInstalledGivesNull) {
    EXPECT_EQ(Api().OpenDBSourceByStr("Provider=No.Such.Provider.1;Data Source=C:\\x.txt"), nullptr);
    EXPECT_EQ(Api().OpenDBSourceByStr("this is no initialization string"), nullptr);
    EXPECT_EQ(Api().OpenDBSourceByStr(""), nullptr);
    EXPECT_EQ(Api().OpenDBSourceByStr(nullptr), nullptr);
}

TEST(RowgateOpen, InitializeFailureGivesNullAndReleasesTheDataSource) {
    Source ok(OpenData("good", kShop));
    ASSERT_TRUE(ok);
    ok.Close();
    EXPECT_EQ(Api().OpenDBSourceByStr("Provider=Quillet.TestProvider;Data Source=C:\\no\\such\\file.txt"), nullptr);
    EXPECT_EQ(OpenData("badfile", "this is not a statement\n"), nullptr);
    EXPECT_EQ(LiveObjects(), 0);
}

TEST(RowgateOpen, SessionFailureGivesNullAndReleasesEverything) {
    EXPECT_EQ(OpenData("nosession", std::string("fault createsession E_FAIL\n") + kShop), nullptr);
    EXPECT_EQ(LiveObjects(), 0);
    // Only exactly S_OK counts as success.
    EXPECT_EQ(OpenData("sfalse", std::string("fault createsession S_FALSE\n") + kShop), nullptr);
    EXPECT_EQ(OpenData("sfalseinit", std::string("fault initialize S_FALSE\n") + kShop), nullptr);
    EXPECT_EQ(LiveObjects(), 0);
}

TEST(RowgateOpen, DialogCancelledGivesNull) {
    SetEnvironmentVariableA("RG_DATALINK_ANSWER", "cancel");
    EXPECT_EQ(Api().OpenDBSource(), nullptr);
    SetEnvironmentVariableA("RG_DATALINK_ANSWER", nullptr);
    EXPECT_EQ(Api().OpenDBSource(), nullptr);
}

TEST(RowgateOpen, DialogAnswerOpensAndAsksAsTheWizardSheet) {
    const std::string init = DataSource("dialog", kShop);
    SetEnvironmentVariableA("RG_DATALINK_ANSWER", init.c_str());
    Source h(Api().OpenDBSource());
    SetEnvironmentVariableA("RG_DATALINK_ANSWER", nullptr);
    ASSERT_TRUE(h);
    EXPECT_EQ(Api().GetTables(h.get()), 2);
    HMODULE links = GetModuleHandleW(L"rgdatalinks.dll");
    ASSERT_NE(links, nullptr);
    auto lastPrompt = reinterpret_cast<tp_text_fn>(reinterpret_cast<void*>(GetProcAddress(links, "dl_LastPromptText")));
    ASSERT_NE(lastPrompt, nullptr);
    char buf[2048] = {};
    lastPrompt(buf, sizeof buf);
    const std::string prompt = buf;
    EXPECT_NE(prompt.find("options=1 "), std::string::npos) << prompt;
    EXPECT_NE(prompt.find("types=0 "), std::string::npos) << prompt;
    EXPECT_NE(prompt.find("filter=(null)"), std::string::npos) << prompt;
    // IDBProperties is what the dialog is asked for.
    EXPECT_NE(prompt.find("{0C733A8A-2A1C-11CE-ADE5-00AA0044773D}"), std::string::npos) << prompt;
    h.Close();
    EXPECT_EQ(LiveObjects(), 0);
}

TEST(RowgateConnectString, SameTextTwiceAndFilteredOfOtherItems) {
    Source h(OpenData("conn", kShop));
    ASSERT_TRUE(h);
    char a[2048], b[2048];
    std::memset(a, 'Z', sizeof a);
    std::memset(b, 'Y', sizeof b);
    ASSERT_EQ(Api().GetConnectString(h.get(), a), 1);
    ASSERT_EQ(Api().GetConnectString(h.get(), b), 1);
    EXPECT_STREQ(a, b);
    const std::string text = a;
    EXPECT_EQ(text.rfind("Provider=", 0), 0u) << text;
    EXPECT_NE(text.find("Data Source="), std::string::npos) << text;
    EXPECT_EQ(text.find("Mode="), std::string::npos) << text;
    EXPECT_NE(text.back(), ';');
    // The text opens the same data source again.
    Source again(Api().OpenDBSourceByStr(a));
    ASSERT_TRUE(again);
    EXPECT_EQ(Api().GetTables(again.get()), 2);
}

TEST(RowgateSchema, TablesListsOnlyTablesAndIndexBoundsLeaveBufferAlone) {
    Source h(OpenData("tables", kShop));
    ASSERT_TRUE(h);
    ASSERT_EQ(Api().GetTables(h.get()), 2);
    char buf[200];
    std::memset(buf, 'Z', sizeof buf);
    EXPECT_EQ(Api().GetTableName(h.get(), 2, buf), 0);
    EXPECT_EQ(Api().GetTableName(h.get(), -1, buf), 0);
    EXPECT_EQ(buf[0], 'Z');
    EXPECT_EQ(buf[199], 'Z');
    // The list stays while row sets come and go.
    ASSERT_EQ(Api().OpenRowSet(h.get(), "SELECT * FROM Orders"), 1);
    Api().CloseRowSet(h.get());
    ASSERT_EQ(Api().GetTableName(h.get(), 1, buf), 1);
    EXPECT_STREQ(buf, "Orders");
}

TEST(RowgateSchema, FieldsOfATableAndOfAll) {
    Source h(OpenData("fields", kShop));
    ASSERT_TRUE(h);
    ASSERT_EQ(Api().GetTableFields(h.get(), "Customers"), 2);
    char buf[200];
    ASSERT_EQ(Api().GetFieldName(h.get(), 0, buf), 1);
    EXPECT_STREQ(buf, "CustID");
    ASSERT_EQ(Api().GetFieldName(h.get(), 1, buf), 1);
    EXPECT_STREQ(buf, "City");
    std::memset(buf, 'Z', sizeof buf);
    EXPECT_EQ(Api().GetFieldName(h.get(), 2, buf), 0);
    EXPECT_EQ(Api().GetFieldName(h.get(), -5, buf), 0);
    EXPECT_EQ(buf[0], 'Z');
    EXPECT_EQ(Api().GetTableFields(h.get(), "NoSuchTable"), 0);
    EXPECT_EQ(Api().GetFieldName(h.get(), 0, buf), 0);
    // No table name: the columns of every table, views included.
    EXPECT_EQ(Api().GetTableFields(h.get(), nullptr), 6);
}

TEST(RowgateSchema, ProviderWithoutSchemaRowsetGivesZero) {
    Source h(OpenData("noschema", std::string("fault no-schemarowset\n") + kShop));
    ASSERT_TRUE(h);
    EXPECT_EQ(Api().GetTables(h.get()), 0);
    EXPECT_EQ(Api().GetTableFields(h.get(), "Orders"), 0);
    ASSERT_EQ(Api().OpenRowSet(h.get(), "SELECT * FROM Orders"), 1);
}

TEST(RowgateSchema, LongTableNamesAreCutAt128) {
    const std::string longName(200, 'T');
    Source h(OpenData("longname", "table " + longName + "\ncolumn " + std::string(150, 'C') + " I4\n"));
    ASSERT_TRUE(h);
    ASSERT_EQ(Api().GetTables(h.get()), 1);
    char buf[300] = {};
    ASSERT_EQ(Api().GetTableName(h.get(), 0, buf), 1);
    EXPECT_EQ(std::string(buf), longName.substr(0, 128));
    ASSERT_EQ(Api().GetTableFields(h.get(), longName.c_str()), 1);
    ASSERT_EQ(Api().GetFieldName(h.get(), 0, buf), 1);
    EXPECT_EQ(std::string(buf), std::string(128, 'C'));
}

TEST(RowgateRelease, EveryReferenceReleasedAfterClose) {
    {
        Source h(OpenData("refs", kShop));
        ASSERT_TRUE(h);
        EXPECT_GT(LiveObjects(), 0);
        Api().GetTables(h.get());
        Api().GetTableFields(h.get(), "Orders");
        ASSERT_EQ(Api().OpenRowSet(h.get(), "SELECT * FROM Orders"), 1);
        ASSERT_EQ(Api().MoveFirst(h.get()), 1);
        ASSERT_EQ(Api().OpenRowSetEx(h.get(), "SELECT * FROM Customers", 1, 2), 1);
        ASSERT_EQ(Api().MoveLast(h.get()), 1);
        // The row set stays open when the handle is closed.
    }
    EXPECT_EQ(LiveObjects(), 0);
    EXPECT_EQ(HeldRows(), 0);
    EXPECT_EQ(LiveAccessors(), 0);
}

TEST(RowgateRelease, CloseDBSourceOfNullDoesNothing) { Api().CloseDBSource(nullptr); }
