// The test provider exercised directly through OLE DB, reached the way any
// consumer reaches a provider: IDataInitialize::GetDataSource of the
// platform's service components with "Provider=Quillet.TestProvider".
#include <windows.h>
#include <oledb.h>
#include <oledberr.h>
#include <msdasc.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "rowgate/testprovider/common.h"
#include "rowgate/testprovider/register_for_tests.h"
#include "rowgate/testprovider/testprovider_api.h"
#include "win/handles.h"
#include "win/strings.h"

using win::ComPtr;
namespace guid = tp::guid;

namespace {

class Servers : public ::testing::Environment {
public:
    void SetUp() override {
        std::wstring error;
        ASSERT_TRUE(rgtest::RegisterTestServers(&error)) << win::ToUtf8(error);
    }
};
::testing::Environment* const g_servers = ::testing::AddGlobalTestEnvironment(new Servers);

const char kData[] =
    "# every column type the provider serves\n"
    "table Things\n"
    "column ID I4\n"
    "column Name WSTR 20 nullable\n"
    "column Memo STR 3000 long nullable\n"
    "column Price CY\n"
    "column Ratio R8\n"
    "column Day DBDATE\n"
    "column Stamp DBTIMESTAMP\n"
    "column Wide WSTR 4000 long nullable\n"
    "row 1|Alice|\\N|1.5|1.5|2005-01-01|2005-03-07 14:05:09|\\N\n"
    "row 2|张三|\\R1500*文a|-2.25|1e-101|2005-01-02|2005-03-08 00:00:00|\\R2000*ж\n"
    "row 3|\\N|short|0|2|0000-00-00|1999-12-31 23:59:59|x\n"
    "\n"
    "table Empty\n"
    "column X I2\n"
    "\n"
    "table Other\n"
    "tabletype VIEW\n"
    "column Y I4\n"
    "row 7\n";

template <typename F>
F Api(const char* dll, const char* name) {
    HMODULE m = GetModuleHandleA(dll);
    return m ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name))) : nullptr;
}
int LiveObjects() {
    auto f = Api<tp_int_fn>("rgtestprov.dll", "tp_LiveObjects");
    return f ? f() : -1;
}
int HeldRows() {
    auto f = Api<tp_int_fn>("rgtestprov.dll", "tp_HeldRows");
    return f ? f() : -1;
}
std::string Text(const char* name) {
    auto f = Api<tp_text_fn>("rgtestprov.dll", name);
    if (!f) return "<missing>";
    int n = f(nullptr, 0);
    std::string s(static_cast<size_t>(n) + 1, '\0');
    f(s.data(), n + 1);
    s.resize(static_cast<size_t>(n));
    return s;
}
std::string TableText(const char* table) {
    auto f = Api<tp_table_text_fn>("rgtestprov.dll", "tp_TableText");
    if (!f) return "<missing>";
    int n = f(table, nullptr, 0);
    if (n < 0) return "<none>";
    std::string s(static_cast<size_t>(n) + 1, '\0');
    f(table, s.data(), n + 1);
    s.resize(static_cast<size_t>(n));
    return s;
}

DBPROP BoolProp(DBPROPID id, bool value, DBPROPOPTIONS options = DBPROPOPTIONS_REQUIRED) {
    DBPROP p{};
    p.dwPropertyID = id;
    p.dwOptions = options;
    VariantInit(&p.vValue);
    p.vValue.vt = VT_BOOL;
    p.vValue.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return p;
}

class Provider : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        ASSERT_EQ(S_OK, CoCreateInstance(guid::kMsdaInitialize, nullptr, CLSCTX_INPROC_SERVER,
                                         guid::kIidDataInitialize, init_.put_void()));
    }
    void TearDown() override {
        init_.reset();
        CoUninitialize();
        for (const auto& f : files_) DeleteFileW(f.c_str());
    }

    std::wstring DataFile(const std::string& data) {
        std::wstring path = rgtest::WriteTempFile(data);
        EXPECT_FALSE(path.empty());
        files_.push_back(path);
        return path;
    }

    std::wstring InitString(const std::string& data) {
        std::wstring path = DataFile(data);
        return L"Provider=Quillet.TestProvider;Data Source=" + path;
    }

    // A data source over `data`, initialized.
    ComPtr<IDBInitialize> Open(const std::string& data = kData, HRESULT expected = S_OK) {
        ComPtr<IDBInitialize> ds;
        std::wstring s = InitString(data);
        HRESULT hr = init_->GetDataSource(nullptr, CLSCTX_INPROC_SERVER, s.c_str(), IID_IDBInitialize,
                                          reinterpret_cast<IUnknown**>(ds.put()));
        EXPECT_EQ(S_OK, hr);
        if (FAILED(hr)) return {};
        EXPECT_EQ(expected, ds->Initialize()) << Text("tp_LastErrorText");
        return ds;
    }

    ComPtr<IOpenRowset> Session(const ComPtr<IDBInitialize>& ds) {
        ComPtr<IDBCreateSession> cs;
        EXPECT_EQ(S_OK, ds.As(cs, IID_IDBCreateSession));
        ComPtr<IOpenRowset> session;
        EXPECT_EQ(S_OK, cs->CreateSession(nullptr, IID_IOpenRowset, reinterpret_cast<IUnknown**>(session.put())));
        return session;
    }

    // Runs a command with the given rowset properties.
    HRESULT Execute(const ComPtr<IOpenRowset>& session, const wchar_t* text, std::vector<DBPROP> props,
                    ComPtr<IRowset>& rowset) {
        ComPtr<IDBCreateCommand> cc;
        EXPECT_EQ(S_OK, session.As(cc, IID_IDBCreateCommand));
        ComPtr<ICommandText> cmd;
        EXPECT_EQ(S_OK, cc->CreateCommand(nullptr, IID_ICommandText, reinterpret_cast<IUnknown**>(cmd.put())));
        EXPECT_EQ(S_OK, cmd->SetCommandText(guid::kDialectDefault, text));
        if (!props.empty()) {
            ComPtr<ICommandProperties> cp;
            EXPECT_EQ(S_OK, cmd.As(cp, IID_ICommandProperties));
            DBPROPSET set{props.data(), static_cast<ULONG>(props.size()), guid::kPropsetRowset};
            EXPECT_EQ(S_OK, cp->SetProperties(1, &set));
        }
        return cmd->Execute(nullptr, IID_IRowset, nullptr, nullptr, reinterpret_cast<IUnknown**>(rowset.put()));
    }

    std::vector<DBPROP> Scrollable() {
        return {BoolProp(DBPROP_IRowsetLocate, true), BoolProp(DBPROP_CANSCROLLBACKWARDS, true),
                BoolProp(DBPROP_CANFETCHBACKWARDS, true)};
    }

    ComPtr<IDataInitialize> init_;
    std::vector<std::wstring> files_;
};

