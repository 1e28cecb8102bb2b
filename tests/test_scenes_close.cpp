// The closing scenes' arithmetic, without a window: the helix path and its
// streaming, the crossbar profile, the blink, the metaball field with the
// polygonizer, the fin rule and the dot shell, the forest's sky, camera and
// flash, and the signature's typing and blinking.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "audio/audio_device.h"
#include "scenes/eyes.h"
#include "scenes/forest.h"
#include "scenes/metaballs.h"
#include "scenes/signature.h"

// ---------------------------------------------------------------------------
// Eyes and helix

static void expect_point(const Vec3 &p, double x, double y, double z)
{
    EXPECT_NEAR(p.x, x, 1e-12);
    EXPECT_NEAR(p.y, y, 1e-12);
    EXPECT_NEAR(p.z, z, 1e-12);
}

TEST(Eyes, HelixPathAndTheKnobThatSwitchesToTheEyes)
{
    expect_point(helix_path(0.0, 0.0), -15.0, 0.0, 40.0);                // near end
    expect_point(helix_path(50.0, 0.0), -15.0, -7.0 * std::sin(5.0), 0.0);  // q = 0.5
    expect_point(helix_path(100.0, 10.0 * M_PI), -5.0, 0.0, -40.0);       // far end
    EXPECT_FALSE(eyes_show_grid(126.0));
    EXPECT_EQ(helix_first_segment(126.0), EYES_HELIX_SEGMENTS - 1);  // a single segment
    EXPECT_TRUE(eyes_show_grid(127.0));
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

TEST(Eyes, CrossbarNarrowsToItsMiddleAndEyesBlinkEveryTwoAndAHalfSeconds)
{
    EXPECT_DOUBLE_EQ(crossbar_radius(16), 0.3);
    EXPECT_NEAR(crossbar_radius(20), 0.1, 1e-12);
    for (int32_t k = 0; k <= EYES_BAR_SECTIONS; ++k)
        EXPECT_NEAR(crossbar_radius(k), crossbar_radius(EYES_BAR_SECTIONS - k), 1e-12) << k;
    for (int32_t k = 16; k < 20; ++k) EXPECT_GT(crossbar_radius(k), crossbar_radius(k + 1)) << k;

    const double dt = 0.0005;
    for (int32_t c = 0; c < 4; ++c)
        for (int32_t r = 0; r < 3; ++r) {
            int open = 0, shuttings = 0;
            double least = 22.0, previous = 22.0;
            for (double t = 200.0; t < 202.5; t += dt) {
                const double lid = eye_lid_opening(c, r, t);
                ASSERT_NEAR(lid, eye_lid_opening(c, r, t + 2.5), 1e-6);
                open += lid == 22.0;
                least = std::min(least, lid);
                shuttings += lid < 0.5 && previous >= 0.5;
                previous = lid;
            }
            // Open for 80 % of the period, shut (L = 0 at f = 0.1) once.
            EXPECT_NEAR(open * dt, 2.0, 0.01) << c << "," << r;
            EXPECT_LT(least, 0.05);
            EXPECT_EQ(shuttings, 1) << c << "," << r;
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

TEST(Metaballs, CentresCountAsInsideAndLoneBallsAreSpheresOfTheIsoRadius)
{
    Vec3 centre[3];
    metaball_centres(1.7, centre);
    for (const Vec3 &c : centre) {
        GridSampleD s = {0.0, 1, 0};
        metaball_sample(&s, c, centre);
        EXPECT_TRUE(std::isinf(s.value));
        EXPECT_EQ(s.below, 0);
    }

    // One ball in the middle, the other two too far away to matter.
    const Vec3 lone[3] = {{0.31, -0.47, 0.13}, {1e7, 0.0, 0.0}, {0.0, -1e7, 0.0}};
    const int32_t n = METABALL_GRID_N;
    for (int32_t a = 0; a < n; ++a)
        for (int32_t b = 0; b < n; ++b)
            for (int32_t c = 0; c < n; ++c)
                metaball_sample(&test_grid[(a * n + b) * n + c],
                                {-11.0 + METABALL_STEP * a, -11.0 + METABALL_STEP * b, -11.0 + METABALL_STEP * c}, lone);
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
            const Vec3 d = {s.position.x - lone[0].x, s.position.y - lone[0].y, s.position.z - lone[0].z};
            const double dist = std::sqrt(vec_dot(d, d));
            sum += dist;
            ASSERT_NEAR(dist, radius, 0.16);
            ASSERT_GT(vec_dot(d, s.normal) / dist, 0.95);  // normals point outwards
        }
    EXPECT_NEAR(sum / (3 * mc_direct_triangles.count), radius + 0.02, 0.03);
}

TEST(Metaballs, NoFrameOfTheShowOverflowsTheTriangleTable)
{
    // The metaball section and its later cut-aways, frame by frame.
    const double stretches[][2] = {{180.0, 198.5}, {243.0, 244.0}, {256.0, 257.2}, {259.0, 261.0}};
    int32_t most = 0, frames = 0;
    for (const auto &s : stretches)
        for (double t = s[0]; t < s[1]; t += AUDIO_BUFFER_SEC, ++frames) {
            metaball_sample_field(test_grid, t);
            polygonize_test_grid();
            most = std::max(most, mc_direct_triangles.count);
        }
    EXPECT_GT(frames, 900);
    EXPECT_GT(most, 500);
    EXPECT_LT(most, MC_DIRECT_MAX_TRIANGLES - 1);
}

TEST(Metaballs, FinRule)
{
    const Vec3 view = {0.0, 0.0, -1.0};
    auto tilted = [](double rad) { return Vec3{std::sin(rad), 0.0, -std::cos(rad)}; };
    // Normal perpendicular to the view: fully opaque; 60 degrees from it,
    // either way round: just gone.
    EXPECT_DOUBLE_EQ(fin_alpha({1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, view), 1.0);
    EXPECT_NEAR(fin_alpha(tilted(M_PI / 3), tilted(M_PI / 3), view), 0.0, 1e-12);
    EXPECT_NEAR(fin_alpha(tilted(2 * M_PI / 3), tilted(2 * M_PI / 3), view), 0.0, 1e-12);
    EXPECT_GT(fin_alpha(tilted(1.2217), tilted(1.2217), view), 0.0);
    EXPECT_LT(fin_alpha(tilted(0.8727), tilted(0.8727), view), 0.0);
    // The edge's normals are averaged before the test: each alone would pass.
    const Vec3 left = {std::sin(1.08), 0.0, std::cos(1.08)}, right = {-left.x, 0.0, left.z};
    EXPECT_GT(fin_alpha(left, left, view), 0.0);
    EXPECT_GT(fin_alpha(right, right, view), 0.0);
    EXPECT_LT(fin_alpha(left, right, view), 0.0);
}

TEST(Metaballs, DotShellSurroundsTheCameraAndTurns)
{
    static DotQuad dots[METABALL_DOT_QUADS], later[METABALL_DOT_QUADS];
    ASSERT_EQ(metaball_dot_shell(3.0, dots), 5600);
    metaball_dot_shell(3.1, later);
    const double eye = std::hypot(8.897637795275589, 30.0);
    int above = 0, below = 0, front = 0, back = 0, moved = 0;
    for (int32_t q = 0; q < METABALL_DOT_QUADS; ++q) {
        const Vec3 &c = dots[q].centre;
        const double r = std::sqrt(vec_dot(c, c));
        ASSERT_TRUE(r >= 40.0 - 1e-9 && r <= 60.0 + 1e-9 && r > eye) << r;
        ASSERT_TRUE(dots[q].half >= 1.0 && dots[q].half <= 3.0);
        above += c.y > 10.0, below += c.y < -10.0, front += c.z > 10.0, back += c.z < -10.0;
        moved += std::fabs(later[q].centre.x - c.x) + std::fabs(later[q].centre.z - c.z) > 0.1;
    }
    for (int side : {above, below, front, back}) EXPECT_GT(side, 1000);
    EXPECT_GT(moved, 5000);
    // The dot texture is a cone from 255 at its centre to 0 at radius 32.
    EXPECT_EQ(metaball_dot_texel(32, 32), 255);
    EXPECT_EQ(metaball_dot_texel(48, 32), 127);
    EXPECT_EQ(metaball_dot_texel(32, 16), metaball_dot_texel(16, 32));
    EXPECT_EQ(metaball_dot_texel(0, 32), 0);
}

// ---------------------------------------------------------------------------
// Forest

TEST(Forest, SectionsFlashAndCamera)
{
    EXPECT_NEAR(1.0 / FOREST_SECTION_RATE, 4.5064, 1e-4);
    ForestSection s = forest_section(2.5 / FOREST_SECTION_RATE);
    EXPECT_EQ(s.k, 2);
    EXPECT_NEAR(s.f, 0.5, 1e-12);
    EXPECT_DOUBLE_EQ(forest_flash(0.0), 1.0);
    EXPECT_NEAR(forest_flash(0.1), 0.5, 1e-12);
    EXPECT_EQ(forest_flash(0.2), 0.0);

    // Within a section the eye moves forward from 40 - 14 m to 26 - 84 m,
    // m = 0.02 t growing until t = 50.
    EXPECT_NEAR(forest_view(0, 10.0, 0.0).eye.z, 40.0 - 14.0 * 0.2, 1e-12);
    EXPECT_NEAR(forest_view(0, 10.0, 1.0).eye.z, 26.0 - 84.0 * 0.2, 1e-12);
    for (double t : {50.0, 61.3, 80.0}) {
        EXPECT_NEAR(forest_view(3, t, 0.0).eye.z, 26.0, 1e-12);
        EXPECT_NEAR(forest_view(3, t, 0.5).eye.z, -16.0, 1e-12);
    }
    // The look-at point swings back to the middle by the section's end.
    const ForestView v = forest_view(5, 33.0, 1.0);
    expect_point(v.centre, 0.0, 14.0, -80.0);
    // Eight beats per section; the height dips below 12 only just after one.
    const double beat = 1.0 / (8.0 * FOREST_SECTION_RATE);
    double lowest = 12.0;
    for (double b = 0.0; b < 1.0; b += 0.01) {
        const double h = forest_view(0, (60.0 + b) * beat, 0.0).eye.y;
        ASSERT_TRUE(b <= 0.41 || h == 12.0) << b;
        ASSERT_GE(h, 12.0 - 0.2);
        lowest = std::min(lowest, h);
    }
    EXPECT_LT(lowest, 11.9);
}

TEST(Forest, SunburstRaysAboutColumn16Row25TintedBlueGreenBlueRedGreenRed)
{
    static uint8_t sky[FOREST_SKY_SIZE * FOREST_SKY_SIZE * 3];
    const int bright_channel[6] = {2, 1, 2, 0, 1, 0};
    auto at = [](int column, int row, int channel) { return sky[(row * FOREST_SKY_SIZE + column) * 3 + channel]; };
    for (int32_t k = 0; k < 7; ++k) {
        forest_sunburst(3.7 + k, k, sky);
        const int b = bright_channel[k % 6];
        int least = 255, most = 0;
        for (int i = 0; i < FOREST_SKY_SIZE * FOREST_SKY_SIZE; ++i) {
            const uint8_t *p = &sky[i * 3];
            const int lo = p[(b + 1) % 3];
            ASSERT_EQ(p[(b + 2) % 3], lo) << k;
            ASSERT_TRUE(p[b] == 2 * lo || p[b] == 2 * lo + 1) << k;
            least = std::min(least, int(p[b]));
            most = std::max(most, int(p[b]));
        }
        EXPECT_LT(least, 40);
        EXPECT_GT(most, 215);
        // Along each ray from (16, 25) the texels are equal; rows grow downwards in y.
        for (const auto &r : {std::pair{1, 1}, {-1, 1}, {2, -1}, {-1, -2}, {0, 1}})
            EXPECT_EQ(at(16 + r.first, 25 - r.second, b), at(16 + 2 * r.first, 25 - 2 * r.second, b));
        EXPECT_NE(at(17, 24, b), at(15, 24, b));
    }
}

// ---------------------------------------------------------------------------
// Signature

TEST(Signature, Knob0TypesTheLineThenTheCursorBlinks)
{
    EXPECT_EQ(signature_chars(0.0), 0);
    EXPECT_EQ(signature_chars(14.1), 0);
    EXPECT_EQ(signature_chars(14.2), 1);
    EXPECT_EQ(signature_chars(112.8), 7);
    EXPECT_EQ(signature_chars(112.9), 8);
    EXPECT_EQ(signature_chars(127.0), 8);
    for (int32_t k = 0; k <= 8; ++k) EXPECT_EQ(signature_chars(127.0 / 9.0 * k + 0.01), k);

    for (double t : {0.0, 0.5, 0.6, 3.3}) EXPECT_TRUE(signature_cursor_shown(7, t)) << t;
    EXPECT_TRUE(signature_cursor_shown(8, 0.0));
    EXPECT_FALSE(signature_cursor_shown(8, 0.5));  // 1.4 t = 0.7: just off
    EXPECT_TRUE(signature_cursor_shown(8, 1.0 / 1.4 + 0.001));
    int on = 0;
    for (int i = 0; i < 10000; ++i) on += signature_cursor_shown(8, 261.0 + i * 0.001);
    EXPECT_NEAR(on, 7000, 20);  // on for 70 % of the time
    EXPECT_DOUBLE_EQ(signature_stretch(127.0), 2.5);
}
