// Subdivision mesh: edge linking, the Catmull-Clark rules against hand
// calculations, closedness under refinement, wide edge indices and every limit.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "gfx/subdiv_mesh.h"
#include "mesh_checks.h"

namespace {

int32_t add_face(std::initializer_list<int32_t> corners)
{
    SubdivMesh &m = subdiv_mesh;
    const int32_t f = m.face_count++;
    SubdivFace &face = m.faces[f];
    face.corner_count = uint16_t(corners.size());
    int k = 0;
    for (const int32_t c : corners) {
        face.corners[k++] = c;
        subdiv_add_face_to_vertex(c, f);
    }
    return f;
}

// The cube [-1, 1]^3 as six outward quads.
void build_cube()
{
    subdiv_reset();
    for (int i = 0; i < 8; ++i)
        subdiv_add_vertex({(i & 1) ? 1.0f : -1.0f, (i & 2) ? 1.0f : -1.0f, (i & 4) ? 1.0f : -1.0f});
    add_face({0, 2, 3, 1});
    add_face({4, 5, 7, 6});
    add_face({0, 1, 5, 4});
    add_face({2, 6, 7, 3});
    add_face({0, 4, 6, 2});
    add_face({1, 3, 7, 5});
}

// Vertex 0 at (1, -2, 3 + h) surrounded by an open fan of m triangles whose rim
// is a regular m-gon of radius 1 around (1, -2, 3).
void build_fan(int m, float h)
{
    subdiv_reset();
    subdiv_add_vertex({1.0f, -2.0f, 3.0f + h});
    for (int i = 0; i < m; ++i) {
        const double a = 2.0 * M_PI * i / m + 0.3;
        subdiv_add_vertex({float(1.0 + std::cos(a)), float(-2.0 + std::sin(a)), 3.0f});
    }
    for (int i = 0; i < m; ++i)
        add_face({0, 1 + i, 1 + (i + 1) % m});
}

}  // namespace

// The fan centre moves to (F + 2R + (m - 3) P) / m. With the rim centred under
// it, F and R lie on the axis at h/3 and h/2, so its height becomes
// h (m - 5/3) / m: for h = 3, 4/3 at m = 3 (no weight on the old position), 2
// at m = 5 and 13/6 at m = 6.
TEST(SubdivStep, VertexPointOfAFan)
{
    const struct {
        int m;
        double z;
    } cases[] = {{3, 4.0 / 3.0}, {5, 2.0}, {6, 13.0 / 6.0}};
    for (const auto &c : cases) {
        build_fan(c.m, 3.0f);
        catmull_clark_step();
        const Vec3f &p = subdiv_mesh.vertices[0].position;
        EXPECT_NEAR(p.x, 1.0, 1e-5) << c.m;
        EXPECT_NEAR(p.y, -2.0, 1e-5) << c.m;
        EXPECT_NEAR(p.z, 3.0 + c.z, 1e-5) << c.m;
        EXPECT_EQ(subdiv_mesh.face_count, 4 * c.m);
    }
}

