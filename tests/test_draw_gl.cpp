// The drawing helpers on a real 800x600 window (Xvfb + Mesa), checked by
// reading the frame back: fades, flash, scanline rows, the glow's reach and
// restore, the indexed-mesh drawer; the post effects against their direct
// form, and array batches against display lists of the same calls.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "gfx/array_batch.h"
#include "gfx/draw.h"
#include "shell/shell.h"

namespace {

constexpr int W = 800, H = 600;

struct Frame {
    std::vector<uint8_t> px = std::vector<uint8_t>(W * H * 3);
    const uint8_t *at(int x, int y) const { return &px[(size_t(y) * W + x) * 3]; }
};

Frame read_frame()
{
    Frame f;
    glReadPixels(0, 0, W, H, GL_RGB, GL_UNSIGNED_BYTE, f.px.data());
    return f;
}

// Fills the frame with an asymmetric picture: a vertical gradient of red, a
// horizontal one of green and a constant blue, so flips and swaps show.
void draw_test_picture()
{
    glViewport(0, 0, W, H);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, W, 0, H, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_RECTANGLE);
    glBegin(GL_QUADS);
    glColor3ub(0, 0, 160);
    glVertex2i(0, 0);
    glColor3ub(0, 250, 160);
    glVertex2i(W, 0);
    glColor3ub(250, 250, 160);
    glVertex2i(W, H);
    glColor3ub(250, 0, 160);
    glVertex2i(0, H);
    glEnd();
}

void clear_to(float r, float g, float b)
{
    glClearColor(r, g, b, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void fill_rect(int x0, int y0, int x1, int y1, uint8_t v)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, W, 0, H, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_BLEND);
    glColor3ub(v, v, v);
    glRecti(x0, y0, x1, y1);
}

int max_channel_diff(const Frame &a, const Frame &b)
{
    int worst = 0;
    for (size_t i = 0; i < a.px.size(); ++i) worst = std::max(worst, std::abs(int(a.px[i]) - int(b.px[i])));
    return worst;
}

class DrawGl : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static bool opened = false;
        if (opened) return;
        static char arg0[] = "test", arg1[] = "-w";
        static char *argv[] = {arg0, arg1, nullptr};
        // A value chosen by the user must survive start-up.
        setenv("__GL_SYNC_TO_VBLANK", "0", 1);
        startup_video(2, argv, W, H);
        opened = true;
    }
    void SetUp() override { glPushAttrib(0x69C9); }
    void TearDown() override { glPopAttrib(); }
};

} // namespace

TEST_F(DrawGl, FadeAndFlashAtTheirEnds)
{
    draw_test_picture();
    const Frame before = read_frame();
    fade_to_black(0.0);
    EXPECT_EQ(max_channel_diff(before, read_frame()), 0);
    add_white(0.0);
    EXPECT_EQ(max_channel_diff(before, read_frame()), 0);

    fade_to_black(0.5);
    const Frame half = read_frame();
    for (int i : {0, 1000, 700000, int(before.px.size()) - 1})
        EXPECT_NEAR(half.px[i], before.px[i] / 2.0, 1.5) << "byte " << i;

    draw_test_picture();
    add_white(0.25);
    const Frame lighter = read_frame();
    // Red 250 saturates, blue 160 gains a quarter of full scale.
    EXPECT_EQ(lighter.at(0, H - 1)[0], 255);
    EXPECT_NEAR(lighter.at(0, H - 1)[2], 160 + 64, 1);

    fade_to_black(1.0);
    Frame black = read_frame();
    for (uint8_t v : black.px) ASSERT_EQ(v, 0);
    add_white(1.0);
    Frame white = read_frame();
    for (uint8_t v : white.px) ASSERT_EQ(v, 255);
}

TEST_F(DrawGl, ScanlinesDarkenEveryOtherPairOfRows)
{
    clear_to(1, 1, 1);
    draw_scanlines();
    const Frame f = read_frame();
    int dark_rows = 0;
    for (int y = 0; y < H; ++y) {
        const bool dark = (y & 2) != 0;
        dark_rows += dark;
        for (int x : {0, 1, 399, 799}) {
            ASSERT_EQ(f.at(x, y)[0], dark ? 200 : 255) << "row " << y << " column " << x;
            ASSERT_EQ(f.at(x, y)[2], dark ? 200 : 255);
        }
    }
    EXPECT_EQ(dark_rows, 300);
    EXPECT_EQ(f.at(5, 598)[1], 200);
    EXPECT_EQ(f.at(5, 599)[1], 200);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
}

