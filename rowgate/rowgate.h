/* rowgate.dll: a flat C interface over OLE DB. All functions use the C
   calling convention; texts are zero-terminated in the ANSI code page and
   copied into caller buffers that must hold the whole text. The calling
   thread initialises COM itself before the first open.

   Link against the import library (librowgate.a for mingw, rowgate.lib for
   the Microsoft toolchain) and call the functions declared below, or load
   the DLL and take them with GetProcAddress through the Rg*_fn types; a
   program doing only that may define ROWGATE_NO_PROTOTYPES first. */
#ifndef ROWGATE_H
#define ROWGATE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct RgHandle_* RgHandle;

/* The tagged value record filled by GetValue and GetData: a kind at offset
   0, then the payload at offset 8. Kind 14 (text) holds a pointer to a
   zero-terminated narrow text and its length; the empty text is a null
   pointer with length 0. Pass a record of kind 0 or one an earlier read filled.
   32-bit: 16 bytes, the text length at offset 12.
   64-bit: 24 bytes, the text pointer at 8 and its length at offset 16. */
typedef struct RgFieldValue {
    int32_t kind;
    uint32_t reserved;
    union {
        int16_t i16;
        int32_t i32;
        double real;
        struct {
            char* ptr;
            uint32_t len;
        } text;
        void* object;
    } u;
} RgFieldValue;

typedef RgHandle (*RgOpenDBSource_fn)(void);
typedef RgHandle (*RgOpenDBSourceByStr_fn)(const char* initString);
typedef void (*RgCloseDBSource_fn)(RgHandle);
typedef int (*RgGetConnectString_fn)(RgHandle, char* out);
typedef int (*RgGetTables_fn)(RgHandle);
typedef int (*RgGetTableName_fn)(RgHandle, int index, char* out);
typedef int (*RgGetTableFields_fn)(RgHandle, const char* table);
typedef int (*RgGetFieldName_fn)(RgHandle, int index, char* out);
typedef int (*RgOpenRowSet_fn)(RgHandle, const char* command);
typedef int (*RgOpenRowSetEx_fn)(RgHandle, const char* command, int cursorKind, int lockMode);
typedef void (*RgCloseRowSet_fn)(RgHandle);
typedef int (*RgGetColumns_fn)(RgHandle);
typedef int (*RgGetColName_fn)(RgHandle, int column, char* out);
typedef int (*RgGetFieldDataType_fn)(RgHandle, int column);
typedef int (*RgMove_fn)(RgHandle);
typedef int (*RgMoveTo_fn)(RgHandle, int rows);
typedef int (*RgIsFlag_fn)(RgHandle);
typedef int (*RgGetValue_fn)(RgHandle, int column, RgFieldValue* value);
typedef int (*RgGetData_fn)(RgHandle, int column, int rows, RgFieldValue* value);
typedef int (*RgGetFieldString_fn)(RgHandle, int column, char* out);
typedef float (*RgGetFieldFloat_fn)(RgHandle, int column);
typedef int (*RgSetFieldString_fn)(RgHandle, int column, const char* text);
typedef int (*RgSetFieldFloat_fn)(RgHandle, int column, double value);
typedef int (*RgRowOp_fn)(RgHandle);

#ifndef ROWGATE_NO_PROTOTYPES
#if defined(_WIN32) && !defined(ROWGATE_CALL)
#define ROWGATE_CALL __cdecl
#elif !defined(ROWGATE_CALL)
#define ROWGATE_CALL
#endif

/* Open and close. A null handle means the open failed (or the dialog was
   cancelled); CloseDBSource takes null. */
RgHandle ROWGATE_CALL OpenDBSource(void);
RgHandle ROWGATE_CALL OpenDBSourceByStr(const char* initString);
void ROWGATE_CALL CloseDBSource(RgHandle h);
int ROWGATE_CALL GetConnectString(RgHandle h, char* out);

/* Tables and their fields: GetTables and GetTableFields return the count (0
   on failure); the name readers take a 0-based index. */
int ROWGATE_CALL GetTables(RgHandle h);
int ROWGATE_CALL GetTableName(RgHandle h, int index, char* out);
int ROWGATE_CALL GetTableFields(RgHandle h, const char* table);
int ROWGATE_CALL GetFieldName(RgHandle h, int index, char* out);

/* Row sets: one open row set per handle; columns count from 1. The moves
   return 0 at the end of the rows too; IsBOF and IsEOF tell it apart.
   GetFieldDataType returns the column's DBTYPE, -1 without a row set. */
int ROWGATE_CALL OpenRowSet(RgHandle h, const char* command);
int ROWGATE_CALL OpenRowSetEx(RgHandle h, const char* command, int cursorKind, int lockMode);
void ROWGATE_CALL CloseRowSet(RgHandle h);
int ROWGATE_CALL GetColumns(RgHandle h);
int ROWGATE_CALL GetColName(RgHandle h, int column, char* out);
int ROWGATE_CALL GetFieldDataType(RgHandle h, int column);
int ROWGATE_CALL MoveFirst(RgHandle h);
int ROWGATE_CALL MoveNext(RgHandle h);
int ROWGATE_CALL MovePrev(RgHandle h);
int ROWGATE_CALL MoveLast(RgHandle h);
int ROWGATE_CALL MoveTo(RgHandle h, int rows);
int ROWGATE_CALL IsBOF(RgHandle h);
int ROWGATE_CALL IsEOF(RgHandle h);

/* Values of the current row. Output texts are written only on success. */
int ROWGATE_CALL GetValue(RgHandle h, int column, RgFieldValue* value);
int ROWGATE_CALL GetData(RgHandle h, int column, int rows, RgFieldValue* value);
int ROWGATE_CALL GetFieldString(RgHandle h, int column, char* out);
float ROWGATE_CALL GetFieldFloat(RgHandle h, int column);
int ROWGATE_CALL SetFieldString(RgHandle h, int column, const char* text);
int ROWGATE_CALL SetFieldFloat(RgHandle h, int column, double value);
int ROWGATE_CALL AddNew(RgHandle h);
int ROWGATE_CALL Delete(RgHandle h);
int ROWGATE_CALL Update(RgHandle h);
#endif

#ifdef __cplusplus
}
#endif

#endif
