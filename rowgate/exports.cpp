// The 30 C functions of rowgate.dll. Each turns a DBSource result into the
// integer, float or text copy its callers expect; no exception leaves them.
#include <windows.h>
#include <oledberr.h>

#include <cstddef>
#include <cstring>
#include <new>
#include <string>

#include "dbsource.h"
#include "field_value.h"
#include "rowgate.h"

// Callers build their records from the public header: it must describe the
// very layout GetValue and GetData write.
static_assert(sizeof(RgFieldValue) == sizeof(rowgate::FieldValue));
static_assert(offsetof(RgFieldValue, kind) == offsetof(rowgate::FieldValue, kind));
static_assert(offsetof(RgFieldValue, u) == offsetof(rowgate::FieldValue, u));
static_assert(offsetof(RgFieldValue, u.text.len) == offsetof(rowgate::FieldValue, u.text.len));

using rowgate::DBSource;
using rowgate::FieldValue;

#define RG_API extern "C" __cdecl

namespace {

DBSource* Src(RgHandle h) { return reinterpret_cast<DBSource*>(h); }

FieldValue* Fv(RgFieldValue* v) { return reinterpret_cast<FieldValue*>(v); }

int MoveResult(HRESULT hr) { return SUCCEEDED(hr) && hr != DB_S_ENDOFROWSET ? 1 : 0; }

void CopyOut(const std::string& text, char* out) {
    if (out) std::memcpy(out, text.c_str(), text.size() + 1);
}

template <typename F, typename R>
R Guard(R onFailure, F&& f) noexcept {
    try {
        return f();
    } catch (...) {
        return onFailure;
    }
}

RgHandle Open(bool dialog, const char* initString) noexcept {
    DBSource* src = new (std::nothrow) DBSource();
    if (!src) return nullptr;
    bool ok = false;
    try {
        ok = dialog ? src->OpenWithDialog() : src->OpenFromString(initString);
    } catch (...) {
        ok = false;
    }
    if (!ok) {
        delete src;
        return nullptr;
    }
    return reinterpret_cast<RgHandle>(src);
}

} // namespace

RG_API RgHandle OpenDBSource() { return Open(true, nullptr); }

RG_API RgHandle OpenDBSourceByStr(const char* initString) { return Open(false, initString); }

RG_API void CloseDBSource(RgHandle h) {
    if (!h) return;
    try {
        Src(h)->CloseConnection();
    } catch (...) {
    }
    delete Src(h);
}

RG_API int GetConnectString(RgHandle h, char* out) {
    return Guard(0, [&] {
        std::string text;
        if (!Src(h)->ConnectionText(text)) return 0;
        CopyOut(text, out);
        return 1;
    });
}

RG_API int GetTables(RgHandle h) {
    return Guard(0, [&] { return Src(h)->ListTables(); });
}

RG_API int GetTableName(RgHandle h, int index, char* out) {
    return Guard(0, [&] {
        std::string name;
        if (!Src(h)->TableName(index, name)) return 0;
        CopyOut(name, out);
        return 1;
    });
}

RG_API int GetTableFields(RgHandle h, const char* table) {
    return Guard(0, [&] { return Src(h)->ListFields(table); });
}

RG_API int GetFieldName(RgHandle h, int index, char* out) {
    return Guard(0, [&] {
        std::string name;
        if (!Src(h)->FieldName(index, name)) return 0;
        CopyOut(name, out);
        return 1;
    });
}

RG_API int OpenRowSet(RgHandle h, const char* command) {
    return Guard(0, [&] { return Src(h)->OpenRowSet(command); });
}

RG_API int OpenRowSetEx(RgHandle h, const char* command, int cursorKind, int lockMode) {
    return Guard(0, [&] { return Src(h)->OpenRowSetWithModes(command, cursorKind, lockMode); });
}

RG_API void CloseRowSet(RgHandle h) {
    Guard(0, [&] {
        Src(h)->CloseRowSet();
        return 0;
    });
}

RG_API int GetColumns(RgHandle h) {
    return Guard(0, [&] { return Src(h)->ColumnCount(); });
}

RG_API int GetColName(RgHandle h, int column, char* out) {
    return Guard(0, [&] {
        std::string name;
        if (!Src(h)->ColumnName(column, name)) return 0;
        CopyOut(name, out);
        return 1;
    });
}

RG_API int GetFieldDataType(RgHandle h, int column) {
    return Guard(-1, [&] { return Src(h)->ColumnType(column); });
}

RG_API int MoveFirst(RgHandle h) {
    return Guard(0, [&] { return MoveResult(Src(h)->MoveFirst()); });
}

RG_API int MoveNext(RgHandle h) {
    return Guard(0, [&] { return MoveResult(Src(h)->MoveNext()); });
}

RG_API int MovePrev(RgHandle h) {
    return Guard(0, [&] { return MoveResult(Src(h)->MovePrevious()); });
}

RG_API int MoveLast(RgHandle h) {
    return Guard(0, [&] { return MoveResult(Src(h)->MoveLast()); });
}

RG_API int MoveTo(RgHandle h, int rows) {
    return Guard(0, [&] { return MoveResult(Src(h)->MoveBy(rows)); });
}

RG_API int IsBOF(RgHandle h) { return Src(h)->IsBOF() ? 1 : 0; }

RG_API int IsEOF(RgHandle h) { return Src(h)->IsEOF() ? 1 : 0; }

RG_API int GetValue(RgHandle h, int column, RgFieldValue* value) {
    return Guard(0, [&] { return value && Src(h)->ReadColumn(column, *Fv(value)) ? 1 : 0; });
}

RG_API int GetData(RgHandle h, int column, int rows, RgFieldValue* value) {
    return Guard(0, [&] { return value && Src(h)->SkipAndRead(column, rows, *Fv(value)) ? 1 : 0; });
}

RG_API int GetFieldString(RgHandle h, int column, char* out) {
    return Guard(0, [&] {
        DBSource* src = Src(h);
        if (!src->RowSetOpen()) return 0;
        if (out) return src->ReadColumnText(column, out) ? 1 : 0;
        FieldValue v{};
        const bool ok = src->ReadColumn(column, v);
        rowgate::FvClear(v);
        return ok ? 1 : 0;
    });
}

RG_API float GetFieldFloat(RgHandle h, int column) {
    return Guard(0.0f, [&] {
        DBSource* src = Src(h);
        if (!src->RowSetOpen()) return 0.0f;
        FieldValue v{};
        if (!src->ReadColumn(column, v)) {
            rowgate::FvClear(v);
            return 0.0f;
        }
        rowgate::FvToReal(v);
        const double x = rowgate::FvRealOf(v);
        rowgate::FvClear(v);
        return static_cast<float>(x);
    });
}

RG_API int SetFieldString(RgHandle h, int column, const char* text) {
    return Guard(0, [&] { return SUCCEEDED(Src(h)->WriteText(column, text)) ? 1 : 0; });
}

RG_API int SetFieldFloat(RgHandle h, int column, double value) {
    return Guard(0, [&] { return SUCCEEDED(Src(h)->WriteReal(column, value)) ? 1 : 0; });
}

RG_API int AddNew(RgHandle h) {
    return Guard(0, [&] { return Src(h)->InsertRow(); });
}

RG_API int Delete(RgHandle h) {
    return Guard(0, [&] { return Src(h)->DeleteRow(); });
}

RG_API int Update(RgHandle h) {
    return Guard(0, [&] { return Src(h)->CommitRow(); });
}
