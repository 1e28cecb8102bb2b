// The painters of the image generator, one per recipe kind.
//
// Tileable surfaces (plasma, soft_gradient, haze) are built only from
// periodic_fbm evaluated at tile coordinates u, v in 0..1, and any domain
// warp adds a periodic offset, so the right edge continues into the left and
// the bottom into the top without a seam. Hard-edged drawings (gifts, shapes,
// sparkles) are painted at a multiple of the final size and box-filtered down,
// which anti-aliases every edge the same way on every build.
#include "tools/imagegen_paint.h"

#include "tools/image_text.h"
#include "tools/imagegen_scene.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {

constexpr int SUPERSAMPLE = 4;

double frac(double v) { return v - std::floor(v); }

// Colour at t in 0..1 along evenly spaced stops.
Rgb palette_at(const std::vector<Rgb> &stops, double t) {
    if (stops.size() == 1) return stops[0];
    double f = clamp01(t) * (stops.size() - 1);
    size_t i = std::min(static_cast<size_t>(f), stops.size() - 2);
    return rgb_mix(stops[i], stops[i + 1], f - i);
}

std::vector<Rgb> colour_list(const Recipe &r, const char *field, size_t at_least) {
    const RecipeLine *l = recipe_find(r, field);
    if (!l) recipe_fail(r, 0, field);
    if (l->args.size() < at_least) recipe_fail(r, l->line_no, "too few colours");
    std::vector<Rgb> out;
    for (size_t i = 0; i < l->args.size(); i++) out.push_back(recipe_arg_colour(r, *l, i));
    return out;
}

uint64_t seed_of(const Recipe &r) { return static_cast<uint64_t>(recipe_number_required(r, "seed")); }

// Non-repeating fbm over picture pixels: a periodic field whose period (1024
// pixels) is larger than any picture.
double plain_fbm(double x, double y, double cell_px, int octaves, uint64_t seed) {
    int cells = std::max(1, static_cast<int>(std::lround(1024.0 / cell_px)));
    return periodic_fbm(x / 1024.0, y / 1024.0, cells, octaves, 0.5, seed);
}

// --- affine faces, polygons and ellipses on a supersampled canvas ------------

struct Face {
    double ox, oy, e1x, e1y, e2x, e2y;
};

// Face coordinates (s, t) of a point; true when it lies on the face.
bool face_local(const Face &f, double x, double y, double *s, double *t) {
    double det = f.e1x * f.e2y - f.e1y * f.e2x;
    double dx = x - f.ox, dy = y - f.oy;
    *s = (dx * f.e2y - dy * f.e2x) / det;
    *t = (f.e1x * dy - f.e1y * dx) / det;
    return *s >= 0 && *s <= 1 && *t >= 0 && *t <= 1;
}

// Calls shade(s, t) for every sample of the big canvas on the face; the face
// is given in final-picture pixels.
template <typename Shade>
void paint_face(Canvas &big, const Face &f, Shade shade) {
    double xs[4] = {f.ox, f.ox + f.e1x, f.ox + f.e2x, f.ox + f.e1x + f.e2x};
    double ys[4] = {f.oy, f.oy + f.e1y, f.oy + f.e2y, f.oy + f.e1y + f.e2y};
    int x0 = std::max(0, static_cast<int>(std::floor(*std::min_element(xs, xs + 4) * SUPERSAMPLE)));
    int x1 = std::min(big.w - 1, static_cast<int>(std::ceil(*std::max_element(xs, xs + 4) * SUPERSAMPLE)));
    int y0 = std::max(0, static_cast<int>(std::floor(*std::min_element(ys, ys + 4) * SUPERSAMPLE)));
    int y1 = std::min(big.h - 1, static_cast<int>(std::ceil(*std::max_element(ys, ys + 4) * SUPERSAMPLE)));
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++) {
            double s, t;
            if (face_local(f, (x + 0.5) / SUPERSAMPLE, (y + 0.5) / SUPERSAMPLE, &s, &t))
                canvas_at(big, x, y) = shade(s, t);
        }
}

struct Pt {
    double x, y;
};

bool inside_polygon(const std::vector<Pt> &poly, double x, double y) {
    bool in = false;
    for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
        const Pt &a = poly[i], &b = poly[j];
        if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x) in = !in;
    }
    return in;
}

