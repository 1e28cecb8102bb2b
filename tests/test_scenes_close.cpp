// The closing scenes' arithmetic, without a window: the helix path and its
// streaming, the crossbar profile, the blink, the metaball field with the
// polygonizer, the fin rule and the dot shell, the forest's sky, camera and
// flash, and the signature's typing and blinking.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "audio/audio_device.h"
#include "scenes/eyes.h"
#include "scenes/forest.h"
#include "scenes/metaballs.h"
#include "scenes/signature.h"

// ---------------------------------------------------------------------------
// Eyes and helix

TEST(Eyes, HelixPathAtWorkedPoints)
{
    // u = 0, t = 0: x = -20 + 5, at the near end z = 40.
    Vec3 p = helix_path(0.0, 0.0);
    EXPECT_DOUBLE_EQ(p.x, -15.0);
    EXPECT_DOUBLE_EQ(p.y, 0.0);
    EXPECT_DOUBLE_EQ(p.z, 40.0);
    // u = 50: q = 0.5, the strand crosses the middle with y = -7 sin 5.
    p = helix_path(50.0, 0.0);
    EXPECT_NEAR(p.x, -15.0, 1e-12);
    EXPECT_NEAR(p.y, -7.0 * std::sin(5.0), 1e-12);
    EXPECT_NEAR(p.z, 0.0, 1e-12);
    // u = 100, t = 10pi: cos(2pi) = 1 and the strands meet again.
    p = helix_path(100.0, 10.0 * M_PI);
    EXPECT_NEAR(p.x, 5.0 * std::cos(3.0 * M_PI), 1e-12);
    EXPECT_NEAR(p.y, 0.0, 1e-12);
    EXPECT_DOUBLE_EQ(p.z, -40.0);
}

TEST(Eyes, Knob4PicksTheHelixSegmentsOrTheEyes)
{
    EXPECT_FALSE(eyes_show_grid(126.0));
    EXPECT_EQ(helix_first_segment(126.0), EYES_HELIX_SEGMENTS - 1);  // a single segment
    EXPECT_TRUE(eyes_show_grid(127.0));
    EXPECT_TRUE(eyes_show_grid(126.5));
    EXPECT_EQ(helix_first_segment(0.0), 0);
    EXPECT_EQ(helix_first_segment(63.5), 50);
}

TEST(Eyes, HelixStreamsTowardsTheViewerWithoutJumps)
{
    // t = 0: crossbars at u = 0, 3, 6, ...; t = 1/6 (f = 0.5): all moved 1.5.
    const HelixStep start = helix_step(0.0), sixth = helix_step(1.0 / 6.0);
    for (int32_t n : {0, 3, 6, 51, 99}) {
        EXPECT_EQ(helix_segment_u(n, start), n);
        EXPECT_NEAR(helix_segment_u(n, sixth), n - 1.5, 1e-12);
    }
    // Across each third of a second, late in the show as well: the bar that
    // arrives at u stands where a bar with the same base stood just before.
    for (double third : {1.0, 630.0, 671.0}) {
        const HelixStep before = helix_step((third - 1e-9) / 3.0), after = helix_step(third / 3.0);
        EXPECT_EQ(after.whole, before.whole + 1);
        for (int32_t n = 0; n + 3 < EYES_HELIX_SEGMENTS; n += 3) {
            EXPECT_NEAR(helix_segment_u(n, after), helix_segment_u(n + 3, before), 1e-6);
            EXPECT_EQ(crossbar_base_index(n, after), crossbar_base_index(n + 3, before));
        }
    }
    EXPECT_EQ(crossbar_base_index(99, helix_step(21.0)), (63 + 33) & 63);
}

TEST(Eyes, CrossbarNarrowsSmoothlyToItsMiddle)
{
    EXPECT_DOUBLE_EQ(crossbar_radius(0), 0.3);
    EXPECT_DOUBLE_EQ(crossbar_radius(16), 0.3);
    EXPECT_NEAR(crossbar_radius(20), 0.1, 1e-12);
    EXPECT_DOUBLE_EQ(crossbar_radius(40), 0.3);
    for (int32_t k = 0; k <= EYES_BAR_SECTIONS; ++k)
        EXPECT_NEAR(crossbar_radius(k), crossbar_radius(EYES_BAR_SECTIONS - k), 1e-12) << k;
    for (int32_t k = 16; k < 20; ++k) EXPECT_GT(crossbar_radius(k), crossbar_radius(k + 1)) << k;
}

