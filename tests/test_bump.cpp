// The bump tunnel's tables and per-frame arithmetic without a window: the
// normal map for a known slope, the line texture, the tunnel quads and their
// light matrices worked by hand, the scrolling texture, the torus mesh and
// the fins' opacity; and the refusal of a driver without the tunnel's
// extensions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "gfx/gl_ext.h"
#include "gfx/trimesh.h"
#include "scenes/bump.h"

TEST(BumpTextures, NormalMapOfAKnownSlope)
{
    // Heights rising by 3 per column and 5 per row, except where they wrap.
    std::vector<uint8_t> height(128 * 128 * 3), normals(128 * 128 * 3);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x)
            for (int c = 0; c < 3; ++c) height[(y * 128 + x) * 3 + c] = uint8_t((3 * x + 5 * y) % 174);
    bump_make_normal_map(height.data(), normals.data());
    // (-3, -5, 1) / sqrt(35): 127 c + 128 truncated gives 63.6 -> 63, 20.7 -> 20, 149.5 -> 149.
    const uint8_t *px = &normals[(10 * 128 + 20) * 3];
    EXPECT_EQ(px[0], 63);
    EXPECT_EQ(px[1], 20);
    EXPECT_EQ(px[2], 149);
    // Flat ground faces straight out: (0, 0, 1) -> (128, 128, 255).
    std::fill(height.begin(), height.end(), 77);
    bump_make_normal_map(height.data(), normals.data());
    EXPECT_EQ(normals[0], 128);
    EXPECT_EQ(normals[1], 128);
    EXPECT_EQ(normals[2], 255);
    // The last column compares with the first: a step down of 100 there tilts +x.
    for (int y = 0; y < 128; ++y) height[(y * 128 + 127) * 3] = 177;
    bump_make_normal_map(height.data(), normals.data());
    // (100, 0, 1) / sqrt(10001): 254.99 -> 254, 128, 129.27 -> 129; the step
    // up just before it tilts -x: 1.006 -> 1.
    EXPECT_EQ(normals[(5 * 128 + 127) * 3], 254);
    EXPECT_EQ(normals[(5 * 128 + 127) * 3 + 1], 128);
    EXPECT_EQ(normals[(5 * 128 + 127) * 3 + 2], 129);
    EXPECT_EQ(normals[(5 * 128 + 126) * 3], 1);
}

TEST(BumpTextures, LineTextureHasTwoColumnsAndOneRow)
{
    uint8_t tex[64 * 64];
    bump_make_line_texture(tex);
    int lit = 0;
    for (int row = 0; row < 64; ++row)
        for (int col = 0; col < 64; ++col) {
            const bool on = col == 30 || col == 40 || row == 50;
            EXPECT_EQ(tex[row * 64 + col], on ? 255 : 0) << row << "," << col;
            lit += on;
        }
    EXPECT_EQ(lit, 64 + 64 + 62);
}

