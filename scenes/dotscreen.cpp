// Dot-screen ripple: a six-armed jack tumbles as a screen of dots whose size
// follows its shading, over a large disc of concentric waves with a plasma
// picture (or a plain pulsing colour) streaming out across it.
//
// Every frame is built in three passes.
//  1. Shade map: the jack, grey, lit and in white fog, is rendered into the
//     window's bottom-left 128 x 64 pixels and read back as luminance. (GL
//     reads luminance as R + G + B, clamped, so only shadowed parts of the
//     jack come back dark; lit grey and fog read as white.)
//  2. Ripple disc: 129 wedge-shaped quad strips, radius 35 in steps of 35/64,
//     with height (4/127) A sin(w i) at radial index i, a wave that the
//     amplitude A and the wave count k vary per frame; the picture streams
//     outwards by one texture row per second and wobbles sideways.
//  3. Dot screen: one quad per shade-map pixel, 0.25 units apart across and
//     0.39 + 28 knob3 / 127 apart up, half as wide as A (255 - p) / 16256, so
//     white pixels give no dot and the darkest about two units. Textured with
//     the soft dot, they darken the disc (scene_flag 0: source factor zero)
//     or lighten it towards white (scene_flag 1: source alpha).
//
// Arguments: t the scene time in seconds, n a variant number. n moves the
// jack sideways (4 sin n) and sets its spin (about 80, 70 and 50 degrees per
// second plus 20 cos n), the ripple's amplitude and wave count, and the dot
// camera's path; the same (t, n) always gives the same frame. Knobs: knob0
// stretches the picture along the radius (four times as much at 127),
// knob3 spreads the dot rows, knob6 is the closing white flash; scene_flag
// picks the textured disc with white dots (1) or the coloured disc with dark
// dots (0).
//
// Same frame whatever came before: Mesa draws a long immediate-mode batch in
// pieces cut where its vertex buffer happens to fill, which depends on every
// vertex sent in earlier frames, and rasterizes a piece that needs clipping
// along other quad diagonals than one that does not. The disc and the dots,
// which both run far out of the view, are therefore compiled into a display
// list and called, so they are cut the same way every time and a shot equals
// the captured frame.
#include "scenes/dotscreen.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "gfx/array_batch.h"
#include "gfx/draw.h"
#include "gfx/image_store.h"
#include "gfx/models.h"
#include "shell/shell.h"
#include "scenes/scenes.h"
#include "timeline/timeline.h"

uint8_t shade_map[SHADE_MAP_WIDTH * SHADE_MAP_HEIGHT];

static uint32_t dot_tex, ripple_tex;

// The frame's ripple values, rewritten at the start of every frame.
static double ripple_amp, ripple_wave;

static constexpr double PI = std::numbers::pi;

RippleShape ripple_shape(double t, int32_t n, double knob0)
{
    RippleShape r;
    r.amp = 96.0 + 31.0 * std::sin(8.0 * n + 1.3 * t);
    r.wave = 30.0 + 30.0 * std::cos(0.9 * t + 2.0 * n);
    r.waves = 2.0 + r.wave * 10.0 / 127.0;
    r.wave_step = r.waves * PI / 128.0;
    r.row_step = (1.6 - knob0 * 1.2 / 127.0) / 128.0;
    return r;
}

double dot_half_width(int32_t p, double amp) { return amp * (255 - p) / 16256.0; }

double dot_row_spacing(double knob3) { return 0.39 + knob3 * 28.0 / 127.0; }

void dot_make_texture(uint8_t *out)
{
    for (int r = 0; r < DOT_TEX_SIZE; ++r)
        for (int c = 0; c < DOT_TEX_SIZE; ++c) {
            const double d = std::hypot(r - 32.0, c - 32.0);
            out[r * DOT_TEX_SIZE + c] = uint8_t(int(255.0 * std::max(0.0, 1.0 - d / 32.0)));
        }
}

void dotscreen_setup()
{
    uint32_t names[2];
    glGenTextures(2, names);
    dot_tex = names[0];
    ripple_tex = names[1];
    upload_mipmapped_image(ripple_tex, "plasmaflower");

    static uint8_t dot[DOT_TEX_SIZE * DOT_TEX_SIZE];
    dot_make_texture(dot);
    glBindTexture(GL_TEXTURE_2D, dot_tex);
    gluBuild2DMipmaps(GL_TEXTURE_2D, GL_ALPHA, DOT_TEX_SIZE, DOT_TEX_SIZE, GL_ALPHA, GL_UNSIGNED_BYTE, dot);

}

// Pass 1: the jack, small, grey in white fog, read back into shade_map.
static void render_shade_map(double t, int32_t n)
{
    glViewport(0, 0, SHADE_MAP_WIDTH, SHADE_MAP_HEIGHT);
    glClearColor(1.0f, 1.0f, 1.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);

    const float fog_colour[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    glFogi(GL_FOG_MODE, GL_LINEAR);
    glFogf(GL_FOG_START, 1.0f);
    glFogf(GL_FOG_END, 35.0f);
    glFogfv(GL_FOG_COLOR, fog_colour);
    glEnable(GL_FOG);

    const float grey[4] = {0.4f, 0.4f, 0.4f, 1.0f};
    const float white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, grey);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, white);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 50.0f);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(90.0, 4.0 / 3.0, 1.0, 200.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0.0, 0.0, 8.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
    const float light_pos[4] = {-20.0f, 20.0f, 10.0f, 1.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, light_pos);

    glTranslated(4.0 * std::sin(n), 0.0, 0.0);
    const double e = 20.0 * std::cos(n);
    glRotated((e + 80.0) * t, 1.0, 0.0, 0.0);
    glRotated((e + 70.0) * t, 0.0, 1.0, 0.0);
    glRotated((e + 50.0) * t, 0.0, 0.0, 1.0);
    draw_static_model(MODEL_JACK);

    glReadPixels(0, 0, SHADE_MAP_WIDTH, SHADE_MAP_HEIGHT, GL_LUMINANCE, GL_UNSIGNED_BYTE, shade_map);
}

