// The closing scenes in pixels (needs an X server: run under Xvfb): colours,
// fades and flashes read back from whole frames drawn by the real routines
// after the real precalculation.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "gfx/precalc.h"
#include "scenes/eyes.h"
#include "scenes/forest.h"
#include "scenes/scenes.h"
#include "shell/shell.h"
#include "timeline/timeline.h"

namespace {

constexpr int W = 800, H = 600;

struct Frame {
    std::vector<uint8_t> px = std::vector<uint8_t>(size_t(W) * H * 3);
    const uint8_t *at(int x, int y) const { return &px[(size_t(y) * W + x) * 3]; }
    // Mean of each channel over the whole frame.
    void mean(double out[3]) const
    {
        double sum[3] = {};
        for (size_t i = 0; i < px.size(); ++i) sum[i % 3] += px[i];
        for (int c = 0; c < 3; ++c) out[c] = sum[c] / (double(W) * H);
    }
    int64_t count_not(uint8_t v) const
    {
        int64_t n = 0;
        for (uint8_t b : px) n += b != v;
        return n;
    }
};

Frame read_frame()
{
    Frame f;
    glReadPixels(0, 0, W, H, GL_RGB, GL_UNSIGNED_BYTE, f.px.data());
    return f;
}

// Draws one frame of a scene the way the timeline does, after setting knobs.
template <typename Draw> Frame draw_frame(Draw draw)
{
    glPushAttrib(TIMELINE_ATTRIB_MASK);
    draw();
    glPopAttrib();
    return read_frame();
}

class CloseScenes : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static bool opened = false;
        if (opened) return;
        static char arg0[] = "test", arg1[] = "-w";
        static char *argv[] = {arg0, arg1, nullptr};
        startup_video(2, argv, W, H);
        precalculate();
        opened = true;
    }
    void SetUp() override { knobs = {}; }
};

} // namespace

// ---------------------------------------------------------------------------
// Eyes and helix

TEST_F(CloseScenes, FibreTexturesAreVioletAndRedAndRiseFromRowZero)
{
    const int n = EYES_STROKE_TEX_SIZE;
    std::vector<uint8_t> tex(size_t(n) * n * 3);
    for (int which : {1, 2}) {
        glBindTexture(GL_TEXTURE_2D, eyes_tex[which]);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, tex.data());
        double sum[3] = {}, roots = 0, tips = 0;
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x)
                for (int c = 0; c < 3; ++c) {
                    const uint8_t v = tex[(size_t(y) * n + x) * 3 + c];
                    sum[c] += v;
                    if (y < 8) roots += v;
                    if (y >= 48) tips += v;
                }
        if (which == 1) {
            EXPECT_GT(sum[2], sum[0]);  // violet: blue over red over green
            EXPECT_GT(sum[0], sum[1]);
            EXPECT_GT(sum[1], 0.0);
        } else {
            EXPECT_GT(sum[0], 1000.0);  // red only
            EXPECT_EQ(sum[1], 0.0);
            EXPECT_EQ(sum[2], 0.0);
        }
        // Every stroke starts on row 0; few reach the top rows.
        EXPECT_GT(roots / 8, 3 * (tips / 16)) << which;
    }
}

TEST_F(CloseScenes, EyesHazeIsVioletOrOrangeByTheFlag)
{
    double mean[3];
    for (uint8_t flag : {0, 1}) {
        knobs.knob[0] = 64.0;
        knobs.knob[4] = 127.0;  // the eyeball grid
        knobs.scene_flag = flag;
        draw_frame([] { eyes_draw(203.5); }).mean(mean);
        EXPECT_GT(mean[0] + mean[1] + mean[2], 60.0) << "haze too dark to judge";
        if (flag == 0) {
            EXPECT_GT(mean[2], mean[0]);
            EXPECT_GT(mean[0], mean[1]);
        } else {
            EXPECT_GT(mean[0], mean[1]);
            EXPECT_GT(mean[1], mean[2]);
        }
    }
}

