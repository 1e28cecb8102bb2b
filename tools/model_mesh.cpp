// Mesh toolkit for the model generator.
#include "tools/model_mesh.h"

#include <algorithm>
#include <cstdio>
#include <cmath>
#include <map>
#include <set>

double dot(P3 a, P3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
P3 cross(P3 a, P3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double length(P3 a) { return std::sqrt(dot(a, a)); }
P3 unit(P3 a) {
    double l = length(a);
    return l > 0 ? a * (1.0 / l) : a;
}
double &coord(P3 &p, int axis) { return axis == 0 ? p.x : axis == 1 ? p.y : p.z; }
double coord(const P3 &p, int axis) { return axis == 0 ? p.x : axis == 1 ? p.y : p.z; }
P3 axis_vector(int axis, double sign) {
    P3 v;
    coord(v, axis) = sign;
    return v;
}

int32_t mesh_vertex(Mesh &m, P3 p) {
    m.pos.push_back(p);
    return static_cast<int32_t>(m.pos.size() - 1);
}
void mesh_quad(Mesh &m, int32_t a, int32_t b, int32_t c, int32_t d) { m.quads.push_back({a, b, c, d}); }
void mesh_tri(Mesh &m, int32_t a, int32_t b, int32_t c) { m.tris.push_back({a, b, c}); }

void mesh_append(Mesh &m, const Mesh &part) {
    const int32_t base = static_cast<int32_t>(m.pos.size());
    m.pos.insert(m.pos.end(), part.pos.begin(), part.pos.end());
    for (auto t : part.tris) m.tris.push_back({t[0] + base, t[1] + base, t[2] + base});
    for (auto q : part.quads) m.quads.push_back({q[0] + base, q[1] + base, q[2] + base, q[3] + base});
}

P3 quad_area_vector(const Mesh &m, const std::array<int32_t, 4> &q) {
    return cross(m.pos[q[2]] - m.pos[q[0]], m.pos[q[3]] - m.pos[q[1]]);
}
P3 tri_area_vector(const Mesh &m, const std::array<int32_t, 3> &t) {
    return cross(m.pos[t[1]] - m.pos[t[0]], m.pos[t[2]] - m.pos[t[0]]);
}

void mesh_normals(Mesh &m, bool even) {
    m.normal.assign(m.pos.size(), P3{});
    for (const auto &t : m.tris) {
        P3 a = even ? unit(tri_area_vector(m, t)) : tri_area_vector(m, t);
        for (int32_t v : t) m.normal[v] = m.normal[v] + a;
    }
    for (const auto &q : m.quads) {
        P3 a = even ? unit(quad_area_vector(m, q)) : quad_area_vector(m, q);
        for (int32_t v : q) m.normal[v] = m.normal[v] + a;
    }
    for (P3 &n : m.normal) n = unit(n);
}

void mesh_bounds(const Mesh &m, P3 *lo, P3 *hi) {
    *lo = *hi = m.pos.empty() ? P3{} : m.pos[0];
    for (const P3 &p : m.pos)
        for (int a = 0; a < 3; a++) {
            coord(*lo, a) = std::min(coord(*lo, a), coord(p, a));
            coord(*hi, a) = std::max(coord(*hi, a), coord(p, a));
        }
}

double mesh_volume(const Mesh &m) {
    double v = 0;
    for (const auto &t : m.tris) v += dot(m.pos[t[0]], cross(m.pos[t[1]], m.pos[t[2]]));
    for (const auto &q : m.quads) {
        v += dot(m.pos[q[0]], cross(m.pos[q[1]], m.pos[q[2]]));
        v += dot(m.pos[q[0]], cross(m.pos[q[2]], m.pos[q[3]]));
    }
    return v / 6.0;
}

std::string mesh_closure_problem(const Mesh &m) {
    std::map<std::pair<int32_t, int32_t>, int> used;
    auto add = [&](int32_t a, int32_t b) { used[{a, b}]++; };
    for (const auto &t : m.tris)
        for (int k = 0; k < 3; k++) add(t[k], t[(k + 1) % 3]);
    for (const auto &q : m.quads)
        for (int k = 0; k < 4; k++) add(q[k], q[(k + 1) % 4]);
    for (const auto &[e, n] : used) {
        auto back = used.find({e.second, e.first});
        std::string edge = "edge " + std::to_string(e.first) + "-" + std::to_string(e.second);
        if (n != 1) return edge + " is used " + std::to_string(n) + " times in one direction";
        if (back == used.end()) return edge + " has only one face";
    }
    return "";
}

// --- box modelling ---------------------------------------------------------

void mesh_box(Mesh &m, const std::vector<double> &xs, const std::vector<double> &ys, const std::vector<double> &zs) {
    const int nx = static_cast<int>(xs.size()) - 1, ny = static_cast<int>(ys.size()) - 1,
              nz = static_cast<int>(zs.size()) - 1;
    std::vector<int32_t> id(static_cast<size_t>((nx + 1) * (ny + 1) * (nz + 1)), -1);
    auto at = [&](int i, int j, int k) -> int32_t & { return id[static_cast<size_t>((i * (ny + 1) + j) * (nz + 1) + k)]; };
    for (int i = 0; i <= nx; i++)
        for (int j = 0; j <= ny; j++)
            for (int k = 0; k <= nz; k++)
                if (i == 0 || i == nx || j == 0 || j == ny || k == 0 || k == nz)
                    at(i, j, k) = mesh_vertex(m, {xs[i], ys[j], zs[k]});
    for (int j = 0; j < ny; j++)
        for (int k = 0; k < nz; k++) {
            mesh_quad(m, at(0, j, k), at(0, j, k + 1), at(0, j + 1, k + 1), at(0, j + 1, k));
            mesh_quad(m, at(nx, j, k), at(nx, j + 1, k), at(nx, j + 1, k + 1), at(nx, j, k + 1));
        }
    for (int i = 0; i < nx; i++)
        for (int k = 0; k < nz; k++) {
            mesh_quad(m, at(i, 0, k), at(i + 1, 0, k), at(i + 1, 0, k + 1), at(i, 0, k + 1));
            mesh_quad(m, at(i, ny, k), at(i, ny, k + 1), at(i + 1, ny, k + 1), at(i + 1, ny, k));
        }
    for (int i = 0; i < nx; i++)
        for (int j = 0; j < ny; j++) {
            mesh_quad(m, at(i, j, 0), at(i, j + 1, 0), at(i + 1, j + 1, 0), at(i + 1, j, 0));
            mesh_quad(m, at(i, j, nz), at(i + 1, j, nz), at(i + 1, j + 1, nz), at(i, j + 1, nz));
        }
}

void mesh_round_box(Mesh &m, P3 lo, P3 hi, double r) {
    const P3 c = (lo + hi) * 0.5, half = (hi - lo) * 0.5;
    for (P3 &p : m.pos) {
        P3 q = p - c, inner;
        for (int a = 0; a < 3; a++) {
            double lim = coord(half, a) - r;
            coord(inner, a) = std::clamp(coord(q, a), -lim, lim);
        }
        P3 d = q - inner;
        if (length(d) > 0) p = c + inner + unit(d) * r;
    }
}

std::vector<int32_t> mesh_select(const Mesh &m, Facing f, double at, double a0, double a1, double b0, double b1) {
    const double eps = 1e-6;
    const int ua = f.axis == 0 ? 1 : 0, ub = f.axis == 2 ? 1 : 2;
    const P3 want = axis_vector(f.axis, f.sign);
    std::vector<int32_t> out;
    for (size_t i = 0; i < m.quads.size(); i++) {
        const auto &q = m.quads[i];
        if (dot(unit(quad_area_vector(m, q)), want) < 0.999) continue;
        P3 c;
        bool on_plane = true;
        for (int32_t v : q) {
            c = c + m.pos[v] * 0.25;
            on_plane = on_plane && std::fabs(coord(m.pos[v], f.axis) - at) < eps;
        }
        if (on_plane && coord(c, ua) > a0 - eps && coord(c, ua) < a1 + eps && coord(c, ub) > b0 - eps &&
            coord(c, ub) < b1 + eps)
            out.push_back(static_cast<int32_t>(i));
    }
    return out;
}

namespace {

// The outline of a patch as one loop of vertices, counter-clockwise seen from
// outside, and the patch's inner vertices.
struct PatchOutline {
    std::vector<int32_t> loop;
    std::vector<int32_t> inner;
};

std::string patch_outline(const Mesh &m, const std::vector<int32_t> &patch, PatchOutline *out) {
    if (patch.empty()) return "the region selects no faces";
    std::map<std::pair<int32_t, int32_t>, int> edges;
    std::set<int32_t> verts;
    for (int32_t f : patch) {
        const auto &q = m.quads[f];
        for (int k = 0; k < 4; k++) {
            edges[{q[k], q[(k + 1) % 4]}]++;
            verts.insert(q[k]);
        }
    }
    std::map<int32_t, int32_t> next;
    for (const auto &[e, n] : edges)
        if (!edges.count({e.second, e.first})) {
            if (next.count(e.first)) return "the region's outline touches itself";
            next[e.first] = e.second;
        }
    int32_t v = next.begin()->first;
    do {
        out->loop.push_back(v);
        v = next[v];
    } while (v != out->loop[0] && out->loop.size() <= next.size());
    if (out->loop.size() != next.size()) return "the region is not one piece without holes";
    for (int32_t w : verts)
        if (!next.count(w)) out->inner.push_back(w);
    return "";
}

// Repoints the patch's outline corners to the last ring and walls the sides
// ring by ring; rings[r][k] is the copy of loop[k] on ring r (ring 0 is the loop).
void wall_and_lift(Mesh &m, const std::vector<int32_t> &patch, const PatchOutline &o,
                   const std::vector<std::vector<int32_t>> &rings) {
    const size_t n = o.loop.size();
    for (size_t r = 1; r < rings.size(); r++)
        for (size_t k = 0; k < n; k++) {
            size_t k1 = (k + 1) % n;
            mesh_quad(m, rings[r - 1][k], rings[r - 1][k1], rings[r][k1], rings[r][k]);
        }
    std::map<int32_t, int32_t> top;
    for (size_t k = 0; k < n; k++) top[o.loop[k]] = rings.back()[k];
    for (int32_t f : patch)
        for (int32_t &v : m.quads[f]) {
            auto it = top.find(v);
            if (it != top.end()) v = it->second;
        }
}

}  // namespace

std::string mesh_extrude(Mesh &m, const std::vector<int32_t> &patch, Facing f, const std::vector<ExtrudeRing> &rings) {
    PatchOutline o;
    std::string problem = patch_outline(m, patch, &o);
    if (!problem.empty()) return problem;
    if (rings.empty()) return "an extrusion needs at least one ring";
    const P3 n = axis_vector(f.axis, f.sign);
    const size_t count = o.loop.size();
    std::vector<P3> base(count), inward(count);
    for (size_t k = 0; k < count; k++) {
        const P3 prev = m.pos[o.loop[(k + count - 1) % count]], here = m.pos[o.loop[k]],
                 next = m.pos[o.loop[(k + 1) % count]];
        P3 m_in = unit(cross(n, here - prev)), m_out = unit(cross(n, next - here));
        base[k] = here;
        inward[k] = (m_in + m_out) * (1.0 / (1.0 + dot(m_in, m_out)));
    }
    std::vector<std::vector<int32_t>> ring_ids{o.loop};
    for (const ExtrudeRing &r : rings) {
        std::vector<int32_t> ids;
        for (size_t k = 0; k < count; k++) ids.push_back(mesh_vertex(m, base[k] + n * r.height + inward[k] * r.inset));
        ring_ids.push_back(ids);
    }
    for (int32_t v : o.inner) m.pos[v] = m.pos[v] + n * rings.back().height;
    wall_and_lift(m, patch, o, ring_ids);
    return "";
}

std::string mesh_sprout(Mesh &m, const std::vector<int32_t> &patch, Facing f, P3 centre,
                        const std::vector<SproutRing> &rings, double tip_at) {
    PatchOutline o;
    std::string problem = patch_outline(m, patch, &o);
    if (!problem.empty()) return problem;
    if (rings.empty()) return "a sprout needs at least one ring";
    const P3 n = axis_vector(f.axis, f.sign);
    P3 foot = centre;
    coord(foot, f.axis) = 0;
    double reach = 0;
    std::vector<P3> dir;
    for (int32_t v : o.loop) {
        P3 d = m.pos[v] - centre;
        reach = std::max(reach, length(d));
        dir.push_back(unit(d));
    }
    std::vector<std::vector<int32_t>> ring_ids{o.loop};
    for (const SproutRing &r : rings) {
        std::vector<int32_t> ids;
        for (const P3 &d : dir) ids.push_back(mesh_vertex(m, foot + n * r.at + d * r.radius));
        ring_ids.push_back(ids);
    }
    const SproutRing &last = rings.back();
    for (int32_t v : o.inner) {
        P3 d = m.pos[v] - centre;
        double rho = length(d) / reach;
        m.pos[v] = foot + n * (last.at + (tip_at - last.at) * (1 - rho * rho)) + unit(d) * (last.radius * rho);
    }
    wall_and_lift(m, patch, o, ring_ids);
    return "";
}

// --- lathes, spines and tubes ----------------------------------------------

RingFrame ring_frame(P3 axis, P3 up_hint) {
    RingFrame fr;
    fr.axis = unit(axis);
    fr.e1 = unit(up_hint - fr.axis * dot(up_hint, fr.axis));
    fr.e2 = cross(fr.axis, fr.e1);
    return fr;
}

void mesh_lathe(Mesh &m, P3 base, const RingFrame &frame, int sides, double phase, const std::vector<LatheRing> &rings,
                bool cap_start, bool cap_end) {
    const double pi = std::acos(-1.0);
    std::vector<int32_t> first(rings.size());
    for (size_t i = 0; i < rings.size(); i++)
        for (int k = 0; k < sides; k++) {
            double a = phase + 2 * pi * k / sides;
            P3 p = base + frame.axis * rings[i].at + (frame.e1 * std::cos(a) + frame.e2 * std::sin(a)) * rings[i].radius;
            int32_t id = mesh_vertex(m, p);
            if (k == 0) first[i] = id;
        }
    for (size_t i = 0; i + 1 < rings.size(); i++)
        for (int k = 0; k < sides; k++) {
            int k1 = (k + 1) % sides;
            mesh_quad(m, first[i] + k, first[i] + k1, first[i + 1] + k1, first[i + 1] + k);
        }
    if (cap_start) {
        int32_t c = mesh_vertex(m, base + frame.axis * rings.front().at);
        for (int k = 0; k < sides; k++) mesh_tri(m, c, first.front() + (k + 1) % sides, first.front() + k);
    }
    if (cap_end) {
        int32_t c = mesh_vertex(m, base + frame.axis * rings.back().at);
        for (int k = 0; k < sides; k++) mesh_tri(m, c, first.back() + k, first.back() + (k + 1) % sides);
    }
}

P3 bezier(const std::vector<P3> &ctrl, double t) {
    std::vector<P3> p = ctrl;
    for (size_t n = p.size(); n > 1; n--)
        for (size_t i = 0; i + 1 < n; i++) p[i] = p[i] * (1 - t) + p[i + 1] * t;
    return p[0];
}

Spine spine_make(const std::vector<P3> &ctrl) {
    Spine sp;
    sp.ctrl = ctrl;
    const int steps = 2048;
    P3 prev = bezier(ctrl, 0);
    for (int i = 0; i <= steps; i++) {
        double t = static_cast<double>(i) / steps;
        P3 p = bezier(ctrl, t);
        sp.length += length(p - prev);
        sp.t.push_back(t);
        sp.s.push_back(sp.length);
        prev = p;
    }
    return sp;
}

static double spine_param(const Spine &sp, double dist) {
    dist = std::clamp(dist, 0.0, sp.length);
    size_t i = static_cast<size_t>(std::lower_bound(sp.s.begin(), sp.s.end(), dist) - sp.s.begin());
    if (i == 0) return 0;
    if (i >= sp.s.size()) return 1;
    double f = (dist - sp.s[i - 1]) / std::max(1e-12, sp.s[i] - sp.s[i - 1]);
    return sp.t[i - 1] + f * (sp.t[i] - sp.t[i - 1]);
}

P3 spine_point(const Spine &sp, double dist) { return bezier(sp.ctrl, spine_param(sp, dist)); }

P3 spine_tangent(const Spine &sp, double dist) {
    double t = spine_param(sp, dist), h = 1e-4;
    return unit(bezier(sp.ctrl, std::min(1.0, t + h)) - bezier(sp.ctrl, std::max(0.0, t - h)));
}

void mesh_tube(Mesh &m, const std::vector<P3> &path, const std::vector<RingFrame> &frames,
               const std::vector<double> &rx, const std::vector<double> &ry, int sides, double phase, P3 tip) {
    const double pi = std::acos(-1.0);
    const int32_t first = static_cast<int32_t>(m.pos.size());
    for (size_t i = 0; i < path.size(); i++)
        for (int k = 0; k < sides; k++) {
            double a = phase + 2 * pi * k / sides;
            mesh_vertex(m, path[i] + frames[i].e1 * (rx[i] * std::cos(a)) + frames[i].e2 * (ry[i] * std::sin(a)));
        }
    for (size_t i = 0; i + 1 < path.size(); i++) {
        int32_t r0 = first + static_cast<int32_t>(i) * sides, r1 = r0 + sides;
        for (int k = 0; k < sides; k++) {
            int k1 = (k + 1) % sides;
            mesh_quad(m, r0 + k, r0 + k1, r1 + k1, r1 + k);
        }
    }
    int32_t last = first + static_cast<int32_t>(path.size() - 1) * sides;
    int32_t c = mesh_vertex(m, tip);
    for (int k = 0; k < sides; k++) mesh_tri(m, c, last + k, last + (k + 1) % sides);
}

// --- fitting ---------------------------------------------------------------

std::string mesh_fit_axis(Mesh &m, int a, double t0, double t1, double tolerance) {
    P3 mlo, mhi;
    mesh_bounds(m, &mlo, &mhi);
    const double m0 = coord(mlo, a), m1 = coord(mhi, a), span = t1 - t0, built = m1 - m0;
    const char name = "xyz"[a];
    char what[200];
    if (span == 0) {
        if (built > 1e-9) {
            std::snprintf(what, sizeof what, "the shape is not flat in %c (it spans %.4g)", name, built);
            return what;
        }
        for (P3 &p : m.pos) coord(p, a) = t0;
        return "";
    }
    const double scale = span / built;
    if (std::fabs(scale - 1) > tolerance || std::fabs(m0 - t0) > tolerance * span || std::fabs(m1 - t1) > tolerance * span) {
        std::snprintf(what, sizeof what, "the shape spans %.4f..%.4f in %c, too far from the bounds %.4f..%.4f", m0, m1,
                      name, t0, t1);
        return what;
    }
    for (P3 &p : m.pos) {
        double &v = coord(p, a);
        v = v == m1 ? t1 : t0 + (v - m0) * scale;
    }
    return "";
}

std::string mesh_fit(Mesh &m, P3 lo, P3 hi, double tolerance) {
    for (int a = 0; a < 3; a++) {
        std::string problem = mesh_fit_axis(m, a, coord(lo, a), coord(hi, a), tolerance);
        if (!problem.empty()) return problem;
    }
    return "";
}
