// Decoding one bound column's place in the row buffer into a FieldValue.
// Free of platform headers.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "field_value.h"

namespace rowgate {

// OLE DB type numbers, spelled out so this file needs no platform headers.
namespace dbtype {
inline constexpr uint16_t kEmpty = 0, kNull = 1, kI2 = 2, kI4 = 3, kR4 = 4, kR8 = 5, kCy = 6, kDate = 7,
                          kBstr = 8, kIDispatch = 9, kError = 10, kBool = 11, kVariant = 12, kIUnknown = 13,
                          kDecimal = 14, kI1 = 16, kUI1 = 17, kUI2 = 18, kUI4 = 19, kI8 = 20, kUI8 = 21,
                          kGuid = 72, kBytes = 128, kStr = 129, kWStr = 130, kNumeric = 131, kDbDate = 133,
                          kDbTime = 134, kDbTimestamp = 135, kByRef = 0x4000;
}
inline constexpr uint32_t kColumnFlagIsLong = 0x80;     // DBCOLUMNFLAGS_ISLONG
inline constexpr uint32_t kStatusIsNull = 3;            // DBSTATUS_S_ISNULL
inline constexpr uint32_t kStatusCantCreate = 7;        // DBSTATUS_E_CANTCREATE
inline constexpr uint32_t kStreamThreshold = 1024;      // wider columns are read as streams
inline constexpr uint32_t kStreamPiece = 1022;          // bytes read from a stream at a time

// Outcome of decoding a value place whose status is neither NULL nor
// "can't create".
enum class Decoded {
    Value,    // the record now holds the value
    Failed,   // record untouched (or emptied for DBTYPE_NULL); the read reports 0
    Stream,   // a storage object: the caller reads it
};

struct ColumnView {
    uint16_t boundType;
    uint32_t columnFlags;
    const unsigned char* place;
    uint32_t placeSize;
};

// Reads a value place by its bound type into v. BSTR places hold a
// pointer to UTF-16 text.
Decoded DecodeColumn(const ColumnView& col, FieldValue& v);

// Reads the status first: NULL reads as the text "<NULL>", "can't create"
// as null, everything else by DecodeColumn.
Decoded DecodeWithStatus(const ColumnView& col, uint32_t status, FieldValue& v);

// Collects the pieces of a long column read from a stream into narrow
// text. Narrow-text columns deliver ANSI bytes; everything else UTF-16.
class StreamText {
public:
    explicit StreamText(uint16_t providerType) : narrow_(providerType == dbtype::kStr) {}
    void Add(const unsigned char* data, size_t n);
    std::string Finish();

private:
    bool narrow_;
    std::string out_;
    std::u16string pending_;  // UTF-16 not yet converted
    int oddByte_ = -1;        // a lone byte of a UTF-16 unit cut between pieces
};

} // namespace rowgate
