// Shared pieces of the tests that drive rowgate.dll through its exports, as
// a calling program does, against the test OLE DB provider.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "rowgate/rowgate.h"

namespace rgtest {

struct RowgateApi {
    HMODULE module = nullptr;
    RgOpenDBSource_fn OpenDBSource = nullptr;
    RgOpenDBSourceByStr_fn OpenDBSourceByStr = nullptr;
    RgCloseDBSource_fn CloseDBSource = nullptr;
    RgGetConnectString_fn GetConnectString = nullptr;
    RgGetTables_fn GetTables = nullptr;
    RgGetTableName_fn GetTableName = nullptr;
    RgGetTableFields_fn GetTableFields = nullptr;
    RgGetFieldName_fn GetFieldName = nullptr;
    RgOpenRowSet_fn OpenRowSet = nullptr;
    RgOpenRowSetEx_fn OpenRowSetEx = nullptr;
    RgCloseRowSet_fn CloseRowSet = nullptr;
    RgGetColumns_fn GetColumns = nullptr;
    RgGetColName_fn GetColName = nullptr;
    RgGetFieldDataType_fn GetFieldDataType = nullptr;
    RgMove_fn MoveFirst = nullptr;
    RgMove_fn MoveNext = nullptr;
    RgMove_fn MovePrev = nullptr;
    RgMove_fn MoveLast = nullptr;
    RgMoveTo_fn MoveTo = nullptr;
    RgIsFlag_fn IsBOF = nullptr;
    RgIsFlag_fn IsEOF = nullptr;
    RgGetValue_fn GetValue = nullptr;
    RgGetData_fn GetData = nullptr;
    RgGetFieldString_fn GetFieldString = nullptr;
    RgGetFieldFloat_fn GetFieldFloat = nullptr;
    RgSetFieldString_fn SetFieldString = nullptr;
    RgSetFieldFloat_fn SetFieldFloat = nullptr;
    RgRowOp_fn AddNew = nullptr;
    RgRowOp_fn Delete = nullptr;
    RgRowOp_fn Update = nullptr;
};

// rowgate.dll loaded from beside the test executable, every export looked up
// by name. Fails the test when something is missing.
const RowgateApi& Api();

// Writes a data file of the test provider (UTF-8) into the temporary
// directory and returns the initialization string that opens it.
std::string DataSource(const std::string& name, const std::string& content);

// Test-control functions of the provider (rgtestprov.dll must be loaded).
int LiveObjects();
int HeldRows();
int LiveAccessors();
void ResetRecording();
std::string RecordedProperties();
std::string CallLog();
std::string TableText(const std::string& table);

// Text conversions for comparing what crossed the narrow interface.
std::string Ansi(const std::wstring& text);
std::string AnsiFromUtf8(const std::string& utf8);

// Committed private memory of this process, the bytes in use in all its
// heaps, and its handle count.
size_t PrivateBytes();
size_t BusyHeapBytes();
DWORD HandleCount();

// A handle closed at scope end.
class Source {
public:
    explicit Source(RgHandle h = nullptr) : h_(h) {}
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;
    ~Source() { Close(); }
    void Close() {
        if (h_) Api().CloseDBSource(h_);
        h_ = nullptr;
    }
    RgHandle get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    RgHandle h_;
};

// Opens a data file through OpenDBSourceByStr.
RgHandle OpenData(const std::string& name, const std::string& content);

// GetFieldString into a fresh buffer; "<fail>" when it reports 0.
std::string FieldString(RgHandle h, int column);
std::string ColName(RgHandle h, int column);

// COM initialised for the whole test process, the servers registered.
class ComEnvironment : public ::testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;
};

} // namespace rgtest
