// Marching-cubes polygonizer: the case table, vertex sharing through the edge
// cache, the skipped last layer, winding, both storage forms and their limits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "gfx/marching_cubes.h"
#include "gfx/subdiv_mesh.h"
#include "mesh_checks.h"

namespace {

// Cube geometry in the polygonizer's numbering, as (a, b, c) offsets.
constexpr int kCorner[8][3] = {{0, 0, 1}, {1, 0, 1}, {1, 0, 0}, {0, 0, 0},
                               {0, 1, 1}, {1, 1, 1}, {1, 1, 0}, {0, 1, 0}};
constexpr int kEdge[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                              {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};

uint32_t crc32(const uint8_t *p, size_t n)
{
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return ~c;
}

struct V3 {
    double x, y, z;
};
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 pos(const Vec3f &p) { return {p.x, p.y, p.z}; }

// A single-precision grid filled from f(a, b, c); below when under iso.
struct Grid {
    int n;
    std::vector<GridSample> s;
    template <typename F> Grid(int n_, float iso, F f) : n(n_), s(size_t(n_) * n_ * n_)
    {
        for (int a = 0; a < n; ++a)
            for (int b = 0; b < n; ++b)
                for (int c = 0; c < n; ++c) {
                    GridSample &g = at(a, b, c);
                    g.value = f(a, b, c);
                    g.below = g.value < iso;
                }
    }
    GridSample &at(int a, int b, int c) { return s[(size_t(a) * n + b) * n + c]; }
};

const Vec3f kOrigin = {-1.0f, 2.0f, 0.5f};
const Vec3f kStep = {0.5f, 2.0f, 1.0f};
V3 world(double a, double b, double c)
{
    return {kOrigin.x + a * kStep.x, kOrigin.y + b * kStep.y, kOrigin.z + c * kStep.z};
}

}  // namespace

TEST(McTable, BytesAndNamedRows)
{
    static_assert(sizeof(mc_triangle_table) == 4096);
    EXPECT_EQ(crc32(reinterpret_cast<const uint8_t *>(mc_triangle_table), 4096), 0xDF28C7D6u);
    const std::vector<int> row1 = {0, 8, 3}, row3 = {1, 8, 3, 9, 8, 1}, row128 = {7, 6, 11};
    for (const auto &[code, want] : {std::pair{1, row1}, std::pair{3, row3}, std::pair{128, row128}})
        for (size_t i = 0; i < 16; ++i)
            EXPECT_EQ(mc_triangle_table[code][i], i < want.size() ? want[i] : -1) << code << " " << i;
}

// Each row uses exactly the edges its code crosses, ends in -1, and every
// triangle's normal leans from the above-level ends of its edges to the
// below-level ends.
TEST(McTable, RowsMatchTheirCubeCodes)
{
    int triangles = 0;
    for (int code = 0; code < 256; ++code) {
        std::set<int> crossed, used;
        for (int e = 0; e < 12; ++e)
            if (((code >> kEdge[e][0]) & 1) != ((code >> kEdge[e][1]) & 1))
                crossed.insert(e);
        const int8_t *row = mc_triangle_table[code];
        int len = 0;
        while (len < 16 && row[len] >= 0)
            used.insert(row[len++]);
        ASSERT_LT(len, 16);
        ASSERT_EQ(len % 3, 0);
        for (int i = len; i < 16; ++i)
            EXPECT_EQ(row[i], -1);
        EXPECT_EQ(crossed, used) << "code " << code;
        for (int i = 0; i < len; i += 3) {
            ++triangles;
            V3 p[3], towards_below[3];
            for (int k = 0; k < 3; ++k) {
                const int *q0 = kCorner[kEdge[row[i + k]][0]], *q1 = kCorner[kEdge[row[i + k]][1]];
                p[k] = {(q0[0] + q1[0]) / 2.0, (q0[1] + q1[1]) / 2.0, (q0[2] + q1[2]) / 2.0};
                const bool first_below = (code >> kEdge[row[i + k]][0]) & 1;
                const V3 d = {double(q1[0] - q0[0]), double(q1[1] - q0[1]), double(q1[2] - q0[2])};
                towards_below[k] = first_below ? V3{-d.x, -d.y, -d.z} : d;
            }
            const V3 nrm = cross(p[1] - p[0], p[2] - p[0]);
            EXPECT_GT(dot(nrm, towards_below[0]) + dot(nrm, towards_below[1]) + dot(nrm, towards_below[2]), 0.0)
                << "code " << code << " triangle " << i / 3;
        }
    }
    EXPECT_EQ(triangles, 820);
}

// One below sample in an above region: an octahedron of 8 triangles over 6
// vertices, one per crossed edge, at the interpolated positions; each vertex is
// shared by 4 triangles; normals face the sample; after one refinement 24
// quads, closed, with the dead triangles in place.
TEST(McIndexed, IsolatedSampleMakesClosedOctahedron)
{
    Grid g(6, 0.25f, [](int a, int b, int c) { return (a == 2 && b == 3 && c == 2) ? 0.0f : 1.0f; });
    polygonize_indexed(g.s.data(), g.n, 0.25f, kOrigin, kStep);
    ASSERT_EQ(subdiv_mesh.vertex_count, 6);
    ASSERT_EQ(subdiv_mesh.face_count, 8);

    // Cube codes: the sample is corner 3 of its own cell and corner 2 of the
    // cell before it along a.
    EXPECT_EQ(g.at(2, 3, 2).cube_code, 8);
    EXPECT_EQ(g.at(1, 3, 2).cube_code, 4);
    EXPECT_EQ(g.at(2, 2, 2).cube_code, 128);
    EXPECT_EQ(g.at(0, 0, 0).cube_code, 0);

    // Crossings sit a quarter of a step from the sample (t = 0.75 from a
    // neighbour owning the edge, 0.25 from the sample itself).
    const V3 centre = world(2, 3, 2);
    const std::vector<V3> want = {world(1.75, 3, 2), world(2, 2.75, 2), world(2, 3, 1.75),
                                  world(2.25, 3, 2), world(2, 3.25, 2), world(2, 3, 2.25)};
    std::set<int> matched;
    for (int32_t v = 0; v < 6; ++v) {
        const V3 p = pos(subdiv_mesh.vertices[v].position);
        for (size_t k = 0; k < want.size(); ++k)
            if (std::abs(p.x - want[k].x) < 1e-5 && std::abs(p.y - want[k].y) < 1e-5 &&
                std::abs(p.z - want[k].z) < 1e-5)
                matched.insert(int(k));
        EXPECT_EQ(subdiv_mesh.vertices[v].face_count, 4) << v;
    }
    EXPECT_EQ(matched.size(), 6u);

    for (int32_t f = 0; f < 8; ++f) {
        const SubdivFace &face = subdiv_mesh.faces[f];
        ASSERT_EQ(face.corner_count, 3);
        const V3 p0 = pos(subdiv_mesh.vertices[face.corners[0]].position);
        const V3 p1 = pos(subdiv_mesh.vertices[face.corners[1]].position);
        const V3 p2 = pos(subdiv_mesh.vertices[face.corners[2]].position);
        EXPECT_GT(dot(cross(p1 - p0, p2 - p0), centre - p0), 0.0) << "face " << f;
        for (int k = 0; k < 3; ++k) {
            const SubdivVertex &v = subdiv_mesh.vertices[face.corners[k]];
            EXPECT_NE(std::find(v.faces, v.faces + v.face_count, f), v.faces + v.face_count);
        }
    }
    expect_closed();
    EXPECT_EQ(subdiv_mesh.edge_count, 12);

    catmull_clark_step();
    EXPECT_EQ(subdiv_mesh.vertex_count, 6 + 8 + 12);
    ASSERT_EQ(subdiv_mesh.face_count, 8 + 24);
    for (int32_t f = 0; f < 8; ++f)
        EXPECT_EQ(subdiv_mesh.faces[f].corner_count, 0);
    for (int32_t f = 8; f < 32; ++f) {
        ASSERT_EQ(subdiv_mesh.faces[f].corner_count, 4);
        const SubdivVertex &c0 = subdiv_mesh.vertices[subdiv_mesh.faces[f].corners[0]];
        EXPECT_GT(dot(pos(c0.normal), centre - pos(c0.position)), 0.0) << "quad " << f;
    }
    expect_closed();
}

// The reverse case: an above sample in a below region faces away from it.
TEST(McIndexed, IsolatedAboveSampleFacesAway)
{
    Grid g(5, 0.5f, [](int a, int b, int c) { return (a == 1 && b == 2 && c == 2) ? 1.0f : 0.0f; });
    polygonize_indexed(g.s.data(), g.n, 0.5f, kOrigin, kStep);
    ASSERT_EQ(subdiv_mesh.vertex_count, 6);
    ASSERT_EQ(subdiv_mesh.face_count, 8);
    const V3 centre = world(1, 2, 2);
    for (int32_t f = 0; f < 8; ++f) {
        const SubdivFace &face = subdiv_mesh.faces[f];
        const V3 p0 = pos(subdiv_mesh.vertices[face.corners[0]].position);
        const V3 p1 = pos(subdiv_mesh.vertices[face.corners[1]].position);
        const V3 p2 = pos(subdiv_mesh.vertices[face.corners[2]].position);
        EXPECT_LT(dot(cross(p1 - p0, p2 - p0), centre - p0), 0.0) << "face " << f;
    }
}

TEST(McIndexed, UniformGridMakesNothing)
{
    for (const float v : {0.0f, 1.0f}) {
        Grid g(4, 0.5f, [v](int, int, int) { return v; });
        subdiv_mesh.vertex_count = 7;  // stale counts from an earlier frame
        subdiv_mesh.face_count = 9;
        polygonize_indexed(g.s.data(), g.n, 0.5f, kOrigin, kStep);
        EXPECT_EQ(subdiv_mesh.vertex_count, 0);
        EXPECT_EQ(subdiv_mesh.face_count, 0);
        EXPECT_EQ(g.at(1, 1, 1).cube_code, v < 0.5f ? 255 : 0);
    }
}

// A sample in the second-to-last plane along one axis: the cells of the last
// layer still make their vertices, but only the four cells before it make
// triangles.
TEST(McIndexed, LastLayerMakesVerticesButNoTriangles)
{
    for (int axis = 0; axis < 3; ++axis) {
        Grid g(5, 0.5f, [axis](int a, int b, int c) {
            const int p[3] = {a, b, c};
            return (p[axis] == 3 && p[(axis + 1) % 3] == 2 && p[(axis + 2) % 3] == 2) ? 0.0f : 1.0f;
        });
        polygonize_indexed(g.s.data(), g.n, 0.5f, kOrigin, kStep);
        EXPECT_EQ(subdiv_mesh.vertex_count, 6) << "axis " << axis;
        EXPECT_EQ(subdiv_mesh.face_count, 4) << "axis " << axis;
        // Only the face lists of the vertices on the near side are full.
        int with_faces = 0;
        for (int32_t v = 0; v < subdiv_mesh.vertex_count; ++v)
            with_faces += subdiv_mesh.vertices[v].face_count > 0;
        EXPECT_EQ(with_faces, 5) << "axis " << axis;
    }
}

// A lumpy off-centre blob on an odd grid: one vertex per crossed grid edge, no
// two at the same place, a closed surface that stays closed when refined.
TEST(McIndexed, BlobHasOneVertexPerCrossedEdge)
{
    const int n = 13;
    Grid g(n, 1.0f, [](int a, int b, int c) {
        const double x = a - 5.3, y = b - 6.1, z = c - 5.7;
        return float((x * x + 1.7 * y * y + z * z) / 16.0 + 0.2 * std::sin(1.3 * a + 0.7 * c));
    });
    int crossed = 0;
    for (int a = 0; a < n; ++a)
        for (int b = 0; b < n; ++b)
            for (int c = 0; c < n; ++c) {
                const bool here = g.at(a, b, c).below;
                crossed += a + 1 < n && g.at(a + 1, b, c).below != here;
                crossed += b + 1 < n && g.at(a, b + 1, c).below != here;
                crossed += c + 1 < n && g.at(a, b, c + 1).below != here;
            }
    polygonize_indexed(g.s.data(), g.n, 1.0f, kOrigin, kStep);
    ASSERT_GT(crossed, 100);
    EXPECT_EQ(subdiv_mesh.vertex_count, crossed);
    std::set<std::tuple<float, float, float>> seen;
    for (int32_t v = 0; v < subdiv_mesh.vertex_count; ++v) {
        const Vec3f &p = subdiv_mesh.vertices[v].position;
        EXPECT_TRUE(seen.insert({p.x, p.y, p.z}).second) << "duplicate vertex " << v;
        EXPECT_GE(subdiv_mesh.vertices[v].face_count, 3) << v;
    }
    expect_closed();
    const int32_t v = subdiv_mesh.vertex_count, e = subdiv_mesh.edge_count, f = subdiv_mesh.face_count;
    EXPECT_EQ(v - e + f, 2);  // one sphere-like surface
    catmull_clark_step();
    EXPECT_EQ(subdiv_mesh.face_count, 4 * f);
    expect_closed();
}

// A field with a pole (an infinite sample) or with flags forced against the
// values still puts every vertex on its edge.
TEST(McIndexed, VerticesStayOnTheirEdges)
{
    Grid g(5, 0.5f, [](int, int, int) { return 1.0f; });
    g.at(1, 1, 1) = {0.9f, 1, 0};       // forced below, value above: t outside the edge
    g.at(2, 2, 2) = {INFINITY, 0, 0};   // a pole owning the edge to a below sample
    g.at(3, 2, 2) = {0.0f, 1, 0};
    g.at(1, 3, 3) = {1.0f, 1, 0};       // forced below, equal to its neighbours
    polygonize_indexed(g.s.data(), g.n, 0.5f, kOrigin, kStep);
    ASSERT_EQ(subdiv_mesh.vertex_count, 18);
    for (int32_t v = 0; v < subdiv_mesh.vertex_count; ++v) {
        const Vec3f &p = subdiv_mesh.vertices[v].position;
        EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) << v;
    }
    int checked = 0;
    for (int s = 0; s < 4 * 4 * 4 * 3; ++s) {
        const EdgeVertexSlot &slot = mc_edge_cache.slots[s];
        if (!slot.flag)
            continue;
        ++checked;
        EXPECT_TRUE(slot.t >= 0.0f && slot.t <= 1.0f) << s << " t " << slot.t;
    }
    EXPECT_EQ(checked, 18);
    // The pole's edge puts its vertex at the finite, below end.
    const Vec3f &pole = subdiv_mesh.vertices[mc_edge_cache.slots[((2 * 4 + 2) * 4 + 2) * 3].vertex].position;
    const V3 want = world(3, 2, 2);
    EXPECT_NEAR(pole.x, want.x, 1e-6);
    // Equal ends meet halfway.
    const EdgeVertexSlot &flat = mc_edge_cache.slots[((1 * 4 + 3) * 4 + 3) * 3];
    ASSERT_EQ(flat.flag, 1);
    EXPECT_FLOAT_EQ(flat.t, 0.5f);
}

