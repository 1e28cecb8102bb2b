// Bump-mapped tunnel and fur torus: the camera swings through a tunnel whose
// walls are lit per pixel by a light circling its axis, and in front of it a
// ring-shaped tube turns, one half dull and furry, the other half a shiny
// cage of lines.
//
// Tunnel. 20 rings of 33 quads (one turn plus one overlapping segment) on a
// cylinder of radius 10 about the z axis from z = 100 to z = -100. The
// fragment program samples the normal map (texture unit 0) and the colour
// pattern (unit 1): with L the interpolated light vector of texture set 1 and
// N = 2 * normal texel - 1, the brightness is max(N . L / |L| - 0.03 |L|, 0)
// * 0.99 + 0.01, times the pattern at (s / 8, t / 20) of texture set 0. Set 1
// is (light - corner) through each quad's light matrix, so the wall's relief
// catches the light as it passes; set 0's second coordinate falls by 3 per
// second, so the pattern streams along the tunnel. There is no depth test:
// the walls are drawn ring by ring in table order.
//
// Tube. A torus of major radius 4 whose cross-section breathes between 0.5
// and 1.5 along the ring (r = 1 + 0.5 sin(j pi / 8) at ring j of 32), built
// once into the fixed triangle mesh. Rings 0..15 are the furry half: a dull
// grey surface, then fins along its lines where it turns away from the eye
// (the 16-row fin strip stretched over quads that stand 0.5 units out of the
// surface), then sixteen shells, copies of the surface pushed out by 4/127
// per layer, each masked by its fur layer and alpha-tested. Rings 16..31 are
// the other half: lit white with sphere-mapped lines, a chrome-like cage.
//
// Time: t is the scene time, n a view number from the timeline; T = t + 10 n.
// The tunnel camera circles the origin at radius 10 in the xz plane, by
// 0.3 (5 pi n + t) radians; the light circles the z axis at radius 5 at one
// radian per second. The tube camera sits 23 units away, circling the y axis
// at T 2 pi / 3 radians per second and raised by 30 degrees, and the tube
// turns by 10 T degrees about y. knob6 is the closing white flash.
//
// The multitexture and fragment-program entry points come from the driver at
// set-up (gfx/gl_ext.h), which stops the program with a message naming the
// extension if the driver lacks one.
//
// Same frame whatever came before: Mesa draws a long immediate-mode batch in
// pieces cut where its vertex buffer happens to fill, which depends on every
// vertex sent in earlier frames, and rasterizes a piece that needs clipping
// along other quad diagonals than one that does not. The batches that run
// through the view's edges (tunnel walls, surfaces, fins, shells) are
// therefore array batches (gfx/array_batch.h), drawn whole as display lists
// of the same calls are, so they are cut the same way every time and a shot
// equals the captured frame.
#include "scenes/bump.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

#include "gfx/array_batch.h"
#include "gfx/draw.h"
#include "gfx/gl_ext.h"
#include "gfx/image_store.h"
#include "gfx/precalc.h"
#include "gfx/trimesh.h"
#include "scenes/scenes.h"
#include "timeline/timeline.h"

BumpQuadTable bump_quads = {};

static uint32_t normal_map_tex, pattern_tex, line_tex;

static constexpr double PI = std::numbers::pi;
static constexpr double FIN_HEIGHT = 0.5039370078740157;     // 64/127
static constexpr double SHELL_STEP = 0.031496062992125984;   // 4/127

