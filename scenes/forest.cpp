// Forest silhouettes: ten black fir trees stand in white fog before a pale
// pink sky on which a zoom-blurred sunburst turns. The sunburst's tint changes
// from section to section, each section opening with a white flash, and the
// camera sways, bobs and dollies through the trees.
//
// Input: a time t in seconds that the timeline shifts and scales per stretch
// of the show (it runs faster near the end) and that is negative before the
// scene starts, which gives a plain white frame. No knobs.
//
// Sections. t splits into sections of about 4.5 s (k whole, f fraction); each
// section has its own tint (k mod 3 = 1 green, else blue for even k and red
// for odd k), its own sideways camera position and heading and its own turn
// of every tree. The flash 5 (0.2 - f) fades out over the first fifth.
//
// The sky is computed on the CPU every frame: 32 x 32 texels of
// sin(cos(a + t) + a (a + 13) / 2 + 0.2 a + t - sin a), a the angle about
// texel (16, 25), so the rays turn with t and crowd differently on each side.
// It is drawn as ten full-screen additive layers at 0.2 grey, layer i
// magnified by 1 / (1 - 0.016 i) about the texture point (0.5, 0.7): a radial
// zoom blur on the GPU. The layers ignore depth and are interleaved with the
// first five trees (sky, tree, sky, sky, tree, ...), so trees 0 to 8 receive
// the layers drawn after them and come out lighter, ghostly in the haze,
// while trees 10 to 18, drawn after the last layer, stay black.
//
// The trees are the fir model (gfx/models.h), unlit black, turned upright and
// scaled by 10, along z = 3i - 40 (i even, 0..18) with x = 18 sin(i (i + 13) +
// 17); white linear fog from 30 to 100 lightens them with distance. The
// camera bobs after every beat (eight times the section rate: a short damped
// wobble of its height), drifts forward within each section while the
// look-at point swings back to the middle, and dollies further in as the
// scene goes on (m = 0.02 t, full from t = 50).
//
// The frame is dimmed to 80 % before the glow, so the glow blooms from the
// sky without burning it out.
//
// Speed: a fir is some 41 000 vertices for llvmpipe to transform on the
// calling thread, ten of them every frame. One that lies wholly outside the
// view volume gives no pixel, so it is not sent: every corner of its box
// (taken from its vertices at set-up, widened a little against rounding) is
// carried through the tree's matrices, and when all eight lie beyond the same
// plane of the volume no vertex can reach the window. The matrix calls are
// made all the same, so what follows sees the same state.
#include "scenes/forest.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

#include "gfx/draw.h"
#include "gfx/models.h"
#include "scenes/scenes.h"

static uint32_t sunburst_tex;
// The fir's bounding box in its own coordinates, widened by 1 % on each side.
static Vec3 fir_box_min, fir_box_max;
static uint8_t sunburst_pixels[FOREST_SKY_SIZE * FOREST_SKY_SIZE * 3];

// Beats per second of scene time: eight per section.
static constexpr double FOREST_BEAT_RATE = 1.7752529735487306;

// ---------------------------------------------------------------------------
// Set-up

static void measure_fir()
{
    const StaticModel &fir = static_model(MODEL_TREE);
    Vec3 lo = {1e300, 1e300, 1e300}, hi = {-1e300, -1e300, -1e300};
    for (int32_t i = 0; i < fir.vertex_count; ++i) {
        const MeshVertex &v = fir.vertices[i];
        lo = {std::fmin(lo.x, v.px), std::fmin(lo.y, v.py), std::fmin(lo.z, v.pz)};
        hi = {std::fmax(hi.x, v.px), std::fmax(hi.y, v.py), std::fmax(hi.z, v.pz)};
    }
    const Vec3 pad = {0.01 * (hi.x - lo.x), 0.01 * (hi.y - lo.y), 0.01 * (hi.z - lo.z)};
    fir_box_min = {lo.x - pad.x, lo.y - pad.y, lo.z - pad.z};
    fir_box_max = {hi.x + pad.x, hi.y + pad.y, hi.z + pad.z};
}

void forest_setup()
{
    measure_fir();
    glGenTextures(1, &sunburst_tex);
    glBindTexture(GL_TEXTURE_2D, sunburst_tex);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, FOREST_SKY_SIZE, FOREST_SKY_SIZE, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
}

// ---------------------------------------------------------------------------
// Arithmetic

ForestSection forest_section(double t)
{
    const double g = FOREST_SECTION_RATE * t;
    const double k = std::floor(g);
    return {int32_t(k), g - k};
}

void forest_sunburst(double t, int32_t k, uint8_t out[FOREST_SKY_SIZE * FOREST_SKY_SIZE * 3])
{
    // Which channel carries the bright half of the pattern.
    const int bright = k % 3 == 1 ? 1 : (k % 2 == 0 ? 2 : 0);
    uint8_t *p = out;
    for (int32_t m = 0; m < FOREST_SKY_SIZE; ++m) {
        const double y = 25 - m;
        for (int32_t j = 0; j < FOREST_SKY_SIZE; ++j, p += 3) {
            const double x = j - 16;
            const double a = std::atan2(y, x);
            const double s = std::sin(std::cos(a + t) + 0.5 * a * (a + 13.0) + 0.2 * a + t - std::sin(a));
            const double w = 0.5 * s + 0.5;
            const uint8_t lo = uint8_t(int32_t(127.5 * w)), hi = uint8_t(int32_t(255.0 * w));
            p[0] = p[1] = p[2] = lo;
            p[bright] = hi;
        }
    }
}

double forest_dolly(double t) { return std::fmin(0.02 * t, 1.0); }

