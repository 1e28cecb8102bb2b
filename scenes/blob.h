// The blob tube with the greetings (scenes/blob.cpp): the parts of the scene
// that are plain arithmetic, exposed so they can be checked without a window,
// and the mesh drawing on its own.
//
// Owns the noise lattice, its corner table and the 33^3 sample grid (global,
// zero-initialised). blob_scene_setup (scenes/scenes.h) builds the lattice
// once; blob_scene_draw refills the grid every frame. Main thread only; no
// allocation.
#pragma once

#include <cstdint>

#include "gfx/marching_cubes.h"

inline constexpr int32_t BLOB_GRID_N = 33;        // samples per axis
inline constexpr int32_t BLOB_GREETINGS = 16;     // logo slots
inline constexpr float BLOB_ISO = 0.18f;

// The periodic noise lattice R[u mod 8][v mod 16][w mod 8].
extern int8_t blob_lattice[8][16][8];
// Derived from blob_lattice: for lattice column (u, v) and cell w, the eight
// corner bytes R[u][v][w], R[u][v][w+1], R[u][v+1][w], R[u][v+1][w+1],
// R[u+1][v][w], R[u+1][v][w+1], R[u+1][v+1][w], R[u+1][v+1][w+1], indices
// wrapped, so one sample reads one 8-byte record.
extern int8_t blob_corners[8][16][8][8];
// The field, sample (a, b, c) at [(a * 33 + b) * 33 + c].
extern GridSample blob_grid[BLOB_GRID_N * BLOB_GRID_N * BLOB_GRID_N];

// Resets the shared random generator and fills the lattice: R[u][v][w] is the
// low byte of r - 128, r the first of four rand_next draws (u outermost, w
// innermost); then blob_derive_corners.
void blob_make_lattice();
// Rebuilds blob_corners from blob_lattice.
void blob_derive_corners();

// Trilinear noise at (U, V, W) in 8.8 fixed point (lattice units times 256),
// any sign: the lattice repeats every 8, 16 and 8 units. Exact integer
// arithmetic, result shifted down by 24 (towards minus infinity), so it lies
// in -128..127.
int32_t lattice_sample(int32_t u, int32_t v, int32_t w);

// The field at local time u (0.015 per second of scene time): a cylinder of
// radius 16 samples about the a axis, values (0.18 + 0.18 sin angle)(1 - r^2)
// with the angle from two octaves of noise scrolling along a; below flag set
// outside the cylinder (value 0) and wherever the value is under 0.18.
void blob_fill_field(double u);

// Centre x of greeting logo slot i (0..15) at local time u: (16 + 4i - 250u)^3,
// in units of the logo view (the screen is about 39 units wide at z = 0).
double greeting_x(int32_t slot, double u);
// Centre y of slot i: 9 sin(7 + 3i).
double greeting_y(int32_t slot);

// Draws every live quad of the subdivision mesh as two triangles from
// vertex arrays, each corner with its accumulated normal and its position.
void blob_draw_quads();
// Clears depth, draws the sunburst and the current subdivision mesh's quads,
// lit and fogged, for local time u. Reads knob3, knob4, knob5 and knob7.
void blob_mesh_draw(double u);
