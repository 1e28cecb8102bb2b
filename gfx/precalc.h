// The start-up precalculation: registers the image lookup, builds the shared
// fur-shell textures, runs every scene's set-up and draws one title frame.
// Main thread, once, after the window exists and before audio opens.
//
// The fur simulation is split from the texture upload so it can run (and be
// tested) without a GL context: fur_init_blades and fur_step_layer work on a
// caller-owned FurWork record and use nothing but the shared random stream.
// Nothing here allocates; the scratch record lives in static storage.
#pragma once

#include <cstdint>

inline constexpr int PRECALC_FUR_LAYERS = 16;
inline constexpr int FUR_BLADES = 1600;
inline constexpr int FUR_MAP_SIZE = 256;   // coverage map, wraps in both directions
inline constexpr int FUR_LAYER_SIZE = 64;  // shell layer image
inline constexpr int FUR_FIN_WIDTH = 64;   // fin strip: one row per layer

// Entry 0: 64x16 fin strip; entries 1..16: 64x64 shell layers, base to tip.
// GL_TEXTURE_2D alpha textures with full mipmap chains.
extern uint32_t fur_shell_tex[PRECALC_FUR_LAYERS + 1];

// One blade of the simulation: a splat that drifts with constant
// acceleration and shrinks by 1 % per layer.
struct FurBlade {
    double x, y;   // map cells; wrap modulo FUR_MAP_SIZE when splatted
    double vx, vy;
    double ax, ay; // ((n mod 1000) - 500) * 0.00112, so -0.56 .. 0.55888
    double radius; // 2.0 at start, times 0.99 per layer
    int32_t alive; // 0 once killed; a dead blade never returns
};

struct FurWork {
    FurBlade blade[FUR_BLADES];
    uint8_t coverage[FUR_MAP_SIZE][FUR_MAP_SIZE];     // [row][column]
    uint8_t layer[FUR_LAYER_SIZE][FUR_LAYER_SIZE];    // last layer built, row-major
    uint8_t fin[PRECALC_FUR_LAYERS][FUR_FIN_WIDTH];   // row L-1: first columns of layer L
    int32_t splatted;                                 // blades drawn into the last layer
};

// Resets the shared random generator to 0 and places the blades, four draws
// per blade in blade order (x, y, ax, ay).
void fur_init_blades(FurWork *w);
// Builds layer L (1..16): clears the map, splats and moves every live blade
// (one kill draw per live blade: n mod 6 = 0 kills it for the following
// layers), reduces the map into w->layer with overlapping 8x8 windows and
// fills fin row L - 1. Continues the random stream left by the previous call.
void fur_step_layer(FurWork *w, int layer_index);

// Runs the whole start-up precalculation; leaves knob0..knob2 at 127.
void precalculate();
