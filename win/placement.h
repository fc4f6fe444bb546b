// Where a window goes when it is centred over an area, apart from the window
// calls so the arithmetic can be checked natively.
#pragma once

namespace win {

struct Area {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

struct Origin {
    int x = 0;
    int y = 0;
};

// Top-left corner that centres a `width` x `height` window over `area`. A
// window larger than the area is kept at or right of and below the screen's
// origin, so its caption stays within reach.
Origin CenteredOrigin(const Area& area, int width, int height);

} // namespace win
