// Meadow title: the projector's film meadow full screen and in colour, on a
// 40 x 40 field with its own random tables, under the show's name. Over the
// meadow come scanlines (and a glow when scene_flag is set), a soft shadow of
// 26 half-darkening discs drifting behind the lettering, the "quillmora"
// lettering added four times with small circling offsets (a warm, slightly
// blurred glow of the wood), a one-line subtitle in light yellow over a dark
// halo of three larger copies, black letterbox bars whose inner corners are
// rounded by a mask picture, and a white flash.
//
// The view of the overlays is [-1, 1]^2 over the window, y up. t is the
// timeline's time in seconds.
//
// Knobs (divided by 127 where used):
//   knob0  height of the title and its shadow: 0.0203125 per unit from 64
//   knob1  subtitle opacity; under the alpha test it shows only above 12.7
//   knob4  field of view of the meadow camera, 10 to 30 degrees
//   knob6  white flash
//   knob7  height of each letterbox bar as a fraction of the half-screen
//   scene_flag  adds the glow after the meadow
//
// Lighting uses the GL's default light 0 (white, shining along -z of eye
// space) and default material: the timeline's attribute bracket restores them
// around every scene call, and this scene sets neither. The alpha test
// (GL_GREATER 0.1) set for the flowers stays on to the end of the frame, so
// the overlays drop fragments whose alpha is 0.1 or less.
//
// The corner mask texture's (0, 0) corner sits where a bar's inner edge meets
// the screen edge; opaque mask turns the picture black. The subtitle and mask
// textures are the red channels of their pictures, used as alpha.
#include "scenes/meadow_title.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <numbers>

#include "gfx/draw.h"
#include "gfx/image_store.h"
#include "gfx/precalc.h"
#include "scenes/scenes.h"
#include "timeline/timeline.h"

uint32_t meadow_title_textures[4];

int8_t title_flower_tilt[MEADOW_TITLE_SIZE][MEADOW_TITLE_SIZE][2];
int8_t title_flower_offset[MEADOW_TITLE_SIZE][MEADOW_TITLE_SIZE][2];
int8_t title_meadow_grid[MEADOW_TITLE_SIZE][MEADOW_TITLE_SIZE];
const MeadowField title_meadow = {MEADOW_TITLE_SIZE, &title_flower_tilt[0][0][0], &title_flower_offset[0][0][0],
                                  &title_meadow_grid[0][0], true};

double title_meadow_noise(double a, double b)
{
    return grid_noise(&title_meadow_grid[0][0], MEADOW_TITLE_SIZE, a, b);
}

double title_height(double knob0)
{
    return (knob0 - 64.0) * 0.0203125;
}

// ---------------------------------------------------------------------------
// Set-up

// The red channel of an RGB picture as a mipmapped alpha texture.
static void upload_red_as_alpha(uint32_t tex, const uint8_t *rgb, int32_t w, int32_t h, uint8_t *scratch)
{
    for (int32_t i = 0; i < w * h; ++i) scratch[i] = rgb[3 * i];
    glBindTexture(GL_TEXTURE_2D, tex);
    gluBuild2DMipmaps(GL_TEXTURE_2D, GL_ALPHA, w, h, GL_ALPHA, GL_UNSIGNED_BYTE, scratch);
}

void meadow_title_setup()
{
    static uint8_t mask[CORNER_MASK_SIZE * CORNER_MASK_SIZE];
    static uint8_t subtitle[SUBTITLE_IMAGE_WIDTH * SUBTITLE_IMAGE_HEIGHT];
    static uint8_t flower[FLOWER_IMAGE_SIZE * FLOWER_IMAGE_SIZE * 4];

    glGenTextures(4, meadow_title_textures);
    upload_mipmapped_image(title_logo_tex, "quillmora");
    upload_red_as_alpha(corner_mask_tex, quill_corner_mask_image, CORNER_MASK_SIZE, CORNER_MASK_SIZE, mask);
    upload_red_as_alpha(subtitle_tex, quill_subtitle_image, SUBTITLE_IMAGE_WIDTH, SUBTITLE_IMAGE_HEIGHT, subtitle);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);

    flower_rgba(quill_flower_image, flower);
    glBindTexture(GL_TEXTURE_2D, title_flower_tex);
    gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGBA, FLOWER_IMAGE_SIZE, FLOWER_IMAGE_SIZE, GL_RGBA, GL_UNSIGNED_BYTE, flower);

    meadow_fill_tables(&title_flower_tilt[0][0][0], &title_flower_offset[0][0][0], &title_meadow_grid[0][0],
                       MEADOW_TITLE_SIZE);
}

// ---------------------------------------------------------------------------
// The frame

// A quad from (x0, y0) to (x1, y1) with texture corners (0,0), (1,0), (1,1), (0,1).
static void textured_rect(double x0, double y0, double x1, double y1)
{
    glBegin(GL_QUADS);
    glTexCoord2i(0, 0);
    glVertex2d(x0, y0);
    glTexCoord2i(1, 0);
    glVertex2d(x1, y0);
    glTexCoord2i(1, 1);
    glVertex2d(x1, y1);
    glTexCoord2i(0, 1);
    glVertex2d(x0, y1);
    glEnd();
}

