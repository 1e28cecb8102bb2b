// The flower meadow's arithmetic without a window: the random tables, the
// grid noise, the flowers' openness and alpha, and the title's height knob.
// Expected values are worked by hand from the generators' rules (the shared
// random stream starts 767, 42242, 8327, 22929).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "scenes/meadow_title.h"

namespace {

void fill_title_meadow()
{
    meadow_fill_tables(&title_flower_tilt[0][0][0], &title_flower_offset[0][0][0], &title_meadow_grid[0][0],
                       MEADOW_TITLE_SIZE);
}

} // namespace

TEST(MeadowTables, FirstCellFromTheSharedStreamAndEveryByteInRange)
{
    fill_title_meadow();
    // 767, 42242, 8327, 22929 mod 20, minus 10.
    EXPECT_EQ(title_flower_tilt[0][0][0], -3);
    EXPECT_EQ(title_flower_tilt[0][0][1], -8);
    EXPECT_EQ(title_flower_offset[0][0][0], -3);
    EXPECT_EQ(title_flower_offset[0][0][1], -1);
    const int8_t *tilt = &title_flower_tilt[0][0][0], *offset = &title_flower_offset[0][0][0];
    const int n = MEADOW_TITLE_SIZE * MEADOW_TITLE_SIZE;
    EXPECT_EQ(*std::min_element(tilt, tilt + 2 * n), -10);
    EXPECT_EQ(*std::max_element(offset, offset + 2 * n), 9);
    // The grid spans the whole signed range, not just 0..127.
    const int8_t *grid = &title_meadow_grid[0][0];
    EXPECT_LT(*std::min_element(grid, grid + n), -120);
    EXPECT_GT(*std::max_element(grid, grid + n), 120);
}

TEST(MeadowNoise, GridBytesAtIntegersPeriodicAndBetweenItsCorners)
{
    fill_title_meadow();
    EXPECT_EQ(title_meadow_noise(3.0, 7.0), title_meadow_grid[3][7]);
    EXPECT_EQ(title_meadow_noise(39.0, 1.0), title_meadow_grid[39][1]);
    // Row 39 wraps to row 0.
    EXPECT_DOUBLE_EQ(title_meadow_noise(39.5, 2.0), 0.5 * title_meadow_grid[39][2] + 0.5 * title_meadow_grid[0][2]);
    // The first argument picks the row, the second the column.
    EXPECT_DOUBLE_EQ(title_meadow_noise(4.0, 5.25), 0.75 * title_meadow_grid[4][5] + 0.25 * title_meadow_grid[4][6]);
    for (double a : {0.3, 12.75, 37.1}) {
        for (double b : {0.9, 20.5, 38.6}) {
            EXPECT_NEAR(title_meadow_noise(a + 40.0, b), title_meadow_noise(a, b), 1e-9);
            EXPECT_NEAR(title_meadow_noise(a, b + 80.0), title_meadow_noise(a, b), 1e-9);
            EXPECT_GE(title_meadow_noise(a, b), -128.0);
            EXPECT_LE(title_meadow_noise(a, b), 127.0);
        }
    }
}

TEST(MeadowFlowers, OpennessSwingsWithinItsRange)
{
    fill_title_meadow();
    double lo = 2.0, hi = 0.0;
    for (double t = 0.0; t < 60.0; t += 0.37) {
        for (int i = 0; i < MEADOW_TITLE_SIZE; i += 7) {
            const double s = flower_openness(title_meadow, t, i, 39 - i);
            lo = std::min(lo, s);
            hi = std::max(hi, s);
        }
    }
    EXPECT_GE(lo, 0.3 - 1e-12);
    EXPECT_LE(hi, 1.1 + 1e-12);
    EXPECT_LT(lo, 0.5);  // the heads really close and open
    EXPECT_GT(hi, 0.9);
}

TEST(FlowerAlpha, OpaqueCentreThenChannelSum)
{
    // Within 9.6 texels of (32, 32) even black is opaque.
    EXPECT_EQ(flower_alpha(32, 32, 0, 0, 0), 255);
    EXPECT_EQ(flower_alpha(32, 41, 0, 0, 0), 255);
    EXPECT_EQ(flower_alpha(38, 39, 0, 0, 0), 255);  // 9.22 texels
    EXPECT_EQ(flower_alpha(32, 42, 0, 0, 0), 0);    // 10 texels
    EXPECT_EQ(flower_alpha(0, 0, 100, 100, 55), 255);
    EXPECT_EQ(flower_alpha(0, 0, 100, 100, 54), 254);
    EXPECT_EQ(flower_alpha(63, 10, 255, 255, 255), 255);

    // RGB is copied; alpha follows the rule texel by texel (rows and columns
    // not swapped: an off-centre bright pixel keeps its place).
    static uint8_t rgb[64 * 64 * 3] = {}, rgba[64 * 64 * 4];
    rgb[(5 * 64 + 60) * 3 + 1] = 90;
    flower_rgba(rgb, rgba);
    EXPECT_EQ(rgba[(5 * 64 + 60) * 4 + 1], 90);
    EXPECT_EQ(rgba[(5 * 64 + 60) * 4 + 3], 90);
    EXPECT_EQ(rgba[(60 * 64 + 5) * 4 + 3], 0);
    EXPECT_EQ(rgba[(32 * 64 + 32) * 4 + 3], 255);
}

TEST(MeadowTitle, TitleHeightFromKnob0)
{
    EXPECT_EQ(title_height(64.0), 0.0);
    EXPECT_DOUBLE_EQ(title_height(127.0), 1.2796875);
    EXPECT_DOUBLE_EQ(title_height(0.0), -1.3);
}
