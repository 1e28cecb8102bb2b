// Build-time raster toolkit: canvases, masks, hashing, periodic noise.
#include "tools/image_raster.h"

#include <algorithm>
#include <cmath>
#include <cstring>

Canvas canvas_make(int w, int h, Rgb fill) {
    Canvas c;
    c.w = w;
    c.h = h;
    c.px.assign(static_cast<size_t>(w) * h, fill);
    return c;
}

Mask mask_make(int w, int h) {
    Mask m;
    m.w = w;
    m.h = h;
    m.a.assign(static_cast<size_t>(w) * h, 0.0);
    return m;
}

Rgb &canvas_at(Canvas &c, int x, int y) { return c.px[static_cast<size_t>(y) * c.w + x]; }

double mask_get(const Mask &m, int x, int y) {
    if (x < 0 || y < 0 || x >= m.w || y >= m.h) return 0.0;
    return m.a[static_cast<size_t>(y) * m.w + x];
}

void canvas_blend(Canvas &c, const Mask &m, int ox, int oy, Rgb colour) {
    for (int y = 0; y < m.h; y++) {
        int cy = y + oy;
        if (cy < 0 || cy >= c.h) continue;
        for (int x = 0; x < m.w; x++) {
            int cx = x + ox;
            if (cx < 0 || cx >= c.w) continue;
            double a = clamp01(m.a[static_cast<size_t>(y) * m.w + x]);
            if (a <= 0.0) continue;
            Rgb &p = canvas_at(c, cx, cy);
            p = rgb_mix(p, colour, a);
        }
    }
}

Canvas canvas_downsample(const Canvas &big, int factor) {
    Canvas out = canvas_make(big.w / factor, big.h / factor, Rgb{});
    double inv = 1.0 / (factor * factor);
    for (int y = 0; y < out.h; y++)
        for (int x = 0; x < out.w; x++) {
            Rgb s{};
            for (int j = 0; j < factor; j++)
                for (int i = 0; i < factor; i++) {
                    const Rgb &p = big.px[static_cast<size_t>(y * factor + j) * big.w + x * factor + i];
                    s.r += p.r;
                    s.g += p.g;
                    s.b += p.b;
                }
            canvas_at(out, x, y) = rgb_scale(s, inv);
        }
    return out;
}

