// Moving values between the cells of a table and a consumer's bound buffer,
// converting between the column's type and the bound type.
#pragma once
#include <windows.h>
#include <oledb.h>

#include <string>

#include "datafile.h"

namespace tp {

bool CanConvert(DBTYPE from, DBTYPE to);

// Writes value, length and status of one binding for GetData; returns the
// status.  A storage-object binding gets a new read-only stream.
DBSTATUS ReadBinding(const ColumnDef& col, const Cell& cell, const DBBINDING& b, BYTE* data);

// Reads one binding of a SetData/InsertRow buffer into `out` (which starts as
// the column's current cell).  Returns DBSTATUS_S_OK or DBSTATUS_S_ISNULL on
// success, else an error status.  `ignored` is set for bindings that do not
// change the column: storage objects and DBSTATUS_S_IGNORE.
DBSTATUS WriteBinding(const ColumnDef& col, const DBBINDING& b, const BYTE* data, Cell& out, bool& ignored);

// A read-only ISequentialStream over a copy of bytes (one creation reference).
ISequentialStream* MakeStream(std::string bytes);

} // namespace tp