// One step of a cube: corners move to (5/9, 5/9, 5/9) in magnitude, every face
// and edge point lands where the rules put it, the 24 quads keep the winding
// (outward normals) and the surface stays closed.
TEST(SubdivStep, CubeRefinesToKnownPoints)
{
    build_cube();
    catmull_clark_step();
    EXPECT_EQ(subdiv_mesh.vertex_count, 8 + 6 + 12);
    ASSERT_EQ(subdiv_mesh.face_count, 6 + 24);
    for (int v = 0; v < 8; ++v) {
        const Vec3f &p = subdiv_mesh.vertices[v].position;
        EXPECT_NEAR(std::abs(p.x), 5.0 / 9.0, 1e-6);
        EXPECT_NEAR(std::abs(p.y), 5.0 / 9.0, 1e-6);
        EXPECT_NEAR(std::abs(p.z), 5.0 / 9.0, 1e-6);
        EXPECT_EQ(p.x > 0, (v & 1) != 0);
    }
    // Face point of the -z face and edge point of its edge 0-2 (the mean of
    // the endpoints and the two face points: (-1, 0, -1) and (-3/4, 0, -3/4)).
    const Vec3f &fp = subdiv_mesh.vertices[subdiv_mesh.faces[0].face_point].position;
    EXPECT_NEAR(fp.x, 0.0, 1e-6);
    EXPECT_NEAR(fp.y, 0.0, 1e-6);
    EXPECT_NEAR(fp.z, -1.0, 1e-6);
    const SubdivEdge &e02 = subdiv_mesh.edges[subdiv_mesh.faces[0].edges[0]];
    EXPECT_EQ(e02.hi, 2);
    EXPECT_EQ(e02.lo, 0);
    const Vec3f &ep = subdiv_mesh.vertices[e02.edge_point].position;
    EXPECT_NEAR(ep.x, -0.75, 1e-6);
    EXPECT_NEAR(ep.y, 0.0, 1e-6);
    EXPECT_NEAR(ep.z, -0.75, 1e-6);

    for (int f = 0; f < 6; ++f)
        EXPECT_EQ(subdiv_mesh.faces[f].corner_count, 0);
    for (int32_t v = 0; v < subdiv_mesh.vertex_count; ++v) {
        const SubdivVertex &vx = subdiv_mesh.vertices[v];
        EXPECT_GT(vx.normal.x * vx.position.x + vx.normal.y * vx.position.y + vx.normal.z * vx.position.z, 0.0f)
            << v;
    }
    expect_closed();
}

// Refining twice gives what refining a fresh copy of the once-refined mesh
// gives: dead faces play no part, and old normals do not linger.
TEST(SubdivStep, SecondStepMatchesFreshMesh)
{
    build_cube();
    catmull_clark_step();
    std::vector<Vec3f> pos;
    for (int32_t v = 0; v < subdiv_mesh.vertex_count; ++v)
        pos.push_back(subdiv_mesh.vertices[v].position);
    std::vector<std::array<int32_t, 4>> quads;
    for (int32_t f = 0; f < subdiv_mesh.face_count; ++f)
        if (subdiv_mesh.faces[f].corner_count == 4) {
            const int32_t *c = subdiv_mesh.faces[f].corners;
            quads.push_back({c[0], c[1], c[2], c[3]});
        }
    catmull_clark_step();
    std::vector<SubdivVertex> twice(subdiv_mesh.vertices, subdiv_mesh.vertices + subdiv_mesh.vertex_count);
    expect_closed();

    subdiv_reset();
    for (const Vec3f &p : pos)
        subdiv_add_vertex(p);
    for (const auto &q : quads)
        add_face({q[0], q[1], q[2], q[3]});
    catmull_clark_step();
    ASSERT_EQ(size_t(subdiv_mesh.vertex_count), twice.size());
    for (int32_t v = 0; v < subdiv_mesh.vertex_count; ++v) {
        const SubdivVertex &a = subdiv_mesh.vertices[v], &b = twice[size_t(v)];
        EXPECT_NEAR(a.position.x, b.position.x, 1e-6) << v;
        EXPECT_NEAR(a.position.y, b.position.y, 1e-6) << v;
        EXPECT_NEAR(a.position.z, b.position.z, 1e-6) << v;
        EXPECT_NEAR(a.normal.x, b.normal.x, 1e-6) << v;
        EXPECT_NEAR(a.normal.y, b.normal.y, 1e-6) << v;
        EXPECT_NEAR(a.normal.z, b.normal.z, 1e-6) << v;
    }
}

// Dead faces are skipped by linking and normals; linking again rebuilds the
// same table instead of tripping over the edges it listed before.
TEST(SubdivLink, SkipsDeadFacesAndRelinks)
{
    build_cube();
    subdiv_mesh.faces[1].corner_count = 0;
    link_edges();
    EXPECT_EQ(subdiv_mesh.edge_count, 12);
    int open = 0;
    for (int32_t e = 0; e < 12; ++e)
        open += subdiv_mesh.edges[e].face_count == 1;
    EXPECT_EQ(open, 4);
    std::vector<SubdivEdge> first(subdiv_mesh.edges, subdiv_mesh.edges + 12);
    link_edges();
    ASSERT_EQ(subdiv_mesh.edge_count, 12);
    for (int32_t e = 0; e < 12; ++e) {
        EXPECT_EQ(subdiv_mesh.edges[e].hi, first[size_t(e)].hi);
        EXPECT_EQ(subdiv_mesh.edges[e].lo, first[size_t(e)].lo);
        EXPECT_EQ(subdiv_mesh.edges[e].face_count, first[size_t(e)].face_count);
    }
    accumulate_normals();
    // Vertex 7 only touched the dead +z face and two live ones.
    const Vec3f &n7 = subdiv_mesh.vertices[7].normal;
    EXPECT_FLOAT_EQ(n7.x, 4.0f);
    EXPECT_FLOAT_EQ(n7.y, 4.0f);
    EXPECT_FLOAT_EQ(n7.z, 0.0f);
}