// A period-2 pattern puts five triangles into every cell: 148955 on a 33^3
// grid, past the face limit. The pass keeps 139999, names the overflow once per
// extra triangle, keeps the latest one in the last slot and never lists an
// uncounted face at a vertex.
TEST(McIndexed, FaceLimitContinues)
{
    const int n = 33;
    Grid g(n, 0.5f, [](int a, int b, int c) {
        const int k = (a & 1) << 2 | (b & 1) << 1 | (c & 1);
        return (k == 0 || k == 2 || k == 3 || k == 4 || k == 5) ? 0.0f : 1.0f;
    });
    testing::internal::CaptureStderr();
    polygonize_indexed(g.s.data(), g.n, 0.5f, kOrigin, kStep);
    const std::string err = testing::internal::GetCapturedStderr();
    const int made = 31 * 31 * 31 * 5;
    ASSERT_EQ(subdiv_mesh.face_count, SUBDIV_MAX_FACES - 1);
    std::string want;
    for (int i = 0; i < made - (SUBDIV_MAX_FACES - 1); ++i)
        want += "MAXFACES\n";
    EXPECT_EQ(err, want);

    // The last triangle made is the last one of cell (30, 30, 30).
    const int code = g.at(30, 30, 30).cube_code;
    const int8_t *row = mc_triangle_table[code];
    const int m = n - 1;
    const int32_t cell = ((30 * m + 30) * m + 30) * 3;
    // Owning cell (da, db, dc) and slot of each cube edge.
    const int owner[12][4] = {{0, 0, 1, 0}, {1, 0, 0, 2}, {0, 0, 0, 0}, {0, 0, 0, 2}, {0, 1, 1, 0}, {1, 1, 0, 2},
                              {0, 1, 0, 0}, {0, 1, 0, 2}, {0, 0, 1, 1}, {1, 0, 1, 1}, {1, 0, 0, 1}, {0, 0, 0, 1}};
    int32_t off_for_edge[12];
    for (int e = 0; e < 12; ++e)
        off_for_edge[e] = ((owner[e][0] * m + owner[e][1]) * m + owner[e][2]) * 3 + owner[e][3];
    const SubdivFace &last = subdiv_mesh.faces[SUBDIV_MAX_FACES - 1];
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(last.corners[k], mc_edge_cache.slots[cell + off_for_edge[row[12 + k]]].vertex) << k;
    for (int32_t v = 0; v < subdiv_mesh.vertex_count; ++v)
        for (int i = 0; i < subdiv_mesh.vertices[v].face_count; ++i)
            ASSERT_LT(subdiv_mesh.vertices[v].faces[i], SUBDIV_MAX_FACES - 1);
}

