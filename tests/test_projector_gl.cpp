// The projector room on a real 800x600 window (Xvfb + Mesa): the set-up's
// sprites and picture textures read back, the old-film overlay over a white
// picture, and visible facts of the frame (the film on the screen quad, grey
// room and colour film in monochrome mode, the flare's white-out).
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <vector>

#include "gfx/image_store.h"
#include "gfx/precalc.h"
#include "scenes/projector.h"
#include "scenes/scenes.h"
#include "shell/shell.h"
#include "timeline/timeline.h"

namespace {

constexpr int W = 800, H = 600;

struct Frame {
    std::vector<uint8_t> px = std::vector<uint8_t>(size_t(W) * H * 3);
    const uint8_t *at(int x, int y) const { return &px[(size_t(y) * W + x) * 3]; }
    // Mean of channel ch over the square of side 2r + 1 around (x, y).
    double mean(int x, int y, int r, int ch) const
    {
        double sum = 0;
        for (int j = -r; j <= r; ++j)
            for (int i = -r; i <= r; ++i) sum += at(x + i, y + j)[ch];
        return sum / ((2 * r + 1) * (2 * r + 1));
    }
};

Frame read_frame()
{
    Frame f;
    glReadPixels(0, 0, W, H, GL_RGB, GL_UNSIGNED_BYTE, f.px.data());
    return f;
}

std::vector<uint8_t> texture_level0(uint32_t tex, GLenum format, int w, int h, int channels)
{
    std::vector<uint8_t> out(size_t(w) * h * channels);
    glBindTexture(GL_TEXTURE_2D, tex);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, format, GL_UNSIGNED_BYTE, out.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    return out;
}

void set_knobs(double k0, double k1, double k3, uint8_t flag)
{
    knobs = {};
    knobs.knob[0] = k0;
    knobs.knob[1] = k1;
    knobs.knob[3] = k3;
    knobs.knob[4] = 127.0;
    knobs.scene_flag = flag;
}

Frame draw_projector(double t)
{
    glPushAttrib(TIMELINE_ATTRIB_MASK);
    projector_draw(t);
    glPopAttrib();
    return read_frame();
}

// Window position of a room point for the room camera of the current knobs.
void room_to_window(double x, double y, double z, int *wx, int *wy)
{
    const RoomCamera c = room_camera(knobs.knob[0], knobs.knob[1], knobs.knob[3]);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(40.0, 4.0 / 3.0, 1.0, 200.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(c.eye.x, c.eye.y, c.eye.z, c.target.x, c.target.y, c.target.z, 0, 1, 0);
    double mv[16], pr[16], px, py, pz;
    glGetDoublev(GL_MODELVIEW_MATRIX, mv);
    glGetDoublev(GL_PROJECTION_MATRIX, pr);
    const GLint vp[4] = {0, 0, W, H};
    gluProject(x, y, z, mv, pr, vp, &px, &py, &pz);
    *wx = int(px);
    *wy = int(py);
}

class ProjectorScene : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char prog[] = "test_projector_gl", windowed[] = "-w";
        char *argv[] = {prog, windowed, nullptr};
        startup_video(2, argv, W, H);
        precalculate();
    }
};

} // namespace

