// The model generator's interpreter: recipe statements to meshes.
//
// A recipe is a list of operations, each an operation line followed by the
// parameter lines that belong to it (a "ring" line after an "extrude"), plus
// the model-wide statements (translation, bounds, counts, closed, texture).
// Operations append to or reshape one mesh in room coordinates. When all have
// run, the texture is laid on, the mesh moves to local coordinates and is
// fitted exactly onto its declared bounds (a fit that would have to stretch
// the shape noticeably is refused), normals are computed and the declared
// counts and closure are checked.
#include "tools/model_build.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <set>

const char *const MODEL_NAMES[MODEL_TOTAL] = {
    "projector_body", "reel_arm_rear", "reel_arm_front", "roller_small", "roller_large",
    "lens_barrel",    "bracket",       "film_strip_lower", "film_strip_upper", "table",
    "curtain_1",      "curtain_2",     "curtain_3",      "curtain_4",        "curtain_5",
    "curtain_6",      "screen_border", "jack",           "tree"};

// How far a fit may stretch or shift a shape, as a fraction of its span: the
// recipe must already describe the model at its size.
static constexpr double FIT_TOLERANCE = 0.08;

namespace {

const double PI = std::acos(-1.0);

struct Op {
    ModelLine head;
    std::vector<ModelLine> params;
};

struct Panel {
    std::string name;
    double x0, y0, x1, y1;  // picture pixels, y down
};

struct Decal {
    bool any = false;
    Facing facing;
    size_t panel = 0;
    P3 lo, hi;
};

struct BuildState {
    Mesh mesh;
    std::vector<double> lines[3];
    bool local = false;  // the mesh is already in local coordinates (copied from a built model)
    double atlas_w = 0, atlas_h = 0;
    std::vector<Panel> panels;
    std::vector<Decal> decals;
    ModelLine plain;
    bool has_plain = false;
};

const std::set<std::string> PARAM_FIELDS = {"ring", "tip",  "caps", "spine", "width", "depth",   "edge",
                                            "hub",  "from", "to",   "wrap",  "leg",   "rail",    "spandrel",
                                            "rows", "columns", "pleats", "fold", "lean", "hem"};
const std::set<std::string> OP_FIELDS = {"lines", "box",  "round", "extrude", "sprout", "lathe", "plate", "ribbon",
                                         "slab",  "legs", "drape", "face",    "like",   "tree"};

int axis_of(const ModelLine &l, const std::string &s) {
    if (s == "x") return 0;
    if (s == "y") return 1;
    if (s == "z") return 2;
    recipe_fail(l, "'" + s + "' is not an axis (x, y or z)");
}

Facing facing_of(const ModelLine &l, const std::string &s) {
    if (s.size() != 2 || (s[0] != '+' && s[0] != '-')) recipe_fail(l, "'" + s + "' is not a direction like +x or -z");
    return {axis_of(l, s.substr(1)), s[0] == '+' ? 1 : -1};
}

// The parameter lines of an operation, checked against the ones it accepts.
void accept_params(const Op &op, std::initializer_list<const char *> allowed) {
    for (const ModelLine &p : op.params) {
        bool ok = false;
        for (const char *a : allowed) ok = ok || p.field == a;
        if (!ok) recipe_fail(p, "'" + p.field + "' does not belong to " + op.head.field);
    }
}

std::vector<const ModelLine *> params_named(const Op &op, const char *field) {
    std::vector<const ModelLine *> out;
    for (const ModelLine &p : op.params)
        if (p.field == field) out.push_back(&p);
    return out;
}

const ModelLine *param_once(const Op &op, const char *field, bool required) {
    auto all = params_named(op, field);
    if (all.size() > 1) recipe_fail(*all[1], std::string(field) + " is given twice");
    if (all.empty() && required) recipe_fail(op.head, op.head.field + " needs a '" + field + "' line");
    return all.empty() ? nullptr : all[0];
}

void need_box_lines(BuildState &st, const ModelLine &l) {
    for (auto &v : st.lines)
        if (v.empty()) recipe_fail(l, l.field + " needs grid lines in x, y and z first");
}

// --- box modelling ---------------------------------------------------------

void op_lines(BuildState &st, const Op &op) {
    accept_params(op, {});
    recipe_want(op.head, 3, true);
    int a = axis_of(op.head, op.head.args[0]);
    std::vector<double> v = recipe_numbers(op.head, 1);
    for (size_t i = 1; i < v.size(); i++)
        if (!(v[i] > v[i - 1])) recipe_fail(op.head, "grid lines must rise strictly");
    st.lines[a] = v;
}

void op_box(BuildState &st, const Op &op) {
    accept_params(op, {});
    recipe_want(op.head, 0);
    need_box_lines(st, op.head);
    mesh_box(st.mesh, st.lines[0], st.lines[1], st.lines[2]);
}

void op_round(BuildState &st, const Op &op) {
    accept_params(op, {});
    recipe_want(op.head, 1);
    need_box_lines(st, op.head);
    P3 lo{st.lines[0].front(), st.lines[1].front(), st.lines[2].front()};
    P3 hi{st.lines[0].back(), st.lines[1].back(), st.lines[2].back()};
    mesh_round_box(st.mesh, lo, hi, recipe_number(op.head, 0));
}

// extrude <facing> at <plane> over <a0 a1 b0 b1>... ; ring <height> [inset]
void op_extrude(BuildState &st, const Op &op) {
    accept_params(op, {"ring"});
    const ModelLine &h = op.head;
    recipe_want(h, 8, true);
    if (h.args[1] != "at" || h.args[3] != "over" || (h.args.size() - 4) % 4 != 0)
        recipe_fail(h, "expected: extrude <direction> at <plane> over <a0 a1 b0 b1>...");
    Facing f = facing_of(h, h.args[0]);
    double at = recipe_number(h, 2);
    std::set<int32_t> chosen;
    for (size_t i = 4; i < h.args.size(); i += 4) {
        auto part = mesh_select(st.mesh, f, at, recipe_number(h, i), recipe_number(h, i + 1), recipe_number(h, i + 2),
                                recipe_number(h, i + 3));
        chosen.insert(part.begin(), part.end());
    }
    // A ring's height may be a range a..b/n: the rings at its steps above a.
    std::vector<ExtrudeRing> rings;
    for (const ModelLine *r : params_named(op, "ring")) {
        if (r->args.size() != 1) recipe_want(*r, 2);
        ModelLine first = *r;
        first.args.resize(1);
        for (double hgt : recipe_numbers(first, 0))
            if (rings.empty() || hgt > rings.back().height)
                rings.push_back({hgt, r->args.size() > 1 ? recipe_number(*r, 1) : 0.0});
    }
    std::string problem = mesh_extrude(st.mesh, std::vector<int32_t>(chosen.begin(), chosen.end()), f, rings);
    if (!problem.empty()) recipe_fail(h, problem);
}

// sprout <facing>... patch <half> ; ring <at> <radius> ; tip <at>
void op_sprout(BuildState &st, const Op &op) {
    accept_params(op, {"ring", "tip"});
    const ModelLine &h = op.head;
    need_box_lines(st, h);
    recipe_want(h, 3, true);
    if (h.args[h.args.size() - 2] != "patch") recipe_fail(h, "expected: sprout <direction>... patch <half-size>");
    double half = recipe_number(h, h.args.size() - 1);
    std::vector<SproutRing> rings;
    for (const ModelLine *r : params_named(op, "ring")) {
        recipe_want(*r, 2);
        rings.push_back({recipe_number(*r, 0), recipe_number(*r, 1)});
    }
    const ModelLine *tip = param_once(op, "tip", true);
    recipe_want(*tip, 1);
    P3 centre{(st.lines[0].front() + st.lines[0].back()) / 2, (st.lines[1].front() + st.lines[1].back()) / 2,
              (st.lines[2].front() + st.lines[2].back()) / 2};
    for (size_t i = 0; i + 2 < h.args.size(); i++) {
        Facing f = facing_of(h, h.args[i]);
        const int ua = f.axis == 0 ? 1 : 0, ub = f.axis == 2 ? 1 : 2;
        P3 c = centre;
        coord(c, f.axis) = f.sign > 0 ? st.lines[f.axis].back() : st.lines[f.axis].front();
        auto patch = mesh_select(st.mesh, f, coord(c, f.axis), coord(c, ua) - half, coord(c, ua) + half,
                                 coord(c, ub) - half, coord(c, ub) + half);
        std::string problem = mesh_sprout(st.mesh, patch, f, c, rings, recipe_number(*tip, 0));
        if (!problem.empty()) recipe_fail(h, problem);
    }
}

// lathe <axis> <c1> <c2> <sides> [phase degrees] ; ring <at> <radius> ; caps none|start|end|both
void op_lathe(BuildState &st, const Op &op) {
    accept_params(op, {"ring", "caps"});
    const ModelLine &h = op.head;
    if (h.args.size() != 4) recipe_want(h, 5);
    int a = axis_of(h, h.args[0]);
    int sides = recipe_int(h, 3);
    if (sides < 3) recipe_fail(h, "a lathe needs at least three sides");
    double phase = h.args.size() > 4 ? recipe_number(h, 4) * PI / 180 : 0.0;
    P3 base;
    coord(base, a == 0 ? 1 : 0) = recipe_number(h, 1);
    coord(base, a == 2 ? 1 : 2) = recipe_number(h, 2);
    std::vector<LatheRing> rings;
    for (const ModelLine *r : params_named(op, "ring")) {
        recipe_want(*r, 2);
        rings.push_back({recipe_number(*r, 0), recipe_number(*r, 1)});
    }
    if (rings.size() < 2) recipe_fail(h, "a lathe needs at least two rings");
    std::string caps = "none";
    if (const ModelLine *c = param_once(op, "caps", false)) {
        recipe_want(*c, 1);
        caps = c->args[0];
        if (caps != "none" && caps != "start" && caps != "end" && caps != "both")
            recipe_fail(*c, "caps are none, start, end or both");
    }
    RingFrame fr = ring_frame(axis_vector(a, 1), axis_vector((a + 1) % 3, 1));
    mesh_lathe(st.mesh, base, fr, sides, phase, rings, caps == "start" || caps == "both",
               caps == "end" || caps == "both");
}

std::vector<double> cosine_steps(int n) {
    std::vector<double> v;
    for (int j = 0; j <= n; j++) v.push_back(j == n ? 1.0 : j == 0 ? -1.0 : -std::cos(PI * j / n));
    for (double &x : v)
        if (std::fabs(x) < 1e-15) x = 0;
    return v;
}

// plate <along> <across> <through> ; spine <x y>... ; width <w0> <w1> ;
// depth <z0> <z1> ; edge <radius> ; hub <columns>
// A bar laid along a Bezier spine in the xy plane: a gridded box bent along
// the spine, its half-width running from w0 to w1, its cross-section a
// rectangle with rounded corners. Its far end is flat, or with hub rounded
// round the spine's last point (radius w1) over that many columns.
void op_plate(BuildState &st, const Op &op) {
    accept_params(op, {"spine", "width", "depth", "edge", "hub"});
    const ModelLine &h = op.head;
    recipe_want(h, 3);
    const int a = recipe_int(h, 0), b = recipe_int(h, 1), c = recipe_int(h, 2);
    if (a < 2 || b < 1 || c < 1) recipe_fail(h, "a plate needs at least 2 x 1 x 1 cells");
    const ModelLine *sl = param_once(op, "spine", true);
    if (sl->args.size() < 4 || sl->args.size() % 2) recipe_fail(*sl, "a spine is two or more x y points");
    std::vector<P3> ctrl;
    for (size_t i = 0; i < sl->args.size(); i += 2) ctrl.push_back({recipe_number(*sl, i), recipe_number(*sl, i + 1), 0});
    const ModelLine *wl = param_once(op, "width", true), *dl = param_once(op, "depth", true);
    recipe_want(*wl, 2);
    recipe_want(*dl, 2);
    const double w0 = recipe_number(*wl, 0), w1 = recipe_number(*wl, 1);
    const double hd = (recipe_number(*dl, 1) - recipe_number(*dl, 0)) / 2, zc = (recipe_number(*dl, 1) + recipe_number(*dl, 0)) / 2;
    double edge = 0;
    if (const ModelLine *el = param_once(op, "edge", false)) {
        recipe_want(*el, 1);
        edge = recipe_number(*el, 0);
    }
    int n_end = 0;
    if (const ModelLine *el = param_once(op, "hub", false)) {
        recipe_want(*el, 1);
        n_end = recipe_int(*el, 0);
        if (n_end < 1 || n_end >= a) recipe_fail(*el, "the hub needs 1 to along - 1 columns");
    }
    if (w0 <= 0 || w1 <= 0 || hd <= 0) recipe_fail(h, "a plate needs positive width and depth");
    const Spine sp = spine_make(ctrl);
    const int n_str = a - n_end;
    // The rounded end stops short of a point, leaving a narrow flat tip.
    const double end_angle = 72 * PI / 180;

    std::vector<double> xs;
    for (int i = 0; i <= a; i++) xs.push_back(i);
    Mesh part;
    mesh_box(part, xs, cosine_steps(b), cosine_steps(c));
    for (P3 &p : part.pos) {
        const int i = static_cast<int>(std::lround(p.x));
        P3 centre, t;
        double hw;
        if (i <= n_str) {
            double s = sp.length * i / n_str;
            centre = spine_point(sp, s);
            t = spine_tangent(sp, s);
            hw = w0 + (w1 - w0) * i / n_str;
        } else {
            double phi = end_angle * (i - n_str) / n_end;
            t = spine_tangent(sp, sp.length);
            centre = spine_point(sp, sp.length) + t * (w1 * std::sin(phi));
            hw = w1 * std::cos(phi);
        }
        const P3 side{-t.y, t.x, 0};
        const double e = std::min({edge, hw, hd});
        double qx = p.y * hw, qy = p.z * hd;
        double ix = std::clamp(qx, -(hw - e), hw - e), iy = std::clamp(qy, -(hd - e), hd - e);
        double dx = qx - ix, dy = qy - iy, dl2 = std::hypot(dx, dy);
        const bool on_rim = std::fabs(p.y) == 1 || std::fabs(p.z) == 1;  // not inside an end face
        if (dl2 > 0 && on_rim) {
            qx = ix + e * dx / dl2;
            qy = iy + e * dy / dl2;
        }
        p = centre + side * qx + P3{0, 0, zc + qy};
    }
    mesh_append(st.mesh, part);
}

// ribbon <z0> <z1> ; then in travel order: from <x y> | to <x y> |
// wrap <cx> <cy> <r> left|right <points> [until <degrees>]
// A strip of film, as wide as z0..z1, running along straight pieces that are
// tangent to the circles it wraps (a circle lies on the left or right of the
// direction of travel). The first circle gives only the point where the film
// leaves it; the last runs on to the angle given by until.
void op_ribbon(BuildState &st, const Op &op) {
    accept_params(op, {"from", "to", "wrap"});
    const ModelLine &h = op.head;
    recipe_want(h, 2);
    const double z0 = recipe_number(h, 0), z1 = recipe_number(h, 1);
    struct Element {
        const ModelLine *line;
        P3 c;
        double rho = 0;  // signed radius: positive when the circle is on the left
        int points = 1;
        double until = 0;
        bool has_until = false;
        P3 arrive, depart;
    };
    std::vector<Element> el;
    for (const ModelLine &p : op.params) {
        Element e;
        e.line = &p;
        if (p.field == "wrap") {
            if (p.args.size() != 5) recipe_want(p, 7);
            if (p.args.size() == 7 && p.args[5] != "until") recipe_fail(p, "expected: until <degrees>");
            if (p.args[3] != "left" && p.args[3] != "right") recipe_fail(p, "a wrapped circle lies left or right");
            e.c = {recipe_number(p, 0), recipe_number(p, 1), 0};
            e.rho = recipe_number(p, 2) * (p.args[3] == "left" ? 1 : -1);
            e.points = recipe_int(p, 4);
            if (e.points < 1) recipe_fail(p, "a wrapped circle gives at least one point");
            if (p.args.size() == 7) {
                e.until = recipe_number(p, 6) * PI / 180;
                e.has_until = true;
            }
        } else {
            recipe_want(p, 2);
            e.c = {recipe_number(p, 0), recipe_number(p, 1), 0};
        }
        el.push_back(e);
    }
    if (el.size() < 2) recipe_fail(h, "a ribbon runs between at least two places");
    for (size_t i = 0; i + 1 < el.size(); i++) {
        const P3 d = el[i + 1].c - el[i].c;
        const double r = el[i + 1].rho - el[i].rho, l2 = dot(d, d) - r * r;
        if (l2 <= 0) recipe_fail(*el[i + 1].line, "no straight run reaches this from the place before");
        const double l = std::sqrt(l2), k = 1 / (l2 + r * r);
        const P3 dir{(l * d.x + r * d.y) * k, (-r * d.x + l * d.y) * k, 0};
        const P3 left{-dir.y, dir.x, 0};
        el[i].depart = el[i].c - left * el[i].rho;
        el[i + 1].arrive = el[i + 1].c - left * el[i + 1].rho;
    }
    std::vector<P3> pts;
    for (size_t i = 0; i < el.size(); i++) {
        Element &e = el[i];
        if (e.rho == 0) {
            if (e.points != 1) recipe_fail(*e.line, "a point gives one point");
            pts.push_back(e.c);
            continue;
        }
        if (i == 0) {
            if (e.points != 1 || e.has_until) recipe_fail(*e.line, "the first circle gives only its leaving point");
            pts.push_back(e.depart);
            continue;
        }
        const bool last = i + 1 == el.size();
        if (last != e.has_until) recipe_fail(*e.line, "the last circle, and only it, needs until");
        if (e.points < 2) recipe_fail(*e.line, "a wrapped circle gives at least two points");
        const double a0 = std::atan2(e.arrive.y - e.c.y, e.arrive.x - e.c.x);
        const double a1 = last ? e.until : std::atan2(e.depart.y - e.c.y, e.depart.x - e.c.x);
        double sweep = e.rho > 0 ? a1 - a0 : a0 - a1;
        sweep = std::fmod(std::fmod(sweep, 2 * PI) + 2 * PI, 2 * PI);
        if (e.rho < 0) sweep = -sweep;
        const double r = std::fabs(e.rho);
        for (int k = 0; k < e.points; k++) {
            double a = a0 + sweep * k / (e.points - 1);
            pts.push_back(k == 0 ? e.arrive : (k == e.points - 1 && !last) ? e.depart
                                                                            : e.c + P3{std::cos(a), std::sin(a), 0} * r);
        }
    }
    const int32_t first = static_cast<int32_t>(st.mesh.pos.size());
    for (const P3 &p : pts) {
        mesh_vertex(st.mesh, {p.x, p.y, z0});
        mesh_vertex(st.mesh, {p.x, p.y, z1});
    }
    for (int32_t i = 0; i + 1 < static_cast<int32_t>(pts.size()); i++) {
        int32_t a = first + 2 * i;
        mesh_quad(st.mesh, a, a + 2, a + 3, a + 1);
    }
}

// --- the table -------------------------------------------------------------

// slab <x0> <x1> <y0> <y1> <z0> <z1>: a plain box, its top face first.
void op_slab(BuildState &st, const Op &op) {
    accept_params(op, {});
    recipe_want(op.head, 6);
    double v[6];
    for (int i = 0; i < 6; i++) v[i] = recipe_number(op.head, i);
    Mesh &m = st.mesh;
    const int32_t b = static_cast<int32_t>(m.pos.size());
    for (double y : {v[3], v[2]}) {
        mesh_vertex(m, {v[0], y, v[4]});
        mesh_vertex(m, {v[0], y, v[5]});
        mesh_vertex(m, {v[1], y, v[5]});
        mesh_vertex(m, {v[1], y, v[4]});
    }
    mesh_quad(m, b + 0, b + 1, b + 2, b + 3);  // top
    mesh_quad(m, b + 4, b + 7, b + 6, b + 5);  // bottom
    mesh_quad(m, b + 0, b + 4, b + 5, b + 1);  // -x
    mesh_quad(m, b + 3, b + 2, b + 6, b + 7);  // +x
    mesh_quad(m, b + 0, b + 3, b + 7, b + 4);  // -z
    mesh_quad(m, b + 1, b + 5, b + 6, b + 2);  // +z
}

// Reverses a quad whose winding faces towards `inside`.
void face_away(Mesh &m, std::array<int32_t, 4> &q, P3 inside) {
    P3 c = (m.pos[q[0]] + m.pos[q[1]] + m.pos[q[2]] + m.pos[q[3]]) * 0.25;
    if (dot(quad_area_vector(m, q), c - inside) < 0) std::swap(q[1], q[3]);
}

// legs <x1> <x2> <z1> <z2> ; leg <y> <half-width> (top to bottom) ;
// rail <ring> <ring + 1> ; spandrel <size>
// Four square legs open at the top (they stand under the slab) and closed at
// the foot; rails join neighbouring legs between two of their rings, sharing
// the legs' corners; spandrels are triangular braces under the rails that
// start at the top ring, in the plane of the legs' outer faces.
void op_legs(BuildState &st, const Op &op) {
    accept_params(op, {"leg", "rail", "spandrel"});
    const ModelLine &h = op.head;
    recipe_want(h, 4);
    const double xs[2] = {recipe_number(h, 0), recipe_number(h, 1)}, zs[2] = {recipe_number(h, 2), recipe_number(h, 3)};
    std::vector<std::pair<double, double>> rings;
    for (const ModelLine *l : params_named(op, "leg")) {
        recipe_want(*l, 2);
        rings.push_back({recipe_number(*l, 0), recipe_number(*l, 1)});
        if (rings.size() > 1 && !(rings.back().first < rings[rings.size() - 2].first))
            recipe_fail(*l, "leg rings run from the top down");
    }
    if (rings.size() < 2) recipe_fail(h, "legs need at least two rings");
    Mesh &m = st.mesh;
    const int nr = static_cast<int>(rings.size());
    // Legs in turn around the table: (x1, z1), (x2, z1), (x2, z2), (x1, z2);
    // ring corners (-x -z), (+x -z), (+x +z), (-x +z).
    const double lx[4] = {xs[0], xs[1], xs[1], xs[0]}, lz[4] = {zs[0], zs[0], zs[1], zs[1]};
    const int cx[4] = {-1, 1, 1, -1}, cz[4] = {-1, -1, 1, 1};
    int32_t first[4];
    for (int g = 0; g < 4; g++) {
        first[g] = static_cast<int32_t>(m.pos.size());
        for (auto [y, hw] : rings)
            for (int k = 0; k < 4; k++) mesh_vertex(m, {lx[g] + cx[k] * hw, y, lz[g] + cz[k] * hw});
        for (int r = 0; r + 1 < nr; r++)
            for (int k = 0; k < 4; k++) {
                int32_t a = first[g] + 4 * r;
                mesh_quad(m, a + k, a + (k + 1) % 4, a + 4 + (k + 1) % 4, a + 4 + k);
            }
        int32_t f = first[g] + 4 * (nr - 1);
        mesh_quad(m, f, f + 1, f + 2, f + 3);
    }
    auto corner = [&](int g, int r, int k) { return first[g] + 4 * r + k; };
    // Rail g joins leg g to leg g + 1; the corners of leg g that face it, and
    // the matching corners of the next leg.
    const int face_a[4][2] = {{1, 2}, {3, 2}, {0, 3}, {0, 1}}, face_b[4][2] = {{0, 3}, {0, 1}, {1, 2}, {3, 2}};
    std::vector<int> top_rails;
    for (const ModelLine *rl : params_named(op, "rail")) {
        recipe_want(*rl, 2);
        int r0 = recipe_int(*rl, 0), r1 = recipe_int(*rl, 1);
        if (r0 < 0 || r1 != r0 + 1 || r1 >= nr) recipe_fail(*rl, "a rail spans two neighbouring leg rings");
        for (int g = 0; g < 4; g++) {
            int n = (g + 1) % 4;
            int32_t la[4] = {corner(g, r0, face_a[g][0]), corner(g, r0, face_a[g][1]), corner(g, r1, face_a[g][1]),
                             corner(g, r1, face_a[g][0])};
            int32_t lb[4] = {corner(n, r0, face_b[g][0]), corner(n, r0, face_b[g][1]), corner(n, r1, face_b[g][1]),
                             corner(n, r1, face_b[g][0])};
            P3 axis0, axis1;
            for (int k = 0; k < 4; k++) {
                axis0 = axis0 + m.pos[la[k]] * 0.25;
                axis1 = axis1 + m.pos[lb[k]] * 0.25;
            }
            for (int k = 0; k < 4; k++) {
                std::array<int32_t, 4> q{la[k], la[(k + 1) % 4], lb[(k + 1) % 4], lb[k]};
                face_away(m, q, (axis0 + axis1) * 0.5);
                m.quads.push_back(q);
            }
        }
        if (r0 == 0) top_rails.push_back(r1);
    }
    if (const ModelLine *sl = param_once(op, "spandrel", false)) {
        recipe_want(*sl, 1);
        if (top_rails.size() != 1) recipe_fail(*sl, "spandrels go under one rail from the top ring");
        const double size = recipe_number(*sl, 0);
        const int r1 = top_rails[0];
        const double y = rings[r1].first, hw = rings[r1].second;
        const double below_hw = hw + (rings[r1 + 1].second - hw) * size / (y - rings[r1 + 1].first);
        const P3 mid{(xs[0] + xs[1]) / 2, y, (zs[0] + zs[1]) / 2};
        // Front (+z) and back rails, then right (+x) and left, each pair from
        // the +x (or +z) end to the other; corners stored first, then the
        // point along the rail, then the point down the leg.
        struct Side {
            int axis;      // the rail runs along this axis
            double plane;  // the other horizontal coordinate of the legs
            double out;    // outward sign
        };
        const Side sides[4] = {{0, zs[1], 1}, {0, zs[0], -1}, {2, xs[1], 1}, {2, xs[0], -1}};
        for (const Side &s : sides) {
            const double *ends = s.axis == 0 ? xs : zs;
            for (int e = 1; e >= 0; e--) {
                const double inward = e == 1 ? -1 : 1;  // from this leg towards the other
                auto at = [&](double along, double yy, double half) {
                    P3 p{0, yy, 0};
                    coord(p, s.axis) = ends[e] + inward * half + inward * along;
                    coord(p, 2 - s.axis) = s.plane + s.out * half;
                    return p;
                };
                P3 c = at(0, y, hw), a = at(size, y, hw), d = at(0, y - size, below_hw);
                int32_t ic = mesh_vertex(m, c), ia = mesh_vertex(m, a), id = mesh_vertex(m, d);
                P3 n = cross(a - c, d - c), outward = c - mid;
                outward.y = 0;
                if (dot(n, outward) > 0)
                    mesh_tri(m, ic, ia, id);
                else
                    mesh_tri(m, ic, id, ia);
            }
        }
    }
}

// --- curtains, panels, copies ------------------------------------------------

// drape <x> <z0> <z1> ; rows <y>... (top to bottom) ; columns <n> ;
// pleats <count> ; fold <depth per row> ; lean <phase per row, in pleats> ;
// hem <amplitude>
// A curtain hanging from a rail at x across z0..z1, facing +x, its folds
// deepening from the rail down and leaning a little as they fall.
void op_drape(BuildState &st, const Op &op) {
    accept_params(op, {"rows", "columns", "pleats", "fold", "lean", "hem"});
    const ModelLine &h = op.head;
    recipe_want(h, 3);
    const double x = recipe_number(h, 0), z0 = recipe_number(h, 1), z1 = recipe_number(h, 2);
    const ModelLine *rl = param_once(op, "rows", true), *cl = param_once(op, "columns", true),
                    *pl = param_once(op, "pleats", true), *fl = param_once(op, "fold", true),
                    *ll = param_once(op, "lean", true), *hl = param_once(op, "hem", true);
    std::vector<double> rows = recipe_numbers(*rl, 0), fold = recipe_numbers(*fl, 0), lean = recipe_numbers(*ll, 0);
    if (rows.size() < 2) recipe_fail(*rl, "a drape needs two or more rows");
    if (fold.size() != rows.size()) recipe_fail(*fl, "one fold depth per row");
    if (lean.size() != rows.size()) recipe_fail(*ll, "one lean per row");
    recipe_want(*cl, 1);
    recipe_want(*pl, 1);
    recipe_want(*hl, 1);
    const int cols = recipe_int(*cl, 0);
    if (cols < 2) recipe_fail(*cl, "a drape needs two or more columns");
    const double pleats = recipe_number(*pl, 0), hem = recipe_number(*hl, 0);
    Mesh &m = st.mesh;
    const int32_t first = static_cast<int32_t>(m.pos.size());
    for (size_t r = 0; r < rows.size(); r++)
        for (int c = 0; c < cols; c++) {
            const double u = static_cast<double>(c) / (cols - 1);
            const double th = 2 * PI * (pleats * u + lean[r]);
            // A fold profile with rounded fronts and tighter backs.
            const double f = std::sin(th) + 0.3 * std::sin(2 * th);
            const double y = rows[r] + (r + 1 == rows.size() ? hem * std::cos(th) : 0.0);
            mesh_vertex(m, {x + fold[r] * f, y, z0 + (z1 - z0) * u});
        }
    for (int32_t r = 0; r + 1 < static_cast<int32_t>(rows.size()); r++)
        for (int32_t c = 0; c + 1 < cols; c++) {
            int32_t a = first + r * cols + c;
            mesh_quad(m, a, a + 1, a + cols + 1, a + cols);
        }
}

// face <facing> at <plane> over <a0 a1 b0 b1>: one flat quad.
void op_face(BuildState &st, const Op &op) {
    accept_params(op, {});
    const ModelLine &h = op.head;
    recipe_want(h, 8);
    if (h.args[1] != "at" || h.args[3] != "over") recipe_fail(h, "expected: face <direction> at <plane> over <a0 a1 b0 b1>");
    Facing f = facing_of(h, h.args[0]);
    const int ua = f.axis == 0 ? 1 : 0, ub = f.axis == 2 ? 1 : 2;
    const double at = recipe_number(h, 2), a0 = recipe_number(h, 4), a1 = recipe_number(h, 5), b0 = recipe_number(h, 6),
                 b1 = recipe_number(h, 7);
    std::array<int32_t, 4> q;
    const double corners[4][2] = {{a0, b0}, {a1, b0}, {a1, b1}, {a0, b1}};
    for (int k = 0; k < 4; k++) {
        P3 p;
        coord(p, f.axis) = at;
        coord(p, ua) = corners[k][0];
        coord(p, ub) = corners[k][1];
        q[k] = mesh_vertex(st.mesh, p);
    }
    if (coord(quad_area_vector(st.mesh, q), f.axis) * f.sign < 0) std::swap(q[1], q[3]);
    st.mesh.quads.push_back(q);
}

// like <model> turn <quarter turns>: a model built before, in its local
// coordinates, turned about the y axis ((x, z) to (z, -x) per turn).
void op_like(BuildState &st, const Op &op, const std::vector<BuiltModel> &done) {
    accept_params(op, {});
    const ModelLine &h = op.head;
    recipe_want(h, 3);
    if (h.args[1] != "turn") recipe_fail(h, "expected: like <model> turn <quarter turns>");
    if (!st.mesh.pos.empty()) recipe_fail(h, "like starts a model");
    const BuiltModel *src = nullptr;
    for (const BuiltModel &b : done)
        if (b.name == h.args[0]) src = &b;
    if (!src) recipe_fail(h, "no model " + h.args[0] + " is built before this one");
    st.mesh = src->mesh;
    st.mesh.normal.clear();
    st.mesh.quad_uv.clear();
    const int turns = ((recipe_int(h, 2) % 4) + 4) % 4;
    for (P3 &p : st.mesh.pos)
        for (int t = 0; t < turns; t++) p = {p.z, p.y, -p.x};
    st.local = true;
}

// --- texture ---------------------------------------------------------------

void add_panel(BuildState &st, const ModelLine &l) {
    recipe_want(l, 5);
    if (st.atlas_w <= 0) recipe_fail(l, "panels need the atlas size first");
    for (const Panel &p : st.panels)
        if (p.name == l.args[0]) recipe_fail(l, "panel " + l.args[0] + " is named twice");
    Panel p{l.args[0], recipe_number(l, 1), recipe_number(l, 2), recipe_number(l, 3), recipe_number(l, 4)};
    if (p.x0 < 0 || p.y0 < 0 || p.x1 > st.atlas_w || p.y1 > st.atlas_h || p.x1 < p.x0 || p.y1 < p.y0)
        recipe_fail(l, "the panel does not lie inside the atlas");
    st.panels.push_back(p);
}

size_t panel_index(const BuildState &st, const ModelLine &l, const std::string &name) {
    for (size_t i = 0; i < st.panels.size(); i++)
        if (st.panels[i].name == name) return i;
    recipe_fail(l, "no panel named " + name);
}

// decal <facing>|any <panel> x <x0 x1> y <y0 y1> z <z0 z1>
void add_decal(BuildState &st, const ModelLine &l) {
    recipe_want(l, 11);
    if (l.args[2] != "x" || l.args[5] != "y" || l.args[8] != "z")
        recipe_fail(l, "expected: decal <direction>|any <panel> x <x0 x1> y <y0 y1> z <z0 z1>");
    Decal d;
    d.any = l.args[0] == "any";
    if (!d.any) d.facing = facing_of(l, l.args[0]);
    d.panel = panel_index(st, l, l.args[1]);
    d.lo = {recipe_number(l, 3), recipe_number(l, 6), recipe_number(l, 9)};
    d.hi = {recipe_number(l, 4), recipe_number(l, 7), recipe_number(l, 10)};
    st.decals.push_back(d);
}

// Right and up directions of a face seen from outside, upright for walls.
void face_frame(Facing f, P3 *right, P3 *up) {
    *up = f.axis == 1 ? axis_vector(2, -f.sign) : axis_vector(1, 1);
    *right = cross(*up, axis_vector(f.axis, f.sign));
}

// Per-quad texture coordinates: each quad takes the first decal that faces its
// way and holds its centre, mapped flat onto the decal's panel; every other
// quad takes the plain texel.
void apply_texture(BuildState &st) {
    Mesh &m = st.mesh;
    const Panel &plain = st.panels[panel_index(st, st.plain, st.plain.args[0])];
    const double eps = 1e-6;
    for (const auto &q : m.quads) {
        const P3 n = unit(quad_area_vector(m, q));
        const P3 c = (m.pos[q[0]] + m.pos[q[1]] + m.pos[q[2]] + m.pos[q[3]]) * 0.25;
        const Panel *panel = &plain;
        P3 right, up;
        double r0 = 0, r1 = 1, u0 = 0, u1 = 1;
        for (const Decal &d : st.decals) {
            Facing f = d.facing;
            if (d.any) {
                f.axis = std::fabs(n.x) >= std::fabs(n.y) && std::fabs(n.x) >= std::fabs(n.z) ? 0
                         : std::fabs(n.y) >= std::fabs(n.z)                                     ? 1
                                                                                               : 2;
                f.sign = coord(n, f.axis) >= 0 ? 1 : -1;
            } else if (dot(n, axis_vector(f.axis, f.sign)) < 0.999) {
                continue;
            }
            if (c.x < d.lo.x - eps || c.x > d.hi.x + eps || c.y < d.lo.y - eps || c.y > d.hi.y + eps ||
                c.z < d.lo.z - eps || c.z > d.hi.z + eps)
                continue;
            panel = &st.panels[d.panel];
            face_frame(f, &right, &up);
            const double rr[2] = {dot(d.lo, right), dot(d.hi, right)}, uu[2] = {dot(d.lo, up), dot(d.hi, up)};
            r0 = std::min(rr[0], rr[1]);
            r1 = std::max(rr[0], rr[1]);
            u0 = std::min(uu[0], uu[1]);
            u1 = std::max(uu[0], uu[1]);
            break;
        }
        std::array<double, 8> uv;
        for (int k = 0; k < 4; k++) {
            double fs = 0.5, ft = 0.5;
            if (panel != &plain) {
                fs = std::clamp((dot(m.pos[q[k]], right) - r0) / (r1 - r0), 0.0, 1.0);
                ft = std::clamp((dot(m.pos[q[k]], up) - u0) / (u1 - u0), 0.0, 1.0);
            }
            const double px = panel->x0 + fs * (panel->x1 - panel->x0), py = panel->y0 + (1 - ft) * (panel->y1 - panel->y0);
            uv[2 * k] = px / st.atlas_w;
            uv[2 * k + 1] = 1 - py / st.atlas_h;
        }
        m.quad_uv.push_back(uv);
    }
}

}  // namespace


