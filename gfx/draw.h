// Drawing helpers shared by every scene and the precalculation: the shared
// pseudo-random generator, the indexed-mesh drawer, the full-screen quad and
// the screen-space post effects (fade, flash, scanlines, glow).
//
// Main thread only, with the GL context current. The post effects change GL
// state (matrices, blending, enables, bindings) and do not restore it: the
// timeline brackets every scene call with an attribute push/pop, and a scene
// that draws after an overlay sets its own matrices first. Nothing allocates.
#pragma once

#include <cstdint>

#include "gfx/vec.h"

// One vertex of an indexed model: position then normal, stride 48 bytes.
struct MeshVertex {
    double px, py, pz;
    double nx, ny, nz;
};
static_assert(sizeof(MeshVertex) == 48);

// State of the shared generator; 0 at program start.
extern uint32_t rand_seed;

void rand_reset();
// Advances rand_seed by s' = trunc((s * 1664525 mod 2^32) + 4000 cos(s) + 1013904223)
// mod 2^32 and returns the low 16 bits of the new seed (0..65535).
int32_t rand_next();

// Draws all triangles in one GL_TRIANGLES batch, then all quads in one GL_QUADS
// batch, translated by offset (modelview pushed and popped). Indices are into verts.
void draw_indexed_mesh(const Vec3 &offset, const MeshVertex *verts, int32_t tri_count,
                       const int32_t *tris, int32_t quad_count, const int32_t *quads);

// One quad over x, y in [-1, 1] with rectangle-texture coordinates (dx, dy) to
// (dx + w, dy + h) in texels.
void draw_screen_quad(int32_t w, int32_t h, int32_t dx, int32_t dy);

// Multiplies the frame by 1 - x (x in 0..1).
void fade_to_black(double x);
// Adds x to every channel of the frame, saturating (x in 0..1).
void add_white(double x);
// Darkens window rows 2, 3, 6, 7, ... (counted from the bottom) to 200/255.
void draw_scanlines();
// Adds a blurred, brightness-weighted quarter-size copy of the frame onto it.
void apply_glow();