TEST(BumpTunnel, QuadsTexturesAndLightMatricesWorkedByHand)
{
    bump_build_tunnel();
    ASSERT_EQ(bump_quads.count, 660);
    // Ring 1, segment 0: from angle 0 to pi/16, z from 100 to 90.
    const BumpQuad &q = bump_quads.quads[0];
    EXPECT_DOUBLE_EQ(q.corner[0].x, 10.0);
    EXPECT_DOUBLE_EQ(q.corner[0].z, 100.0);
    EXPECT_DOUBLE_EQ(q.corner[1].z, 90.0);
    EXPECT_NEAR(q.corner[2].y, 10.0 * std::sin(M_PI / 16.0), 1e-12);
    EXPECT_DOUBLE_EQ(q.s[2], 0.25);  // pi/16 * 4/pi
    EXPECT_DOUBLE_EQ(q.t[0], 12.5);
    EXPECT_DOUBLE_EQ(q.t[1], 11.25);
    // Segment 32 repeats segment 0 one turn on: s from 8 to 8.25.
    const BumpQuad &last = bump_quads.quads[659];
    EXPECT_DOUBLE_EQ(last.s[0], 8.0);
    EXPECT_NEAR(last.corner[0].x, 10.0, 1e-12);
    EXPECT_DOUBLE_EQ(last.corner[1].z, -100.0);

    // T = (0, 0, -1); B the chord at angle m = pi/32 rotated a quarter turn,
    // (-sin m, cos m, 0); N = T x B = (cos m, sin m, 0), B x N = T, so d = 1:
    // M = (0, 0, -1 | sin m, cos m, 0 | cos m, -sin m, 0) by rows M0..M2, ...
    // and L' = (Ly sin m + Lz cos m, Ly cos m - Lz sin m, -Lx).
    const double sm = std::sin(M_PI / 32.0), cm = std::cos(M_PI / 32.0);
    const double want[9] = {0, 0, -1, sm, cm, 0, cm, -sm, 0};
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(q.m[i], want[i], 1e-12) << "M" << i;
    // The light at t = 0 is (0, 5, 0); from corner c0 = (10, 0, 100), L = (-10, 5, -100).
    const Vec3 l = tunnel_light_vector(q, 0, {0.0, 5.0, 0.0});
    EXPECT_NEAR(l.x, 5.0 * sm - 100.0 * cm, 1e-9);
    EXPECT_NEAR(l.y, 5.0 * cm + 100.0 * sm, 1e-9);
    EXPECT_NEAR(l.z, 10.0, 1e-9);
    // A quad on the far side (segment 16, angle pi .. 17 pi/16) mirrors it.
    const Vec3 l16 = tunnel_light_vector(bump_quads.quads[16], 0, {0.0, 0.0, 100.0});
    EXPECT_NEAR(l16.z, -10.0, 1e-9);
}

TEST(BumpTunnel, PatternFlowsThreeUnitsPerSecond)
{
    bump_build_tunnel();
    for (const int i : {0, 123, 659})
        for (int k = 0; k < 4; ++k) {
            double s0, t0, s1, t1;
            tunnel_texcoord(bump_quads.quads[i], k, 7.25, &s0, &t0);
            tunnel_texcoord(bump_quads.quads[i], k, 8.25, &s1, &t1);
            EXPECT_DOUBLE_EQ(s1, s0);
            EXPECT_NEAR(t1 - t0, -3.0, 1e-12);
            EXPECT_NEAR(t0, bump_quads.quads[i].t[k] - 21.75, 1e-12);
        }
}

TEST(BumpTube, EveryVertexOfTheClosedRingsCarriesSixTriangles)
{
    bump_build_tube();
    const TriMesh &m = tri_mesh;
    ASSERT_EQ(m.vertex_count, 33 * 24);
    ASSERT_EQ(m.face_count, 1536);
    ASSERT_EQ(m.line_count, 768);
    for (int v = 0; v < m.vertex_count; ++v) {
        EXPECT_EQ(m.vertices[v].face_count, v < 32 * 24 ? 6 : 0) << v;
        const Vec3 &n = m.vertices[v].normal;
        if (v < 32 * 24) {
            EXPECT_NEAR(std::hypot(n.x, n.y, n.z), 1.0, 1e-12);
        }
    }
    int furry = 0;
    for (int f = 0; f < m.face_count; ++f) furry += m.faces[f].flag;
    EXPECT_EQ(furry, 768);
    // Ring 4 is the fattest (r = 1.5) and turned by an eighth of a turn; its
    // vertex 6 sits straight out from the ring's centre line, at 4 + 1.5.
    const TriMeshVertex &fat = m.vertices[4 * 24 + 6];
    EXPECT_NEAR(fat.position.x, 5.5 * M_SQRT1_2, 1e-12);
    EXPECT_NEAR(fat.position.z, 5.5 * M_SQRT1_2, 1e-12);
    EXPECT_NEAR(fat.position.y, 0.0, 1e-12);
    // Its normal points out of the tube, away from the centre line, so the
    // shells grow outwards.
    EXPECT_NEAR(fat.normal.x, M_SQRT1_2, 0.02);
    EXPECT_NEAR(fat.normal.z, M_SQRT1_2, 0.02);
    EXPECT_DOUBLE_EQ(fat.s, 4.0);
    EXPECT_DOUBLE_EQ(fat.t, 6.0);
}

