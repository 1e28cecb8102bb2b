// Painters for the pictures that scenes read directly.
//
// The drawn shapes (reel, flower, corner mask) are written as signed distance
// functions, negative inside, and sampled SUPERSAMPLE x SUPERSAMPLE times per
// pixel, so their edges are anti-aliased the same way on every build. The
// reel's and the flower's shading comes from the same functions: a numeric
// gradient of the distance gives the direction an edge faces, which lights
// bevels from the upper left.
//
// The relief is a height field in final grey levels. Its normal map is made
// from differences of neighbouring bytes, so every step of one level already
// tilts a normal by 45 degrees: the faces are kept flat apart from a grain
// of small, sparse steps, and all real shape lives in steep shoulders and
// grooves several levels per pixel deep.
#include "tools/imagegen_scene.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {

constexpr int SUPERSAMPLE = 4;
constexpr double PI = 3.14159265358979323846;
constexpr double GOLDEN_ANGLE = 2.399963229728653;  // pi (3 - sqrt 5)

// Calls sample(x, y) at SUPERSAMPLE^2 points per pixel (picture pixels, row 0
// at the top, pixel centres at +0.5) and averages the colours it returns.
template <typename Sample>
Canvas supersample(int w, int h, Sample sample) {
    Canvas c = canvas_make(w, h, Rgb{});
    const double step = 1.0 / SUPERSAMPLE, weight = 1.0 / (SUPERSAMPLE * SUPERSAMPLE);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            Rgb sum{};
            for (int j = 0; j < SUPERSAMPLE; j++)
                for (int i = 0; i < SUPERSAMPLE; i++) {
                    Rgb s = sample(x + (i + 0.5) * step, y + (j + 0.5) * step);
                    sum = Rgb{sum.r + s.r, sum.g + s.g, sum.b + s.b};
                }
            canvas_at(c, x, y) = rgb_scale(sum, weight);
        }
    return c;
}

Rgb grey(double g) { return Rgb{g, g, g}; }

// Distance to the intersection of regions given by their distances d[i]
// (negative inside), with every convex corner rounded to radius round.
double rounded_intersection(const double *d, int n, double round) {
    double outside = 0, inside = -1e9;
    for (int i = 0; i < n; i++) {
        double e = d[i] + round;
        if (e > 0) outside += e * e;
        inside = std::max(inside, e);
    }
    return std::sqrt(outside) + std::min(inside, 0.0) - round;
}

// Unit direction in which f grows at (x, y) (the way an edge faces).
template <typename F>
void gradient_dir(F f, double x, double y, double h, double *gx, double *gy) {
    double dx = f(x + h, y) - f(x - h, y), dy = f(x, y + h) - f(x, y - h);
    double len = std::hypot(dx, dy);
    *gx = len > 0 ? dx / len : 0;
    *gy = len > 0 ? dy / len : 0;
}

// Light comes from the upper left of the picture (row 0 at the top).
constexpr double LIGHT_X = -0.70710678118654752, LIGHT_Y = -0.70710678118654752;

double arg(const Recipe &r, const char *field, size_t i) {
    const RecipeLine *l = recipe_find(r, field);
    if (!l) recipe_fail(r, 0, (std::string("missing field ") + field).c_str());
    return recipe_arg_number(r, *l, i);
}

// --- the film reel -------------------------------------------------------------

// The flange of a film reel: a pressed metal disc with a rolled rim, spokes of
// constant width between rounded windows, a lightening hole in each spoke and
// a keyed spindle hole. Lengths are in disc units (1 = half the picture).
struct Reel {
    double radius, lip;
    int windows;
    double win_in, win_out, spoke_half, rounding;
    double hole_at, hole_radius;
    double hub_in, hub_out, spindle;
    double metal, rim_metal;
};

// Distance to the window between the spokes at angles a0 - pi/n and a0 + pi/n.
double reel_window(const Reel &k, double x, double y, double a0) {
    const double half = PI / k.windows;
    double c = std::cos(a0), s = std::sin(a0);
    double px = x * c + y * s, py = -x * s + y * c;  // window now centred on +x
    double sh = std::sin(half), ch = std::cos(half);
    double d[4] = {
        k.spoke_half - (px * sh - py * ch),  // clear of the spoke at +half
        k.spoke_half - (px * sh + py * ch),  // clear of the spoke at -half
        k.win_in - std::hypot(px, py),
        std::hypot(px, py) - k.win_out,
    };
    return rounded_intersection(d, 4, k.rounding);
}

