#include "percent.h"

#include <cmath>

namespace au {

uint8_t CalcPercent(int64_t done, int64_t total) {
    if (total == 0) return 0;
    const double exact = static_cast<double>(done) * 100.0 / static_cast<double>(total);
    if (!std::isfinite(exact) || std::fabs(exact) >= 9.0e18) return 0;
    double rounded = std::floor(exact);
    const double rest = exact - rounded;
    if (rest > 0.5 || (rest == 0.5 && std::fmod(rounded, 2.0) != 0.0)) rounded += 1.0;
    // Through a signed 64-bit value so a negative quotient wraps like any other.
    return static_cast<uint8_t>(static_cast<uint64_t>(static_cast<int64_t>(rounded)));
}

} // namespace au