BuiltModel build_model(const ModelRecipe &r, const std::vector<BuiltModel> &done) {
    BuildState st;
    BuiltModel out;
    out.name = r.name;
    std::vector<Op> ops;
    const ModelLine *translation = nullptr, *bounds = nullptr, *counts = nullptr, *closed = nullptr, *normals = nullptr;
    std::vector<const ModelLine *> fits;
    auto once = [](const ModelLine *&slot, const ModelLine &l) {
        if (slot) recipe_fail(l, l.field + " is given twice");
        slot = &l;
    };
    for (const ModelLine &l : r.lines) {
        if (l.field == "translation") {
            once(translation, l);
        } else if (l.field == "bounds") {
            once(bounds, l);
        } else if (l.field == "counts") {
            once(counts, l);
        } else if (l.field == "closed") {
            once(closed, l);
            recipe_want(l, 0);
        } else if (l.field == "fit") {
            fits.push_back(&l);
        } else if (l.field == "normals") {
            once(normals, l);
            recipe_want(l, 1);
            if (l.args[0] != "area" && l.args[0] != "even") recipe_fail(l, "normals are weighted by area or even");
        } else if (l.field == "atlas") {
            recipe_want(l, 2);
            st.atlas_w = recipe_number(l, 0);
            st.atlas_h = recipe_number(l, 1);
            if (st.atlas_w <= 0 || st.atlas_h <= 0) recipe_fail(l, "the atlas needs a positive size");
        } else if (l.field == "panel") {
            add_panel(st, l);
        } else if (l.field == "decal") {
            add_decal(st, l);
        } else if (l.field == "plain") {
            recipe_want(l, 1);
            panel_index(st, l, l.args[0]);
            st.plain = l;
            st.has_plain = true;
        } else if (OP_FIELDS.count(l.field)) {
            ops.push_back({l, {}});
        } else if (!ops.empty() && (PARAM_FIELDS.count(l.field) || TREE_PARAM_FIELDS.count(l.field))) {
            ops.back().params.push_back(l);
        } else {
            recipe_fail(l, "unknown statement '" + l.field + "'");
        }
    }
    if (!translation) recipe_fail(r.head, "model " + r.name + " has no translation");
    if (!counts) recipe_fail(r.head, "model " + r.name + " has no counts");
    if (ops.empty()) recipe_fail(r.head, "model " + r.name + " has no shape");
    recipe_want(*translation, 3);
    for (int a = 0; a < 3; a++) {
        coord(out.translation, a) = recipe_number(*translation, a);
        out.translation_text[a] = translation->args[a];
    }
    if (st.atlas_w > 0 && !st.has_plain) recipe_fail(r.head, "a textured model needs a plain panel");

    for (const Op &op : ops) {
        const std::string &f = op.head.field;
        if (f != "like" && st.local) recipe_fail(op.head, "nothing can be added to a copied model");
        if (f == "lines") op_lines(st, op);
        else if (f == "box") op_box(st, op);
        else if (f == "round") op_round(st, op);
        else if (f == "extrude") op_extrude(st, op);
        else if (f == "sprout") op_sprout(st, op);
        else if (f == "lathe") op_lathe(st, op);
        else if (f == "plate") op_plate(st, op);
        else if (f == "ribbon") op_ribbon(st, op);
        else if (f == "slab") op_slab(st, op);
        else if (f == "legs") op_legs(st, op);
        else if (f == "drape") op_drape(st, op);
        else if (f == "face") op_face(st, op);
        else if (f == "like") op_like(st, op, done);
        else build_tree(st.mesh, op.head, op.params);
    }
    if (st.mesh.pos.empty()) recipe_fail(r.head, "model " + r.name + " has no vertices");

    if (st.atlas_w > 0) apply_texture(st);
    if (!st.local)
        for (P3 &p : st.mesh.pos) p = p - out.translation;
    if (bounds) {
        recipe_want(*bounds, 6);
        P3 lo{recipe_number(*bounds, 0), recipe_number(*bounds, 2), recipe_number(*bounds, 4)};
        P3 hi{recipe_number(*bounds, 1), recipe_number(*bounds, 3), recipe_number(*bounds, 5)};
        std::string problem = mesh_fit(st.mesh, lo, hi, FIT_TOLERANCE);
        if (!problem.empty()) recipe_fail(*bounds, problem);
    }
    for (const ModelLine *f : fits) {
        recipe_want(*f, 3);
        if (bounds) recipe_fail(*f, "bounds already fit every axis");
        std::string problem = mesh_fit_axis(st.mesh, axis_of(*f, f->args[0]), recipe_number(*f, 1), recipe_number(*f, 2),
                                            FIT_TOLERANCE);
        if (!problem.empty()) recipe_fail(*f, problem);
    }
    mesh_normals(st.mesh, normals && normals->args[0] == "even");

    recipe_want(*counts, 3);
    const long want[3] = {recipe_int(*counts, 0), recipe_int(*counts, 1), recipe_int(*counts, 2)};
    const long got[3] = {static_cast<long>(st.mesh.tris.size()), static_cast<long>(st.mesh.quads.size()),
                         static_cast<long>(st.mesh.pos.size())};
    if (want[0] != got[0] || want[1] != got[1] || want[2] != got[2])
        recipe_fail(*counts, "the shape has " + std::to_string(got[0]) + " triangles, " + std::to_string(got[1]) +
                                 " quads and " + std::to_string(got[2]) + " vertices");
    if (closed) {
        std::string problem = mesh_closure_problem(st.mesh);
        if (!problem.empty()) recipe_fail(*closed, "the surface is not closed: " + problem);
        if (!(mesh_volume(st.mesh) > 0)) recipe_fail(*closed, "the surface faces inwards");
    }
    for (const auto &q : st.mesh.quads)
        if (length(quad_area_vector(st.mesh, q)) < 1e-12) recipe_fail(r.head, "a quad of " + r.name + " has no area");
    for (const auto &t : st.mesh.tris)
        if (length(tri_area_vector(st.mesh, t)) < 1e-12) recipe_fail(r.head, "a triangle of " + r.name + " has no area");
    out.mesh = std::move(st.mesh);
    return out;
}