// Signed distance to the metal of the flange: negative on metal.
double reel_metal(const Reel &k, double x, double y) {
    double r = std::hypot(x, y);
    double hole = r - k.spindle;
    // The key notch of the spindle hole points along +x.
    double notch[3] = {std::fabs(y) - k.spindle * 0.35, k.spindle * 0.2 - x, x - k.spindle * 1.45};
    hole = std::min(hole, rounded_intersection(notch, 3, 0.005));
    for (int i = 0; i < k.windows; i++) {
        double a = (i + 0.5) * 2 * PI / k.windows;
        hole = std::min(hole, reel_window(k, x, y, a));
        double spoke = i * 2 * PI / k.windows;
        hole = std::min(hole, std::hypot(x - k.hole_at * std::cos(spoke), y - k.hole_at * std::sin(spoke)) - k.hole_radius);
    }
    return std::max(r - k.radius, -hole);
}

Canvas paint_reel(const Recipe &r) {
    Reel k;
    k.radius = recipe_number_required(r, "radius");
    k.lip = recipe_number_required(r, "lip");
    k.windows = static_cast<int>(arg(r, "windows", 0));
    k.win_in = arg(r, "windows", 1);
    k.win_out = arg(r, "windows", 2);
    k.spoke_half = arg(r, "windows", 3);
    k.rounding = arg(r, "windows", 4);
    k.hole_at = arg(r, "spoke_holes", 0);
    k.hole_radius = arg(r, "spoke_holes", 1);
    k.hub_in = arg(r, "hub", 0);
    k.hub_out = arg(r, "hub", 1);
    k.spindle = recipe_number_required(r, "spindle");
    k.metal = arg(r, "metal", 0);
    k.rim_metal = arg(r, "metal", 1);
    if (k.windows < 2 || k.radius > 1.0 || k.win_out >= k.lip)
        recipe_fail(r, recipe_find(r, "windows")->line_no, "windows must be at least two and lie inside the rim");

    const double half = r.width * 0.5, px = 1.0 / half;
    auto metal = [&](double x, double y) { return reel_metal(k, x, y); };
    return supersample(r.width, r.height, [&](double sx, double sy) {
        double x = (sx - half) / half, y = (sy - half) / half;
        double d = metal(x, y);
        if (d > 0) return Rgb{};
        double rr = std::hypot(x, y);
        double level = k.metal;
        if (rr > k.lip) level = k.rim_metal;
        else if (rr > k.hub_in && rr < k.hub_out) level = 0.5 * (k.metal + k.rim_metal);
        // Pressed seams where the rim and the hub ring meet the plate.
        for (double seam : {k.lip, k.hub_out, k.hub_in})
            level -= 0.14 * std::exp(-std::pow((rr - seam) / (0.9 * px), 2));
        // Fine concentric lines, as on spun metal.
        level += 0.02 * std::sin(rr * 130.0);
        // Bevels: within two pixels of an edge the metal slopes down into the
        // hole; the slopes that face the light brighten, the others darken.
        double band = clamp01(1.0 + d / (2.0 * px));
        if (band > 0) {
            double gx, gy;
            gradient_dir(metal, x, y, 0.5 * px, &gx, &gy);
            level += 0.3 * band * (gx * LIGHT_X + gy * LIGHT_Y);
        }
        return grey(level);
    });
}

// --- the flower ----------------------------------------------------------------

struct PetalRing {
    int count;
    double tip, half_width, turn;
    double brightness;
};

// Shade of the petal ring at (x, y) from the flower's centre, or -1 off its
// petals. Each petal is an ellipse from near the centre out to the tip.
double petal_shade(const PetalRing &p, double x, double y, double *along) {
    const double base = 2.0;
    double centre = 0.5 * (p.tip + base), len = 0.5 * (p.tip - base);
    double full = std::atan2(y, x), a = full - p.turn;
    double step = 2 * PI / p.count;
    a -= step * std::round(a / step);  // angle from the nearest petal's axis
    double axis = full - a;
    double rr = std::hypot(x, y);
    double lx = rr * std::cos(a) - centre, ly = rr * std::sin(a);
    double q = (lx / len) * (lx / len) + (ly / p.half_width) * (ly / p.half_width);
    if (q > 1.0) return -1;
    *along = clamp01((rr - base) / (p.tip - base));
    double vein = 1.0 - 0.12 * std::exp(-ly * ly / 0.8) * smoothstep(0.15, 0.4, *along);
    double rim = q > 0.75 ? 1.0 - 0.25 * (q - 0.75) / 0.25 : 1.0;
    // Light from the upper left falls on the side of each petal facing it.
    double side = ly / p.half_width * (-std::sin(axis) * LIGHT_X + std::cos(axis) * LIGHT_Y);
    return p.brightness * vein * rim * (1.0 + 0.06 * side);
}