TEST_F(CloseScenes, EyesKnob6FadesTheFinishedFrameTo20Percent)
{
    knobs.knob[0] = 90.0;
    knobs.knob[4] = 0.0;  // the whole helix
    const Frame full = draw_frame([] { eyes_draw(212.0); });
    knobs.knob[6] = 127.0;
    const Frame faded = draw_frame([] { eyes_draw(212.0); });
    ASSERT_GT(full.count_not(0), 400000);
    int64_t off = 0;
    for (size_t i = 0; i < full.px.size(); ++i) off += std::abs(faded.px[i] - 0.2 * full.px[i]) > 1.5;
    EXPECT_EQ(off, 0);
}

TEST_F(CloseScenes, HazeDiscAddsNothingSeenEdgeOn)
{
    knobs.knob[0] = 127.0;
    // A disc off to the left, seen obliquely in perspective; turned so that
    // its plane contains the viewing direction (m[10] = 0) it must vanish,
    // though it still covers pixels.
    for (double turn : {90.0, 60.0}) {
        glPushAttrib(TIMELINE_ATTRIB_MASK);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(60.0, 4.0 / 3.0, 1.0, 500.0);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glTranslated(-40.0, 0.0, -100.0);
        glRotated(turn, 0.0, 1.0, 0.0);
        glDisable(GL_TEXTURE_2D);
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ONE);
        haze_disc(0.0, 0.0);
        glPopAttrib();
        const Frame f = read_frame();
        if (turn == 90.0) {
            EXPECT_EQ(f.count_not(0), 0);
        } else {
            // Half brightness at its centre, violet (0.8, 0.5, 1).
            const uint8_t *c = f.at(W / 2 - int(40.0 / 100.0 * (H / 2) / std::tan(M_PI / 6)), H / 2);
            EXPECT_NEAR(c[2], 127, 6);
            EXPECT_NEAR(c[0], 0.8 * c[2], 3);
            EXPECT_NEAR(c[1], 0.5 * c[2], 3);
        }
    }
}

// ---------------------------------------------------------------------------
// Metaballs

TEST_F(CloseScenes, MetaballsFurInTheMiddleGreenDotsAroundFlashAndFade)
{
    const Frame f = draw_frame([] { metaball_scene_draw(183.0, 0); });
    // The lit fur is warm (red over green over blue); the dots are dim green.
    int64_t fur = 0, dots = 0;
    for (size_t i = 0; i < f.px.size(); i += 3) {
        const uint8_t *p = &f.px[i];
        fur += p[0] > 120 && p[0] > p[1] && p[1] > p[2] + 40;
        dots += p[1] > 20 && p[1] > p[0] + 10 && p[1] < 200;
    }
    EXPECT_GT(fur, 30000);
    EXPECT_GT(dots, 30000);
    knobs.knob[6] = 127.0;
    EXPECT_EQ(draw_frame([] { metaball_scene_draw(190.0, 3); }).count_not(255), 0);
    knobs.knob[6] = 0.0;
    knobs.knob[7] = 127.0;
    EXPECT_EQ(draw_frame([] { metaball_scene_draw(190.0, 3); }).count_not(0), 0);
}

// ---------------------------------------------------------------------------
// Forest

TEST_F(CloseScenes, ForestBeforeItsStartIsPlainWhiteAndEachSectionOpensWhite)
{
    EXPECT_EQ(draw_frame([] { forest_draw(-0.5); }).count_not(255), 0);
    // f = 0 at the start of sections 0 and 2: add_white(1).
    EXPECT_EQ(draw_frame([] { forest_draw(0.0); }).count_not(255), 0);
    EXPECT_EQ(draw_frame([] { forest_draw(2.0 / FOREST_SECTION_RATE + 1e-9); }).count_not(255), 0);
}

TEST_F(CloseScenes, ForestTreesAreBlackAndTheFogAndFarTreesTakeTheSectionTint)
{
    // Deep in a section the near firs fill much of the view, pure black.
    const Frame near = draw_frame([] { forest_draw(6.8); });
    int64_t black = 0;
    for (size_t i = 0; i < near.px.size(); i += 3) black += near.px[i] + near.px[i + 1] + near.px[i + 2] == 0;
    EXPECT_GT(black, W * H / 3);
    // Where the sky shows through the far trees and the fog it is tinted:
    // green in section 4, red in 5, blue in 6.
    const double when[3] = {21.05, 25.55, 30.8};
    const int tint[3] = {1, 0, 2};
    for (int s = 0; s < 3; ++s) {
        const double t = when[s];
        ASSERT_EQ(forest_section(t).k, 4 + s);
        const Frame f = draw_frame([t] { forest_draw(t); });
        int64_t tinted = 0, wins = 0;
        for (size_t i = 0; i < f.px.size(); i += 3) {
            const uint8_t *p = &f.px[i];
            if (std::max({p[0], p[1], p[2]}) - std::min({p[0], p[1], p[2]}) <= 40) continue;
            ++tinted;
            wins += p[tint[s]] == std::max({p[0], p[1], p[2]});
        }
        EXPECT_GT(tinted, 3000) << t;
        EXPECT_GT(wins, tinted * 9 / 10) << t;
    }
}

