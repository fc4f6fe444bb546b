#include "placement.h"

namespace win {

Origin CenteredOrigin(const Area& area, int width, int height) {
    const int x = area.left + (area.width - width) / 2;
    const int y = area.top + (area.height - height) / 2;
    return {x > 0 ? x : 0, y > 0 ? y : 0};
}

} // namespace win