void fill_polygon(Canvas &big, const std::vector<Pt> &poly, Rgb colour) {
    double minx = 1e9, maxx = -1e9, miny = 1e9, maxy = -1e9;
    for (const Pt &p : poly) {
        minx = std::min(minx, p.x);
        maxx = std::max(maxx, p.x);
        miny = std::min(miny, p.y);
        maxy = std::max(maxy, p.y);
    }
    int x0 = std::max(0, static_cast<int>(minx * SUPERSAMPLE)), x1 = std::min(big.w - 1, static_cast<int>(maxx * SUPERSAMPLE) + 1);
    int y0 = std::max(0, static_cast<int>(miny * SUPERSAMPLE)), y1 = std::min(big.h - 1, static_cast<int>(maxy * SUPERSAMPLE) + 1);
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++)
            if (inside_polygon(poly, (x + 0.5) / SUPERSAMPLE, (y + 0.5) / SUPERSAMPLE)) canvas_at(big, x, y) = colour;
}

// Replaces each sample inside a rotated ellipse by shade(q, ly, current),
// where q is the implicit value (0 at the centre, 1 on the rim), ly the local
// vertical position in -1..1 and current the sample's colour so far.
template <typename Shade>
void paint_ellipse(Canvas &big, double cx, double cy, double a, double b, double angle, Shade shade) {
    double r = std::max(a, b);
    double c = std::cos(angle), s = std::sin(angle);
    int x0 = std::max(0, static_cast<int>((cx - r) * SUPERSAMPLE)), x1 = std::min(big.w - 1, static_cast<int>((cx + r) * SUPERSAMPLE) + 1);
    int y0 = std::max(0, static_cast<int>((cy - r) * SUPERSAMPLE)), y1 = std::min(big.h - 1, static_cast<int>((cy + r) * SUPERSAMPLE) + 1);
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++) {
            double dx = (x + 0.5) / SUPERSAMPLE - cx, dy = (y + 0.5) / SUPERSAMPLE - cy;
            double lx = (dx * c + dy * s) / a, ly = (-dx * s + dy * c) / b;
            double q = lx * lx + ly * ly;
            if (q <= 1.0) canvas_at(big, x, y) = shade(q, ly, canvas_at(big, x, y));
        }
}

// --- gifts -----------------------------------------------------------------------

struct GiftBox {
    double x, y, w, h, dx, dy;
    Rgb paper, pattern_colour, ribbon;
    enum { PLAIN, DOTS, STRIPES } pattern;
};

Rgb gift_paper(const GiftBox &g, double a, double b) {
    if (g.pattern == GiftBox::DOTS) {
        const double pitch = 11.0, radius = 2.4;
        double row = std::floor(b / pitch);
        double ax = a + (static_cast<int64_t>(row) % 2 ? pitch * 0.5 : 0.0);
        double du = frac(ax / pitch) - 0.5, dv = frac(b / pitch) - 0.5;
        if (std::hypot(du, dv) * pitch < radius) return g.pattern_colour;
    } else if (g.pattern == GiftBox::STRIPES) {
        if (frac((a + b) / 10.0) < 0.38) return g.pattern_colour;
    }
    return g.paper;
}

// Ribbon colour with a soft highlight along its middle; d is the signed
// distance from the ribbon's centre line, half its half-width.
Rgb ribbon_shade(Rgb ribbon, double d, double half) {
    double k = 1.0 - std::fabs(d) / half;
    return rgb_mix(rgb_scale(ribbon, 0.86), rgb_mix(ribbon, Rgb{1, 1, 1}, 0.25), k);
}

Rgb face_light(Rgb c, double light) {
    return light >= 1.0 ? rgb_mix(c, Rgb{1, 1, 1}, light - 1.0) : rgb_scale(c, light);
}

// Darkens a thin line along a face's border so adjoining faces read apart.
Rgb edge_line(Rgb c, double s, double t, double len1, double len2) {
    double d = std::min(std::min(s * len1, (1 - s) * len1), std::min(t * len2, (1 - t) * len2));
    return d < 0.7 ? rgb_scale(c, 0.62) : c;
}