static Vec3 sub(const Vec3 &a, const Vec3 &b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

void bump_add_quad(const Vec3 &c0, const Vec3 &c1, const Vec3 &c2, const Vec3 &c3, const double s[4],
                   const double t[4])
{
    if (bump_quads.count + 1 > BUMP_MAX_QUADS - 2) {
        std::fputs("MAXBFACES\n", stderr);
        std::exit(1);
    }
    BumpQuad &q = bump_quads.quads[bump_quads.count++];
    q.corner[0] = c0;
    q.corner[1] = c1;
    q.corner[2] = c2;
    q.corner[3] = c3;
    for (int k = 0; k < 4; ++k) {
        q.s[k] = s[k];
        q.t[k] = t[k];
    }
    Vec3 tan = sub(c1, c0), bin = sub(c3, c0), nrm;
    vec_cross(&nrm, tan, bin);
    vec_normalize(&tan);
    vec_normalize(&bin);
    vec_normalize(&nrm);
    Vec3 p, qv, r;
    vec_cross(&p, bin, nrm);
    vec_cross(&qv, nrm, tan);
    vec_cross(&r, tan, bin);
    const double d = 1.0 / vec_dot(tan, p);
    q.m[0] = d * p.x;
    q.m[1] = -d * p.y;
    q.m[2] = d * p.z;
    q.m[3] = -d * qv.x;
    q.m[4] = d * qv.y;
    q.m[5] = -d * qv.z;
    q.m[6] = d * r.x;
    q.m[7] = -d * r.y;
    q.m[8] = d * r.z;
}

void bump_build_tunnel()
{
    bump_quads.count = 0;
    for (int i = 1; i <= BUMP_RINGS; ++i) {
        const double z0 = 100.0 - 10.0 * (i - 1), z1 = 100.0 - 10.0 * i;
        for (int k = 0; k < BUMP_SEGMENTS; ++k) {
            const double a0 = k * PI / 16.0, a1 = (k + 1) * PI / 16.0;
            const Vec3 c0 = {10.0 * std::cos(a0), 10.0 * std::sin(a0), z0};
            const Vec3 c1 = {10.0 * std::cos(a0), 10.0 * std::sin(a0), z1};
            const Vec3 c2 = {10.0 * std::cos(a1), 10.0 * std::sin(a1), z1};
            const Vec3 c3 = {10.0 * std::cos(a1), 10.0 * std::sin(a1), z0};
            const double s[4] = {a0 * 4.0 / PI, a0 * 4.0 / PI, a1 * 4.0 / PI, a1 * 4.0 / PI};
            const double t[4] = {z0 * 0.125, z1 * 0.125, z1 * 0.125, z0 * 0.125};
            bump_add_quad(c0, c1, c2, c3, s, t);
        }
    }
}

void bump_make_normal_map(const uint8_t *height, uint8_t *out)
{
    constexpr int n = NORMAL_MAP_SIZE;
    auto h = [height](int x, int y) { return int(height[(y * n + x) * 3]); };
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const double dx = h((x + 1) % n, y) - h(x, y);
            const double dy = h(x, (y + 1) % n) - h(x, y);
            Vec3 v = {-dx, -dy, 1.0};
            vec_normalize(&v);
            uint8_t *px = out + (y * n + x) * 3;
            px[0] = uint8_t(int(127.0 * v.x + 128.0));
            px[1] = uint8_t(int(127.0 * v.y + 128.0));
            px[2] = uint8_t(int(127.0 * v.z + 128.0));
        }
}

void bump_make_line_texture(uint8_t *out)
{
    for (int row = 0; row < LINE_TEX_SIZE; ++row)
        for (int col = 0; col < LINE_TEX_SIZE; ++col)
            out[row * LINE_TEX_SIZE + col] = (col == 30 || col == 40 || row == 50) ? 255 : 0;
}

void bump_build_tube()
{
    trimesh_reset();
    constexpr int nv = TUBE_RING_VERTICES;
    for (int j = 0; j < TUBE_RINGS; ++j) {
        const double r = 1.0 + 0.5 * std::sin(j * PI / 8.0);
        for (int k = 0; k < nv; ++k) {
            double x = 4.0 + r * std::sin(k * PI / 12.0), z = 0.0;
            rotate_pair(&x, &z, j * PI / 16.0);
            trimesh_add_vertex({x, r * std::cos(k * PI / 12.0), z}, j, k);
        }
    }
    auto v = [](int j, int k) { return nv * j + k; };
    for (int j = 0; j < TUBE_RINGS - 1; ++j) {
        const int jn = (j + 1) % (TUBE_RINGS - 1);
        const int flag = j < 16 ? 1 : 0;
        for (int k = 0; k < nv; ++k) {
            const int kp = (k + nv - 1) % nv;
            trimesh_add_face(v(j, kp), v(jn, kp), v(j, k), flag);
            trimesh_add_face(v(j, k), v(jn, kp), v(jn, k), flag);
            if (j < 16) {
                trimesh_add_line(v(j, kp), v(j, k));
                trimesh_add_line(v(j, k), v(jn, k));
            }
        }
    }
    trimesh_finish();
}

void tunnel_texcoord(const BumpQuad &q, int k, double t, double *s_out, double *t_out)
{
    *s_out = q.s[k];
    *t_out = q.t[k] - 3.0 * t;
}

Vec3 tunnel_light_vector(const BumpQuad &q, int k, const Vec3 &light)
{
    const Vec3 l = sub(light, q.corner[k]);
    const double *m = q.m;
    return {l.x * m[0] + l.y * m[3] + l.z * m[6], l.x * m[1] + l.y * m[4] + l.z * m[7],
            l.x * m[2] + l.y * m[5] + l.z * m[8]};
}

