// The model generator's interpreter: turns the recipes of data/models/ into
// the show's models, checks every model against its declared counts, bounds
// and closure, and lays them out in the embedded form (tools/modelgen writes
// it, gfx/models.cpp reads it).
//
// Recipes describe shapes in room coordinates; a model is stored relative to
// its translation. Build time only; allocates freely. Any fault in a recipe
// throws RecipeError with "file:line: message".
#pragma once

#include "tools/model_mesh.h"
#include "tools/model_recipe.h"

#include <set>
#include <string>
#include <vector>

// The file names of the models in the order of ModelId (gfx/models.h).
inline constexpr int MODEL_TOTAL = 19;
extern const char *const MODEL_NAMES[MODEL_TOTAL];

struct BuiltModel {
    std::string name;
    std::string translation_text[3];  // as the recipe writes it
    P3 translation;
    Mesh mesh;  // local coordinates, unit normals; quad_uv only for the projector body
};

// Builds one model; `done` holds the models built before it (a recipe may
// start from one of them).
BuiltModel build_model(const ModelRecipe &r, const std::vector<BuiltModel> &done);
// Builds every model from the recipes, in the order of MODEL_NAMES. A model
// that is missing, unknown or described twice is an error.
std::vector<BuiltModel> build_models(const std::vector<ModelRecipe> &recipes);

// The tree's operation and the parameter lines it takes (tools/model_tree.cpp).
extern const std::set<std::string> TREE_PARAM_FIELDS;
void build_tree(Mesh &m, const ModelLine &head, const std::vector<ModelLine> &params);

// The embedded blob: a first line naming its origin padded to 128 bytes, then
// per model its vertices (48 bytes each: position, normal as doubles),
// triangles and quads (32-bit indices) and texture coordinates (8 doubles per
// quad), each array starting on a 16-byte boundary.
std::string models_blob(const std::vector<BuiltModel> &models);
// The table that gfx/models.cpp includes: one initializer per model with its
// name, translation, counts and the byte offsets of its arrays in the blob.
std::string models_table(const std::vector<BuiltModel> &models);
