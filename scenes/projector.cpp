// Projector room: a film projector on a table in a room hung with dark red
// curtains throws a live film onto a screen. The film is rendered every frame:
// a meadow of white flowers opening and closing in waves among layered grass
// (scenes/meadow.h), seen by a camera circling it, rendered into the
// lower-left 256 x 256 of the back buffer, aged with the old-film overlay
// (five wandering scratches that halve the picture, five dust hairs that
// darken it, a new dust pattern 25 times a second) and copied into film_tex.
// Then the room is drawn over the whole window with film_tex on the screen.
// The reel flanges turn (only their texture coordinates do, the rear reel 1.5
// times as fast as the front one), the lens glows with a light that flickers
// at 60 radians a second, and when the lens turns towards the viewer a flare
// is added: a six-pointed star, two rows of hexagonal ghosts on the line
// through the lens and a white-out.
//
// Units: world units of the room models, x from the projector towards the
// screen (the screen stands at x = 30), y up; the projector stands at the
// origin. t is the timeline's time in seconds; all motion is per second of t.
//
// Knobs (divided by 127 where used):
//   knob0  yaw of the room camera, a full turn over 127
//   knob1  pitch of the room camera, a full turn over 127
//   knob3  dolly of the room camera towards its target, 30 units over 127
//   knob4  field of view of the film camera, 10 to 30 degrees
//   scene_flag  monochrome-room mode: the film is captured in colour without
//               the overlay, the room is drawn in the greys of its colours and
//               the overlay (thinner scratches, half-size hairs) covers it.
//
// Room camera: P = (0, 0, 10) is turned by the pitch in the y-z plane, then by
// the yaw in the x-z plane, and looks at (0, 2, 0); the dolly moves eye and
// target together along that view direction, so the view turns about the
// projector and then travels.
//
// Flare: with the modelview translated to the lens, its element m[2] is the
// eye-space z of the model x axis, the projector's axis: 1 when the lens looks
// straight at the viewer, 0.5 at 60 degrees off. The strength 2 (m[2] - 0.5),
// never negative, scales the star, the ghosts and the white-out. The lens
// centre is projected to window pixels (relative to the centre); the ghosts
// sit at c q (X + 100) - 100, c q Y for c = -10, -8, ..., 8 and two row
// factors q, so they run along a line through the window centre region and
// swing across the screen as the lens moves.
//
// The sprites (hairs, disc, bars, ghost hexagon, star) are drawn once by the
// set-up with the GL itself in the corner of the back buffer and copied into
// textures: the star is forty soft bars and forty soft discs along each of
// three rays 60 degrees apart, summed additively. Textures are 2-D, their
// row 0 at the bottom; the reel and flower pictures are stored bottom row first.
#include "scenes/projector.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <initializer_list>
#include <numbers>

#include "gfx/array_batch.h"
#include "gfx/draw.h"
#include "gfx/image_store.h"
#include "gfx/models.h"
#include "gfx/precalc.h"
#include "scenes/scenes.h"
#include "shell/shell.h"
#include "timeline/timeline.h"

uint32_t projector_textures[PROJECTOR_TEXTURE_COUNT];

int8_t flower_tilt[MEADOW_FILM_SIZE][MEADOW_FILM_SIZE][2];
int8_t flower_offset[MEADOW_FILM_SIZE][MEADOW_FILM_SIZE][2];
int8_t meadow_grid[MEADOW_FILM_SIZE][MEADOW_FILM_SIZE];
const MeadowField projector_meadow = {MEADOW_FILM_SIZE, &flower_tilt[0][0][0], &flower_offset[0][0][0],
                                      &meadow_grid[0][0], false};

// Rewritten before use every frame: the lens's flare strength (0..1) and its
// window position relative to the window centre, in pixels.
static double flare_strength, flare_x, flare_y;

static constexpr double PI = std::numbers::pi;

// ---------------------------------------------------------------------------
// The arithmetic of the frame