TEST(McIndexedDeath, GridLargerThanTheCache)
{
    std::vector<GridSample> g(34 * 34 * 34);
    EXPECT_EXIT(polygonize_indexed(g.data(), 34, 0.5f, kOrigin, kStep), testing::ExitedWithCode(1), "^MAXGRID\n$");
    std::vector<GridSampleD> gd(22 * 22 * 22);
    EXPECT_EXIT(polygonize_direct(gd.data(), 22, 0.5, {0, 0, 0}, {1, 1, 1}), testing::ExitedWithCode(1), "^MAXGRID\n$");
}

namespace {

std::vector<GridSampleD> balls(int n, double iso)
{
    std::vector<GridSampleD> g(size_t(n) * n * n);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            for (int k = 0; k < n; ++k) {
                const double x = 1.1 * (i - 10), y = 1.1 * (j - 10), z = 1.1 * (k - 10);
                const double d1 = (x + 3.1) * (x + 3.1) + (y - 0.4) * (y - 0.4) + z * z;
                const double d2 = (x - 2.2) * (x - 2.2) + (y + 1.3) * (y + 1.3) + (z - 0.7) * (z - 0.7);
                GridSampleD &s = g[(size_t(i) * n + j) * n + k];
                s.value = 1.4 / d1 + 1.4 / d2;
                s.below = s.value < iso;
            }
    return g;
}

}  // namespace

