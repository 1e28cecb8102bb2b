// Build-time mesh toolkit for the model generator (tools/modelgen): a growable
// polygon mesh of quads and triangles and the operations the model recipes are
// made of. Gridded boxes and extrusions (box modelling), lathes and swept
// tubes, Bezier spines, rounding, fitting to a box and normals.
//
// Build time only: allocates freely, never linked into the show. Every
// operation is plain arithmetic on its inputs, so a rebuild yields the same
// bytes. Faces wind counter-clockwise seen from outside.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct P3 {
    double x = 0, y = 0, z = 0;
};
inline P3 operator+(P3 a, P3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline P3 operator-(P3 a, P3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline P3 operator*(P3 a, double k) { return {a.x * k, a.y * k, a.z * k}; }
double dot(P3 a, P3 b);
P3 cross(P3 a, P3 b);
double length(P3 a);
P3 unit(P3 a);  // the zero vector stays zero
double &coord(P3 &p, int axis);
double coord(const P3 &p, int axis);
P3 axis_vector(int axis, double sign);

struct Mesh {
    std::vector<P3> pos;
    std::vector<P3> normal;  // one per vertex, filled by mesh_normals
    std::vector<std::array<int32_t, 3>> tris;
    std::vector<std::array<int32_t, 4>> quads;
    std::vector<std::array<double, 8>> quad_uv;  // (s, t) per corner; textured models only
};

int32_t mesh_vertex(Mesh &m, P3 p);
void mesh_quad(Mesh &m, int32_t a, int32_t b, int32_t c, int32_t d);
void mesh_tri(Mesh &m, int32_t a, int32_t b, int32_t c);
// Appends another mesh's vertices and faces.
void mesh_append(Mesh &m, const Mesh &part);

// Twice the area vector of a face (its normal scaled by twice its area).
P3 quad_area_vector(const Mesh &m, const std::array<int32_t, 4> &q);
P3 tri_area_vector(const Mesh &m, const std::array<int32_t, 3> &t);

// Unit vertex normals: the sum of the normals of the faces around each
// vertex, weighted by the faces' areas (thin bevels then barely bend the
// normals of the large faces beside them), or evenly (every corner of a plain
// box leans out diagonally, so each of its sides catches some light).
void mesh_normals(Mesh &m, bool even = false);
// Axis-aligned bounds of the vertices.
void mesh_bounds(const Mesh &m, P3 *lo, P3 *hi);
// Signed volume enclosed by a closed mesh (positive when faces point out).
double mesh_volume(const Mesh &m);
// Empty when every edge is shared by exactly two faces that use it in opposite
// directions; otherwise what is wrong with the first bad edge.
std::string mesh_closure_problem(const Mesh &m);

// --- box modelling ---------------------------------------------------------

// A closed box surface with its faces gridded at the given coordinates (each
// list ascending, at least two values).
void mesh_box(Mesh &m, const std::vector<double> &xs, const std::vector<double> &ys, const std::vector<double> &zs);
// Moves every vertex of a box surface [lo, hi] onto the same box with edges
// and corners rounded to radius r.
void mesh_round_box(Mesh &m, P3 lo, P3 hi, double r);

// A face direction: axis 0..2 (x, y, z) and sign +1 or -1.
struct Facing {
    int axis = 0;
    int sign = 1;
};
// Quads that face along f, lie in the plane coord(f.axis) == at and whose
// centres fall inside [a0, a1] x [b0, b1] of the two other axes (in x, y, z order).
std::vector<int32_t> mesh_select(const Mesh &m, Facing f, double at, double a0, double a1, double b0, double b1);

// One ring of an extrusion: distance from the patch along its facing, and how
// far the ring's outline is pulled in (a chamfer when positive).
struct ExtrudeRing {
    double height = 0, inset = 0;
};
// Lifts a patch of quads (one simply connected region of one face) out along
// the facing through the rings, walling its sides with one band of quads per
// ring. Keeps the surface closed. Returns an empty string or what went wrong.
std::string mesh_extrude(Mesh &m, const std::vector<int32_t> &patch, Facing f, const std::vector<ExtrudeRing> &rings);

// One ring of a sprout: distance of the ring from the origin along the axis,
// and its radius.
struct SproutRing {
    double at = 0, radius = 0;
};
// Like mesh_extrude, but every ring is a circle around the patch's centre
// (the directions of the patch outline's vertices from the centre, at the
// given radius), and the patch closes as a dome whose top is at tip_at.
std::string mesh_sprout(Mesh &m, const std::vector<int32_t> &patch, Facing f, P3 centre,
                        const std::vector<SproutRing> &rings, double tip_at);

// --- lathes, spines and tubes ----------------------------------------------

// A frame for rings around an axis: e1, e2 span the ring plane, e1 x e2 = axis.
struct RingFrame {
    P3 e1, e2, axis;
};
RingFrame ring_frame(P3 axis, P3 up_hint);

// A closed solid of revolution: one ring of `sides` vertices per profile point
// (position along the axis from base, radius; rx and ry scale the ring along
// e1 and e2), optionally closed at either end by a fan around a centre
// vertex. Ring k starts at angle phase. Returns the index of the first vertex.
struct LatheRing {
    double at = 0, radius = 0;
};
void mesh_lathe(Mesh &m, P3 base, const RingFrame &frame, int sides, double phase, const std::vector<LatheRing> &rings,
                bool cap_start, bool cap_end);

// A point on the Bezier curve with these control points, parameter 0..1.
P3 bezier(const std::vector<P3> &ctrl, double t);
// Arc-length table of a Bezier curve for lookups by distance.
struct Spine {
    std::vector<P3> ctrl;
    std::vector<double> t, s;  // parameter and distance, sampled densely
    double length = 0;
};
Spine spine_make(const std::vector<P3> &ctrl);
P3 spine_point(const Spine &sp, double dist);
P3 spine_tangent(const Spine &sp, double dist);

// A tube swept along a path: ring i of `sides` vertices around path[i] in the
// plane of frames[i], with half-sizes rx (along e1) and ry (along e2); open at
// the first ring, closed at the last by a fan to the tip point.
void mesh_tube(Mesh &m, const std::vector<P3> &path, const std::vector<RingFrame> &frames,
               const std::vector<double> &rx, const std::vector<double> &ry, int sides, double phase, P3 tip);

// --- fitting ---------------------------------------------------------------

// Maps the mesh's bounds onto [lo, hi] axis by axis (a flat axis where lo ==
// hi), hitting both ends exactly. Returns an empty string, or a complaint when
// some axis would have to stretch or shift by more than `tolerance` of its span.
std::string mesh_fit(Mesh &m, P3 lo, P3 hi, double tolerance);
// The same for one axis only.
std::string mesh_fit_axis(Mesh &m, int axis, double lo, double hi, double tolerance);
