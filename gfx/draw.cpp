// Drawing helpers: the shared random generator, the indexed-mesh drawer, the
// full-screen quad and the post effects.
//
// The glow. A full-resolution blur costs too much fill rate, so the frame is
// shrunk to a quarter in each direction in the bottom-left corner, multiplied
// by its own luminance (dark areas drop out, bright ones stay), and blurred
// there with four rounds of a separable five-tap filter made of offset quads
// and additive blending. The horizontal taps sum to 1.0, the vertical ones to
// 1.2, so every round also brightens the glow a little before saturation.
// The untouched frame, saved in screen_copy_tex first, is then drawn back over
// the corner and the small glow is stretched over the whole frame additively.
// Each round widens the glow by two quarter-size texels per direction, so the
// glow reaches at most eight texels (32 window pixels) beyond a bright region.
//
// What the glow costs on llvmpipe is fill, and a linearly filtered texel costs
// several times a nearest one. Every quad but the shrink and the final stretch
// maps texels one to one onto pixels with whole-texel offsets, so each pixel
// centre falls exactly on a texel centre, where linear filtering gives that
// texel alone: those quads sample with nearest filtering, the same values for
// less work. Only the corner that the passes overwrote is drawn back, not the
// whole frame, which the copy left as it was. The copies go into the storage
// that start-up defined once (same sizes and formats) instead of redefining
// it on every copy.
#include "gfx/draw.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cmath>

#include "shell/shell.h"

uint32_t rand_seed = 0;

void rand_reset() { rand_seed = 0; }

int32_t rand_next()
{
    const uint32_t s = rand_seed;
    // The product wraps in 32 bits; the cosine term is added as a real number,
    // so the sum (always positive, below 2^33) needs 64-bit truncation.
    const double v = double(uint32_t(s * 1664525u)) + 4000.0 * std::cos(double(s)) + 1013904223.0;
    rand_seed = uint32_t(uint64_t(v));
    return int32_t(rand_seed & 0xFFFF);
}

void draw_indexed_mesh(const Vec3 &offset, const MeshVertex *verts, int32_t tri_count, const int32_t *tris,
                       int32_t quad_count, const int32_t *quads)
{
    glPushMatrix();
    glTranslated(offset.x, offset.y, offset.z);
    glBegin(GL_TRIANGLES);
    for (int32_t i = 0; i < tri_count * 3; ++i) {
        const MeshVertex &v = verts[tris[i]];
        glNormal3dv(&v.nx);
        glVertex3dv(&v.px);
    }
    glEnd();
    glBegin(GL_QUADS);
    for (int32_t i = 0; i < quad_count * 4; ++i) {
        const MeshVertex &v = verts[quads[i]];
        glNormal3dv(&v.nx);
        glVertex3dv(&v.px);
    }
    glEnd();
    glPopMatrix();
}

void draw_screen_quad(int32_t w, int32_t h, int32_t dx, int32_t dy)
{
    glBegin(GL_QUADS);
    glTexCoord2i(dx, dy);
    glVertex3i(-1, -1, 0);
    glTexCoord2i(dx + w, dy);
    glVertex3i(1, -1, 0);
    glTexCoord2i(dx + w, dy + h);
    glVertex3i(1, 1, 0);
    glTexCoord2i(dx, dy + h);
    glVertex3i(-1, 1, 0);
    glEnd();
}

static void load_unit_ortho()
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1, 1, -1, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

// The scanlines and the glow draw at eye depth 0 (identity modelview), where
// the fog coordinate is 0. There fog leaves a colour as it is whenever the
// fog factor at 0 reaches 1 (exponential fog always; linear fog when its
// start is not beyond its end and not below 0), yet llvmpipe still computes
// it for every fragment: about a quarter of the glow's cost in the scenes
// that leave fog on. So these helpers turn such fog off while they draw and
// back on afterwards. Returns whether fog was on.
//
// The fade and the flash do not: a single quad gains little, and turning
// fog off right after a large batch (the forest's fade follows its firs)
// made Mesa free and map its vertex buffers again on every frame, some 7 ms
// of our thread's CPU in the forest (bench_show_frames).
static bool suspend_idle_fog()
{
    if (!glIsEnabled(GL_FOG)) return false;
    GLint mode = 0;
    glGetIntegerv(GL_FOG_MODE, &mode);
    if (mode == GL_LINEAR) {
        GLfloat start = 0.0f, end = 0.0f;
        glGetFloatv(GL_FOG_START, &start);
        glGetFloatv(GL_FOG_END, &end);
        if (!(start >= 0.0f && end > start)) return false;
    }
    glDisable(GL_FOG);
    return true;
}

static void resume_fog(bool suspended)
{
    if (suspended) glEnable(GL_FOG);
}

// Shared by the fade and the flash: one blended quad over the whole viewport.
// A quad that cannot change a pixel (a flash of 0 adds 0, a fade of 0
// multiplies by 1) is not drawn: it costs a whole window of fill on llvmpipe.
// The state is set all the same, so what follows sees the same GL state.
static void blend_overlay(GLenum src, GLenum dst, double grey, bool changes_nothing)
{
    load_unit_ortho();
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(src, dst);
    glColor3d(grey, grey, grey);
    if (!changes_nothing) draw_screen_quad(0, 0, 0, 0);
}

