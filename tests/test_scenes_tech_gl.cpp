// The dot screen, the bump tunnel and the blob tube on a real 800x600 window
// (Xvfb + Mesa), checked by reading pixels back: colours at places worked out
// from the scenes' geometry, regions that must be dark or light, and frames
// that must not depend on the frame drawn before them.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glx.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <utility>
#include <vector>

#include "gfx/precalc.h"
#include "gfx/subdiv_mesh.h"
#include "scenes/blob.h"
#include "scenes/bump.h"
#include "scenes/dotscreen.h"
#include "scenes/scenes.h"
#include "shell/shell.h"
#include "tests/gl_history.h"
#include "timeline/timeline.h"

namespace {

constexpr int W = 800, H = 600;

struct Frame {
    std::vector<uint8_t> px = std::vector<uint8_t>(W * H * 3);
    const uint8_t *at(int x, int y) const { return &px[(size_t(y) * W + x) * 3]; }
    bool operator==(const Frame &o) const { return px == o.px; }
};

Frame read_frame()
{
    Frame f;
    glReadPixels(0, 0, W, H, GL_RGB, GL_UNSIGNED_BYTE, f.px.data());
    return f;
}

// Window pixel of a point in the unit square of an orthographic view.
int px_x(double x) { return int(std::lround((x + 1.0) * 0.5 * W)); }
int px_y(double y) { return int(std::lround((y + 1.0) * 0.5 * H)); }

void expect_rgb(const uint8_t *p, int r, int g, int b, int tol, const char *what)
{
    EXPECT_NEAR(p[0], r, tol) << what;
    EXPECT_NEAR(p[1], g, tol) << what;
    EXPECT_NEAR(p[2], b, tol) << what;
}

// Vertex counts that leave the driver's buffer at different points.
constexpr int HISTORIES[] = {777, 5000, 12345};

void set_knobs(std::initializer_list<std::pair<int, double>> values, uint8_t flag = 0)
{
    knobs = {};
    for (const auto &[k, v] : values) knobs.knob[k] = v;
    knobs.scene_flag = flag;
}

class TechScenes : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char prog[] = "test_scenes_tech_gl", windowed[] = "-w";
        char *argv[] = {prog, windowed, nullptr};
        startup_video(2, argv, W, H);
        precalculate();
    }
    void SetUp() override { ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR)); }
    void TearDown() override { EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)); }
};

// ---------------------------------------------------------------------------
// Blob tube

// The sunburst alone (an empty mesh): every fan triangle takes the colour of
// its last rim vertex, so with knob3 = 127 the triangle from rim i to rim i+1
// is black when i+1 is odd and (0.9, 0.53, 0.3) when it is even.
TEST_F(TechScenes, BlobSunburstDarkensEverySecondRayAndTurns)
{
    subdiv_mesh.face_count = 0;
    const double cx = 0.35, cy = -0.4;
    auto ray_pixel = [&](const Frame &f, int i) {
        // On the median of triangle (centre, rim i, rim i+1), well inside the window.
        const double a0 = i * M_PI / 8.0, a1 = (i + 1) * M_PI / 8.0;
        const double mx = std::cos(a0) + std::cos(a1), my = std::sin(a0) + std::sin(a1);
        return f.at(px_x(cx + 0.3 * (mx - cx)), px_y(cy + 0.3 * (my - cy)));
    };
    for (const double u : {0.0, 1.0 / 80.0}) {
        // After u = 1/80 the rim has turned back by one step: the parity flips.
        const int flip = u > 0.0;
        set_knobs({{3, 127.0}});
        glPushAttrib(TIMELINE_ATTRIB_MASK);
        blob_mesh_draw(u);
        glPopAttrib();
        const Frame dark = read_frame();
        for (int i = 0; i < 16; ++i) {
            if ((i + 1 + flip) % 2)
                expect_rgb(ray_pixel(dark, i), 0, 0, 0, 1, "dark ray");
            else
                expect_rgb(ray_pixel(dark, i), 230, 135, 77, 2, "bright ray");
        }
        set_knobs({{3, 0.0}});
        glPushAttrib(TIMELINE_ATTRIB_MASK);
        blob_mesh_draw(u);
        glPopAttrib();
        const Frame bright = read_frame();
        for (int i = 0; i < 16; ++i) expect_rgb(ray_pixel(bright, i), 230, 135, 77, 2, "undarkened ray");
    }
}

// The whole frame: the lit red tube covers a good part of the view, and the
// scene keeps nothing from one frame to the next.
TEST_F(TechScenes, BlobFrameShowsTheTubeAndHasNoMemory)
{
    set_knobs({{3, 127.0}});
    auto draw = [](double t) {
        glPushAttrib(TIMELINE_ATTRIB_MASK);
        blob_scene_draw(t);
        glPopAttrib();
        return read_frame();
    };
    const Frame first = draw(5.0);
    draw(-12.0);
    EXPECT_TRUE(draw(5.0) == first);
    for (const int history : HISTORIES) {
        send_unseen_vertices(history);
        EXPECT_TRUE(draw(5.0) == first) << history;
    }

    int red = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const uint8_t *p = first.at(x, y);
            red += p[0] > p[1] + 40 && p[0] > p[2] + 40;
        }
    EXPECT_GT(red, W * H / 4);
}

// ---------------------------------------------------------------------------
// Bump tunnel

