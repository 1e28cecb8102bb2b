// Eyes and double helix: the scene's arithmetic that needs no GL (the helix
// path, the streaming step, the crossbar profile, the blink), and the
// drawing pieces that tests call on their own. eyes_setup and eyes_draw are
// declared in scenes/scenes.h; the technique is described in scenes/eyes.cpp.
//
// Main thread only. Nothing allocates.
#pragma once

#include <cstdint>

#include "gfx/vec.h"

inline constexpr int32_t EYES_HELIX_SEGMENTS = 100;
inline constexpr int32_t EYES_BASE_COUNT = 64;      // base_sequence entries, 0..3 each
inline constexpr int32_t EYES_BAR_SECTIONS = 40;    // sections of one crossbar, rail to rail
inline constexpr int32_t EYES_STROKE_TEX_SIZE = 64; // fibre-stroke textures, texels per side

// [0] the haze image (mipmapped); [1] violet and [2] red fibre strokes,
// 64 x 64 RGB, texture row 0 at the strokes' roots. Made by eyes_setup.
extern uint32_t eyes_tex[3];
// Base pairs of the crossbars, made at set-up from the shared random stream.
extern uint8_t base_sequence[EYES_BASE_COUNT];

// Centre line of the helix at path parameter u and time t (seconds), in the
// helix's own frame: u = 0 at z = 40 runs to u = 100 at z = -40 while x bends
// through a parabola and the two strands breathe in y.
Vec3 helix_path(double u, double t);

// knob4 above 126 shows the eyeball grid; up to 126 the helix, drawn from
// segment helix_first_segment(knob4) = lround(knob4 * 100 / 127) to 99.
bool eyes_show_grid(double knob4);
int32_t helix_first_segment(double knob4);

// The helix streams one crossbar spacing (3 units of u) every third of a
// second: F counts the thirds, f (0..1) is the way through the current one.
struct HelixStep {
    int64_t whole;  // F = floor(3t)
    double frac;    // f = 3t - F
};
HelixStep helix_step(double t);
// Path parameter of segment n at that step: u = n - 3f.
double helix_segment_u(int32_t n, const HelixStep &step);
// Index into base_sequence of the crossbar on segment n (n a multiple of 3).
int32_t crossbar_base_index(int32_t n, const HelixStep &step);

// Radius of crossbar section k (0..40): 0.3 near the rails, narrowing
// smoothly to 0.1 at the middle (k = 20).
double crossbar_radius(int32_t k);

// Lid opening in degrees of the eye in column c (0..3), row r (0..2) at time
// t: 22 when open; each eye blinks once every 2.5 s, shut (0) at the middle
// of its blink.
double eye_lid_opening(int32_t c, int32_t r, double t);

// Drawing pieces of eyes_draw, with the GL context current.
// The helix inside the current modelview (knob4 picks the first segment).
void draw_helix(double t);
// One additive haze disc of radius 30 in the current modelview's xy plane,
// textured from (s, t0); its brightness follows how squarely it faces the
// viewer (the modelview's m[10]) and knob0, its hue scene_flag.
void haze_disc(double s, double t0);