// Soft shadow behind the lettering: 26 discs, each halving what it covers.
static void draw_title_shadow(double t, double height)
{
    glBlendFunc(GL_ZERO, GL_SRC_COLOR);
    glColor3d(0.5, 0.5, 0.5);
    for (int32_t k = 0; k < 26; ++k) {
        const double x = 0.7 * std::sin(3.0 * k + 0.2 * t);
        const double y = 0.1 * std::sin(t + k + 0.03 * t * k) + height;
        const double r = 0.2 - 0.08 * x * x;
        glBegin(GL_TRIANGLE_FAN);
        glVertex3d(x, y, 0.0);
        for (int32_t j = 0; j < 25; ++j) {
            const double a = j * std::numbers::pi / 12.0;
            glVertex3d(x + r * std::cos(a), y + r * std::sin(a), 0.0);
        }
        glEnd();
    }
}

// The lettering added four times, each copy a little larger and offset on a
// small circle.
static void draw_title_lettering(double t, double height)
{
    glBlendFunc(GL_ONE, GL_ONE);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, title_logo_tex);
    glColor3d(0.3, 0.3, 0.3);
    for (int32_t j = 0; j < 4; ++j) {
        const double cx = 0.003 * j * std::sin(2.0 * t + j);
        const double cy = height + 0.05 * std::sin(1.8 * t) + 0.003 * j * std::cos(2.0 * t + j);
        const double hw = 0.352 * (2.5 + 0.02 * j), hh = 0.072 * (2.5 + 0.15 * j);
        textured_rect(cx - hw, cy - hh, cx + hw, cy + hh);
    }
}

// Largest and black first, smallest and light yellow last: a dark halo.
static void draw_subtitle(double opacity)
{
    glBindTexture(GL_TEXTURE_2D, subtitle_tex);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    for (int32_t j = 0; j < 4; ++j) {
        const double l = j / 3.0;
        const int32_t m = 3 - j;
        glColor4d(l, 0.9 * l, 0.5 * l, opacity);
        const double hw = 0.336 * (2.2 + 0.02 * m), hh = 0.016 * (2.2 + 0.4 * m);
        textured_rect(-hw, -0.4 - hh, hw, -0.4 + hh);
    }
}

// Letterbox bars of height h each, their inner corners shaped by the mask.
static void draw_letterbox(double h)
{
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glBindTexture(GL_TEXTURE_2D, corner_mask_tex);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ZERO, GL_ONE_MINUS_SRC_ALPHA);
    glColor3d(1.0, 1.0, 1.0);
    // Outer corner first: texture (0, 0) where bar edge and screen edge meet.
    static constexpr double sx[4] = {-1.0, 1.0, -1.0, 1.0};  // screen side
    static constexpr double sy[4] = {1.0, 1.0, -1.0, -1.0};  // top or bottom bar
    glBegin(GL_QUADS);
    for (int32_t k = 0; k < 4; ++k) {
        const double y0 = sy[k] * (1.0 - h), y1 = sy[k] * (0.9 - h);
        glTexCoord2i(0, 0);
        glVertex2d(sx[k], y0);
        glTexCoord2i(1, 0);
        glVertex2d(0.9 * sx[k], y0);
        glTexCoord2i(1, 1);
        glVertex2d(0.9 * sx[k], y1);
        glTexCoord2i(0, 1);
        glVertex2d(sx[k], y1);
    }
    glEnd();

    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glColor3d(0.0, 0.0, 0.0);
    glBegin(GL_QUADS);
    glVertex2d(-1.0, -1.0);
    glVertex2d(1.0, -1.0);
    glVertex2d(1.0, h - 1.0);
    glVertex2d(-1.0, h - 1.0);
    glVertex2d(-1.0, 1.0);
    glVertex2d(1.0, 1.0);
    glVertex2d(1.0, 1.0 - h);
    glVertex2d(-1.0, 1.0 - h);
    glEnd();
}

void meadow_title_draw(double t)
{
    glClearColor(0.02f, 0.1f, 0.01f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_ALWAYS);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.1f);

    meadow_camera(t, knobs.knob[4]);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    draw_meadow_flowers(title_meadow, t, title_flower_tex);

    glDepthFunc(GL_LESS);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glDisable(GL_LIGHTING);
    draw_meadow_grass(MEADOW_TITLE_SIZE / 2);

    draw_scanlines();
    if (knobs.scene_flag != 0) apply_glow();

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1.0, 1.0, -1.0, 1.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);

    const double height = title_height(knobs.knob[0]);
    draw_title_shadow(t, height);
    draw_title_lettering(t, height);
    draw_subtitle(knobs.knob[1] / 127.0);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1.0, 1.0, -1.0, 1.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    draw_letterbox(knobs.knob[7] / 127.0);

    add_white(knobs.knob[6] / 127.0);
}