uint16_t film_step(uint16_t h)
{
    return uint16_t(h * 131u + 673u);
}

void make_hair_paths(HairPath out[FILM_HAIRS])
{
    uint16_t h = 1324;
    for (int32_t k = 0; k < FILM_HAIRS; ++k) {
        HairPath &p = out[k];
        h = film_step(h);
        p.grey = (h % 100) * 0.01;
        double x = 0.0, y = 0.0;
        p.x[0] = p.y[0] = 0.0;
        for (int32_t n = 1; n < HAIR_PATH_POINTS; ++n) {
            h = film_step(h);
            x = std::fmin(100.0, std::fmax(-100.0, x + (h % 160) - 80));
            h = film_step(h);
            y = std::fmin(100.0, std::fmax(-100.0, y + (h % 160) - 80));
            p.x[n] = x;
            p.y[n] = y;
        }
    }
}

uint8_t disc_value(double r)
{
    if (r < 0.8) return 255;
    if (r > 1.0) return 0;
    return uint8_t(int32_t(255.0 - 1275.0 * (r - 0.8)));
}

uint8_t disc_texel(int32_t u, int32_t v)
{
    return disc_value(std::hypot(u / 32.0, v / 32.0));
}

void film_dust(double t, bool whole_frame, DustHair out[FILM_HAIRS])
{
    uint16_t h = uint16_t(int64_t(25.0 * t) % 65536);
    for (int32_t k = 0; k < FILM_HAIRS; ++k) {
        h = film_step(h);
        out[k].tex = h % 5;
        h = film_step(h);
        out[k].x = ((h % 1000) - 500) / 480.0;
        h = film_step(h);
        out[k].y = ((h % 1000) - 500) / 480.0;
        h = film_step(h);
        out[k].e = 0.1 + 0.05 * std::sin(double(h));
        if (whole_frame) out[k].e *= 0.5;
    }
}

void film_scratch(int32_t i, double t, bool whole_frame, double *centre, double *half_width)
{
    static constexpr double base_x[5] = {-0.6, -0.1, 0.2, 0.7, -0.93};
    const double f1 = ((i + 1) * (i + 4)) % 5 + 1;
    const double f2 = ((i + 3) * (i + 7)) % 5 + 1;
    *centre = base_x[i] + 0.03 * std::sin(f1 * t);
    *half_width = (whole_frame ? 0.002 : 0.005) * (0.5 + 0.5 * std::sin(f2 * t));
}

double flare_strength_from(double m2)
{
    return 2.0 * std::fmax(0.0, m2 - 0.5);
}

LensFlare lens_flare(const double modelview[16], const double projection[16])
{
    const GLint viewport[4] = {0, 0, 800, 600};
    double wx, wy, wz;
    if (gluProject(0.0, 0.0, 0.0, modelview, projection, viewport, &wx, &wy, &wz) == GL_FALSE)
        return {0.0, 0.0, 0.0};
    return {flare_strength_from(modelview[2]), wx - 400.0, wy - 300.0};
}

RoomCamera room_camera(double knob0, double knob1, double knob3)
{
    Vec3 p = {0.0, 0.0, 10.0};
    rotate_pair(&p.y, &p.z, knob1 * 2.0 * PI / 127.0);
    rotate_pair(&p.x, &p.z, knob0 * 2.0 * PI / 127.0);
    Vec3 u = {-p.x, 2.0 - p.y, -p.z};
    vec_normalize(&u);
    const double d = knob3 * 30.0 / 127.0;
    return {{p.x + d * u.x, p.y + d * u.y, p.z + d * u.z}, {d * u.x, 2.0 + d * u.y, d * u.z}};
}

double room_colour_grey(RoomColour colour)
{
    const double *c = ROOM_COLOURS[colour];
    return 0.3 * c[0] + 0.59 * c[1] + 0.11 * c[2];
}