// Binds one column and reads it from rows.
struct OneColumn {
    struct Buffer {
        BYTE value[8192];
        DBLENGTH length;
        DBSTATUS status;
    } buf{};
    HACCESSOR acc = DB_NULL_HACCESSOR;
    ComPtr<IAccessor> accessor;
    DBOBJECT object{STGM_READ, IID_ISequentialStream};

    HRESULT Bind(const ComPtr<IRowset>& rs, DBORDINAL ordinal, DBTYPE type, DBLENGTH size) {
        EXPECT_EQ(S_OK, rs.As(accessor, IID_IAccessor));
        DBBINDING b{};
        b.iOrdinal = ordinal;
        b.obValue = offsetof(Buffer, value);
        b.obLength = offsetof(Buffer, length);
        b.obStatus = offsetof(Buffer, status);
        b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
        b.dwMemOwner = DBMEMOWNER_CLIENTOWNED;
        b.wType = type;
        b.cbMaxLen = size;
        if (type == DBTYPE_IUNKNOWN) b.pObject = &object;
        DBBINDSTATUS st = 0;
        return accessor->CreateAccessor(DBACCESSOR_ROWDATA, 1, &b, sizeof(Buffer), &acc, &st);
    }
    ~OneColumn() {
        if (accessor && acc) accessor->ReleaseAccessor(acc, nullptr);
    }
};

// Fetches one row with the given offset; returns the result and the row (0 if none).
HRESULT Next(const ComPtr<IRowset>& rs, DBROWOFFSET offset, HROW& row, DBROWCOUNT count = 1) {
    DBCOUNTITEM got = 0;
    HROW* rows = &row;
    row = DB_NULL_HROW;
    return rs->GetNextRows(DB_NULL_HCHAPTER, offset, count, &got, &rows);
}

std::string ReadStream(IUnknown* unk) {
    ComPtr<ISequentialStream> s;
    if (FAILED(unk->QueryInterface(IID_ISequentialStream, s.put_void()))) return "<no stream>";
    std::string out;
    char piece[700];
    ULONG got = 0;
    while (SUCCEEDED(s->Read(piece, sizeof piece, &got)) && got > 0) out.append(piece, got);
    return out;
}

TEST_F(Provider, OpensThroughTheServiceComponents) {
    auto ds = Open();
    ASSERT_TRUE(ds);
    ComPtr<IPersist> persist;
    ASSERT_EQ(S_OK, ds.As(persist, IID_IPersist));
    CLSID clsid{};
    ASSERT_EQ(S_OK, persist->GetClassID(&clsid));
    EXPECT_TRUE(IsEqualCLSID(clsid, guid::kProvider));
    LPOLESTR text = nullptr;
    ASSERT_EQ(S_OK, init_->GetInitializationString(ds.get(), false, &text));
    std::string s = win::ToUtf8(text);
    CoTaskMemFree(text);
    EXPECT_NE(std::string::npos, s.find("Provider=Quillet.TestProvider")) << s;
    EXPECT_NE(std::string::npos, s.find("Data Source=")) << s;
    printf("initialization string: %s\n", s.c_str());
}

TEST_F(Provider, InitStringKeywordsReachTheProperties) {
    std::wstring path = DataFile(kData);
    std::wstring s = L"Provider=Quillet.TestProvider;Data Source=" + path +
                     L";User ID=ann;Password=pw;Persist Security Info=False;Mode=Read;Extended Properties=\"a=1;b=2\"";
    ComPtr<IDBProperties> props;
    ASSERT_EQ(S_OK, init_->GetDataSource(nullptr, CLSCTX_INPROC_SERVER, s.c_str(), IID_IDBProperties,
                                         reinterpret_cast<IUnknown**>(props.put())));
    DBPROPID ids[] = {DBPROP_INIT_DATASOURCE, DBPROP_AUTH_USERID, DBPROP_AUTH_PERSIST_SENSITIVE_AUTHINFO,
                      DBPROP_INIT_MODE, DBPROP_INIT_PROVIDERSTRING};
    DBPROPIDSET idset{ids, 5, guid::kPropsetDbInit};
    ULONG nSets = 0;
    DBPROPSET* sets = nullptr;
    ASSERT_EQ(S_OK, props->GetProperties(1, &idset, &nSets, &sets));
    ASSERT_EQ(1u, nSets);
    ASSERT_EQ(5u, sets[0].cProperties);
    DBPROP* p = sets[0].rgProperties;
    EXPECT_EQ(VT_BSTR, p[0].vValue.vt);
    EXPECT_EQ(path, p[0].vValue.bstrVal);
    ASSERT_EQ(VT_BSTR, p[1].vValue.vt);
    EXPECT_STREQ(L"ann", p[1].vValue.bstrVal);
    ASSERT_EQ(VT_BOOL, p[2].vValue.vt);
    EXPECT_EQ(VARIANT_FALSE, p[2].vValue.boolVal);
    ASSERT_EQ(VT_I4, p[3].vValue.vt);
    EXPECT_EQ(DB_MODE_READ, p[3].vValue.lVal);
    ASSERT_EQ(VT_BSTR, p[4].vValue.vt);
    EXPECT_STREQ(L"a=1;b=2", p[4].vValue.bstrVal);
    for (ULONG i = 0; i < sets[0].cProperties; ++i) VariantClear(&p[i].vValue);
    CoTaskMemFree(p);
    CoTaskMemFree(sets);
}

TEST_F(Provider, UnreadableFileFailsInitialize) {
    auto ds = Open("table T\ncolumn A NOPE\n", E_FAIL);
    EXPECT_NE(std::string::npos, Text("tp_LastErrorText").find("unknown type")) << Text("tp_LastErrorText");
}

TEST_F(Provider, DataFileEscapesRoundTrip) {
    auto ds = Open("\xEF\xBB\xBF# BOM and comment\n"
                   "table E\ncolumn S WSTR 40 nullable\ncolumn B BYTES 4\ncolumn N NUMERIC scale=2\n"
                   "row a\\|b\\\\c\\n\\u4E2D|00FF|-0.5\n"
                   "row \\N|\\R2*AB|12\n"
                   "row |0102|\\N\n");
    EXPECT_EQ("row a\\|b\\\\c\\n\xE4\xB8\xAD|00FF|-0.50\n"
              "row \\N|ABAB|12.00\n"
              "row |0102|\\N\n",
              TableText("e"));
}

TEST_F(Provider, DataFileMistakesAreReported) {
    Open("table T\ncolumn A I4\ncolumn B I4\nrow 1\n", E_FAIL);
    EXPECT_NE(std::string::npos, Text("tp_LastErrorText").find("line 4: row has 1 fields, table has 2 columns"))
        << Text("tp_LastErrorText");
    Open("table T\ncolumn A I2\nrow 40000\n", E_FAIL);
    EXPECT_NE(std::string::npos, Text("tp_LastErrorText").find("bad integer")) << Text("tp_LastErrorText");
    Open("table T\ncolumn A I2\nfault explode E_FAIL\n", E_FAIL);
    EXPECT_NE(std::string::npos, Text("tp_LastErrorText").find("unknown fault")) << Text("tp_LastErrorText");
}

