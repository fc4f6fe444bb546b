// The object behind a rowgate handle: one connection, at most one open row
// set with its bound row buffer, and the two schema name lists. Its members
// are defined by concern: dbsource_connection.cpp, dbsource_schema.cpp,
// dbsource_rowset.cpp, dbsource_read.cpp and dbsource_write.cpp.
#pragma once
#include <windows.h>
#include <oledb.h>

#include <memory>
#include <string>
#include <vector>

#include "binding.h"
#include "field_value.h"
#include "row_buffer.h"
#include "win/handles.h"

namespace rowgate {

class DBSource {
public:
    DBSource() = default;
    DBSource(const DBSource&) = delete;
    DBSource& operator=(const DBSource&) = delete;
    virtual ~DBSource();

    // Connection
    bool OpenWithDialog();
    bool OpenFromString(const char* initString);
    void CloseConnection();
    bool ConnectionText(std::string& out);
    int ListTables();
    bool TableName(int index, std::string& out) const;
    int ListFields(const char* table);
    bool FieldName(int index, std::string& out) const;

    // Row set
    int OpenRowSet(const char* command);
    int OpenRowSetWithModes(const char* command, int cursorKind, int lockMode);
    void CloseRowSet();
    HRESULT MoveNext();
    HRESULT MovePrevious();
    HRESULT MoveFirst();
    HRESULT MoveLast();
    HRESULT MoveBy(LONG skip);
    int ColumnCount() const;
    bool ColumnName(int column, std::string& out) const;
    int ColumnType(int column) const;
    int InsertRow();
    int DeleteRow();
    int CommitRow();

    // Values
    bool ReadColumn(int column, FieldValue& v);
    bool SkipAndRead(int column, int rows, FieldValue& v);
    // The text of a column as read-then-to-text gives it, copied with its
    // terminator into out (written only when the read succeeds).
    bool ReadColumnText(int column, char* out);
    HRESULT WriteText(int column, const char* text);
    HRESULT WriteReal(int column, double x);

    bool IsBOF() const { return bof_ != 0; }
    bool IsEOF() const { return eof_ != 0; }
    bool RowSetOpen() const { return rowsetOpen_ != 0; }

private:
    bool FinishOpen(HRESULT hr);
    int OpenWithProperties(const char* command, const std::vector<PropSpec>& props, OpenKind kind);
    void ReleaseRowSet();
    HRESULT FetchStep(DBROWOFFSET offset);
    HRESULT SendRow();
    bool ReadStream(const RowBuffer::Column& c, FieldValue& v);

    int bof_ = 0;
    int eof_ = 0;
    std::vector<std::string> fieldNames_;
    std::vector<std::string> tableNames_;
    int rowsetOpen_ = 0;
    win::ComPtr<IDBInitialize> dataSource_;
    int connectionOpen_ = 0;
    win::ComPtr<IOpenRowset> session_;
    std::string connectionText_;

    win::ComPtr<ICommand> command_;
    win::ComPtr<IRowset> rowset_;
    win::ComPtr<IRowsetChange> rowsetChange_;
    RowBuffer buffer_;
};

} // namespace rowgate