void room_colour_rgba(RoomColour colour, bool mono, float out[4])
{
    const double *c = ROOM_COLOURS[colour];
    const double g = room_colour_grey(colour);
    for (int k = 0; k < 3; ++k) out[k] = float(mono ? g : c[k]);
    out[3] = float(c[3]);
}

double meadow_noise(double a, double b)
{
    return grid_noise(&meadow_grid[0][0], MEADOW_FILM_SIZE, a, b);
}

// ---------------------------------------------------------------------------
// Set-up

static void load_ortho(double half_w, double half_h)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-half_w, half_w, -half_h, half_h, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

// Defines tex as size x size with no data (internal format `components`,
// source format `source`), sets linear minification and copies the pixels at
// the window origin into it as `copy_format`.
static void capture_corner(uint32_t tex, int32_t size, GLint components, GLenum source, GLenum copy_format)
{
    glBindTexture(GL_TEXTURE_2D, tex);
    glTexImage2D(GL_TEXTURE_2D, 0, components, size, size, 0, source, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glCopyTexImage2D(GL_TEXTURE_2D, 0, copy_format, 0, 0, size, size, 0);
}

// One quad centred at (x, y) with half-size s, texture corners (0,0)..(0,1).
static void sprite_quad(double x, double y, double s)
{
    glTexCoord2i(0, 0);
    glVertex2d(x - s, y - s);
    glTexCoord2i(1, 0);
    glVertex2d(x + s, y - s);
    glTexCoord2i(1, 1);
    glVertex2d(x + s, y + s);
    glTexCoord2i(0, 1);
    glVertex2d(x - s, y + s);
}

// The same sprite into an open array batch with texture coordinates.
static void sprite_quad_array(double x, double y, double s)
{
    array_texcoord(0.0, 0.0);
    array_vertex(x - s, y - s, 0.0);
    array_texcoord(1.0, 0.0);
    array_vertex(x + s, y - s, 0.0);
    array_texcoord(1.0, 1.0);
    array_vertex(x + s, y + s, 0.0);
    array_texcoord(0.0, 1.0);
    array_vertex(x - s, y + s, 0.0);
}

static void build_reel_texture()
{
    static uint8_t red[REEL_IMAGE_SIZE * REEL_IMAGE_SIZE];
    for (int32_t i = 0; i < REEL_IMAGE_SIZE * REEL_IMAGE_SIZE; ++i) red[i] = quill_reel_image[3 * i];
    glBindTexture(GL_TEXTURE_2D, reel_tex);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA, REEL_IMAGE_SIZE, REEL_IMAGE_SIZE, 0, GL_ALPHA, GL_UNSIGNED_BYTE, red);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
}

static void build_film_texture()
{
    glBindTexture(GL_TEXTURE_2D, film_tex);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, FILM_TEX_SIZE, FILM_TEX_SIZE, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
}

static void build_flower_texture()
{
    static uint8_t rgba[FLOWER_IMAGE_SIZE * FLOWER_IMAGE_SIZE * 4];
    flower_rgba(quill_flower_image, rgba);
    glBindTexture(GL_TEXTURE_2D, flower_tex);
    gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGBA, FLOWER_IMAGE_SIZE, FLOWER_IMAGE_SIZE, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
}

// Five random walks drawn as anti-aliased line strips, one per texture.
static void build_hair_textures()
{
    glViewport(0, 0, 64, 64);
    load_ortho(100.0, 100.0);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_LINE_SMOOTH);
    glLineWidth(1.0f);
    HairPath paths[FILM_HAIRS];
    make_hair_paths(paths);
    for (int32_t k = 0; k < FILM_HAIRS; ++k) {
        glClear(GL_COLOR_BUFFER_BIT);
        glColor3d(paths[k].grey, paths[k].grey, paths[k].grey);
        glBegin(GL_LINE_STRIP);
        for (int32_t n = 0; n < HAIR_PATH_POINTS; ++n) glVertex3d(paths[k].x[n], paths[k].y[n], 0.0);
        glEnd();
        capture_corner(hair_tex[k], 64, GL_LUMINANCE, GL_LUMINANCE, GL_LUMINANCE);
    }
}