TEST_F(Provider, SchemaRowsetsListTablesAndColumns) {
    auto ds = Open();
    auto session = Session(ds);
    ComPtr<IDBSchemaRowset> schema;
    ASSERT_EQ(S_OK, session.As(schema, IID_IDBSchemaRowset));
    VARIANT r[4];
    for (auto& v : r) VariantInit(&v);
    r[3].vt = VT_BSTR;
    r[3].bstrVal = SysAllocString(L"TABLE");
    ComPtr<IRowset> rs;
    ASSERT_EQ(S_OK, schema->GetRowset(nullptr, guid::kSchemaTables, 4, r, IID_IRowset, 0, nullptr,
                                      reinterpret_cast<IUnknown**>(rs.put())));
    VariantClear(&r[3]);
    std::vector<std::string> names;
    {
        OneColumn col;
        ASSERT_EQ(S_OK, col.Bind(rs, 3, DBTYPE_STR, 129));
        HROW row;
        while (Next(rs, 0, row) == S_OK) {
            EXPECT_EQ(S_OK, rs->GetData(row, col.acc, &col.buf));
            names.emplace_back(reinterpret_cast<char*>(col.buf.value));
            rs->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
        }
    }
    EXPECT_EQ((std::vector<std::string>{"Empty", "Things"}), names);
    rs.reset();

    VARIANT c[4];
    for (auto& v : c) VariantInit(&v);
    c[2].vt = VT_BSTR;
    c[2].bstrVal = SysAllocString(L"things");
    ASSERT_EQ(S_OK, schema->GetRowset(nullptr, guid::kSchemaColumns, 4, c, IID_IRowset, 0, nullptr,
                                      reinterpret_cast<IUnknown**>(rs.put())));
    VariantClear(&c[2]);
    names.clear();
    {
        OneColumn col;
        ASSERT_EQ(S_OK, col.Bind(rs, 4, DBTYPE_STR, 129));
        HROW row;
        while (Next(rs, 0, row) == S_OK) {
            EXPECT_EQ(S_OK, rs->GetData(row, col.acc, &col.buf));
            names.emplace_back(reinterpret_cast<char*>(col.buf.value));
            rs->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
        }
    }
    EXPECT_EQ((std::vector<std::string>{"ID", "Name", "Memo", "Price", "Ratio", "Day", "Stamp", "Wide"}), names);
}

TEST_F(Provider, SelectReadsTypedValuesAndNull) {
    auto ds = Open();
    auto session = Session(ds);
    ComPtr<IRowset> rs;
    ASSERT_EQ(S_OK, Execute(session, L"select * from THINGS", Scrollable(), rs));
    ComPtr<IColumnsInfo> info;
    ASSERT_EQ(S_OK, rs.As(info, IID_IColumnsInfo));
    DBORDINAL n = 0;
    DBCOLUMNINFO* ci = nullptr;
    OLECHAR* strings = nullptr;
    ASSERT_EQ(S_OK, info->GetColumnInfo(&n, &ci, &strings));
    ASSERT_EQ(9u, n);  // bookmark + 8
    EXPECT_EQ(0u, ci[0].iOrdinal);
    EXPECT_TRUE(ci[0].dwFlags & DBCOLUMNFLAGS_ISBOOKMARK);
    EXPECT_STREQ(L"Memo", ci[3].pwszName);
    EXPECT_EQ(DBTYPE_STR, ci[3].wType);
    EXPECT_TRUE(ci[3].dwFlags & DBCOLUMNFLAGS_ISLONG);
    EXPECT_EQ(3000u, ci[3].ulColumnSize);
    CoTaskMemFree(ci);
    CoTaskMemFree(strings);

    HROW row;
    ASSERT_EQ(S_OK, Next(rs, 0, row));
    {
        OneColumn id;
        ASSERT_EQ(S_OK, id.Bind(rs, 1, DBTYPE_I4, 4));
        ASSERT_EQ(S_OK, rs->GetData(row, id.acc, &id.buf));
        EXPECT_EQ(1, *reinterpret_cast<LONG*>(id.buf.value));
        OneColumn memo;
        ASSERT_EQ(S_OK, memo.Bind(rs, 3, DBTYPE_STR, 100));
        ASSERT_EQ(S_OK, rs->GetData(row, memo.acc, &memo.buf));
        EXPECT_EQ(DBSTATUS_S_ISNULL, memo.buf.status);
        OneColumn price;
        ASSERT_EQ(S_OK, price.Bind(rs, 4, DBTYPE_CY, 8));
        ASSERT_EQ(S_OK, rs->GetData(row, price.acc, &price.buf));
        EXPECT_EQ(15000, *reinterpret_cast<LONGLONG*>(price.buf.value));
        OneColumn stamp;
        ASSERT_EQ(S_OK, stamp.Bind(rs, 7, DBTYPE_DBTIMESTAMP, sizeof(DBTIMESTAMP)));
        ASSERT_EQ(S_OK, rs->GetData(row, stamp.acc, &stamp.buf));
        auto* ts = reinterpret_cast<DBTIMESTAMP*>(stamp.buf.value);
        EXPECT_EQ(2005, ts->year);
        EXPECT_EQ(9, ts->second);
        OneColumn name;  // WSTR read as narrow text
        ASSERT_EQ(S_OK, name.Bind(rs, 2, DBTYPE_STR, 50));
        ASSERT_EQ(S_OK, rs->GetData(row, name.acc, &name.buf));
        EXPECT_STREQ("Alice", reinterpret_cast<char*>(name.buf.value));
        EXPECT_EQ(5u, name.buf.length);
    }
    rs->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
}

const char kAllTypes[] =
    "table AllTypes\n"
    "column cI2 I2\ncolumn cI4 I4\ncolumn cR4 R4\ncolumn cR8 R8\ncolumn cCY CY\ncolumn cDATE DATE\n"
    "column cBSTR BSTR 50\ncolumn cERROR ERROR\ncolumn cBOOL BOOL\ncolumn cI1 I1\ncolumn cUI1 UI1\n"
    "column cUI2 UI2\ncolumn cUI4 UI4\ncolumn cUI8 UI8\ncolumn cGUID GUID\ncolumn cBYTES BYTES 100\n"
    "column cSTR STR 20\ncolumn cSTRL STR 2000 long\ncolumn cWSTR WSTR 10\ncolumn cWSTRF WSTR 10\n"
    "column cWSTRL WSTR 3000 long\ncolumn cNUM NUMERIC precision=10 scale=2\ncolumn cDBDATE DBDATE\n"
    "column cDBTIME DBTIME\ncolumn cTS DBTIMESTAMP\ncolumn cI8 I8\ncolumn cDEC DECIMAL scale=2\n"
    "column cVAR VARIANT\n"
    "row -7|7|1.5|1.5|1.5|2005-03-07 14:05:09|bstr|0x80004005|true|-1|200|65535|4294967295|"
    "18446744073709551615|{0C733A8A-2A1C-11CE-ADE5-00AA0044773D}|\\R100*AB|abc|\\R2000*x|wide|"
    "\xEF\xBC\xA1\xEF\xBC\xA2\xEF\xBC\xA3\xEF\xBC\xA4\xEF\xBC\xA5\xEF\xBC\xA6\xEF\xBC\xA7\xEF\xBC\xA8\xEF\xBC\xA9\xEF\xBC\xAA|"
    "\\R3000*y|-123.45|2005-01-01|08:30:00|2005-03-07 14:05:09|-9000000000|1.25|var\n";