ForestView forest_view(int32_t k, double t, double f)
{
    const double m = forest_dolly(t);
    const double b = FOREST_BEAT_RATE * t - std::floor(FOREST_BEAT_RATE * t);
    const double h = b < 0.4 ? 12.0 - 0.25 * (1.0 + m) * (0.4 - b) * std::sin(40.0 * b) : 12.0;
    return {{4.0 * std::sin(27.0 * k + 0.5 * t), h, 40.0 - 70.0 * ((f + 0.2) * m + 0.2 * f)},
            {8.0 * (1.0 - f) * std::cos(13.0 * k + t), 14.0, -80.0}};
}

void forest_camera(int32_t k, double t, double f)
{
    const ForestView v = forest_view(k, t, f);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(40.0, 4.0 / 3.0, 1.0, 200.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(v.eye.x, v.eye.y, v.eye.z, v.centre.x, v.centre.y, v.centre.z, 0.0, 1.0, 0.0);
}

double forest_flash(double f) { return f < 0.2 ? 5.0 * (0.2 - f) : 0.0; }

// ---------------------------------------------------------------------------
// Drawing

// Sky layer i: the whole sunburst over the screen, zoomed a little further
// about (0.5, 0.7) with each layer, added at 0.2 grey.
static void sky_layer(int i)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1.0, 1.0, -1.0, 1.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_FOG);
    glDisable(GL_DEPTH_TEST);
    glColor3d(0.2, 0.2, 0.2);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    const double d = 0.008 * i;
    glBegin(GL_QUADS);
    glTexCoord2d(d, 1.4 * d);
    glVertex3d(-1.0, -1.0, 0.0);
    glTexCoord2d(1.0 - d, 1.4 * d);
    glVertex3d(1.0, -1.0, 0.0);
    glTexCoord2d(1.0 - d, 1.0 - 0.6 * d);
    glVertex3d(1.0, 1.0, 0.0);
    glTexCoord2d(d, 1.0 - 0.6 * d);
    glVertex3d(-1.0, 1.0, 0.0);
    glEnd();
}

bool box_outside_view(const double modelview[16], const double projection[16], const Vec3 &lo, const Vec3 &hi)
{
    uint32_t outside_every = 0x3F;  // one bit per plane of the view volume
    for (int corner = 0; corner < 8; ++corner) {
        const double p[3] = {corner & 1 ? hi.x : lo.x, corner & 2 ? hi.y : lo.y, corner & 4 ? hi.z : lo.z};
        double eye[4], clip[4];
        for (int r = 0; r < 4; ++r)
            eye[r] = modelview[r] * p[0] + modelview[4 + r] * p[1] + modelview[8 + r] * p[2] + modelview[12 + r];
        for (int r = 0; r < 4; ++r)
            clip[r] = projection[r] * eye[0] + projection[4 + r] * eye[1] + projection[8 + r] * eye[2] +
                      projection[12 + r] * eye[3];
        // Beyond a plane by more than the rounding of the driver's float
        // arithmetic could bring back.
        const double w = clip[3], slack = 1e-4 * (std::fabs(w) + 1.0);
        uint32_t outside = 0;
        for (int axis = 0; axis < 3; ++axis) {
            if (clip[axis] < -w - slack) outside |= 1u << (2 * axis);
            if (clip[axis] > w + slack) outside |= 2u << (2 * axis);
        }
        outside_every &= outside;
        if (outside_every == 0) return false;
    }
    return true;
}

static void tree(int i, const ForestSection &s, double t)
{
    forest_camera(s.k, t, s.f);
    glEnable(GL_FOG);
    glEnable(GL_DEPTH_TEST);
    glColor3d(0.0, 0.0, 0.0);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glPushMatrix();
    glTranslated(18.0 * std::sin(i * (i + 13.0) + 17.0), 0.0, 3.0 * i - 40.0);
    glRotated(180.0 * std::sin((i + 3.0) * (i + 12.0) + double(s.k) * s.k + 19.0), 0.0, 1.0, 0.0);
    glRotated(-90.0, 1.0, 0.0, 0.0);
    glScaled(10.0, 10.0, 10.0);
    double modelview[16], projection[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    if (!box_outside_view(modelview, projection, fir_box_min, fir_box_max))
        draw_static_model(MODEL_TREE);  // its translation is zero
    glPopMatrix();
}

void forest_draw(double t)
{
    if (t < 0.0) {
        glClearColor(1.0f, 1.0f, 1.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        return;
    }
    const ForestSection s = forest_section(t);

    forest_sunburst(t, s.k, sunburst_pixels);
    glBindTexture(GL_TEXTURE_2D, sunburst_tex);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, FOREST_SKY_SIZE, FOREST_SKY_SIZE, 0, GL_RGB, GL_UNSIGNED_BYTE,
                 sunburst_pixels);

    glClearColor(1.0f, 0.8f, 0.7f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    glFogi(GL_FOG_MODE, GL_LINEAR);
    glFogf(GL_FOG_START, 30.0f);
    glFogf(GL_FOG_END, 100.0f);
    const GLfloat fog_white[4] = {1.0f, 1.0f, 1.0f, 0.0f};
    glFogfv(GL_FOG_COLOR, fog_white);
    glBlendFunc(GL_ONE, GL_ONE);
    glCullFace(GL_BACK);
    glEnable(GL_CULL_FACE);

    for (int i = 0; i < 2 * FOREST_TREES; ++i) {
        if (i < 10) sky_layer(i);
        if (i % 2 == 0) tree(i, s, t);
    }

    fade_to_black(0.2);
    apply_glow();
    const double flash = forest_flash(s.f);
    if (flash > 0.0) add_white(flash);
}