static void build_disc_texture()
{
    static uint8_t disc[64 * 64];
    for (int32_t v = -32; v < 32; ++v)
        for (int32_t u = -32; u < 32; ++u) disc[(v + 32) * 64 + (u + 32)] = disc_texel(u, v);
    glBindTexture(GL_TEXTURE_2D, disc_tex);
    gluBuild2DMipmaps(GL_TEXTURE_2D, GL_LUMINANCE, 64, 64, GL_LUMINANCE, GL_UNSIGNED_BYTE, disc);
}

// The disc squeezed to a thin bar, turned -60, 0 and +60 degrees.
static void build_bar_textures()
{
    glViewport(0, 0, 64, 64);
    load_ortho(1.0, 1.0);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    for (int32_t k = 0; k < 3; ++k) {
        glLoadIdentity();
        glRotated(-60.0 + 60.0 * k, 0.0, 0.0, 1.0);
        glBindTexture(GL_TEXTURE_2D, disc_tex);
        glColor3d(1.0, 1.0, 1.0);
        glClear(GL_COLOR_BUFFER_BIT);
        glBegin(GL_QUADS);
        glTexCoord2i(0, 0);
        glVertex2d(-0.1, -1.0);
        glTexCoord2i(1, 0);
        glVertex2d(0.1, -1.0);
        glTexCoord2i(1, 1);
        glVertex2d(0.1, 1.0);
        glTexCoord2i(0, 1);
        glVertex2d(-0.1, 1.0);
        glEnd();
        capture_corner(bar_tex[k], 64, 1, GL_LUMINANCE, GL_LUMINANCE);
    }
}

// Ten hexagons a little apart, summed: a hexagon with a soft rim.
static void build_ghost_texture()
{
    glLoadIdentity();
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glColor3ub(30, 30, 30);
    for (int32_t deg = 0; deg < 360; deg += 37) {
        const double cx = 0.05 * std::cos(deg * PI / 180.0), cy = 0.05 * std::sin(deg * PI / 180.0);
        glBegin(GL_POLYGON);
        for (int32_t k = 0; k < 6; ++k) glVertex2d(cx + 0.95 * std::cos(k * PI / 3.0), cy + 0.95 * std::sin(k * PI / 3.0));
        glEnd();
    }
    capture_corner(ghost_tex, 64, 1, GL_LUMINANCE, GL_LUMINANCE);
}

// Three rays 60 degrees apart, each forty soft bars (yellowish) and forty
// soft discs (reddish) along its length, added up.
static void build_star_texture()
{
    glViewport(0, 0, 256, 256);
    load_ortho(130.0, 130.0);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_TEXTURE_2D);
    for (int32_t l = 0; l < 3; ++l) {
        const double a = (l + 0.5) * PI / 3.0;
        const double ca = std::cos(a), sa = std::sin(a);
        glBindTexture(GL_TEXTURE_2D, bar_tex[l]);
        glColor3ub(30, 30, 20);
        glBegin(GL_QUADS);
        for (int32_t j = 0; j < 40; ++j) {
            const double v = -120.0 + 6.0 * j;
            const double g = 10.0 * std::sin(j * PI / 40.0) + 13.0;
            sprite_quad(v * ca, v * sa, g * g / 13.0);
        }
        glEnd();
        glColor3ub(20, 10, 10);
        glBindTexture(GL_TEXTURE_2D, disc_tex);
        glBegin(GL_QUADS);
        for (int32_t j = 0; j < 40; ++j) {
            const double v = -100.0 + 5.0 * j;
            const double g = 8.0 * std::sin(j * PI / 40.0);
            sprite_quad(v * ca, v * sa, 0.125 * g * g + 10.0);
        }
        glEnd();
    }
    capture_corner(star_tex, 256, 1, GL_RGB, GL_RGB);
    glViewport(0, 0, screen_width, screen_height);
}

