// The show's static models: the projector room (body, reel arms, rollers,
// lens barrel, bracket, film strips, table, curtains, screen border), the
// six-armed jack of the dot screen and the fir tree of the forest.
//
// They are generated at build time by tools/modelgen from the recipes in
// data/models/ and embedded read-only; nothing here is computed at run time,
// allocated or freed. Every model is drawn as it is stored, through
// draw_indexed_mesh with its translation (the projector body, which carries
// texture coordinates, is drawn by its scene quad by quad). The start-up
// compiles each model's drawing into a display list once; after that a model
// costs one list call per frame instead of thousands of immediate-mode
// vertex calls, and its pixels do not depend on earlier frames' vertices.
//
// Any thread may read the tables; the drawing helper needs the GL context.
#pragma once

#include <cstdint>

#include "gfx/draw.h"
#include "gfx/vec.h"

// In the order the projector room draws them, then the jack and the tree.
enum ModelId : uint8_t {
    MODEL_PROJECTOR_BODY,
    MODEL_REEL_ARM_REAR,
    MODEL_REEL_ARM_FRONT,
    MODEL_ROLLER_SMALL,
    MODEL_ROLLER_LARGE,
    MODEL_LENS_BARREL,
    MODEL_BRACKET,
    MODEL_FILM_STRIP_LOWER,
    MODEL_FILM_STRIP_UPPER,
    MODEL_TABLE,
    MODEL_CURTAIN_1,
    MODEL_CURTAIN_2,
    MODEL_CURTAIN_3,
    MODEL_CURTAIN_4,
    MODEL_CURTAIN_5,
    MODEL_CURTAIN_6,
    MODEL_SCREEN_BORDER,
    MODEL_JACK,
    MODEL_TREE,
    MODEL_COUNT
};

struct StaticModel {
    const char *name;     // file name of its OBJ export, e.g. "reel_arm_rear"
    Vec3 translation;     // added to every vertex when drawn
    int32_t vertex_count;
    int32_t tri_count;
    int32_t quad_count;
    const MeshVertex *vertices;     // local coordinates; normals of unit length
    const int32_t *tris;            // 3 vertex indices per triangle, counter-clockwise outside
    const int32_t *quads;           // 4 vertex indices per quad, counter-clockwise outside
    const double *quad_texcoords;   // 8 per quad, (s, t) for each corner in quad order;
                                    // the projector body only, nullptr elsewhere
};

// The model's record; valid for the whole run.
const StaticModel &static_model(ModelId id);

// Compiles every model's draw_indexed_mesh call into its own display list.
// Called once by the precalculation, with the GL context current.
void static_models_compile();

// draw_indexed_mesh with the model's translation, triangles and quads: its
// compiled list once static_models_compile has run, immediate mode before.
void draw_static_model(ModelId id);