TEST(Eyes, EachEyeBlinksOnceEveryTwoAndAHalfSeconds)
{
    const double dt = 0.0005;
    for (int32_t c = 0; c < 4; ++c)
        for (int32_t r = 0; r < 3; ++r) {
            int open = 0, shut_moments = 0;
            double least = 22.0, previous = 22.0;
            for (double t = 200.0; t < 202.5; t += dt) {
                const double lid = eye_lid_opening(c, r, t);
                EXPECT_NEAR(lid, eye_lid_opening(c, r, t + 2.5), 1e-6);
                open += lid == 22.0;
                least = std::min(least, lid);
                shut_moments += lid < 0.5 && previous >= 0.5;
                previous = lid;
            }
            // Open for 80 % of the period, shut (L = 0 at f = 0.1) once.
            EXPECT_NEAR(open * dt, 2.0, 0.01) << c << "," << r;
            EXPECT_LT(least, 0.05);
            EXPECT_EQ(shut_moments, 1) << c << "," << r;
        }
}

// ---------------------------------------------------------------------------
// Metaballs

static GridSampleD test_grid[METABALL_GRID_N * METABALL_GRID_N * METABALL_GRID_N];

static void polygonize_test_grid()
{
    polygonize_direct(test_grid, METABALL_GRID_N, METABALL_ISO, {-11.0, -11.0, -11.0},
                      {METABALL_STEP, METABALL_STEP, METABALL_STEP});
}

TEST(Metaballs, SampleOnABallCentreCountsAsInside)
{
    Vec3 centre[3];
    metaball_centres(1.7, centre);
    for (const Vec3 &c : centre) {
        GridSampleD s = {0.0, 1, 0};
        metaball_sample(&s, c, centre);
        EXPECT_TRUE(std::isinf(s.value));
        EXPECT_EQ(s.below, 0);
    }
    // Far from all three the field is weak: outside.
    GridSampleD far = {};
    metaball_sample(&far, {11.0, 11.0, 11.0}, centre);
    EXPECT_EQ(far.below, 1);
}

TEST(Metaballs, LoneBallsAreSpheresOfTheIsoRadius)
{
    // One ball in the middle, the other two too far away to matter.
    const Vec3 centre[3] = {{0.31, -0.47, 0.13}, {1e7, 0.0, 0.0}, {0.0, -1e7, 0.0}};
    const int32_t n = METABALL_GRID_N;
    for (int32_t a = 0; a < n; ++a)
        for (int32_t b = 0; b < n; ++b)
            for (int32_t c = 0; c < n; ++c)
                metaball_sample(&test_grid[(a * n + b) * n + c],
                                {-11.0 + METABALL_STEP * a, -11.0 + METABALL_STEP * b, -11.0 + METABALL_STEP * c},
                                centre);
    polygonize_test_grid();
    ASSERT_GT(mc_direct_triangles.count, 100);
    const double radius = std::sqrt(1.4 / 0.18);
    EXPECT_NEAR(radius, 2.79, 0.005);
    // Interpolating 1/d^2 linearly along 1.1-unit edges puts a vertex up to
    // about 0.15 off the true sphere, on average a little outside it.
    double sum = 0.0;
    for (int32_t t = 0; t < mc_direct_triangles.count; ++t)
        for (int32_t k = 0; k < 3; ++k) {
            const EdgeVertexSlotD &s = mc_direct_cache.slots[mc_direct_triangles.tri[t][k]];
            const Vec3 d = {s.position.x - centre[0].x, s.position.y - centre[0].y, s.position.z - centre[0].z};
            const double dist = std::sqrt(vec_dot(d, d));
            sum += dist;
            ASSERT_NEAR(dist, radius, 0.16);
            // Normals point outwards, away from the centre.
            ASSERT_GT(vec_dot(d, s.normal) / dist, 0.95);
        }
    EXPECT_NEAR(sum / (3 * mc_direct_triangles.count), radius + 0.02, 0.03);
}

TEST(Metaballs, NoFrameOfTheShowOverflowsTheTriangleTable)
{
    // The metaball section and its later cut-aways, frame by frame.
    const double stretches[][2] = {{180.0, 198.5}, {243.0, 244.0}, {256.0, 257.2}, {259.0, 261.0}};
    int32_t most = 0, frames = 0;
    for (const auto &s : stretches)
        for (double t = s[0]; t < s[1]; t += AUDIO_BUFFER_SEC) {
            metaball_sample_field(test_grid, t);
            polygonize_test_grid();
            most = std::max(most, mc_direct_triangles.count);
            ++frames;
        }
    EXPECT_GT(frames, 900);
    EXPECT_GT(most, 500);
    EXPECT_LT(most, MC_DIRECT_MAX_TRIANGLES - 1);
}