void projector_setup()
{
    glGenTextures(PROJECTOR_TEXTURE_COUNT, projector_textures);
    upload_mipmapped_image(proj_body_tex, "proj_texture");
    build_reel_texture();
    build_film_texture();
    build_flower_texture();
    meadow_fill_tables(&flower_tilt[0][0][0], &flower_offset[0][0][0], &meadow_grid[0][0], MEADOW_FILM_SIZE);

    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    build_hair_textures();
    glViewport(0, 0, screen_width, screen_height);
    build_disc_texture();
    build_bar_textures();
    build_ghost_texture();
    build_star_texture();
}

// ---------------------------------------------------------------------------
// The old-film overlay

void film_overlay(bool whole_frame, double t)
{
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(-1.0, 1.0, -1.0, 1.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glEnable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);

    // Scratches halve what they cover.
    glDisable(GL_TEXTURE_2D);
    glColor3d(0.5, 0.5, 0.5);
    glBlendFunc(GL_ZERO, GL_SRC_COLOR);
    array_batch_begin(0);
    array_begin(GL_QUADS);
    for (int32_t i = 0; i < 5; ++i) {
        double p, w;
        film_scratch(i, t, whole_frame, &p, &w);
        array_vertex(p - w, -1.0, 0.0);
        array_vertex(p + w, -1.0, 0.0);
        array_vertex(p + w, 1.0, 0.0);
        array_vertex(p - w, 1.0, 0.0);
    }
    array_end();
    array_batch_end();

    // Dust darkens by the hair's brightness.
    DustHair dust[FILM_HAIRS];
    film_dust(t, whole_frame, dust);
    glEnable(GL_TEXTURE_2D);
    glBlendFunc(GL_ZERO, GL_ONE_MINUS_SRC_COLOR);
    glColor3d(1.0, 1.0, 1.0);
    for (const DustHair &d : dust) {
        glBindTexture(GL_TEXTURE_2D, hair_tex[d.tex]);
        array_batch_begin(ARRAY_TEXCOORD);
        array_begin(GL_QUADS);
        sprite_quad_array(d.x, d.y, d.e);
        array_end();
        array_batch_end();
    }

    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

// ---------------------------------------------------------------------------
// The frame

// Cosine and sine of the 65 angles k pi / 32 of the discs, rolls and lens;
// the last closes the ring.
struct DiscRim {
    double cos_t[65], sin_t[65];
};

static DiscRim make_disc_rim()
{
    DiscRim rim;
    for (int k = 0; k < 65; ++k) {
        rim.cos_t[k] = std::cos(k * PI / 32.0);
        rim.sin_t[k] = std::sin(k * PI / 32.0);
    }
    return rim;
}

static const DiscRim disc_rim = make_disc_rim();

static void set_material(GLenum pname, float r, float g, float b, float a)
{
    const float c[4] = {r, g, b, a};
    glMaterialfv(GL_FRONT_AND_BACK, pname, c);
}

static void set_room_material(RoomColour colour, bool mono)
{
    float c[4];
    room_colour_rgba(colour, mono, c);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, c);
}

// Pass 1: the meadow into the lower-left 256 x 256, aged and captured.
void projector_film_pass(double t, bool mono)
{
    glViewport(0, 0, FILM_TEX_SIZE, FILM_TEX_SIZE);
    set_material(GL_AMBIENT, 0.2f, 0.2f, 0.2f, 1.0f);
    set_material(GL_DIFFUSE, 0.8f, 0.8f, 0.8f, 1.0f);
    set_material(GL_SPECULAR, 0.0f, 0.0f, 0.0f, 1.0f);
    const float white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
    // Taken in whatever modelview the previous frame left (the overlays load
    // the identity): ten units above the eye.
    const float above[4] = {0.0f, 10.0f, 0.0f, 1.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, above);

    glClearColor(0.02f, 0.1f, 0.01f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_ALWAYS);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.1f);
    glEnable(GL_TEXTURE_2D);

    meadow_camera(t, knobs.knob[4]);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_NORMALIZE);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    // With GL_ALWAYS each head covers the ones drawn before it, yet still
    // writes depth for the grass.
    draw_meadow_flowers(projector_meadow, t, flower_tex);

    glDepthFunc(GL_LESS);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glDisable(GL_LIGHTING);
    draw_meadow_grass(MEADOW_FILM_SIZE / 2);
    glDisable(GL_ALPHA_TEST);

    if (!mono) film_overlay(false, t);
    glBindTexture(GL_TEXTURE_2D, film_tex);
    glCopyTexImage2D(GL_TEXTURE_2D, 0, mono ? GL_RGB : GL_LUMINANCE, 0, 0, FILM_TEX_SIZE, FILM_TEX_SIZE, 0);
}

