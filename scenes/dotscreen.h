// The dot-screen ripple (scenes/dotscreen.cpp): the per-frame values and the
// dot geometry as plain arithmetic, exposed so they can be checked without a
// window, and the shade map the frame reads back.
//
// Owns the shade map and the dot texture's bytes (global). dotscreen_setup
// (scenes/scenes.h) makes the textures once; dotscreen_draw refills the shade
// map every frame. Main thread only; no allocation.
#pragma once

#include <cstdint>

inline constexpr int32_t SHADE_MAP_WIDTH = 128;
inline constexpr int32_t SHADE_MAP_HEIGHT = 64;
inline constexpr int32_t DOT_TEX_SIZE = 64;

// The jack rendered small and read back as luminance: row r (from the
// bottom) holds columns 0..127 at r * 128 + column. 255 is white (background
// and deep fog), 0 the darkest shade.
extern uint8_t shade_map[SHADE_MAP_WIDTH * SHADE_MAP_HEIGHT];

// The disc's per-frame shape for scene time t and variant n.
struct RippleShape {
    double amp;        // ripple_amp A = 96 + 31 sin(8n + 1.3t), 65..127
    double wave;       // ripple_wave H = 30 + 30 cos(0.9t + 2n), 0..60
    double waves;      // k = 2 + 10 H / 127: waves across the radius
    double wave_step;  // w = k pi / 128: phase per radial index step
    double row_step;   // q = (1.6 - 1.2 knob0 / 127) / 128: texture rows per index step
};
RippleShape ripple_shape(double t, int32_t n, double knob0);

// Half-width of the dot for shade-map byte p when the ripple amplitude is A:
// A (255 - p) / 16256, so white gives no dot and black with A = 127 about 2.
double dot_half_width(int32_t p, double amp);
// Distance between dot rows for knob3 (0..127): 0.39 + 28 knob3 / 127.
double dot_row_spacing(double knob3);

// The soft round dot: 255 (1 - d / 32) at distance d from texel (32, 32),
// 0 beyond, truncated. out holds 64 * 64 bytes, row-major.
void dot_make_texture(uint8_t *out);
