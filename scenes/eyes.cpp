// Eyes and double helix: in a dark, fogged space with a hundred twinkling
// points, either a twisted double helix with two-tone crossbars streams
// towards the viewer, or a grid of twelve eyeballs looks about and blinks.
// Over both floats a coloured haze of large additive textured discs; the
// glow and a fade finish the frame.
//
// Inputs: t in seconds from the timeline, and the knobs (divided by 127):
//   knob0  haze brightness, 0.1 + 0.9 knob0     knob4  0..126 helix from segment
//   knob1  haze zoom: field of view 40 - 30 knob1      lround(knob4 100/127); above: eyes
//   knob2  camera x, -8 + 24 knob2               knob6  final fade to black by 0.8 knob6
//   knob3  camera y, 3 - 30 knob3 (the schedule throws it far away at the end)
//   scene_flag  0: violet haze and violet iris fibres; 1: orange haze, red fibres
// The camera looks from (x, y, 26) at the origin; the whole world then pitches
// and yaws slowly (scene_pitch, scene_yaw, degrees), and the haze, which has
// its own fixed camera and zoom, turns with it.
//
// The helix. helix_path(u, t) is the centre line, u = 0 at z = 40 to u = 100
// at z = -40. Each segment n runs from u = n - 3f to u + 1, where 3t = F + f:
// every third of a second the segments slide 3 units of u (one crossbar
// spacing) towards the viewer, and at the wrap the crossbars' base index
// F + n/3 advances by one as n drops by 3, so the same bar reappears where the
// last one was and the helix streams without jumps. Along the path a frame
// (D tangent, U up, S = U x D side) is twisted by -0.08 pi per unit of u; the
// rails are flat elliptic bands at +-3 along U, the crossbars tubes along U
// whose two halves take a complementary colour pair (c, c XOR 1).
//
// The eyes. Each eye looks along +z: pupil (unlit black fan), iris (a shallow
// dish textured with the fibre strokes, t = 0 at its inner edge so the fibres
// radiate outwards), an additive specular gloss and cornea bulge, the white
// (a sphere of radius sqrt 5 about (0, 0, -1)) and two lids, dark shells just
// outside the white, turned about the eye's x axis by 90 + L and -90 - L
// degrees, which meet when the opening L is 0. The iris sits behind a polygon
// offset so the gloss drawn over it always wins the depth test.
//
// The fibre textures are drawn at set-up into the corner of the back buffer:
// 2000 faint curved strokes added up and copied out, violet for [1] and red
// for [2]; their first texture row is the strokes' roots.
#include "scenes/eyes.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <initializer_list>
#include <numbers>

#include "gfx/draw.h"
#include "gfx/image_store.h"
#include "scenes/scenes.h"
#include "shell/shell.h"
#include "timeline/timeline.h"

using std::numbers::pi;

uint32_t eyes_tex[3];
uint8_t base_sequence[EYES_BASE_COUNT];
// Degrees; set at the start of each frame, read by the haze.
static double scene_pitch, scene_yaw;

// ---------------------------------------------------------------------------
// Set-up

// 2000 strokes rising from the bottom of the 64 x 64 corner, continuing the
// shared random stream: x0 in [-1, 1), height s^2 up to 0.9155, a slight
// sideways bow to the left or right.
static void draw_strokes()
{
    for (int stroke = 0; stroke < 2000; ++stroke) {
        const int32_t n1 = rand_next(), n2 = rand_next(), n3 = rand_next();
        const double x0 = (n1 % 1000) * 0.002 - 1.0;
        const double s = (n2 % 1000) * 0.001;
        const double sign = (n3 & 1) ? 1.0 : -1.0;
        glBegin(GL_LINE_STRIP);
        for (int i = 0; i < 16; ++i)
            glVertex3d(x0 + 0.02 * sign * std::sin(i * pi / 32.0), (std::exp(0.0433125 * i) - 1.0) * s * s, 0.0);
        glEnd();
    }
}

