// The meadow title's tables and textures, shared by scenes/meadow_title.cpp
// and its tests. meadow_title_setup (scenes.h) fills them once at start-up.
// Main thread; nothing allocates.
#pragma once

#include <cstdint>

#include "scenes/meadow.h"

inline constexpr int32_t MEADOW_TITLE_SIZE = 40;  // flowers per row and column

// The four texture names, made by one glGenTextures call, by index.
extern uint32_t meadow_title_textures[4];
inline uint32_t &title_flower_tex = meadow_title_textures[0];  // 64 x 64 RGBA flower head, mipmapped
inline uint32_t &corner_mask_tex = meadow_title_textures[1];   // 64 x 64 alpha letterbox corner, mipmapped
inline uint32_t &title_logo_tex = meadow_title_textures[2];    // the "quillmora" lettering, mipmapped RGB
inline uint32_t &subtitle_tex = meadow_title_textures[3];      // 336 x 16 alpha subtitle, mipmapped, clamped

// The title's meadow: cell (i, c) is row i, column c.
extern int8_t title_flower_tilt[MEADOW_TITLE_SIZE][MEADOW_TITLE_SIZE][2];
extern int8_t title_flower_offset[MEADOW_TITLE_SIZE][MEADOW_TITLE_SIZE][2];
extern int8_t title_meadow_grid[MEADOW_TITLE_SIZE][MEADOW_TITLE_SIZE];
extern const MeadowField title_meadow;

// Bilinear noise over title_meadow_grid, period 40 in both arguments (>= 0).
double title_meadow_noise(double a, double b);

// Vertical offset of the title and its shadow for knob0, in the [-1, 1] view:
// 0 at knob0 = 64, 0.0203125 per unit.
double title_height(double knob0);