void fade_to_black(double x) { blend_overlay(GL_DST_COLOR, GL_ZERO, 1.0 - x, x == 0.0); }

void add_white(double x) { blend_overlay(GL_ONE, GL_ONE, x, x == 0.0); }

// The darkened rows as quads two rows high, one batch for the whole window,
// instead of one pixel transfer per row: each row transfer was a separate
// textured draw for llvmpipe. The fragments get the row's value as their
// colour, as the transfer gave them, and blend the same way; the quads cover
// exactly the pixel centres of their two rows.
void draw_scanlines()
{
    const int32_t w = screen_width, h = screen_height;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, w, 0, h, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glBlendFunc(GL_DST_COLOR, GL_ZERO);
    // Every byte of the row holds the same value (start-up fills it).
    const uint8_t v = scanline_row[0];
    glColor4ub(v, v, v, 255);
    const bool fog = suspend_idle_fog();
    glBegin(GL_QUADS);
    for (int32_t r = 2; r < h; r += 4) {
        const int32_t top = r + 2 < h ? r + 2 : h;
        glVertex2i(0, r);
        glVertex2i(w, r);
        glVertex2i(w, top);
        glVertex2i(0, top);
    }
    glEnd();
    resume_fog(fog);
    glDisable(GL_BLEND);
}

static void copy_corner(uint32_t tex, int32_t w, int32_t h)
{
    glBindTexture(GL_TEXTURE_RECTANGLE, tex);
    glCopyTexSubImage2D(GL_TEXTURE_RECTANGLE, 0, 0, 0, 0, 0, w, h);
}

// Filtering of the bound rectangle texture: GL_NEAREST where texels map one to
// one onto pixels, GL_LINEAR (as start-up leaves every screen texture) else.
static void rect_filter(GLint filter)
{
    glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MAG_FILTER, filter);
}

// One blur pass over the quarter-size corner: the centre tap replaces, the
// four side taps add. Horizontal when horizontal is set, else vertical.
// glow_tex is bound.
static void blur_pass(int32_t qw, int32_t qh, bool horizontal, double near_weight)
{
    glDisable(GL_BLEND);
    glColor3d(0.4, 0.4, 0.4);
    draw_screen_quad(qw, qh, 0, 0);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    const double weights[2] = {near_weight, 0.1};
    for (int d = 1; d <= 2; ++d) {
        const double g = weights[d - 1];
        glColor3d(g, g, g);
        for (int sign = 1; sign >= -1; sign -= 2) {
            const int32_t off = d * sign;
            draw_screen_quad(qw, qh, horizontal ? off : 0, horizontal ? 0 : off);
        }
    }
    glCopyTexSubImage2D(GL_TEXTURE_RECTANGLE, 0, 0, 0, 0, 0, qw, qh);
}

void apply_glow()
{
    const int32_t w = screen_width, h = screen_height;
    const int32_t qw = w / 4, qh = h / 4;
    const bool fog = suspend_idle_fog();

    copy_corner(screen_copy_tex, w, h);

    glViewport(0, 0, qw, qh);
    load_unit_ortho();
    glEnable(GL_TEXTURE_RECTANGLE);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glColor3d(1, 1, 1);
    draw_screen_quad(w, h, 0, 0);

    copy_corner(glow_mask_tex, qw, qh);
    rect_filter(GL_NEAREST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_DST_COLOR, GL_ZERO);
    draw_screen_quad(qw, qh, 0, 0);
    rect_filter(GL_LINEAR);

    copy_corner(glow_tex, qw, qh);
    rect_filter(GL_NEAREST);
    for (int round = 0; round < 4; ++round) {
        blur_pass(qw, qh, true, 0.2);
        blur_pass(qw, qh, false, 0.3);
    }
    rect_filter(GL_LINEAR);

    // The corner back from the saved frame: the quad over the corner alone,
    // in the full-size view, with texel coordinates equal to pixel ones.
    glViewport(0, 0, w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, w, 0, h, -1, 1);
    glBindTexture(GL_TEXTURE_RECTANGLE, screen_copy_tex);
    rect_filter(GL_NEAREST);
    glDisable(GL_BLEND);
    glColor3d(1, 1, 1);
    glBegin(GL_QUADS);
    glTexCoord2i(0, 0);
    glVertex3i(0, 0, 0);
    glTexCoord2i(qw, 0);
    glVertex3i(qw, 0, 0);
    glTexCoord2i(qw, qh);
    glVertex3i(qw, qh, 0);
    glTexCoord2i(0, qh);
    glVertex3i(0, qh, 0);
    glEnd();
    rect_filter(GL_LINEAR);
    load_unit_ortho();

    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glBindTexture(GL_TEXTURE_RECTANGLE, glow_tex);
    draw_screen_quad(qw, qh, 0, 0);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_RECTANGLE);
    resume_fog(fog);
}