// Edge indices past 65535 survive in the face slots and vertex lists.
TEST(SubdivLink, EdgeIndicesBeyondSixteenBits)
{
    subdiv_reset();
    const int tris = 22000;  // 66000 separate edges
    for (int t = 0; t < tris; ++t) {
        const int32_t a = subdiv_add_vertex({float(t), 0, 0});
        subdiv_add_vertex({float(t), 1, 0});
        subdiv_add_vertex({float(t), 0, 1});
        add_face({a, a + 1, a + 2});
    }
    link_edges();
    ASSERT_EQ(subdiv_mesh.edge_count, 3 * tris);
    const SubdivFace &last = subdiv_mesh.faces[tris - 1];
    for (int k = 0; k < 3; ++k) {
        const int32_t e = last.edges[k];
        EXPECT_EQ(e, 3 * tris - 3 + k);
        const int32_t u = last.corners[k], w = last.corners[(k + 1) % 3];
        EXPECT_EQ(subdiv_mesh.edges[e].hi, std::max(u, w));
        EXPECT_EQ(subdiv_mesh.edges[e].lo, std::min(u, w));
    }
    const SubdivVertex &v = subdiv_mesh.vertices[last.corners[2]];
    ASSERT_EQ(v.edge_hi_count, 2);
    EXPECT_EQ(v.edges_hi[0], 3 * tris - 2);
    EXPECT_EQ(v.edges_hi[1], 3 * tris - 1);
}

// Past the face limit a triangle goes to the scratch slot, the count stays and
// the message repeats, while the face lists keep naming counted faces only.
TEST(SubdivAppend, TriangleAtTheFaceLimitContinues)
{
    subdiv_reset();
    for (int i = 0; i < 4; ++i)
        subdiv_add_vertex({float(i), float(i * i), 0});
    subdiv_mesh.face_count = SUBDIV_MAX_FACES - 2;
    testing::internal::CaptureStderr();
    EXPECT_EQ(subdiv_add_triangle(0, 1, 2), SUBDIV_MAX_FACES - 2);
    EXPECT_EQ(subdiv_mesh.face_count, SUBDIV_MAX_FACES - 1);
    EXPECT_EQ(subdiv_add_triangle(1, 2, 3), SUBDIV_MAX_FACES - 1);
    EXPECT_EQ(subdiv_add_triangle(3, 2, 0), SUBDIV_MAX_FACES - 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "MAXFACES\nMAXFACES\n");
    EXPECT_EQ(subdiv_mesh.face_count, SUBDIV_MAX_FACES - 1);
    const SubdivFace &scratch = subdiv_mesh.faces[SUBDIV_MAX_FACES - 1];
    EXPECT_EQ(scratch.corners[0], 3);
    EXPECT_EQ(scratch.corners[1], 2);
    EXPECT_EQ(scratch.corners[2], 0);
    for (int v = 0; v < 3; ++v) {
        ASSERT_EQ(subdiv_mesh.vertices[v].face_count, 1) << v;
        EXPECT_EQ(subdiv_mesh.vertices[v].faces[0], SUBDIV_MAX_FACES - 2);
    }
    EXPECT_EQ(subdiv_mesh.vertices[3].face_count, 0);
}

using SubdivDeath = testing::Test;

TEST(SubdivDeath, VertexLimit)
{
    subdiv_reset();
    for (int i = 0; i < SUBDIV_MAX_VERTICES - 1; ++i)
        subdiv_add_vertex({0, 0, 0});
    EXPECT_EQ(subdiv_mesh.vertex_count, 99999);
    EXPECT_EXIT(subdiv_add_vertex({0, 0, 0}), testing::ExitedWithCode(1), "^MAXVERTICES\n$");
    // The refinement's own vertices obey the same limit.
    build_cube();
    subdiv_mesh.vertex_count = SUBDIV_MAX_VERTICES - 10;
    for (int f = 0; f < 6; ++f)
        for (int k = 0; k < 4; ++k)
            subdiv_mesh.faces[f].corners[k] += SUBDIV_MAX_VERTICES - 18;
    EXPECT_EXIT(catmull_clark_step(), testing::ExitedWithCode(1), "^MAXVERTICES\n$");
}

