// Blob tube with greetings: a warped, holed tube turns in front of a rotating
// sunburst while the sixteen greeting logos fly across the screen, and the
// whole frame glows.
//
// Every frame the tube is made from nothing. A scalar field is sampled on a
// 33^3 grid: a cylinder of radius 16 samples around the a axis whose value,
// (0.18 + 0.18 sin angle)(1 - r^2), is opened and closed by two octaves of a
// periodic 8 x 16 x 8 byte lattice sampled trilinearly in 8.8 fixed point.
// The octaves scroll along the tube at different speeds (s and s / 32 lattice
// units), so holes open, drift and close. Marching cubes (indexed form) turns
// the 0.18 level into some 8 000 triangles, one Catmull-Clark step into some
// 24 000 smooth quads, drawn lit and with black fog.
//
// Time: the timeline passes scene time t in seconds; u = 0.015 t drives
// everything. The tube spins about its axis at -3000 u degrees (45 degrees per
// second), the sunburst turns at -10 pi u radians, and logo slot i sits at
// x = (16 + 4i - 250u)^3: slow through the middle of the screen, fast at the
// sides, slot 0 crossing the centre at u = 0.064 and each later slot 0.016
// later (about one second apart).
//
// Knobs: knob3 darkens every second ray of the sunburst (flat shading gives
// each fan triangle the colour of its last rim vertex, and odd rim vertices
// carry the darkening); knob4 and knob5 tilt the camera's aim up and down
// (0 looks straight at the tube); knob7 rolls the camera by up to 270 degrees.
//
// Units: the tube's world x is 1.5 (a - 16), y = b - 16, z = c - 16. The mesh
// camera sits at z = -40 looking towards +z; the logo camera at z = +40
// looking towards -z, where 0.05 units are one logo texel. The sunburst is
// drawn in the unit square of an orthographic view, its fan centre at
// (0.35, -0.4) and its rim at radius 2, beyond every corner.
//
// Same frame whatever came before, and cheap to send: Mesa draws a long
// immediate-mode batch in pieces cut where its vertex buffer happens to fill,
// which depends on every vertex sent in earlier frames, and rasterizes a
// piece that needs clipping along other quad diagonals than one that does
// not; so the quads are written out as triangles, (0, 1, 3) and (1, 2, 3) as
// llvmpipe splits a quad, into two arrays and drawn by one glDrawArrays.
// These are the very pixels of the quads compiled into a display list, at a
// sixth of that CPU time (1.4 against 8.2 ms): compiling the list was most of it.
// (A GL_QUADS array draw is split other ways and changes many pixels.)
//
// Speed: about 26 000 samples fall inside the cylinder, two lattice samples
// each. The lattice is read through a derived table of the eight corner bytes
// of every cell, and since the angle is 2 pi / 256 times a small integer
// (4 n1 + 2 n2), the term 0.18 + 0.18 sin(angle) comes from a table of all
// 1 531 such integers, bit for bit what the direct formula gives.
#include "scenes/blob.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

#include <cmath>
#include <numbers>

#include "gfx/draw.h"
#include "gfx/image_store.h"
#include "gfx/subdiv_mesh.h"
#include "scenes/scenes.h"
#include "timeline/timeline.h"

int8_t blob_lattice[8][16][8];
int8_t blob_corners[8][16][8][8];
GridSample blob_grid[BLOB_GRID_N * BLOB_GRID_N * BLOB_GRID_N];

// Logo slot i shows this image.
static const char *const greeting_keys[BLOB_GREETINGS] = {
    "greet01", "greet02", "greet03", "greet04", "greet05", "greet06", "greet07", "greet08",
    "greet09", "greet16", "greet10", "greet11", "greet15", "greet12", "greet13", "greet14",
};

struct GreetingSlot {
    uint32_t texture;  // rectangle texture
    int32_t width, height;
};
static GreetingSlot greetings[BLOB_GREETINGS];

// n1 and n2 lie in -128..127, so k = 4 n1 + 2 n2 lies in -768..762.
static constexpr int32_t WAVE_K_MIN = -768, WAVE_K_MAX = 762;
// 0.18 + 0.18 sin(k 2 pi / 256) for every k, indexed by k - WAVE_K_MIN.
static double wave_height[WAVE_K_MAX - WAVE_K_MIN + 1];

void blob_derive_corners()
{
    for (int u = 0; u < 8; ++u)
        for (int v = 0; v < 16; ++v)
            for (int w = 0; w < 8; ++w) {
                const int u1 = (u + 1) & 7, v1 = (v + 1) & 15, w1 = (w + 1) & 7;
                int8_t *k = blob_corners[u][v][w];
                k[0] = blob_lattice[u][v][w];
                k[1] = blob_lattice[u][v][w1];
                k[2] = blob_lattice[u][v1][w];
                k[3] = blob_lattice[u][v1][w1];
                k[4] = blob_lattice[u1][v][w];
                k[5] = blob_lattice[u1][v][w1];
                k[6] = blob_lattice[u1][v1][w];
                k[7] = blob_lattice[u1][v1][w1];
            }
}