// The set-up loaded the fragment program with its 1238 characters, and Mesa
// took all of it.
TEST_F(TechScenes, BumpProgramLoadsWithoutError)
{
    GLint error_at = 0;
    glGetIntegerv(GL_PROGRAM_ERROR_POSITION_ARB, &error_at);
    EXPECT_EQ(error_at, -1) << glGetString(GL_PROGRAM_ERROR_STRING_ARB);
    auto get_program = reinterpret_cast<PFNGLGETPROGRAMIVARBPROC>(
        glXGetProcAddressARB(reinterpret_cast<const GLubyte *>("glGetProgramivARB")));
    ASSERT_NE(get_program, nullptr);
    GLint length = 0, temporaries = 0;
    get_program(GL_FRAGMENT_PROGRAM_ARB, GL_PROGRAM_LENGTH_ARB, &length);
    get_program(GL_FRAGMENT_PROGRAM_ARB, GL_PROGRAM_TEMPORARIES_ARB, &temporaries);
    EXPECT_EQ(length, 1238);
    EXPECT_EQ(temporaries, 2);
}

// The same (t, n) gives the same frame whatever was drawn before; the flash
// covers everything.
TEST_F(TechScenes, BumpFrameHasNoMemoryAndTheFlashIsLast)
{
    auto draw = [](double t, int32_t n, double flash) {
        set_knobs({{6, flash}});
        glPushAttrib(TIMELINE_ATTRIB_MASK);
        bump_scene_draw(t, n);
        glPopAttrib();
        return read_frame();
    };
    const Frame first = draw(131.0, 961, 0.0);
    draw(140.5, 1024, 0.0);
    EXPECT_TRUE(draw(131.0, 961, 0.0) == first);
    for (const int history : HISTORIES) {
        send_unseen_vertices(history);
        EXPECT_TRUE(draw(131.0, 961, 0.0) == first) << history;
    }
    // Not an empty frame: bright fur, coloured walls and near-black shade.
    int bright = 0, dark = 0, coloured = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const uint8_t *p = first.at(x, y);
            const int lo = std::min({p[0], p[1], p[2]}), hi = std::max({p[0], p[1], p[2]});
            bright += lo > 180;
            dark += hi < 8;
            coloured += hi - lo > 30;
        }
    EXPECT_GT(bright, 2000);
    EXPECT_GT(dark, 2000);
    EXPECT_GT(coloured, 2000);

    const Frame white = draw(131.0, 961, 127.0);
    for (uint8_t v : white.px) ASSERT_EQ(v, 255);
}

// ---------------------------------------------------------------------------
// Dot screen

Frame draw_dotscreen(double t, int32_t n, uint8_t flag)
{
    set_knobs({}, flag);
    glPushAttrib(TIMELINE_ATTRIB_MASK);
    dotscreen_draw(t, n);
    glPopAttrib();
    return read_frame();
}

// The shade map is the jack read back: white around it, shades where it
// turns from the light, and n moves it sideways by 4 sin n.
TEST_F(TechScenes, DotShadeMapHoldsTheJack)
{
    auto dark_columns = [](int *first, int *last) {
        *first = SHADE_MAP_WIDTH;
        *last = -1;
        int dark = 0;
        for (int r = 0; r < SHADE_MAP_HEIGHT; ++r)
            for (int c = 0; c < SHADE_MAP_WIDTH; ++c)
                if (shade_map[r * SHADE_MAP_WIDTH + c] < 224) {
                    ++dark;
                    *first = std::min(*first, c);
                    *last = std::max(*last, c);
                }
        return dark;
    };
    draw_dotscreen(104.0, 0, 0);
    for (int c = 0; c < SHADE_MAP_WIDTH; ++c) {
        EXPECT_EQ(shade_map[c], 255);                                          // bottom row
        EXPECT_EQ(shade_map[(SHADE_MAP_HEIGHT - 1) * SHADE_MAP_WIDTH + c], 255);  // top row
    }
    int first = 0, last = 0;
    EXPECT_GT(dark_columns(&first, &last), 100);
    const int centred = first + last;
    // n = 11: sin 11 = -1.0, four units left; the jack is 9.75 across.
    draw_dotscreen(104.0, 11, 0);
    EXPECT_GT(dark_columns(&first, &last), 100);
    EXPECT_LT(first + last, centred - 20);
}

// With the flag clear the disc is plainly coloured (0.8, 0.5 + 0.3 sin t,
// 0.5) under white light and the dots only darken it, so at t = 3 pi / 2 no
// pixel is greener or bluer than it is red; the dots leave near-black marks.
// With the flag set the picture's blues show through and the dots lighten.
TEST_F(TechScenes, DotFlagSwapsTheLook)
{
    const double t = 3.0 * M_PI / 2.0;
    const Frame plain = draw_dotscreen(t, 7, 0);
    int redder = 0, black = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const uint8_t *p = plain.at(x, y);
            redder += p[0] >= p[1] && p[0] >= p[2];
            black += p[0] < 24;
        }
    EXPECT_EQ(redder, W * H);
    EXPECT_GT(black, 500);

    const Frame pictured = draw_dotscreen(t, 7, 1);
    int bluer = 0, black_too = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const uint8_t *p = pictured.at(x, y);
            bluer += p[2] > p[0] + 30;
            black_too += p[0] < 24 && p[1] < 24 && p[2] < 24;
        }
    EXPECT_GT(bluer, W * H / 20);
    EXPECT_LT(black_too, black / 10);
}

TEST_F(TechScenes, DotFrameHasNoMemory)
{
    const Frame first = draw_dotscreen(104.0, 54, 1);
    draw_dotscreen(93.0, 49, 0);
    EXPECT_TRUE(draw_dotscreen(104.0, 54, 1) == first);
    for (const int history : HISTORIES) {
        send_unseen_vertices(history);
        EXPECT_TRUE(draw_dotscreen(104.0, 54, 1) == first) << history;
    }
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], W);
    EXPECT_EQ(viewport[3], H);
}

} // namespace