Rgb rgb_mix(Rgb a, Rgb b, double t) {
    return Rgb{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb rgb_scale(Rgb a, double k) { return Rgb{a.r * k, a.g * k, a.b * k}; }

static int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool rgb_parse(const char *text, Rgb *out) {
    if (std::strlen(text) != 7 || text[0] != '#') return false;
    int v[6];
    for (int i = 0; i < 6; i++) {
        v[i] = hex_digit(text[1 + i]);
        if (v[i] < 0) return false;
    }
    out->r = (v[0] * 16 + v[1]) / 255.0;
    out->g = (v[2] * 16 + v[3]) / 255.0;
    out->b = (v[4] * 16 + v[5]) / 255.0;
    return true;
}

uint8_t channel_byte(double v) { return static_cast<uint8_t>(std::lround(clamp01(v) * 255.0)); }

void canvas_append_rgb(std::vector<uint8_t> &out, const Canvas &c, bool bottom_first) {
    out.reserve(out.size() + c.px.size() * 3);
    for (int row = 0; row < c.h; row++) {
        int y = bottom_first ? c.h - 1 - row : row;
        for (int x = 0; x < c.w; x++) {
            const Rgb &p = c.px[static_cast<size_t>(y) * c.w + x];
            out.push_back(channel_byte(p.r));
            out.push_back(channel_byte(p.g));
            out.push_back(channel_byte(p.b));
        }
    }
}

double clamp01(double v) { return v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v); }

double smoothstep(double e0, double e1, double x) {
    double t = clamp01((x - e0) / (e1 - e0));
    return t * t * (3.0 - 2.0 * t);
}

// --- hashing and noise -------------------------------------------------------

uint64_t hash_cell(int64_t i, int64_t j, uint64_t seed) {
    uint64_t z = seed * 0x9E3779B97F4A7C15ull + static_cast<uint64_t>(i) * 0xD1B54A32D192ED03ull +
                 static_cast<uint64_t>(j) * 0xABC98388FB8FAC03ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double hash_unit(uint64_t h) { return static_cast<double>(h >> 11) * (1.0 / 9007199254740992.0); }

static int wrap(int64_t i, int period) {
    int64_t r = i % period;
    return static_cast<int>(r < 0 ? r + period : r);
}

static double lattice_dot(int64_t i, int64_t j, int px, int py, uint64_t seed, double dx, double dy) {
    double angle = hash_unit(hash_cell(wrap(i, px), wrap(j, py), seed)) * 6.283185307179586;
    return std::cos(angle) * dx + std::sin(angle) * dy;
}

static double fade(double t) { return t * t * t * (t * (t * 6.0 - 15.0) + 10.0); }

double periodic_noise(double x, double y, int period_x, int period_y, uint64_t seed) {
    double fx = std::floor(x), fy = std::floor(y);
    int64_t i = static_cast<int64_t>(fx), j = static_cast<int64_t>(fy);
    double dx = x - fx, dy = y - fy;
    double n00 = lattice_dot(i, j, period_x, period_y, seed, dx, dy);
    double n10 = lattice_dot(i + 1, j, period_x, period_y, seed, dx - 1, dy);
    double n01 = lattice_dot(i, j + 1, period_x, period_y, seed, dx, dy - 1);
    double n11 = lattice_dot(i + 1, j + 1, period_x, period_y, seed, dx - 1, dy - 1);
    double u = fade(dx), v = fade(dy);
    double a = n00 + (n10 - n00) * u;
    double b = n01 + (n11 - n01) * u;
    // Unit gradients give at most sqrt(1/2); scale the range to about -1..1.
    return (a + (b - a) * v) * 1.4142135623730951;
}

double periodic_fbm(double u, double v, int base_cells, int octaves, double gain, uint64_t seed) {
    double sum = 0, amp = 1, norm = 0;
    int cells = base_cells;
    for (int o = 0; o < octaves; o++) {
        sum += amp * periodic_noise(u * cells, v * cells, cells, cells, seed + 7919u * o);
        norm += amp;
        amp *= gain;
        cells *= 2;
    }
    return sum / norm;
}

// --- mask operations ---------------------------------------------------------

Mask mask_dilate(const Mask &m, double radius) {
    Mask out = mask_make(m.w, m.h);
    // A full pixel's edge lies half a pixel from its centre; reaching full
    // weight at distance radius and none at radius + 1 moves that edge out by
    // radius, with a one-pixel ramp.
    int r = static_cast<int>(std::ceil(radius + 1.0));
    for (int y = 0; y < m.h; y++)
        for (int x = 0; x < m.w; x++) {
            double best = 0;
            for (int dy = -r; dy <= r; dy++)
                for (int dx = -r; dx <= r; dx++) {
                    double wgt = clamp01(radius + 1.0 - std::sqrt(double(dx * dx + dy * dy)));
                    if (wgt <= 0) continue;
                    best = std::max(best, mask_get(m, x + dx, y + dy) * wgt);
                }
            out.a[static_cast<size_t>(y) * m.w + x] = best;
        }
    return out;
}

Mask mask_erode(const Mask &m, double radius) {
    Mask inv = m;
    for (double &a : inv.a) a = 1.0 - a;
    // Outside the mask counts as empty, so letters touching the border erode there too.
    Mask grown = mask_dilate(inv, radius);
    for (double &a : grown.a) a = 1.0 - a;
    return grown;
}

static void box_pass(std::vector<double> &v, int w, int h, int r, bool horizontal) {
    std::vector<double> out(v.size());
    int len = horizontal ? w : h, lines = horizontal ? h : w;
    double inv = 1.0 / (2 * r + 1);
    for (int l = 0; l < lines; l++) {
        auto at = [&](int k) -> double {
            if (k < 0 || k >= len) return 0.0;
            return horizontal ? v[static_cast<size_t>(l) * w + k] : v[static_cast<size_t>(k) * w + l];
        };
        double s = 0;
        for (int k = -r; k <= r; k++) s += at(k);
        for (int k = 0; k < len; k++) {
            size_t idx = horizontal ? static_cast<size_t>(l) * w + k : static_cast<size_t>(k) * w + l;
            out[idx] = s * inv;
            s += at(k + r + 1) - at(k - r);
        }
    }
    v.swap(out);
}

Mask mask_blur(const Mask &m, int radius) {
    Mask out = m;
    if (radius <= 0) return out;
    for (int pass = 0; pass < 3; pass++) {
        box_pass(out.a, m.w, m.h, radius, true);
        box_pass(out.a, m.w, m.h, radius, false);
    }
    return out;
}

Mask mask_shift(const Mask &m, int dx, int dy) {
    Mask out = mask_make(m.w, m.h);
    for (int y = 0; y < m.h; y++)
        for (int x = 0; x < m.w; x++) out.a[static_cast<size_t>(y) * m.w + x] = mask_get(m, x - dx, y - dy);
    return out;
}

Mask mask_emboss(const Mask &m, int radius, double strength) {
    Mask b = mask_blur(m, radius);
    Mask out = mask_make(m.w, m.h);
    const double lx = -1, ly = -1, lz = 1.2;
    const double ln = std::sqrt(lx * lx + ly * ly + lz * lz);
    for (int y = 0; y < m.h; y++)
        for (int x = 0; x < m.w; x++) {
            double gx = (mask_get(b, x + 1, y) - mask_get(b, x - 1, y)) * strength;
            double gy = (mask_get(b, x, y + 1) - mask_get(b, x, y - 1)) * strength;
            double nn = std::sqrt(gx * gx + gy * gy + 1.0);
            double d = (-gx * lx - gy * ly + lz) / (nn * ln);
            out.a[static_cast<size_t>(y) * m.w + x] = clamp01(0.5 + (d - lz / ln));
        }
    return out;
}

Mask mask_place(const Mask &src, int w, int h, int ox, int oy) {
    Mask out = mask_make(w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) out.a[static_cast<size_t>(y) * w + x] = mask_get(src, x - ox, y - oy);
    return out;
}

bool mask_bounds(const Mask &m, double threshold, int *x0, int *y0, int *x1, int *y1) {
    int ax = m.w, ay = m.h, bx = -1, by = -1;
    for (int y = 0; y < m.h; y++)
        for (int x = 0; x < m.w; x++)
            if (m.a[static_cast<size_t>(y) * m.w + x] > threshold) {
                ax = std::min(ax, x);
                ay = std::min(ay, y);
                bx = std::max(bx, x);
                by = std::max(by, y);
            }
    if (bx < 0) return false;
    *x0 = ax;
    *y0 = ay;
    *x1 = bx;
    *y1 = by;
    return true;
}