// Two merging balls, high inside: the direct form makes the same surface as the
// indexed one, with unit normals pointing out of the balls.
TEST(McDirect, MatchesIndexedFormWithOutwardUnitNormals)
{
    const int n = 21;
    std::vector<GridSampleD> gd = balls(n, 0.18);
    std::vector<GridSample> gf(gd.size());
    for (size_t i = 0; i < gd.size(); ++i)
        gf[i] = {float(gd[i].value), gd[i].below, 0};
    const Vec3 origin = {-11.0, -11.0, -11.0}, step = {1.1, 1.1, 1.1};
    polygonize_direct(gd.data(), n, 0.18, origin, step);
    polygonize_indexed(gf.data(), n, 0.18f, {-11.0f, -11.0f, -11.0f}, {1.1f, 1.1f, 1.1f});
    ASSERT_GT(mc_direct_triangles.count, 100);
    ASSERT_EQ(mc_direct_triangles.count, subdiv_mesh.face_count);

    // Slot references of a triangle agree with the indexed corners.
    std::vector<int32_t> slot_of_vertex(subdiv_mesh.vertex_count, -1);
    for (int32_t s = 0; s < (n - 1) * (n - 1) * (n - 1) * 3; ++s)
        if (mc_edge_cache.slots[s].flag)
            slot_of_vertex[mc_edge_cache.slots[s].vertex] = s;
    for (int32_t t = 0; t < mc_direct_triangles.count; ++t)
        for (int k = 0; k < 3; ++k) {
            ASSERT_EQ(mc_direct_triangles.tri[t][k], slot_of_vertex[subdiv_mesh.faces[t].corners[k]]);
            const EdgeVertexSlotD &s = mc_direct_cache.slots[mc_direct_triangles.tri[t][k]];
            const Vec3f &p = subdiv_mesh.vertices[subdiv_mesh.faces[t].corners[k]].position;
            EXPECT_NEAR(s.position.x, p.x, 1e-5);
            EXPECT_NEAR(s.position.y, p.y, 1e-5);
            EXPECT_NEAR(s.position.z, p.z, 1e-5);
            EXPECT_NEAR(std::sqrt(vec_dot(s.normal, s.normal)), 1.0, 1e-12);
            // Out of whichever ball is nearer.
            const Vec3 c1 = {-3.1, 0.4, 0.0}, c2 = {2.2, -1.3, 0.7};
            const Vec3 &q = s.position;
            const double e1 = (q.x - c1.x) * (q.x - c1.x) + (q.y - c1.y) * (q.y - c1.y) + (q.z - c1.z) * (q.z - c1.z);
            const double e2 = (q.x - c2.x) * (q.x - c2.x) + (q.y - c2.y) * (q.y - c2.y) + (q.z - c2.z) * (q.z - c2.z);
            const Vec3 &c = e1 < e2 ? c1 : c2;
            EXPECT_GT(vec_dot(s.normal, {q.x - c.x, q.y - c.y, q.z - c.z}), 0.0);
        }
}