std::vector<BuiltModel> build_models(const std::vector<ModelRecipe> &recipes) {
    std::vector<BuiltModel> built;
    for (int i = 0; i < MODEL_TOTAL; i++) {
        const ModelRecipe *r = nullptr;
        for (const ModelRecipe &c : recipes)
            if (c.name == MODEL_NAMES[i]) {
                if (r) recipe_fail(c.head, "model " + c.name + " is described twice");
                r = &c;
            }
        if (!r) {
            ModelLine none;
            none.file = recipes.empty() ? std::string("recipes") : recipes.front().head.file;
            recipe_fail(none, std::string("no recipe describes the model ") + MODEL_NAMES[i]);
        }
        built.push_back(build_model(*r, built));
    }
    for (const ModelRecipe &c : recipes) {
        bool known = false;
        for (const char *n : MODEL_NAMES) known = known || c.name == n;
        if (!known) recipe_fail(c.head, "the show has no model named " + c.name);
    }
    return built;
}

static void pad16(std::string &s) {
    while (s.size() % 16) s.push_back('\0');
}

template <class T>
static void put(std::string &s, const T &v) {
    char bytes[sizeof(T)];
    std::memcpy(bytes, &v, sizeof(T));
    s.append(bytes, sizeof(T));
}

static const char *ORIGIN = "Generated by tools/modelgen from data/models/*.txt; do not edit.";