TEST_F(DrawGl, GlowOnBlackStaysBlack)
{
    clear_to(0, 0, 0);
    apply_glow();
    const Frame f = read_frame();
    for (uint8_t v : f.px) ASSERT_EQ(v, 0);
}

TEST_F(DrawGl, GlowSpreadsAroundABrightRegionOnlySoFar)
{
    clear_to(0, 0, 0);
    // A white square aligned to the quarter-size grid, far from the corner the
    // glow works in, so that corner must be restored to black.
    const int x0 = 480, y0 = 320, x1 = 560, y1 = 400;
    fill_rect(x0, y0, x1, y1, 255);
    apply_glow();
    const Frame f = read_frame();

    // Inside stays white; just outside is lit.
    EXPECT_EQ(f.at(520, 360)[0], 255);
    EXPECT_GT(f.at(x1 + 4, 360)[0], 20);
    EXPECT_GT(f.at(520, y0 - 5)[1], 20);
    // Eight quarter-size texels (32 pixels) per side at most, plus one texel of
    // linear stretch: nothing beyond 40 pixels.
    const int reach = 40;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const bool near = x >= x0 - reach && x < x1 + reach && y >= y0 - reach && y < y1 + reach;
            if (!near) {
                ASSERT_EQ(f.at(x, y)[0] + f.at(x, y)[1] + f.at(x, y)[2], 0) << x << "," << y;
            }
        }
    // The glow is symmetric: as much light left of the square as right of it.
    EXPECT_NEAR(f.at(x0 - 10, 360)[0], f.at(x1 + 9, 360)[0], 12);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_RECTANGLE));
}

TEST_F(DrawGl, GlowRestoresTheFrameUnderTheWorkingCorner)
{
    draw_test_picture();
    fade_to_black(0.9); // dim enough that the glow adds little
    const Frame before = read_frame();
    apply_glow();
    const Frame after = read_frame();
    // The bottom-left corner, where the glow is computed, shows the frame again
    // (plus a faint glow), not the shrunken copy.
    for (int y = 0; y < 150; y += 7)
        for (int x = 0; x < 200; x += 7)
            for (int c = 0; c < 3; ++c) {
                ASSERT_GE(after.at(x, y)[c], before.at(x, y)[c]);
                ASSERT_LE(after.at(x, y)[c], before.at(x, y)[c] + 12) << x << "," << y;
            }
}

TEST_F(DrawGl, IndexedMeshDrawsTrianglesThenQuadsAtTheOffset)
{
    clear_to(0, 0, 0);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, W, 0, H, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glColor3ub(255, 255, 255);
    const MeshVertex v[6] = {
        {0, 0, 0, 0, 0, 1},   {100, 0, 0, 0, 0, 1}, {0, 100, 0, 0, 0, 1},
        {200, 0, 0, 0, 0, 1}, {300, 0, 0, 0, 0, 1}, {300, 50, 0, 0, 0, 1},
    };
    const int32_t tris[3] = {0, 1, 2};
    const int32_t quads[4] = {3, 4, 5, 5}; // degenerate quad: a triangle
    draw_indexed_mesh({100, 200, 0}, v, 1, tris, 1, quads);
    const Frame f = read_frame();
    EXPECT_EQ(f.at(110, 210)[0], 255);  // inside the triangle, offset applied
    EXPECT_EQ(f.at(10, 10)[0], 0);      // where it would be without the offset
    EXPECT_EQ(f.at(195, 290)[0], 0);    // outside the hypotenuse
    EXPECT_EQ(f.at(395, 205)[0], 255);  // inside the quad
    draw_indexed_mesh({0, 0, 0}, v, 0, tris, 0, quads); // empty batches are fine
    GLdouble m[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, m);
    EXPECT_EQ(m[12], 0.0) << "the modelview matrix is popped again";
}

