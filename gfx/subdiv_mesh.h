// Subdivision mesh: polygons with full adjacency (vertex -> edges, vertex ->
// faces, edge -> faces, face -> edges) in fixed global tables, refined once per
// call by Catmull-Clark from triangles (or any polygons of up to four corners)
// into quads.
//
// Owns the global record `subdiv_mesh`. Main thread only: the blob-tube scene
// fills it every frame through polygonize_indexed (gfx/marching_cubes.h), calls
// catmull_clark_step and draws the live quads. Nothing allocates: every table is
// a zero-initialised global array, and reaching a capacity writes one fixed
// message to stderr and ends the program with status 1 (listed below).
//
// Memory: vertex records are 576 bytes (64-byte aligned), so the vertex table is
// about 58 MB of .bss; faces 40 bytes (5.6 MB), edges 24 bytes (1.9 MB). Pages
// that a frame never reaches are never touched.
//
// Edge indices are 32-bit everywhere (vertex edge lists and face edge slots):
// the edge table holds 80000 edges, more than a 16-bit slot can address.
//
// Limits and their messages (exit status 1):
//   "MAXVERTICES\n"  a vertex append that would make the vertex count 100000
//   "MAXFACES\n"     a quad append making the face count 140000
//                    (subdiv_add_triangle continues instead, see there)
//   "MAXFPV\n"       a face appended to a vertex whose face list holds 64
//   "MAXEDGES\n"     an edge created when 80000 exist
//   "MAXEPV(1)\n"    an edge created at a high endpoint already holding 32
//   "MAXEPV(2)\n"    an edge created at a low endpoint already holding 32
//   "More than two faces to an edge!\n"  a third face on one edge
#pragma once

#include <cstdint>

#include "gfx/vec.h"

inline constexpr int32_t SUBDIV_MAX_VERTICES = 100000;  // the count may reach 99999
inline constexpr int32_t SUBDIV_MAX_FACES = 140000;     // the count may reach 139999
inline constexpr int32_t SUBDIV_MAX_EDGES = 80000;
inline constexpr int32_t SUBDIV_MAX_EDGES_PER_END = 32;  // per list: high, low
inline constexpr int32_t SUBDIV_MAX_FACES_PER_VERTEX = 64;

// A mesh vertex. The counts and the head of the face list share the first
// cache line with the position, so the many vertices that only ever get a
// position and a couple of faces (face and edge points) cost one line each.
struct alignas(64) SubdivVertex {
    Vec3f position;
    Vec3f normal;            // unnormalized sum of the normals of the live faces around it
    uint16_t edge_hi_count;  // entries used in edges_hi
    uint16_t edge_lo_count;  // entries used in edges_lo
    uint16_t face_count;     // entries used in faces
    uint16_t pad;
    int32_t faces[SUBDIV_MAX_FACES_PER_VERTEX];     // faces using this vertex, in append order
    int32_t edges_hi[SUBDIV_MAX_EDGES_PER_END];     // edges whose larger endpoint is this vertex
    int32_t edges_lo[SUBDIV_MAX_EDGES_PER_END];     // edges whose smaller endpoint is this vertex
};
static_assert(sizeof(SubdivVertex) == 576);

struct SubdivFace {
    uint16_t corner_count;  // 3 triangle, 4 quad, 0 no longer part of the mesh
    uint16_t pad;
    int32_t corners[4];  // vertex indices in winding order; the first corner_count used
    int32_t face_point;  // vertex index of the face point (set by catmull_clark_step)
    int32_t edges[4];    // slot k: edge from corner k to corner (k + 1) mod corner_count
};
static_assert(sizeof(SubdivFace) == 40);

struct SubdivEdge {
    uint16_t face_count;  // 0, 1 or 2
    uint16_t pad;
    int32_t hi;  // larger endpoint index
    int32_t lo;  // smaller endpoint index
    int32_t faces[2];
    int32_t edge_point;  // vertex index of the edge point (set by catmull_clark_step)
};
static_assert(sizeof(SubdivEdge) == 24);

struct SubdivMesh {
    int32_t vertex_count;
    int32_t face_count;
    int32_t edge_count;
    SubdivVertex vertices[SUBDIV_MAX_VERTICES];
    SubdivFace faces[SUBDIV_MAX_FACES];  // the last slot is scratch for subdiv_add_triangle
    SubdivEdge edges[SUBDIV_MAX_EDGES];
};

extern SubdivMesh subdiv_mesh;

// Empties the mesh: vertex, face and edge counts to 0.
void subdiv_reset();

// Appends a vertex at p with a zero normal, zero edge counts and zero face count
// and returns its index. "MAXVERTICES\n" when the count would reach 100000.
int32_t subdiv_add_vertex(const Vec3f &p);

// Appends face f to vertex v's face list; "MAXFPV\n" when it already holds 64.
void subdiv_add_face_to_vertex(int32_t v, int32_t f);

// Appends the triangle (a, b, c), winding in that order, and adds its index to
// the face lists of a, b and c. When the face count reaches 140000 it prints
// "MAXFACES\n", steps the count back by one and carries on: the triangle stays
// in the scratch slot past the count (the next one overwrites it) and its index
// is taken off the three face lists again, so no list names an uncounted face.
// Returns the slot written.
int32_t subdiv_add_triangle(int32_t a, int32_t b, int32_t c);

// Builds the edge table from nothing and the vertex/face/edge adjacency of every
// live face (corner count > 0), in face order. The edge lists of the corners of
// live faces are emptied first, so calling it again rebuilds the same table.
void link_edges();

// One Catmull-Clark refinement of every live face: appends a face point per live
// face and an edge point per edge, moves each old vertex to
// (F + 2R + (m - 3) P) / m (m its edge count, R the mean edge midpoint, F the
// mean face point of its live faces), replaces each live n-gon by n quads that
// keep its winding (the n-gon's corner count becomes 0, its slot stays) and ends
// with accumulate_normals. Old vertices start the step with zero edge counts and
// zero normals. A vertex with no edges or no live faces keeps its position.
void catmull_clark_step();

// Adds (P1 - P0) x (P2 - P0) of every live face, from its first three corners,
// to the normal of each of its corners. Normals are not normalized.
void accumulate_normals();
