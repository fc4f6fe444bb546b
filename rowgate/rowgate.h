/* rowgate.dll: a flat C interface over OLE DB. All functions use the C
   calling convention; texts are zero-terminated in the ANSI code page and
   copied into caller buffers that must hold the whole text. The calling
   thread initialises COM itself before the first open. */
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

#ifdef __cplusplus
}
#endif

#endif
