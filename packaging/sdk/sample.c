/* rowgate sample: opens a data source from an OLE DB initialization string,
   runs a command and prints its rows, one line each, fields separated by
   tabs, after a line of column names.

     sample.exe "Provider=...;Data Source=..." "SELECT * FROM Orders"

   Build with mingw:  gcc -I include sample.c lib/x86/librowgate.a -lole32 -o sample.exe
   or with the Microsoft toolchain:  cl /I include sample.c lib\x86\rowgate.lib ole32.lib
   and put bin\x86\rowgate.dll beside the program (x64: the x64 folders). */
#include <windows.h>
#include <objbase.h>
#include <stdio.h>
#include <stdlib.h>

#include "rowgate.h"

/* A column's text. Texts have no fixed bound, so the tagged record tells
   the length of a text value first; other kinds print in far fewer bytes.
   The record is reused for every read: rowgate frees the text it held. */
static char* FieldText(RgHandle db, int column, RgFieldValue* record) {
    size_t size = 512;
    if (GetValue(db, column, record) && record->kind == 14 && record->u.text.len + 1 > size)
        size = (size_t)record->u.text.len + 1;
    char* text = (char*)malloc(size);
    if (text && !GetFieldString(db, column, text)) text[0] = '\0';
    return text;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s <initialization string> <command>\n", argv[0]);
        return 2;
    }
    /* rowgate expects the calling thread to have started COM. */
    if (FAILED(CoInitializeEx(NULL, COINIT_APARTMENTTHREADED))) {
        fprintf(stderr, "COM could not be started\n");
        return 1;
    }
    int status = 0;
    RgHandle db = OpenDBSourceByStr(argv[1]);
    if (!db) {
        fprintf(stderr, "could not open the data source\n");
        status = 1;
    } else if (!OpenRowSet(db, argv[2])) {
        fprintf(stderr, "the command failed\n");
        status = 1;
    } else {
        char name[256];
        int columns = GetColumns(db);
        for (int c = 1; c <= columns; ++c)
            printf("%s%s", c > 1 ? "\t" : "", GetColName(db, c, name) ? name : "?");
        printf("\n");
        RgFieldValue record = {0};
        int rows = 0;
        for (int more = MoveFirst(db); more; more = MoveNext(db)) {
            for (int c = 1; c <= columns; ++c) {
                char* text = FieldText(db, c, &record);
                printf("%s%s", c > 1 ? "\t" : "", text ? text : "");
                free(text);
            }
            printf("\n");
            ++rows;
        }
        printf("%d rows\n", rows);
        CloseRowSet(db);
    }
    CloseDBSource(db);
    CoUninitialize();
    return status;
}