// The post effects in their direct form, step by step: each screen texture
// redefined by every copy and filtered linearly, the whole frame drawn back
// after the glow, one pixel transfer per darkened row, every overlay quad
// drawn. The helpers take shorter ways to the same pixels.
namespace direct {

void screen_quad(int w, int h, int dx, int dy) { draw_screen_quad(w, h, dx, dy); }

void ortho()
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1, 1, -1, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void copy(uint32_t tex, GLenum format, int w, int h)
{
    glBindTexture(GL_TEXTURE_RECTANGLE, tex);
    glCopyTexImage2D(GL_TEXTURE_RECTANGLE, 0, format, 0, 0, w, h, 0);
}

void glow()
{
    const int qw = W / 4, qh = H / 4;
    copy(screen_copy_tex, GL_RGB, W, H);
    glViewport(0, 0, qw, qh);
    ortho();
    glEnable(GL_TEXTURE_RECTANGLE);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glColor3d(1, 1, 1);
    screen_quad(W, H, 0, 0);
    copy(glow_mask_tex, GL_LUMINANCE, qw, qh);
    glEnable(GL_BLEND);
    glBlendFunc(GL_DST_COLOR, GL_ZERO);
    screen_quad(qw, qh, 0, 0);
    copy(glow_tex, GL_RGB, qw, qh);
    for (int round = 0; round < 8; ++round) {
        const bool across = round % 2 == 0;
        glDisable(GL_BLEND);
        glColor3d(0.4, 0.4, 0.4);
        screen_quad(qw, qh, 0, 0);
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ONE);
        for (int d : {1, -1, 2, -2}) {
            const double g = d == 1 || d == -1 ? (across ? 0.2 : 0.3) : 0.1;
            glColor3d(g, g, g);
            screen_quad(qw, qh, across ? d : 0, across ? 0 : d);
        }
        copy(glow_tex, GL_RGB, qw, qh);
    }
    glViewport(0, 0, W, H);
    glBindTexture(GL_TEXTURE_RECTANGLE, screen_copy_tex);
    glDisable(GL_BLEND);
    glColor3d(1, 1, 1);
    screen_quad(W, H, 0, 0);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glBindTexture(GL_TEXTURE_RECTANGLE, glow_tex);
    screen_quad(W / 4, H / 4, 0, 0);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_RECTANGLE);
    for (uint32_t tex : {screen_copy_tex, glow_tex, glow_mask_tex}) {
        glBindTexture(GL_TEXTURE_RECTANGLE, tex);  // as start-up left them
        glTexImage2D(GL_TEXTURE_RECTANGLE, 0, tex == glow_mask_tex ? GL_LUMINANCE : GL_RGB,
                     tex == screen_copy_tex ? W : W / 4, tex == screen_copy_tex ? H : H / 4, 0,
                     tex == glow_mask_tex ? GL_LUMINANCE : GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    }
}

void overlay(GLenum src, GLenum dst, double grey)
{
    ortho();
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(src, dst);
    glColor3d(grey, grey, grey);
    screen_quad(0, 0, 0, 0);
}

void scanlines()
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1, 1, -H / 2, H / 2, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glBlendFunc(GL_DST_COLOR, GL_ZERO);
    for (int r = 1; r < H; ++r) {
        if ((r & 2) == 0) continue;
        glRasterPos2i(-1, r - H / 2);
        glDrawPixels(W, 1, GL_LUMINANCE, GL_UNSIGNED_BYTE, scanline_row);
    }
    glDisable(GL_BLEND);
}

}  // namespace direct

TEST_F(DrawGl, PostEffectsGiveThePixelsOfTheirDirectForm)
{
    // With fog on, as several scenes leave it, and a bright spot for the glow.
    const auto picture = [] {
        glDisable(GL_FOG);
        draw_test_picture();
        fill_rect(300, 200, 360, 260, 255);
        fill_rect(20, 30, 60, 50, 230);  // in the glow's working corner
        glFogi(GL_FOG_MODE, GL_LINEAR);
        glFogf(GL_FOG_START, 10.0f);
        glFogf(GL_FOG_END, 100.0f);
        glEnable(GL_FOG);
    };
    struct Step {
        const char *name;
        void (*helper)();
        void (*reference)();
    };
    const Step steps[] = {
        {"glow", apply_glow, direct::glow},
        {"scanlines", draw_scanlines, direct::scanlines},
        {"fade", [] { fade_to_black(0.3); }, [] { direct::overlay(GL_DST_COLOR, GL_ZERO, 0.7); }},
        {"no fade", [] { fade_to_black(0.0); }, [] { direct::overlay(GL_DST_COLOR, GL_ZERO, 1.0); }},
        {"flash", [] { add_white(0.4); }, [] { direct::overlay(GL_ONE, GL_ONE, 0.4); }},
        {"no flash", [] { add_white(0.0); }, [] { direct::overlay(GL_ONE, GL_ONE, 0.0); }},
    };
    for (const Step &step : steps) {
        picture();
        const Frame start = read_frame();
        step.reference();
        const Frame expected = read_frame();
        picture();
        step.helper();
        EXPECT_TRUE(glIsEnabled(GL_FOG)) << step.name;
        EXPECT_EQ(max_channel_diff(expected, read_frame()), 0) << step.name;
        if (std::string(step.name).rfind("no ", 0) != 0) {
            EXPECT_GT(max_channel_diff(start, expected), 20) << step.name << " changes the picture";
        }
    }
    glDisable(GL_FOG);
}

