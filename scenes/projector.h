// The projector room's textures, tables and the pure arithmetic of its frame,
// shared by scenes/projector.cpp and its tests. projector_setup (scenes.h)
// fills everything here once at start-up; projector_draw reads it.
//
// Main thread. The helpers below the tables need no GL context; film_overlay
// does. Nothing allocates.
#pragma once

#include <cstdint>

#include "gfx/vec.h"
#include "scenes/meadow.h"

inline constexpr int32_t PROJECTOR_TEXTURE_COUNT = 15;
inline constexpr int32_t FILM_HAIRS = 5;         // hair textures, and hairs per film frame
inline constexpr int32_t HAIR_PATH_POINTS = 11;  // start point and ten steps of the walk
inline constexpr int32_t MEADOW_FILM_SIZE = 50;  // flowers per row and column of the film
inline constexpr int32_t FILM_TEX_SIZE = 256;    // the film is rendered and captured at this size

// The fifteen texture names, made by one glGenTextures call, by index.
extern uint32_t projector_textures[PROJECTOR_TEXTURE_COUNT];
inline uint32_t &proj_body_tex = projector_textures[0];  // the projector's skin, mipmapped RGB
inline uint32_t &reel_tex = projector_textures[1];       // 128 x 128 alpha: the reel flange pattern
inline uint32_t &film_tex = projector_textures[2];       // 256 x 256, recaptured from the meadow each frame
inline uint32_t *const hair_tex = projector_textures + 3;  // 5 x 64 x 64 luminance dust hairs
inline uint32_t &disc_tex = projector_textures[8];       // 64 x 64 luminance soft disc, mipmapped
inline uint32_t &star_tex = projector_textures[9];       // 256 x 256 RGB six-pointed flare star
inline uint32_t *const bar_tex = projector_textures + 10;  // 3 x 64 x 64 soft bars at -60, 0, +60 degrees
inline uint32_t &ghost_tex = projector_textures[13];     // 64 x 64 soft hexagon of the flare ghosts
inline uint32_t &flower_tex = projector_textures[14];    // 64 x 64 RGBA flower head, mipmapped

// The film's meadow: cell (i, c) is row i, column c.
extern int8_t flower_tilt[MEADOW_FILM_SIZE][MEADOW_FILM_SIZE][2];
extern int8_t flower_offset[MEADOW_FILM_SIZE][MEADOW_FILM_SIZE][2];
extern int8_t meadow_grid[MEADOW_FILM_SIZE][MEADOW_FILM_SIZE];
extern const MeadowField projector_meadow;

// Bilinear noise over meadow_grid, period 50 in both arguments (>= 0).
double meadow_noise(double a, double b);

// The old-film look over the current viewport: five vertical scratches that
// halve what they cover and five dust hairs that darken it. whole_frame
// selects the thinner scratches and half-size hairs used over the full room.
// Saves and restores both matrices; leaves blending and texturing off, depth
// testing on and the matrix mode at modelview.
void film_overlay(bool whole_frame, double t);

// projector_draw in its three passes, for measuring them one by one; the
// frame is the three in this order. mono selects monochrome-room mode.
// The meadow film: rendered, aged (unless mono) and captured into film_tex.
void projector_film_pass(double t, bool mono);
// The room with the film on its screen; measures the flare.
void projector_room_pass(double t, bool mono);
// Glow, the flare's star and ghosts, and its white-out.
void projector_post_pass();

// ---------------------------------------------------------------------------
// The arithmetic of the frame, without GL.

// The 16-bit generator of the hairs and the dust: h <- (h * 131 + 673) mod 65536.
uint16_t film_step(uint16_t h);

// One hair texture: a line strip in grey `grey` through the points of a
// clamped random walk, in the 200 x 200 units of its 64 x 64 picture.
struct HairPath {
    double grey;
    double x[HAIR_PATH_POINTS], y[HAIR_PATH_POINTS];
};
// The five hairs, generator started at 1324 and carried through all five.
void make_hair_paths(HairPath out[FILM_HAIRS]);

// The soft disc's byte at radius r (in units of 32 texels): 255 inside 0.8,
// falling linearly to 0 at 1, truncated.
uint8_t disc_value(double r);
// The disc's texel at column u, row v, both -32..31.
uint8_t disc_texel(int32_t u, int32_t v);

// One dust hair of a film frame: which hair texture, its centre and its
// half-size, in the overlay's [-1, 1] view.
struct DustHair {
    int32_t tex;
    double x, y, e;
};
// The five hairs of the film frame at time t; the pattern changes 25 times a
// second (the generator starts at trunc(25 t) mod 65536).
void film_dust(double t, bool whole_frame, DustHair out[FILM_HAIRS]);

// Scratch i (0..4) at time t: centre x and half-width in the [-1, 1] view.
void film_scratch(int32_t i, double t, bool whole_frame, double *centre, double *half_width);

// Lens flare strength from m2, the eye-space z of the projector's axis: 0
// when the axis is turned more than 60 degrees from the viewer, 1 facing it.
double flare_strength_from(double m2);

// The flare measured at the lens: `modelview` has its origin at the lens
// centre (column-major, as GL gives it), `projection` is the room's. The
// strength is flare_strength_from(modelview[2]); x and y are the lens centre
// in window pixels of the 800 x 600 view, relative to its centre. A lens in
// the plane of the eye has no place in the window: then there is no flare
// (strength 0, x = y = 0).
struct LensFlare {
    double strength, x, y;
};
LensFlare lens_flare(const double modelview[16], const double projection[16]);

// The room's material colours, and the clear colour, as (R, G, B, A).
// Monochrome-room mode replaces R, G and B by the luminance
// 0.3 R + 0.59 G + 0.11 B and keeps A.
enum RoomColour : uint8_t { ROOM_ARM, ROOM_BRACKET, ROOM_TABLE, ROOM_CURTAIN, ROOM_CLEAR, ROOM_COLOUR_COUNT };
inline constexpr double ROOM_COLOURS[ROOM_COLOUR_COUNT][4] = {
    {0.327, 0.285, 0.285, 0.0},     // reel arms
    {0.218, 0.121, 0.121, 0.0},     // bracket
    {0.441, 0.439, 0.542, 1.0},     // table
    {0.3311, 0.0756, 0.0413, 1.0},  // curtains
    {0.1, 0.05, 0.0, 0.0},          // the room's clear colour
};
double room_colour_grey(RoomColour colour);
void room_colour_rgba(RoomColour colour, bool mono, float out[4]);

// The room camera for knob0 (yaw), knob1 (pitch) and knob3 (dolly).
struct RoomCamera {
    Vec3 eye, target;
};
RoomCamera room_camera(double knob0, double knob1, double knob3);