TEST_F(Provider, EveryColumnTypeReadsInItsOwnType) {
    auto ds = Open(kAllTypes);
    auto session = Session(ds);
    ComPtr<IRowset> rs;
    ASSERT_EQ(S_OK, Execute(session, L"SELECT * FROM AllTypes", {}, rs));
    ComPtr<IColumnsInfo> info;
    ASSERT_EQ(S_OK, rs.As(info, IID_IColumnsInfo));
    DBORDINAL n = 0;
    DBCOLUMNINFO* ci = nullptr;
    OLECHAR* strings = nullptr;
    ASSERT_EQ(S_OK, info->GetColumnInfo(&n, &ci, &strings));
    ASSERT_EQ(28u, n);
    HROW row;
    ASSERT_EQ(S_OK, Next(rs, 0, row));
    auto read = [&](DBORDINAL ord, OneColumn& col) {
        DBLENGTH size = ci[ord - 1].wType == DBTYPE_WSTR ? ci[ord - 1].ulColumnSize * 2 + 2
                                                          : ci[ord - 1].ulColumnSize + 1;
        if (size > sizeof col.buf.value) size = sizeof col.buf.value;
        EXPECT_EQ(S_OK, col.Bind(rs, ord, ci[ord - 1].wType, size)) << ord;
        EXPECT_EQ(S_OK, rs->GetData(row, col.acc, &col.buf)) << ord;
        EXPECT_EQ(DBSTATUS_S_OK, col.buf.status) << ord;
        return static_cast<void*>(col.buf.value);
    };
#define READ(ord, T) ([&] { OneColumn c; return *static_cast<T*>(read(ord, c)); }())
    EXPECT_EQ(-7, READ(1, SHORT));
    EXPECT_EQ(7, READ(2, LONG));
    EXPECT_EQ(1.5f, READ(3, float));
    EXPECT_EQ(1.5, READ(4, double));
    EXPECT_EQ(15000, READ(5, LONGLONG));
    SYSTEMTIME st{2005, 3, 0, 7, 14, 5, 9, 0};
    double date = 0;
    SystemTimeToVariantTime(&st, &date);
    EXPECT_DOUBLE_EQ(date, READ(6, double));
    {
        OneColumn c;
        BSTR b = *static_cast<BSTR*>(read(7, c));
        EXPECT_STREQ(L"bstr", b);
        SysFreeString(b);
    }
    EXPECT_EQ(static_cast<LONG>(0x80004005), READ(8, LONG));
    EXPECT_EQ(VARIANT_TRUE, READ(9, VARIANT_BOOL));
    EXPECT_EQ(-1, READ(10, signed char));
    EXPECT_EQ(200, READ(11, unsigned char));
    EXPECT_EQ(65535, READ(12, USHORT));
    EXPECT_EQ(4294967295u, READ(13, ULONG));
    EXPECT_EQ(18446744073709551615ull, READ(14, ULONGLONG));
    EXPECT_TRUE(IsEqualGUID(IID_IDBProperties, READ(15, GUID)));
    {
        OneColumn c;
        auto* bytes = static_cast<BYTE*>(read(16, c));
        EXPECT_EQ(100u, c.buf.length);
        EXPECT_EQ(0xAB, bytes[99]);
    }
    {
        OneColumn c;
        EXPECT_STREQ("abc", static_cast<char*>(read(17, c)));
        OneColumn l;
        read(18, l);
        EXPECT_EQ(2000u, l.buf.length);
        OneColumn w;
        EXPECT_STREQ(L"wide", static_cast<wchar_t*>(read(19, w)));
        OneColumn f;
        EXPECT_STREQ(L"ＡＢＣＤＥＦＧＨＩＪ", static_cast<wchar_t*>(read(20, f)));
        EXPECT_EQ(20u, f.buf.length);
        OneColumn wl;
        read(21, wl);
        EXPECT_EQ(6000u, wl.buf.length);
        EXPECT_EQ(DBSTATUS_S_OK, wl.buf.status);
    }
    DB_NUMERIC num = READ(22, DB_NUMERIC);
    EXPECT_EQ(10, num.precision);
    EXPECT_EQ(2, num.scale);
    EXPECT_EQ(0, num.sign);
    EXPECT_EQ(12345u, *reinterpret_cast<ULONGLONG*>(num.val));
    DBDATE d = READ(23, DBDATE);
    EXPECT_EQ(2005, d.year);
    EXPECT_EQ(1, d.month);
    DBTIME t = READ(24, DBTIME);
    EXPECT_EQ(8, t.hour);
    EXPECT_EQ(30, t.minute);
    DBTIMESTAMP ts = READ(25, DBTIMESTAMP);
    EXPECT_EQ(14, ts.hour);
    EXPECT_EQ(0u, ts.fraction);
    EXPECT_EQ(-9000000000ll, READ(26, LONGLONG));
    DECIMAL dec = READ(27, DECIMAL);
    EXPECT_EQ(125u, dec.Lo64);
    EXPECT_EQ(2, dec.scale);
    {
        OneColumn c;
        VARIANT v = *static_cast<VARIANT*>(read(28, c));
        EXPECT_EQ(VT_BSTR, v.vt);
        EXPECT_STREQ(L"var", v.bstrVal);
        VariantClear(&v);
    }
#undef READ
    CoTaskMemFree(ci);
    CoTaskMemFree(strings);
    rs->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
}

