// The meadow title on a real 800x600 window (Xvfb + Mesa): visible facts of
// its frame read back from the GL (the letterbox bars and their masked
// corners, the subtitle's alpha threshold, the flash).
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <vector>

#include "gfx/precalc.h"
#include "scenes/meadow_title.h"
#include "scenes/scenes.h"
#include "shell/shell.h"
#include "timeline/timeline.h"

namespace {

constexpr int W = 800, H = 600;

struct Frame {
    std::vector<uint8_t> px = std::vector<uint8_t>(size_t(W) * H * 3);
    const uint8_t *at(int x, int y) const { return &px[(size_t(y) * W + x) * 3]; }
};

Frame read_frame()
{
    Frame f;
    glReadPixels(0, 0, W, H, GL_RGB, GL_UNSIGNED_BYTE, f.px.data());
    return f;
}

Frame draw_meadow_title(double t, double k1, double k6, double k7)
{
    knobs = {};
    knobs.knob[0] = 64.0;
    knobs.knob[1] = k1;
    knobs.knob[4] = 127.0;
    knobs.knob[6] = k6;
    knobs.knob[7] = k7;
    glPushAttrib(TIMELINE_ATTRIB_MASK);
    meadow_title_draw(t);
    glPopAttrib();
    return read_frame();
}

class MeadowTitleScene : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char prog[] = "test_meadow_title_gl", windowed[] = "-w";
        char *argv[] = {prog, windowed, nullptr};
        startup_video(2, argv, W, H);
        precalculate();
    }
};

} // namespace

TEST_F(MeadowTitleScene, LetterboxBarsAreBlackToTheirHeight)
{
    // knob7 = 63.5: each bar covers half of its half-screen, 150 rows.
    Frame f = draw_meadow_title(80.0, 0.0, 0.0, 63.5);
    int lit = 0;
    for (int y : {0, 75, 148, 452, 520, 599})
        for (int x = 0; x < W; ++x) lit += f.at(x, y)[0] + f.at(x, y)[1] + f.at(x, y)[2] > 0;
    EXPECT_EQ(lit, 0);
    int meadow = 0;
    for (int x = 100; x < 700; ++x) meadow += f.at(x, 300)[1] > 0;
    EXPECT_GT(meadow, 500);
    // The inner corners are masked black where bar edge and screen edge meet.
    EXPECT_LT(f.at(1, 151)[1], 10);
    EXPECT_LT(f.at(W - 2, 448)[1], 10);

    // No bars: only the outermost corners are masked; the edges' middles show the meadow.
    f = draw_meadow_title(80.0, 0.0, 0.0, 0.0);
    EXPECT_LT(f.at(0, 0)[1], 10);
    EXPECT_LT(f.at(W - 1, H - 1)[1], 10);
    EXPECT_GT(f.at(400, 0)[1], 0);
    EXPECT_GT(f.at(400, H - 1)[1], 0);
}

TEST_F(MeadowTitleScene, SubtitleFadesInOnlyAboveTheAlphaThresholdAndFlashWhitens)
{
    const Frame none = draw_meadow_title(80.0, 0.0, 0.0, 27.0);
    const Frame faint = draw_meadow_title(80.0, 12.7, 0.0, 27.0);
    const Frame full = draw_meadow_title(80.0, 127.0, 0.0, 27.0);
    EXPECT_EQ(faint.px, none.px);
    // At full opacity the light-yellow text shows in its band around y = -0.4
    // (window row 180), and nowhere else.
    int changed_band = 0, changed_elsewhere = 0;
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const bool differs = full.at(x, y)[0] != none.at(x, y)[0];
            (y > 150 && y < 210 ? changed_band : changed_elsewhere) += differs;
        }
    }
    EXPECT_GT(changed_band, 2000);
    EXPECT_EQ(changed_elsewhere, 0);

    const Frame white = draw_meadow_title(80.0, 127.0, 127.0, 27.0);
    int not_white = 0;
    for (uint8_t v : white.px) not_white += v != 255;
    EXPECT_EQ(not_white, 0);
}
