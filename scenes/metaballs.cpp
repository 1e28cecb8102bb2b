// Fur metaballs: three balls orbit and merge inside a turning frame; their
// iso-surface is polygonized every frame and drawn as a lit surface with fur,
// in front of a shell of 5600 faint glowing dots that turns around the camera.
//
// Inputs: t in seconds and n from the timeline; knob6 whitens the finished
// frame, knob7 darkens it. n only rolls the view: the roll is
// phi = 1.3 pi n + 2 pi sin(0.05 t), so each new n (a new stretch of 48 or 64
// rows) tips the picture to a new angle while the sine sways it slowly.
//
// The field. Each ball adds 1.4 / d^2; a lone ball crosses the iso level 0.18
// at d = sqrt(1.4 / 0.18), about 2.79 units, and two balls closer than about
// twice that melt into one surface. The balls swing on Lissajous paths
// (x within +-4, y within +-6) in a frame that turns about y by 4t, sampled
// on a 21^3 grid 1.1 units apart (-11 .. 11) and polygonized in double
// precision with smooth unit normals; the field is high inside, so the
// triangles face outwards.
//
// The fur, as on the tunnel's torus, is made of the shared fur-shell
// textures (gfx/precalc.h):
//  - fins: along every triangle edge a quad standing out along the vertex
//    normals by 86.4/127 units, textured with the fin strip; its opacity
//    2x - 1, x = 1 - |n . view|, shows it only near the silhouette, where
//    the edge's averaged normal is nearly perpendicular to the view;
//  - shells: the whole surface drawn again sixteen times, pushed out by
//    10.8/127 units per layer, each layer with the next thinner blade
//    pattern; texture coordinates come from the position (x + 0.3 z,
//    y + 0.3 z) so the pattern is fixed to space, not to the moving mesh.
//
// The dots sit on a wobbly shell of radius 40..60 about the origin (the
// camera at distance 31 is inside it): row a tilts each circle of dots by
// a pi/140 up or down, dot i goes round the circle by i pi/20 + 1.85 t, and
// each dot's size pulses with sin(m + 10 t).
//
// Every batch (dots, surface, fins, each shell layer) is an array batch
// (gfx/array_batch.h), drawn as a display list of the same calls would be
// and not cut by the driver's vertex buffer, so the fins that lie exactly on
// the surface at the balls' edges come out the same whatever was drawn in
// earlier frames; unlike a list it is not compiled anew every frame.
#include "scenes/metaballs.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <numbers>

#include "gfx/array_batch.h"
#include "gfx/draw.h"
#include "gfx/precalc.h"
#include "scenes/scenes.h"
#include "timeline/timeline.h"

using std::numbers::pi;

static uint32_t dot_tex;
static GridSampleD metaball_grid[METABALL_GRID_N * METABALL_GRID_N * METABALL_GRID_N];
static DotQuad dot_shell[METABALL_DOT_QUADS];
// Direction from the surface towards the camera, for the fin rule.
static Vec3 view_direction;

// Sizes in world units, given on the knob scale.
static constexpr double FIN_LENGTH = 86.4 / 127.0;
static constexpr double FIN_TEX_WIDTH = 65.0 / 127.0;  // of the fin strip, per edge
static constexpr double SHELL_STEP = 10.8 / 127.0;
static constexpr double SHELL_TEX_SCALE = 97.0 / 127.0;

// ---------------------------------------------------------------------------
// Set-up

uint8_t metaball_dot_texel(int32_t x, int32_t y)
{
    const double half = METABALL_DOT_TEX_SIZE / 2;
    return uint8_t(int32_t(255.0 * std::fmax(0.0, 1.0 - std::hypot(x - half, y - half) / half)));
}

void metaball_scene_setup()
{
    static uint8_t texels[METABALL_DOT_TEX_SIZE][METABALL_DOT_TEX_SIZE];
    for (int32_t y = 0; y < METABALL_DOT_TEX_SIZE; ++y)
        for (int32_t x = 0; x < METABALL_DOT_TEX_SIZE; ++x) texels[y][x] = metaball_dot_texel(x, y);
    glGenTextures(1, &dot_tex);
    glBindTexture(GL_TEXTURE_2D, dot_tex);
    gluBuild2DMipmaps(GL_TEXTURE_2D, GL_LUMINANCE, METABALL_DOT_TEX_SIZE, METABALL_DOT_TEX_SIZE, GL_LUMINANCE,
                      GL_UNSIGNED_BYTE, texels);
}

// ---------------------------------------------------------------------------
// Arithmetic

void metaball_centres(double t, Vec3 centre[3])
{
    centre[0] = {-4.0 * std::cos(1.4 * t), -6.0 * std::sin(1.8 * t), 0.0};
    centre[1] = {-4.0 * std::sin(1.3 * t), -6.0 * std::cos(2.7 * t), 0.0};
    centre[2] = {-4.0 * std::sin(0.8 * t), -6.0 * std::cos(2.1 * t), 0.0};
}