void paint_gift(Canvas &big, const GiftBox &g) {
    const double rw = std::max(6.0, g.w * 0.13) * 0.5;  // ribbon half-width
    const double depth = std::hypot(g.dx, g.dy);
    const double lid = g.h * 0.17;

    Face top{g.x, g.y, g.w, 0, g.dx, g.dy};
    paint_face(big, top, [&](double s, double t) {
        double a = s * g.w, b = t * depth;
        Rgb c = gift_paper(g, a, b * 1.6);
        double d1 = a - g.w * 0.5, d2 = b - depth * 0.5;
        if (std::fabs(d1) < rw) c = ribbon_shade(g.ribbon, d1, rw);
        if (std::fabs(d2) < rw) c = ribbon_shade(g.ribbon, d2, rw);
        return edge_line(face_light(c, 1.18), s, t, g.w, depth);
    });
    Face side{g.x + g.w, g.y, g.dx, g.dy, 0, g.h};
    paint_face(big, side, [&](double s, double t) {
        double a = s * depth, b = t * g.h;
        Rgb c = gift_paper(g, a * 1.6, b);
        double light = b < lid ? 0.80 : 0.68;
        if (b >= lid && b < lid + 1.2) light = 0.5;  // the lid's shadow line
        double d = a - depth * 0.5;
        if (std::fabs(d) < rw) c = ribbon_shade(g.ribbon, d, rw);
        return edge_line(face_light(c, light), s, t, depth, g.h);
    });
    Face front{g.x, g.y, g.w, 0, 0, g.h};
    paint_face(big, front, [&](double s, double t) {
        double a = s * g.w, b = t * g.h;
        Rgb c = gift_paper(g, a, b);
        double light = b < lid ? 1.06 : 0.96;
        if (b >= lid && b < lid + 1.4) light = 0.7;
        double d = a - g.w * 0.5;
        if (std::fabs(d) < rw) c = ribbon_shade(g.ribbon, d, rw);
        return edge_line(face_light(c, light), s, t, g.w, g.h);
    });

    // The bow sits where the two ribbons cross on the lid.
    const double bx = g.x + g.w * 0.5 + g.dx * 0.5, by = g.y + g.dy * 0.5;
    const double len = g.w * 0.27;
    Rgb tail = rgb_scale(g.ribbon, 0.82);
    for (int side_sign = -1; side_sign <= 1; side_sign += 2) {
        double sx = side_sign;
        fill_polygon(big,
                     {{bx - 1.5 * sx, by}, {bx + 2.5 * sx, by}, {bx + sx * 0.55 * len, by + 0.95 * len},
                      {bx + sx * 0.38 * len, by + 0.80 * len}, {bx + sx * 0.22 * len, by + 0.98 * len}},
                     tail);
    }
    for (int side_sign = -1; side_sign <= 1; side_sign += 2) {
        double cx = bx + side_sign * 0.52 * len, cy = by - 0.30 * len;
        double angle = side_sign * -0.45;
        paint_ellipse(big, cx, cy, 0.58 * len, 0.34 * len, angle, [&](double q, double ly, Rgb) {
            if (q > 0.80) return rgb_scale(g.ribbon, 0.62);
            return face_light(g.ribbon, 1.12 - 0.22 * (ly + 1.0));
        });
        paint_ellipse(big, cx - side_sign * 0.08 * len, cy + 0.03 * len, 0.30 * len, 0.12 * len, angle,
                      [&](double, double, Rgb) { return rgb_scale(g.ribbon, 0.45); });
    }
    paint_ellipse(big, bx, by - 0.06 * len, 0.2 * len, 0.17 * len, 0.0, [&](double q, double, Rgb) {
        return q > 0.7 ? rgb_scale(g.ribbon, 0.6) : face_light(g.ribbon, 1.05);
    });
}

