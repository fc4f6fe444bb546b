// How the columns of a result are bound, and the rowset properties each open
// asks for. Free of platform headers.
#pragma once
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