// Slots in the last layer get vertices but no triangles; their normals stay
// zero rather than becoming NaN. A pole sample keeps every vertex finite.
TEST(McDirect, UnusedSlotsKeepZeroNormals)
{
    const int n = 5;
    std::vector<GridSampleD> g(n * n * n);
    for (int i = 0; i < n * n * n; ++i)
        g[i] = {1.0, 0, 0};
    g[(3 * n + 2) * n + 2] = {0.0, 1, 0};  // near the far end along a
    g[(2 * n + 2) * n + 2] = {INFINITY, 0, 0};  // a pole next to it
    polygonize_direct(g.data(), n, 0.5, {0, 0, 0}, {1, 1, 1});
    EXPECT_EQ(mc_direct_triangles.count, 4);
    int flagged = 0, zero = 0;
    for (int s = 0; s < 4 * 4 * 4 * 3; ++s) {
        const EdgeVertexSlotD &slot = mc_direct_cache.slots[s];
        if (!slot.flag)
            continue;
        ++flagged;
        ASSERT_TRUE(std::isfinite(slot.normal.x) && std::isfinite(slot.normal.y) && std::isfinite(slot.normal.z));
        zero += slot.normal.x == 0.0 && slot.normal.y == 0.0 && slot.normal.z == 0.0;
    }
    EXPECT_EQ(flagged, 6);
    EXPECT_EQ(zero, 1);  // the +a edge from the sample, owned by the last layer
}