TEST_F(ProjectorScene, SetUpSpritesAndPictureTextures)
{
    // Hair 0: a thin line in grey 0.45, not a fill.
    std::vector<uint8_t> hair = texture_level0(hair_tex[0], GL_LUMINANCE, 64, 64, 1);
    int lit = 0, brightest = 0;
    for (uint8_t v : hair) {
        lit += v > 20;
        brightest = std::max(brightest, int(v));
    }
    EXPECT_GE(brightest, 90);
    EXPECT_LE(brightest, 116);
    EXPECT_GT(lit, 40);
    EXPECT_LT(lit, 800);

    // Ghost: ten overlapping hexagons of 30 saturate the middle; corners empty.
    std::vector<uint8_t> ghost = texture_level0(ghost_tex, GL_LUMINANCE, 64, 64, 1);
    EXPECT_EQ(ghost[32 * 64 + 32], 255);
    EXPECT_EQ(ghost[0], 0);
    EXPECT_EQ(ghost[63 * 64 + 63], 0);

    // Bar 1 stands upright: bright middle column, dark side columns.
    std::vector<uint8_t> bar = texture_level0(bar_tex[1], GL_LUMINANCE, 64, 64, 1);
    EXPECT_GT(bar[32 * 64 + 32], 100);
    EXPECT_EQ(bar[32 * 64 + 8], 0);
    EXPECT_EQ(bar[32 * 64 + 56], 0);

    // Star: points at 30, 90, 150 degrees and opposite; nothing at 0 degrees.
    std::vector<uint8_t> star = texture_level0(star_tex, GL_RGB, 256, 256, 3);
    auto star_at = [&](double deg, double radius, int ch) {
        const int x = 128 + int(radius * std::cos(deg * M_PI / 180.0));
        const int y = 128 + int(radius * std::sin(deg * M_PI / 180.0));
        return int(star[(size_t(y) * 256 + x) * 3 + ch]);
    };
    for (double deg : {30.0, 90.0, 150.0, 270.0}) EXPECT_GT(star_at(deg, 70, 0), 60) << deg;
    EXPECT_LT(star_at(0.0, 70, 0), 15);
    EXPECT_GE(star_at(90.0, 70, 0), star_at(90.0, 70, 2));  // warm tint, red over blue

    // The disc and the picture textures hold exactly what their rules make.
    std::vector<uint8_t> disc = texture_level0(disc_tex, GL_LUMINANCE, 64, 64, 1);
    for (int v = -32; v < 32; ++v)
        for (int u = -32; u < 32; ++u) ASSERT_EQ(disc[(v + 32) * 64 + u + 32], disc_texel(u, v)) << u << "," << v;
    std::vector<uint8_t> reel = texture_level0(reel_tex, GL_ALPHA, REEL_IMAGE_SIZE, REEL_IMAGE_SIZE, 1);
    for (int i = 0; i < REEL_IMAGE_SIZE * REEL_IMAGE_SIZE; ++i) ASSERT_EQ(reel[i], quill_reel_image[3 * i]) << i;
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(ProjectorScene, OverlayScratchesHalveTheirColumns)
{
    // A white 256 x 256 film frame, aged at a moment when every scratch is
    // at least half its widest.
    const double t = 0.3;
    glViewport(0, 0, 256, 256);
    glClearColor(1, 1, 1, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    film_overlay(false, t);
    std::vector<uint8_t> px(256 * 256 * 3);
    glReadPixels(0, 0, 256, 256, GL_RGB, GL_UNSIGNED_BYTE, px.data());
    glViewport(0, 0, W, H);

    auto halved_rows = [&](int col) {
        int n = 0;
        for (int y = 0; y < 256; ++y) {
            const int v = px[(size_t(y) * 256 + col) * 3];
            n += v >= 120 && v <= 136;
        }
        return n;
    };
    for (int i = 0; i < 5; ++i) {
        double p, w;
        film_scratch(i, t, false, &p, &w);
        ASSERT_GT(w, 0.0025);
        const int col = int((p + 1.0) * 128.0);
        EXPECT_GT(halved_rows(col), 200) << "scratch " << i;
        EXPECT_EQ(halved_rows(col + 6), 0) << "scratch " << i;
    }
    // Dust: some pixels darkened by the hairs, which are neither halved nor white.
    int dusty = 0;
    for (size_t k = 0; k < px.size(); k += 3) dusty += px[k] < 110 || (px[k] > 140 && px[k] < 230);
    EXPECT_GT(dusty, 20);
}

TEST_F(ProjectorScene, GreyFilmInAColouredRoomAndTheReverseInMonoMode)
{
    // Dollied past the projector, looking at the screen.
    set_knobs(127.0 / 4.0, 0.0, 84.0, 0);
    int sx, sy, cx, cy;
    room_to_window(30.0, 5.0, 0.0, &sx, &sy);
    room_to_window(34.5, 10.0, 9.0, &cx, &cy);
    ASSERT_GT(sx, 40);
    ASSERT_LT(sx, W - 40);
    ASSERT_GT(sy, 40);
    ASSERT_LT(cy, H - 10);
    const double t = 31.0;

    Frame normal = draw_projector(t);
    // The film on the screen is luminance: grey, and not uniform.
    const double r = normal.mean(sx, sy, 30, 0), g = normal.mean(sx, sy, 30, 1), b = normal.mean(sx, sy, 30, 2);
    EXPECT_NEAR(r, g, 4.0);
    EXPECT_NEAR(g, b, 4.0);
    int lo = 255, hi = 0;
    for (int j = -30; j <= 30; ++j) {
        lo = std::min(lo, int(normal.at(sx + j, sy + j)[1]));
        hi = std::max(hi, int(normal.at(sx + j, sy + j)[1]));
    }
    EXPECT_GT(hi - lo, 60) << "no picture on the screen";
    // The curtains are red.
    EXPECT_GT(normal.mean(cx, cy, 3, 0), normal.mean(cx, cy, 3, 1) + 10.0);

    set_knobs(127.0 / 4.0, 0.0, 84.0, 1);
    Frame mono = draw_projector(t);
    // A colour meadow on the screen: green over blue.
    EXPECT_GT(mono.mean(sx, sy, 30, 1), mono.mean(sx, sy, 30, 2) + 15.0);
    // A grey room, under the overlay.
    EXPECT_NEAR(mono.mean(cx, cy, 3, 0), mono.mean(cx, cy, 3, 1), 2.0);
    EXPECT_NEAR(mono.mean(cx, cy, 3, 1), mono.mean(cx, cy, 3, 2), 2.0);
    EXPECT_GT(mono.mean(cx, cy, 3, 1), 3.0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(ProjectorScene, FlareWhitesOutTheFrameOnlyWhenTheLensFacesTheViewer)
{
    // Three quarters of a turn: the eye stands in front of the lens.
    set_knobs(127.0 * 3.0 / 4.0, 0.0, 0.0, 0);
    Frame facing = draw_projector(20.0);
    int darkest = 255;
    for (size_t k = 0; k < facing.px.size(); ++k) darkest = std::min(darkest, int(facing.px[k]));
    EXPECT_GE(darkest, 240);  // add_white(0.96) at least

    // From the side the lens axis is across the view: no flare at all.
    set_knobs(0.0, 0.0, 0.0, 0);
    Frame side = draw_projector(20.0);
    int dark = 0;
    for (size_t k = 0; k < side.px.size(); k += 3) dark += side.px[k] < 60;
    EXPECT_GT(dark, W * H / 4);
}