Canvas paint_flower(const Recipe &r) {
    auto ring = [&](const char *field) {
        return PetalRing{static_cast<int>(arg(r, field, 0)), arg(r, field, 1), arg(r, field, 2), arg(r, field, 3),
                         arg(r, field, 4)};
    };
    PetalRing front = ring("front"), back = ring("back");
    const RecipeLine *pl = recipe_find(r, "petal");
    const RecipeLine *cl = recipe_find(r, "centre");
    if (!pl || !cl) recipe_fail(r, 0, "missing petal or centre");
    Rgb tip = recipe_arg_colour(r, *pl, 0), root = recipe_arg_colour(r, *pl, 1);
    double centre_radius = recipe_arg_number(r, *cl, 0);
    Rgb yellow = recipe_arg_colour(r, *cl, 1), dots = recipe_arg_colour(r, *cl, 2);
    int dot_count = static_cast<int>(recipe_arg_number(r, *cl, 3));
    const double cx = r.width * 0.5, cy = r.height * 0.5;

    return supersample(r.width, r.height, [&](double sx, double sy) {
        double x = sx - cx, y = sy - cy, rr = std::hypot(x, y);
        if (rr <= centre_radius) {
            // A domed disc of florets: darker towards its edge, lit from the
            // upper left, with stamens set on the sunflower spiral.
            Rgb c = rgb_scale(yellow, 1.0 - 0.35 * smoothstep(0.6, 1.0, rr / centre_radius));
            c = rgb_scale(c, 1.0 + 0.18 * (x * LIGHT_X + y * LIGHT_Y) / centre_radius);
            for (int i = 1; i <= dot_count; i++) {
                double dr = centre_radius * 0.82 * std::sqrt((i - 0.5) / dot_count), da = i * GOLDEN_ANGLE;
                if (std::hypot(x - dr * std::cos(da), y - dr * std::sin(da)) < 0.75) return dots;
            }
            return c;
        }
        double along = 0;
        double s = petal_shade(front, x, y, &along);
        if (s < 0) s = petal_shade(back, x, y, &along);
        if (s < 0) return Rgb{};
        // Petals pale from a cool shadow at their roots to white at the tips.
        return rgb_scale(rgb_mix(root, tip, smoothstep(0.0, 0.55, along)), s);
    });
}

// --- the letterbox corner mask ------------------------------------------------

// White in the corner at texture (0, 0), dark elsewhere. The dark shape is a
// disc about the opposite corner, its radius the full picture plus bumps that
// die out at both ends, so the two far edges stay dark and the white tapers
// to nothing where it meets them: the bar edge and the screen edge run on
// without a step.
Canvas paint_corner_mask(const Recipe &r) {
    const double size = r.width;
    double soft = recipe_number_required(r, "soft");
    int bumps = static_cast<int>(arg(r, "bumps", 0));
    double bump_height = arg(r, "bumps", 1);
    uint64_t seed = static_cast<uint64_t>(recipe_number_required(r, "seed"));
    if (r.width != r.height) recipe_fail(r, 0, "the corner mask must be square");

    return supersample(r.width, r.height, [&](double sx, double sy) {
        // Texture coordinates in pixels: s to the right, t up from the bottom row.
        double s = sx, t = size - sy;
        double dx = size - s, dy = size - t;  // towards the dark disc's centre
        double dist = std::hypot(dx, dy);
        double along = clamp01(std::atan2(dx, dy) / (PI / 2));  // 0 to 1 across the quarter
        double envelope = std::pow(std::sin(PI * along), 2);
        double wobble = 0.5 + 0.5 * std::sin(bumps * PI * along * 2.0 - PI / 2) +
                        0.35 * periodic_fbm(along, 0.5, 4, 2, 0.5, seed);
        double edge = size + bump_height * envelope * std::max(0.0, wobble);
        return grey(smoothstep(edge, edge + soft, dist));
    });
}

// --- the tunnel relief ---------------------------------------------------------