// The projector body carries its own texture coordinates, so it is drawn
// quad by quad rather than through draw_indexed_mesh.
static void draw_projector_body()
{
    const StaticModel &body = static_model(MODEL_PROJECTOR_BODY);
    array_batch_begin(ARRAY_NORMAL | ARRAY_TEXCOORD);
    array_begin(GL_QUADS);
    for (int32_t q = 0; q < body.quad_count; ++q) {
        for (int32_t k = 0; k < 4; ++k) {
            const MeshVertex &v = body.vertices[body.quads[4 * q + k]];
            const double *tc = body.quad_texcoords + 8 * q + 2 * k;
            array_normal(v.nx, v.ny, v.nz);
            array_texcoord(tc[0], tc[1]);
            array_vertex(v.px, v.py, v.pz);
        }
    }
    array_end();
    array_batch_end();
}

// The film wound on a reel: two discs and the band between them.
static void draw_film_roll(double x, double y, double r)
{
    for (double z : {0.419, 0.259}) {
        glPushMatrix();
        glTranslated(x, y, z);
        array_batch_begin(0);
        array_begin(GL_TRIANGLE_FAN);
        array_vertex(0.0, 0.0, 0.0);
        for (int k = 0; k < 65; ++k) array_vertex(r * disc_rim.cos_t[k], r * disc_rim.sin_t[k], 0.0);
        array_end();
        array_batch_end();
        glPopMatrix();
    }
    glPushMatrix();
    glTranslated(x, y, 0.339);
    array_batch_begin(0);
    array_begin(GL_QUAD_STRIP);
    for (int k = 0; k < 65; ++k) {
        array_vertex(r * disc_rim.cos_t[k], r * disc_rim.sin_t[k], -0.08);
        array_vertex(r * disc_rim.cos_t[k], r * disc_rim.sin_t[k], 0.08);
    }
    array_end();
    array_batch_end();
    glPopMatrix();
}

// One reel flange: a disc whose texture is turned by rho.
static void draw_flange(double x, double y, double z, double r, double rho, double normal_z)
{
    glPushMatrix();
    glTranslated(x, y, z);
    array_batch_begin(ARRAY_NORMAL | ARRAY_TEXCOORD);
    array_begin(GL_TRIANGLE_FAN);
    array_normal(0.0, 0.0, normal_z);
    array_texcoord(0.5, 0.5);
    array_vertex(0.0, 0.0, 0.0);
    for (int k = 0; k < 65; ++k) {
        const double theta = k * PI / 32.0;
        array_texcoord(0.5 + 0.5 * std::cos(theta + rho), 0.5 + 0.5 * std::sin(theta + rho));
        array_vertex(r * disc_rim.cos_t[k], r * disc_rim.sin_t[k], 0.0);
    }
    array_end();
    array_batch_end();
    glPopMatrix();
}

