// The embedded static models: counts, placements and bounds against the room
// layout, closed surfaces that face out, the table's fixed indices, the jack
// and the tree; and the generator's refusal of malformed recipes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>

#include "gfx/image_store.h"
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
    {MODEL_PROJECTOR_BODY, "projector_body", 0, 2664, 2666, {0, 0, 0}, {-2.565, -0.152, -1.25}, {1.857, 3.452, 1.05}},
    {MODEL_REEL_ARM_REAR, "reel_arm_rear", 0, 736, 738, {-4.587, 4.647, -0.227}, {0.725, -1.88, 0.237}, {2.79, 0.739, 0.429}},
    {MODEL_REEL_ARM_FRONT, "reel_arm_front", 0, 736, 738, {0.04, 5.746, -0.227}, {0.508, -3.14, 0.237}, {1.36, -0.057, 0.429}},
    {MODEL_ROLLER_SMALL, "roller_small", 32, 16, 34, {-0.292, 2.6, -0.369}, {-0.05, -0.042, 0.346}, {0.05, 0.059, 0.817}},
    {MODEL_ROLLER_LARGE, "roller_large", 32, 16, 34, {1.212, 2.379, -0.369}, {-0.171, -0.142, 0.346}, {0.171, 0.2, 0.817}},
    {MODEL_LENS_BARREL, "lens_barrel", 64, 64, 98, {1.32, 1.51, 0.339}, {0.042, -0.204, -0.277}, {0.251, 0.351, 0.277}},
    {MODEL_BRACKET, "bracket", 0, 168, 170, {1.212, 2.227, -0.369}, {-2.67, 0.978, -0.032}, {-0.902, 1.78, 0.238}},
    {MODEL_FILM_STRIP_LOWER, "film_strip_lower", 0, 1, 4, {1.212, 2.379, -0.369}, {-5.5, -1.81, 0.625}, {-3.77, 2.4, 0.785}},
    {MODEL_FILM_STRIP_UPPER, "film_strip_upper", 0, 6, 14, {1.212, 2.379, -0.369}, {-1.57, -0.152, 0.629}, {1.39, 2.06, 0.789}},
    {MODEL_TABLE, "table", 8, 90, 96, {0.763, 2.754, 0.985}, {-3.91, -8.45, -3.88}, {1.66, -2.89, 1.68}},
    {MODEL_CURTAIN_1, "curtain_1", 0, 160, 243, {-13.186, 2.754, -21.566}, {-1.81, -8.67, 8.58}, {0.122, 11.6, 35.7}},
    {MODEL_CURTAIN_2, "curtain_2", 0, 160, 243, {-24.169, 2.754, 12.168}, {8.58, -8.67, -0.122}, {35.7, 11.6, 1.81}},
    {MODEL_CURTAIN_3, "curtain_3", 0, 160, 243, {0.679, 2.754, 12.268}, {8.58, -8.67, -0.122}, {35.7, 11.6, 1.81}},
    {MODEL_CURTAIN_4, "curtain_4", 0, 160, 243, {34.005, 2.754, 22.709}, {-0.122, -8.67, -35.7}, {1.81, 11.6, -8.58}},
    {MODEL_CURTAIN_5, "curtain_5", 0, 160, 243, {45.143, 2.754, -10.165}, {-35.7, -8.67, -1.81}, {-8.58, 11.6, 0.122}},
    {MODEL_CURTAIN_6, "curtain_6", 0, 160, 243, {19.792, 2.754, -10.165}, {-35.7, -8.67, -1.81}, {-8.58, 11.6, 0.122}},
    {MODEL_SCREEN_BORDER, "screen_border", 0, 1, 4, {9.481, -2.06, -1.092}, {20.8, -0.989, -5.78}, {20.8, 9.66, 8.42}},
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
    for (ModelId id : {MODEL_PROJECTOR_BODY, MODEL_REEL_ARM_REAR, MODEL_REEL_ARM_FRONT, MODEL_ROLLER_SMALL,
                       MODEL_ROLLER_LARGE, MODEL_LENS_BARREL, MODEL_BRACKET, MODEL_JACK})
        expect_closed_solid(id);
}

TEST(Models, TableKeepsItsFixedIndices)
{
    const StaticModel &m = static_model(MODEL_TABLE);
    const int32_t first[9] = {72, 73, 74, 75, 77, 76, 78, 80, 79};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(m.tris[i], first[i]) << i;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(m.quads[i], i);
    // The eight triangles own vertices 72..95, one each; the quads use the rest.
    std::vector<int> uses(96);
    for (int i = 0; i < 3 * m.tri_count; ++i) ++uses[m.tris[i]];
    for (int v = 0; v < 96; ++v) EXPECT_EQ(uses[v], v >= 72 ? 1 : 0) << v;
    for (int i = 0; i < 4 * m.quad_count; ++i) EXPECT_LT(m.quads[i], 72);
}

