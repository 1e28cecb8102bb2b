// The flower meadow shared by the projector room's film and the meadow title.
//
// A flower is a cup: a triangle fan whose centre sits s^2 - s below its rim of
// radius 1.1 s, textured with the flower picture seen from above. Its
// openness s = 0.7 + 0.4 sin(2 pi (0.0046875 g1 + 0.003125 g2)) mixes two
// octaves of grid noise, g1 at (0.8 t + 0.1 i, 0.2 t + 0.1 c) and g2 at twice
// those rates and spacings. The noise is at most 128 in size, so g1 alone
// swings the phase by up to 0.6 turns and g2 by up to 0.4: neighbouring
// flowers open together, and the waves travel through the field as t grows.
// Every cell also has a small random tilt (a0 about z, a1 about x, then 20 a0
// about y as a random turn) and offset, and odd columns are shifted half a row
// so the heads do not line up.
//
// The grass is sixteen horizontal quads 0.05 apart, each carrying one shell
// layer of the shared fur textures repeated 18 times across the field; with
// the alpha test the stacked dots read as blades that thin towards the tips.
#include "scenes/meadow.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <numbers>

#include "gfx/draw.h"
#include "gfx/precalc.h"
#include "gfx/vec.h"

static_assert(MEADOW_GRASS_LAYERS == PRECALC_FUR_LAYERS);

void meadow_fill_tables(int8_t *tilt, int8_t *offset, int8_t *grid, int32_t size)
{
    rand_reset();
    for (int32_t cell = 0; cell < size * size; ++cell) {
        tilt[2 * cell] = int8_t(rand_next() % 20 - 10);
        tilt[2 * cell + 1] = int8_t(rand_next() % 20 - 10);
        offset[2 * cell] = int8_t(rand_next() % 20 - 10);
        offset[2 * cell + 1] = int8_t(rand_next() % 20 - 10);
    }
    for (int32_t cell = 0; cell < size * size; ++cell) grid[cell] = int8_t(uint8_t(rand_next() - 128));
}

double grid_noise(const int8_t *grid, int32_t size, double a, double b)
{
    const double fla = std::floor(a), flb = std::floor(b);
    const uint32_t ia = uint32_t(int32_t(fla)), ib = uint32_t(int32_t(flb));
    const double fa = a - fla, fb = b - flb;
    const uint32_t n = uint32_t(size);
    const uint32_t x0 = ia % n, x1 = (x0 + 1) % n;
    const uint32_t y0 = ib % n, y1 = (y0 + 1) % n;
    auto g = [&](uint32_t x, uint32_t y) { return double(grid[x * n + y]); };
    return (1.0 - fb) * ((1.0 - fa) * g(x0, y0) + fa * g(x1, y0)) + fb * ((1.0 - fa) * g(x0, y1) + fa * g(x1, y1));
}

double flower_openness(const MeadowField &field, double t, int32_t i, int32_t c)
{
    const double g1 = grid_noise(field.grid, field.size, 0.8 * t + 0.1 * i, 0.2 * t + 0.1 * c);
    const double g2 = grid_noise(field.grid, field.size, 1.6 * t + 0.2 * i, 0.4 * t + 0.2 * c);
    return 0.7 + 0.4 * std::sin(2.0 * std::numbers::pi * (0.0046875 * g1 + 0.003125 * g2));
}

uint8_t flower_alpha(int32_t r, int32_t c, uint8_t red, uint8_t green, uint8_t blue)
{
    if (std::hypot(double(c - 32), double(r - 32)) * 0.03125 <= 0.3) return 255;
    const int32_t sum = red + green + blue;
    return uint8_t(sum < 255 ? sum : 255);
}

void flower_rgba(const uint8_t *rgb, uint8_t *rgba)
{
    for (int32_t r = 0; r < 64; ++r) {
        for (int32_t c = 0; c < 64; ++c) {
            const uint8_t *in = rgb + (r * 64 + c) * 3;
            uint8_t *out = rgba + (r * 64 + c) * 4;
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            out[3] = flower_alpha(r, c, in[0], in[1], in[2]);
        }
    }
}