// Pass 2: the rippling disc, lit, textured or plainly coloured.
static void draw_ripple_disc(double t, int32_t n, bool textured)
{
    glViewport(0, 0, screen_width, screen_height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(35.0, 4.0 / 3.0, 1.0, 200.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0.0, 0.0, 40.0, 4.0 * std::sin(1.3 * t), 4.0 * std::cos(0.8 * t), 0.0, 0.0, 1.0, 0.0);

    glClear(GL_DEPTH_BUFFER_BIT);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, ripple_tex);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_NORMALIZE);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glDisable(GL_FOG);
    const float light_pos[4] = {10.0f, -10.0f, 40.0f, 1.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, light_pos);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 70.0f);
    glDisable(GL_BLEND);

    if (textured) {
        const float diffuse[4] = {1.0f, 1.0f, 1.0f, 0.0f};
        const float ambient[4] = {0.2f, 0.2f, 0.2f, 0.0f};
        glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
        glEnable(GL_TEXTURE_2D);
    } else {
        glDisable(GL_TEXTURE_2D);
        const float colour[4] = {0.8f, float(0.5 + 0.3 * std::sin(t)), 0.5f, 0.0f};
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, colour);
    }
    const float specular[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);

    const RippleShape shape = ripple_shape(t, n, knobs.knob[0]);
    ripple_amp = shape.amp;
    ripple_wave = shape.wave;
    const double height = 4.0 / 127.0 * ripple_amp;
    const double slope = -(4.0 / 127.0) * (PI / 128.0) * ripple_amp * shape.waves;

    array_batch_begin(ARRAY_NORMAL | ARRAY_TEXCOORD);
    for (int j = 0; j <= 256; j += 2) {
        const double a0 = j * PI / 128.0, a1 = (j + 2) * PI / 128.0;
        const double s0 = j / 128.0, s1 = (j + 2) / 128.0;
        const double c0 = std::cos(a0), sn0 = std::sin(a0), c1 = std::cos(a1), sn1 = std::sin(a1);
        array_begin(GL_QUAD_STRIP);
        for (int i = 0; i < 128; i += 2) {
            const double rho = i * 35.0 / 128.0;
            const double z = height * std::sin(shape.wave_step * i);
            const double m = slope * std::cos(shape.wave_step * i);
            const double u = 0.3 * std::sin(t + i / 128.0);
            const double v = shape.row_step * i - t;
            double nx = m, ny = 0.0;
            rotate_pair(&nx, &ny, a0);
            array_normal(nx, ny, 1.0);
            array_texcoord(s0 + u, v);
            array_vertex(rho * c0, rho * sn0, z);
            nx = m;
            ny = 0.0;
            rotate_pair(&nx, &ny, a1);
            array_normal(nx, ny, 1.0);
            array_texcoord(s1 + u, v);
            array_vertex(rho * c1, rho * sn1, z);
        }
        array_end();
    }
    array_batch_end();
}

// Pass 3: one soft dot per shade-map pixel, sized by its darkness.
static void draw_dots(double t, int32_t n, bool lighten)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(30.0, 4.0 / 3.0, 1.0, 200.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(15.0 * std::cos(3.0 * t + 3.0 * n), 0.0, 30.0 - 10.0 * std::sin(2.0 * t + 4.0 * n), 0.0, 0.0, 0.0,
              0.0, 1.0, 0.0);

    glDisable(GL_FOG);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(lighten ? GL_SRC_ALPHA : GL_ZERO, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, dot_tex);
    glColor4d(1.0, 1.0, 1.0, 1.0);

    const double row_spacing = dot_row_spacing(knobs.knob[3]);
    array_batch_begin(ARRAY_TEXCOORD);
    array_begin(GL_QUADS);
    for (int r = 0; r < SHADE_MAP_HEIGHT; ++r) {
        const double y = row_spacing * (r - 32.5);
        const uint8_t *row = shade_map + r * SHADE_MAP_WIDTH;
        for (int c = -64; c < 64; ++c) {
            const double x = 0.25 * c;
            const double w = dot_half_width(row[c + 64], ripple_amp), h = 0.8 * w;
            array_texcoord(0.0, 0.0);
            array_vertex(x - w, y - h, 0.0);
            array_texcoord(1.0, 0.0);
            array_vertex(x + w, y - h, 0.0);
            array_texcoord(1.0, 1.0);
            array_vertex(x + w, y + h, 0.0);
            array_texcoord(0.0, 1.0);
            array_vertex(x - w, y + h, 0.0);
        }
    }
    array_end();
    array_batch_end();
}

void dotscreen_draw(double t, int32_t n)
{
    const bool flag = knobs.scene_flag != 0;
    render_shade_map(t, n);
    draw_ripple_disc(t, n, flag);
    draw_dots(t, n, flag);
    add_white(knobs.knob[6] / 127.0);
}
