// Fixed triangle mesh: indexed triangles with per-vertex face lists, a separate
// list of lines, unnormalized face normals and normalized smooth vertex normals.
//
// Owns the global record `tri_mesh`. Built once on the main thread during the
// start-up precalculation (the bump-mapped tunnel scene's set-up: appends, then
// trimesh_finish) and only read afterwards. No allocation.
//
// Limits (message to stderr, exit status 1):
//   "maxvertex\n"  the call that would make the vertex count 1000
//   "maxface\n"    the call that would make the face count 1600
//   "maxedge\n"    the call that would make the line count 1800
//   "maxfpv\n"     trimesh_finish, a vertex used by a seventh face
#pragma once

#include <cstdint>

#include "gfx/vec.h"

inline constexpr int32_t TRIMESH_MAX_VERTICES = 1000;  // the count may reach 999
inline constexpr int32_t TRIMESH_MAX_FACES = 1600;     // 1599
inline constexpr int32_t TRIMESH_MAX_LINES = 1800;     // 1799
inline constexpr int32_t TRIMESH_MAX_FACES_PER_VERTEX = 6;

struct TriMeshVertex {
    Vec3 position;
    Vec3 normal;  // unit after trimesh_finish; zero for a vertex no face with area uses
    int32_t faces[TRIMESH_MAX_FACES_PER_VERTEX];
    int32_t face_count;
    double s, t;  // texture coordinates
};

struct TriMeshFace {
    int32_t corners[3];
    Vec3 normal;   // (P1 - P0) x (P2 - P0): length twice the area
    int32_t flag;  // the scene's own marker
};

// A line to be drawn between two vertices.
struct TriMeshEdge {
    int32_t v[2];
};

struct TriMesh {
    int32_t vertex_count;
    int32_t face_count;
    int32_t line_count;
    TriMeshVertex vertices[TRIMESH_MAX_VERTICES - 1];
    TriMeshFace faces[TRIMESH_MAX_FACES - 1];
    TriMeshEdge lines[TRIMESH_MAX_LINES - 1];
};

extern TriMesh tri_mesh;

// Empties the mesh (all counts to 0).
void trimesh_reset();

// Appends a vertex with zero normal and no faces; returns its index.
int32_t trimesh_add_vertex(const Vec3 &position, double s, double t);
// Appends the triangle (a, b, c) with its marker; returns its index. Corners
// must be indices of vertices already added.
int32_t trimesh_add_face(int32_t a, int32_t b, int32_t c, int32_t flag);
// Appends a line between vertices a and b; returns its index.
int32_t trimesh_add_line(int32_t a, int32_t b);

// Face normals, vertex face lists (in face order) and unit vertex normals.
// Recomputes them from scratch, so a second call gives the same result.
void trimesh_finish();
