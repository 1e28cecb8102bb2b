// The painters of the image generator: one routine per recipe "kind" that
// turns a recipe block into a picture (row 0 at the top).
#pragma once

#include "tools/image_raster.h"
#include "tools/image_recipe.h"

// Paints the picture that a recipe block describes, at the block's size.
// Stops the build with a message for an unknown kind or a bad field.
Canvas paint_picture(const RecipeBook &book, const Recipe &r);
