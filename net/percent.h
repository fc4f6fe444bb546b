// Progress in percent, as the transfer and the upgrade report it.
#pragma once
#include <cstdint>

namespace au {

// done * 100 / total rounded half to even and kept in a byte, so values
// above 255 wrap; 0 when total is 0 or the quotient is no finite number.
uint8_t CalcPercent(int64_t done, int64_t total);

} // namespace au
