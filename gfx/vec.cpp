// 3-vector arithmetic and the 2-D rotation.
#include "gfx/vec.h"

#include <cmath>

double vec_dot(const Vec3 &a, const Vec3 &b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

void vec_cross(Vec3 *out, const Vec3 &a, const Vec3 &b)
{
    const Vec3 r = {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    *out = r;
}

void vec_cross_f(Vec3f *out, const Vec3f &a, const Vec3f &b)
{
    const Vec3f r = {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    *out = r;
}

void vec_normalize(Vec3 *v)
{
    const double inv = 1.0 / std::sqrt(v->x * v->x + v->y * v->y + v->z * v->z);
    v->x *= inv;
    v->y *= inv;
    v->z *= inv;
}

void rotate_pair(double *a, double *b, double angle)
{
    const double c = std::cos(angle), s = std::sin(angle);
    const double a0 = *a, b0 = *b;
    *a = a0 * c - b0 * s;
    *b = a0 * s + b0 * c;
}