TEST_F(Provider, ConvertsBetweenBoundAndColumnTypes) {
    auto ds = Open();
    auto session = Session(ds);
    ComPtr<IRowset> rs;
    ASSERT_EQ(S_OK, Execute(session, L"SELECT * FROM Things", {}, rs));
    HROW row;
    ASSERT_EQ(S_OK, Next(rs, 1, row));
    OneColumn id;  // I4 as wide text
    ASSERT_EQ(S_OK, id.Bind(rs, 1, DBTYPE_WSTR, 40));
    ASSERT_EQ(S_OK, rs->GetData(row, id.acc, &id.buf));
    EXPECT_STREQ(L"2", reinterpret_cast<wchar_t*>(id.buf.value));
    OneColumn name;  // WSTR as narrow text in the ANSI code page
    ASSERT_EQ(S_OK, name.Bind(rs, 2, DBTYPE_STR, 40));
    ASSERT_EQ(S_OK, rs->GetData(row, name.acc, &name.buf));
    EXPECT_EQ(win::ToAnsi(L"张三"), reinterpret_cast<char*>(name.buf.value));
    OneColumn small;  // truncation is reported, not an error
    ASSERT_EQ(S_OK, small.Bind(rs, 2, DBTYPE_WSTR, 4));
    ASSERT_EQ(S_OK, rs->GetData(row, small.acc, &small.buf));
    EXPECT_EQ(DBSTATUS_S_TRUNCATED, small.buf.status);
    EXPECT_EQ(4u, small.buf.length);
    OneColumn ratio;  // R8 as float
    ASSERT_EQ(S_OK, ratio.Bind(rs, 5, DBTYPE_R4, 4));
    ASSERT_EQ(S_OK, rs->GetData(row, ratio.acc, &ratio.buf));
    EXPECT_EQ(0.0f, *reinterpret_cast<float*>(ratio.buf.value));
    OneColumn bad;  // a date cannot become a GUID
    ComPtr<IAccessor> acc;
    EXPECT_EQ(DB_E_ERRORSOCCURRED, bad.Bind(rs, 6, DBTYPE_GUID, 16));
    rs->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
}

TEST_F(Provider, ImmediateWritesConvertAndCheckNulls) {
    auto ds = Open();
    auto session = Session(ds);
    ComPtr<IRowset> rs;
    ASSERT_EQ(S_OK, Execute(session, L"SELECT * FROM Things", {}, rs));
    ComPtr<IRowsetChange> change;
    ASSERT_EQ(S_OK, rs.As(change, IID_IRowsetChange));
    HROW row;
    ASSERT_EQ(S_OK, Next(rs, 0, row));
    OneColumn id;  // a real into an I4 column rounds
    ASSERT_EQ(S_OK, id.Bind(rs, 1, DBTYPE_R8, 8));
    *reinterpret_cast<double*>(id.buf.value) = 2.7;
    id.buf.status = DBSTATUS_S_OK;
    ASSERT_EQ(S_OK, change->SetData(row, id.acc, &id.buf));
    OneColumn name;  // narrow text into a wide column; default of a nullable column is NULL
    ASSERT_EQ(S_OK, name.Bind(rs, 2, DBTYPE_STR, 41));
    std::string gbk = win::ToAnsi(L"李四");
    std::strcpy(reinterpret_cast<char*>(name.buf.value), gbk.c_str());
    name.buf.length = static_cast<DBLENGTH>(gbk.size());
    name.buf.status = DBSTATUS_S_OK;
    ASSERT_EQ(S_OK, change->SetData(row, name.acc, &name.buf));
    EXPECT_NE(std::string::npos, TableText("Things").find("row 3|李四|")) << TableText("Things");
    name.buf.status = DBSTATUS_S_DEFAULT;
    ASSERT_EQ(S_OK, change->SetData(row, name.acc, &name.buf));
    EXPECT_EQ(DBSTATUS_S_ISNULL, name.buf.status);
    EXPECT_NE(std::string::npos, TableText("Things").find("row 3|\\N|")) << TableText("Things");
    OneColumn price;  // NULL into a column that takes none
    ASSERT_EQ(S_OK, price.Bind(rs, 4, DBTYPE_CY, 8));
    price.buf.status = DBSTATUS_S_ISNULL;
    EXPECT_EQ(DB_E_ERRORSOCCURRED, change->SetData(row, price.acc, &price.buf));
    EXPECT_EQ(DBSTATUS_E_INTEGRITYVIOLATION, price.buf.status);
    OneColumn big;  // too long for the column
    ASSERT_EQ(S_OK, big.Bind(rs, 2, DBTYPE_WSTR, 200));
    wcscpy(reinterpret_cast<wchar_t*>(big.buf.value), L"abcdefghijklmnopqrstuvwxyz");
    big.buf.length = 52;
    big.buf.status = DBSTATUS_S_OK;
    EXPECT_EQ(DB_E_ERRORSOCCURRED, change->SetData(row, big.acc, &big.buf));
    EXPECT_EQ(DBSTATUS_E_DATAOVERFLOW, big.buf.status);
    rs->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
    EXPECT_NE(std::string::npos, TableText("Things").find("row 3|\\N|")) << TableText("Things");
    // The first row's ID became 3 (2.7 rounded) and its failed writes left it alone.
    EXPECT_EQ(0u, TableText("Things").find("row 3|\\N|\\N|1.5000|")) << TableText("Things");
}

TEST_F(Provider, OpenRowsetByTableNameIsRecorded) {
    auto ds = Open();
    auto reset = Api<tp_void_fn>("rgtestprov.dll", "tp_Reset");
    ASSERT_TRUE(reset);
    reset();
    auto session = Session(ds);
    DBID table{};
    table.eKind = DBKIND_NAME;
    wchar_t name[] = L"Other";
    table.uName.pwszName = name;
    DBPROP p = BoolProp(DBPROP_IRowsetLocate, true);
    DBPROPSET set{&p, 1, guid::kPropsetRowset};
    ComPtr<IRowset> rs;
    ASSERT_EQ(S_OK, session->OpenRowset(nullptr, &table, nullptr, IID_IRowset, 1, &set,
                                        reinterpret_cast<IUnknown**>(rs.put())));
    EXPECT_EQ("OPENROWSET Other\nSET DBPROPSET_ROWSET\nPROP 0x82 VT_BOOL TRUE REQUIRED\n",
              Text("tp_RecordedPropertiesText"));
    wchar_t missing[] = L"Missing";
    table.uName.pwszName = missing;
    ComPtr<IRowset> none;
    EXPECT_EQ(DB_E_NOTABLE, session->OpenRowset(nullptr, &table, nullptr, IID_IRowset, 0, nullptr,
                                                reinterpret_cast<IUnknown**>(none.put())));
}

TEST_F(Provider, UnknownTableAndBadCommand) {
    auto ds = Open();
    auto session = Session(ds);
    ComPtr<IRowset> rs;
    EXPECT_EQ(DB_E_NOTABLE, Execute(session, L"SELECT * FROM Nowhere", {}, rs));
    EXPECT_FALSE(rs);
    EXPECT_EQ(DB_E_ERRORSINCOMMAND, Execute(session, L"DELETE FROM Things", {}, rs));
}