// A checkerboard makes four triangles per cell, far past 7999: the count stops
// there, each extra triangle prints one message and overwrites the last slot.
TEST(McDirect, TriangleLimitContinues)
{
    const int n = 15;
    std::vector<GridSampleD> g(n * n * n);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            for (int k = 0; k < n; ++k)
                g[(i * n + j) * n + k] = {double((i + j + k) & 1), uint8_t((i + j + k) & 1), 0};
    testing::internal::CaptureStderr();
    polygonize_direct(g.data(), n, 0.5, {0, 0, 0}, {1, 1, 1});
    const std::string err = testing::internal::GetCapturedStderr();
    const int made = 13 * 13 * 13 * 4;
    EXPECT_EQ(mc_direct_triangles.count, MC_DIRECT_MAX_TRIANGLES - 1);
    size_t lines = 0;
    for (size_t p = 0; (p = err.find("MAXFACES\n", p)) != std::string::npos; p += 9)
        ++lines;
    EXPECT_EQ(lines, size_t(made - (MC_DIRECT_MAX_TRIANGLES - 1)));
    EXPECT_EQ(err.size(), lines * 9);
    // The last cell (12, 12, 12) made the last triangle; its first corner is a
    // slot of that cell or a neighbour, so it lies near the cell.
    const int32_t *last = mc_direct_triangles.tri[MC_DIRECT_MAX_TRIANGLES - 1];
    const Vec3 &p = mc_direct_cache.slots[last[0]].position;
    EXPECT_GE(p.x, 12.0);
    EXPECT_GE(p.y, 12.0);
    EXPECT_GE(p.z, 12.0);
}