struct Offsets {
    size_t verts, tris, quads, uv;
};

static std::vector<Offsets> layout(const std::vector<BuiltModel> &models, std::string *blob) {
    std::string s(ORIGIN);
    s.resize(127, ' ');
    s.push_back('\n');
    std::vector<Offsets> out;
    for (const BuiltModel &b : models) {
        const Mesh &m = b.mesh;
        Offsets o{};
        pad16(s);
        o.verts = s.size();
        for (size_t i = 0; i < m.pos.size(); i++)
            for (double v : {m.pos[i].x, m.pos[i].y, m.pos[i].z, m.normal[i].x, m.normal[i].y, m.normal[i].z}) put(s, v);
        if (!m.tris.empty()) {
            pad16(s);
            o.tris = s.size();
            for (const auto &t : m.tris)
                for (int32_t v : t) put(s, v);
        }
        if (!m.quads.empty()) {
            pad16(s);
            o.quads = s.size();
            for (const auto &q : m.quads)
                for (int32_t v : q) put(s, v);
        }
        if (!m.quad_uv.empty()) {
            pad16(s);
            o.uv = s.size();
            for (const auto &uv : m.quad_uv)
                for (double v : uv) put(s, v);
        }
        out.push_back(o);
    }
    pad16(s);
    if (blob) *blob = s;
    return out;
}

std::string models_blob(const std::vector<BuiltModel> &models) {
    std::string s;
    layout(models, &s);
    return s;
}

std::string models_table(const std::vector<BuiltModel> &models) {
    std::vector<Offsets> off = layout(models, nullptr);
    std::string s = std::string("// ") + ORIGIN + "\n";
    for (size_t i = 0; i < models.size(); i++) {
        const BuiltModel &b = models[i];
        const Offsets &o = off[i];
        s += "{\"" + b.name + "\", {" + b.translation_text[0] + ", " + b.translation_text[1] + ", " +
             b.translation_text[2] + "}, " + std::to_string(b.mesh.pos.size()) + ", " +
             std::to_string(b.mesh.tris.size()) + ", " + std::to_string(b.mesh.quads.size()) + ", " +
             std::to_string(o.verts) + "u, " + std::to_string(o.tris) + "u, " + std::to_string(o.quads) + "u, " +
             std::to_string(o.uv) + "u},\n";
    }
    return s;
}