// Depth of a carved motif at (x, y) from its centre, in units of its radius:
// grooves with a rounded section, 1 at the bottom of a groove.
double carving_depth(const std::string &motif, double x, double y, double groove) {
    double rr = std::hypot(x, y);
    auto section = [&](double d) { return d < groove ? 1.0 - (d / groove) * (d / groove) : 0.0; };
    if (motif == "ring") {
        double outer = section(std::fabs(rr - 0.85)), inner = section(std::fabs(rr - 0.45));
        return std::max(std::max(outer, inner), section(rr) * 0.8);
    }
    if (motif == "spiral") {
        if (rr > 0.95) return section(rr - 0.95);
        // Archimedean spiral r = pitch * angle: distance to the nearest turn.
        const double pitch = 0.3 / (2 * PI);
        double a = std::atan2(y, x);
        if (a < 0) a += 2 * PI;
        double turns = std::round((rr / pitch - a) / (2 * PI));
        double d = std::fabs(rr - pitch * (a + 2 * PI * std::max(0.0, turns)));
        return section(d);
    }
    return -1;
}

// Width of the steep wall between the mortar and a stone's rounded shoulder.
constexpr double WALL_PX = 1.5;

struct Carving {
    int course, block;
    std::string motif;
};

Canvas paint_relief(const Recipe &r) {
    const int w = r.width, h = r.height;
    const uint64_t seed = static_cast<uint64_t>(recipe_number_required(r, "seed"));
    const int courses = static_cast<int>(recipe_number_required(r, "courses"));
    const int blocks = static_cast<int>(recipe_number_required(r, "blocks"));
    const double joint = recipe_number_required(r, "joint");
    const double round_drop = arg(r, "shoulder", 0), bevel = arg(r, "shoulder", 1);
    const double mortar = arg(r, "levels", 0), face = arg(r, "levels", 1), spread = arg(r, "levels", 2);
    const double grain = recipe_number_required(r, "grain");
    const double chip_threshold = arg(r, "chips", 0), chip_depth = arg(r, "chips", 1);
    const double carve_depth = arg(r, "carve", 0), carve_groove = arg(r, "carve", 1);
    const int top = static_cast<int>(recipe_number_required(r, "top"));
    if (courses < 2 || courses % 2 || h % courses || blocks < 1 || w % (2 * blocks))
        recipe_fail(r, recipe_find(r, "courses")->line_no,
                    "courses must be even and divide the height, blocks must fit in halves across the width");
    std::vector<Carving> carvings;
    for (const RecipeLine *l : recipe_all(r, "carving")) {
        if (l->args.size() != 3) recipe_fail(r, l->line_no, "carving needs a course, a block and a motif");
        carvings.push_back(Carving{static_cast<int>(recipe_arg_number(r, *l, 0)),
                                   static_cast<int>(recipe_arg_number(r, *l, 1)), l->args[2]});
        if (carving_depth(l->args[2], 0, 0, 0.1) < 0) recipe_fail(r, l->line_no, "motif must be ring or spiral");
    }
    const double course_h = double(h) / courses, block_w = double(w) / blocks;

    std::vector<double> height(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            double px = x + 0.5, py = y + 0.5, u = px / w, v = py / h;
            // Running bond: every other course is shifted by half a block.
            int course = static_cast<int>(py / course_h);
            double shifted = px + (course % 2) * block_w * 0.5;
            int block = static_cast<int>(std::floor(shifted / block_w)) % blocks;
            double lx = std::fmod(shifted, block_w), ly = py - course * course_h;
            double edge = std::min(std::min(lx, block_w - lx), std::min(ly, course_h - ly)) - joint;

            uint64_t id = hash_cell(course, block, seed);
            double block_face = face + spread * (2.0 * hash_unit(id) - 1.0);
            // Mortar: low and gritty.
            double z = mortar + 0.5 * grain * periodic_fbm(u, v, 32, 2, 0.5, seed + 3);
            if (edge > 0) {
                // A short steep wall out of the mortar, then a rounded
                // shoulder up to the flat face.
                double wall = clamp01(edge / WALL_PX), t = clamp01((edge - WALL_PX) / bevel);
                double shoulder = (1.0 - round_drop) * wall + round_drop * (1.0 - (1.0 - t) * (1.0 - t));
                double stone = block_face + grain * periodic_fbm(u, v, 16, 3, 0.6, seed + id % 997);
                // Chipped hollows, mostly near the edges where stone breaks.
                double chip = periodic_fbm(u, v, 8, 3, 0.5, seed + 17 + id % 389);
                double near_edge = std::exp(-edge / 9.0);
                double hollow = smoothstep(chip_threshold, chip_threshold + 0.15, chip + 0.35 * near_edge);
                stone -= chip_depth * hollow;
                for (const Carving &c : carvings)
                    if (c.course == course && c.block == block) {
                        double radius = 0.5 * course_h - joint - bevel * 0.5;
                        double d = carving_depth(c.motif, (lx - block_w * 0.5) / radius, (ly - course_h * 0.5) / radius,
                                                 carve_groove / radius);
                        stone -= carve_depth * d;
                    }
                z = mortar + (stone - mortar) * shoulder;
            }
            height[static_cast<size_t>(y) * w + x] = z;
        }

    // Spread the heights over exactly 0..top.
    auto [lo, hi] = std::minmax_element(height.begin(), height.end());
    double low = *lo, span = *hi - *lo;
    Canvas c = canvas_make(w, h, Rgb{});
    for (size_t i = 0; i < height.size(); i++) {
        double level = std::lround((height[i] - low) / span * top);
        c.px[i] = grey(level / 255.0);
    }
    return c;
}