double metaball_value(const Vec3 &p, const Vec3 centre[3])
{
    double sum = 0.0;
    for (int b = 0; b < 3; ++b) {
        const double dx = p.x - centre[b].x, dy = p.y - centre[b].y, dz = p.z - centre[b].z;
        sum += METABALL_STRENGTH / (dx * dx + dy * dy + dz * dz);
    }
    return sum;
}

void metaball_sample(GridSampleD *sample, const Vec3 &p, const Vec3 centre[3])
{
    sample->value = metaball_value(p, centre);
    sample->below = sample->value < METABALL_ISO ? 1 : 0;
}

void metaball_sample_field(GridSampleD *grid, double t)
{
    Vec3 centre[3];
    metaball_centres(t, centre);
    const int32_t half = METABALL_GRID_N / 2;
    GridSampleD *s = grid;
    for (int32_t i = 0; i < METABALL_GRID_N; ++i)
        for (int32_t j = 0; j < METABALL_GRID_N; ++j)
            for (int32_t k = 0; k < METABALL_GRID_N; ++k, ++s) {
                Vec3 p = {METABALL_STEP * (i - half), METABALL_STEP * (j - half), METABALL_STEP * (k - half)};
                rotate_pair(&p.x, &p.z, -4.0 * t);
                metaball_sample(s, p, centre);
            }
}

double fin_alpha(const Vec3 &n0, const Vec3 &n1, const Vec3 &view)
{
    // Opposite normals would sum to zero; the NaN that normalizing gives
    // fails the caller's "> 0" test, so no fin is drawn there.
    Vec3 n = {n0.x + n1.x, n0.y + n1.y, n0.z + n1.z};
    vec_normalize(&n);
    const double x = 1.0 - std::fabs(vec_dot(n, view));
    return 2.0 * x - 1.0;
}

int32_t metaball_dot_shell(double t, DotQuad *out)
{
    int32_t count = 0;
    for (int32_t a = -70; a < 70; ++a)
        for (int32_t i = 0; i < 40; ++i) {
            const int32_t m = -1190 + 17 * (a + 70) + 13 * i;
            Vec3 p = {10.0 * std::sin((a + 0.1 * std::sin(t)) * i) + 50.0, 0.0, 0.0};
            rotate_pair(&p.x, &p.y, a * (pi / 140.0));
            rotate_pair(&p.x, &p.z, i * pi / 20.0 + 1.85 * t);
            out[count++] = {p, 2.0 + std::sin(m + 10.0 * t)};
        }
    return count;
}

// ---------------------------------------------------------------------------
// Drawing

static void dot_layer(double t, double roll)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(90.0, 1.3333333333333335, 1.0, 200.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(8.897637795275589, 0.0, 30.0, 8.897637795275589, 0.0, 0.0, -std::sin(roll), std::cos(roll), 0.0);

    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, dot_tex);
    glColor3d(0.05, 0.15, 0.1);

    const int32_t count = metaball_dot_shell(t, dot_shell);
    array_batch_begin(ARRAY_TEXCOORD);
    array_begin(GL_QUADS);
    for (int32_t q = 0; q < count; ++q) {
        const Vec3 &c = dot_shell[q].centre;
        const double h = dot_shell[q].half;
        array_texcoord(0.0, 0.0);
        array_vertex(c.x - h, c.y - h, c.z);
        array_texcoord(0.0, 1.0);
        array_vertex(c.x - h, c.y + h, c.z);
        array_texcoord(1.0, 1.0);
        array_vertex(c.x + h, c.y + h, c.z);
        array_texcoord(1.0, 0.0);
        array_vertex(c.x + h, c.y - h, c.z);
    }
    array_end();
    array_batch_end();
}

static void light(GLenum which, double r, double g, double b, double a)
{
    const GLfloat v[4] = {GLfloat(r), GLfloat(g), GLfloat(b), GLfloat(a)};
    glLightfv(GL_LIGHT0, which, v);
}

static void material(GLenum which, double r, double g, double b, double a)
{
    const GLfloat v[4] = {GLfloat(r), GLfloat(g), GLfloat(b), GLfloat(a)};
    glMaterialfv(GL_FRONT_AND_BACK, which, v);
}