// Room coordinates of model vertex i.
Vec3 world(const StaticModel &m, int32_t i)
{
    return {m.vertices[i].px + m.translation.x, m.vertices[i].py + m.translation.y, m.vertices[i].pz + m.translation.z};
}

TEST(Models, PartsMeetInTheRoom)
{
    // The body stands on the table top with its feet just sunk in.
    double body_bottom = 1e30, table_top = -1e30;
    const StaticModel &body = static_model(MODEL_PROJECTOR_BODY), &table = static_model(MODEL_TABLE);
    for (int32_t i = 0; i < body.vertex_count; ++i) body_bottom = std::min(body_bottom, world(body, i).y);
    for (int32_t i = 0; i < table.vertex_count; ++i) table_top = std::max(table_top, world(table, i).y);
    EXPECT_NEAR(body_bottom, table_top, 0.02);
    // Each reel arm's upper end is rounded round its reel's hub: beyond the
    // hub, seen along the arm, its outline stays about 0.29 from the hub.
    const struct {
        ModelId id;
        double hub_x, hub_y;
    } arms[2] = {{MODEL_REEL_ARM_REAR, -3.574, 5.092}, {MODEL_REEL_ARM_FRONT, 1.086, 5.408}};
    for (const auto &a : arms) {
        const StaticModel &m = static_model(a.id);
        double cx = 0, cy = 0;
        for (int32_t i = 0; i < m.vertex_count; ++i) {
            cx += world(m, i).x / m.vertex_count;
            cy += world(m, i).y / m.vertex_count;
        }
        const double along = std::hypot(a.hub_x - cx, a.hub_y - cy), ux = (a.hub_x - cx) / along,
                     uy = (a.hub_y - cy) / along;
        double reach = 0;
        for (int32_t i = 0; i < m.vertex_count; ++i) {
            const Vec3 p = world(m, i);
            if ((p.x - a.hub_x) * ux + (p.y - a.hub_y) * uy > 0)
                reach = std::max(reach, std::hypot(p.x - a.hub_x, p.y - a.hub_y));
        }
        EXPECT_NEAR(reach, 0.29, 0.04) << m.name;
    }
    // The lens barrel's axis runs through the lens glow along x.
    const StaticModel &lens = static_model(MODEL_LENS_BARREL);
    double lo[3] = {1e30, 1e30, 1e30}, hi[3] = {-1e30, -1e30, -1e30};
    for (int32_t i = 0; i < lens.vertex_count; ++i) {
        const Vec3 p = world(lens, i);
        const double c[3] = {p.x, p.y, p.z};
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], c[k]);
            hi[k] = std::max(hi[k], c[k]);
        }
    }
    EXPECT_NEAR((lo[1] + hi[1]) / 2, 1.58, 0.01);
    EXPECT_NEAR((lo[2] + hi[2]) / 2, 0.339, 0.001);
    EXPECT_TRUE(lo[0] < 1.56 && 1.56 < hi[0]);
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

TEST(Models, TreeIsAFirNarrowingToItsTip)
{
    const StaticModel &m = static_model(MODEL_TREE);
    EXPECT_STREQ(m.name, "tree");
    EXPECT_EQ(m.tri_count, 1943);
    EXPECT_EQ(m.quad_count, 8843);
    EXPECT_EQ(m.vertex_count, 11346);
    const double pi = std::acos(-1.0);
    // It stands on the ground with its trunk on the z axis, about 3.14 tall
    // and reaching about 1.45 along x and y.
    double lo[3] = {1e30, 1e30, 1e30}, hi[3] = {-1e30, -1e30, -1e30}, tip = 0;
    // The widest reach in each half-unit band of height shrinks towards the
    // top, from the lowest tiers' full spread to a narrow crown.
    double reach[6] = {};
    int far_off_tier_lines = 0;
    for (int32_t i = 0; i < m.vertex_count; ++i) {
        const MeshVertex &v = m.vertices[i];
        const double p[3] = {v.px, v.py, v.pz}, r = std::hypot(v.px, v.py);
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], p[a]);
            hi[a] = std::max(hi[a], p[a]);
        }
        const int band = int(v.pz / 0.5);
        if (band < 6) reach[band] = std::max(reach[band], r);
        if (r < 1e-9) tip = std::max(tip, v.pz);
        // Limbs grow in four directions per tier, the tiers turned by 45
        // degrees in turn: the far reaches lie along eight lines.
        if (r > 1.1) {
            const double a = std::atan2(v.py, v.px) / (pi / 4);
            far_off_tier_lines += std::fabs(a - std::round(a)) > 0.35;
        }
    }
    EXPECT_EQ(lo[2], 0);
    EXPECT_EQ(hi[2], 3.14);
    EXPECT_EQ(tip, 3.14);
    for (int a = 0; a < 2; ++a) {
        EXPECT_NEAR(lo[a], -1.45, 0.06);
        EXPECT_NEAR(hi[a], 1.45, 0.06);
    }
    for (int b = 2; b < 6; ++b) EXPECT_LT(reach[b], reach[b - 1] + 0.05) << "band " << b;
    EXPECT_GT(reach[1], 1.2);
    EXPECT_LT(reach[5], 0.5 * reach[1]);
    EXPECT_EQ(far_off_tier_lines, 0);
}