static void copy_corner_to(uint32_t tex)
{
    glBindTexture(GL_TEXTURE_2D, tex);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, EYES_STROKE_TEX_SIZE, EYES_STROKE_TEX_SIZE, 0, GL_RGB, GL_UNSIGNED_BYTE,
                 nullptr);
    glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 0, 0, EYES_STROKE_TEX_SIZE, EYES_STROKE_TEX_SIZE, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
}

void eyes_setup()
{
    glGenTextures(3, eyes_tex);
    upload_mipmapped_image(eyes_tex[0], "eyes_haze");

    glViewport(0, 0, EYES_STROKE_TEX_SIZE, EYES_STROKE_TEX_SIZE);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1.0, 1.0, 0.0, 1.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);

    rand_reset();
    glColor3d(0.04, 0.01, 0.09);
    draw_strokes();
    copy_corner_to(eyes_tex[1]);

    glClear(GL_COLOR_BUFFER_BIT);
    glColor3d(0.05, 0.0, 0.0);
    draw_strokes();
    glDisable(GL_BLEND);
    copy_corner_to(eyes_tex[2]);

    rand_reset();
    for (uint8_t &b : base_sequence) b = uint8_t(rand_next() & 3);
}

// ---------------------------------------------------------------------------
// Arithmetic

Vec3 helix_path(double u, double t)
{
    const double q = 0.01 * u;
    return {20.0 * q * q - 20.0 + 5.0 * std::cos(0.2 * t) * std::cos(0.03 * pi * u),
            7.0 * std::sin(0.1 * u + t) * std::sin(0.03 * pi * u), 40.0 - 80.0 * q};
}

bool eyes_show_grid(double knob4) { return knob4 > 126.0; }

int32_t helix_first_segment(double knob4) { return int32_t(std::lround(knob4 * 100.0 / 127.0)); }

HelixStep helix_step(double t)
{
    const double thirds = 3.0 * t;
    const double whole = std::floor(thirds);
    return {int64_t(whole), thirds - whole};
}

double helix_segment_u(int32_t n, const HelixStep &step) { return n - 3.0 * step.frac; }

int32_t crossbar_base_index(int32_t n, const HelixStep &step)
{
    return int32_t((step.whole + n / 3) & (EYES_BASE_COUNT - 1));
}

double crossbar_radius(int32_t k)
{
    double w = 0.025 * k;
    if (w >= 0.5) w = 1.0 - w;
    w = 2.0 * w;
    return w <= 0.8 ? 0.3 : 0.1 + 0.2 * std::cos((w - 0.8) * 2.5 * pi);
}

double eye_lid_opening(int32_t c, int32_t r, double t)
{
    const int32_t s1 = (c + 1) * (r + 17);
    const double b = 4.0 * std::sin(double(s1)) + 0.4 * t;
    const double f = b - std::floor(b);
    return f < 0.2 ? 22.0 * std::fabs(std::cos(5.0 * pi * f)) : 22.0;
}

// ---------------------------------------------------------------------------
// Drawing pieces