Canvas paint_gifts(const Recipe &r) {
    Canvas big = canvas_make(r.width * SUPERSAMPLE, r.height * SUPERSAMPLE, Rgb{1, 1, 1});
    std::vector<GiftBox> boxes;
    for (const RecipeLine *l : recipe_all(r, "box")) {
        if (l->args.size() != 10) recipe_fail(r, l->line_no, "box needs 10 values");
        GiftBox g;
        g.x = recipe_arg_number(r, *l, 0);
        g.y = recipe_arg_number(r, *l, 1);
        g.w = recipe_arg_number(r, *l, 2);
        g.h = recipe_arg_number(r, *l, 3);
        g.dx = recipe_arg_number(r, *l, 4);
        g.dy = recipe_arg_number(r, *l, 5);
        g.paper = recipe_arg_colour(r, *l, 6);
        const std::string &p = l->args[7];
        if (p == "dots") g.pattern = GiftBox::DOTS;
        else if (p == "stripes") g.pattern = GiftBox::STRIPES;
        else if (p == "plain") g.pattern = GiftBox::PLAIN;
        else recipe_fail(r, l->line_no, "pattern must be dots, stripes or plain");
        g.pattern_colour = recipe_arg_colour(r, *l, 8);
        g.ribbon = recipe_arg_colour(r, *l, 9);
        boxes.push_back(g);
    }
    if (boxes.empty()) recipe_fail(r, 0, "no box");

    // A soft floor shadow under all boxes.
    double left = 1e9, right = -1e9, bottom = -1e9;
    for (const GiftBox &g : boxes) {
        left = std::min(left, g.x);
        right = std::max(right, g.x + g.w + g.dx);
        bottom = std::max(bottom, g.y + g.h);
    }
    Mask shadow = mask_make(big.w, big.h);
    double cx = (left + right) * 0.5, cy = bottom - 1.5, ry = 4.0, rx = (right - left) * 0.5 + 3.0;
    for (int y = 0; y < big.h; y++)
        for (int x = 0; x < big.w; x++) {
            double dx = ((x + 0.5) / SUPERSAMPLE - cx) / rx, dy = ((y + 0.5) / SUPERSAMPLE - cy) / ry;
            if (dx * dx + dy * dy <= 1.0) shadow.a[static_cast<size_t>(y) * big.w + x] = 1.0;
        }
    canvas_blend(big, mask_blur(shadow, SUPERSAMPLE), 0, 0, recipe_colour(r, "shadow"));

    for (const GiftBox &g : boxes) paint_gift(big, g);
    return canvas_downsample(big, SUPERSAMPLE);
}

// --- caption -----------------------------------------------------------------

Canvas paint_caption(const RecipeBook &book, const Recipe &r) {
    Canvas c = canvas_make(r.width, r.height, Rgb{1, 1, 1});
    int margin = static_cast<int>(recipe_number(r, "margin", 2));
    void *font = text_open_font(recipe_font_path(book, r, "font"));
    Mask m = text_fit(font, recipe_text(r, "text").c_str(), r.width - 2 * margin, r.height - 2 * margin, TextStyle{});
    canvas_blend(c, m, (r.width - m.w) / 2, (r.height - m.h) / 2, recipe_colour(r, "ink"));
    return c;
}

// --- flat shapes -------------------------------------------------------------

Canvas paint_shapes(const Recipe &r) {
    Canvas big = canvas_make(r.width * SUPERSAMPLE, r.height * SUPERSAMPLE, recipe_colour(r, "ground"));
    auto rect = [&](double x0, double y0, double x1, double y1, Rgb col) {
        fill_polygon(big, {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}, col);
    };
    for (const RecipeLine &l : r.lines) {
        auto num = [&](size_t i) { return recipe_arg_number(r, l, i); };
        if (l.field == "rect") {
            rect(num(0), num(1), num(2), num(3), recipe_arg_colour(r, l, 4));
        } else if (l.field == "disc") {
            Rgb col = recipe_arg_colour(r, l, 3);
            paint_ellipse(big, num(0), num(1), num(2), num(2), 0.0, [&](double, double, Rgb) { return col; });
        } else if (l.field == "ring") {
            Rgb col = recipe_arg_colour(r, l, 4);
            double inner = (num(2) - num(3)) / num(2);
            paint_ellipse(big, num(0), num(1), num(2), num(2), 0.0,
                          [&](double q, double, Rgb current) { return q >= inner * inner ? col : current; });
        } else if (l.field == "poly") {
            if (l.args.size() < 7 || l.args.size() % 2 == 0) recipe_fail(r, l.line_no, "poly needs x y pairs and a colour");
            std::vector<Pt> pts;
            for (size_t i = 0; i + 1 < l.args.size(); i += 2) pts.push_back({num(i), num(i + 1)});
            fill_polygon(big, pts, recipe_arg_colour(r, l, l.args.size() - 1));
        } else if (l.field == "stripes") {
            double x0 = num(0), y0 = num(1), x1 = num(2), y1 = num(3);
            int count = static_cast<int>(num(4));
            if (count < 1) recipe_fail(r, l.line_no, "stripes needs a positive count");
            double pitch = (y1 - y0) / count;
            for (int i = 0; i < count; i++) rect(x0, y0 + i * pitch, x1, y0 + (i + 0.55) * pitch, recipe_arg_colour(r, l, 5));
        } else if (l.field != "kind" && l.field != "ground") {
            recipe_fail(r, l.line_no, "unknown shape");
        }
    }
    return canvas_downsample(big, SUPERSAMPLE);
}

// --- tileable surfaces -------------------------------------------------------