static void lit_surface()
{
    const EdgeVertexSlotD *slots = mc_direct_cache.slots;
    glDisable(GL_BLEND);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glCullFace(GL_BACK);
    glEnable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_NORMALIZE);
    glShadeModel(GL_SMOOTH);
    glDisable(GL_TEXTURE_2D);
    light(GL_AMBIENT, 0.2, 0.0, 0.0, 1.0);
    light(GL_DIFFUSE, 1.0, 1.0, 0.3, 1.0);
    material(GL_AMBIENT, 0.3, 0.0, 0.0, 1.0);
    material(GL_DIFFUSE, 0.25, 0.2, 0.15, 1.0);
    glAlphaFunc(GL_GREATER, 0.01f);
    glEnable(GL_ALPHA_TEST);

    array_batch_begin(ARRAY_NORMAL);
    array_begin(GL_TRIANGLES);
    for (int32_t tri = 0; tri < mc_direct_triangles.count; ++tri)
        for (int32_t c = 0; c < 3; ++c) {
            const EdgeVertexSlotD &s = slots[mc_direct_triangles.tri[tri][c]];
            array_normal(s.normal.x, s.normal.y, s.normal.z);
            array_vertex(s.position.x, s.position.y, s.position.z);
        }
    array_end();
    array_batch_end();
}

// The fin along the edge from slot s0 to slot s1, into an open batch of quads.
static void draw_fin(const EdgeVertexSlotD &s0, const EdgeVertexSlotD &s1)
{
    const double alpha = fin_alpha(s0.normal, s1.normal, view_direction);
    if (!(alpha > 0.0)) return;
    const Vec3 &p0 = s0.position, &p1 = s1.position, &n0 = s0.normal, &n1 = s1.normal;
    array_color(0.5, 0.4, 0.1, alpha);
    array_texcoord(0.0, 0.0);
    array_vertex(p0.x, p0.y, p0.z);
    array_texcoord(FIN_TEX_WIDTH, 0.0);
    array_vertex(p1.x, p1.y, p1.z);
    array_texcoord(FIN_TEX_WIDTH, 1.0);
    array_vertex(p1.x + n1.x * FIN_LENGTH, p1.y + n1.y * FIN_LENGTH, p1.z + n1.z * FIN_LENGTH);
    array_texcoord(0.0, 1.0);
    array_vertex(p0.x + n0.x * FIN_LENGTH, p0.y + n0.y * FIN_LENGTH, p0.z + n0.z * FIN_LENGTH);
}

static void fins()
{
    const EdgeVertexSlotD *slots = mc_direct_cache.slots;
    glDepthMask(GL_FALSE);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glBindTexture(GL_TEXTURE_2D, fur_shell_tex[0]);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);

    array_batch_begin(ARRAY_COLOR | ARRAY_TEXCOORD);
    array_begin(GL_QUADS);
    for (int32_t tri = 0; tri < mc_direct_triangles.count; ++tri) {
        const int32_t *r = mc_direct_triangles.tri[tri];
        draw_fin(slots[r[0]], slots[r[1]]);
        draw_fin(slots[r[1]], slots[r[2]]);
        draw_fin(slots[r[2]], slots[r[0]]);
    }
    array_end();
    array_batch_end();
}

static void shells()
{
    const EdgeVertexSlotD *slots = mc_direct_cache.slots;
    glEnable(GL_CULL_FACE);
    glEnable(GL_LIGHTING);
    glDepthMask(GL_TRUE);
    material(GL_DIFFUSE, 1.0, 0.8, 0.6, 1.0);
    for (int32_t layer = 1; layer <= PRECALC_FUR_LAYERS; ++layer) {
        const double push = SHELL_STEP * layer;
        glBindTexture(GL_TEXTURE_2D, fur_shell_tex[layer]);
        array_batch_begin(ARRAY_NORMAL | ARRAY_TEXCOORD);
        array_begin(GL_TRIANGLES);
        for (int32_t tri = 0; tri < mc_direct_triangles.count; ++tri)
            for (int32_t c = 0; c < 3; ++c) {
                const EdgeVertexSlotD &s = slots[mc_direct_triangles.tri[tri][c]];
                const Vec3 &p = s.position, &n = s.normal;
                array_normal(n.x, n.y, n.z);
                array_texcoord((p.x + 0.3 * p.z) * SHELL_TEX_SCALE, (p.y + 0.3 * p.z) * SHELL_TEX_SCALE);
                array_vertex(p.x + n.x * push, p.y + n.y * push, p.z + n.z * push);
            }
        array_end();
        array_batch_end();
    }
}

void metaball_scene_draw(double t, int32_t n)
{
    metaball_sample_field(metaball_grid, t);
    polygonize_direct(metaball_grid, METABALL_GRID_N, METABALL_ISO, {-11.0, -11.0, -11.0},
                      {METABALL_STEP, METABALL_STEP, METABALL_STEP});

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const double roll = 1.3 * pi * n + 2.0 * pi * std::sin(0.05 * t);
    dot_layer(t, roll);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(30.0, 1.3333333333333335, 1.0, 200.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0.0, 0.0, -40.0, -5.338582677165354, 0.0, 0.0, std::sin(roll), std::cos(roll), 0.0);
    view_direction = {0.0, 0.0, -40.0};
    vec_normalize(&view_direction);

    lit_surface();
    fins();
    shells();

    glDisable(GL_BLEND);
    add_white(knobs.knob[6] / 127.0);
    fade_to_black(knobs.knob[7] / 127.0);
}
