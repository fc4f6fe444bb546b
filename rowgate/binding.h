// How the columns of a result are bound, where their parts sit in a row
// buffer, and the rowset properties each open asks for. Free of platform
// headers.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "column_decode.h"

namespace rowgate {

enum class OpenKind { Plain, WithModes };

struct BindDecision {
    bool skip = false;      // not bound at all
    bool asStream = false;  // bound as a storage object
    uint16_t type = 0;      // bound type
    uint32_t size = 0;      // bytes of the value place
};

// How a column reported by the provider is bound. A wide-text column gets
// room for its terminator in both opens, so full-width values survive.
BindDecision DecideBinding(uint16_t type, uint32_t columnSize, uint32_t columnFlags, OpenKind open) noexcept;

// Fixed-size values get at least this much room, so a provider that reports
// a short size for a fixed type cannot make a read or write overrun.
inline constexpr size_t kMinPlace = 16;
// A bound length (DBLENGTH) is pointer-sized; a status (DBSTATUS) is 4 bytes.
inline constexpr size_t kLengthBytes = sizeof(void*);
inline constexpr size_t kStatusBytes = 4;

// Offsets of one column's value, length and status in a row buffer.
struct ColumnPlace {
    size_t value = 0;
    size_t length = 0;
    size_t status = 0;
    bool operator==(const ColumnPlace&) const = default;
};

// Lays out the next column of a row that so far takes rowBytes: the value on
// an 8-byte boundary with at least kMinPlace bytes, then its length on its
// own boundary, then its status. rowBytes grows past them, so after the last
// column it is the size of the row.
ColumnPlace PlaceColumn(size_t& rowBytes, size_t valueBytes) noexcept;

// One rowset property: id, whether it is an integer (else boolean), value.
struct PropSpec {
    uint32_t id;
    bool isInt;
    int32_t value;
    bool operator==(const PropSpec&) const = default;
};

namespace prop {
inline constexpr uint32_t kCanFetchBackwards = 0x12, kCanHoldRows = 0x13, kCanScrollBackwards = 0x15,
                          kOtherInsert = 0x57, kOtherUpdateDelete = 0x58, kOwnInsert = 0x59,
                          kOwnUpdateDelete = 0x5A, kRemoveDeleted = 0x66, kUpdatability = 0x75,
                          kIRowsetChange = 0x7F, kIRowsetLocate = 0x82, kIRowsetUpdate = 0x86,
                          kIRowsetRefresh = 0xF9;
}

std::vector<PropSpec> PlainOpenProperties();
std::vector<PropSpec> ModesOpenProperties(int32_t cursorKind, int32_t lockMode);

} // namespace rowgate