Canvas paint_plasma(const Recipe &r) {
    uint64_t seed = seed_of(r);
    int cells = static_cast<int>(recipe_number_required(r, "cells"));
    int octaves = static_cast<int>(recipe_number_required(r, "octaves"));
    double warp = recipe_number_required(r, "warp"), cycles = recipe_number_required(r, "cycles");
    double mottle = recipe_number_required(r, "mottle");
    std::vector<Rgb> palette = colour_list(r, "palette", 2);
    Canvas c = canvas_make(r.width, r.height, Rgb{});
    for (int y = 0; y < r.height; y++)
        for (int x = 0; x < r.width; x++) {
            double u = (x + 0.5) / r.width, v = (y + 0.5) / r.height;
            double wu = periodic_fbm(u, v, cells, 3, 0.5, seed + 11);
            double wv = periodic_fbm(u, v, cells, 3, 0.5, seed + 23);
            double n = periodic_fbm(u + warp * wu, v + warp * wv, cells, octaves, 0.5, seed);
            double spots = periodic_fbm(u, v, cells * 4, 3, 0.55, seed + 37);
            Rgb col = palette_at(palette, frac(0.5 + n * cycles));
            canvas_at(c, x, y) = rgb_scale(col, 1.0 + mottle * spots);
        }
    return c;
}

Canvas paint_soft_gradient(const Recipe &r) {
    uint64_t seed = seed_of(r);
    int cells = static_cast<int>(recipe_number_required(r, "cells"));
    int octaves = static_cast<int>(recipe_number_required(r, "octaves"));
    double sharpness = recipe_number_required(r, "sharpness");
    std::vector<Rgb> colours = colour_list(r, "colours", 2);
    Canvas c = canvas_make(r.width, r.height, Rgb{});
    for (int y = 0; y < r.height; y++)
        for (int x = 0; x < r.width; x++) {
            double u = (x + 0.5) / r.width, v = (y + 0.5) / r.height;
            // A soft maximum over one noise field per colour: each colour owns
            // the areas where its field is highest, blending smoothly at borders.
            Rgb sum{};
            double total = 0;
            for (size_t i = 0; i < colours.size(); i++) {
                double wgt = std::exp(sharpness * periodic_fbm(u, v, cells, octaves, 0.5, seed + 101 * i));
                sum = Rgb{sum.r + colours[i].r * wgt, sum.g + colours[i].g * wgt, sum.b + colours[i].b * wgt};
                total += wgt;
            }
            canvas_at(c, x, y) = rgb_scale(sum, 1.0 / total);
        }
    return c;
}

Canvas paint_haze(const Recipe &r) {
    uint64_t seed = seed_of(r);
    int cells = static_cast<int>(recipe_number_required(r, "cells"));
    int octaves = static_cast<int>(recipe_number_required(r, "octaves"));
    double warp = recipe_number_required(r, "warp");
    double low = recipe_number_required(r, "low"), high = recipe_number_required(r, "high");
    double level = recipe_number_required(r, "level");
    Canvas c = canvas_make(r.width, r.height, Rgb{});
    for (int y = 0; y < r.height; y++)
        for (int x = 0; x < r.width; x++) {
            double u = (x + 0.5) / r.width, v = (y + 0.5) / r.height;
            double qu = periodic_fbm(u, v, cells, 4, 0.5, seed + 1);
            double qv = periodic_fbm(u, v, cells, 4, 0.5, seed + 2);
            double n = periodic_fbm(u + warp * qu, v + warp * qv, cells, octaves, 0.55, seed);
            // Where the warped field rises above the low threshold it turns
            // into smoke; the warp drags it out into curling strands, and a
            // finer ridged layer adds threads inside the strands.
            double smoke = smoothstep(low, high, n);
            double threads = 1.0 - std::fabs(periodic_fbm(u + warp * qv, v + warp * qu, cells * 4, 3, 0.5, seed + 4));
            double fog = smoothstep(low - 0.3, high, n);
            double g = level * std::pow(smoke, 1.5) * (0.55 + 0.45 * threads * threads) + 0.1 * fog;
            canvas_at(c, x, y) = Rgb{g, g, g};
        }
    return c;
}

// --- lettering ---------------------------------------------------------------

TextStyle text_style_of(const Recipe &r) {
    TextStyle s;
    s.shear = recipe_number(r, "shear", 0.0);
    s.tracking = recipe_number(r, "tracking", 0.0);
    return s;
}

