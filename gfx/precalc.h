// The start-up precalculation: registers the image lookup, builds the shared
// fur-shell textures, runs every scene's set-up and draws one title frame.
// Main thread, once, after the window exists and before audio opens.
#pragma once

#include <cstdint>

inline constexpr int PRECALC_FUR_LAYERS = 16;
// Entry 0: 64x16 fin strip; entries 1..16: 64x64 shell layers, base to tip.
extern uint32_t fur_shell_tex[PRECALC_FUR_LAYERS + 1];

void precalculate();
