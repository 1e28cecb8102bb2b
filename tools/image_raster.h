// Build-time raster toolkit for the image generator: RGB canvases and
// coverage masks in double precision, a seeded hash for lattice noise,
// periodic (tileable) gradient noise, and the mask operations the lettering
// styles are made of (dilate, blur, shift, emboss).
//
// Everything here runs at build time only and allocates freely. Pictures are
// painted with row 0 at the top; the writer flips rows where the store keeps
// them bottom first. Results depend only on the inputs, so a rebuild yields
// the same bytes.
#pragma once

#include <cstdint>
#include <vector>

struct Rgb {
    double r = 0, g = 0, b = 0;
};

struct Canvas {
    int w = 0, h = 0;
    std::vector<Rgb> px;  // w * h, row 0 at the top
};

struct Mask {
    int w = 0, h = 0;
    std::vector<double> a;  // coverage 0..1, row 0 at the top
};

Canvas canvas_make(int w, int h, Rgb fill);
Mask mask_make(int w, int h);
Rgb &canvas_at(Canvas &c, int x, int y);
double mask_get(const Mask &m, int x, int y);  // 0 outside the mask
// Paints colour over the canvas with the mask's coverage as opacity; the mask
// is placed with its top-left pixel at (ox, oy).
void canvas_blend(Canvas &c, const Mask &m, int ox, int oy, Rgb colour);
// Box-filters a canvas that was painted at factor times the wanted size.
Canvas canvas_downsample(const Canvas &big, int factor);

Rgb rgb_mix(Rgb a, Rgb b, double t);
Rgb rgb_scale(Rgb a, double k);
// "#rrggbb" to a colour with channels 0..1; returns false on a malformed text.
bool rgb_parse(const char *text, Rgb *out);
uint8_t channel_byte(double v);  // clamps to 0..1, rounds to nearest
// Appends the canvas as 8-bit RGB bytes, rows top first or bottom first.
void canvas_append_rgb(std::vector<uint8_t> &out, const Canvas &c, bool bottom_first);

double clamp01(double v);
double smoothstep(double e0, double e1, double x);

// --- hashing and noise -------------------------------------------------------

// A 64-bit mixing hash (splitmix64 finaliser) of a lattice point and a seed.
uint64_t hash_cell(int64_t i, int64_t j, uint64_t seed);
// Uniform double in [0, 1) from a hash.
double hash_unit(uint64_t h);

// Gradient noise in about -1..1 at lattice coordinates (x, y) whose lattice
// wraps after period_x by period_y cells, so the field repeats exactly with
// those periods.
double periodic_noise(double x, double y, int period_x, int period_y, uint64_t seed);
// Sum of octaves of periodic_noise. (u, v) are in tile units (one tile = 0..1);
// the first octave has base_cells lattice cells per tile and each further
// octave doubles the cell count, so the sum tiles with period 1 in u and v.
// Normalized to about -1..1.
double periodic_fbm(double u, double v, int base_cells, int octaves, double gain, uint64_t seed);

// --- mask operations ---------------------------------------------------------

// Grows coverage by radius pixels with a one-pixel soft edge.
Mask mask_dilate(const Mask &m, double radius);
// Shrinks coverage by radius pixels (dilation of the complement).
Mask mask_erode(const Mask &m, double radius);
// Approximate Gaussian blur: three box passes each way of the given radius.
Mask mask_blur(const Mask &m, int radius);
Mask mask_shift(const Mask &m, int dx, int dy);
// Directional lighting of a height field: the mask blurred by radius, lit from
// the upper left; 0 is unlit slope, 0.5 flat, 1 slope facing the light.
Mask mask_emboss(const Mask &m, int radius, double strength);
// Places src into a mask of size w x h with its top-left pixel at (ox, oy).
Mask mask_place(const Mask &src, int w, int h, int ox, int oy);
// Bounding box of the pixels whose coverage exceeds threshold; false when none do.
bool mask_bounds(const Mask &m, double threshold, int *x0, int *y0, int *x1, int *y1);
