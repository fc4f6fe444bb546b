// The tables a data source serves, as read from its definition file.
#pragma once
#include <windows.h>
#include <oledb.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tp {

struct ColumnDef {
    std::wstring name;
    DBTYPE type = DBTYPE_EMPTY;
    DBLENGTH size = 0;  // as IColumnsInfo reports it
    DBCOLUMNFLAGS flags = 0;
    BYTE precision = 0xFF;
    BYTE scale = 0xFF;
    bool nullable = false;
    bool readonly = false;
    bool isLong = false;
};

enum class CellState { Value, Null, CantCreate };

// raw holds the column type's own representation: the fixed-size structure
// for fixed types, ANSI bytes for STR, UTF-16 units for WSTR, BSTR and
// VARIANT (whose value is a text), the bytes themselves for BYTES.
struct Cell {
    CellState state = CellState::Null;
    std::string raw;
};

struct Row {
    int id = 0;  // 1-based position in file order; inserted rows continue it
    bool deleted = false;
    std::vector<Cell> cells;
};

struct Fault {
    std::string call;
    HRESULT hr = S_OK;
    int row = 0;  // 0 = every row
};

struct Table {
    std::wstring name;
    std::wstring type = L"TABLE";
    std::vector<ColumnDef> columns;
    std::vector<std::shared_ptr<Row>> rows;  // deleted rows are removed
    std::vector<Fault> faults;
    bool noRowsetChange = false;
    int nextId = 1;
};

struct Store {
    std::vector<std::shared_ptr<Table>> tables;
    std::vector<Fault> faults;
    bool noRowsetChange = false;
    bool noSchemaRowset = false;

    std::shared_ptr<Table> Find(const std::wstring& name) const;
    // The switch for call on table (or the data source): nullopt when none.
    std::optional<HRESULT> FaultFor(const Table* table, const char* call, int rowId) const;
};

// Reads a definition file; on failure returns null and fills error.
std::shared_ptr<Store> LoadStore(const std::wstring& path, std::wstring& error);
// Parses definition text (UTF-8) the same way; used by LoadStore.
std::shared_ptr<Store> ParseStore(const std::string& utf8, std::wstring& error);

// Fixed byte size of a type's value, 0 for variable-length types.
size_t FixedSize(DBTYPE type);
// Parses one field's text into a cell of the column's type.
bool ParseValue(const ColumnDef& col, const std::wstring& text, Cell& cell, std::wstring& error);
// The empty or zero value a non-nullable column takes by default.
Cell DefaultCell(const ColumnDef& col);
// A cell's value in data-file syntax (escaped; \N and \C for the states).
std::wstring FormatCell(const ColumnDef& col, const Cell& cell);
std::wstring TypeName(DBTYPE type);
HRESULT ParseHresult(const std::string& text, bool& ok);

} // namespace tp