TEST(Metaballs, FinRule)
{
    const Vec3 view = {0.0, 0.0, -1.0};
    // Normal perpendicular to the view: fully opaque.
    EXPECT_DOUBLE_EQ(fin_alpha({1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, view), 1.0);
    // Averaged normal 60 degrees from the view, either way round: just gone.
    const Vec3 at60 = {std::sin(M_PI / 3.0), 0.0, std::cos(M_PI / 3.0)};
    EXPECT_NEAR(fin_alpha(at60, at60, view), 0.0, 1e-12);
    const Vec3 at70 = {std::sin(1.2217), 0.0, -std::cos(1.2217)};
    EXPECT_GT(fin_alpha(at70, at70, view), 0.0);
    const Vec3 at50 = {std::sin(0.8727), 0.0, -std::cos(0.8727)};
    EXPECT_LT(fin_alpha(at50, at50, view), 0.0);
    // The edge's normals are averaged before the test: each alone would pass.
    EXPECT_LT(fin_alpha({1.0, 0.0, 0.0}, {-0.6, 0.0, 0.8}, view), 0.0);
}

TEST(Metaballs, DotShellSurroundsTheCamera)
{
    static DotQuad dots[METABALL_DOT_QUADS];
    ASSERT_EQ(metaball_dot_shell(3.0, dots), 5600);
    const double eye = std::hypot(8.897637795275589, 30.0);
    int above = 0, below = 0, front = 0, back = 0;
    for (const DotQuad &d : dots) {
        const double r = std::sqrt(vec_dot(d.centre, d.centre));
        ASSERT_GE(r, 40.0 - 1e-9);
        ASSERT_LE(r, 60.0 + 1e-9);
        ASSERT_GT(r, eye);
        ASSERT_GE(d.half, 1.0);
        ASSERT_LE(d.half, 3.0);
        above += d.centre.y > 10.0;
        below += d.centre.y < -10.0;
        front += d.centre.z > 10.0;
        back += d.centre.z < -10.0;
    }
    for (int side : {above, below, front, back}) EXPECT_GT(side, 1000);
    // The shell turns: a moment later every dot has moved.
    static DotQuad later[METABALL_DOT_QUADS];
    metaball_dot_shell(3.1, later);
    const int32_t mid = 70 * 40 + 7;  // a = 0, i = 7: on the shell's equator
    EXPECT_GT(std::fabs(later[mid].centre.x - dots[mid].centre.x) + std::fabs(later[mid].centre.z - dots[mid].centre.z),
              1.0);
}

TEST(Metaballs, DotTextureIsAConeFromTheCentre)
{
    EXPECT_EQ(metaball_dot_texel(32, 32), 255);
    EXPECT_EQ(metaball_dot_texel(0, 32), 0);
    EXPECT_EQ(metaball_dot_texel(0, 0), 0);
    EXPECT_EQ(metaball_dot_texel(48, 32), 127);
    EXPECT_EQ(metaball_dot_texel(32, 16), metaball_dot_texel(16, 32));
}

// ---------------------------------------------------------------------------
// Forest

TEST(Forest, SectionsStartWithAFlashThatIsGoneByAFifth)
{
    ForestSection s = forest_section(0.0);
    EXPECT_EQ(s.k, 0);
    EXPECT_EQ(s.f, 0.0);
    s = forest_section(2.5 / FOREST_SECTION_RATE);
    EXPECT_EQ(s.k, 2);
    EXPECT_NEAR(s.f, 0.5, 1e-12);
    EXPECT_NEAR(1.0 / FOREST_SECTION_RATE, 4.5064, 1e-4);
    EXPECT_DOUBLE_EQ(forest_flash(0.0), 1.0);
    EXPECT_NEAR(forest_flash(0.1), 0.5, 1e-12);
    EXPECT_EQ(forest_flash(0.2), 0.0);
    EXPECT_EQ(forest_flash(0.7), 0.0);
}

TEST(Forest, SunburstTintRunsBlueGreenBlueRedGreenRed)
{
    static uint8_t sky[FOREST_SKY_SIZE * FOREST_SKY_SIZE * 3];
    const int bright_channel[6] = {2, 1, 2, 0, 1, 0};
    for (int32_t k = 0; k < 7; ++k) {
        forest_sunburst(3.7 + k, k, sky);
        int least = 255, most = 0;
        for (int i = 0; i < FOREST_SKY_SIZE * FOREST_SKY_SIZE; ++i) {
            const uint8_t *p = &sky[i * 3];
            const int b = bright_channel[k % 6];
            const int lo = p[(b + 1) % 3];
            ASSERT_EQ(p[(b + 2) % 3], lo) << k;
            ASSERT_GE(p[b], 2 * lo) << k;
            ASSERT_LE(p[b], 2 * lo + 1) << k;
            least = std::min(least, int(p[b]));
            most = std::max(most, int(p[b]));
        }
        EXPECT_LT(least, 40);
        EXPECT_GT(most, 215);
    }
}

TEST(Forest, SunburstRaysCentreOnColumn16Row25AndTurn)
{
    static uint8_t sky[FOREST_SKY_SIZE * FOREST_SKY_SIZE * 3], later[FOREST_SKY_SIZE * FOREST_SKY_SIZE * 3];
    forest_sunburst(1.3, 0, sky);
    forest_sunburst(1.8, 0, later);
    auto blue = [](const uint8_t *px, int column, int row) { return px[(row * FOREST_SKY_SIZE + column) * 3 + 2]; };
    // Along each ray from (16, 25) the texels are equal; texture rows grow downwards in y.
    const int rays[][2] = {{1, 1}, {-1, 1}, {2, -1}, {-1, -2}, {0, 1}};
    int turned = 0;
    for (const auto &r : rays) {
        EXPECT_EQ(blue(sky, 16 + r[0], 25 - r[1]), blue(sky, 16 + 3 * r[0], 25 - 3 * r[1]));
        EXPECT_EQ(blue(sky, 16 + r[0], 25 - r[1]), blue(sky, 16 + 2 * r[0], 25 - 2 * r[1]));
        turned += blue(sky, 16 + r[0], 25 - r[1]) != blue(later, 16 + r[0], 25 - r[1]);
    }
    EXPECT_NE(blue(sky, 17, 24), blue(sky, 15, 24));
    EXPECT_GE(turned, 4);
}

TEST(Forest, CameraDolliesInUntilFiftySecondsAndBobsAfterEachBeat)
{
    EXPECT_DOUBLE_EQ(forest_dolly(25.0), 0.5);
    EXPECT_DOUBLE_EQ(forest_dolly(50.0), 1.0);
    EXPECT_DOUBLE_EQ(forest_dolly(80.0), 1.0);
    // Within a section the eye moves forward from 40 - 14 m to 26 - 84 m.
    EXPECT_NEAR(forest_view(0, 10.0, 0.0).eye.z, 40.0 - 14.0 * 0.2, 1e-12);
    EXPECT_NEAR(forest_view(0, 10.0, 1.0).eye.z, 26.0 - 84.0 * 0.2, 1e-12);
    for (double t : {50.0, 61.3, 80.0}) {
        EXPECT_NEAR(forest_view(3, t, 0.0).eye.z, 26.0, 1e-12);
        EXPECT_NEAR(forest_view(3, t, 0.5).eye.z, -16.0, 1e-12);
    }
    // The look-at point swings back to the middle by the section's end.
    const ForestView v = forest_view(5, 33.0, 1.0);
    EXPECT_EQ(v.centre.x, 0.0);
    EXPECT_EQ(v.centre.y, 14.0);
    EXPECT_EQ(v.centre.z, -80.0);
    // Eight beats per section; the height dips below 12 only just after one.
    const double beat = 1.0 / (8.0 * FOREST_SECTION_RATE);
    double lowest = 12.0;
    for (double b = 0.0; b < 1.0; b += 0.01) {
        const double h = forest_view(0, 60.0 * beat + b * beat, 0.0).eye.y;
        if (b > 0.41) {
            EXPECT_EQ(h, 12.0) << b;
        }
        EXPECT_GE(h, 12.0 - 0.2);
        lowest = std::min(lowest, h);
    }
    EXPECT_LT(lowest, 11.9);
}

// ---------------------------------------------------------------------------
// Signature

TEST(Signature, Knob0TypesOneCharacterPerNinthOfItsRange)
{
    EXPECT_EQ(signature_chars(0.0), 0);
    EXPECT_EQ(signature_chars(14.1), 0);
    EXPECT_EQ(signature_chars(14.2), 1);
    EXPECT_EQ(signature_chars(112.8), 7);
    EXPECT_EQ(signature_chars(112.9), 8);
    EXPECT_EQ(signature_chars(127.0), 8);
    for (int32_t k = 0; k <= 8; ++k) EXPECT_EQ(signature_chars(127.0 / 9.0 * k + 0.01), k);
}

TEST(Signature, CursorSteadyWhileTypingThenBlinking)
{
    for (double t : {0.0, 0.5, 0.6, 3.3}) EXPECT_TRUE(signature_cursor_shown(7, t)) << t;
    EXPECT_TRUE(signature_cursor_shown(8, 0.0));
    EXPECT_FALSE(signature_cursor_shown(8, 0.5));  // 1.4 t = 0.7: just off
    EXPECT_TRUE(signature_cursor_shown(8, 0.499));
    EXPECT_TRUE(signature_cursor_shown(8, 1.0 / 1.4 + 0.001));
    // On for 70 % of the time.
    int on = 0;
    for (int i = 0; i < 10000; ++i) on += signature_cursor_shown(8, 261.0 + i * 0.001);
    EXPECT_NEAR(on, 7000, 20);
    EXPECT_DOUBLE_EQ(signature_stretch(0.0), 1.5);
    EXPECT_DOUBLE_EQ(signature_stretch(127.0), 2.5);
}
