// The bump-mapped tunnel and the fur torus (scenes/bump.cpp): the tables the
// set-up builds and the per-frame arithmetic, exposed so they can be checked
// without a window.
//
// Owns the tunnel's quad table; the torus lives in the fixed triangle mesh
// (gfx/trimesh.h). bump_scene_setup (scenes/scenes.h) fills both once during
// the precalculation; bump_scene_draw only reads them. Main thread only; no
// allocation.
#pragma once

#include <cstdint>

#include "gfx/vec.h"

// One wall quad of the tunnel, with the matrix that turns a light vector into
// the frame the fragment program lights in.
struct BumpQuad {
    Vec3 corner[4];       // c0 (angle a0, near end), c1 (a0, far), c2 (a1, far), c3 (a1, near)
    double s[4], t[4];    // texture coordinates per corner: (a 4/pi, z/8)
    double m[9];          // light matrix M0..M8
};

inline constexpr int32_t BUMP_MAX_QUADS = 1024;  // the count may reach 1022
inline constexpr int32_t BUMP_RINGS = 20;        // tunnel rings along z
inline constexpr int32_t BUMP_SEGMENTS = 33;     // per ring: one full turn plus one overlap
inline constexpr int32_t TUBE_RINGS = 33;        // torus rings, the last one repeating the first
inline constexpr int32_t TUBE_RING_VERTICES = 24;
inline constexpr int32_t LINE_TEX_SIZE = 64;
inline constexpr int32_t NORMAL_MAP_SIZE = 128;

struct BumpQuadTable {
    int32_t count;
    BumpQuad quads[BUMP_MAX_QUADS];
};
extern BumpQuadTable bump_quads;

// Appends the quad with corners c0..c3 and their texture coordinates and
// computes its light matrix. Past 1022 quads: "MAXBFACES\n", exit status 1.
void bump_add_quad(const Vec3 &c0, const Vec3 &c1, const Vec3 &c2, const Vec3 &c3, const double s[4],
                   const double t[4]);
// Empties the table and fills it with the 20 rings of 33 segments.
void bump_build_tunnel();

// The normal map from a 128 x 128 grey height image (3 bytes per texel, the
// first read): per texel (-dx, -dy, 1) normalized, with dx and dy the forward
// differences to the next column and row (wrapping), each component c stored
// as (int)(127 c + 128) in R, G, B. out holds 128 * 128 * 3 bytes.
void bump_make_normal_map(const uint8_t *height, uint8_t *out);
// The line texture: columns 30 and 40 lit in every row, row 50 lit in every
// column, the rest 0. out holds 64 * 64 bytes, row-major.
void bump_make_line_texture(uint8_t *out);
// Empties the fixed triangle mesh and builds the torus in it: 33 rings of 24
// vertices, 1536 triangles (flag 1 on rings 0..15, the furry half), 768 lines
// on the furry half, then trimesh_finish.
void bump_build_tube();

// Texture set 0 of corner k of quad q at time t: the stored pair with its
// second value scrolled by -3 t.
void tunnel_texcoord(const BumpQuad &q, int k, double t, double *s_out, double *t_out);
// Texture set 1 of corner k of quad q: (light - corner) through the quad's
// light matrix.
Vec3 tunnel_light_vector(const BumpQuad &q, int k, const Vec3 &light);
// Opacity of a fin whose averaged unit normal is n, seen along the unit view
// direction e: 2 (1 - |n . e|) - 1; drawn only when positive, so fins show
// where the surface turns away from the eye, within 60 degrees of its outline.
double fin_alpha(const Vec3 &n, const Vec3 &e);
