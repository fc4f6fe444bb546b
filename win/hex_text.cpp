#include "hex_text.h"

#include <cstdio>

namespace win {

std::string HexText(std::uint64_t value) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%08llX", static_cast<unsigned long long>(value));
    return buf;
}

} // namespace win
