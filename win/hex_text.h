// Codes (HRESULTs, error codes, handle values) as the hexadecimal text call
// logs and messages show, apart from any platform header so it can be checked
// natively.
#pragma once
#include <cstdint>
#include <string>

namespace win {

// "0x" and at least eight upper-case digits: 0x80004005, 0x00000000; wider
// values (64-bit handles) keep all their digits.
std::string HexText(std::uint64_t value);

} // namespace win