TEST_F(Provider, FetchesBackwardsAndFromTheEnd) {
    auto ds = Open();
    auto session = Session(ds);
    ComPtr<IRowset> rs;
    ASSERT_EQ(S_OK, Execute(session, L"SELECT * FROM Things", Scrollable(), rs));
    OneColumn id;
    ASSERT_EQ(S_OK, id.Bind(rs, 1, DBTYPE_I4, 4));
    auto idOf = [&](HROW row) {
        EXPECT_EQ(S_OK, rs->GetData(row, id.acc, &id.buf));
        return *reinterpret_cast<LONG*>(id.buf.value);
    };
    HROW row;
    // Last: restart, then one back from the end.
    ASSERT_EQ(S_OK, rs->RestartPosition(DB_NULL_HCHAPTER));
    ASSERT_EQ(S_OK, Next(rs, -1, row));
    EXPECT_EQ(3, idOf(row));
    rs->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
    // Previous: back over the current row to the one before it.
    ASSERT_EQ(S_OK, Next(rs, -2, row));
    EXPECT_EQ(2, idOf(row));
    rs->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
    ASSERT_EQ(S_OK, Next(rs, -2, row));
    EXPECT_EQ(1, idOf(row));
    rs->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
    EXPECT_EQ(DB_S_ENDOFROWSET, Next(rs, -2, row));
    // First again, then skip one.
    ASSERT_EQ(S_OK, rs->RestartPosition(DB_NULL_HCHAPTER));
    ASSERT_EQ(S_OK, Next(rs, 1, row));
    EXPECT_EQ(2, idOf(row));
    rs->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
    // A negative count reverses and returns the row last fetched.
    ASSERT_EQ(S_OK, Next(rs, 0, row, -1));
    EXPECT_EQ(2, idOf(row));
    rs->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
    EXPECT_EQ(DB_S_ENDOFROWSET, Next(rs, 5, row));
    EXPECT_EQ(0, HeldRows());
}

TEST_F(Provider, BackwardsNeedsTheProperties) {
    auto ds = Open();
    auto session = Session(ds);
    ComPtr<IRowset> rs;
    ASSERT_EQ(S_OK, Execute(session, L"SELECT * FROM Things", {}, rs));
    HROW row;
    EXPECT_EQ(DB_E_CANTSCROLLBACKWARDS, Next(rs, -1, row));
    EXPECT_EQ(DB_E_CANTFETCHBACKWARDS, Next(rs, 0, row, -1));
}

TEST_F(Provider, LongStrStreamsNarrowBytesAndWideStreamsUtf16) {
    auto ds = Open();
    auto session = Session(ds);
    ComPtr<IRowset> rs;
    ASSERT_EQ(S_OK, Execute(session, L"SELECT * FROM Things", Scrollable(), rs));
    HROW row;
    ASSERT_EQ(S_OK, Next(rs, 1, row));
    {
        OneColumn memo;
        ASSERT_EQ(S_OK, memo.Bind(rs, 3, DBTYPE_IUNKNOWN, sizeof(IUnknown*)));
        ASSERT_EQ(S_OK, rs->GetData(row, memo.acc, &memo.buf));
        ASSERT_EQ(DBSTATUS_S_OK, memo.buf.status);
        IUnknown* unk = *reinterpret_cast<IUnknown**>(memo.buf.value);
        std::string bytes = ReadStream(unk);
        unk->Release();
        std::string expected;
        for (int i = 0; i < 1500; ++i) expected += win::ToAnsi(L"文a");
        EXPECT_EQ(expected, bytes);
        EXPECT_EQ(expected.size(), memo.buf.length);

        OneColumn wide;
        ASSERT_EQ(S_OK, wide.Bind(rs, 8, DBTYPE_IUNKNOWN, sizeof(IUnknown*)));
        ASSERT_EQ(S_OK, rs->GetData(row, wide.acc, &wide.buf));
        unk = *reinterpret_cast<IUnknown**>(wide.buf.value);
        bytes = ReadStream(unk);
        unk->Release();
        ASSERT_EQ(4000u, bytes.size());
        EXPECT_EQ(L'ж', *reinterpret_cast<const wchar_t*>(bytes.data()));
    }
    rs->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
}

TEST_F(Provider, DeferredChangesReachTheTableOnUpdate) {
    auto ds = Open();
    auto session = Session(ds);
    ComPtr<IRowset> rs;
    auto props = Scrollable();
    props.push_back(BoolProp(DBPROP_IRowsetChange, true));
    props.push_back(BoolProp(DBPROP_IRowsetUpdate, true));
    ASSERT_EQ(S_OK, Execute(session, L"SELECT ID, Name FROM Things", props, rs));
    ComPtr<IRowsetChange> change;
    ComPtr<IRowsetUpdate> update;
    ASSERT_EQ(S_OK, rs.As(change, IID_IRowsetChange));
    ASSERT_EQ(S_OK, rs.As(update, IID_IRowsetUpdate));
    OneColumn name;
    ASSERT_EQ(S_OK, name.Bind(rs, 2, DBTYPE_WSTR, 42));
    HROW row;
    ASSERT_EQ(S_OK, Next(rs, 0, row));
    wcscpy(reinterpret_cast<wchar_t*>(name.buf.value), L"Bob");
    name.buf.length = 6;
    name.buf.status = DBSTATUS_S_OK;
    ASSERT_EQ(S_OK, change->SetData(row, name.acc, &name.buf));
    EXPECT_NE(std::string::npos, TableText("Things").find("row 1|Alice|")) << "not yet";
    DBROWSTATUS* status = nullptr;
    ASSERT_EQ(S_OK, update->Update(DB_NULL_HCHAPTER, 1, &row, nullptr, nullptr, &status));
    ASSERT_TRUE(status);
    EXPECT_EQ(DBROWSTATUS_S_OK, status[0]);
    CoTaskMemFree(status);
    EXPECT_NE(std::string::npos, TableText("Things").find("row 1|Bob|")) << TableText("Things");
    rs->ReleaseRows(1, &row, nullptr, nullptr, nullptr);

    // Insert from the buffer, then delete.
    HROW added = DB_NULL_HROW;
    wcscpy(reinterpret_cast<wchar_t*>(name.buf.value), L"Neu");
    name.buf.length = 6;
    name.buf.status = DBSTATUS_S_OK;
    ASSERT_EQ(S_OK, change->InsertRow(DB_NULL_HCHAPTER, name.acc, &name.buf, &added));
    ASSERT_EQ(S_OK, update->Update(DB_NULL_HCHAPTER, 1, &added, nullptr, nullptr, nullptr));
    EXPECT_NE(std::string::npos, TableText("Things").find("row 0|Neu|\\N|0.0000|")) << TableText("Things");
    ASSERT_EQ(S_OK, change->DeleteRows(DB_NULL_HCHAPTER, 1, &added, nullptr));
    ASSERT_EQ(S_OK, update->Update(DB_NULL_HCHAPTER, 1, &added, nullptr, nullptr, nullptr));
    EXPECT_EQ(std::string::npos, TableText("Things").find("Neu"));
    rs->ReleaseRows(1, &added, nullptr, nullptr, nullptr);
}

