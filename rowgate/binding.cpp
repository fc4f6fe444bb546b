// The binding rules and row layout kept apart from the OLE DB calls, so the
// native sanitizer build can test them.
#include "binding.h"

namespace rowgate {

BindDecision DecideBinding(uint16_t type, uint32_t columnSize, uint32_t columnFlags, OpenKind open) noexcept {
    // Both opens size wide text alike: with only size x 2 bytes a value of the
    // column's full width loses its last character to the terminator.
    (void)open;
    BindDecision d;
    d.type = type;
    uint64_t size = columnSize;
    if (type == dbtype::kWStr) {
        if (columnFlags & kColumnFlagIsLong) {
            d.skip = true;
            return d;
        }
        size = size * 2 + 2;
    }
    if (size > kStreamThreshold || type == dbtype::kIUnknown) {
        d.asStream = true;
        d.type = dbtype::kIUnknown;
        d.size = sizeof(void*);
        return d;
    }
    if (type == dbtype::kStr || type == dbtype::kWStr) size += 1;
    d.size = static_cast<uint32_t>(size);
    return d;
}

namespace {

size_t AlignUp(size_t n, size_t a) { return (n + a - 1) / a * a; }

} // namespace

ColumnPlace PlaceColumn(size_t& rowBytes, size_t valueBytes) noexcept {
    ColumnPlace p;
    p.value = AlignUp(rowBytes, 8);
    p.length = AlignUp(p.value + (valueBytes > kMinPlace ? valueBytes : kMinPlace), kLengthBytes);
    p.status = p.length + kLengthBytes;
    rowBytes = p.status + kStatusBytes;
    return p;
}

namespace {
PropSpec B(uint32_t id, bool v) { return {id, false, v ? 1 : 0}; }
} // namespace

std::vector<PropSpec> PlainOpenProperties() {
    using namespace prop;
    return {B(kOwnUpdateDelete, true),    B(kOwnInsert, true),          B(kCanHoldRows, true),
            B(kIRowsetLocate, true),      B(kIRowsetRefresh, true),     B(kCanScrollBackwards, false),
            B(kCanFetchBackwards, false), B(kCanScrollBackwards, true), B(kCanFetchBackwards, true)};
}

std::vector<PropSpec> ModesOpenProperties(int32_t cursorKind, int32_t lockMode) {
    using namespace prop;
    std::vector<PropSpec> p;
    switch (lockMode) {
    case 1:
        p = {B(kIRowsetChange, true), B(kIRowsetUpdate, false), {kUpdatability, true, 7}};
        break;
    case 2:
    case 3:
        p = {B(kIRowsetChange, true), B(kIRowsetUpdate, true), {kUpdatability, true, 7}};
        break;
    default:
        p = {B(kIRowsetChange, false), B(kIRowsetUpdate, false), {kUpdatability, true, 0}};
        break;
    }
    std::vector<PropSpec> c;
    switch (cursorKind) {
    case 0:
        c = {B(kOwnUpdateDelete, true), B(kOwnInsert, true),      B(kCanHoldRows, true),
             B(kIRowsetLocate, true),   B(kIRowsetRefresh, true), B(kCanScrollBackwards, false),
             B(kCanFetchBackwards, false)};
        break;
    case 1:
        c = {B(kOwnUpdateDelete, true), B(kOwnInsert, true),          B(kOtherUpdateDelete, true),
             B(kCanHoldRows, true),     B(kRemoveDeleted, true),      B(kIRowsetLocate, true),
             B(kIRowsetRefresh, true),  B(kCanScrollBackwards, true), B(kCanFetchBackwards, true)};
        break;
    case 2:
        c = {B(kOwnUpdateDelete, true),    B(kOwnInsert, true),          B(kOtherUpdateDelete, true),
             B(kOtherInsert, true),        B(kRemoveDeleted, true),      B(kCanScrollBackwards, true),
             B(kCanFetchBackwards, true)};
        break;
    case 3:
        c = {B(kOwnUpdateDelete, true),    B(kOwnInsert, true),          B(kCanHoldRows, true),
             B(kIRowsetLocate, true),      B(kIRowsetRefresh, true),     B(kCanScrollBackwards, true),
             B(kCanFetchBackwards, true)};
        break;
    default:
        break;
    }
    p.insert(p.end(), c.begin(), c.end());
    return p;
}

} // namespace rowgate