TEST(SubdivDeath, FacesPerVertex)
{
    subdiv_reset();
    for (int i = 0; i < 66; ++i)
        subdiv_add_vertex({float(i), 0, 0});
    for (int i = 1; i <= 64; ++i)
        subdiv_add_triangle(0, i, i + 1);
    EXPECT_EQ(subdiv_mesh.vertices[0].face_count, 64);
    EXPECT_EXIT(subdiv_add_triangle(0, 65, 1), testing::ExitedWithCode(1), "^MAXFPV\n$");

    // The quads of a refinement add to full lists too.
    build_cube();
    subdiv_mesh.vertices[0].face_count = 64;
    EXPECT_EXIT(catmull_clark_step(), testing::ExitedWithCode(1), "^MAXFPV\n$");
}

TEST(SubdivDeath, EdgeLimits)
{
    // 80000 separate edges fill the table; one more side is refused.
    subdiv_reset();
    for (int t = 0; t < 26667; ++t) {
        const int32_t a = subdiv_add_vertex({0, 0, 0});
        subdiv_add_vertex({1, 0, 0});
        subdiv_add_vertex({0, 1, 0});
        add_face({a, a + 1, a + 2});
    }
    EXPECT_EXIT(link_edges(), testing::ExitedWithCode(1), "^MAXEDGES\n$");
    subdiv_mesh.face_count--;
    link_edges();
    EXPECT_EQ(subdiv_mesh.edge_count, 79998);

    // A fan of 33 spokes around its highest vertex, then around its lowest.
    for (const bool hub_high : {true, false}) {
        subdiv_reset();
        const int32_t first = hub_high ? 0 : 1;
        for (int i = 0; i < 35; ++i)
            subdiv_add_vertex({float(i), 0, 0});
        const int32_t hub = hub_high ? 34 : 0;
        for (int i = 0; i < 33; ++i)
            add_face({hub, first + i, first + i + 1});
        EXPECT_EXIT(link_edges(), testing::ExitedWithCode(1), hub_high ? "^MAXEPV\\(1\\)\n$" : "^MAXEPV\\(2\\)\n$");
        subdiv_mesh.face_count = 31;  // 32 spokes fit
        link_edges();
        EXPECT_EQ(subdiv_mesh.edge_count, 32 + 31);
    }
}

TEST(SubdivDeath, ThirdFaceOnAnEdge)
{
    subdiv_reset();
    for (int i = 0; i < 5; ++i)
        subdiv_add_vertex({float(i), float(i % 2), 0});
    add_face({0, 1, 2});
    add_face({1, 0, 3});
    link_edges();
    add_face({0, 1, 4});
    EXPECT_EXIT(link_edges(), testing::ExitedWithCode(1), "^More than two faces to an edge!\n$");
}

TEST(SubdivDeath, QuadsPastTheFaceLimit)
{
    // Dead faces from earlier steps fill the table; the live cube's 24 quads
    // would carry the count to 140000.
    build_cube();
    const int32_t pad = SUBDIV_MAX_FACES - 6 - 23;
    for (int f = 0; f < 6; ++f) {
        subdiv_mesh.faces[pad + f] = subdiv_mesh.faces[f];
        subdiv_mesh.faces[f].corner_count = 0;
    }
    for (int32_t f = 6; f < pad; ++f)
        subdiv_mesh.faces[f].corner_count = 0;
    subdiv_mesh.face_count = pad + 6;
    EXPECT_EXIT(catmull_clark_step(), testing::ExitedWithCode(1), "^MAXFACES\n$");
    subdiv_mesh.face_count--;
    subdiv_mesh.faces[pad + 5].corner_count = 0;  // 20 quads still fit
    catmull_clark_step();
    EXPECT_EQ(subdiv_mesh.face_count, SUBDIV_MAX_FACES - 4);
}