TEST_F(Provider, ImmediateModeWithoutIRowsetUpdate) {
    auto ds = Open();
    auto session = Session(ds);
    ComPtr<IRowset> rs;
    ASSERT_EQ(S_OK, Execute(session, L"SELECT * FROM Things", Scrollable(), rs));
    ComPtr<IRowsetChange> change;
    ComPtr<IRowsetUpdate> update;
    EXPECT_EQ(S_OK, rs.As(change, IID_IRowsetChange));
    EXPECT_EQ(E_NOINTERFACE, rs.As(update, IID_IRowsetUpdate));
}

TEST_F(Provider, RecordsTheRowsetPropertiesAskedFor) {
    auto ds = Open();
    auto reset = Api<tp_void_fn>("rgtestprov.dll", "tp_Reset");
    ASSERT_TRUE(reset);
    reset();
    auto session = Session(ds);
    ComPtr<IRowset> rs;
    ASSERT_EQ(S_OK, Execute(session, L"SELECT * FROM Things",
                            {BoolProp(DBPROP_CANFETCHBACKWARDS, false), BoolProp(DBPROP_CANFETCHBACKWARDS, true),
                             BoolProp(DBPROP_OWNINSERT, true, DBPROPOPTIONS_OPTIONAL)},
                            rs));
    EXPECT_EQ("EXECUTE SELECT * FROM Things\n"
              "SET DBPROPSET_ROWSET\n"
              "PROP 0x12 VT_BOOL FALSE REQUIRED\n"
              "PROP 0x12 VT_BOOL TRUE REQUIRED\n"
              "PROP 0x59 VT_BOOL TRUE OPTIONAL\n",
              Text("tp_RecordedPropertiesText"));
    EXPECT_EQ(1, Api<tp_int_fn>("rgtestprov.dll", "tp_RecordedCount")());
}

TEST_F(Provider, FaultSwitches) {
    auto ds = Open("table T\ncolumn A I4\nrow 1\nrow 2\nfault execute DB_S_ERRORSOCCURRED\n"
                   "fault getdata E_FAIL row=2\nfault no-rowsetchange\n");
    auto session = Session(ds);
    ComPtr<IRowset> rs;
    ASSERT_EQ(DB_S_ERRORSOCCURRED, Execute(session, L"SELECT * FROM T", {}, rs));
    ASSERT_TRUE(rs);
    ComPtr<IRowsetChange> change;
    EXPECT_EQ(E_NOINTERFACE, rs.As(change, IID_IRowsetChange));
    OneColumn a;
    ASSERT_EQ(S_OK, a.Bind(rs, 1, DBTYPE_I4, 4));
    HROW row;
    ASSERT_EQ(S_OK, Next(rs, 0, row));
    EXPECT_EQ(S_OK, rs->GetData(row, a.acc, &a.buf));
    rs->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
    ASSERT_EQ(S_OK, Next(rs, 0, row));
    EXPECT_EQ(E_FAIL, rs->GetData(row, a.acc, &a.buf));
    rs->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
    rs.reset();
    // Asking for IRowsetChange as required fails the open.
    EXPECT_EQ(DB_E_ERRORSOCCURRED, Execute(session, L"SELECT * FROM T", {BoolProp(DBPROP_IRowsetChange, true)}, rs));
}

TEST_F(Provider, CantCreateStatus) {
    auto ds = Open("table T\ncolumn A I4\ncolumn B STR 10\nrow 1|\\C\n");
    auto session = Session(ds);
    ComPtr<IRowset> rs;
    ASSERT_EQ(S_OK, Execute(session, L"SELECT * FROM T", {}, rs));
    OneColumn b;
    ASSERT_EQ(S_OK, b.Bind(rs, 2, DBTYPE_STR, 11));
    HROW row;
    ASSERT_EQ(S_OK, Next(rs, 0, row));
    EXPECT_EQ(DB_E_ERRORSOCCURRED, rs->GetData(row, b.acc, &b.buf));
    EXPECT_EQ(DBSTATUS_E_CANTCREATE, b.buf.status);
    rs->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
}

TEST_F(Provider, BadAccessorHandle) {
    auto ds = Open();
    auto session = Session(ds);
    ComPtr<IRowset> rs;
    ASSERT_EQ(S_OK, Execute(session, L"SELECT * FROM Things", {}, rs));
    HROW row;
    ASSERT_EQ(S_OK, Next(rs, 0, row));
    char buf[64];
    EXPECT_EQ(DB_E_BADACCESSORHANDLE, rs->GetData(row, 12345, buf));
    ComPtr<IAccessor> acc;
    ASSERT_EQ(S_OK, rs.As(acc, IID_IAccessor));
    EXPECT_EQ(DB_E_BADACCESSORHANDLE, acc->ReleaseAccessor(0, nullptr));
    rs->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
}

TEST_F(Provider, LiveObjectsReturnToZero) {
    {
        auto ds = Open();
        auto session = Session(ds);
        ComPtr<IRowset> rs;
        ASSERT_EQ(S_OK, Execute(session, L"SELECT * FROM Things", Scrollable(), rs));
        EXPECT_GE(LiveObjects(), 4);
    }
    EXPECT_EQ(0, LiveObjects());
    EXPECT_EQ(0, HeldRows());
    EXPECT_EQ(0, Api<tp_int_fn>("rgtestprov.dll", "tp_LiveAccessors")());
}

TEST_F(Provider, BookmarksLocateRows) {
    auto ds = Open();
    auto session = Session(ds);
    ComPtr<IRowset> rs;
    ASSERT_EQ(S_OK, Execute(session, L"SELECT * FROM Things", Scrollable(), rs));
    ComPtr<IRowsetLocate> locate;
    ASSERT_EQ(S_OK, rs.As(locate, IID_IRowsetLocate));
    OneColumn mark;
    ASSERT_EQ(S_OK, mark.Bind(rs, 0, DBTYPE_I4, 4));
    HROW row;
    ASSERT_EQ(S_OK, Next(rs, 1, row));
    ASSERT_EQ(S_OK, rs->GetData(row, mark.acc, &mark.buf));
    LONG second = *reinterpret_cast<LONG*>(mark.buf.value);
    rs->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
    // From the second row's bookmark, one further on is the third row.
    DBCOUNTITEM got = 0;
    HROW* rows = &row;
    ASSERT_EQ(S_OK, locate->GetRowsAt(0, DB_NULL_HCHAPTER, 4, reinterpret_cast<const BYTE*>(&second), 1, 1, &got,
                                      &rows));
    OneColumn id;
    ASSERT_EQ(S_OK, id.Bind(rs, 1, DBTYPE_I4, 4));
    ASSERT_EQ(S_OK, rs->GetData(row, id.acc, &id.buf));
    EXPECT_EQ(3, *reinterpret_cast<LONG*>(id.buf.value));
    rs->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
    BYTE last = DBBMK_LAST;
    ASSERT_EQ(S_OK, locate->GetRowsAt(0, DB_NULL_HCHAPTER, 1, &last, 0, 1, &got, &rows));
    ASSERT_EQ(S_OK, rs->GetData(row, id.acc, &id.buf));
    EXPECT_EQ(3, *reinterpret_cast<LONG*>(id.buf.value));
    rs->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
    // GetRowsAt leaves the next fetch position alone: it is after the second row.
    ASSERT_EQ(S_OK, Next(rs, 0, row));
    ASSERT_EQ(S_OK, rs->GetData(row, id.acc, &id.buf));
    EXPECT_EQ(3, *reinterpret_cast<LONG*>(id.buf.value));
    rs->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
}