Mask centred(const Mask &m, int w, int h) { return mask_place(m, w, h, (w - m.w) / 2, (h - m.h) / 2); }

Canvas paint_wood_lettering(const RecipeBook &book, const Recipe &r) {
    int margin = static_cast<int>(recipe_number(r, "margin", 8));
    void *font = text_open_font(recipe_font_path(book, r, "font"));
    Mask text = text_fit(font, recipe_text(r, "text").c_str(), r.width - 2 * margin, r.height - 2 * margin, text_style_of(r));
    Mask m = centred(text, r.width, r.height);
    uint64_t seed = seed_of(r);
    Rgb light = recipe_colour(r, "light"), dark = recipe_colour(r, "dark");
    double ring_px = r.height / recipe_number_required(r, "rings");
    Mask emboss = mask_emboss(m, 2, recipe_number_required(r, "bevel"));
    Mask inner = mask_erode(m, 1.0);

    Canvas c = canvas_make(r.width, r.height, Rgb{});
    // Plank grain: growth rings of a log whose axis runs along the plank,
    // cut slightly off-centre, so the rings show as long stretched arches.
    const double axis_x = r.width * 0.42, axis_y = r.height * 1.7, stretch = 7.0;
    for (int y = 0; y < r.height; y++)
        for (int x = 0; x < r.width; x++) {
            double cover = m.a[static_cast<size_t>(y) * r.width + x];
            if (cover <= 0) continue;
            double dx = (x - axis_x) / stretch, dy = y - axis_y;
            // Growth varies from year to year: a slow noise bends the rings and
            // a second one stretches or squeezes their spacing.
            double radius = std::sqrt(dx * dx + dy * dy) + 16.0 * plain_fbm(x, y, 140.0, 4, seed);
            double ring = frac(radius / ring_px * (1.0 + 0.25 * plain_fbm(x, y, 300.0, 2, seed + 9)));
            double late = smoothstep(0.55, 0.9, ring) * (1.0 - smoothstep(0.9, 1.0, ring));
            double fibre = plain_fbm(x * 0.08, y * 2.5, 16.0, 2, seed + 5);
            Rgb wood = rgb_mix(light, dark, 0.15 + 0.75 * late);
            wood = rgb_scale(wood, 0.88 + 0.22 * fibre);
            double lit = 0.35 + 1.3 * emboss.a[static_cast<size_t>(y) * r.width + x];
            double rim = cover - inner.a[static_cast<size_t>(y) * r.width + x];
            wood = rgb_scale(wood, lit * (1.0 - 0.45 * clamp01(rim)));
            canvas_at(c, x, y) = rgb_scale(wood, cover);
        }
    return c;
}

// Greeting logos are grey-only: every style is a grey level per pixel.
Canvas grey_canvas(const Mask &v) {
    Canvas c = canvas_make(v.w, v.h, Rgb{});
    for (size_t i = 0; i < v.a.size(); i++) {
        double g = clamp01(v.a[i]);
        c.px[i] = Rgb{g, g, g};
    }
    return c;
}