static Vec3 add(const Vec3 &a, const Vec3 &b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
static Vec3 scaled(const Vec3 &a, double k) { return {a.x * k, a.y * k, a.z * k}; }
static Vec3 unit_from_to(const Vec3 &a, const Vec3 &b)
{
    Vec3 d = {b.x - a.x, b.y - a.y, b.z - a.z};
    vec_normalize(&d);
    return d;
}

static void material(GLenum which, double r, double g, double b, double a)
{
    const GLfloat v[4] = {GLfloat(r), GLfloat(g), GLfloat(b), GLfloat(a)};
    glMaterialfv(GL_FRONT_AND_BACK, which, v);
}

static void vertex(const Vec3 &p) { glVertex3d(p.x, p.y, p.z); }
static void normal(const Vec3 &n) { glNormal3d(n.x, n.y, n.z); }

// Crossbar colours by base: ambient and diffuse.
static constexpr double base_colour[4][3] = {
    {0.5, 0.2, 0.1}, {0.9, 0.7, 0.5}, {0.7, 0.0, 0.0}, {0.6, 0.6, 0.1},
};

static void base_material(int32_t c)
{
    material(GL_AMBIENT_AND_DIFFUSE, base_colour[c][0], base_colour[c][1], base_colour[c][2], 1.0);
}

void draw_helix(double t)
{
    glTranslated(17.00787401574803, 0.0, 0.0);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_NORMALIZE);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glFogi(GL_FOG_MODE, GL_LINEAR);
    glFogf(GL_FOG_START, 10.0f);
    glFogf(GL_FOG_END, 50.0f);
    glEnable(GL_FOG);

    const int32_t n0 = helix_first_segment(knobs.knob[4]);
    const HelixStep step = helix_step(t);
    for (int32_t n = n0; n < EYES_HELIX_SEGMENTS; ++n) {
        const double u = helix_segment_u(n, step);
        const Vec3 p0 = helix_path(u, t), p1 = helix_path(u + 1.0, t), p2 = helix_path(u + 2.0, t);
        const Vec3 d0 = unit_from_to(p0, p1), d1 = unit_from_to(p1, p2);
        Vec3 u0 = {0.0, 1.0, 0.0}, u1 = {0.0, 1.0, 0.0};
        Vec3 s0, s1;
        vec_cross(&s0, u0, d0);
        vec_cross(&s1, u1, d1);
        // Twist the side and up vectors about the tangent.
        const double th0 = -0.08 * pi * u, th1 = -0.08 * pi * (u + 1.0);
        rotate_pair(&s0.x, &u0.x, th0);
        rotate_pair(&s0.y, &u0.y, th0);
        rotate_pair(&s0.z, &u0.z, th0);
        rotate_pair(&s1.x, &u1.x, th1);
        rotate_pair(&s1.y, &u1.y, th1);
        rotate_pair(&s1.z, &u1.z, th1);

        material(GL_AMBIENT, 0.1, 0.1, 0.1, 1.0);
        material(GL_DIFFUSE, 0.1, 0.1, 0.1, 1.0);
        material(GL_SPECULAR, 1.0, 1.0, 1.0, 1.0);
        glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 80.0f);

        // Rails: flat bands 0.8 across and 0.1 thick, at +3 then -3 along U.
        for (const double side : {3.0, -3.0}) {
            glBegin(GL_TRIANGLE_STRIP);
            for (int i = 0; i <= 16; ++i) {
                const double a = i * pi / 8.0;
                const Vec3 n0v = add(scaled(s0, 0.8 * std::sin(a)), scaled(u0, 0.1 * std::cos(a)));
                const Vec3 n1v = add(scaled(s1, 0.8 * std::sin(a)), scaled(u1, 0.1 * std::cos(a)));
                normal(n0v);
                vertex(add(add(p0, n0v), scaled(u0, side)));
                normal(n1v);
                vertex(add(add(p1, n1v), scaled(u1, side)));
            }
            glEnd();
        }

        if (n % 3 != 0) continue;
        // Crossbar from the +3 rail to the -3 rail, two-tone.
        const int32_t c = base_sequence[crossbar_base_index(n, step)];
        base_material(c);
        for (int32_t k = 0; k < EYES_BAR_SECTIONS; ++k) {
            if (k == EYES_BAR_SECTIONS / 2) base_material(c ^ 1);
            const double r0 = crossbar_radius(k), r1 = crossbar_radius(k + 1);
            const Vec3 along0 = scaled(u0, 3.0 - 0.15 * k), along1 = scaled(u0, 3.0 - 0.15 * (k + 1));
            glBegin(GL_TRIANGLE_STRIP);
            for (int i = 0; i <= 16; ++i) {
                const double a = i * pi / 8.0;
                const Vec3 nv = add(scaled(s0, std::sin(a)), scaled(d0, std::cos(a)));
                normal(nv);
                vertex(add(add(p0, scaled(nv, r0)), along0));
                vertex(add(add(p0, scaled(nv, r1)), along1));
            }
            glEnd();
        }
    }
}

