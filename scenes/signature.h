// Closing signature: the scene's arithmetic that needs no GL — how many
// characters are typed and when the cursor shows — so tests can check it
// without a window. signature_setup and signature_draw are declared in
// scenes/scenes.h; the technique is described in scenes/signature.cpp.
//
// Main thread only. Nothing allocates.
#pragma once

#include <cstdint>

inline constexpr int32_t SIGNATURE_CHARS = 8;
inline constexpr int32_t SIGNATURE_CELL_WIDTH = 32;  // texels per character cell

// Characters shown for knob0 (0..127): the integer part of knob0 9/127, at
// most 8, so each 127/9 of knob0 types one more.
int32_t signature_chars(double knob0);

// Whether the block cursor shows after n characters at time t: steadily while
// typing, and once the line is complete (n = 8) blinking 1.4 times a second,
// on for the first 70 % of each period.
bool signature_cursor_shown(int32_t n, double t);

// Horizontal stretch of the line for knob6 (0..127): 1.5 at rest, 2.5 at 127.
double signature_stretch(double knob6);