// The glowing lens; also measures the flare from the lens's modelview.
static void draw_lens(double flicker)
{
    const double g = 0.5 + 0.5 * flicker;
    glColor3d(g, g, g);
    glPushMatrix();
    glTranslated(1.56, 1.58, 0.339);
    double modelview[16], projection[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    const LensFlare flare = lens_flare(modelview, projection);
    flare_strength = flare.strength;
    flare_x = flare.x;
    flare_y = flare.y;
    glBegin(GL_TRIANGLE_FAN);
    glVertex3d(0.0, 0.0, 0.0);
    for (int k = 0; k < 65; ++k) glVertex3d(0.0, 0.25 * disc_rim.cos_t[k], 0.25 * disc_rim.sin_t[k]);
    glEnd();
    glPopMatrix();
}

static void draw_screen()
{
    static constexpr double bottom = -2.65748031496063, top = 7.2637795275590555;
    static constexpr double near_z = -6.413385826771654, far_z = 6.814960629921259;
    glColor3d(1.0, 1.0, 1.0);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, film_tex);
    array_batch_begin(ARRAY_TEXCOORD);
    array_begin(GL_QUADS);
    array_texcoord(0.0, 0.0);
    array_vertex(30.0, bottom, near_z);
    array_texcoord(0.0, 1.0);
    array_vertex(30.0, top, near_z);
    array_texcoord(1.0, 1.0);
    array_vertex(30.0, top, far_z);
    array_texcoord(1.0, 0.0);
    array_vertex(30.0, bottom, far_z);
    array_end();
    array_batch_end();
    glDisable(GL_TEXTURE_2D);
}

// Pass 2: the room over the whole window.
void projector_room_pass(double t, bool mono)
{
    glViewport(0, 0, 800, 600);
    const double spin = -2.0 * t;
    const double flicker = 0.5 + 0.5 * std::sin(60.0 * t);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(40.0, 4.0 / 3.0, 1.0, 200.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const RoomCamera cam = room_camera(knobs.knob[0], knobs.knob[1], knobs.knob[3]);
    gluLookAt(cam.eye.x, cam.eye.y, cam.eye.z, cam.target.x, cam.target.y, cam.target.z, 0.0, 1.0, 0.0);

    glDisable(GL_DEPTH_TEST);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_BLEND);
    glEnable(GL_NORMALIZE);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHTING);
    const float at_eye[4] = {float(cam.eye.x), float(cam.eye.y), float(cam.eye.z), 1.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, at_eye);
    const float lamp = float(0.4 + 0.1 * flicker);
    const float lamp_diffuse[4] = {lamp, lamp, lamp, 1.0f};
    glLightfv(GL_LIGHT0, GL_DIFFUSE, lamp_diffuse);

    float clear[4];
    room_colour_rgba(ROOM_CLEAR, mono, clear);
    glClearColor(clear[0], clear[1], clear[2], clear[3]);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);

    // The projector and its mechanism, shiny.
    glBindTexture(GL_TEXTURE_2D, proj_body_tex);
    set_material(GL_AMBIENT_AND_DIFFUSE, 0.3f, 0.3f, 0.3f, 0.0f);
    set_material(GL_SPECULAR, 1.0f, 1.0f, 1.0f, 0.0f);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 50.0f);
    draw_projector_body();
    glDisable(GL_TEXTURE_2D);

    set_room_material(ROOM_ARM, mono);
    draw_static_model(MODEL_REEL_ARM_REAR);
    draw_static_model(MODEL_REEL_ARM_FRONT);
    set_material(GL_AMBIENT_AND_DIFFUSE, 0.5f, 0.5f, 0.5f, 0.0f);
    draw_static_model(MODEL_ROLLER_SMALL);
    draw_static_model(MODEL_ROLLER_LARGE);
    draw_static_model(MODEL_LENS_BARREL);
    set_room_material(ROOM_BRACKET, mono);
    draw_static_model(MODEL_BRACKET);
    glDisable(GL_LIGHTING);
    glColor3d(0.0, 0.0, 0.0);
    draw_static_model(MODEL_FILM_STRIP_LOWER);
    draw_static_model(MODEL_FILM_STRIP_UPPER);

    draw_film_roll(-3.574, 5.092, 0.8);
    draw_film_roll(1.086, 5.408, 1.8);

    glEnable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, reel_tex);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.2f);
    set_material(GL_AMBIENT_AND_DIFFUSE, 0.5f, 0.5f, 0.5f, 1.0f);
    draw_flange(-3.574, 5.092, 0.429, 1.4, 1.5 * spin, 1.0);
    draw_flange(-3.574, 5.092, 0.249, 1.4, 1.5 * spin, -1.0);
    draw_flange(1.086, 5.408, 0.429, 1.9, spin, 1.0);
    draw_flange(1.086, 5.408, 0.249, 1.9, spin, -1.0);
    glDisable(GL_ALPHA_TEST);

    // The room: table and curtains, the curtains matte.
    glDisable(GL_TEXTURE_2D);
    set_room_material(ROOM_TABLE, mono);
    draw_static_model(MODEL_TABLE);
    set_room_material(ROOM_CURTAIN, mono);
    set_material(GL_SPECULAR, 0.0f, 0.0f, 0.0f, 0.0f);
    for (int32_t m = MODEL_CURTAIN_1; m <= MODEL_CURTAIN_6; ++m) draw_static_model(ModelId(m));
    glDisable(GL_LIGHTING);
    glColor3d(0.05, 0.05, 0.05);
    draw_static_model(MODEL_SCREEN_BORDER);

    draw_lens(flicker);
    if (mono) film_overlay(true, t);
    draw_screen();
}

