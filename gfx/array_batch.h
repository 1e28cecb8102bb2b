// Array batches: a frame's long batch of geometry written, call by call as in
// immediate mode, into fixed vertex arrays and drawn from them with
// glDrawElements.
//
// Why. Mesa cuts immediate-mode geometry where its vertex buffer happens to
// fill, and llvmpipe draws a piece that needs clipping differently from one
// that does not, so a frame drawn that way depends on everything drawn before
// it. A batch compiled into a display list and called does not, but
// compiling it every frame cost more CPU than the drawing and made the driver
// allocate and free memory each time. An array batch draws what such a
// list draws: the same primitives in the same order and modes, indexed as a
// list indexes them, consecutive GL_TRIANGLES or GL_QUADS primitives merged
// into one draw, strips and fans one draw each, attributes as 32-bit floats,
// and afterwards the current normal, colour and texture coordinates are those
// of the last vertex, as after calling the list. The whole-show frame hashes
// are the same either way.
//
// Usage: array_batch_begin with the attributes every vertex carries (the
// others come from the GL's current values, as for a list); then any number
// of array_begin(mode) ... array_end() primitives, giving the attributes
// before each array_vertex as one would give them before glVertex (each
// before the first vertex); then array_batch_end, which draws them all with
// the GL state of that moment. Texture set 1 needs gl_ext loaded
// (gfx/gl_ext.h). Batches do not nest, and no GL call may come between
// begin and end that changes what the batch draws.
//
// Main thread only. Nothing allocates: at most ARRAY_BATCH_MAX_VERTICES
// vertices and ARRAY_BATCH_MAX_DRAWS draws a batch; one more prints
// "MAXBATCH\n" and exits with status 1.
#pragma once

#include <cstdint>

inline constexpr int32_t ARRAY_BATCH_MAX_VERTICES = 32768;
inline constexpr int32_t ARRAY_BATCH_MAX_DRAWS = 256;

// Attributes a batch's vertices carry besides the position.
enum ArrayAttribute : uint32_t {
    ARRAY_NORMAL = 1,
    ARRAY_COLOR = 2,      // RGBA
    ARRAY_TEXCOORD = 4,   // (s, t) of texture set 0
    ARRAY_TEXCOORD1 = 8,  // (s, t, r) of texture set 1
};

void array_batch_begin(uint32_t attributes);
void array_begin(uint32_t mode);
void array_normal(double x, double y, double z);
void array_color(double r, double g, double b, double a);
void array_texcoord(double s, double t);
void array_texcoord1(double s, double t, double r);
void array_vertex(double x, double y, double z);
void array_end();
void array_batch_end();
