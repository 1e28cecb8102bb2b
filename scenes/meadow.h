// The flower meadow that two scenes draw: the projector room films it live
// into its 256 x 256 film texture (a 50 x 50 field) and the meadow title shows
// it full screen (a 40 x 40 field). Both are a square of flower heads that
// open and close in waves of a bilinear noise over a small random byte grid,
// standing in sixteen stacked grass shells, seen by a camera that circles the
// field 15 units up at 7 degrees per second.
//
// A MeadowField names the tables of one field; the scenes own the tables and
// fill them once at set-up with meadow_fill_tables. The drawing routines here
// issue exactly the GL calls of the flowers and the grass and set no other
// state: each scene sets its own enables, blending, lighting and depth
// function around them. Main thread; drawing needs the GL context; nothing
// allocates.
#pragma once

#include <cstdint>

inline constexpr int32_t MEADOW_GRASS_LAYERS = 16;

// One field of size x size flowers; every table is row-major, row i outer.
struct MeadowField {
    int32_t size;          // flowers per row and column; also the noise period
    const int8_t *tilt;    // two bytes (a0, a1) per cell, degrees, -10..9
    const int8_t *offset;  // two bytes (b0, b1) per cell, hundredths of a unit, -10..9
    const int8_t *grid;    // one byte per cell, the noise lattice, -128..127
    bool raised_heads;     // heads one unit higher: rim at 1.1 s + 1 instead of 2.1 s
};

// Resets the shared random generator and fills the tables of a size x size
// field: four draws per cell in row order (a0, a1, b0, b1, each r mod 20 - 10),
// then one draw per cell for the grid (the low byte of r - 128).
void meadow_fill_tables(int8_t *tilt, int8_t *offset, int8_t *grid, int32_t size);

// Bilinear noise over a size x size grid of signed bytes, periodic in both
// arguments with period size; at integer arguments it is the grid byte at row
// a, column b. Arguments must be non-negative and below 2^31.
double grid_noise(const int8_t *grid, int32_t size, double a, double b);

// Openness s of the flower at row i, column c at time t (0.3..1.1).
double flower_openness(const MeadowField &field, double t, int32_t i, int32_t c);

// Alpha of a flower texel at row r, column c of the 64 x 64 picture: opaque
// within 9.6 texels of the centre, elsewhere the channel sum capped at 255.
uint8_t flower_alpha(int32_t r, int32_t c, uint8_t red, uint8_t green, uint8_t blue);
// The RGB flower picture with that alpha, as 64 x 64 RGBA.
void flower_rgba(const uint8_t *rgb, uint8_t *rgba);

// The meadow camera: projection gluPerspective(10 + knob4 * 20/127, 4/3, 1,
// 200), modelview looking at the origin from (-19, 15, 0) turned about the y
// axis by t * 7 degrees. Leaves the matrix mode at modelview.
void meadow_camera(double t, double knob4);

// The flower heads, rows outer: each a fan of 13 rim vertices around a cup
// centre, all in tex, each pushed and popped around its own placement.
void draw_meadow_flowers(const MeadowField &field, double t, uint32_t tex);

// The sixteen grass shells: quads at heights 0.05 j over [-half, half]^2 in
// the shell layer textures, greener and lighter towards the tips.
void draw_meadow_grass(double half);