double fin_alpha(const Vec3 &n, const Vec3 &e) { return 2.0 * (1.0 - std::fabs(vec_dot(n, e))) - 1.0; }

void bump_scene_setup()
{
    gl_ext_load();

    uint32_t names[3];
    glGenTextures(3, names);
    normal_map_tex = names[0];
    pattern_tex = names[1];
    line_tex = names[2];

    upload_mipmapped_image(pattern_tex, "bump_pattern");

    static uint8_t normals[NORMAL_MAP_SIZE * NORMAL_MAP_SIZE * 3];
    bump_make_normal_map(quill_height_image, normals);
    glBindTexture(GL_TEXTURE_2D, normal_map_tex);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, NORMAL_MAP_SIZE, NORMAL_MAP_SIZE, 0, GL_RGB, GL_UNSIGNED_BYTE, normals);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);

    gl_ext.bind_program(GL_FRAGMENT_PROGRAM_ARB, 0);
    gl_ext.program_string(GL_FRAGMENT_PROGRAM_ARB, GL_PROGRAM_FORMAT_ASCII_ARB, BUMP_PROGRAM_LENGTH,
                          bump_program_text());

    bump_build_tunnel();

    static uint8_t lines[LINE_TEX_SIZE * LINE_TEX_SIZE];
    bump_make_line_texture(lines);
    glBindTexture(GL_TEXTURE_2D, line_tex);
    gluBuild2DMipmaps(GL_TEXTURE_2D, GL_LUMINANCE, LINE_TEX_SIZE, LINE_TEX_SIZE, GL_LUMINANCE, GL_UNSIGNED_BYTE,
                      lines);

    bump_build_tube();
}

