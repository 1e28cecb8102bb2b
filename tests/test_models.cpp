// The embedded static models: counts, placements and bounds against the room
// layout, closed surfaces that face out, the table's fixed indices, the jack
// and the tree; and the generator's refusal of malformed recipes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>

#include "gfx/models.h"
#include "tools/model_build.h"

namespace {

struct Expected {
    ModelId id;
    const char *name;
    int32_t tris, quads, vertices;
    Vec3 translation;
    double lo[3], hi[3];  // local bounding box
};

// The room's layout, the jack and the tree, as the scenes rely on them.
const Expected EXPECTED[] = {
    {MODEL_JACK, "jack", 0, 864, 866, {0, 0, 0}, {-4.875, -4.875, -4.875}, {4.875, 4.875, 4.875}},
};

Vec3 position(const StaticModel &m, int32_t i) { return {m.vertices[i].px, m.vertices[i].py, m.vertices[i].pz}; }

Vec3 sub(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 cross3(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double dot3(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Calls f(corner count, corner indices) for every face, triangles first.
template <class F>
void each_face(const StaticModel &m, F f)
{
    for (int32_t i = 0; i < m.tri_count; ++i) f(3, m.tris + 3 * i);
    for (int32_t i = 0; i < m.quad_count; ++i) f(4, m.quads + 4 * i);
}

// Twice the area vector of a face.
Vec3 face_area(const StaticModel &m, int n, const int32_t *c)
{
    if (n == 3) return cross3(sub(position(m, c[1]), position(m, c[0])), sub(position(m, c[2]), position(m, c[0])));
    return cross3(sub(position(m, c[2]), position(m, c[0])), sub(position(m, c[3]), position(m, c[1])));
}

TEST(Models, MatchTheirLayout)
{
    for (const Expected &e : EXPECTED) {
        const StaticModel &m = static_model(e.id);
        SCOPED_TRACE(e.name);
        EXPECT_STREQ(m.name, e.name);
        EXPECT_EQ(m.tri_count, e.tris);
        EXPECT_EQ(m.quad_count, e.quads);
        EXPECT_EQ(m.vertex_count, e.vertices);
        EXPECT_EQ(m.translation.x, e.translation.x);
        EXPECT_EQ(m.translation.y, e.translation.y);
        EXPECT_EQ(m.translation.z, e.translation.z);
        double lo[3] = {1e30, 1e30, 1e30}, hi[3] = {-1e30, -1e30, -1e30};
        for (int32_t i = 0; i < m.vertex_count; ++i) {
            const double p[3] = {m.vertices[i].px, m.vertices[i].py, m.vertices[i].pz};
            for (int a = 0; a < 3; ++a) {
                lo[a] = std::min(lo[a], p[a]);
                hi[a] = std::max(hi[a], p[a]);
            }
        }
        for (int a = 0; a < 3; ++a) {
            EXPECT_NEAR(lo[a], e.lo[a], 1e-9) << "axis " << a;
            EXPECT_NEAR(hi[a], e.hi[a], 1e-9) << "axis " << a;
        }
        // Every index in range, every face with an area, every normal of unit length.
        each_face(m, [&](int n, const int32_t *c) {
            for (int k = 0; k < n; ++k) ASSERT_TRUE(c[k] >= 0 && c[k] < m.vertex_count);
            EXPECT_GT(std::sqrt(dot3(face_area(m, n, c), face_area(m, n, c))), 1e-12);
        });
        for (int32_t i = 0; i < m.vertex_count; ++i) {
            const MeshVertex &v = m.vertices[i];
            EXPECT_NEAR(v.nx * v.nx + v.ny * v.ny + v.nz * v.nz, 1.0, 1e-9);
        }
    }
}

// Every edge is shared by exactly two faces that run along it in opposite
// directions, the enclosed volume is positive, and each face's normal agrees
// with the stored normals of its corners.
void expect_closed_solid(ModelId id)
{
    const StaticModel &m = static_model(id);
    SCOPED_TRACE(m.name);
    std::map<std::pair<int32_t, int32_t>, int> used;
    double volume = 0;
    int disagreeing = 0;
    each_face(m, [&](int n, const int32_t *c) {
        for (int k = 0; k < n; ++k) ++used[{c[k], c[(k + 1) % n]}];
        for (int k = 1; k + 1 < n; ++k)
            volume += dot3(position(m, c[0]), cross3(position(m, c[k]), position(m, c[k + 1]))) / 6;
        Vec3 a = face_area(m, n, c), stored{0, 0, 0};
        for (int k = 0; k < n; ++k)
            stored = {stored.x + m.vertices[c[k]].nx, stored.y + m.vertices[c[k]].ny, stored.z + m.vertices[c[k]].nz};
        disagreeing += dot3(a, stored) <= 0;
    });
    for (const auto &[edge, count] : used) {
        ASSERT_EQ(count, 1) << "edge " << edge.first << "-" << edge.second << " runs the same way twice";
        ASSERT_EQ(used.count({edge.second, edge.first}), 1u) << "edge " << edge.first << "-" << edge.second << " is open";
    }
    EXPECT_GT(volume, 0);
    EXPECT_EQ(disagreeing, 0);
}

TEST(Models, ClosedOnesAreSolidsFacingOut)
{
    for (ModelId id : {MODEL_JACK}) expect_closed_solid(id);
}

TEST(Models, JackIsACubeWithSixBallEndedArms)
{
    const StaticModel &m = static_model(MODEL_JACK);
    // The tip of each arm lies on its axis at 4.875; the centre cube's flat
    // faces lie at 1, around the arms' roots.
    int tips = 0, cube_faces = 0;
    for (int32_t i = 0; i < m.vertex_count; ++i) {
        const double p[3] = {m.vertices[i].px, m.vertices[i].py, m.vertices[i].pz};
        for (int a = 0; a < 3; ++a) {
            const double off = std::fabs(p[(a + 1) % 3]) + std::fabs(p[(a + 2) % 3]);
            tips += std::fabs(std::fabs(p[a]) - 4.875) < 1e-9 && off < 1e-9;
            cube_faces += std::fabs(std::fabs(p[a]) - 1) < 1e-9 && off > 0.5;
        }
    }
    EXPECT_EQ(tips, 6);
    EXPECT_GE(cube_faces, 6 * 4);
    // Between the root and the tip an arm narrows to a neck and swells to a
    // ball: the widest ring beyond 3 is more than twice the narrowest before.
    double neck = 1e30, ball = 0;
    for (int32_t i = 0; i < m.vertex_count; ++i) {
        const MeshVertex &v = m.vertices[i];
        if (v.px < 1.5 || std::fabs(v.py) > 1.5 || std::fabs(v.pz) > 1.5) continue;
        const double r = std::hypot(v.py, v.pz);
        if (v.px < 3) neck = std::min(neck, r);
        else ball = std::max(ball, r);
    }
    EXPECT_GT(ball, 2 * neck);
}

// --- the generator ---------------------------------------------------------

std::string build_error(const std::string &text)
{
    try {
        std::vector<BuiltModel> none;
        for (const ModelRecipe &r : model_recipes_parse(text, "bad.txt")) build_model(r, none);
    } catch (const RecipeError &e) {
        return e.what();
    }
    return "(built)";
}

const char *const CUBE = "model cube\ntranslation 0 0 0\ncounts 0 6 8\nclosed\nlines x 0 1\nlines y 0 1\nlines z 0 1\nbox\n";

TEST(ModelGenerator, BuildsAGoodRecipe)
{
    EXPECT_EQ(build_error(std::string(CUBE) + "end\n"), "(built)");
}

TEST(ModelGenerator, RejectsMalformedRecipesWithFileAndLine)
{
    const std::string cube(CUBE);
    EXPECT_EQ(build_error(cube + "wobble 3\nend\n"), "bad.txt:9: unknown statement 'wobble'");
    EXPECT_EQ(build_error(cube), "bad.txt:1: model block has no end");
    EXPECT_EQ(build_error("model a\ntranslation 0 0 0\ncounts 0 1 4\nface +q at 0 over 0 1 0 1\nend\n"),
              "bad.txt:4: 'q' is not an axis (x, y or z)");
    EXPECT_EQ(build_error("model a\ntranslation 0 0 x\nend\n"), "bad.txt:1: model a has no counts");
    EXPECT_EQ(build_error("model a\ntranslation 0 0 0\ncounts 0 6 9\nlines x 0 1\nlines y 0 1\nlines z 0 1\nbox\nend\n"),
              "bad.txt:3: the shape has 0 triangles, 6 quads and 8 vertices");
    EXPECT_EQ(build_error("ring 1 2\n"), "bad.txt:1: statement outside a model block");
    EXPECT_EQ(build_error("model a\ntranslation 0 0 0\ncounts 0 1 4\nring 1\nend\n"),
              "bad.txt:4: unknown statement 'ring'");
    // A shape that would have to stretch to fit its bounds is a wrong recipe.
    EXPECT_EQ(build_error(cube + "bounds 0 1.5 0 1 0 1\nend\n"),
              "bad.txt:9: the shape spans 0.0000..1.0000 in x, too far from the bounds 0.0000..1.5000");
    // A single face is not a closed surface.
    EXPECT_EQ(build_error("model a\ntranslation 0 0 0\ncounts 0 1 4\nclosed\nface +z at 0 over 0 1 0 1\nend\n"),
              "bad.txt:4: the surface is not closed: edge 0-1 has only one face");
    EXPECT_EQ(build_error(cube + "extrude +y at 1 over 0.2 0.4 0.2 0.4\nring 1\nend\n"),
              "bad.txt:9: the region selects no faces");
    EXPECT_EQ(build_error(cube + "lines x 0 0.5..0.2/2\nend\n"), "bad.txt:9: grid lines must rise strictly");
}

}  // namespace
