// The dot screen's arithmetic without a window: dot sizes from shade-map
// bytes, the row spacing and the picture's stretch from the knobs, the
// ripple's per-frame shape and the soft dot texture.
#include <gtest/gtest.h>

#include <cmath>

#include "scenes/dotscreen.h"

TEST(DotScreen, DotSizeFollowsTheShadeMapByte)
{
    EXPECT_EQ(dot_half_width(255, 127.0), 0.0);  // white: no dot at all
    EXPECT_DOUBLE_EQ(dot_half_width(0, 127.0), 1.9921875);  // 127 * 255 / (127 * 128)
    EXPECT_NEAR(dot_half_width(0, 65.0), 65.0 * 255.0 / 16256.0, 1e-12);
}

TEST(DotScreen, KnobsSpreadTheRowsAndStretchThePicture)
{
    // 64 rows: 63 gaps of 0.39 at knob3 = 0 span 24.57 units; at 127 the rows
    // are 28.39 apart.
    EXPECT_NEAR(63 * dot_row_spacing(0.0), 24.57, 1e-12);
    EXPECT_NEAR(dot_row_spacing(127.0), 28.39, 1e-12);
    // knob0 = 0 steps 1.6/128 texture rows per radial index, 127 four times less.
    EXPECT_NEAR(ripple_shape(0.0, 0, 0.0).row_step, 1.6 / 128.0, 1e-15);
    EXPECT_NEAR(ripple_shape(0.0, 0, 127.0).row_step, 0.4 / 128.0, 1e-15);
}

TEST(DotScreen, RippleShapePerFrame)
{
    // t = 0, n = 0: A = 96 + 31 sin 0 = 96; H = 30 + 30 cos 0 = 60, so k = 2 +
    // 600/127 = 6.724 waves and w = k pi / 128.
    const RippleShape a = ripple_shape(0.0, 0, 0.0);
    EXPECT_DOUBLE_EQ(a.amp, 96.0);
    EXPECT_DOUBLE_EQ(a.wave, 60.0);
    EXPECT_NEAR(a.waves, 2.0 + 600.0 / 127.0, 1e-12);
    // The amplitude peaks at 127 when 8n + 1.3t = pi/2; the wave count bottoms
    // out at 2 when 0.9t + 2n = pi.
    EXPECT_NEAR(ripple_shape(M_PI / 2.0 / 1.3, 0, 0.0).amp, 127.0, 1e-12);
    EXPECT_NEAR(ripple_shape(M_PI / 0.9, 0, 0.0).waves, 2.0, 1e-12);
}

TEST(DotScreen, DotTextureIsAConeFromTheCentre)
{
    uint8_t dot[64 * 64];
    dot_make_texture(dot);
    EXPECT_EQ(dot[32 * 64 + 32], 255);
    EXPECT_EQ(dot[32 * 64 + 16], 127);      // d = 16: 127.5 truncated
    EXPECT_EQ(dot[(32 + 3) * 64 + 32 + 4], 215);  // d = 5: 255 * 27/32 = 215.2
    EXPECT_EQ(dot[32 * 64 + 0], 0);         // d = 32
    EXPECT_EQ(dot[0], 0);                   // the corners lie outside
    // Round: the same at the same distance in every direction.
    EXPECT_EQ(dot[(32 - 4) * 64 + 32 - 3], dot[(32 + 3) * 64 + 32 + 4]);
    EXPECT_EQ(dot[20 * 64 + 32], dot[32 * 64 + 44]);
}