static void draw_tunnel(double t, int32_t n)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(90.0, 1.3333333333333333, 1.0, 200.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    double ex = 10.0, ey = 0.0, ez = 0.0;
    rotate_pair(&ex, &ez, (5.0 * PI * n + t) * 0.3);
    gluLookAt(ex, ey, ez, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    gl_ext.active_texture(GL_TEXTURE0_ARB);
    glBindTexture(GL_TEXTURE_2D, normal_map_tex);
    gl_ext.active_texture(GL_TEXTURE1_ARB);
    glBindTexture(GL_TEXTURE_2D, pattern_tex);
    gl_ext.active_texture(GL_TEXTURE0_ARB);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glColor3d(1.0, 1.0, 1.0);
    glEnable(GL_FRAGMENT_PROGRAM_ARB);

    const Vec3 light = {5.0 * std::sin(t), 5.0 * std::cos(t), 0.0};
    array_batch_begin(ARRAY_TEXCOORD | ARRAY_TEXCOORD1);
    array_begin(GL_QUADS);
    for (int32_t i = 0; i < bump_quads.count; ++i) {
        const BumpQuad &q = bump_quads.quads[i];
        for (int k = 0; k < 4; ++k) {
            double s, tc;
            tunnel_texcoord(q, k, t, &s, &tc);
            array_texcoord(s, tc);
            const Vec3 l = tunnel_light_vector(q, k, light);
            array_texcoord1(l.x, l.y, l.z);
            array_vertex(q.corner[k].x, q.corner[k].y, q.corner[k].z);
        }
    }
    array_end();
    array_batch_end();

    glDisable(GL_FRAGMENT_PROGRAM_ARB);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
}

// Every face with the given flag, each corner with its normal and position.
static void tube_faces(int32_t flag)
{
    const TriMesh &m = tri_mesh;
    array_batch_begin(ARRAY_NORMAL);
    array_begin(GL_TRIANGLES);
    for (int32_t f = 0; f < m.face_count; ++f) {
        if (m.faces[f].flag != flag)
            continue;
        for (const int32_t c : m.faces[f].corners) {
            const Vec3 &n = m.vertices[c].normal, &p = m.vertices[c].position;
            array_normal(n.x, n.y, n.z);
            array_vertex(p.x, p.y, p.z);
        }
    }
    array_end();
    array_batch_end();
}

// Quads standing out of the surface along each fur line, faded in where the
// surface turns away from the eye.
static void draw_fins(const Vec3 &eye_dir)
{
    const TriMesh &m = tri_mesh;
    array_batch_begin(ARRAY_COLOR | ARRAY_TEXCOORD);
    array_begin(GL_QUADS);
    for (int32_t i = 0; i < m.line_count; ++i) {
        const TriMeshVertex &v0 = m.vertices[m.lines[i].v[0]];
        const TriMeshVertex &v1 = m.vertices[m.lines[i].v[1]];
        Vec3 n = {v0.normal.x + v1.normal.x, v0.normal.y + v1.normal.y, v0.normal.z + v1.normal.z};
        vec_normalize(&n);
        const double a = fin_alpha(n, eye_dir);
        if (!(a > 0.0))
            continue;
        const Vec3 &p0 = v0.position, &p1 = v1.position, &n0 = v0.normal, &n1 = v1.normal;
        array_color(1.0, 1.0, 1.0, a);
        array_texcoord(0.0, 0.0);
        array_vertex(p0.x, p0.y, p0.z);
        array_texcoord(1.0, 0.0);
        array_vertex(p1.x, p1.y, p1.z);
        array_texcoord(1.0, 1.0);
        array_vertex(p1.x + n1.x * FIN_HEIGHT, p1.y + n1.y * FIN_HEIGHT, p1.z + n1.z * FIN_HEIGHT);
        array_texcoord(0.0, 1.0);
        array_vertex(p0.x + n0.x * FIN_HEIGHT, p0.y + n0.y * FIN_HEIGHT, p0.z + n0.z * FIN_HEIGHT);
    }
    array_end();
    array_batch_end();
}

// Shell layer `layer` (1..16) of the furry half, pushed out by layer * 4/127.
static void draw_shell(int layer)
{
    const TriMesh &m = tri_mesh;
    const double lift = layer * SHELL_STEP;
    glBindTexture(GL_TEXTURE_2D, fur_shell_tex[layer]);
    array_batch_begin(ARRAY_NORMAL | ARRAY_TEXCOORD);
    array_begin(GL_TRIANGLES);
    for (int32_t f = 0; f < m.face_count; ++f) {
        if (m.faces[f].flag != 1)
            continue;
        for (const int32_t c : m.faces[f].corners) {
            const TriMeshVertex &v = m.vertices[c];
            // Seams: the last ring and the last vertex of each ring wrap
            // to texture coordinate 0; move them to the far end instead.
            double s = v.s, t = v.t;
            if (s == 0.0 && f > m.face_count / 2)
                s = 32.0;
            if (t == 0.0 && f % 48 < 2)
                t = 24.0;
            array_normal(v.normal.x, v.normal.y, v.normal.z);
            array_texcoord(s / 2.0, t / 2.0);
            array_vertex(v.position.x + v.normal.x * lift, v.position.y + v.normal.y * lift,
                         v.position.z + v.normal.z * lift);
        }
    }
    array_end();
    array_batch_end();
}

static void draw_tube(double big_t)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(40.0, 1.3333333333333333, 1.0, 200.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    Vec3 eye = {0.0, 0.0, -23.0};
    rotate_pair(&eye.x, &eye.z, big_t * 2.0 * PI / 3.0);
    rotate_pair(&eye.y, &eye.z, PI / 6.0);
    gluLookAt(eye.x, eye.y, eye.z, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
    Vec3 eye_dir = eye;
    vec_normalize(&eye_dir);
    glRotated(10.0 * big_t, 0.0, 1.0, 0.0);

    glEnable(GL_DEPTH_TEST);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.01f);
    glDisable(GL_BLEND);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_TEXTURE_2D);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    const float dull_ambient[4] = {0.4f, 0.4f, 0.4f, 1.0f};
    const float dull_diffuse[4] = {0.2f, 0.2f, 0.2f, 1.0f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, dull_ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, dull_diffuse);
    glEnable(GL_NORMALIZE);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);

    // The furry half's skin.
    tube_faces(1);

    // The shiny half: white, with the line texture mapped by reflection.
    const float shiny_ambient[4] = {0.4f, 0.5f, 0.4f, 1.0f};
    const float shiny_diffuse[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, shiny_ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, shiny_diffuse);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, line_tex);
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);
    tube_faces(0);
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);

    glEnable(GL_BLEND);
    glDepthMask(GL_FALSE);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, fur_shell_tex[0]);
    glDisable(GL_LIGHTING);
    draw_fins(eye_dir);

    glEnable(GL_LIGHTING);
    glDepthMask(GL_TRUE);
    glEnable(GL_ALPHA_TEST);
    const float fur_diffuse[4] = {1.0f, 0.9f, 1.0f, 125.0f / 127.0f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, fur_diffuse);
    for (int layer = 1; layer <= PRECALC_FUR_LAYERS; ++layer) draw_shell(layer);
}

void bump_scene_draw(double t, int32_t n)
{
    draw_tunnel(t, n);
    draw_tube(t + 10.0 * n);
    add_white(knobs.knob[6] / 127.0);
}