// Sixteen (or, for the lids, thirty-two) triangle strips once around the z
// axis, rows first..last; strip j pairs the angles j and j + 1 steps.
// row(i, theta, &p, &n) gives a vertex and its normal; textured rows also get
// the iris coordinates (0.2 j, 0.05 i).
template <typename Row> static void eye_band(int strips, int first, int last, bool textured, Row row)
{
    const double step = 2.0 * pi / strips;
    for (int j = 0; j < strips; ++j) {
        glBegin(GL_TRIANGLE_STRIP);
        for (int i = first; i <= last; ++i)
            for (int e = 0; e < 2; ++e) {
                Vec3 p, nv;
                row(i, (j + e) * step, &p, &nv);
                normal(nv);
                if (textured) glTexCoord2d(0.2 * (j + e), 0.05 * i);
                vertex(p);
            }
        glEnd();
    }
}

// Dark shell of radius sqrt 5 + 0.2 about (0, 0, -1), rows 0..last, turned
// by `turn` degrees about the eye's x axis through the centre.
static void eye_lid(int last, double turn)
{
    const double radius = 2.43606797749979;
    glPushMatrix();
    glTranslated(0.0, 0.0, -1.0);
    glRotated(turn, 1.0, 0.0, 0.0);
    glTranslated(0.0, 0.0, 1.0);
    eye_band(32, 0, last, false, [radius](int i, double th, Vec3 *p, Vec3 *nv) {
        const double b = i * pi / 20.0;
        *p = {radius * std::sin(b) * std::cos(th), radius * std::sin(b) * std::sin(th), radius * std::cos(b) - 1.0};
        *nv = {p->x, p->y, radius * std::cos(b)};
    });
    glPopMatrix();
}

