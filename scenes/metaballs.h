// Fur metaballs: the scene's arithmetic that needs no GL — the field of the
// three balls, its sampling onto the grid, the fin rule and the dot shell —
// so tests can check it without a window. metaball_scene_setup and
// metaball_scene_draw are declared in scenes/scenes.h; the technique is
// described in scenes/metaballs.cpp.
//
// Main thread only. Nothing allocates.
#pragma once

#include <cstdint>

#include "gfx/marching_cubes.h"
#include "gfx/vec.h"

inline constexpr int32_t METABALL_GRID_N = 21;      // samples per axis
inline constexpr double METABALL_STEP = 1.1;        // world units between samples
inline constexpr double METABALL_ISO = 0.18;        // below it a sample is outside
inline constexpr double METABALL_STRENGTH = 1.4;    // each ball adds strength / distance^2
inline constexpr int32_t METABALL_DOT_QUADS = 140 * 40;
inline constexpr int32_t METABALL_DOT_TEX_SIZE = 64;
static_assert(METABALL_GRID_N <= MC_DIRECT_MAX_GRID_N);

// Centres of the three balls at time t, in the frame that turns with the
// balls (the grid's samples are turned by -4t into it).
void metaball_centres(double t, Vec3 centre[3]);

// Field at p in the balls' frame: the sum of strength / distance^2. Infinite
// on a centre.
double metaball_value(const Vec3 &p, const Vec3 centre[3]);

// Sets one sample from p: its value, and below = 1 when the value is under the
// iso level (an infinite value, on a centre, counts as inside).
void metaball_sample(GridSampleD *sample, const Vec3 &p, const Vec3 centre[3]);

// Fills the 21^3 grid for time t, sample (i, j, k) at 1.1 (i - 10, j - 10,
// k - 10) turned about y by -4t, i the slowest index as polygonize_direct
// expects.
void metaball_sample_field(GridSampleD *grid, double t);

// Opacity of the fin along an edge with unit normals n0 and n1 seen along
// `view` (unit): 2x - 1 with x = 1 - |normalize(n0 + n1) . view|. The fin is
// drawn only where this is positive: opaque where the edge's normal is
// perpendicular to the view, gone within 60 degrees of it.
double fin_alpha(const Vec3 &n0, const Vec3 &n1, const Vec3 &view);

// One glowing dot of the shell around the camera.
struct DotQuad {
    Vec3 centre;
    double half;  // half-size, 1..3
};

// Fills out[0 .. METABALL_DOT_QUADS - 1] with the dot shell at time t, in
// drawing order, and returns the count.
int32_t metaball_dot_shell(double t, DotQuad *out);

// The dot texture's texel (x, y): a cone from 255 at (32, 32) to 0 at radius 32.
uint8_t metaball_dot_texel(int32_t x, int32_t y);
