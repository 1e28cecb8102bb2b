// Fixed triangle mesh: capacities, face and vertex normals, the face-list limit.
#include <gtest/gtest.h>

#include <cmath>

#include "gfx/trimesh.h"

namespace {

double length(const Vec3 &v) { return std::sqrt(vec_dot(v, v)); }

}  // namespace

// A tent of two triangles over a flat vertex line: face normals keep their
// length (twice the area), shared vertices average them, and a vertex that
// only carries a line keeps a zero normal.
TEST(TriMesh, FinishComputesNormals)
{
    trimesh_reset();
    const int32_t a = trimesh_add_vertex({0, 0, 0}, 0, 0);
    const int32_t b = trimesh_add_vertex({2, 0, 0}, 1, 0);
    const int32_t c = trimesh_add_vertex({0, 2, 1}, 0, 1);
    const int32_t d = trimesh_add_vertex({0, -2, 1}, 1, 1);
    const int32_t lone = trimesh_add_vertex({5, 5, 5}, 2, 2);
    EXPECT_EQ(trimesh_add_face(a, b, c, 1), 0);
    EXPECT_EQ(trimesh_add_face(b, a, d, 0), 1);
    EXPECT_EQ(trimesh_add_line(c, lone), 0);
    for (int pass = 0; pass < 2; ++pass) {  // finishing again changes nothing
        trimesh_finish();
        const TriMeshFace &f0 = tri_mesh.faces[0];
        EXPECT_DOUBLE_EQ(f0.normal.x, 0.0);
        EXPECT_DOUBLE_EQ(f0.normal.y, -2.0);
        EXPECT_DOUBLE_EQ(f0.normal.z, 4.0);
        EXPECT_EQ(f0.flag, 1);
        EXPECT_EQ(tri_mesh.faces[1].flag, 0);
        // a and b are shared: the y parts cancel.
        for (const int32_t v : {a, b}) {
            const TriMeshVertex &vx = tri_mesh.vertices[v];
            ASSERT_EQ(vx.face_count, 2);
            EXPECT_EQ(vx.faces[0], 0);
            EXPECT_EQ(vx.faces[1], 1);
            EXPECT_NEAR(vx.normal.x, 0.0, 1e-12);
            EXPECT_NEAR(vx.normal.y, 0.0, 1e-12);
            EXPECT_NEAR(vx.normal.z, 1.0, 1e-12);
        }
        EXPECT_NEAR(length(tri_mesh.vertices[c].normal), 1.0, 1e-12);
        EXPECT_NEAR(tri_mesh.vertices[c].normal.y, -2.0 / std::sqrt(20.0), 1e-12);
        const TriMeshVertex &l = tri_mesh.vertices[lone];
        EXPECT_EQ(l.face_count, 0);
        EXPECT_EQ(l.normal.x, 0.0);
        EXPECT_EQ(l.normal.y, 0.0);
        EXPECT_EQ(l.normal.z, 0.0);
        EXPECT_DOUBLE_EQ(l.s, 2.0);
    }
}

TEST(TriMeshDeath, Capacities)
{
    trimesh_reset();
    for (int i = 0; i < TRIMESH_MAX_VERTICES - 1; ++i)
        EXPECT_EQ(trimesh_add_vertex({double(i), 0, 0}, 0, 0), i);
    EXPECT_EXIT(trimesh_add_vertex({0, 0, 0}, 0, 0), testing::ExitedWithCode(1), "^maxvertex\n$");
    for (int i = 0; i < TRIMESH_MAX_FACES - 1; ++i)
        trimesh_add_face(i % 999, (i + 1) % 999, (i + 2) % 999, 0);
    EXPECT_EQ(tri_mesh.face_count, 1599);
    EXPECT_EXIT(trimesh_add_face(0, 1, 2, 0), testing::ExitedWithCode(1), "^maxface\n$");
    for (int i = 0; i < TRIMESH_MAX_LINES - 1; ++i)
        trimesh_add_line(i % 999, (i + 1) % 999);
    EXPECT_EQ(tri_mesh.line_count, 1799);
    EXPECT_EXIT(trimesh_add_line(0, 1), testing::ExitedWithCode(1), "^maxedge\n$");
}

TEST(TriMeshDeath, SeventhFaceOnAVertex)
{
    trimesh_reset();
    for (int i = 0; i < 9; ++i)
        trimesh_add_vertex({std::cos(i * 0.7), std::sin(i * 0.7), 0}, 0, 0);
    for (int i = 1; i <= 6; ++i)
        trimesh_add_face(0, i, i + 1, 0);
    trimesh_finish();
    EXPECT_EQ(tri_mesh.vertices[0].face_count, 6);
    trimesh_add_face(0, 7, 8, 0);
    EXPECT_EXIT(trimesh_finish(), testing::ExitedWithCode(1), "^maxfpv\n$");
}