// --- blocky lettering ---------------------------------------------------------

struct Glyph {
    std::string name;
    std::vector<std::string> rows;
    int line_no;
};

// One character per cell, each glyph a grid of square blocks given in the
// recipe as "glyph <char>" followed by "row" lines of X (ink) and . (black).
Canvas paint_block_text(const Recipe &r) {
    const std::string text = recipe_text(r, "text");
    const int cell_w = static_cast<int>(arg(r, "cell", 0)), cell_h = static_cast<int>(arg(r, "cell", 1));
    const int block = static_cast<int>(recipe_number_required(r, "block"));
    std::vector<Glyph> glyphs;
    for (const RecipeLine &l : r.lines) {
        if (l.field == "glyph") {
            if (l.args.size() != 1 || l.args[0].size() != 1) recipe_fail(r, l.line_no, "glyph names one character");
            glyphs.push_back(Glyph{l.args[0], {}, l.line_no});
        } else if (l.field == "row") {
            if (glyphs.empty() || l.args.size() != 1) recipe_fail(r, l.line_no, "row needs one string after a glyph");
            if (l.args[0].find_first_not_of("X.") != std::string::npos) recipe_fail(r, l.line_no, "row holds X and . only");
            glyphs.back().rows.push_back(l.args[0]);
        }
    }
    if (static_cast<int>(text.size()) * cell_w != r.width || cell_h != r.height)
        recipe_fail(r, recipe_find(r, "text")->line_no, "the cells must fill the picture exactly");

    Canvas c = canvas_make(r.width, r.height, Rgb{});
    for (size_t i = 0; i < text.size(); i++) {
        const Glyph *g = nullptr;
        for (const Glyph &cand : glyphs)
            if (cand.name[0] == text[i]) g = &cand;
        if (!g) recipe_fail(r, recipe_find(r, "text")->line_no, "a character of the text has no glyph");
        const int rows = static_cast<int>(g->rows.size()), cols = rows ? static_cast<int>(g->rows[0].size()) : 0;
        for (const std::string &row : g->rows)
            if (static_cast<int>(row.size()) != cols) recipe_fail(r, g->line_no, "glyph rows differ in length");
        if (rows == 0 || cols * block > cell_w || rows * block > cell_h)
            recipe_fail(r, g->line_no, "glyph does not fit its cell");
        // Centred in the cell, on whole pixels, so ink is pure white.
        const int ox = static_cast<int>(i) * cell_w + (cell_w - cols * block) / 2, oy = (cell_h - rows * block) / 2;
        for (int gy = 0; gy < rows; gy++)
            for (int gx = 0; gx < cols; gx++)
                if (g->rows[gy][gx] == 'X')
                    for (int y = 0; y < block; y++)
                        for (int x = 0; x < block; x++) canvas_at(c, ox + gx * block + x, oy + gy * block + y) = grey(1.0);
    }
    return c;
}

}  // namespace

bool paint_scene_picture(const Recipe &r, const std::string &kind, Canvas *c) {
    if (kind == "reel") *c = paint_reel(r);
    else if (kind == "flower") *c = paint_flower(r);
    else if (kind == "corner_mask") *c = paint_corner_mask(r);
    else if (kind == "relief") *c = paint_relief(r);
    else if (kind == "block_text") *c = paint_block_text(r);
    else return false;
    return true;
}