TEST(BumpTube, FinsFadeInTowardsTheOutline)
{
    const Vec3 e = {0.0, 0.0, 1.0};
    EXPECT_DOUBLE_EQ(fin_alpha({1.0, 0.0, 0.0}, e), 1.0);   // side on: fully opaque
    EXPECT_DOUBLE_EQ(fin_alpha({0.0, 0.0, -1.0}, e), -1.0); // facing away: none
    // 60 degrees from the eye (|n . e| = 0.5) is the edge; closer is skipped.
    EXPECT_NEAR(fin_alpha({std::sin(M_PI / 3), 0.0, std::cos(M_PI / 3)}, e), 0.0, 1e-12);
    EXPECT_LT(fin_alpha({std::sin(M_PI / 4), 0.0, std::cos(M_PI / 4)}, e), 0.0);
    EXPECT_GT(fin_alpha({std::sin(M_PI * 0.4), 0.0, -std::cos(M_PI * 0.4)}, e), 0.0);
}

// The tunnel's entry points come from the driver at run time. A driver
// without one of the two extensions must stop the program with a message
// naming it, not crash in the first call through a null pointer.
namespace {
const char *refused_name;
int lookups;
void stand_in() {}
void (*lookup_refusing(const char *name))()
{
    ++lookups;
    return std::strcmp(name, refused_name) == 0 ? nullptr : stand_in;
}
}  // namespace

TEST(BumpEntryPoints, AMissingExtensionOrEntryPointStopsTheProgramNamingIt)
{
    const char *both = "GL_ARB_texture_rectangle GL_ARB_multitexture GL_ARB_fragment_program_shadow "
                       "GL_ARB_fragment_program";
    refused_name = "none";
    lookups = 0;
    gl_ext_require(both, lookup_refusing);
    EXPECT_EQ(lookups, 5);
    EXPECT_EQ(gl_ext.active_texture, reinterpret_cast<PFNGLACTIVETEXTUREARBPROC>(stand_in));
    EXPECT_EQ(gl_ext.program_string, reinterpret_cast<PFNGLPROGRAMSTRINGARBPROC>(stand_in));

    // A longer name that merely begins with the extension's does not count.
    EXPECT_EXIT(gl_ext_require("GL_ARB_multitexture GL_ARB_fragment_program_shadow", lookup_refusing),
                testing::ExitedWithCode(1), "^OpenGL extension GL_ARB_fragment_program is missing\n$");
    EXPECT_EXIT(gl_ext_require("GL_ARB_fragment_program", lookup_refusing), testing::ExitedWithCode(1),
                "^OpenGL extension GL_ARB_multitexture is missing\n$");
    EXPECT_EXIT(gl_ext_require(nullptr, lookup_refusing), testing::ExitedWithCode(1), "GL_ARB_multitexture");
    // Listed, but the driver gives no entry point.
    refused_name = "glProgramStringARB";
    EXPECT_EXIT(gl_ext_require(both, lookup_refusing), testing::ExitedWithCode(1),
                "^OpenGL extension GL_ARB_fragment_program is missing\n$");
    refused_name = "glClientActiveTextureARB";
    EXPECT_EXIT(gl_ext_require(both, lookup_refusing), testing::ExitedWithCode(1),
                "^OpenGL extension GL_ARB_multitexture is missing\n$");
}