static void draw_eye(int32_t c, int32_t r, double t)
{
    const int32_t s2 = (c + 11) * (r + 3), s3 = (c - 1) * (r + 4), s4 = (c + 7) * (r + 14);
    const double lid = eye_lid_opening(c, r, t);
    const double w = 7.0 * std::cos(double(s2));
    const double z = 100.0 * (w - std::floor(w)) - 90.0;

    glPushMatrix();
    glTranslated(5.0 * c - 10.0, 6.0 * r - 6.0, z);
    glRotated(20.0 * std::sin((std::sin(double(s3)) + 1.2) * t), 0.0, 1.0, 0.0);
    glRotated(20.0 * std::sin((std::sin(double(s4)) + 1.2) * t) + 10.0, 1.0, 0.0, 0.0);

    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_NORMALIZE);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glPolygonOffset(0.0f, 10.0f);
    glEnable(GL_POLYGON_OFFSET_FILL);
    glDisable(GL_TEXTURE_2D);

    // Pupil.
    glDisable(GL_LIGHTING);
    glColor3d(0.0, 0.0, 0.0);
    glBegin(GL_TRIANGLE_FAN);
    glVertex3d(0.0, 0.0, 0.5);
    for (int i = 0; i <= 8; ++i) glVertex3d(std::cos(i * pi / 4.0), std::sin(i * pi / 4.0), 0.8);
    glEnd();

    // Iris: a shallow dish from radius 0.46 to 1.02, fibres radiating out.
    glEnable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, eyes_tex[1 + knobs.scene_flag]);
    material(GL_AMBIENT, 0.1, 0.1, 0.1, 0.0);
    material(GL_DIFFUSE, 0.7, 0.7, 0.7, 0.0);
    material(GL_SPECULAR, 0.5, 0.5, 0.5, 1.0);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 20.0f);
    eye_band(16, 0, 20, true, [](int i, double th, Vec3 *p, Vec3 *nv) {
        const double phi = (0.3 + 0.035 * i) * pi / 2.0;
        const double rho = 1.02 * std::sin(phi);
        *p = {rho * std::cos(th), rho * std::sin(th), 1.0 - 0.2 * 1.02 * std::cos(phi)};
        *nv = {-p->x, -p->y, 1.0 + 0.2 * 1.02 * std::cos(phi)};
    });

    // Gloss over the iris, added.
    glDisable(GL_POLYGON_OFFSET_FILL);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    material(GL_AMBIENT, 0.0, 0.0, 0.0, 0.0);
    material(GL_DIFFUSE, 0.0, 0.0, 0.0, 0.0);
    material(GL_SPECULAR, 0.5, 0.5, 0.5, 1.0);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 20.0f);
    eye_band(16, 0, 20, false, [](int i, double th, Vec3 *p, Vec3 *nv) {
        const double phi = (0.3 + 0.035 * i) * pi / 2.0;
        const double rho = std::sin(phi);
        *p = {rho * std::cos(th), rho * std::sin(th), 1.0 - 0.2 * std::cos(phi)};
        *nv = {-p->x, -p->y, 1.0 + 0.2 * std::cos(phi)};
    });

    // Cornea: an additive bulge in front of the iris.
    glDepthMask(GL_FALSE);
    material(GL_AMBIENT, 0.1, 0.1, 0.1, 0.0);
    material(GL_DIFFUSE, 0.05, 0.05, 0.05, 0.0);
    material(GL_SPECULAR, 1.0, 1.0, 1.0, 1.0);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 80.0f);
    eye_band(16, 0, 20, false, [](int m, double th, Vec3 *p, Vec3 *nv) {
        const double psi = m * pi / 40.0;
        *p = {std::sin(psi) * std::cos(th), std::sin(psi) * std::sin(th), 1.0 + 0.2 * std::cos(psi)};
        *nv = *p;
    });

    // White: sphere of radius sqrt 5 about (0, 0, -1), iris rim to equator.
    glDepthMask(GL_TRUE);
    glDisable(GL_BLEND);
    material(GL_AMBIENT, 0.6, 0.2, 0.2, 0.0);
    material(GL_DIFFUSE, 0.8, 0.8, 0.6, 0.0);
    material(GL_SPECULAR, 0.0, 0.0, 0.0, 1.0);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 10.0f);
    eye_band(16, 3, 10, false, [](int i, double th, Vec3 *p, Vec3 *nv) {
        const double b = i * pi / 20.0, r5 = std::sqrt(5.0);
        *p = {r5 * std::sin(b) * std::cos(th), r5 * std::sin(b) * std::sin(th), r5 * std::cos(b) - 1.0};
        *nv = {p->x, p->y, r5 * std::cos(b)};
    });

    // Lids.
    material(GL_AMBIENT, 0.0, 0.0, 0.0, 0.0);
    material(GL_DIFFUSE, 0.04, 0.01, 0.05, 0.0);
    material(GL_SPECULAR, 0.1, 0.1, 0.1, 1.0);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 10.0f);
    eye_lid(10, lid + 90.0);
    eye_lid(11, -90.0 - lid);

    glPopMatrix();
}

void haze_disc(double s, double t0)
{
    double m[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, m);
    const double v = std::fabs(m[10]) * (0.1 + 0.9 * knobs.knob[0] / 127.0);
    glBegin(GL_TRIANGLE_FAN);
    if (knobs.scene_flag == 1)
        glColor3d(v, 0.6 * v, 0.3 * v);
    else
        glColor3d(0.8 * v, 0.5 * v, v);
    glTexCoord2d(s, t0);
    glVertex3d(0.0, 0.0, 0.0);
    glColor3d(0.0, 0.0, 0.0);
    for (int i = 0; i <= 10; ++i) {
        const double a = i * 2.0 * pi / 10.0;
        glTexCoord2d(s + 1.8 * std::cos(a), t0 + 1.8 * std::sin(a));
        glVertex3d(30.0 * std::cos(a), 30.0 * std::sin(a), 0.0);
    }
    glEnd();
}