// The same calls through an array batch and compiled into a display list:
// quads merged across primitives, a strip and a fan, per-vertex colours and
// texture coordinates, and geometry cut by the left edge and the near plane.
template <class Calls> void batch_geometry()
{
    Calls::begin(GL_QUADS);
    for (int i = 0; i < 400; ++i) {  // 1600 vertices: more than one of the driver's segments
        const double x = -9.0 + 0.05 * i, z = -4.0 - 0.03 * i;
        Calls::color(0.1 * (i % 10), 0.5, 1.0 - 0.02 * i, 1.0);
        Calls::texcoord(0.0, 0.0);
        Calls::vertex(x, -2.0, z);
        Calls::texcoord(1.3, 0.0);
        Calls::vertex(x + 0.4, -1.9, z - 0.5);
        Calls::color(0.9, 0.1 * (i % 7), 0.3, 1.0);
        Calls::texcoord(1.3, 1.7);
        Calls::vertex(x + 0.45, 1.5, z + 3.5);  // runs through the near plane
        Calls::texcoord(0.0, 1.7);
        Calls::vertex(x - 0.1, 1.4, z);
    }
    Calls::end();
    Calls::begin(GL_QUADS);  // merged with the quads before it
    Calls::color(0.2, 0.9, 0.2, 1.0);
    Calls::texcoord(0.5, 0.5);
    Calls::vertex(-6.0, 2.0, -6.0);
    Calls::vertex(-1.0, 2.2, -7.0);
    Calls::texcoord(2.0, 2.0);
    Calls::vertex(-1.5, 4.0, -7.0);
    Calls::vertex(-7.5, 3.5, -5.0);
    Calls::end();
    Calls::begin(GL_QUAD_STRIP);
    for (int i = 0; i <= 20; ++i) {
        Calls::color(0.05 * i, 0.3, 0.6, 1.0);
        Calls::texcoord(0.2 * i, 0.0);
        Calls::vertex(-3.0 + 0.4 * i, -3.0 + 0.1 * i, -8.0 + 0.35 * i);
        Calls::texcoord(0.2 * i, 1.0);
        Calls::vertex(-3.0 + 0.4 * i, -2.2 + 0.1 * i, -8.0 + 0.35 * i);
    }
    Calls::end();
    Calls::begin(GL_TRIANGLE_FAN);
    Calls::color(1.0, 1.0, 0.2, 1.0);
    Calls::texcoord(0.5, 0.5);
    Calls::vertex(3.0, 2.0, -9.0);
    for (int k = 0; k <= 12; ++k) {
        const double a = k * 0.5236;
        Calls::color(0.3 + 0.05 * k, 0.2, 0.7, 1.0);
        Calls::texcoord(0.5 + std::cos(a), 0.5 + std::sin(a));
        Calls::vertex(3.0 + 4.0 * std::cos(a), 2.0 + 4.0 * std::sin(a), -9.0);
    }
    Calls::color(0.25, 0.5, 0.75, 1.0);  // after the last vertex: a list drops it
    Calls::end();
}

struct ListCalls {
    static void begin(GLenum mode) { glBegin(mode); }
    static void color(double r, double g, double b, double a) { glColor4d(r, g, b, a); }
    static void texcoord(double s, double t) { glTexCoord2d(s, t); }
    static void vertex(double x, double y, double z) { glVertex3d(x, y, z); }
    static void end() { glEnd(); }
};