void blob_make_lattice()
{
    rand_reset();
    for (auto &plane : blob_lattice)
        for (auto &column : plane)
            for (int8_t &r : column) {
                const int32_t first = rand_next();
                rand_next();
                rand_next();
                rand_next();
                r = int8_t(uint8_t((first - 128) & 0xFF));
            }
    blob_derive_corners();
    for (int32_t k = WAVE_K_MIN; k <= WAVE_K_MAX; ++k)
        wave_height[k - WAVE_K_MIN] = 0.18 + 0.18 * std::sin(k * 2.0 * std::numbers::pi / 256.0);
}

int32_t lattice_sample(int32_t u, int32_t v, int32_t w)
{
    // & wraps negative cells too: (-1 >> 8) & 7 is cell 7, fraction 255.
    const int8_t *k = blob_corners[(u >> 8) & 7][(v >> 8) & 15][(w >> 8) & 7];
    const int32_t fu = u & 255, fv = v & 255, fw = w & 255;
    const int32_t k00 = (k[1] - k[0]) * fw + k[0] * 256;
    const int32_t k01 = (k[3] - k[2]) * fw + k[2] * 256;
    const int32_t k10 = (k[5] - k[4]) * fw + k[4] * 256;
    const int32_t k11 = (k[7] - k[6]) * fw + k[6] * 256;
    const int32_t m0 = (k01 - k00) * fv + k00 * 256;
    const int32_t m1 = (k11 - k10) * fv + k10 * 256;
    // |m1 - m0| reaches 255 * 2^16, times fu up to 255: past 32 bits, while
    // the whole sum, a weighted mean times 2^24, fits.
    return int32_t((int64_t(m1 - m0) * fu + int64_t(m0) * 256) >> 24);
}

void blob_fill_field(double u)
{
    constexpr int32_t n = BLOB_GRID_N;
    const int32_t s = int32_t(50.0 * u * 512.0);
    for (int32_t a = 0; a < n; ++a) {
        const int32_t q = 1536 - 48 * a;
        const int32_t u1 = (q >> 2) + (s >> 5), u2 = (q >> 1) + s;
        for (int32_t b = 0; b < n; ++b) {
            GridSample *row = blob_grid + (a * n + b) * n;
            for (int32_t c = 0; c < n; ++c) {
                GridSample &g = row[c];
                const double r2 = ((b - 16) * (b - 16) + (c - 16) * (c - 16)) / 256.0;
                if (r2 >= 1.0) {
                    g.value = 0.0f;
                    g.below = 1;
                    continue;
                }
                const int32_t n1 = lattice_sample(u1, 8 * b, 8 * c);
                const int32_t n2 = lattice_sample(u2, 16 * b, 16 * c);
                const double value = wave_height[4 * n1 + 2 * n2 - WAVE_K_MIN] * (1.0 - r2);
                g.value = float(value);
                g.below = value < 0.18;
            }
        }
    }
}

double greeting_x(int32_t slot, double u)
{
    const double x = 16.0 + 4.0 * slot - 250.0 * u;
    return x * x * x;
}

double greeting_y(int32_t slot) { return 9.0 * std::sin(7.0 + 3.0 * slot); }

void blob_scene_setup()
{
    uint32_t names[BLOB_GREETINGS];
    glGenTextures(BLOB_GREETINGS, names);
    for (int32_t i = 0; i < BLOB_GREETINGS; ++i) {
        greetings[i].texture = names[i];
        upload_rect_image(names[i], greeting_keys[i], &greetings[i].width, &greetings[i].height);
    }
    blob_make_lattice();
}

// The background: a fan of sixteen rays about a point below and right of the
// centre, every odd ray darkened by knob3.
static void draw_sunburst(double u)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1.0, 1.0, -1.0, 1.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glShadeModel(GL_FLAT);

    const double dark = knobs.knob[3] * double(1.0f / 127.0f);
    glBegin(GL_TRIANGLE_FAN);
    glVertex3d(0.35, -0.4, 0.0);
    for (int i = 0; i <= 16; ++i) {
        const double theta = i * std::numbers::pi / 8.0 - 10.0 * std::numbers::pi * u;
        const double d = (i & 1) ? dark : 0.0;
        glColor3d((1.0 - d) * 0.9, (1.0 - d) * 0.53, (1.0 - d) * 0.3);
        glVertex3d(2.0 * std::cos(theta), 2.0 * std::sin(theta), 0.0);
    }
    glEnd();
}