// ---------------------------------------------------------------------------
// Signature

namespace {

// Window pixels of a box given in the scene's units at stretch sx (y scale 1.5).
struct Box {
    int x0, x1, y0, y1;
};
Box window_box(double x0, double x1, double sx)
{
    return {int(std::lround(400 + 2 * sx * x0)), int(std::lround(400 + 2 * sx * x1)), 300 - 12, 300 + 12};
}

// Pixels at least `level` in the red channel: inside the box, and outside it
// by more than the glow's reach.
void count_lit(const Frame &f, const Box &b, int level, int64_t *inside, int64_t *far_outside)
{
    *inside = *far_outside = 0;
    const int reach = 40;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            if (f.at(x, y)[0] < level) continue;
            if (x >= b.x0 && x < b.x1 && y >= b.y0 && y < b.y1) ++*inside;
            if (x < b.x0 - reach || x >= b.x1 + reach || y < b.y0 - reach || y >= b.y1 + reach) ++*far_outside;
        }
}

} // namespace

TEST_F(CloseScenes, SignatureCursorAloneThenBlinkingOnceTheLineIsComplete)
{
    int64_t inside = 0, outside = 0;
    const Box alone = window_box(-35, -28, 1.5);
    const Frame nothing_typed = draw_frame([] { signature_draw(0.5); });
    count_lit(nothing_typed, alone, 250, &inside, &outside);
    EXPECT_EQ(inside, int64_t(alone.x1 - alone.x0) * (alone.y1 - alone.y0));
    count_lit(nothing_typed, alone, 1, &inside, &outside);
    EXPECT_EQ(outside, 0);

    knobs.knob[0] = 127.0;
    const Box cursor = window_box(29, 36, 1.5);
    int64_t on = 0, off = 0;
    count_lit(draw_frame([] { signature_draw(0.0); }), cursor, 250, &on, &outside);
    count_lit(draw_frame([] { signature_draw(0.5); }), cursor, 250, &off, &outside);
    EXPECT_EQ(on, int64_t(cursor.x1 - cursor.x0) * (cursor.y1 - cursor.y0));
    EXPECT_EQ(off, 0);
}

TEST_F(CloseScenes, SignatureKnob6StretchesAndDimsKnob7Flashes)
{
    knobs.knob[0] = 127.0;
    knobs.knob[6] = 63.5;  // stretch 2, grey one half
    const Frame half = draw_frame([] { signature_draw(0.0); });
    int64_t inside = 0, outside = 0;
    // The cursor, now past where the line ended at rest, and the first
    // character, now left of where it began.
    const Box cursor = window_box(29, 36, 2.0);
    count_lit(half, cursor, 120, &inside, &outside);
    EXPECT_GE(inside, int64_t(cursor.x1 - cursor.x0 - 2) * (cursor.y1 - cursor.y0 - 2));
    EXPECT_GT(cursor.x0, window_box(-36, 36, 1.5).x1);
    count_lit(half, window_box(-36, -30, 2.0), 120, &inside, &outside);
    EXPECT_GT(inside, 20);
    EXPECT_LT(window_box(-36, -30, 2.0).x1, window_box(-36, 36, 1.5).x0);
    count_lit(half, window_box(-36, 36, 2.0), 1, &inside, &outside);
    EXPECT_EQ(outside, 0);

    knobs.knob[6] = 127.0;
    EXPECT_EQ(draw_frame([] { signature_draw(0.0); }).count_not(0), 0);
    knobs.knob[6] = 0.0;
    knobs.knob[7] = 127.0;
    EXPECT_EQ(draw_frame([] { signature_draw(0.0); }).count_not(255), 0);
}