struct ArrayCalls {
    static void begin(GLenum mode) { array_begin(mode); }
    static void color(double r, double g, double b, double a) { array_color(r, g, b, a); }
    static void texcoord(double s, double t) { array_texcoord(s, t); }
    static void vertex(double x, double y, double z) { array_vertex(x, y, z); }
    static void end() { array_end(); }
};

TEST_F(DrawGl, ArrayBatchDrawsWhatTheSameCallsInADisplayListDraw)
{
    static const uint8_t checker[4 * 4 * 3] = {
        255, 255, 255, 40, 40, 40, 255, 255, 255, 40, 40, 40, 40, 40, 40, 255, 255, 255,
        40, 40, 40, 255, 255, 255, 200, 90, 90, 90, 200, 90, 90, 90, 200, 255, 255, 255,
        10, 10, 10, 128, 128, 128, 255, 255, 255, 60, 60, 60};
    GLuint tex = 0, list = glGenLists(1);
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 4, 4, 0, GL_RGB, GL_UNSIGNED_BYTE, checker);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    const auto scene = [] {
        clear_to(0, 0, 0);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glFrustum(-1.0, 1.0, -0.75, 0.75, 1.0, 100.0);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_TEXTURE_2D);
        glColor4d(0.0, 0.0, 0.0, 1.0);
    };

    scene();
    glNewList(list, GL_COMPILE);
    batch_geometry<ListCalls>();
    glEndList();
    glCallList(list);
    GLfloat list_colour[4];
    glGetFloatv(GL_CURRENT_COLOR, list_colour);
    const Frame from_list = read_frame();

    scene();
    array_batch_begin(ARRAY_COLOR | ARRAY_TEXCOORD);
    batch_geometry<ArrayCalls>();
    array_batch_end();
    GLfloat array_colour[4];
    glGetFloatv(GL_CURRENT_COLOR, array_colour);
    const Frame from_arrays = read_frame();
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glDeleteLists(list, 1);
    glDeleteTextures(1, &tex);

    int lit = 0;
    for (size_t i = 0; i < from_list.px.size(); i += 3) lit += from_list.px[i] + from_list.px[i + 1] > 0;
    EXPECT_GT(lit, 40000) << "the geometry covers a good part of the frame";
    EXPECT_EQ(max_channel_diff(from_list, from_arrays), 0);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(list_colour[k], array_colour[k]) << "current colour " << k;
        // The last vertex's: a colour given after it does not stay.
        EXPECT_EQ(array_colour[k], float(std::array<double, 4>{0.9, 0.2, 0.7, 1.0}[k]));
    }
}

TEST_F(DrawGl, StartupKeepsTheUsersVsyncChoiceAndMakesTheScreenTextures)
{
    EXPECT_STREQ(getenv("__GL_SYNC_TO_VBLANK"), "0");
    EXPECT_EQ(screen_width, W);
    EXPECT_EQ(screen_height, H);
    EXPECT_EQ(scanline_row[0], 200);
    EXPECT_EQ(scanline_row[1023], 200);

    struct Expect {
        uint32_t tex;
        GLint w, h, format;
    };
    const Expect textures[] = {{screen_copy_tex, W, H, GL_RGB},
                               {glow_tex, W / 4, H / 4, GL_RGB},
                               {glow_mask_tex, W / 4, H / 4, GL_LUMINANCE}};
    EXPECT_TRUE(screen_copy_tex != glow_tex && glow_tex != glow_mask_tex);
    for (const Expect &e : textures) {
        glBindTexture(GL_TEXTURE_RECTANGLE, e.tex);
        GLint w = 0, h = 0, format = 0, min_filter = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_RECTANGLE, 0, GL_TEXTURE_WIDTH, &w);
        glGetTexLevelParameteriv(GL_TEXTURE_RECTANGLE, 0, GL_TEXTURE_HEIGHT, &h);
        glGetTexLevelParameteriv(GL_TEXTURE_RECTANGLE, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
        glGetTexParameteriv(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MIN_FILTER, &min_filter);
        EXPECT_EQ(w, e.w);
        EXPECT_EQ(h, e.h);
        EXPECT_EQ(format, e.format);
        EXPECT_EQ(min_filter, GL_LINEAR);
    }
}
