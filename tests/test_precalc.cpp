// The fur-shell simulation without a GL context: the first blade, the splat
// shape, the layer reduction, the fin strip and the survival of blades.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "gfx/draw.h"
#include "gfx/precalc.h"

namespace {

FurWork work;  // large; kept out of the stack
FurWork again;

// Every blade dead except the given one.
void only_blade(FurWork *w, const FurBlade &b)
{
    for (FurBlade &x : w->blade) x.alive = 0;
    w->blade[0] = b;
}

int coverage_sum(const FurWork &w)
{
    int s = 0;
    for (const auto &row : w.coverage)
        for (uint8_t v : row) s += v;
    return s;
}

} // namespace

TEST(FurShells, FirstBladeComesFromTheFirstFourDraws)
{
    fur_init_blades(&work);
    const FurBlade &b = work.blade[0];
    EXPECT_EQ(b.x, 255.0); // 767 mod 256
    EXPECT_EQ(b.y, 2.0);   // 42242 mod 256
    EXPECT_NEAR(b.ax, -0.19376, 1e-12);
    EXPECT_NEAR(b.ay, 0.48048, 1e-12);
    EXPECT_EQ(b.vx, 0.0);
    EXPECT_EQ(b.radius, 2.0);
    EXPECT_EQ(b.alive, 1);
    // Four draws per blade: the second blade starts with the fifth draw.
    EXPECT_EQ(work.blade[1].x, double(21744 % 256));
    for (const FurBlade &x : work.blade) {
        ASSERT_GE(x.ax, -0.56);
        ASSERT_LE(x.ax, 0.55888 + 1e-12);
        ASSERT_GE(x.x, 0.0);
        ASSERT_LT(x.x, 256.0);
    }
}

TEST(FurShells, OneBladeSaturatesItsThreeByThreeAndWrapsAtTheEdge)
{
    fur_init_blades(&work);
    FurBlade b = work.blade[0]; // at (255, 2): the splat crosses row 0
    only_blade(&work, b);
    fur_step_layer(&work, 1);
    EXPECT_EQ(work.splatted, 1);
    for (int r = 0; r < 256; ++r) {
        for (int c = 0; c < 256; ++c) {
            const bool inside = (r == 254 || r == 255 || r == 0) && (c >= 1 && c <= 3);
            ASSERT_EQ(work.coverage[r][c], inside ? 255 : 0) << r << "," << c;
        }
    }
    // The blade moved by its (zero) velocity, then gained its acceleration.
    EXPECT_EQ(work.blade[0].x, 255.0);
    EXPECT_NEAR(work.blade[0].vx, -0.19376, 1e-12);
    EXPECT_NEAR(work.blade[0].radius, 1.98, 1e-12);

    // Reduction: window (p, q) covers map rows 4p..4p+7 and columns 4q..4q+7.
    // The 3x3 block (rows 254, 255, 0; columns 1..3) lies fully in windows
    // q = 0 and in p = 63 (rows 252..259), partly in p = 0 (row 0 only) and
    // p = 62 (rows 248..255: rows 254, 255).
    EXPECT_EQ(work.layer[63][0], 9 * 255 / 64);
    EXPECT_EQ(work.layer[0][0], 3 * 255 / 64);
    EXPECT_EQ(work.layer[62][0], 6 * 255 / 64);
    EXPECT_EQ(work.layer[63][63], 9 * 255 / 64); // columns 252..259 wrap onto 1..3
    EXPECT_EQ(work.layer[63][1], 0);  // columns 4..11
    EXPECT_EQ(work.layer[10][0], 0);
}