TEST_F(Provider, PendingInsertsAreNotFetchedUntilSent) {
    auto ds = Open("table T\ncolumn A I4\nrow 1\n");
    auto session = Session(ds);
    ComPtr<IRowset> rs;
    auto props = Scrollable();
    props.push_back(BoolProp(DBPROP_IRowsetUpdate, true));
    ASSERT_EQ(S_OK, Execute(session, L"SELECT * FROM T", props, rs));
    ComPtr<IRowsetChange> change;
    ComPtr<IRowsetUpdate> update;
    ASSERT_EQ(S_OK, rs.As(change, IID_IRowsetChange));
    ASSERT_EQ(S_OK, rs.As(update, IID_IRowsetUpdate));
    OneColumn a;
    ASSERT_EQ(S_OK, a.Bind(rs, 1, DBTYPE_I4, 4));
    *reinterpret_cast<LONG*>(a.buf.value) = 9;
    a.buf.status = DBSTATUS_S_OK;
    HROW added;
    ASSERT_EQ(S_OK, change->InsertRow(DB_NULL_HCHAPTER, a.acc, &a.buf, &added));
    HROW row;
    ASSERT_EQ(S_OK, Next(rs, 0, row));
    rs->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
    EXPECT_EQ(DB_S_ENDOFROWSET, Next(rs, 0, row));
    EXPECT_EQ("row 1\n", TableText("T"));
    ASSERT_EQ(S_OK, update->Update(DB_NULL_HCHAPTER, 0, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ("row 1\nrow 9\n", TableText("T"));
    rs->ReleaseRows(1, &added, nullptr, nullptr, nullptr);
}

TEST_F(Provider, UninitializeWaitsForSessions) {
    auto ds = Open();
    {
        auto session = Session(ds);
        EXPECT_EQ(DB_E_OBJECTOPEN, ds->Uninitialize());
    }
    EXPECT_EQ(S_OK, ds->Uninitialize());
    EXPECT_EQ(S_OK, ds->Initialize());
}

// An outer object that aggregates the data source, as a pooling service would.
class Outer : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
        if (IsEqualIID(iid, IID_IUnknown)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(iid, ppv) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    IUnknown* inner = nullptr;
    ULONG refs = 1;
};

TEST_F(Provider, DataSourceCanBeAggregated) {
    Outer outer;
    CLSID clsid{};
    ASSERT_EQ(S_OK, CLSIDFromProgID(TP_PROVIDER_PROGID, &clsid));
    ASSERT_EQ(S_OK, CoCreateInstance(clsid, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                     reinterpret_cast<void**>(&outer.inner)));
    ComPtr<IDBProperties> props;
    ASSERT_EQ(S_OK, outer.QueryInterface(IID_IDBProperties, props.put_void()));
    ComPtr<IUnknown> identity;
    ASSERT_EQ(S_OK, props.As(identity, IID_IUnknown));
    EXPECT_EQ(static_cast<IUnknown*>(&outer), identity.get());  // the outer object's identity
    identity.reset();
    props.reset();
    EXPECT_EQ(1u, outer.refs);
    EXPECT_EQ(CLASS_E_NOAGGREGATION,
              CoCreateInstance(clsid, &outer, CLSCTX_INPROC_SERVER, IID_IDBInitialize, props.put_void()));
    outer.inner->Release();
    EXPECT_EQ(0, LiveObjects());
}

TEST(DataLinks, RegistrationKeepsThePrefixOwnServerForLater) {
    // Unregistering puts this value back; the test only looks, so that test
    // processes running beside it keep the stand-in.
    wchar_t value[MAX_PATH] = {};
    DWORD size = sizeof value;
    ASSERT_EQ(ERROR_SUCCESS,
              RegGetValueW(HKEY_CLASSES_ROOT, L"CLSID\\{2206CDB2-19C1-11D1-89E0-00C04FD7A829}\\QuilletSaved",
                           L"InprocServer32", RRF_RT_REG_SZ, nullptr, value, &size));
    std::wstring saved = value;
    EXPECT_NE(std::wstring::npos, saved.find(L"oledb32.dll")) << win::ToUtf8(saved);
    size = sizeof value;
    ASSERT_EQ(ERROR_SUCCESS,
              RegGetValueW(HKEY_CLASSES_ROOT, L"CLSID\\{2206CDB2-19C1-11D1-89E0-00C04FD7A829}\\InprocServer32",
                           nullptr, RRF_RT_REG_SZ, nullptr, value, &size));
    EXPECT_NE(std::wstring::npos, std::wstring(value).find(L"rgdatalinks.dll"));
}

TEST(DataLinks, AnswersAsTheUserFromTheEnvironment) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    {
        ComPtr<IDBPromptInitialize> prompt;
        ASSERT_EQ(S_OK, CoCreateInstance(guid::kDataLinks, nullptr, CLSCTX_INPROC_SERVER,
                                         guid::kIidDBPromptInitialize, prompt.put_void()));
        SetEnvironmentVariableW(L"RG_DATALINK_ANSWER", L"cancel");
        IUnknown* out = nullptr;
        EXPECT_EQ(S_FALSE, prompt->PromptDataSource(nullptr, nullptr, DBPROMPTOPTIONS_WIZARDSHEET, 0, nullptr,
                                                    nullptr, IID_IDBProperties, &out));
        EXPECT_EQ(nullptr, out);

        std::wstring path = rgtest::WriteTempFile("table T\ncolumn A I4\n");
        std::wstring answer = L"Provider=Quillet.TestProvider;Data Source=" + path;
        SetEnvironmentVariableW(L"RG_DATALINK_ANSWER", answer.c_str());
        ASSERT_EQ(S_OK, prompt->PromptDataSource(nullptr, nullptr, DBPROMPTOPTIONS_WIZARDSHEET, 0, nullptr, nullptr,
                                                 IID_IDBProperties, &out));
        ASSERT_TRUE(out);
        ComPtr<IDBInitialize> ds;
        ASSERT_EQ(S_OK, out->QueryInterface(IID_IDBInitialize, ds.put_void()));
        EXPECT_EQ(S_OK, ds->Initialize());
        out->Release();
        auto count = Api<tp_int_fn>("rgdatalinks.dll", "dl_PromptCount");
        EXPECT_TRUE(count && count() == 2);
        SetEnvironmentVariableW(L"RG_DATALINK_ANSWER", nullptr);
        DeleteFileW(path.c_str());
    }
    CoUninitialize();
}

} // namespace
