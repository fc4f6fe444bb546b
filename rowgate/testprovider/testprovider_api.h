// Test-control entry points of the test OLE DB provider (rgtestprov.dll) and
// of the data-links stand-in (rgdatalinks.dll).
//
// A test never links against these DLLs: it lets COM load them (through
// IDataInitialize or CoCreateInstance) and then reaches the functions with
//   HMODULE m = GetModuleHandleW(L"rgtestprov.dll");
//   auto f = reinterpret_cast<tp_LiveObjects_fn>(GetProcAddress(m, "tp_LiveObjects"));
// All functions use the C calling convention and are exported undecorated.
// Text goes out as UTF-8, zero-terminated; a buffer that is too small gets
// the text cut short (still terminated) and the result is the full length,
// so callers can size a second call.  The state they read is process-wide.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// {F8A695FB-076F-4695-A0B3-791F22A63D14}, ProgID "Quillet.TestProvider".
#define TP_PROVIDER_CLSID_TEXT L"{F8A695FB-076F-4695-A0B3-791F22A63D14}"
#define TP_PROVIDER_PROGID L"Quillet.TestProvider"

// ---- rgtestprov.dll ------------------------------------------------------

// Number of provider COM objects alive now: data sources, sessions, commands,
// rowsets (schema rowsets too) and streams.  The class factory is not counted.
int tp_LiveObjects(void);

// Row handles handed out by GetNextRows/InsertRow and not yet released by
// ReleaseRows, summed over all live rowsets (a row fetched twice counts twice).
int tp_HeldRows(void);

// Accessors created on live rowsets and commands and not yet released.
int tp_LiveAccessors(void);

// Forgets everything recorded so far (properties, call log).  Does not touch
// live objects or their counters.
void tp_Reset(void);

// The rowset properties asked for, one block per ICommand::Execute or
// IOpenRowset::OpenRowset since the last tp_Reset, oldest first:
//   EXECUTE <command text>            or   OPENROWSET <table name>
//   SET DBPROPSET_ROWSET              (one line per property set, in order;
//                                      other sets print as their GUID)
//   PROP 0x5A VT_BOOL TRUE REQUIRED   (one line per property, in the order
//   PROP 0x75 VT_I4 7 REQUIRED         given, duplicates kept; OPTIONAL for
//                                      DBPROPOPTIONS_OPTIONAL)
// Property ids are upper-case hex with at least two digits; VT_BOOL prints
// TRUE/FALSE, integers in decimal, VT_BSTR in double quotes, VT_EMPTY as EMPTY.
// Properties a command collected over several SetProperties calls appear in
// call order.  Each line ends with "\n".
int tp_RecordedPropertiesText(char* buf, int size);

// Number of EXECUTE/OPENROWSET blocks recorded since the last tp_Reset.
int tp_RecordedCount(void);

// Chronological log of the data-changing and positioning calls made on
// rowsets since the last tp_Reset, one line each, for instance
//   GetNextRows 0 1 -> 0x00000000 rows=1
//   RestartPosition -> 0x00000000
//   SetData row=3 -> 0x00000000
//   InsertRow -> 0x00000000 row=5
//   DeleteRows 1 -> 0x00000000
//   Update 1 -> 0x00000000
// (the numbers are offsets/counts as passed, HRESULTs in hex, rows as the
// 1-based position of the row in its table).
int tp_CallLogText(char* buf, int size);

// Current content of a table of the most recently initialized data source,
// in the row syntax of the data file ("row ..." lines, README.md), including
// rows inserted and changes made through the rowsets.  Returns -1 when no
// data source is alive or the table is unknown.  Table names compare
// case-insensitively.
int tp_TableText(const char* table, char* buf, int size);

// Why the last IDBInitialize::Initialize failed (data file missing or not
// parsable: file, line and reason); empty after a successful one.
int tp_LastErrorText(char* buf, int size);

// ---- rgdatalinks.dll -----------------------------------------------------

// Number of IDBPromptInitialize::PromptDataSource calls since the last
// dl_Reset, and a description of the last one:
//   hwnd=0x0001002A options=1 types=0 filter=(null) iid={0C733A8A-2A1C-11CE-ADE5-00AA0044773D} answer=<init string or cancel> -> 0x00000000
int dl_PromptCount(void);
int dl_LastPromptText(char* buf, int size);
void dl_Reset(void);

// Function pointer types for GetProcAddress.
typedef int (*tp_int_fn)(void);
typedef void (*tp_void_fn)(void);
typedef int (*tp_text_fn)(char* buf, int size);
typedef int (*tp_table_text_fn)(const char* table, char* buf, int size);

#ifdef __cplusplus
}
#endif
