// Forest silhouettes: the scene's arithmetic that needs no GL — its sections,
// the sunburst pattern with its tint per section, the camera path and the
// flash — so tests can check it without a window. forest_setup and
// forest_draw are declared in scenes/scenes.h; the technique is described in
// scenes/forest.cpp.
//
// Main thread only. Nothing allocates.
#pragma once

#include <cstdint>

#include "gfx/vec.h"

inline constexpr int32_t FOREST_SKY_SIZE = 32;  // sunburst texels per side
inline constexpr int32_t FOREST_TREES = 10;
inline constexpr double FOREST_SECTION_RATE = 0.22190662169359132;  // sections per second of scene time

// Scene time t splits into sections: g = rate t, k = floor(g), f = g - k.
struct ForestSection {
    int32_t k;  // section index; its tint, camera position and tree turns
    double f;   // 0..1 through the section
};
ForestSection forest_section(double t);

// The 32 x 32 RGB sunburst at time t for section k >= 0, texture row m first:
// rays about column 16, row 25, turning with t; tinted blue, green, blue, red,
// green, red over six sections (repeating).
void forest_sunburst(double t, int32_t k, uint8_t out[FOREST_SKY_SIZE * FOREST_SKY_SIZE * 3]);

// Dolly factor m = 0.02 t, at most 1 (from t = 50 on).
double forest_dolly(double t);

// Where the camera stands and looks for section k at time t, fraction f.
struct ForestView {
    Vec3 eye;
    Vec3 centre;
};
ForestView forest_view(int32_t k, double t, double f);

// Sets the projection and modelview for forest_view(k, t, f).
void forest_camera(int32_t k, double t, double f);

// White added at the start of a section: 5 (0.2 - f) while f < 0.2, else 0.
double forest_flash(double f);

// Whether the box [lo, hi] (model coordinates) lies wholly beyond one plane
// of the view volume under the given matrices (column-major, as GL gives
// them): then nothing drawn inside it reaches the window. Corners must be
// beyond the plane by a small slack, so rounding cannot make a visible box
// count as outside.
bool box_outside_view(const double modelview[16], const double projection[16], const Vec3 &lo, const Vec3 &hi);
