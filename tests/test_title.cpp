// The title scene in pixels (needs an X server: run under Xvfb). The frame is
// compared with the same picture composed on the CPU from the image arrays, so
// positions, orientation (the logo is stored top row first, the store's
// pictures bottom row first), opacity and the flash are all checked.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <vector>

#include "gfx/precalc.h"
#include "scenes/scenes.h"
#include "shell/shell.h"
#include "tests/test_shot_title_picture.h"
#include "timeline/timeline.h"

namespace {

constexpr int TOLERANCE = 4;      // Mesa versions round blends differently
constexpr int64_t MAX_OFF = 200;  // of 480000 pixels

std::vector<uint8_t> frame(size_t(PIC_W) * PIC_H * 3);

const uint8_t *draw_title(double k0, double k1, double k2, double k3)
{
    knobs = {};
    knobs.knob[0] = k0;
    knobs.knob[1] = k1;
    knobs.knob[2] = k2;
    knobs.knob[3] = k3;
    glPushAttrib(TIMELINE_ATTRIB_MASK);
    title_draw();
    glPopAttrib();
    glReadPixels(0, 0, PIC_W, PIC_H, GL_RGB, GL_UNSIGNED_BYTE, frame.data());
    return frame.data();
}

class TitleScene : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char prog[] = "test_title", windowed[] = "-w";
        char *argv[] = {prog, windowed, nullptr};
        startup_video(2, argv, PIC_W, PIC_H);
        precalculate();
    }
};

} // namespace

TEST_F(TitleScene, PrecalculationLeavesTheTitleAtRest)
{
    EXPECT_EQ(knobs.knob[0], 127.0);
    EXPECT_EQ(knobs.knob[1], 127.0);
    EXPECT_EQ(knobs.knob[2], 127.0);
    for (uint32_t tex : fur_shell_tex) EXPECT_TRUE(glIsTexture(tex));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TitleScene, AtRestEveryPictureSitsTexelForPixel)
{
    Picture want = expected_title(127, 127, 127);
    ASSERT_GT(non_white_pixels(want), 5000);
    const PictureDiff d = compare_picture(draw_title(127, 127, 127, 0), want, TOLERANCE);
    EXPECT_LE(d.pixels_off, MAX_OFF) << "max diff " << d.max_diff;

    // The same pictures upside down must not match: the check sees orientation.
    Picture flipped;
    SourceImage logo = title_logo_image();
    logo.top_first = false;
    paste(&flipped, logo, 72, 288, 1.0);
    SourceImage gifts = store_image("ozklogo_presents");
    gifts.top_first = true;
    paste(&flipped, gifts, 300, 145, 1.0);
    EXPECT_GT(compare_picture(frame.data(), flipped, TOLERANCE).pixels_off, 1000);
}

TEST_F(TitleScene, SlideOvershootAndHalfOpacity)
{
    // knob 95.25 (b = 0.75): logo centre at x = +50, gifts centre at x = -50.
    Picture over = expected_title(95.25, 95.25, 0);
    PictureDiff d = compare_picture(draw_title(95.25, 95.25, 0, 0), over, TOLERANCE);
    EXPECT_LE(d.pixels_off, MAX_OFF) << "max diff " << d.max_diff;

    // knob0 63.5 (b = 0.5): the logo exactly at rest, half transparent.
    Picture half = expected_title(63.5, 0, 0);
    d = compare_picture(draw_title(63.5, 0, 0, 0), half, TOLERANCE);
    EXPECT_LE(d.pixels_off, MAX_OFF) << "max diff " << d.max_diff;
}

TEST_F(TitleScene, ZeroKnobsAndFullFlashAreWhite)
{
    Picture white;
    PictureDiff d = compare_picture(draw_title(0, 0, 0, 0), white, 0);
    EXPECT_EQ(d.pixels_off, 0);
    d = compare_picture(draw_title(127, 127, 127, 127), white, 0);
    EXPECT_EQ(d.pixels_off, 0);
    // A half flash lifts every dark pixel by about half the range.
    draw_title(127, 127, 127, 63.5);
    int dark = 0;
    for (size_t i = 0; i < frame.size(); ++i) dark += frame[i] < 126;
    EXPECT_EQ(dark, 0);
}