// The lens flare's star and ghosts, added over the finished frame.
static void draw_flare()
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-400.0, 400.0, -300.0, 300.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glEnable(GL_TEXTURE_2D);

    // A sprite whose colour is black adds nothing, so it is not sent: with the
    // lens turned away (most of the scene) that saves a few hundred thousand
    // fragments of fill. The colours and bindings are set all the same.
    const double x = flare_x, y = flare_y, f = flare_strength;
    const uint8_t g = uint8_t(int32_t(255.0 * f));
    glColor3ub(g, g, g);
    glBindTexture(GL_TEXTURE_2D, star_tex);
    if (g != 0) {
        array_batch_begin(ARRAY_TEXCOORD);
        array_begin(GL_QUADS);
        sprite_quad_array(x, y, 190.0);
        array_end();
        array_batch_end();
    }

    const uint8_t ghost[3] = {uint8_t(int32_t(50.0 * f)), uint8_t(int32_t(40.0 * f)), uint8_t(int32_t(20.0 * f))};
    glColor3ub(ghost[0], ghost[1], ghost[2]);
    glBindTexture(GL_TEXTURE_2D, ghost_tex);
    if (ghost[0] == 0 && ghost[1] == 0 && ghost[2] == 0) return;
    array_batch_begin(ARRAY_TEXCOORD);
    array_begin(GL_QUADS);
    for (double q : {0.2, 0.15}) {
        for (int32_t k = 0; k < 20; k += 2) {
            const int32_t c = k - 10;
            const double cx = c * q * (x + 100.0) - 100.0, cy = c * q * y;
            const double r = 40.0 + 35.0 * std::sin(c * PI / 10.0);
            const double phi = k * 2.0 * PI / 5.0;
            static constexpr int32_t corner_s[4] = {0, 1, 1, 0}, corner_t[4] = {0, 0, 1, 1};
            for (int32_t m = 0; m < 4; ++m) {
                const double psi = phi + m * PI / 2.0;
                array_texcoord(corner_s[m], corner_t[m]);
                array_vertex(cx + r * std::cos(psi), cy + r * std::sin(psi), 0.0);
            }
        }
    }
    array_end();
    array_batch_end();
}

void projector_post_pass()
{
    apply_glow();
    draw_flare();
    add_white(flare_strength);
}

void projector_draw(double t)
{
    const bool mono = knobs.scene_flag != 0;
    projector_film_pass(t, mono);
    projector_room_pass(t, mono);
    projector_post_pass();
}