// Three rings of seven discs about the origin, seen through the haze's own
// camera and turned with the scene.
static void draw_haze()
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(40.0 - 30.0 * knobs.knob[1] / 127.0, 4.0 / 3.0, 1.0, 200.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(-8.0, 3.0, 26.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
    glRotated(scene_pitch, 1.0, 0.0, 0.0);
    glRotated(scene_yaw, 0.0, 1.0, 0.0);

    glBindTexture(GL_TEXTURE_2D, eyes_tex[0]);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glFogi(GL_FOG_MODE, GL_LINEAR);
    glFogf(GL_FOG_START, 30.0f);
    glFogf(GL_FOG_END, 80.0f);
    glEnable(GL_FOG);

    for (int i = 0; i < 7; ++i) {
        const double turn = i * 360.0 / 7.0;
        glPushMatrix();
        glRotated(turn, 1.0, 0.0, 0.0);
        haze_disc(std::sin(27.0 * i), std::cos(13.0 * i));
        glPopMatrix();
        glPushMatrix();
        glRotated(turn, 0.0, 1.0, 0.0);
        haze_disc(std::cos(7.0 * i), std::sin(14.0 * i));
        glPopMatrix();
        glPushMatrix();
        glRotated(90.0, 1.0, 0.0, 0.0);
        glRotated(turn, 0.0, 1.0, 0.0);
        haze_disc(std::cos(7.0 * i), std::sin(14.0 * i));
        glPopMatrix();
    }
}

// ---------------------------------------------------------------------------
// Frame

void eyes_draw(double t)
{
    glViewport(0, 0, screen_width, screen_height);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    scene_pitch = 20.0 * std::sin(0.2 * t) - 1.0;
    scene_yaw = 20.0 * std::cos(0.3 * t) - 10.0;

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(40.0, 4.0 / 3.0, 1.0, 200.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(-8.0 + 24.0 * knobs.knob[2] / 127.0, 3.0 - 30.0 * knobs.knob[3] / 127.0, 26.0, 0.0, 0.0, 0.0, 0.0, 1.0,
              0.0);

    glFogi(GL_FOG_MODE, GL_LINEAR);
    glFogf(GL_FOG_START, 30.0f);
    glFogf(GL_FOG_END, 80.0f);
    glEnable(GL_FOG);
    const GLfloat light_pos[4] = {-10.0f, 10.0f, 10.0f, 1.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, light_pos);

    glRotated(scene_pitch, 1.0, 0.0, 0.0);
    glRotated(scene_yaw, 0.0, 1.0, 0.0);

    // A hundred twinkling points.
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glBegin(GL_POINTS);
    for (int k = 0; k < 100; ++k) {
        const double g = std::fmax(0.0, 0.5 * std::sin(49.0 * k + t));
        glColor3d(g, g, g);
        glVertex3d(10.0 * std::sin(68.0 + 17.0 * k), 10.0 * std::cos(117.0 + 13.0 * k),
                   10.0 * std::sin(4680.0 + 117.0 * k) - 20.0);
    }
    glEnd();

    if (!eyes_show_grid(knobs.knob[4])) {
        draw_helix(t);
    } else {
        for (int32_t c = 0; c < 4; ++c)
            for (int32_t r = 0; r < 3; ++r) draw_eye(c, r, t);
    }

    glDisable(GL_LIGHTING);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    draw_haze();
    glDepthMask(GL_TRUE);

    apply_glow();
    fade_to_black(0.8 * knobs.knob[6] / 127.0);
}