// The colour of the projector's skin at a point of the body's surface that
// faces +z or -z at depth z: the point's texture coordinates interpolated
// across the flat, axis-aligned quad that holds it, looked up in proj_texture.
void skin_at(double x, double y, double z, int facing, uint8_t rgb[3])
{
    const StaticModel &m = static_model(MODEL_PROJECTOR_BODY);
    const uint8_t *pixels;
    int32_t w, h, stride;
    ASSERT_EQ(builtin_image_lookup(&pixels, &w, &h, &stride, "proj_texture"), 0);
    for (int32_t q = 0; q < m.quad_count; ++q) {
        const int32_t *c = m.quads + 4 * q;
        if (face_area(m, 4, c).z * facing <= 0) continue;
        double x0 = 1e30, x1 = -1e30, y0 = 1e30, y1 = -1e30, zmin = 1e30, zmax = -1e30;
        for (int k = 0; k < 4; ++k) {
            const MeshVertex &v = m.vertices[c[k]];
            x0 = std::min(x0, v.px), x1 = std::max(x1, v.px), y0 = std::min(y0, v.py), y1 = std::max(y1, v.py);
            zmin = std::min(zmin, v.pz), zmax = std::max(zmax, v.pz);
        }
        if (zmax - zmin > 1e-9 || std::fabs(zmin - z) > 1e-9 || x < x0 || x > x1 || y < y0 || y > y1) continue;
        double s = 0, t = 0;
        for (int k = 0; k < 4; ++k) {
            const MeshVertex &v = m.vertices[c[k]];
            const double wx = v.px == x0 ? (x1 - x) / (x1 - x0) : (x - x0) / (x1 - x0);
            const double wy = v.py == y0 ? (y1 - y) / (y1 - y0) : (y - y0) / (y1 - y0);
            s += wx * wy * m.quad_texcoords[8 * q + 2 * k];
            t += wx * wy * m.quad_texcoords[8 * q + 2 * k + 1];
        }
        ASSERT_TRUE(s >= 0 && s <= 1 && t >= 0 && t <= 1);
        const uint8_t *p = pixels + int(t * h) * stride + int(s * w) * 3;  // stored rows: texture row 0 first
        for (int k = 0; k < 3; ++k) rgb[k] = p[k];
        return;
    }
    FAIL() << "no quad holds (" << x << ", " << y << ", " << z << ")";
}

TEST(Models, ProjectorSkinPanelsLandOnTheirFaces)
{
    uint8_t c[3];
    // The dial on the plinth's front: its cream face, the red lamp at its
    // upper right (where a mirrored or upside-down skin would show the bezel
    // or the yellow lamp), and the brass name plate to its left.
    skin_at(0.846, 0.275, 1.05, 1, c);
    EXPECT_TRUE(c[0] > 200 && c[1] > 200 && c[2] > 170) << int(c[0]) << " " << int(c[1]) << " " << int(c[2]);
    skin_at(1.05, 0.51, 1.05, 1, c);
    EXPECT_TRUE(c[0] > 180 && c[1] < 100 && c[2] < 100) << int(c[0]) << " " << int(c[1]) << " " << int(c[2]);
    skin_at(-1.19, 0.398, 1.05, 1, c);
    EXPECT_TRUE(c[0] > 180 && c[1] > 130 && c[2] < 110) << int(c[0]) << " " << int(c[1]) << " " << int(c[2]);
    // The painted green housing on both big sides of the mechanism.
    for (double z : {0.0, -0.95}) {
        skin_at(0.2, 1.0, z, z == 0 ? 1 : -1, c);
        EXPECT_TRUE(c[1] > c[0] + 20 && c[1] > c[2]) << z << ": " << int(c[0]) << " " << int(c[1]) << " " << int(c[2]);
    }
    // The grey grille high on the lamp house.
    skin_at(-2.0, 2.5, 0.0, 1, c);
    EXPECT_TRUE(std::abs(c[0] - c[1]) < 16 && c[0] < 100) << int(c[0]) << " " << int(c[1]) << " " << int(c[2]);
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