TEST(FurShells, SplatValuesBelowSaturationFollowTheDiscFormula)
{
    // A small blade leaves unsaturated values: v = trunc((r - d) * 500).
    fur_init_blades(&work);
    FurBlade b = {};
    b.x = 100.4;
    b.y = 50.5; // rounds away from zero to 51
    b.radius = 0.6;
    b.alive = 1;
    only_blade(&work, b);
    fur_step_layer(&work, 1);
    EXPECT_EQ(work.coverage[100][51], 255); // 0.6 * 500 = 300, saturated
    EXPECT_EQ(work.coverage[101][51], 0);
    EXPECT_EQ(coverage_sum(work), 255);

    b.radius = 1.3;
    only_blade(&work, b);
    fur_step_layer(&work, 2);
    EXPECT_EQ(work.coverage[100][51], 255);
    EXPECT_EQ(work.coverage[101][51], 150); // (1.3 - 1) * 500
    EXPECT_EQ(work.coverage[100][50], 150);
    EXPECT_EQ(work.coverage[101][52], 0);   // 1.3 - sqrt 2 < 0
    EXPECT_EQ(coverage_sum(work), 255 + 4 * 150);
}

TEST(FurShells, LayersThinOutDeterministicallyAndFinIsTheRowMean)
{
    fur_init_blades(&work);
    int32_t drawn[PRECALC_FUR_LAYERS];
    uint8_t layers[PRECALC_FUR_LAYERS][FUR_LAYER_SIZE][FUR_LAYER_SIZE];
    for (int L = 1; L <= PRECALC_FUR_LAYERS; ++L) {
        int32_t alive_before = 0;
        for (const FurBlade &b : work.blade) alive_before += b.alive;
        fur_step_layer(&work, L);
        drawn[L - 1] = work.splatted;
        EXPECT_EQ(drawn[L - 1], alive_before) << "every live blade draws";
        std::memcpy(layers[L - 1], work.layer, sizeof work.layer);
        for (int p = 0; p < FUR_FIN_WIDTH; ++p) {
            const int mean = (work.layer[p][0] + work.layer[p][1] + work.layer[p][2] + work.layer[p][3]) / 4;
            ASSERT_EQ(work.fin[L - 1][p], mean);
        }
    }
    EXPECT_EQ(drawn[0], FUR_BLADES);
    for (int L = 2; L <= PRECALC_FUR_LAYERS; ++L) {
        EXPECT_LE(drawn[L - 1], drawn[L - 2]);
        // About 1600 (5/6)^(L-1) survive; allow five standard deviations.
        const double p = std::pow(5.0 / 6.0, L - 1);
        const double sd = std::sqrt(FUR_BLADES * p * (1 - p));
        EXPECT_NEAR(drawn[L - 1], FUR_BLADES * p, 5 * sd + 1) << "layer " << L;
    }
    // A layer with hundreds of blades covers a good part of the map; the
    // last ones are sparse but not empty.
    int lit_first = 0, lit_last = 0;
    for (int p = 0; p < 64; ++p)
        for (int q = 0; q < 64; ++q) {
            lit_first += layers[0][p][q] > 0;
            lit_last += layers[15][p][q] > 0;
        }
    EXPECT_GT(lit_first, 2000);
    EXPECT_GT(lit_last, 0);
    EXPECT_LT(lit_last, lit_first);

    // Same stream, same textures; and the stream does continue across layers.
    const uint32_t seed_after = rand_seed;
    fur_init_blades(&again);
    for (int L = 1; L <= PRECALC_FUR_LAYERS; ++L) {
        fur_step_layer(&again, L);
        ASSERT_EQ(std::memcmp(again.layer, layers[L - 1], sizeof again.layer), 0) << "layer " << L;
    }
    EXPECT_EQ(std::memcmp(again.fin, work.fin, sizeof work.fin), 0);
    EXPECT_EQ(rand_seed, seed_after);
    EXPECT_NE(std::memcmp(layers[0], layers[1], sizeof layers[0]), 0);
}

TEST(FurShells, DeadBladesNeverReturn)
{
    fur_init_blades(&work);
    bool dead[FUR_BLADES] = {};
    for (int L = 1; L <= PRECALC_FUR_LAYERS; ++L) {
        FurBlade before[FUR_BLADES];
        std::memcpy(before, work.blade, sizeof before);
        fur_step_layer(&work, L);
        for (int i = 0; i < FUR_BLADES; ++i) {
            if (dead[i]) {
                ASSERT_EQ(work.blade[i].alive, 0);
                ASSERT_EQ(std::memcmp(&work.blade[i], &before[i], sizeof before[i]), 0) << "a dead blade moved";
            }
            dead[i] = work.blade[i].alive == 0;
        }
    }
}
