// The blob tube's arithmetic without a window: the noise lattice and its
// fixed-point sampling against values worked by hand, the field's shape, the
// mesh sizes over every stretch the show plays it, and the logos' timing.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "gfx/subdiv_mesh.h"
#include "scenes/blob.h"

namespace {

// A lattice that is zero everywhere except the given values.
void set_lattice(std::initializer_list<std::pair<std::array<int, 3>, int8_t>> cells)
{
    std::memset(blob_lattice, 0, sizeof blob_lattice);
    for (const auto &[at, value] : cells) blob_lattice[at[0]][at[1]][at[2]] = value;
    blob_derive_corners();
}

} // namespace

TEST(BlobLattice, FirstBytesComeFromEveryFourthDraw)
{
    // The draws after a reset are 767, 42242, 8327, 22929, 21744, ...: the
    // first and the fifth make R[0][0][0] and R[0][0][1].
    blob_make_lattice();
    EXPECT_EQ(blob_lattice[0][0][0], int8_t(0x7F));  // 767 - 128 = 0x27F
    EXPECT_EQ(blob_lattice[0][0][1], int8_t(0x70));  // 21744 - 128 = 0x5470
    // At whole lattice points the sample is the byte itself, wrapping included.
    EXPECT_EQ(lattice_sample(0, 0, 0), 127);
    EXPECT_EQ(lattice_sample(0, 0, 256), 112);
    EXPECT_EQ(lattice_sample(-2048, 4096, 2048 + 256), 112);
}

TEST(BlobLattice, TrilinearSamplesWorkedByHand)
{
    // One corner of 100 seen from the middle of its cell: 100 / 8 = 12.5,
    // shifted down to 12; -100 gives -12.5, shifted down to -13.
    set_lattice({{{0, 0, 0}, 100}});
    EXPECT_EQ(lattice_sample(128, 128, 128), 12);
    set_lattice({{{0, 0, 0}, -100}});
    EXPECT_EQ(lattice_sample(128, 128, 128), -13);

    // Along w alone: 64 -> -64 at fraction 64/256 is 32.
    set_lattice({{{3, 5, 6}, 64}, {{3, 5, 7}, -64}});
    EXPECT_EQ(lattice_sample(3 * 256, 5 * 256, 6 * 256 + 64), 32);
    // The cell past the last one wraps to 0 on each axis: (7, 15, 7) to (0, 0, 0).
    set_lattice({{{0, 0, 0}, 80}});
    EXPECT_EQ(lattice_sample(7 * 256 + 128, 15 * 256 + 255, 7 * 256 + 255), 39);  // 80 * 0.5 * 255/256 * 255/256 = 39.7
    EXPECT_EQ(lattice_sample(-128, -1, -1), 39);
}

TEST(BlobLattice, LastProductPassesThirtyTwoBits)
{
    // u = 0 face at -128, u = 1 face at 127, fu = 255: (m1 - m0) * fu is
    // 16711680 * 255 = 4261478400, beyond 32 bits; the result is
    // -128 + 255 * 255/256 = 126.004, so 126.
    std::memset(blob_lattice, 0, sizeof blob_lattice);
    for (auto &column : blob_lattice[0])
        for (int8_t &r : column) r = -128;
    for (auto &column : blob_lattice[1])
        for (int8_t &r : column) r = 127;
    blob_derive_corners();
    EXPECT_EQ(lattice_sample(255, 77, 300), 126);
    EXPECT_EQ(lattice_sample(0, 77, 300), -128);
    EXPECT_EQ(lattice_sample(256, 77, 300), 127);
    // Going down from 127 to -128 across u = 1..2 with fu = 1: 127 - 255/256 = 126.004.
    for (auto &column : blob_lattice[2])
        for (int8_t &r : column) r = -128;
    blob_derive_corners();
    EXPECT_EQ(lattice_sample(257, 1000, 9), 126);
}