Canvas paint_lettering(const RecipeBook &book, const Recipe &r) {
    const std::string style = recipe_text(r, "style");
    void *font = text_open_font(recipe_font_path(book, r, "font"));
    const std::string text = recipe_text(r, "text");
    TextStyle ts = text_style_of(r);
    const int w = r.width, h = r.height;
    // Room that each style's decoration needs beyond the letters themselves.
    int pad = 2;
    if (style == "glow") pad = 8;
    else if (style == "shadow") pad = 6;
    else if (style == "outline" || style == "chrome") pad = 3;
    else if (style == "framed") pad = 7;
    pad = static_cast<int>(recipe_number(r, "margin", pad));

    if (style == "pixel") {
        // One-bit glyphs blown up into a dot matrix with dark seams.
        const int k = h >= 40 ? 3 : 2;
        ts.mono = true;
        Mask small = text_fit(font, text.c_str(), (w - 2 * pad) / k, (h - 2 * pad) / k, ts);
        Mask big = mask_make(small.w * k, small.h * k);
        for (int y = 0; y < big.h; y++)
            for (int x = 0; x < big.w; x++) {
                double seam = (x % k == k - 1 || y % k == k - 1) ? 0.3 : 1.0;
                big.a[static_cast<size_t>(y) * big.w + x] = mask_get(small, x / k, y / k) * seam;
            }
        return grey_canvas(centred(big, w, h));
    }

    Mask m = centred(text_fit(font, text.c_str(), w - 2 * pad, h - 2 * pad, ts), w, h);
    Mask v = mask_make(w, h);
    int bx0 = 0, by0 = 0, bx1 = w - 1, by1 = h - 1;
    mask_bounds(m, 0.3, &bx0, &by0, &bx1, &by1);
    auto rel_y = [&](int y) { return clamp01(double(y - by0) / std::max(1, by1 - by0)); };

    if (style == "plain") {
        v = m;
    } else if (style == "bevel") {
        Mask e = mask_emboss(m, 1, 5.0);
        for (size_t i = 0; i < v.a.size(); i++) v.a[i] = m.a[i] * (0.3 + 1.1 * e.a[i]);
    } else if (style == "glow") {
        Mask halo = mask_blur(mask_dilate(m, 0.5), 2);
        for (size_t i = 0; i < v.a.size(); i++) v.a[i] = std::max(m.a[i], 0.75 * halo.a[i]);
    } else if (style == "shadow") {
        Mask s = mask_shift(mask_blur(m, 1), 2, 2);
        for (size_t i = 0; i < v.a.size(); i++) v.a[i] = m.a[i] + (1 - m.a[i]) * 0.5 * s.a[i];
    } else if (style == "stripes") {
        const int period = std::max(3, (by1 - by0 + 1) / 8);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                double band = ((y - by0) % period + period) % period == period - 1 ? 0.25 : 1.0;
                size_t i = static_cast<size_t>(y) * w + x;
                v.a[i] = m.a[i] * band * (1.0 - 0.35 * rel_y(y));
            }
    } else if (style == "inline") {
        // Solid letters with a dark line engraved just inside their edge.
        Mask near = mask_erode(m, 0.6), far = mask_erode(m, 1.3);
        for (size_t i = 0; i < v.a.size(); i++) v.a[i] = m.a[i] * (1.0 - 0.8 * clamp01(near.a[i] - far.a[i]));
    } else if (style == "outline") {
        Mask outer = mask_dilate(m, 1.2), hole = mask_erode(m, 0.4);
        for (size_t i = 0; i < v.a.size(); i++) v.a[i] = outer.a[i] * (1.0 - hole.a[i]);
    } else if (style == "chrome") {
        // Sky above the horizon line, ground below it, and a bright rim.
        Mask rim = mask_dilate(m, 0.6);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                double t = rel_y(y);
                double g = t < 0.5 ? 1.0 - 0.9 * t : 0.3 + 1.2 * (t - 0.5);
                size_t i = static_cast<size_t>(y) * w + x;
                v.a[i] = std::max(m.a[i] * g, (rim.a[i] - m.a[i]) * 0.95);
            }
    } else if (style == "framed") {
        v = m;
        for (int y = 2; y < h - 2; y++)
            for (int x = 2; x < w - 2; x++)
                if (x < 4 || y < 4 || x >= w - 4 || y >= h - 4) v.a[static_cast<size_t>(y) * w + x] = 1.0;
    } else {
        recipe_fail(r, recipe_find(r, "style")->line_no, "unknown lettering style");
    }
    return grey_canvas(v);
}

// --- the title logo ----------------------------------------------------------

