// Marching-cubes polygonizer: extracts the iso-surface of a scalar field
// sampled on an N x N x N grid, with exactly one vertex per crossed grid edge.
//
// Two storage forms share the case table and the cell/edge bookkeeping:
//  - polygonize_indexed (single precision) appends vertices and triangles to
//    the subdivision mesh (gfx/subdiv_mesh.h), ready for catmull_clark_step;
//  - polygonize_direct (double precision) keeps each vertex in its edge-cache
//    slot and emits triangles as triples of slot references, with smooth unit
//    normals.
// Owns the edge caches of both forms and the direct form's triangle table, all
// global; the grid belongs to the caller. Main thread only, rebuilt from
// nothing on every call, no allocation.
//
// Grid: sample (a, b, c) is grid[(a * N + b) * N + c], a the slowest index; its
// world position is (origin.x + a step.x, origin.y + b step.y, origin.z + c step.z).
// The cell (a, b, c) is the cube whose lowest corner is sample (a, b, c). Its
// corners, bit i of the cube code being the below flag of corner i:
//   0 (a, b, c+1)   1 (a+1, b, c+1)   2 (a+1, b, c)   3 (a, b, c)
//   4 (a, b+1, c+1) 5 (a+1, b+1, c+1) 6 (a+1, b+1, c) 7 (a, b+1, c)
// Edges: 0: 0-1, 1: 1-2, 2: 2-3, 3: 3-0, 4: 4-5, 5: 5-6, 6: 6-7, 7: 7-4,
// 8: 0-4, 9: 1-5, 10: 2-6, 11: 3-7.
//
// Each cell owns the three grid edges leaving its corner 3: slot 0 the +a edge
// (to corner 2), slot 1 the +b edge (to corner 7), slot 2 the +c edge (to
// corner 0). Every cell gets its vertices; only cells up to N - 3 along every
// axis get triangles, because some edges of the last layer belong to cells
// outside the cache.
//
// Winding: each triangle's counter-clockwise side, and its normal
// (P1 - P0) x (P2 - P0), face the below-level side. Fields that are high
// inside therefore get outward front faces.
//
// Limits: the indexed form obeys the subdivision mesh's limits ("MAXVERTICES\n",
// "MAXFPV\n" end the program; "MAXFACES\n" is printed per triangle beyond 139999
// and the pass continues). The direct form prints "MAXFACES\n" per triangle
// beyond 7999 and continues, the extra ones overwriting the last slot. A grid
// larger than its cache (N > 33 indexed, N > 21 direct) prints "MAXGRID\n" and
// ends the program with status 1.
#pragma once

#include <cstdint>

#include "gfx/vec.h"

// Largest grids the caches hold (samples per axis): the tube scene's 33 for the
// indexed form, the metaball scene's 21 for the direct form.
inline constexpr int32_t MC_MAX_GRID_N = 33;
inline constexpr int32_t MC_DIRECT_MAX_GRID_N = 21;
inline constexpr int32_t MC_MAX_CELLS = (MC_MAX_GRID_N - 1) * (MC_MAX_GRID_N - 1) * (MC_MAX_GRID_N - 1);
inline constexpr int32_t MC_DIRECT_MAX_CELLS =
    (MC_DIRECT_MAX_GRID_N - 1) * (MC_DIRECT_MAX_GRID_N - 1) * (MC_DIRECT_MAX_GRID_N - 1);
inline constexpr int32_t MC_DIRECT_MAX_TRIANGLES = 8000;  // the count may reach 7999

// One grid sample, single precision (indexed form).
struct GridSample {
    float value;
    uint8_t below;      // 1: below the iso level (the caller may also force it)
    uint8_t cube_code;  // written by the polygonizer for the cell based here
};
static_assert(sizeof(GridSample) == 8);

// One grid sample, double precision (direct form).
struct GridSampleD {
    double value;
    uint8_t below;
    uint8_t cube_code;
};
static_assert(sizeof(GridSampleD) == 16);

// Indexed form: the vertex made on one owned edge.
struct EdgeVertexSlot {
    uint8_t flag;    // 1 once a vertex exists on this edge in the current call
    int32_t vertex;  // index in subdiv_mesh.vertices
    float t;         // position along the edge, 0 at the owning sample
};
static_assert(sizeof(EdgeVertexSlot) == 12);

// Slot s of cell (a, b, c) is slots[((a * (N-1) + b) * (N-1) + c) * 3 + s]; that
// flat index is also what the direct form's triangles refer to.
struct EdgeCache {
    EdgeVertexSlot slots[MC_MAX_CELLS * 3];
};

// Direct form: the vertex itself lives in the slot.
struct EdgeVertexSlotD {
    uint8_t flag;
    double t;
    Vec3 position;
    Vec3 normal;  // unit length after polygonize_direct (zero if no triangle with area uses it)
};
static_assert(sizeof(EdgeVertexSlotD) == 64);

struct EdgeCacheD {
    EdgeVertexSlotD slots[MC_DIRECT_MAX_CELLS * 3];
};

// Direct form output: triangles as references to slots of mc_direct_cache.
struct DirectTriangles {
    int32_t count;
    int32_t tri[MC_DIRECT_MAX_TRIANGLES][3];  // the last row is scratch for overflow
};

extern EdgeCache mc_edge_cache;
extern EdgeCacheD mc_direct_cache;
extern DirectTriangles mc_direct_triangles;

// 256 cube codes x up to five triangles of edge numbers, each row ended and
// padded with -1.
extern const int8_t mc_triangle_table[256][16];

// Resets the subdivision mesh's vertex and face counts and fills it with the
// surface of grid (N^3 samples, N <= 33): vertices numbered in cell order, slot
// 0 before 1 before 2; triangles (corner count 3) whose indices are in their
// corners' face lists. Edges are not built.
void polygonize_indexed(GridSample *grid, int32_t n, float iso, const Vec3f &origin, const Vec3f &step);

// Clears the direct cache and triangle table and fills them with the surface of
// grid (N^3 samples, N <= 21), normals summed from the triangles and normalized.
void polygonize_direct(GridSampleD *grid, int32_t n, double iso, const Vec3 &origin, const Vec3 &step);
