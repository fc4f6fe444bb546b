#include "win/placement.h"

#include <gtest/gtest.h>

namespace {

void ExpectOrigin(const win::Origin& got, int x, int y) {
    EXPECT_EQ(got.x, x);
    EXPECT_EQ(got.y, y);
}

} // namespace

TEST(CenteredOrigin, CentresWithinTheArea) {
    ExpectOrigin(win::CenteredOrigin({0, 0, 1024, 738}, 400, 300), 312, 219);
    // An area elsewhere on the screen, as another window is.
    ExpectOrigin(win::CenteredOrigin({100, 50, 600, 400}, 200, 100), 300, 200);
    // Odd differences round towards the area's start.
    ExpectOrigin(win::CenteredOrigin({0, 0, 101, 101}, 50, 50), 25, 25);
}

TEST(CenteredOrigin, LargerWindowStaysAtTheScreensOrigin) {
    ExpectOrigin(win::CenteredOrigin({0, 0, 800, 600}, 1000, 700), 0, 0);
    // Over a small window near the top left corner.
    ExpectOrigin(win::CenteredOrigin({10, 10, 100, 80}, 400, 300), 0, 0);
}