// Every live quad as the two triangles (0, 1, 3) and (1, 2, 3), corners
// written out in draw order: 6 per quad.
static constexpr int32_t BLOB_TRIANGLE_VERTICES_MAX = 6 * SUBDIV_MAX_FACES;
static Vec3f blob_triangle_position[BLOB_TRIANGLE_VERTICES_MAX];
static Vec3f blob_triangle_normal[BLOB_TRIANGLE_VERTICES_MAX];

void blob_draw_quads()
{
    static constexpr int corner_order[6] = {0, 1, 3, 1, 2, 3};
    const SubdivMesh &m = subdiv_mesh;
    int32_t n = 0;
    for (int32_t f = 0; f < m.face_count; ++f) {
        const SubdivFace &face = m.faces[f];
        if (face.corner_count != 4)
            continue;
        for (int k : corner_order) {
            const SubdivVertex &v = m.vertices[face.corners[k]];
            blob_triangle_position[n] = v.position;
            blob_triangle_normal[n] = v.normal;
            ++n;
        }
    }
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, blob_triangle_position);
    glNormalPointer(GL_FLOAT, 0, blob_triangle_normal);
    glDrawArrays(GL_TRIANGLES, 0, n);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void blob_mesh_draw(double u)
{
    glClear(GL_DEPTH_BUFFER_BIT);
    glEnable(GL_NORMALIZE);
    glDisable(GL_FOG);

    draw_sunburst(u);

    // Camera: knob4 = knob5 = 0 aim at the origin, 127 aim 40 below or 30
    // above it; knob7 rolls the up vector.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(35.0, 1.3333333333333335, 1.0, 200.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const double g = 1.0 - knobs.knob[4] / 127.0, h = 1.0 - knobs.knob[5] / 127.0;
    const double aim_y = -40.0 * (1.0 - 4.0 * g + 3.0 * g * g) + 30.0 * (1.0 - 4.0 * h + 3.0 * h * h);
    const double roll = knobs.knob[7] * 1.5 * std::numbers::pi / 127.0;
    gluLookAt(0.0, 0.0, -40.0, 0.0, aim_y, 0.0, std::sin(-roll), std::cos(roll), 0.0);

    const float light_pos[4] = {20.0f, 20.0f, -40.0f, 1.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, light_pos);
    glRotated(-3000.0 * u, 1.0, 0.0, 0.0);

    glFogi(GL_FOG_MODE, GL_LINEAR);
    glFogf(GL_FOG_START, 10.0f);
    glFogf(GL_FOG_END, 100.0f);
    glEnable(GL_FOG);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_NORMALIZE);
    glShadeModel(GL_SMOOTH);

    const float light_ambient[4] = {0.2f, 0.0f, 0.0f, 1.0f};
    const float light_diffuse[4] = {1.0f, 1.0f, 0.3f, 1.0f};
    glLightfv(GL_LIGHT0, GL_AMBIENT, light_ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, light_diffuse);
    const float ambient[4] = {0.0f, 0.0f, 0.3f, 1.0f};
    const float diffuse[4] = {0.6f, 0.2f, 0.3f, 1.0f};
    const float specular[4] = {0.5f, 0.25f, 0.25f, 1.0f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 40.0f);

    blob_draw_quads();
}

// The sixteen logos, added twice (z = 0 and 0.5) for a slight double image.
static constexpr double greeting_layer_z[2] = {0.0, 0.5};

static void draw_greetings(double u)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(40.0, 1.3333333333333333, 1.0, 200.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0.0, 0.0, 40.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
    glEnable(GL_TEXTURE_RECTANGLE);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glColor3d(0.4, 0.4, 0.4);
    for (int32_t i = 0; i < BLOB_GREETINGS; ++i) {
        const GreetingSlot &slot = greetings[i];
        const double x = greeting_x(i, u), y = greeting_y(i);
        const double hw = 0.05 * slot.width, hh = 0.05 * slot.height;
        glBindTexture(GL_TEXTURE_RECTANGLE, slot.texture);
        glBegin(GL_QUADS);
        for (const double z : greeting_layer_z) {
            glTexCoord2i(0, 0);
            glVertex3d(x - hw, y - hh, z);
            glTexCoord2i(slot.width, 0);
            glVertex3d(x + hw, y - hh, z);
            glTexCoord2i(slot.width, slot.height);
            glVertex3d(x + hw, y + hh, z);
            glTexCoord2i(0, slot.height);
            glVertex3d(x - hw, y + hh, z);
        }
        glEnd();
    }
    glDisable(GL_TEXTURE_RECTANGLE);
}

void blob_scene_draw(double t)
{
    const double u = 0.015 * t;
    blob_fill_field(u);
    polygonize_indexed(blob_grid, BLOB_GRID_N, BLOB_ISO, {-24.0f, -16.0f, -16.0f}, {1.5f, 1.0f, 1.0f});
    catmull_clark_step();
    blob_mesh_draw(u);
    draw_greetings(u);
    apply_glow();
}