TEST(BlobField, CylinderHolesAndAHandWorkedSample)
{
    // With the lattice a constant 16, n1 = n2 = 16 everywhere: angle = 96 * 2 pi
    // / 256 = 3 pi / 4, so the value on the axis is 0.18 (1 + sin 135 deg) =
    // 0.30728 and the surface sits where (1 - r^2) = 0.18 / 0.30728, r^2 = 0.4142.
    blob_make_lattice();  // also builds the table of sines
    std::memset(blob_lattice, 16, sizeof blob_lattice);
    blob_derive_corners();
    blob_fill_field(0.37);
    const double axis = 0.18 * (1.0 + std::sqrt(0.5));
    const GridSample &centre = blob_grid[(5 * 33 + 16) * 33 + 16];
    EXPECT_NEAR(centre.value, axis, 1e-6);
    EXPECT_EQ(centre.below, 0);
    // b - 16 = 10, c - 16 = 0: r^2 = 100/256 = 0.39 < 0.414, above; 11: 0.47, below.
    EXPECT_EQ(blob_grid[(5 * 33 + 26) * 33 + 16].below, 0);
    EXPECT_EQ(blob_grid[(5 * 33 + 27) * 33 + 16].below, 1);

    // The real lattice: outside the cylinder every sample is below with value 0,
    // inside, every sample whose noise angle has a negative sine is below.
    blob_make_lattice();
    const double u = 1.234;
    blob_fill_field(u);
    const int32_t s = int32_t(50.0 * u * 512.0);
    int inside = 0, holes = 0, solid = 0;
    for (int a = 0; a < 33; ++a)
        for (int b = 0; b < 33; ++b)
            for (int c = 0; c < 33; ++c) {
                const GridSample &g = blob_grid[(a * 33 + b) * 33 + c];
                const int d2 = (b - 16) * (b - 16) + (c - 16) * (c - 16);
                if (d2 >= 256) {
                    ASSERT_EQ(g.below, 1);
                    ASSERT_EQ(g.value, 0.0f);
                    continue;
                }
                ++inside;
                const int32_t q = 1536 - 48 * a;
                const int k = 4 * lattice_sample((q >> 2) + (s >> 5), 8 * b, 8 * c) +
                              2 * lattice_sample((q >> 1) + s, 16 * b, 16 * c);
                if (std::sin(k * M_PI / 128.0) < 0.0) {
                    ASSERT_EQ(g.below, 1) << a << " " << b << " " << c;
                    ++holes;
                }
                solid += g.below == 0;
            }
    EXPECT_EQ(inside, 33 * 793);  // lattice points strictly inside radius 16
    EXPECT_GT(holes, inside / 10);
    EXPECT_GT(solid, inside / 10);
}

TEST(BlobField, MeshStaysWithinItsTablesOverTheShow)
{
    // The scene plays at scene times -14.3..21.7 (orders 64-79) and, in the
    // forest's cut-aways, 250..260. Any limit would end the test with its
    // message; the counts must also leave room.
    blob_make_lattice();
    int32_t most_faces = 0, most_vertices = 0, fewest_quads = 1 << 30;
    for (double t = -14.5; t < 262.0; t += (t < 22.0 || t > 249.0) ? 0.37 : 20.0) {
        blob_fill_field(0.015 * t);
        polygonize_indexed(blob_grid, BLOB_GRID_N, BLOB_ISO, {-24.0f, -16.0f, -16.0f}, {1.5f, 1.0f, 1.0f});
        const int32_t triangles = subdiv_mesh.face_count;
        catmull_clark_step();
        most_faces = std::max(most_faces, subdiv_mesh.face_count);
        most_vertices = std::max(most_vertices, subdiv_mesh.vertex_count);
        fewest_quads = std::min(fewest_quads, 3 * triangles);
        EXPECT_EQ(subdiv_mesh.face_count, 4 * triangles);
    }
    EXPECT_LT(most_faces, SUBDIV_MAX_FACES / 2);
    EXPECT_LT(most_vertices, SUBDIV_MAX_VERTICES / 2);
    EXPECT_LT(subdiv_mesh.edge_count, SUBDIV_MAX_EDGES / 2);
    EXPECT_GT(fewest_quads, 3000);  // never an empty frame
}

TEST(BlobGreetings, SlotsCrossTheCentreOneAfterAnother)
{
    // At u = 0 every logo is far to the right: slot 0 at 16^3.
    EXPECT_DOUBLE_EQ(greeting_x(0, 0.0), 4096.0);
    for (int i = 0; i < BLOB_GREETINGS; ++i) {
        EXPECT_GT(greeting_x(i, 0.0), 4000.0);
        const double cross = 0.064 + 0.016 * i;
        EXPECT_NEAR(greeting_x(i, cross), 0.0, 1e-9) << i;
        EXPECT_GT(greeting_x(i, cross - 0.001), 0.0);
        EXPECT_LT(greeting_x(i, cross + 0.001), 0.0);
    }
}
