// Painters for the pictures that scenes read directly rather than by key:
// the film reel's flange, the meadow flower, the letterbox corner mask, the
// tunnel's relief (a height image) and blocky lettering set from a glyph
// table in the recipe. Build time only; every one is a pure function of its
// recipe block, so repainting gives the same bytes.
#pragma once

#include "tools/image_raster.h"
#include "tools/image_recipe.h"

// The painter for one of the kinds reel, flower, corner_mask, relief and
// block_text; false when the kind is none of them (c is then untouched).
bool paint_scene_picture(const Recipe &r, const std::string &kind, Canvas *c);
