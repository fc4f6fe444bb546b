// The object behind a rowgate handle: one connection, at most one open row
// set with its bound row buffer, and the two schema name lists.
#pragma once
#include <windows.h>
#include <oledb.h>

#include <memory>
#include <string>
#include <vector>

#include "binding.h"
#include "field_value.h"
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
    struct BoundColumn {
        DBCOLUMNINFO info;      // type and size as bound
        DBTYPE providerType;    // as the provider reported it
        bool asStream;
        bool ownsBstr;          // the place holds a BSTR rowgate must free
        DBBYTEOFFSET valueOff, lengthOff, statusOff;
    };

    bool FinishOpen(HRESULT hr);
    int OpenWithProperties(const char* command, const std::vector<PropSpec>& props, OpenKind kind);
    void ReleaseCommand();
    void ReleaseRowSetResources();
    void ReleaseCurrentRow();
    void ReleaseRowBufferObjects();
    void ReleaseStreams();
    void TakeRowBufferObjects();
    HRESULT ReadCurrentRow();
    HRESULT FetchStep(DBROWOFFSET offset);
    HRESULT SendRow();
    void BindColumns(IColumnsInfo* info, OpenKind kind);
    BoundColumn* FindColumn(int ordinal);
    const BoundColumn* FindColumn(int ordinal) const;
    DBSTATUS& StatusOf(const BoundColumn& c) { return *reinterpret_cast<DBSTATUS*>(buffer_.data() + c.statusOff); }
    DBLENGTH& LengthOf(const BoundColumn& c) { return *reinterpret_cast<DBLENGTH*>(buffer_.data() + c.lengthOff); }
    unsigned char* ValueOf(const BoundColumn& c) { return buffer_.data() + c.valueOff; }
    bool ReadStream(BoundColumn& c, FieldValue& v);

    int bof_ = 0;
    int eof_ = 0;
    std::vector<std::string> fieldNames_;
    std::vector<std::string> tableNames_;
    int rowsetOpen_ = 0;
    win::ComPtr<IDBInitialize> dataSource_;
    int connectionOpen_ = 0;
    win::ComPtr<IOpenRowset> session_;
    std::string connectionText_;

    std::vector<BoundColumn> columns_;
    std::vector<int> byOrdinal_;  // ordinal -> index into columns_, -1 when not bound
    bool holdsObjects_ = false;   // some column's place holds a BSTR or a stream
    OLECHAR* nameStorage_ = nullptr;
    std::vector<unsigned char> buffer_;
    struct AccessorEntry {
        HACCESSOR handle;
        bool automatic;
    };
    std::vector<AccessorEntry> accessors_;

    win::ComPtr<IRowset> rowset_;
    win::ComPtr<IRowsetChange> rowsetChange_;
    HROW currentRow_ = 0;

    win::ComPtr<ICommand> command_;
    HACCESSOR paramAccessor_ = 0;
};

} // namespace rowgate
