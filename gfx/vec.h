// 3-vector arithmetic and the 2-D rotation shared by the scenes and the mesh
// library. Plain structs of three components in x, y, z order; no state, no
// allocation, callable from any thread (the mesh code runs it on the main thread).
#pragma once

struct Vec3 {
    double x, y, z;
};
static_assert(sizeof(Vec3) == 24);

// Single-precision variant, used by the subdivision mesh.
struct Vec3f {
    float x, y, z;
};
static_assert(sizeof(Vec3f) == 12);

double vec_dot(const Vec3 &a, const Vec3 &b);
// out = a x b. out may alias a or b.
void vec_cross(Vec3 *out, const Vec3 &a, const Vec3 &b);
void vec_cross_f(Vec3f *out, const Vec3f &a, const Vec3f &b);
// Scales v to unit length. No guard for the zero vector: callers pass non-zero vectors.
void vec_normalize(Vec3 *v);

// Rotates the pair (a, b) in place by angle radians:
// a' = a cos - b sin, b' = a sin + b cos, both from the old values.
void rotate_pair(double *a, double *b, double angle);