void meadow_camera(double t, double knob4)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(10.0 + knob4 * 20.0 / 127.0, 4.0 / 3.0, 1.0, 200.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    double x = -19.0, z = 0.0;
    rotate_pair(&x, &z, t * 7.0 * std::numbers::pi / 180.0);
    gluLookAt(x, 15.0, z, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
}

// Cosine and sine of the 13 rim angles j pi / 6 (the last closes the ring),
// and the fan's texture coordinates: the centre, then the rim.
struct FlowerRim {
    double cos_t[13], sin_t[13];
    float texcoord[14][2];
};

static FlowerRim make_flower_rim()
{
    FlowerRim rim;
    rim.texcoord[0][0] = rim.texcoord[0][1] = 0.5f;
    for (int j = 0; j < 13; ++j) {
        rim.cos_t[j] = std::cos(j * std::numbers::pi / 6.0);
        rim.sin_t[j] = std::sin(j * std::numbers::pi / 6.0);
        rim.texcoord[j + 1][0] = float(0.5 + 0.5 * rim.cos_t[j]);
        rim.texcoord[j + 1][1] = float(0.5 + 0.5 * rim.sin_t[j]);
    }
    return rim;
}

static const FlowerRim flower_rim = make_flower_rim();

void draw_meadow_flowers(const MeadowField &field, double t, uint32_t tex)
{
    const int32_t n = field.size;
    const double half = n / 2;
    // Each fan is drawn from a vertex array: immediate mode would be cut
    // wherever the driver's vertex buffer happens to fill (so a frame would
    // depend on those before it), and a display list would be compiled anew
    // every frame, a node per flower, which cost more than the drawing. GL
    // reads the array during the call, so one fan's worth is reused.
    static float position[14][3];
    glBindTexture(GL_TEXTURE_2D, tex);
    glNormal3d(0.0, 1.0, 0.0);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, position);
    glTexCoordPointer(2, GL_FLOAT, 0, flower_rim.texcoord);
    for (int32_t i = 0; i < n; ++i) {
        for (int32_t c = 0; c < n; ++c) {
            const int8_t *tilt = field.tilt + 2 * (i * n + c);
            const int8_t *offset = field.offset + 2 * (i * n + c);
            glPushMatrix();
            glTranslated(c - half + 0.01 * offset[0], 0.0, i - half + 0.01 * offset[1] + 0.5 * (c % 2));
            glScaled(0.5, 0.5, 0.5);
            glRotated(tilt[0], 0.0, 0.0, 1.0);
            glRotated(tilt[1], 1.0, 0.0, 0.0);
            glRotated(20.0 * tilt[0], 0.0, 1.0, 0.0);

            const double s = flower_openness(field, t, i, c);
            const double centre_y = field.raised_heads ? s * s + 0.1 * s + 1.0 : s * s + 1.1 * s;
            const double rim_y = field.raised_heads ? 1.1 * s + 1.0 : 2.1 * s;
            position[0][0] = 0.0f;
            position[0][1] = float(centre_y);
            position[0][2] = 0.0f;
            for (int j = 0; j < 13; ++j) {
                position[j + 1][0] = float(1.1 * s * flower_rim.cos_t[j]);
                position[j + 1][1] = float(rim_y);
                position[j + 1][2] = float(1.1 * s * flower_rim.sin_t[j]);
            }
            glDrawArrays(GL_TRIANGLE_FAN, 0, 14);
            glPopMatrix();
        }
    }
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void draw_meadow_grass(double half)
{
    // The layers test depth against the flowers but need not write it: the
    // camera (meadow_camera) is always above the grass, so a later, higher
    // layer is nearer at every pixel than any earlier one, and the callers do
    // no further depth testing before the next clear. Skipping the writes
    // saves llvmpipe work on sixteen windows' worth of fragments.
    glDepthMask(GL_FALSE);
    for (int j = 0; j < MEADOW_GRASS_LAYERS; ++j) {
        const double y = 0.05 * j;
        glColor3d(0.1 + 0.0375 * j, 0.3 + 0.00625 * j, 0.1);
        glBindTexture(GL_TEXTURE_2D, fur_shell_tex[j + 1]);
        glBegin(GL_QUADS);
        glTexCoord2i(0, 0);
        glVertex3d(-half, y, -half);
        glTexCoord2i(18, 0);
        glVertex3d(half, y, -half);
        glTexCoord2i(18, 18);
        glVertex3d(half, y, half);
        glTexCoord2i(0, 18);
        glVertex3d(-half, y, half);
        glEnd();
    }
    glDepthMask(GL_TRUE);
}