Canvas paint_title_logo(const RecipeBook &book, const Recipe &r) {
    const int w = r.width, h = r.height;
    Canvas c = canvas_make(w, h, Rgb{1, 1, 1});
    const RecipeLine *box = recipe_find(r, "box");
    if (!box) recipe_fail(r, 0, "missing box");
    int bx = static_cast<int>(recipe_arg_number(r, *box, 0)), by = static_cast<int>(recipe_arg_number(r, *box, 1));
    int bw = static_cast<int>(recipe_arg_number(r, *box, 2)), bh = static_cast<int>(recipe_arg_number(r, *box, 3));

    void *font = text_open_font(recipe_font_path(book, r, "font"));
    Mask text = text_fit(font, recipe_text(r, "text").c_str(), bw, bh, text_style_of(r));
    Mask m = mask_place(text, w, h, bx + (bw - text.w) / 2, by + (bh - text.h) / 2);

    const RecipeLine *outline = recipe_find(r, "outline");
    const RecipeLine *shadow = recipe_find(r, "shadow");
    if (!outline || !shadow) recipe_fail(r, 0, "missing outline or shadow");
    Mask rim = mask_dilate(m, recipe_arg_number(r, *outline, 1));
    Mask drop = mask_blur(mask_shift(rim, static_cast<int>(recipe_arg_number(r, *shadow, 1)),
                                     static_cast<int>(recipe_arg_number(r, *shadow, 2))), 2);
    canvas_blend(c, drop, 0, 0, recipe_arg_colour(r, *shadow, 0));
    canvas_blend(c, rim, 0, 0, recipe_arg_colour(r, *outline, 0));

    // Fill: the gradient runs from the top of the ink to its bottom, with a
    // glossy lighter band over the upper part.
    std::vector<Rgb> gradient = colour_list(r, "gradient", 2);
    int x0, y0, x1, y1;
    if (!mask_bounds(m, 0.3, &x0, &y0, &x1, &y1)) recipe_fail(r, 0, "text left no ink");
    for (int y = 0; y < h; y++) {
        double t = clamp01(double(y - y0) / std::max(1, y1 - y0));
        Rgb col = palette_at(gradient, t);
        if (t < 0.42) col = rgb_mix(col, Rgb{1, 1, 1}, 0.28 * (1.0 - t / 0.42));
        for (int x = 0; x < w; x++) {
            double a = m.a[static_cast<size_t>(y) * w + x];
            if (a > 0) canvas_at(c, x, y) = rgb_mix(canvas_at(c, x, y), col, a);
        }
    }

    if (const RecipeLine *tb = recipe_find(r, "tagline_box")) {
        void *tfont = text_open_font(recipe_font_path(book, r, "tagline_font"));
        int tx = static_cast<int>(recipe_arg_number(r, *tb, 0)), ty = static_cast<int>(recipe_arg_number(r, *tb, 1));
        int tw = static_cast<int>(recipe_arg_number(r, *tb, 2)), th = static_cast<int>(recipe_arg_number(r, *tb, 3));
        TextStyle spaced;
        spaced.tracking = 0.12;
        Mask tag = text_fit(tfont, recipe_text(r, "tagline").c_str(), tw, th, spaced);
        canvas_blend(c, tag, tx + (tw - tag.w) / 2, ty + (th - tag.h) / 2, recipe_colour(r, "tagline_ink"));
    }

    // Four-pointed sparkles: the astroid |dx|^0.5 + |dy|^0.5 <= size^0.5.
    for (const RecipeLine *l : recipe_all(r, "sparkle")) {
        double sx = recipe_arg_number(r, *l, 0), sy = recipe_arg_number(r, *l, 1), size = recipe_arg_number(r, *l, 2);
        Rgb col = recipe_arg_colour(r, *l, 3);
        Mask star = mask_make(w, h);
        for (int y = std::max(0, int(sy - size) - 1); y <= std::min(h - 1, int(sy + size) + 1); y++)
            for (int x = std::max(0, int(sx - size) - 1); x <= std::min(w - 1, int(sx + size) + 1); x++) {
                int inside = 0;
                for (int j = 0; j < SUPERSAMPLE; j++)
                    for (int i = 0; i < SUPERSAMPLE; i++) {
                        double dx = std::fabs(x + (i + 0.5) / SUPERSAMPLE - sx) / size;
                        double dy = std::fabs(y + (j + 0.5) / SUPERSAMPLE - sy) / size;
                        if (std::sqrt(dx) + std::sqrt(dy) <= 1.0) inside++;
                    }
                star.a[static_cast<size_t>(y) * w + x] = inside / double(SUPERSAMPLE * SUPERSAMPLE);
            }
        canvas_blend(c, star, 0, 0, col);
    }
    return c;
}

}  // namespace

Canvas paint_picture(const RecipeBook &book, const Recipe &r) {
    const std::string kind = recipe_text(r, "kind");
    Canvas c;
    if (kind == "gifts") c = paint_gifts(r);
    else if (kind == "caption") c = paint_caption(book, r);
    else if (kind == "shapes") c = paint_shapes(r);
    else if (kind == "plasma") c = paint_plasma(r);
    else if (kind == "soft_gradient") c = paint_soft_gradient(r);
    else if (kind == "haze") c = paint_haze(r);
    else if (kind == "wood_lettering") c = paint_wood_lettering(book, r);
    else if (kind == "lettering") c = paint_lettering(book, r);
    else if (kind == "title_logo") c = paint_title_logo(book, r);
    else if (!paint_scene_picture(r, kind, &c)) recipe_fail(r, recipe_find(r, "kind")->line_no, "unknown kind");
    if (c.w != r.width || c.h != r.height) recipe_fail(r, 0, "painter produced the wrong size");
    return c;
}
